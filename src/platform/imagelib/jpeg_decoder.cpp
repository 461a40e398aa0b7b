// JPEG through libjpeg-turbo, from memory. Every picture comes out as 24-bit
// bottom-up BGR, turned upright by its EXIF orientation.
#include "platform/imagelib/decoder_support.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

namespace kv::platform::imagelib {

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool dataEnded = false;
};

// libjpeg's default error_exit calls exit(); ours returns to the decoder.
[[noreturn]] void onError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Corrupt-data warnings are expected on damaged files; they go nowhere. The end
// of a cut-off file is noted so that decoding stops there.
void onMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        reinterpret_cast<ErrorManager*>(info->err)->dataEnded = true;
}

std::uint32_t readU16(const std::uint8_t* p, bool bigEndian) {
    return bigEndian ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0];
}

std::uint32_t readU32(const std::uint8_t* p, bool bigEndian) {
    return bigEndian ? (readU16(p, true) << 16) | readU16(p + 2, true)
                     : (readU16(p + 2, false) << 16) | readU16(p, false);
}

// The Orientation tag (0x0112) of IFD0 in an Exif APP1 body; 1 when absent or
// out of range.
int exifOrientation(const std::uint8_t* data, std::size_t size) {
    static constexpr std::uint8_t kExifId[] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < sizeof kExifId + 8 || std::memcmp(data, kExifId, sizeof kExifId) != 0)
        return 1;
    const std::uint8_t* tiff = data + sizeof kExifId;
    const std::size_t tiffSize = size - sizeof kExifId;
    bool bigEndian;
    if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else if (tiff[0] == 'I' && tiff[1] == 'I')
        bigEndian = false;
    else
        return 1;
    const std::uint32_t ifd = readU32(tiff + 4, bigEndian);
    if (ifd > tiffSize - 2)
        return 1;
    const std::uint32_t count = readU16(tiff + ifd, bigEndian);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t entry = ifd + 2 + std::uint64_t{i} * 12;
        if (entry + 12 > tiffSize)
            return 1;
        const std::uint8_t* e = tiff + entry;
        if (readU16(e, bigEndian) != 0x0112)
            continue;
        if (readU16(e + 2, bigEndian) != 3) // SHORT
            return 1;
        const int value = static_cast<int>(readU16(e + 8, bigEndian));
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

// How each EXIF orientation stores the upright picture: the upright (x, y) is
// found at stored (x, y), or at (y, x) when swapped, then mirrored as marked.
struct Orientation {
    bool swap, mirrorX, mirrorY;
};
constexpr Orientation kOrientations[9] = {
    {},
    {},
    {false, true, false},
    {false, true, true},
    {false, false, true},
    {true, false, false},
    {true, false, true},
    {true, true, true},
    {true, true, false},
};

// `stored` holds top-down, tightly packed BGR rows of a w × h picture.
void placeUpright(const std::vector<std::uint8_t>& stored, int w, int h, int orientation,
                  DecodedImage& out) {
    const Orientation o = kOrientations[orientation];
    out.width = o.swap ? h : w;
    out.height = o.swap ? w : h;
    out.bitsPerPixel = 24;
    const std::size_t stride = out.stride();
    out.pixels.assign(stride * out.height, 0);
    for (int y = 0; y < out.height; ++y) {
        std::uint8_t* row = out.pixels.data() + (out.height - 1 - y) * stride;
        for (int x = 0; x < out.width; ++x) {
            int sx = o.swap ? y : x, sy = o.swap ? x : y;
            sx = o.mirrorX ? w - 1 - sx : sx;
            sy = o.mirrorY ? h - 1 - sy : sy;
            std::memcpy(row + x * 3, stored.data() + (std::size_t(sy) * w + sx) * 3, 3);
        }
    }
}

