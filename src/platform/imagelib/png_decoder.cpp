// PNG through libpng, from memory. Every depth, palette, grey and alpha, plain or
// interlaced, comes out as 24-bit bottom-up BGR: transparency over white paper,
// 16-bit samples rounded to 8 bits. A picture stored at one bit per pixel without
// transparency comes out at 1 bit, as a 1-bit BMP does. The file's colour
// information goes to out.iccProfile: its iCCP profile, or one made from cHRM and
// gAMA when these describe something other than sRGB.
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/picture_stream.h"
#include "platform/imagelib/stream_support.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>

#include <lcms2.h>
#include <png.h>

namespace kv::platform::imagelib {

namespace {

struct PngReader {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
    bool ended = false;
};

// libpng's default handlers print to stderr (and exit when not given a jump);
// ours go back to the decoder quietly.
[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

void readSpan(png_structp png, png_bytep data, std::size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (length > reader->bytes.size() - reader->position) {
        reader->ended = true;
        png_error(png, "file ends early");
    }
    std::memcpy(data, reader->bytes.data() + reader->position, length);
    reader->position += length;
}

struct PngLayout {
    std::uint32_t width = 0, height = 0;
    bool bilevel = false;
    bool interlaced = false;
    int channels = 3; // after libpng's transforms: BGR, or BGRA with alpha
    bool rowsCame = false;
    bool streamed = false; // the rows went to a sink, not into the picture
};

std::uint8_t onWhite(int value, int alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

void compositeRow(const std::uint8_t* bgra, std::uint32_t width, std::uint8_t* bgr) {
    for (std::uint32_t x = 0; x < width; ++x, bgra += 4, bgr += 3) {
        bgr[0] = onWhite(bgra[0], bgra[3]);
        bgr[1] = onWhite(bgra[1], bgra[3]);
        bgr[2] = onWhite(bgra[2], bgra[3]);
    }
}

std::vector<std::uint8_t> colourProfile(png_structp png, png_infop info);

// The work behind setjmp. Everything with a destructor is owned by the caller, so
// a longjmp out of libpng skips none. Ok once every row is read; Failed otherwise,
// with `layout` telling how far it came. With `rows`, a picture that is neither
// interlaced nor bilevel goes there row by row instead of into `out`.
DecodeResult decode(png_structp png, png_infop info, DecodedImage& out, PngLayout& layout,
                    std::vector<std::uint8_t>& buffer, std::vector<std::uint8_t>& bgr,
                    PngReader& reader, detail::SrgbRows* rows, DecodedImage& described) {
    if (setjmp(png_jmpbuf(png)))
        return DecodeResult::Failed;
    png_set_read_fn(png, &reader, readSpan);
    // Our own pixel bound decides, not libpng's default of a million per side.
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    if (const FailureReason problem = detail::sizeProblem(width, height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    // A 258-byte deflate match costs at least two bits: a picture the rest of the
    // file cannot hold is refused before its pixels are allocated.
    const std::uint64_t channels = png_get_channels(png, info);
    const std::uint64_t rawBytes =
        std::uint64_t{height} * (1 + (std::uint64_t{width} * channels * depth + 7) / 8);
    if (rawBytes / 1032 > reader.bytes.size() - reader.position)
        return detail::refuse(out, FailureReason::Damaged);

    layout.width = width;
    layout.height = height;
    layout.interlaced = interlace != PNG_INTERLACE_NONE;
    const bool transparent = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    layout.bilevel = depth == 1 && !transparent &&
                     (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_PALETTE);
    if (layout.bilevel) {
        // Read as stored: one bit a pixel, the leftmost in the high bit, as ours.
        detail::allocateImage(out, width, height, 1);
        png_colorp palette = nullptr;
        int entries = 0;
        if (colourType == PNG_COLOR_TYPE_GRAY) {
            detail::setPaletteEntry(out, 1, 255, 255, 255);
        } else if (png_get_PLTE(png, info, &palette, &entries) == PNG_INFO_PLTE) {
            for (int i = 0; i < std::min(entries, 2); ++i)
                detail::setPaletteEntry(out, i, palette[i].red, palette[i].green, palette[i].blue);
        }
    } else {
        png_set_expand(png); // palette to RGB, grey below 8 bits to 8, tRNS to alpha
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (!layout.bilevel) {
        layout.channels = png_get_channels(png, info);
        if ((layout.channels != 3 && layout.channels != 4) ||
            png_get_rowbytes(png, info) != std::size_t{width} * layout.channels)
            return DecodeResult::Failed;
        layout.streamed = rows && !layout.interlaced;
        if (!layout.streamed)
            detail::allocateImage(out, width, height, 24);
    }
    const std::size_t rowBytes = std::size_t{width} * layout.channels;
    if (layout.streamed) {
        described.iccProfile = colourProfile(png, info);
        bgr.assign(std::size_t{width} * 3, 0);
        buffer.assign(layout.channels == 4 ? rowBytes : 0, 0);
        rows->start(int(width), int(height), described);
        for (std::uint32_t y = 0; y < height; ++y) {
            png_read_row(png, layout.channels == 4 ? buffer.data() : bgr.data(), nullptr);
            layout.rowsCame = true;
            if (layout.channels == 4)
                compositeRow(buffer.data(), width, bgr.data());
            rows->row(int(y), bgr.data());
        }
        return DecodeResult::Ok;
    }

    // Rows without alpha go straight into the picture. With alpha, an interlaced
    // picture is held whole until its last pass; else one row at a time. Rows that
    // never come stay black.
    const bool direct = layout.bilevel || layout.channels == 3;
    if (!direct) {
        buffer.assign(rowBytes * (layout.interlaced ? height : 1), 0);
        for (std::size_t i = 3; i < buffer.size(); i += 4)
            buffer[i] = 0xFF;
    }
    const std::size_t stride = out.stride();
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < height; ++y) {
            std::uint8_t* target = out.pixels.data() + (height - 1 - y) * stride;
            std::uint8_t* row =
                direct ? target : buffer.data() + (layout.interlaced ? y * rowBytes : 0);
            png_read_row(png, row, nullptr);
            layout.rowsCame = true;
            if (!direct && !layout.interlaced)
                compositeRow(row, width, target);
        }
    }
    return DecodeResult::Ok;
}

bool near(png_fixed_point value, png_fixed_point target, png_fixed_point tolerance) {
    return std::abs(value - target) <= tolerance;
}

// A profile for cHRM and gAMA (sRGB's primaries or tone curve standing in for the
// missing one); empty when they are absent or amount to sRGB, whose pictures keep
// their bytes.
std::vector<std::uint8_t> profileFromChunks(png_structp png, png_infop info) {
    png_fixed_point gamma = 0;
    const bool hasGamma = png_get_gAMA_fixed(png, info, &gamma) != 0 && gamma > 0;
    png_fixed_point wx = 31270, wy = 32900, rx = 64000, ry = 33000, gx = 30000, gy = 60000,
                    bx = 15000, by = 6000;
    const bool hasChrm = png_get_cHRM_fixed(png, info, &wx, &wy, &rx, &ry, &gx, &gy, &bx, &by) != 0;
    if (!hasGamma && !hasChrm)
        return {};
    constexpr png_fixed_point kChrmTolerance = 1000; // 0.01 in x or y
    const bool srgbPrimaries = near(wx, 31270, kChrmTolerance) && near(wy, 32900, kChrmTolerance) &&
                               near(rx, 64000, kChrmTolerance) && near(ry, 33000, kChrmTolerance) &&
                               near(gx, 30000, kChrmTolerance) && near(gy, 60000, kChrmTolerance) &&
                               near(bx, 15000, kChrmTolerance) && near(by, 6000, kChrmTolerance);
    // Writers store sRGB's 1/2.2 as 45454 or 45455.
    const bool srgbGamma = !hasGamma || near(gamma, 45455, 500);
    if (srgbPrimaries && srgbGamma)
        return {};

    const cmsCIExyY white{wx / 100000.0, wy / 100000.0, 1.0};
    const cmsCIExyYTRIPLE primaries{{rx / 100000.0, ry / 100000.0, 1.0},
                                    {gx / 100000.0, gy / 100000.0, 1.0},
                                    {bx / 100000.0, by / 100000.0, 1.0}};
    // gAMA is the exponent the file was encoded with; its samples decode with the
    // inverse. Without gAMA the primaries go with sRGB's own curve.
    static constexpr double kSrgbCurve[] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = hasGamma ? cmsBuildGamma(nullptr, 100000.0 / gamma)
                                   : cmsBuildParametricToneCurve(nullptr, 4, kSrgbCurve);
    if (!curve)
        return {};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    std::vector<std::uint8_t> bytes;
    cmsUInt32Number size = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
        bytes.resize(size);
        if (!cmsSaveProfileToMem(profile, bytes.data(), &size))
            bytes.clear();
    }
    if (profile)
        cmsCloseProfile(profile);
    return bytes;
}

// iCCP first, an sRGB chunk next (nothing to convert), then cHRM and gAMA.
std::vector<std::uint8_t> colourProfile(png_structp png, png_infop info) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) == PNG_INFO_iCCP &&
        profile && length > 0)
        return {profile, profile + length};
    if (png_get_valid(png, info, PNG_INFO_sRGB))
        return {};
    return profileFromChunks(png, info);
}

struct PngHandles {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngHandles() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// decodePng, or with `rows` streamPng: the picture in `out`, or in the sink when
// layout.streamed comes back set.
DecodeResult run(std::span<const std::uint8_t> bytes, DecodedImage& out, detail::SrgbRows* rows,
                 PngLayout& layout) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0)
        return DecodeResult::Failed;
    PngHandles handles;
    handles.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (!handles.png)
        return DecodeResult::Failed;
    handles.info = png_create_info_struct(handles.png);
    if (!handles.info)
        return DecodeResult::Failed;

