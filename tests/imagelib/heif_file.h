#pragma once

// HEIF/HEIC and AVIF files made with libheif's own encoders (x265, aom) from
// pictures of four quadrants, losslessly and with the identity matrix, so
// that the samples come back exactly.
#include "quadrant_picture.h"

#include <libheif/heif.h>

#include <string>
#include <vector>

namespace kv::test {

struct HeifPicture {
    heif_compression_format codec = heif_compression_HEVC;
    int width = 64;
    int height = 32;
    Quads quads = kQuads; // samples at the picture's own depth
    bool alpha = false;
    int depth = 8;
    heif_orientation orientation = heif_orientation_normal;
    int primaries = 0; // nclx primaries and transfer to write; 0: libheif's default
    int transfer = 0;
    std::vector<std::uint8_t> icc;
};

inline heif_error appendBytes(heif_context*, const void* data, size_t size, void* target) {
    static_cast<std::string*>(target)->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// A file of the given pictures, the `primary`th of them as its primary image.
inline std::string heifFile(const std::vector<HeifPicture>& pictures, int primary = 0) {
    heif_context* context = heif_context_alloc();
    std::vector<heif_image_handle*> handles;
    for (const HeifPicture& p : pictures) {
        const int channels = p.alpha ? 4 : 3;
        const heif_chroma chroma =
            p.depth > 8 ? (p.alpha ? heif_chroma_interleaved_RRGGBBAA_LE
                                   : heif_chroma_interleaved_RRGGBB_LE)
                        : (p.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
        heif_image* image = nullptr;
        heif_image_create(p.width, p.height, heif_colorspace_RGB, chroma, &image);
        heif_image_add_plane(image, heif_channel_interleaved, p.width, p.height, p.depth);
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        const auto samples = quadSamples(p.quads, p.width, p.height, channels);
        for (int y = 0; y < p.height; ++y)
            for (int i = 0; i < p.width * channels; ++i) {
                const std::uint16_t v = samples[std::size_t(y) * p.width * channels + i];
                if (p.depth > 8) {
                    plane[y * stride + 2 * i] = std::uint8_t(v);
                    plane[y * stride + 2 * i + 1] = std::uint8_t(v >> 8);
                } else {
                    plane[y * stride + i] = std::uint8_t(v);
                }
            }
        if (!p.icc.empty())
            heif_image_set_raw_color_profile(image, "prof", p.icc.data(), p.icc.size());
        heif_encoder* encoder = nullptr;
        heif_context_get_encoder_for_format(context, p.codec, &encoder);
        heif_encoder_set_lossless(encoder, 1);
        heif_encoder_set_parameter_string(encoder, "chroma", "444");
        heif_encoding_options* options = heif_encoding_options_alloc();
        options->image_orientation = p.orientation;
        heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
        if (p.primaries) {
            heif_nclx_color_profile_set_color_primaries(nclx, std::uint16_t(p.primaries));
            heif_nclx_color_profile_set_transfer_characteristics(nclx, std::uint16_t(p.transfer));
        }
        // Identity matrix: the RGB samples stored as they are, so lossless is exact.
        nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
        nclx->full_range_flag = 1;
        options->output_nclx_profile = nclx;
        heif_image_set_nclx_color_profile(image, nclx);
        heif_image_handle* handle = nullptr;
        const heif_error e = heif_context_encode_image(context, image, encoder, options, &handle);
        EXPECT_EQ(e.code, heif_error_Ok) << e.message;
        handles.push_back(handle);
        heif_nclx_color_profile_free(nclx);
        heif_encoding_options_free(options);
        heif_encoder_release(encoder);
        heif_image_release(image);
    }
    heif_context_set_primary_image(context, handles[std::size_t(primary)]);
    std::string bytes;
    heif_writer writer{1, appendBytes};
    heif_context_write(context, &writer, &bytes);
    for (heif_image_handle* h : handles)
        heif_image_handle_release(h);
    heif_context_free(context);
    return bytes;
}

} // namespace kv::test