// The work behind setjmp. Everything with a destructor is owned by the caller,
// so a longjmp out of libjpeg skips none.
DecodeResult decode(jpeg_decompress_struct& cinfo, ErrorManager& err,
                    std::span<const std::uint8_t> bytes, DecodedImage& image,
                    std::vector<std::uint8_t>& stored, std::vector<std::uint8_t>& cmykRow,
                    int& orientation) {
    if (setjmp(err.jump)) {
        // libjpeg itself refuses sides past 65500 pixels.
        if (err.base.msg_code == JERR_IMAGE_TOO_BIG)
            return detail::refuse(image, FailureReason::TooLarge);
        return DecodeResult::Failed;
    }
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&cinfo, kApp1, 0xFFFF);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return DecodeResult::Failed;

    for (auto* m = cinfo.marker_list; m && orientation == 1; m = m->next)
        if (m->marker == kApp1)
            orientation = exifOrientation(m->data, m->data_length);

    bool cmyk = false;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        cinfo.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        return DecodeResult::JpegColourSpace;
    }

    const std::uint64_t w = cinfo.image_width, h = cinfo.image_height;
    if (const FailureReason problem =
            detail::sizeProblem(static_cast<std::int64_t>(w), static_cast<std::int64_t>(h));
        problem != FailureReason::None)
        return detail::refuse(image, problem);
    // Huffman coding spends at least one bit on every block of a component (its DC
    // code, also in a progressive first scan), so a file holding fewer bytes than
    // the largest component has blocks / 8 cannot be this picture. Arithmetic
    // coding can pack a plain picture tighter than that, so it has no such floor.
    if (!cinfo.arith_code) {
        std::uint64_t blocks = 0;
        for (int c = 0; c < cinfo.num_components; ++c)
            blocks =
                std::max<std::uint64_t>(blocks, std::uint64_t{cinfo.comp_info[c].width_in_blocks} *
                                                    cinfo.comp_info[c].height_in_blocks);
        if (bytes.size() < blocks / 8)
            return detail::refuse(image, FailureReason::Damaged);
    }
    // An upright picture goes straight into bottom-up rows; a turned one into
    // top-down rows first.
    const bool upright = orientation == 1;
    if (upright) {
        image.width = static_cast<int>(w);
        image.height = static_cast<int>(h);
        image.bitsPerPixel = 24;
        image.pixels.assign(std::size_t(image.stride()) * h, 0);
    } else {
        stored.resize(w * h * 3);
    }

    jpeg_start_decompress(&cinfo);
    // A progressive file is read whole by now; a sequential one that ends early
    // would have libjpeg make up the missing rows, which on a tiny file claiming
    // a huge picture takes long. Those rows stay black instead.
    const bool endedBeforeRows = err.dataEnded;
    cmykRow.resize(cmyk ? w * 4 : 0);
    // Photoshop writes CMYK inverted (0 = full ink) and marks such files with
    // its Adobe APP14 segment; plain CMYK files store ink amounts directly.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const std::uint64_t y = cinfo.output_scanline;
        std::uint8_t* dst = upright ? image.pixels.data() + (h - 1 - y) * image.stride()
                                    : stored.data() + y * w * 3;
        JSAMPROW row = cmyk ? cmykRow.data() : dst;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            return DecodeResult::Failed;
        if (err.dataEnded && !endedBeforeRows)
            break;
        if (!cmyk)
            continue;
        for (std::uint64_t x = 0; x < w; ++x) {
            const std::uint8_t* p = cmykRow.data() + x * 4;
            const int k = inverted ? p[3] : 255 - p[3];
            for (int c = 0; c < 3; ++c) {
                const int ink = inverted ? p[c] : 255 - p[c];
                dst[x * 3 + 2 - c] = static_cast<std::uint8_t>((ink * k + 127) / 255);
            }
        }
    }
    if (!err.dataEnded)
        jpeg_finish_decompress(&cinfo);
    return DecodeResult::Ok;
}

} // namespace

DecodeResult decodeJpeg(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    if (bytes.size() < 4)
        return DecodeResult::Failed;
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    jpeg_create_decompress(&cinfo);

    DecodedImage image;
    std::vector<std::uint8_t> stored, cmykRow;
    int orientation = 1;
    const DecodeResult result = decode(cinfo, err, bytes, image, stored, cmykRow, orientation);
    jpeg_destroy_decompress(&cinfo);
    if (result != DecodeResult::Ok) {
        out.failure = image.failure;
        return result;
    }
    if (orientation == 1)
        out = std::move(image);
    else
        placeUpright(stored, static_cast<int>(cinfo.image_width),
                     static_cast<int>(cinfo.image_height), orientation, out);
    // libjpeg ran out of data: what arrived is shown, and the program says so.
    out.incomplete = err.dataEnded;
    return DecodeResult::Ok;
}

} // namespace kv::platform::imagelib
