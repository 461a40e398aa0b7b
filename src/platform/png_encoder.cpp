#include "platform/png_encoder.h"

#include <png.h>

#include <cstring>

namespace kv::platform {

std::string encodeRgbPng(int width, int height, const std::uint8_t* rgb) {
    if (width <= 0 || height <= 0 || !rgb)
        return {};
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // First the size libpng needs, then the bytes: the simplified API never longjmps.
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb, 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    std::string bytes(size, '\0');
    const bool ok = png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb, 0, nullptr) != 0;
    png_image_free(&image);
    if (!ok)
        return {};
    bytes.resize(size);
    return bytes;
}

} // namespace kv::platform