    DecodedImage image;
    DecodedImage described;
    std::vector<std::uint8_t> buffer, bgr;
    PngReader reader{bytes};
    const DecodeResult result =
        decode(handles.png, handles.info, image, layout, buffer, bgr, reader, rows, described);
    if (result != DecodeResult::Ok) {
        // A file that ends after some rows is shown as far as it came, and the
        // program says so; a damaged one, or one without a row, is refused.
        if (image.failure != FailureReason::None || !reader.ended || !layout.rowsCame)
            return detail::refuse(out, image.failure == FailureReason::None ? FailureReason::Damaged
                                                                            : image.failure);
        image.incomplete = true;
    }
    if (layout.streamed) {
        out.incomplete = image.incomplete;
        rows->finish();
        return DecodeResult::Ok;
    }
    if (layout.interlaced && layout.channels == 4 && !layout.bilevel)
        for (std::uint32_t y = 0; y < layout.height; ++y)
            compositeRow(buffer.data() + std::size_t{y} * layout.width * 4, layout.width,
                         image.pixels.data() + (layout.height - 1 - y) * image.stride());
    image.iccProfile = colourProfile(handles.png, handles.info);
    out = std::move(image);
    return DecodeResult::Ok;
}

} // namespace

DecodeResult decodePng(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    PngLayout layout;
    return run(bytes, out, nullptr, layout);
}

DecodeResult streamPng(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out) {
    out = DecodedImage{};
    detail::SrgbRows rows(sink, out);
    PngLayout layout;
    DecodedImage image;
    const DecodeResult result = run(bytes, image, &rows, layout);
    if (layout.streamed && result == DecodeResult::Ok) {
        out.incomplete = image.incomplete;
        return result;
    }
    // Interlaced and bilevel pictures came whole.
    return detail::sendWhole(result, image, sink, out);
}

} // namespace kv::platform::imagelib
