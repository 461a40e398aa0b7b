#pragma once

// JPEG files made by the tests themselves, through libjpeg-turbo.
// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace kv::test {

struct JpegSettings {
    int components = 3; // 1 grey, 3 RGB, 4 CMYK
    int quality = 75;
    bool progressive = false;
    std::vector<std::uint8_t> app1;       // an APP1 segment's body (Exif) when not empty
    std::vector<std::uint8_t> iccProfile; // written as APP2 ICC_PROFILE chunks when not empty
    bool adobeMarker = true;              // libjpeg's APP14 beside CMYK (inverted inks)
};

// A width x height JPEG whose rows, top first, `fill(y, row)` writes (width *
// components samples).
inline std::string encodeJpeg(int width, int height,
                              const std::function<void(int y, JSAMPLE* row)>& fill,
                              const JpegSettings& settings = {}) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = settings.components;
    c.in_color_space = settings.components == 1   ? JCS_GRAYSCALE
                       : settings.components == 4 ? JCS_CMYK
                                                  : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, settings.quality, TRUE);
    if (!settings.adobeMarker)
        c.write_Adobe_marker = FALSE;
    if (settings.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    if (!settings.app1.empty())
        jpeg_write_marker(&c, JPEG_APP0 + 1, settings.app1.data(), unsigned(settings.app1.size()));
    if (!settings.iccProfile.empty())
        jpeg_write_icc_profile(&c, settings.iccProfile.data(),
                               unsigned(settings.iccProfile.size()));
    std::vector<JSAMPLE> row(std::size_t(width) * std::size_t(settings.components));
    while (c.next_scanline < c.image_height) {
        fill(int(c.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

} // namespace kv::test
