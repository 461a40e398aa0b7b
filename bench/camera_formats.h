#pragma once

// The camera picture of camera_jpeg.h in today's formats, for the benchmarks:
// 6000 x 4000, the same gradient, written with libpng, libwebp and libheif's
// x265 and aom encoders.
#include <libheif/heif.h>
#include <png.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kv::bench {

namespace fs = std::filesystem;

// The camera picture's gradient, 6000 x 4000, as RGB rows.
inline std::vector<std::uint8_t> cameraRgb(int width, int height) {
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rgb.data() + (std::size_t(y) * width + x) * 3;
            p[0] = std::uint8_t(x / 24);
            p[1] = std::uint8_t(y / 16);
            p[2] = std::uint8_t((x + y) / 40);
        }
    return rgb;
}

inline heif_error appendTo(heif_context*, const void* data, size_t size, void* target) {
    static_cast<std::string*>(target)->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// HEIC with x265, AVIF with aom, each at its quickest setting.
inline std::string heifBytes(const std::vector<std::uint8_t>& rgb, int width, int height,
                             heif_compression_format codec) {
    heif_context* context = heif_context_alloc();
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        std::copy_n(rgb.data() + std::size_t(y) * width * 3, std::size_t(width) * 3,
                    plane + std::size_t(y) * stride);
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, codec, &encoder);
    std::string file;
    if (encoder) {
        heif_encoder_set_lossy_quality(encoder, 85);
        if (codec == heif_compression_HEVC)
            heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
        else
            heif_encoder_set_parameter_integer(encoder, "speed", 9);
        heif_context_encode_image(context, image, encoder, nullptr, nullptr);
        heif_encoder_release(encoder);
        heif_writer writer{1, appendTo};
        heif_context_write(context, &writer, &file);
    }
    heif_image_release(image);
    heif_context_free(context);
    return file;
}

// A 24-megapixel picture in one of today's formats ("png", "webp", "heic", "avif")
// in `dir`, written once and reused; empty when it cannot be made.
inline fs::path cameraPicture(const fs::path& dir, const std::string& extension) {
    constexpr int kWidth = 6000, kHeight = 4000;
    const fs::path file = dir / ("camera." + extension);
    if (fs::exists(file))
        return file;
    fs::create_directories(file.parent_path());
    const std::vector<std::uint8_t> rgb = cameraRgb(kWidth, kHeight);
    std::string bytes;
    if (extension == "png") {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = kWidth;
        image.height = kHeight;
        image.format = PNG_FORMAT_RGB;
        png_alloc_size_t size = 0;
        png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
        bytes.resize(size);
        if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr))
            bytes.clear();
        bytes.resize(size);
    } else if (extension == "webp") {
        std::uint8_t* out = nullptr;
        const std::size_t size = WebPEncodeRGB(rgb.data(), kWidth, kHeight, kWidth * 3, 90, &out);
        bytes.assign(reinterpret_cast<const char*>(out), size);
        WebPFree(out);
    } else {
        bytes = heifBytes(rgb, kWidth, kHeight,
                          extension == "heic" ? heif_compression_HEVC : heif_compression_AV1);
    }
    if (bytes.empty())
        return {};
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return file;
}

} // namespace kv::bench
