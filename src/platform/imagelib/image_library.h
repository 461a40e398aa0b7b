#pragma once

#include "platform/bitmap.h"
#include "platform/imagelib/decoded_image.h"
#include "platform/rect.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

// The image library calls the program makes, under the names it has always used
// for them: decode a file, bring it to 24 bits, write a BMP, and the 24-bit library
// images of the layout sheets.
namespace kv::platform::imagelib {

enum class ImageFormat { Unknown, Bmp, Jpeg, Tiff, Gif, Pcx, Tga, Raw, Png, Webp, Heif, Jxl };

// Tells the format from the file's first bytes; the file name is never looked at.
// TGA has no signature, so it is tried last, by whether its header is plausible.
ImageFormat detectFormat(std::span<const std::uint8_t> bytes);

// Detects the format and runs its decoder; unknown bytes give UnsupportedFormat.
// Every Failed comes with its reason in out.failure.
DecodeResult decodeImage(std::span<const std::uint8_t> bytes, DecodedImage& out);
// The same with ScaleCDAtLeast's `needed`, for bytes already read.
DecodeResult decodeImageAtLeast(std::span<const std::uint8_t> bytes, const NeededExtent& needed,
                                DecodedImage& out);

// Larger picture files than this are not taken into memory.
inline constexpr std::uint64_t kMaxPictureFileBytes = std::uint64_t{1} << 31;

enum class PictureFileRead {
    Ok,
    CannotOpen, // missing, not a regular file (folder, pipe, device) or unreadable
    TooBig,     // larger than the bound, or no memory for it
};

// Reads a whole picture file. Only a regular file is read, and opening never
// waits: a named pipe without a writer is refused at once.
PictureFileRead readPictureFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes,
                                std::uint64_t maxBytes = kMaxPictureFileBytes);

// Decodes the file at `source`. Returns 1 when decoded, -1 to -5 for the reasons of
// DecodeResult, 0 when the file cannot be read or decoded; for 0, out.failure says
// why, and a decoded picture from a cut-off file has out.incomplete set.
int ScaleCD(const std::filesystem::path& source, DecodedImage& out);

// ScaleCD for a picture that is shrunk next: a JPEG may come out smaller than the
// file's picture, though never below what `needed` asks for its upright size (see
// decodeJpegAtLeast). Other formats ignore `needed` and decode whole. This is the
// print path's call: a camera raw is developed from its sensor data here, where
// ScaleCD and CD (thumbnail, window) take its embedded preview when large enough.
int ScaleCDAtLeast(const std::filesystem::path& source, const NeededExtent& needed,
                   DecodedImage& out);

// The picture at 24 bits, rows from the bottom up. False for an empty picture or a
// depth other than 1, 4, 8 and 24.
bool ConvertTo24(const DecodedImage& in, Bitmap24& out);

// The 44-byte picture record: a 40-byte bitmap information header for a 24-bit
// bottom-up picture, then the pixels it describes.
struct PictureRecord {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0; // stride * height
    const std::uint8_t* pixels = nullptr;

    static PictureRecord of(const Bitmap24& bitmap);
    // The header as it stands in a BMP file, little-endian; the last four 32-bit
    // fields (resolutions and palette counts) are 0.
    std::array<std::uint8_t, 40> headerBytes() const;
};

// Writes a 24-bit BMP file (14-byte file header, 40-byte information header,
// bottom-up rows) atomically. False when the record is not a 24-bit picture or
// the file cannot be written.
bool WriteBmpFile(const std::filesystem::path& target, const PictureRecord& record);
bool WriteBmpFile(const std::filesystem::path& target, const Bitmap24& picture);

// A library image is an ordinary 24-bit bitmap; RAII releases it.
using LibraryImage = Bitmap24;

LibraryImage NewImage(int width, int height, std::uint8_t red, std::uint8_t green,
                      std::uint8_t blue);

// A new image of width x height: area averaging along an axis that shrinks,
// bilinear along one that grows. An empty source or size gives an empty image.
LibraryImage ScaleImage(const Bitmap24& image, int width, int height);

// Draws `source` resized to width x height into `target` with its top-left corner
// at (column, row), rows counted from the top; whatever falls outside is clipped.
void ScaleImageTo(LibraryImage& target, int column, int row, const Bitmap24& source, int width,
                  int height);

// Fills `rect` (rows counted from the top, clipped to the image) with one colour.
void FillImageRect(LibraryImage& image, const Rect& rect, std::uint8_t red, std::uint8_t green,
                   std::uint8_t blue);

void FreeImage(LibraryImage& image);

// Decodes the file into a 24-bit bitmap for display and reports its size and the
// depth it was stored at. Same result codes as ScaleCD.
int CD(const std::filesystem::path& source, Bitmap24& out, int& width, int& height,
       int& bitsPerPixel);

} // namespace kv::platform::imagelib
