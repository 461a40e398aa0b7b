#pragma once

// TIFF files made by the tests themselves, through libtiff.
#include "support/temp_dir.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <tiffio.h>

namespace kv::test {

struct TiffPicture {
    int width = 1;
    int height = 1;
    int bits = 8; // 8 or 16
    int photometric = PHOTOMETRIC_RGB;
    int samples = 3;
    int alpha = 0; // 0 none, else EXTRASAMPLE_ASSOCALPHA or EXTRASAMPLE_UNASSALPHA (last sample)
    bool separate = false;
    bool tiled = false;                   // one 16 x 16 tile
    bool bigEndian = false;               // "MM" byte order
    std::vector<std::uint16_t> values;    // width * height * samples, rows top first
    std::vector<std::uint8_t> iccProfile; // written as tag 34675 when not empty
    int orientation = ORIENTATION_TOPLEFT;
    std::vector<std::uint16_t> colormap; // 3 * 2^bits entries, red then green then blue
};

// The picture's file bytes, written through a file in `folder`.
inline std::string encodeTiff(const TiffPicture& p, const TempDir& folder) {
    const auto path = folder / "made.tif";
    TIFF* tif = TIFFOpen(path.c_str(), p.bigEndian ? "wb" : "wl");
    if (!tif)
        return {};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 p.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    if (p.alpha) {
        const std::uint16_t extra[1] = {static_cast<std::uint16_t>(p.alpha)};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
    if (!p.colormap.empty()) {
        const std::size_t n = p.colormap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, p.colormap.data(), p.colormap.data() + n,
                     p.colormap.data() + 2 * n);
    }
    if (!p.iccProfile.empty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(p.iccProfile.size()),
                     p.iccProfile.data());
    const int planes = p.separate ? p.samples : 1;
    const int perPixel = p.separate ? 1 : p.samples;
    const int bytes = p.bits / 8;
    // One plane's (or all samples') rows at `pieceWidth` pixels, padded with zeros.
    const auto piece = [&](int plane, int pieceWidth, int rows) {
        std::vector<std::uint8_t> out(std::size_t(pieceWidth) * rows * perPixel * bytes, 0);
        for (int y = 0; y < p.height && y < rows; ++y)
            for (int x = 0; x < p.width; ++x)
                for (int s = 0; s < perPixel; ++s) {
                    const std::uint16_t v =
                        p.values[(std::size_t(y) * p.width + x) * p.samples + plane + s];
                    std::uint8_t* d =
                        out.data() + ((std::size_t(y) * pieceWidth + x) * perPixel + s) * bytes;
                    if (bytes == 1)
                        *d = static_cast<std::uint8_t>(v);
                    else
                        std::memcpy(d, &v, 2);
                }
        return out;
    };
    if (p.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        for (int plane = 0; plane < planes; ++plane) {
            auto tile = piece(plane, 16, 16);
            TIFFWriteTile(tif, tile.data(), 0, 0, 0, static_cast<std::uint16_t>(plane));
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.height);
        for (int plane = 0; plane < planes; ++plane) {
            auto strip = piece(plane, p.width, p.height);
            TIFFWriteEncodedStrip(tif, static_cast<std::uint32_t>(plane), strip.data(),
                                  static_cast<tmsize_t>(strip.size()));
        }
    }
    TIFFClose(tif);
    return readBytes(path);
}

} // namespace kv::test
