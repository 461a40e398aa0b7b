// Camera raw files (DNG and the makers' own formats) through LibRaw, from memory.
// Looking at a raw (thumbnail, window) takes its embedded preview when that is
// large enough; printing develops the sensor data itself. Both come out as 24-bit
// bottom-up BGR, turned as the camera recorded.
#include "platform/imagelib/decoder_support.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <libraw.h>

namespace kv::platform::imagelib {

namespace {

using detail::has;

// The smallest preview that stands in for the developed raw: the print frame,
// either way round. Camera previews are mostly far larger; tiny ones (old
// cameras' 160 x 120 thumbnails) would look blurred in the window.
constexpr int kPreviewLongSide = 640;
constexpr int kPreviewShortSide = 480;

// Reads of a TIFF header in either byte order; callers check has() first.
struct TiffReader {
    std::span<const std::uint8_t> bytes;
    bool bigEndian = false;

    std::uint32_t u16(std::size_t at) const {
        return bigEndian ? (bytes[at] << 8) | bytes[at + 1] : (bytes[at + 1] << 8) | bytes[at];
    }
    std::uint32_t u32(std::size_t at) const {
        return bigEndian ? (u16(at) << 16) | u16(at + 2) : (u16(at + 2) << 16) | u16(at);
    }
};

// The first directory's tags that tell a raw from a TIFF picture.
struct FirstDirectory {
    bool dngVersion = false;
    bool make = false;
    bool subDirectories = false;
    bool reducedResolution = false;
    std::uint32_t compression = 1;
    std::uint32_t photometric = 0;
};

bool readFirstDirectory(std::span<const std::uint8_t> bytes, FirstDirectory& dir) {
    if (!has(bytes, 0, 8))
        return false;
    TiffReader r{bytes, bytes[0] == 'M'};
    const std::uint32_t offset = r.u32(4);
    if (!has(bytes, offset, 2))
        return false;
    const std::uint32_t count = r.u16(offset);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = offset + 2 + std::size_t{i} * 12;
        if (!has(bytes, entry, 12))
            break;
        const std::uint32_t type = r.u16(entry + 2);
        // A SHORT value stands in the first two bytes of the value field.
        const std::uint32_t value = type == 3 ? r.u16(entry + 8) : r.u32(entry + 8);
        switch (r.u16(entry)) {
        case 254: // NewSubfileType
            dir.reducedResolution = (value & 1) != 0;
            break;
        case 259:
            dir.compression = value;
            break;
        case 262:
            dir.photometric = value;
            break;
        case 271: // Make
            dir.make = r.u32(entry + 4) > 1;
            break;
        case 330: // SubIFDs
            dir.subDirectories = true;
            break;
        case 50706: // DNGVersion
            dir.dngVersion = true;
            break;
        default:
            break;
        }
    }
    return true;
}

// Codings of raw sensor data that no TIFF reader decodes: Sony, Samsung's packed
// ones, Nikon's, Kodak's, Pentax's, and lossy DNG.
bool rawCompression(std::uint32_t compression) {
    switch (compression) {
    case 32767:
    case 32769:
    case 32770:
    case 34713:
    case 34892:
    case 65000:
    case 65535:
        return true;
    default:
        return false;
    }
}

// LibRaw's complaints are noted here instead of reaching standard error. A data
// error (the file ended inside its sensor data) makes the file damaged; a failed
// allocation comes back as LIBRAW_UNSUFFICIENT_MEMORY anyway.
struct Complaints {
    bool data = false;
};

void onDataError(void* context, const char*, const int) {
    static_cast<Complaints*>(context)->data = true;
}

void onMemoryError(void*, const char*, const char*) {}

FailureReason reasonFor(int code) {
    switch (code) {
    case LIBRAW_TOO_BIG:
    case LIBRAW_UNSUFFICIENT_MEMORY:
        return FailureReason::TooLarge;
    default:
        return FailureReason::Damaged;
    }
}

// LibRaw's flip: 4 swaps rows and columns, then 2 mirrors the rows and 1 the
// columns of the stored picture (dcraw's flip_index). `rgb` holds top-down,
// tightly packed rows of `colors` samples; the upright picture goes to `out`.
void putUpright(const std::uint8_t* rgb, int w, int h, int colors, bool bgr, int flip,
                DecodedImage& out) {
    const bool swap = (flip & 4) != 0;
    const int width = swap ? h : w;
    const int height = swap ? w : h;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* dst = out.pixels.data() + std::size_t(height - 1 - y) * out.stride();
        for (int x = 0; x < width; ++x, dst += 3) {
            int row = swap ? x : y, col = swap ? y : x;
            if (flip & 2)
                row = h - 1 - row;
            if (flip & 1)
                col = w - 1 - col;
            const std::uint8_t* p = rgb + (std::size_t(row) * w + col) * colors;
            if (colors == 1) {
                dst[0] = dst[1] = dst[2] = p[0];
            } else if (bgr) {
                std::memcpy(dst, p, 3);
            } else {
                dst[0] = p[2];
                dst[1] = p[1];
                dst[2] = p[0];
            }
        }
    }
}

