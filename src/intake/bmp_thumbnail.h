#pragma once

#include "platform/bitmap.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace kv::intake {

enum class BmpReadStatus {
    Ok,
    Malformed,        // not a BMP, or a size, offset or count points outside the file
    TooLarge,         // more pixels than the image library takes
    BlackAndWhite,    // 1 bit per pixel
    ShortPixels,      // the rows the header announces are not all in the file
    UnsupportedDepth, // 16 or 32 bits, any other depth, or compressed rows
};

// An uncompressed 4-, 8- or 24-bit BMP as found in a file's bytes. `pixels` views
// the file; every row of `height` rows of `stride` bytes lies inside it.
struct BmpPicture {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int stride = 0;
    bool topDown = false;                        // a negative height in the header
    std::array<std::uint8_t, 256 * 3> palette{}; // blue, green, red; unused entries black
    std::span<const std::uint8_t> pixels;
};

// Reads the headers (12-byte core or 40-byte and longer info header), the palette
// and locates the rows. Checks every size, offset and count against the file first.
BmpReadStatus readBmpForThumbnail(std::span<const std::uint8_t> file, BmpPicture& out);

// The thumbnail of a picture read above: reduced by s = max(w/100, h/75) for a
// landscape picture and max(w/75, h/100) otherwise, never enlarged, sampled at
// the nearest source pixel (halves up). 24-bit, bottom-up.
platform::Bitmap24 makeThumbnail(const BmpPicture& picture);

// The same thumbnail of a 24-bit picture, made from its rows as they pass (a
// decoder's, on their way to a file) instead of from the whole picture. Rows that
// never pass stay black, as they do in the file.
class ThumbnailSampler {
  public:
    ThumbnailSampler(int width, int height);
    // Row `fromBottom` of the picture: width * 3 blue, green, red bytes.
    void row(int fromBottom, const std::uint8_t* bgr);
    const platform::Bitmap24& thumbnail() const { return m_thumb; }

  private:
    std::vector<int> m_rows; // the picture row each thumbnail row samples
    std::vector<int> m_cols;
    platform::Bitmap24 m_thumb;
};

} // namespace kv::intake
