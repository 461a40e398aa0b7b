#pragma once

#include "platform/ui.h"
#include "render/print_images.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

// A sheet file (the BMP a job prints) into the PrintImage, and the turn into the
// printer's 640 x 480 orientation. The two are apart because the camera-noise
// filter and the colour-matching table work on the frame as loaded, in between.
namespace kv::render {

// Landscape frames are 640 x 480; a picture narrower than high gets 480 x 640.
enum class FrameShape { Landscape, Upright };

constexpr int frameWidth(FrameShape shape) {
    return shape == FrameShape::Landscape ? kFrameWidth : kFrameHeight;
}
constexpr int frameHeight(FrameShape shape) {
    return shape == FrameShape::Landscape ? kFrameHeight : kFrameWidth;
}

// What the headers of a BMP file say, checked against the file's size: the
// palette and every pixel row lie inside the bytes.
struct BmpInfo {
    int width = 0;
    int height = 0;       // rows, whatever their order in the file
    bool topDown = false; // a negative height in the file: rows from the top
    int bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint32_t fileSize = 0; // as the file header announces it
    std::size_t dataOffset = 0;
    std::size_t paletteOffset = 0;
    int paletteEntryBytes = 4; // 3 with the 12-byte header
    int paletteCount = 0;      // entries present for 4 and 8 bits
    std::size_t stride = 0;    // bytes per stored row
};

enum class BmpProblem {
    None,
    Malformed, // not a BMP, or headers that contradict themselves
    Depth,     // neither 4, 8 nor 24 bits per pixel
    Short,     // palette or pixel rows beyond the end of the file
};

struct BmpHeaders {
    BmpInfo info;
    BmpProblem problem = BmpProblem::Malformed;
};

// Reads and checks the 14-byte file header and the 12-byte or 40-byte (or longer)
// information header.
BmpHeaders readBmpHeaders(std::span<const std::uint8_t> bytes);

// Loads a sheet file's picture into `image` from row 0, column 0, rows in file
// order (bottom row first): a picture smaller than the frame sits whole in its
// middle on white, of a larger one the first rows and columns are taken. Returns
// the frame's shape; nullopt ends the job, told to the user (an unsupported depth
// is not told).
std::optional<FrameShape> loadSheet(std::span<const std::uint8_t> bytes, PrintImage& image,
                                    platform::Ui& ui);
std::optional<FrameShape> loadSheetFile(const std::filesystem::path& file, PrintImage& image,
                                        platform::Ui& ui);

// Turns the loaded frame into rows 0..479, columns 0..639 with the picture's top
// row first: a landscape frame is flipped top to bottom, an upright one turned a
// quarter counter-clockwise (its top edge to the left).
void orientFrame(PrintImage& image, FrameShape shape);

} // namespace kv::render