// A JPEG preview without its Exif segments: the raw's orientation turns it, and an
// orientation of the preview's own must not turn it a second time. The segments
// before the first non-APP marker are walked; the rest is copied as it is.
std::vector<std::uint8_t> withoutExif(std::span<const std::uint8_t> jpeg) {
    std::vector<std::uint8_t> out(jpeg.begin(),
                                  jpeg.begin() + std::min<std::size_t>(2, jpeg.size()));
    std::size_t at = 2;
    while (has(jpeg, at, 4) && jpeg[at] == 0xFF && jpeg[at + 1] >= 0xE0 && jpeg[at + 1] <= 0xEF) {
        const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (length < 2 || !has(jpeg, at + 2, length))
            break;
        if (jpeg[at + 1] != 0xE1)
            out.insert(out.end(), jpeg.begin() + at, jpeg.begin() + at + 2 + length);
        at += 2 + length;
    }
    out.insert(out.end(), jpeg.begin() + std::min(at, jpeg.size()), jpeg.end());
    return out;
}

// The preview LibRaw found, decoded and turned; false when there is none worth
// showing, so that the raw is developed instead.
bool takePreview(LibRaw& raw, int flip, DecodedImage& out) {
    const libraw_thumbnail_t& thumb = raw.imgdata.thumbnail;
    const int longSide = std::max(thumb.twidth, thumb.theight);
    const int shortSide = std::min(thumb.twidth, thumb.theight);
    // Its size is known once the file is opened, its kind only once it is unpacked.
    if (longSide < kPreviewLongSide || shortSide < kPreviewShortSide ||
        detail::sizeProblem(thumb.twidth, thumb.theight) != FailureReason::None)
        return false;
    if (raw.unpack_thumb() != LIBRAW_SUCCESS || !raw.imgdata.thumbnail.thumb)
        return false;
    const libraw_thumbnail_t& got = raw.imgdata.thumbnail;
    if (got.tformat != LIBRAW_THUMBNAIL_JPEG && got.tformat != LIBRAW_THUMBNAIL_BITMAP)
        return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(got.thumb);
    DecodedImage stored;
    if (got.tformat == LIBRAW_THUMBNAIL_JPEG) {
        const std::vector<std::uint8_t> jpeg = withoutExif({data, got.tlength});
        if (decodeJpeg(jpeg, stored) != DecodeResult::Ok || stored.incomplete ||
            stored.bitsPerPixel != 24)
            return false;
        // Our JPEG rows are bottom-up and padded: repacked top-down for the turn.
        std::vector<std::uint8_t> rows(std::size_t(stored.width) * stored.height * 3);
        for (int y = 0; y < stored.height; ++y)
            std::memcpy(rows.data() + std::size_t(y) * stored.width * 3,
                        stored.pixels.data() + std::size_t(stored.height - 1 - y) * stored.stride(),
                        std::size_t(stored.width) * 3);
        const int w = stored.width, h = stored.height;
        stored = DecodedImage{};
        const bool swap = (flip & 4) != 0;
        if (!detail::allocateImage(out, swap ? h : w, swap ? w : h, 24))
            return false;
        putUpright(rows.data(), w, h, 3, true, flip, out);
        return true;
    }
    const int colors = got.tcolors;
    const int w = got.twidth, h = got.theight;
    if ((colors != 1 && colors != 3) ||
        got.tlength < std::uint64_t(w) * std::uint64_t(h) * std::uint64_t(colors))
        return false;
    const bool swap = (flip & 4) != 0;
    if (!detail::allocateImage(out, swap ? h : w, swap ? w : h, 24))
        return false;
    putUpright(data, w, h, colors, false, flip, out);
    return true;
}

