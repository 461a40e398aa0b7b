// HEIF/HEIC and AVIF through libheif, from memory. The primary image comes out
// as 24-bit bottom-up BGR with its rotation and mirroring applied (as EXIF
// orientation is for JPEG), deeper samples rounded to 8 bits and alpha
// composited on white. Its colour description goes into iccProfile: an ICC
// profile as stored, or one built from the nclx primaries and transfer curve.
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/interleaved_rgb.h"
#include "platform/imagelib/picture_stream.h"
#include "platform/imagelib/stream_support.h"

#include <memory>
#include <vector>

#include <lcms2.h>
#include <libheif/heif.h>

namespace kv::platform::imagelib {

namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
struct LcmsProfileClose {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct LcmsCurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};

FailureReason reasonFor(const heif_error& error) {
    if (error.subcode == heif_suberror_Security_limit_exceeded)
        return FailureReason::TooLarge;
    switch (error.code) {
    case heif_error_Unsupported_feature:
    case heif_error_Unsupported_filetype:
        return FailureReason::Unsupported;
    case heif_error_Decoder_plugin_error:
        return error.subcode == heif_suberror_Unsupported_codec ? FailureReason::Unsupported
                                                                : FailureReason::Damaged;
    default:
        return FailureReason::Damaged;
    }
}

// The nclx transfer characteristics as an lcms tone curve (H.273 numbering);
// null for the ones that are sRGB's own or cannot be told as a curve (PQ, HLG).
cmsToneCurve* transferCurve(int transfer) {
    switch (transfer) {
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit: {
        // The inverse of the BT.709 camera curve, as lcms's type 4 parametric curve.
        const cmsFloat64Number p[] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        return cmsBuildGamma(nullptr, 2.2);
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        return cmsBuildGamma(nullptr, 2.8);
    case heif_transfer_characteristic_linear:
        return cmsBuildGamma(nullptr, 1.0);
    case heif_transfer_characteristic_IEC_61966_2_1: {
        const cmsFloat64Number p[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return cmsBuildParametricToneCurve(nullptr, 4, p);
    }
    default:
        return nullptr;
    }
}

// An ICC profile for nclx primaries and transfer, or none when they are sRGB's
// (or unspecified, which readers take as sRGB). libheif has already turned
// the matrix coefficients into RGB.
std::vector<std::uint8_t> profileForNclx(const heif_color_profile_nclx& nclx) {
    const int primaries = nclx.color_primaries;
    int transfer = nclx.transfer_characteristics;
    const bool srgbPrimaries = primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                               primaries == heif_color_primaries_unspecified;
    if (transfer == heif_transfer_characteristic_unspecified)
        transfer = heif_transfer_characteristic_IEC_61966_2_1;
    if (srgbPrimaries && transfer == heif_transfer_characteristic_IEC_61966_2_1)
        return {};
    std::unique_ptr<cmsToneCurve, LcmsCurveFree> curve(transferCurve(transfer));
    if (!curve)
        return {};
    // Unspecified primaries carry no decoded values; they are sRGB's.
    const bool decoded = !srgbPrimaries || primaries == heif_color_primaries_ITU_R_BT_709_5;
    const cmsCIExyY white =
        decoded ? cmsCIExyY{nclx.color_primary_white_x, nclx.color_primary_white_y, 1.0}
                : cmsCIExyY{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE rgb =
        decoded ? cmsCIExyYTRIPLE{{nclx.color_primary_red_x, nclx.color_primary_red_y, 1.0},
                                  {nclx.color_primary_green_x, nclx.color_primary_green_y, 1.0},
                                  {nclx.color_primary_blue_x, nclx.color_primary_blue_y, 1.0}}
                : cmsCIExyYTRIPLE{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    if (white.y <= 0 || rgb.Red.y <= 0 || rgb.Green.y <= 0 || rgb.Blue.y <= 0)
        return {};
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    std::unique_ptr<void, LcmsProfileClose> profile(cmsCreateRGBProfile(&white, &rgb, curves));
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0)
        return {};
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size))
        return {};
    bytes.resize(size);
    return bytes;
}

std::vector<std::uint8_t> colourProfile(const heif_image_handle* handle) {
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        std::vector<std::uint8_t> bytes(heif_image_handle_get_raw_color_profile_size(handle));
        if (bytes.empty() ||
            heif_image_handle_get_raw_color_profile(handle, bytes.data()).code != heif_error_Ok)
            return {};
        return bytes;
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx* raw = nullptr;
        const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &raw);
        // Freed whatever the answer: libheif may hand out a profile with its error.
        const std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
        if (error.code != heif_error_Ok || !nclx)
            return {};
        return profileForNclx(*nclx);
    }
    default:
        return {};
    }
}

// The primary image as libheif decoded it: interleaved RGB(A) samples of 8 bits,
// or of 9 to 16 in two little-endian bytes.
struct Primary {
    std::unique_ptr<heif_context, ContextFree> context;
    std::unique_ptr<heif_image_handle, HandleRelease> handle;
    std::unique_ptr<heif_image, ImageRelease> image;
    int width = 0, height = 0, depth = 0, stride = 0, channels = 3;
    bool deep = false, premultiplied = false;
    const std::uint8_t* plane = nullptr;
};

