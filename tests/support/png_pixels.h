#pragma once

// A PNG file's pixels as 8-bit RGB, read with libpng (not the program's own code).
#include <png.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

namespace kv::test {

struct RgbPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // empty: the file could not be read
};

inline RgbPixels readPngPixels(const std::filesystem::path& file) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    RgbPixels pixels;
    if (!png_image_begin_read_from_file(&image, file.c_str()))
        return pixels;
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return pixels;
    }
    pixels.width = static_cast<int>(image.width);
    pixels.height = static_cast<int>(image.height);
    pixels.rgb = std::move(rgb);
    return pixels;
}

} // namespace kv::test