// Develops the sensor data: the camera's white balance, into sRGB at 8 bits, half
// size (each 2 x 2 cell of the sensor one pixel: plenty for the print frame and
// no interpolation to wait for), turned by dcraw_process as the camera recorded.
DecodeResult develop(LibRaw& raw, const Complaints& complaints, DecodedImage& out) {
    libraw_output_params_t& params = raw.imgdata.params;
    params.half_size = 1;
    params.use_camera_wb = 1;
    params.output_bps = 8;
    params.output_color = 1;
    params.user_flip = -1;
    int code = raw.unpack();
    if (code != LIBRAW_SUCCESS)
        return detail::refuse(out, reasonFor(code));
    // A file that ends inside its sensor data reads as zeros from there on.
    if (complaints.data || raw.error_count() > 0)
        return detail::refuse(out, FailureReason::Damaged);
    code = raw.dcraw_process();
    if (code != LIBRAW_SUCCESS)
        return detail::refuse(out, reasonFor(code));
    libraw_processed_image_t* image = raw.dcraw_make_mem_image(&code);
    if (!image)
        return detail::refuse(out, reasonFor(code));
    const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> owned(
        image, LibRaw::dcraw_clear_mem);
    if (image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 ||
        (image->colors != 1 && image->colors != 3) ||
        image->data_size < std::uint64_t(image->width) * image->height * image->colors)
        return detail::refuse(out, FailureReason::Damaged);
    if (!detail::allocateImage(out, image->width, image->height, 24))
        return detail::refuse(out, detail::sizeProblem(image->width, image->height));
    // dcraw_make_mem_image has turned the picture already.
    putUpright(image->data, image->width, image->height, image->colors, false, 0, out);
    return DecodeResult::Ok;
}

DecodeResult decode(std::span<const std::uint8_t> bytes, DecodedImage& out, bool forPrint) {
    if (bytes.empty())
        return detail::refuse(out, FailureReason::Damaged);
    try {
        Complaints complaints;
        // LibRaw is large (its whole state is one object): on the heap.
        auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
        raw->set_dataerror_handler(onDataError, &complaints);
        raw->set_memerror_handler(onMemoryError, nullptr);
        // LibRaw holds a raw at up to four 16-bit samples a pixel; nothing larger
        // than the program's own pixel bound is allocated.
        raw->imgdata.params.max_raw_memory_mb = static_cast<unsigned>((kMaxPixels * 8 >> 20) + 1);
        int code = raw->open_buffer(const_cast<std::uint8_t*>(bytes.data()), bytes.size());
        if (code == LIBRAW_FILE_UNSUPPORTED)
            return DecodeResult::UnsupportedFormat;
        if (code != LIBRAW_SUCCESS)
            return detail::refuse(out, reasonFor(code));
        const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
        // Checked before a sample is unpacked: the sensor as stored, and the
        // picture it gives.
        for (const FailureReason problem : {detail::sizeProblem(sizes.raw_width, sizes.raw_height),
                                            detail::sizeProblem(sizes.width, sizes.height)})
            if (problem != FailureReason::None)
                return detail::refuse(out, problem);
        // A file cut off before its sensor data; one cut inside it is found
        // while the data is unpacked (its preview may still be whole).
        if (raw->get_internal_data_pointer()->unpacker_data.data_offset >=
            static_cast<INT64>(bytes.size()))
            return detail::refuse(out, FailureReason::Damaged);
        const int flip = sizes.flip;
        if (!forPrint && takePreview(*raw, flip, out))
            return DecodeResult::Ok;
        out = DecodedImage{};
        return develop(*raw, complaints, out);
    } catch (const std::bad_alloc&) {
        return detail::refuse(out, FailureReason::TooLarge);
    }
}

} // namespace

RawEvidence rawEvidence(std::span<const std::uint8_t> bytes) {
    const auto at = [&](std::size_t offset, std::string_view sig) {
        return has(bytes, offset, sig.size()) &&
               std::memcmp(bytes.data() + offset, sig.data(), sig.size()) == 0;
    };
    // Formats of their own: Fuji RAF, Olympus ORF, Panasonic RW2, Canon CR3.
    if (at(0, "FUJIFILMCCD-RAW") || at(0, "IIRO") || at(0, "IIRS") || at(0, "MMOR") ||
        at(0, std::string_view("IIU\0", 4)) || at(4, "ftypcrx "))
        return RawEvidence::Certain;
    if (!at(0, std::string_view("II*\0", 4)) && !at(0, std::string_view("MM\0*", 4)))
        return RawEvidence::None;
    if (at(8, "CR")) // Canon CR2
        return RawEvidence::Certain;
    FirstDirectory dir;
    if (!readFirstDirectory(bytes, dir))
        return RawEvidence::None;
    // 32803: a colour filter array, 34892: linear raw; no TIFF picture is either.
    if (dir.dngVersion || dir.photometric == 32803 || dir.photometric == 34892 ||
        rawCompression(dir.compression))
        return RawEvidence::Certain;
    // Nikon, Sony and others: a camera's file whose first picture is only a
    // preview of what its sub-directories hold.
    if (dir.make && (dir.subDirectories || dir.reducedResolution))
        return RawEvidence::Likely;
    return RawEvidence::None;
}

DecodeResult decodeRaw(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    return decode(bytes, out, false);
}

DecodeResult developRaw(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    return decode(bytes, out, true);
}

} // namespace kv::platform::imagelib