DecodeResult decodePrimary(std::span<const std::uint8_t> bytes, Primary& p, DecodedImage& out) {
    p.context.reset(heif_context_alloc());
    if (!p.context)
        return detail::refuse(out, FailureReason::TooLarge);
    heif_error error = heif_context_read_from_memory_without_copy(p.context.get(), bytes.data(),
                                                                  bytes.size(), nullptr);
    if (error.code != heif_error_Ok)
        return detail::refuse(out, reasonFor(error));

    // A file with several pictures (bursts, depth maps, thumbnails) shows its primary one.
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(p.context.get(), &rawHandle);
    if (error.code != heif_error_Ok || !rawHandle)
        return detail::refuse(out, reasonFor(error));
    p.handle.reset(rawHandle);
    if (const FailureReason problem = detail::sizeProblem(heif_image_handle_get_width(rawHandle),
                                                          heif_image_handle_get_height(rawHandle));
        problem != FailureReason::None)
        return detail::refuse(out, problem);

    const bool alpha = heif_image_handle_has_alpha_channel(rawHandle) != 0;
    p.deep = heif_image_handle_get_luma_bits_per_pixel(rawHandle) > 8;
    const heif_chroma chroma =
        p.deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
               : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    if (!options)
        return detail::refuse(out, FailureReason::TooLarge);
    // irot and imir turn the picture as the camera held it.
    options->ignore_transformations = 0;
    heif_image* rawImage = nullptr;
    error = heif_decode_image(rawHandle, &rawImage, heif_colorspace_RGB, chroma, options.get());
    if (error.code != heif_error_Ok || !rawImage)
        return detail::refuse(out, reasonFor(error));
    p.image.reset(rawImage);

    p.width = heif_image_get_width(rawImage, heif_channel_interleaved);
    p.height = heif_image_get_height(rawImage, heif_channel_interleaved);
    p.depth = heif_image_get_bits_per_pixel_range(rawImage, heif_channel_interleaved);
    p.plane = heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &p.stride);
    p.channels = alpha ? 4 : 3;
    const int sampleBytes = p.deep ? 2 : 1;
    if (const FailureReason problem = detail::sizeProblem(p.width, p.height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    if (!p.plane || p.depth < 8 || p.depth > 16 ||
        p.stride < static_cast<long long>(p.width) * p.channels * sampleBytes)
        return detail::refuse(out, FailureReason::Damaged);
    p.premultiplied = heif_image_handle_is_premultiplied_alpha(rawHandle) != 0;
    return DecodeResult::Ok;
}

// Row y (from the top) of the primary image as blue, green, red bytes; `samples`
// holds a deep row's samples on the way.
void bgrRow(const Primary& p, int y, std::vector<std::uint16_t>& samples, std::uint8_t* bgr) {
    const std::uint32_t maxValue = (std::uint32_t{1} << p.depth) - 1;
    const std::uint8_t* row = p.plane + static_cast<std::size_t>(y) * p.stride;
    if (!p.deep) {
        detail::toBgrPixels(bgr, row, p.width, p.channels, maxValue, p.premultiplied);
        return;
    }
    samples.resize(static_cast<std::size_t>(p.width) * p.channels);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>(row[2 * i] | row[2 * i + 1] << 8);
    detail::toBgrPixels(bgr, samples.data(), p.width, p.channels, maxValue, p.premultiplied);
}

} // namespace

DecodeResult decodeHeif(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    Primary p;
    if (const DecodeResult result = decodePrimary(bytes, p, out); result != DecodeResult::Ok)
        return result;
    if (!detail::allocateImage(out, p.width, p.height, 24))
        return detail::refuse(out, FailureReason::TooLarge);
    std::vector<std::uint16_t> samples;
    for (int y = 0; y < p.height; ++y)
        bgrRow(p, y, samples,
               out.pixels.data() + static_cast<std::size_t>(p.height - 1 - y) * out.stride());
    out.iccProfile = colourProfile(p.handle.get());
    return DecodeResult::Ok;
}

// libheif holds the decoded picture; its rows go on from there without a copy of ours.
DecodeResult streamHeif(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out) {
    out = DecodedImage{};
    Primary p;
    if (const DecodeResult result = decodePrimary(bytes, p, out); result != DecodeResult::Ok)
        return result;
    detail::SrgbRows rows(sink, out);
    DecodedImage described;
    described.iccProfile = colourProfile(p.handle.get());
    rows.start(p.width, p.height, described);
    std::vector<std::uint16_t> samples;
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(p.width) * 3);
    for (int y = 0; y < p.height; ++y) {
        bgrRow(p, y, samples, bgr.data());
        rows.row(y, bgr.data());
    }
    return DecodeResult::Ok;
}

} // namespace kv::platform::imagelib
