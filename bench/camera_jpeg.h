#pragma once

// A camera-sized picture for the benchmarks: a 6000 x 4000 JPEG with a smooth
// gradient at quality 90, written once into `dir` and reused.
#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace kv::bench {

inline std::filesystem::path cameraJpeg(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "camera.jpg";
    if (std::filesystem::exists(file))
        return file;
    constexpr int kWidth = 6000, kHeight = 4000;
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out)
        return {};
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(kWidth * 3);
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < kWidth; ++x) {
            row[x * 3] = JSAMPLE(x / 24);
            row[x * 3 + 1] = JSAMPLE(y / 16);
            row[x * 3 + 2] = JSAMPLE((x + y) / 40);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
    return file;
}

} // namespace kv::bench
