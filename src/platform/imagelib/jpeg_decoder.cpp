// JPEG through libjpeg-turbo, from memory. Every picture comes out as 24-bit
// bottom-up BGR, turned upright by its EXIF orientation: whole (decodeJpeg) or row
// by row (streamJpeg), from the one decoding loop.
#include "platform/imagelib/colour_profile.h"
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/jpeg_stream.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

namespace kv::platform::imagelib {

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;
constexpr int kApp2 = JPEG_APP0 + 2;

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

// The TIFF structure inside an Exif APP1 body.
struct ExifView {
    const std::uint8_t* tiff = nullptr;
    std::size_t size = 0;
    bool bigEndian = false;

    // The value field of `tag` in the IFD at `ifd` (12-byte entries), or nullptr;
    // `type` gets the entry's type and `count` its count.
    const std::uint8_t* find(std::uint32_t ifd, std::uint16_t tag, std::uint32_t& type,
                             std::uint32_t& count) const {
        if (size < 2 || ifd > size - 2)
            return nullptr;
        const std::uint32_t entries = readU16(tiff + ifd, bigEndian);
        for (std::uint32_t i = 0; i < entries; ++i) {
            const std::uint64_t entry = ifd + 2 + std::uint64_t{i} * 12;
            if (entry + 12 > size)
                return nullptr;
            const std::uint8_t* e = tiff + entry;
            if (readU16(e, bigEndian) != tag)
                continue;
            type = readU16(e + 2, bigEndian);
            count = readU32(e + 4, bigEndian);
            return e + 8;
        }
        return nullptr;
    }
    // A LONG pointing at another IFD (the Exif and Interoperability IFDs).
    std::uint32_t pointer(std::uint32_t ifd, std::uint16_t tag) const {
        std::uint32_t type = 0, count = 0;
        const std::uint8_t* value = find(ifd, tag, type, count);
        return value && type == 4 && count == 1 ? readU32(value, bigEndian) : 0;
    }
    std::uint32_t firstIfd() const { return readU32(tiff + 4, bigEndian); }
};

bool exifView(const std::uint8_t* data, std::size_t size, ExifView& view) {
    static constexpr std::uint8_t kExifId[] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < sizeof kExifId + 8 || std::memcmp(data, kExifId, sizeof kExifId) != 0)
        return false;
    view.tiff = data + sizeof kExifId;
    view.size = size - sizeof kExifId;
    if (view.tiff[0] == 'M' && view.tiff[1] == 'M')
        view.bigEndian = true;
    else if (view.tiff[0] == 'I' && view.tiff[1] == 'I')
        view.bigEndian = false;
    else
        return false;
    return true;
}

// The Orientation tag (0x0112) of IFD0 in an Exif APP1 body; 1 when absent or
// out of range.
int exifOrientation(const std::uint8_t* data, std::size_t size) {
    ExifView exif;
    if (!exifView(data, size, exif))
        return 1;
    std::uint32_t type = 0, count = 0;
    const std::uint8_t* value = exif.find(exif.firstIfd(), 0x0112, type, count);
    if (!value || type != 3) // SHORT
        return 1;
    const int orientation = static_cast<int>(readU16(value, exif.bigEndian));
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// Cameras set to Adobe RGB write no profile: DCF marks such files with the EXIF
// colour space "uncalibrated" (0xFFFF) and the interoperability index "R03".
bool exifAdobeRgb(const std::uint8_t* data, std::size_t size) {
    ExifView exif;
    if (!exifView(data, size, exif))
        return false;
    const std::uint32_t exifIfd = exif.pointer(exif.firstIfd(), 0x8769);
    if (exifIfd == 0)
        return false;
    std::uint32_t type = 0, count = 0;
    const std::uint8_t* space = exif.find(exifIfd, 0xA001, type, count);
    if (!space || type != 3 || readU16(space, exif.bigEndian) != 0xFFFF)
        return false;
    const std::uint32_t interop = exif.pointer(exifIfd, 0xA005);
    if (interop == 0)
        return false;
    const std::uint8_t* index = exif.find(interop, 0x0001, type, count);
    // ASCII "R03" with its terminating zero fits the four-byte value field.
    return index && type == 2 && count >= 3 && count <= 4 && std::memcmp(index, "R03", 3) == 0;
}

// The ICC profile of APP2 "ICC_PROFILE" segments. A profile whose chunks do not
// fit together is dropped, and noted as unusable.
void readIccProfile(jpeg_decompress_struct& cinfo, DecodedImage& image) {
    JOCTET* data = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&cinfo, &data, &length)) {
        image.iccProfile.assign(data, data + length);
        std::free(data);
        return;
    }
    static constexpr char kIccId[] = "ICC_PROFILE"; // with its zero: 12 bytes
    for (auto* m = cinfo.marker_list; m; m = m->next)
        if (m->marker == kApp2 && m->data_length >= sizeof kIccId &&
            std::memcmp(m->data, kIccId, sizeof kIccId) == 0)
            image.profileIgnored = true;
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

