// JPEG XL through libjxl, from memory: the first displayed frame as 24-bit
// bottom-up BGR, turned by the file's orientation, alpha composited on white.
// A one-bit grey picture comes out at 1 bit. The colour space of the pixels
// goes into iccProfile unless it is sRGB.
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/interleaved_rgb.h"

#include <memory>
#include <vector>

#include <jxl/decode.h>

namespace kv::platform::imagelib {

namespace {

struct DecoderDestroy {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

bool isSrgb(const JxlColorEncoding& c) {
    const bool srgbPrimaries =
        c.color_space == JXL_COLOR_SPACE_GRAY ||
        (c.color_space == JXL_COLOR_SPACE_RGB && c.primaries == JXL_PRIMARIES_SRGB);
    return srgbPrimaries && c.white_point == JXL_WHITE_POINT_D65 &&
           c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// A lossy (XYB) picture has no colour space of its own: libjxl renders it into
// whichever we ask for. Its original space when that is an RGB space 8 bits
// hold well, so that the central conversion maps a wide gamut into sRGB;
// else sRGB, rendered by libjxl itself.
void chooseRendering(JxlDecoder* decoder, bool grey) {
    JxlColorEncoding wanted{};
    const bool keepOriginal =
        JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                           &wanted) == JXL_DEC_SUCCESS &&
        wanted.color_space == (grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB) &&
        (wanted.transfer_function == JXL_TRANSFER_FUNCTION_SRGB ||
         wanted.transfer_function == JXL_TRANSFER_FUNCTION_709 ||
         wanted.transfer_function == JXL_TRANSFER_FUNCTION_GAMMA);
    if (!keepOriginal) {
        wanted = JxlColorEncoding{};
        wanted.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
        wanted.white_point = JXL_WHITE_POINT_D65;
        wanted.primaries = JXL_PRIMARIES_SRGB;
        wanted.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
        wanted.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
    }
    JxlDecoderSetPreferredColorProfile(decoder, &wanted);
}

// The profile of the pixels as decoded; empty when they are sRGB.
std::vector<std::uint8_t> dataProfile(JxlDecoder* decoder) {
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS &&
        isSrgb(encoding))
        return {};
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0)
        return {};
    std::vector<std::uint8_t> bytes(size);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return {};
    return bytes;
}

struct Picture {
    int width = 0;
    int height = 0;
    int channels = 3; // RGB or RGBA as asked of libjxl; grey comes out as RGB
    bool bilevel = false;
    std::vector<std::uint8_t> samples;
};

void store(const Picture& picture, DecodedImage& out) {
    if (picture.bilevel) {
        detail::allocateImage(out, picture.width, picture.height, 1);
        detail::setPaletteEntry(out, 0, 0, 0, 0);
        detail::setPaletteEntry(out, 1, 255, 255, 255);
        for (int y = 0; y < picture.height; ++y) {
            std::uint8_t* row =
                out.pixels.data() + static_cast<std::size_t>(picture.height - 1 - y) * out.stride();
            const std::uint8_t* src =
                picture.samples.data() + static_cast<std::size_t>(y) * picture.width * 3;
            for (int x = 0; x < picture.width; ++x)
                detail::putIndex(row, x, 1, src[x * 3] >= 128 ? 1 : 0);
        }
        return;
    }
    detail::allocateImage(out, picture.width, picture.height, 24);
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * picture.channels;
    for (int y = 0; y < picture.height; ++y)
        detail::putRgbRow(out, y, picture.samples.data() + y * rowBytes, picture.channels, 255);
}

} // namespace

DecodeResult decodeJxl(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    const std::unique_ptr<JxlDecoder, DecoderDestroy> owner(JxlDecoderCreate(nullptr));
    JxlDecoder* decoder = owner.get();
    if (!decoder)
        return detail::refuse(out, FailureReason::TooLarge);
    // Orientation applied (libjxl's default, said here since we rely on it);
    // straight alpha, since compositing on white wants it.
    if (JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                               JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder, JXL_FALSE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(decoder, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder, bytes.data(), bytes.size()) != JXL_DEC_SUCCESS)
        return detail::refuse(out, FailureReason::Damaged);
    JxlDecoderCloseInput(decoder);

    Picture picture;
    JxlBasicInfo info{};
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    bool bufferSet = false;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder)) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS)
                return detail::refuse(out, FailureReason::Damaged);
            if (const FailureReason problem = detail::sizeProblem(info.xsize, info.ysize);
                problem != FailureReason::None)
                return detail::refuse(out, problem);
            const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
            picture.width = static_cast<int>(turned ? info.ysize : info.xsize);
            picture.height = static_cast<int>(turned ? info.xsize : info.ysize);
            picture.channels = info.alpha_bits > 0 ? 4 : 3;
            picture.bilevel =
                info.num_color_channels == 1 && info.bits_per_sample == 1 && info.alpha_bits == 0;
            format.num_channels = static_cast<std::uint32_t>(picture.channels);
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            if (!info.uses_original_profile)
                chooseRendering(decoder, info.num_color_channels == 1);
            out.iccProfile = dataProfile(decoder);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t size = 0;
            const std::size_t expected = static_cast<std::size_t>(picture.width) *
                                         static_cast<std::size_t>(picture.height) *
                                         static_cast<std::size_t>(picture.channels);
            if (JxlDecoderImageOutBufferSize(decoder, &format, &size) != JXL_DEC_SUCCESS ||
                size != expected)
                return detail::refuse(out, FailureReason::Damaged);
            picture.samples.assign(size, 0);
            if (JxlDecoderSetImageOutBuffer(decoder, &format, picture.samples.data(), size) !=
                JXL_DEC_SUCCESS)
                return detail::refuse(out, FailureReason::Damaged);
            bufferSet = true;
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first displayed frame is the picture; an animation's others are left.
            store(picture, out);
            return DecodeResult::Ok;
        case JXL_DEC_NEED_MORE_INPUT:
            // A file cut off within the pixels shows what arrived.
            if (bufferSet && JxlDecoderFlushImage(decoder) == JXL_DEC_SUCCESS) {
                store(picture, out);
                out.incomplete = true;
                return DecodeResult::Ok;
            }
            return detail::refuse(out, FailureReason::Damaged);
        case JXL_DEC_ERROR:
        case JXL_DEC_SUCCESS:
            return detail::refuse(out, FailureReason::Damaged);
        default:
            break;
        }
    }
}

} // namespace kv::platform::imagelib
