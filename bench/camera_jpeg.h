#pragma once

// A camera-sized picture for the benchmarks: a 6000 x 4000 JPEG (or the size asked
// for) with a smooth gradient at quality 90, written once into `dir` and reused.
#include <jpeglib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace kv::bench {

inline std::filesystem::path cameraJpeg(const std::filesystem::path& dir, int width = 6000,
                                        int height = 4000) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path file =
        dir / ("camera-" + std::to_string(width) + "x" + std::to_string(height) + ".jpg");
    if (std::filesystem::exists(file))
        return file;
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out)
        return {};
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * 3);
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < width; ++x) {
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