// `stored` holds top-down, tightly packed BGR rows of a w x h picture; its upright
// rows go to the sink top first.
void sendUpright(const std::vector<std::uint8_t>& stored, int w, int h, int orientation,
                 std::vector<std::uint8_t>& row, RowSink& sink) {
    const Orientation o = kOrientations[orientation];
    const int width = o.swap ? h : w;
    const int height = o.swap ? w : h;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int sx = o.swap ? y : x, sy = o.swap ? x : y;
            sx = o.mirrorX ? w - 1 - sx : sx;
            sy = o.mirrorY ? h - 1 - sy : sy;
            std::memcpy(row.data() + std::size_t(x) * 3,
                        stored.data() + (std::size_t(sy) * w + sx) * 3, 3);
        }
        sink.row(height - 1 - y, row.data());
    }
}

// Asks libjpeg for the smallest n/8 scale that still gives `need` (upright), when
// that is half the picture or less: the shrink that follows then starts from far
// fewer pixels, and the whole picture is never held.
void chooseScale(jpeg_decompress_struct& cinfo, int orientation, DecodeExtent need) {
    if (kOrientations[orientation].swap)
        std::swap(need.width, need.height);
    const std::uint64_t w = cinfo.image_width, h = cinfo.image_height;
    if (need.width <= 0 || need.height <= 0 || 2 * std::uint64_t(need.width) > w ||
        2 * std::uint64_t(need.height) > h)
        return;
    // libjpeg rounds a scaled side up.
    for (unsigned n = 1; n < 8; ++n) {
        if ((w * n + 7) / 8 >= std::uint64_t(need.width) &&
            (h * n + 7) / 8 >= std::uint64_t(need.height)) {
            cinfo.scale_num = n;
            cinfo.scale_denom = 8;
            return;
        }
    }
}

// The work behind setjmp. Everything with a destructor is owned by the caller,
// so a longjmp out of libjpeg skips none; the sink is only called between
// libjpeg's calls.
DecodeResult decode(jpeg_decompress_struct& cinfo, ErrorManager& err,
                    std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& image,
                    std::vector<std::uint8_t>& stored, std::vector<std::uint8_t>& row,
                    std::vector<std::uint8_t>& cmykRow, int& orientation,
                    const NeededExtent* needed, SrgbTransform& transform, bool convertRows) {
    if (setjmp(err.jump)) {
        // libjpeg itself refuses sides past 65500 pixels.
        if (err.base.msg_code == JERR_IMAGE_TOO_BIG)
            return detail::refuse(image, FailureReason::TooLarge);
        return DecodeResult::Failed;
    }
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&cinfo, kApp1, 0xFFFF);
    jpeg_save_markers(&cinfo, kApp2, 0xFFFF);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return DecodeResult::Failed;

    for (auto* m = cinfo.marker_list; m && orientation == 1; m = m->next)
        if (m->marker == kApp1)
            orientation = exifOrientation(m->data, m->data_length);
    readIccProfile(cinfo, image);
    for (auto* m = cinfo.marker_list; m && image.iccProfile.empty() && !image.adobeRgb; m = m->next)
        if (m->marker == kApp1)
            image.adobeRgb = exifAdobeRgb(m->data, m->data_length);

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

    if (const FailureReason problem =
            detail::sizeProblem(static_cast<std::int64_t>(cinfo.image_width),
                                static_cast<std::int64_t>(cinfo.image_height));
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
    const bool swap = kOrientations[orientation].swap;
    if (needed && *needed) {
        const int uw = static_cast<int>(swap ? cinfo.image_height : cinfo.image_width);
        const int uh = static_cast<int>(swap ? cinfo.image_width : cinfo.image_height);
        chooseScale(cinfo, orientation, (*needed)(uw, uh));
    }
    jpeg_calc_output_dimensions(&cinfo);
    const std::uint64_t w = cinfo.output_width, h = cinfo.output_height;
    // An upright picture goes to the sink as it is decoded; a turned one is held
    // in top-down rows until it is whole.
    const bool upright = orientation == 1;
    row.assign((swap ? h : w) * 3, 0);
    if (!upright)
        stored.resize(w * h * 3);
    sink.start(static_cast<int>(swap ? h : w), static_cast<int>(swap ? w : h));

    jpeg_start_decompress(&cinfo);
    // A progressive file is read whole by now; a sequential one that ends early
    // would have libjpeg make up the missing rows, which on a tiny file claiming
    // a huge picture takes long. Those rows stay black instead.
    const bool endedBeforeRows = err.dataEnded;
    cmykRow.resize(cmyk ? w * 4 : 0);
    // Photoshop writes CMYK inverted (0 = full ink) and marks such files with
    // its Adobe APP14 segment; plain CMYK files store ink amounts directly.
    const bool inverted = cinfo.saw_Adobe_marker;
    // CMYK goes through its profile here, as only the decoder sees its inks; so do
    // the rows of a picture handed on row by row, which the library never holds.
    if (cmyk || convertRows) {
        if (cmyk)
            image.adobeRgb = false; // an RGB colour space says nothing of inks
        transform = SrgbTransform::describedBy(
            image, !cmyk ? SourcePixels::Bgr
                         : (inverted ? SourcePixels::CmykInverted : SourcePixels::Cmyk));
        image.profileIgnored = image.profileIgnored || transform.damaged();
        image.iccProfile.clear();
        image.adobeRgb = false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        const std::uint64_t y = cinfo.output_scanline;
        std::uint8_t* dst = upright ? row.data() : stored.data() + y * w * 3;
        JSAMPROW in = cmyk ? cmykRow.data() : dst;
        if (jpeg_read_scanlines(&cinfo, &in, 1) != 1)
            return DecodeResult::Failed;
        // The row during which the data ran out is kept, unless it still needed
        // its CMYK conversion.
        const bool ending = err.dataEnded && !endedBeforeRows;
        if (cmyk && ending)
            break;
        if (cmyk && transform.active())
            transform.toBgr(cmykRow.data(), dst, w);
        else if (transform.active())
            transform.toBgr(dst, dst, w);
        for (std::uint64_t x = 0; cmyk && !transform.active() && x < w; ++x) {
            const std::uint8_t* p = cmykRow.data() + x * 4;
            const int k = inverted ? p[3] : 255 - p[3];
            for (int c = 0; c < 3; ++c) {
                const int ink = inverted ? p[c] : 255 - p[c];
                dst[x * 3 + 2 - c] = static_cast<std::uint8_t>((ink * k + 127) / 255);
            }
        }
        if (upright)
            sink.row(static_cast<int>(h - 1 - y), dst);
        if (ending)
            break;
    }
    // The rows a cut-off file never gave are black gone through the profile, as
    // when the whole picture is converted after decoding.
    if (!cmyk && transform.active() && cinfo.output_scanline < h) {
        if (upright) {
            std::fill(row.begin(), row.end(), std::uint8_t{0});
            transform.toBgr(row.data(), row.data(), w);
        }
        for (std::uint64_t y = cinfo.output_scanline; y < h; ++y) {
            if (upright)
                sink.row(static_cast<int>(h - 1 - y), row.data());
            else
                transform.toBgr(stored.data() + y * w * 3, stored.data() + y * w * 3, w);
        }
    }
    if (!err.dataEnded)
        jpeg_finish_decompress(&cinfo);
    return DecodeResult::Ok;
}

// The whole picture as bottom-up rows; rows that never come stay black.
class ImageSink : public RowSink {
  public:
    explicit ImageSink(DecodedImage& image) : m_image(image) {}
    void start(int width, int height) override {
        m_image.width = width;
        m_image.height = height;
        m_image.bitsPerPixel = 24;
        m_image.pixels.assign(std::size_t(m_image.stride()) * std::size_t(height), 0);
    }
    void row(int fromBottom, const std::uint8_t* bgr) override {
        std::memcpy(m_image.pixels.data() + std::size_t(fromBottom) * m_image.stride(), bgr,
                    std::size_t(m_image.width) * 3);
    }

  private:
    DecodedImage& m_image;
};

// Decodes into `sink`; `out` gets the failure and the cut-off mark.
DecodeResult run(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out,
                 const NeededExtent* needed, bool convertRows) {
    if (bytes.size() < 4)
        return DecodeResult::Failed;
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    jpeg_create_decompress(&cinfo);

    std::vector<std::uint8_t> stored, row, cmykRow;
    int orientation = 1;
    SrgbTransform transform;
    const DecodeResult result = decode(cinfo, err, bytes, sink, out, stored, row, cmykRow,
                                       orientation, needed, transform, convertRows);
    const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
    jpeg_destroy_decompress(&cinfo);
    if (result != DecodeResult::Ok)
        return result;
    if (orientation != 1) {
        cmykRow = {};
        sendUpright(stored, w, h, orientation, row, sink);
    }
    // libjpeg ran out of data: what arrived is shown, and the program says so.
    out.incomplete = err.dataEnded;
    return DecodeResult::Ok;
}

DecodeResult decodeWhole(std::span<const std::uint8_t> bytes, DecodedImage& out,
                         const NeededExtent* needed) {
    DecodedImage image;
    ImageSink sink(image);
    const DecodeResult result = run(bytes, sink, image, needed, false);
    if (result != DecodeResult::Ok) {
        out.failure = image.failure;
        return result;
    }
    out = std::move(image);
    return DecodeResult::Ok;
}

} // namespace

DecodeResult decodeJpeg(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    return decodeWhole(bytes, out, nullptr);
}

DecodeResult decodeJpegAtLeast(std::span<const std::uint8_t> bytes, DecodedImage& out,
                               const NeededExtent& needed) {
    return decodeWhole(bytes, out, &needed);
}

DecodeResult streamJpeg(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out) {
    out = DecodedImage{};
    const DecodeResult result = run(bytes, sink, out, nullptr, true);
    if (result == DecodeResult::Failed && out.failure == FailureReason::None)
        out.failure = FailureReason::Damaged;
    return result;
}

} // namespace kv::platform::imagelib
