// Camera raw files (DNG and the makers' own formats) through LibRaw, from memory or
// from the file. Looking at a raw (thumbnail, window) takes its embedded preview
// when that is large enough; printing develops the sensor data itself, a plain
// Bayer sensor in one pass of our own straight to the size the print needs. Both
// come out as 24-bit bottom-up BGR, turned as the camera recorded.
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/image_library.h"
#include "platform/imagelib/jpeg_stream.h"
#include "platform/imagelib/raw_stream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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

// LibRaw with access to the steps of its develop that ours repeats: the black
// levels as it subtracts them and its output curve.
class RawDeveloper : public LibRaw {
  public:
    RawDeveloper() : LibRaw(LIBRAW_OPTIONS_NONE) {}

    // Develops a plain Bayer sensor as LibRaw's half-size develop does (black
    // subtracted, the camera's white balance, its matrix to sRGB, the brightest 1 %
    // at white, LibRaw's curve), but with blocks of k x k cells of 2 x 2 sensor
    // pixels averaged into one pixel, k as large as `needed` allows: one pass over
    // the sensor data, no picture of the sensor's size. UnsupportedFormat for a
    // sensor it does not take, which LibRaw then develops.
    DecodeResult developBayer(const NeededExtent* needed, DecodedImage& out);

  private:
    bool plainBayer() const;
};

bool RawDeveloper::plainBayer() const {
    const auto& color = imgdata.color;
    const auto& internal = libraw_internal_data.internal_output_params;
    libraw_decoder_info_t info{};
    const_cast<RawDeveloper*>(this)->get_decoder_info(&info);
    const std::string_view decoder = info.decoder_name ? info.decoder_name : "";
    if (!imgdata.rawdata.raw_image || imgdata.idata.filters <= 1000 || imgdata.idata.colors != 3 ||
        imgdata.idata.is_foveon || internal.fuji_width || internal.zero_is_bad ||
        internal.raw_color || std::abs(imgdata.sizes.pixel_aspect - 1) > 0.005 ||
        decoder.starts_with("phase_one") || decoder == "canon_600_load_raw")
        return false;
    // White balance: the camera's, as recorded (not a grey card's, nor already applied).
    if (color.cam_mul[0] <= 0.00001f || color.cam_mul[2] <= 0.00001f || color.as_shot_wb_applied)
        return false;
    for (const auto& row : color.white)
        for (const ushort v : row)
            if (v)
                return false;
    const auto& params = imgdata.params;
    return params.user_mul[0] == 0 && !params.use_auto_wb && !params.highlight &&
           params.user_black < 0 && params.user_sat <= 0 && !params.no_auto_bright &&
           params.cropbox[2] == ~0u && params.bad_pixels == nullptr && params.dark_frame == nullptr;
}

DecodeResult RawDeveloper::developBayer(const NeededExtent* needed, DecodedImage& out) {
    if (!plainBayer())
        return DecodeResult::UnsupportedFormat;
    auto& color = imgdata.color;
    // LibRaw folds a repeated 2 x 2 black pattern into one level per colour here.
    adjust_bl();
    if (color.cblack[4] && color.cblack[5])
        return DecodeResult::UnsupportedFormat;
    const int width = imgdata.sizes.width, height = imgdata.sizes.height;
    const int flip = imgdata.sizes.flip;
    const bool swap = (flip & 4) != 0;
    // Only samples inside the stored sensor are read, as LibRaw's own copy does; a
    // picture claiming more than that is black beyond it.
    const auto& sizes = imgdata.sizes;
    const std::size_t pitch = sizes.raw_pitch / 2;
    const int storedWide = std::min<int>(width, int(sizes.raw_width) - sizes.left_margin);
    const int storedHigh = std::min<int>(height, int(sizes.raw_height) - sizes.top_margin);
    if (pitch < sizes.raw_width || storedWide <= 0 || storedHigh <= 0)
        return DecodeResult::UnsupportedFormat;
    // Cells of 2 x 2 sensor pixels, and how many of them each way one pixel takes;
    // `needed` is told the half-size picture, the largest this develop gives.
    const int cellsWide = (width + 1) / 2, cellsHigh = (height + 1) / 2;
    int k = 1;
    if (needed && *needed) {
        DecodeExtent need = (*needed)(swap ? cellsHigh : cellsWide, swap ? cellsWide : cellsHigh);
        if (swap)
            std::swap(need.width, need.height);
        if (need.width > 0 && need.height > 0)
            k = std::max(1, std::min(cellsWide / need.width, cellsHigh / need.height));
    }
    // Each pixel takes k or k + 1 cells each way, spread evenly, so that the
    // picture keeps the sensor's proportions to a fraction of a cell.
    const int outWide = cellsWide / k, outHigh = cellsHigh / k;
    const auto firstCell = [](int i, int cells, int out) {
        return int(std::int64_t(i) * cells / out);
    };
    if (!detail::allocateImage(out, swap ? outHigh : outWide, swap ? outWide : outHigh, 24))
        return detail::refuse(out, detail::sizeProblem(outWide, outHigh));

    // Sums of the black-subtracted samples of each of the four filter colours (the
    // second green apart) and their counts, one output row of blocks at a time.
    unsigned black[4];
    for (int c = 0; c < 4; ++c)
        black[c] = color.cblack[c];
    const ushort* sensor =
        imgdata.rawdata.raw_image + std::size_t(sizes.top_margin) * pitch + sizes.left_margin;
    std::vector<std::uint64_t> sums(std::size_t(outWide) * 4);
    std::vector<std::uint32_t> counts(std::size_t(outWide) * 4);
    // Per pixel the four averages, later its three linear sRGB levels in their place.
    std::vector<std::array<std::uint16_t, 4>> pixels(std::size_t(outWide) * outHigh);
    unsigned dataMaximum = 0;
    std::vector<int> columns(std::size_t(outWide) + 1);
    for (int ox = 0; ox <= outWide; ++ox)
        columns[std::size_t(ox)] =
            std::max(0, std::min(storedWide, 2 * firstCell(ox, cellsWide, outWide)));
    for (int oy = 0; oy < outHigh; ++oy) {
        std::fill(sums.begin(), sums.end(), 0);
        std::fill(counts.begin(), counts.end(), 0);
        const int y1 = std::min(storedHigh, 2 * firstCell(oy + 1, cellsHigh, outHigh));
        for (int y = 2 * firstCell(oy, cellsHigh, outHigh); y < y1; ++y) {
            const ushort* row = sensor + std::size_t(y) * pitch;
            const int even = FC(y, 0), odd = FC(y, 1);
            const unsigned blackEven = black[even], blackOdd = black[odd];
            unsigned rowMaximum = 0;
            for (int ox = 0; ox < outWide; ++ox) {
                const int x0 = columns[std::size_t(ox)], x1 = columns[std::size_t(ox) + 1];
                std::uint32_t sumEven = 0, sumOdd = 0;
                int x = x0;
                for (; x + 1 < x1; x += 2) {
                    const unsigned a = row[x] > blackEven ? row[x] - blackEven : 0;
                    const unsigned b = row[x + 1] > blackOdd ? row[x + 1] - blackOdd : 0;
                    rowMaximum = std::max(rowMaximum, std::max(a, b));
                    sumEven += a;
                    sumOdd += b;
                }
                if (x < x1) {
                    const unsigned a = row[x] > blackEven ? row[x] - blackEven : 0;
                    rowMaximum = std::max(rowMaximum, a);
                    sumEven += a;
                }
                std::uint64_t* s = sums.data() + std::size_t(ox) * 4;
                std::uint32_t* n = counts.data() + std::size_t(ox) * 4;
                s[even] += sumEven;
                n[even] += std::uint32_t((x1 - x0 + 1) / 2);
                s[odd] += sumOdd;
                n[odd] += std::uint32_t((x1 - x0) / 2);
            }
            dataMaximum = std::max(dataMaximum, rowMaximum);
        }
        // A colour missing from a block (an odd sensor's last column or row) is 0,
        // as in LibRaw's half-size picture.
        // Blocks mostly hold equally many samples: a count's inverse is reused.
        std::uint32_t lastCount = 0;
        double inverse = 0;
        for (int ox = 0; ox < outWide; ++ox)
            for (int c = 0; c < 4; ++c) {
                const std::size_t i = std::size_t(ox) * 4 + c;
                if (counts[i] != lastCount) {
                    lastCount = counts[i];
                    inverse = lastCount ? 1.0 / lastCount : 0;
                }
                pixels[std::size_t(oy) * outWide + ox][c] =
                    std::uint16_t(double(sums[i]) * inverse + 0.5);
            }
    }

    // LibRaw's scale: the white level less black (the data's own maximum when that
    // is near it), the smallest white-balance multiplier at 1.
    double maximum = double(color.maximum) - color.black;
    libraw_decoder_info_t info{};
    get_decoder_info(&info);
    float threshold = imgdata.params.adjust_maximum_thr;
    if (threshold > 0.99999f)
        threshold = LIBRAW_DEFAULT_ADJUST_MAXIMUM_THRESHOLD;
    if (!(info.decoder_flags & LIBRAW_DECODER_FIXEDMAXC) && threshold >= 0.00001f &&
        dataMaximum > 0 && dataMaximum < maximum && dataMaximum > maximum * threshold)
        maximum = dataMaximum;
    if (maximum <= 0)
        return detail::refuse(out, FailureReason::Damaged);
    float multiplier[4] = {color.cam_mul[0], color.cam_mul[1], color.cam_mul[2], color.cam_mul[3]};
    if (multiplier[1] == 0)
        multiplier[1] = 1;
    if (multiplier[3] == 0)
        multiplier[3] = multiplier[1];
    const float smallest = *std::min_element(multiplier, multiplier + 4);
    float scale[4];
    for (int c = 0; c < 4; ++c)
        scale[c] = float(multiplier[c] / smallest * 65535.0 / maximum);

    // Into sRGB, 16 bits linear, with LibRaw's histogram for its white point. The
    // steps truncate where LibRaw's do, so that a half-size develop matches it.
    float matrix[3][3];
    for (int c = 0; c < 3; ++c)
        for (int j = 0; j < 3; ++j)
            matrix[c][j] = color.rgb_cam[c][j];
    for (std::array<std::uint16_t, 4>& p : pixels) {
        int cam[4];
        for (int c = 0; c < 4; ++c)
            cam[c] = std::min(65535, int(p[c] * scale[c]));
        // The two greens of a cell are averaged after each is scaled.
        cam[1] = (cam[1] + cam[3]) >> 1;
        for (int c = 0; c < 3; ++c) {
            const float v = matrix[c][0] * cam[0] + matrix[c][1] * cam[1] + matrix[c][2] * cam[2];
            p[c] = std::uint16_t(std::clamp(int(v), 0, 65535));
        }
    }
    std::vector<std::uint32_t> histogram(std::size_t(3) * 0x2000);
    for (const std::array<std::uint16_t, 4>& p : pixels)
        for (int c = 0; c < 3; ++c)
            ++histogram[std::size_t(c) * 0x2000 + (p[c] >> 3)];
    const int percent = int(double(outWide) * outHigh * imgdata.params.auto_bright_thr);
    int white = 0;
    for (int c = 0; c < 3; ++c) {
        int level = 0x2000;
        for (std::int64_t total = 0; --level > 32;)
            if ((total += histogram[std::size_t(c) * 0x2000 + level]) > percent)
                break;
        white = std::max(white, level);
    }
    gamma_curve(imgdata.params.gamm[0], imgdata.params.gamm[1], 2,
                int((white << 3) / imgdata.params.bright));

    // Turned as the camera recorded while written into the bottom-up rows.
    const int upWide = out.width, upHigh = out.height;
    for (int y = 0; y < upHigh; ++y) {
        std::uint8_t* dst = out.pixels.data() + std::size_t(upHigh - 1 - y) * out.stride();
        for (int x = 0; x < upWide; ++x, dst += 3) {
            int row = swap ? x : y, col = swap ? y : x;
            if (flip & 2)
                row = outHigh - 1 - row;
            if (flip & 1)
                col = outWide - 1 - col;
            const std::array<std::uint16_t, 4>& p = pixels[std::size_t(row) * outWide + col];
            dst[0] = std::uint8_t(color.curve[p[2]] >> 8);
            dst[1] = std::uint8_t(color.curve[p[1]] >> 8);
            dst[2] = std::uint8_t(color.curve[p[0]] >> 8);
        }
    }
    return DecodeResult::Ok;
}

// The EXIF orientation that turns a picture as LibRaw's flip does (dcraw's
// "50132467" read backwards).
int exifOrientationOf(int flip) {
    static constexpr int kOrientation[8] = {1, 2, 4, 3, 5, 8, 6, 7};
    return kOrientation[flip & 7];
}

// The JPEG preview with the raw's orientation as its only Exif segment: the raw's
// orientation turns it, and an orientation of the preview's own must not turn it a
// second time. The segments before the first non-APP marker are walked; the rest
// (an ICC profile among it) is copied as it is.
std::vector<std::uint8_t> turnedByTheRaw(std::span<const std::uint8_t> jpeg, int flip) {
    std::vector<std::uint8_t> out(jpeg.begin(),
                                  jpeg.begin() + std::min<std::size_t>(2, jpeg.size()));
    // APP1 "Exif", a big-endian TIFF header and one directory holding Orientation.
    const std::uint8_t orientation[] = {
        0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,
        'M',  'M',  0, 42, 0,   0,   0,   8,   0, 1,
        0x01, 0x12, 0, 3,  0,   0,   0,   1,   0, std::uint8_t(exifOrientationOf(flip)),
        0,    0,    0, 0,  0,   0};
    out.insert(out.end(), std::begin(orientation), std::end(orientation));
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

// Whether the preview LibRaw found after opening stands in for the developed raw:
// its size is known once the file is opened, its kind only once it is unpacked.
bool previewLargeEnough(const LibRaw& raw) {
    const libraw_thumbnail_t& thumb = raw.imgdata.thumbnail;
    const int longSide = std::max(thumb.twidth, thumb.theight);
    const int shortSide = std::min(thumb.twidth, thumb.theight);
    return longSide >= kPreviewLongSide && shortSide >= kPreviewShortSide &&
           detail::sizeProblem(thumb.twidth, thumb.theight) == FailureReason::None;
}

// The preview LibRaw found, decoded and turned; false when there is none worth
// showing, so that the raw is developed instead.
bool takePreview(LibRaw& raw, int flip, DecodedImage& out) {
    if (!previewLargeEnough(raw))
        return false;
    if (raw.unpack_thumb() != LIBRAW_SUCCESS || !raw.imgdata.thumbnail.thumb)
        return false;
    const libraw_thumbnail_t& got = raw.imgdata.thumbnail;
    if (got.tformat != LIBRAW_THUMBNAIL_JPEG && got.tformat != LIBRAW_THUMBNAIL_BITMAP)
        return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(got.thumb);
    if (got.tformat == LIBRAW_THUMBNAIL_JPEG) {
        // The JPEG decoder turns it by the orientation put in, as a JPEG add does.
        if (decodeJpeg(turnedByTheRaw({data, got.tlength}, flip), out) != DecodeResult::Ok ||
            out.incomplete || out.bitsPerPixel != 24)
            return false;
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

// LibRaw's own develop: the camera's white balance, into sRGB at 8 bits, half size
// (each 2 x 2 cell of the sensor one pixel), turned as the camera recorded. For the
// sensors our own develop does not take (X-Trans, Foveon, four colours, stretched
// pixels, unusual black patterns).
DecodeResult libRawDevelop(LibRaw& raw, DecodedImage& out) {
    libraw_output_params_t& params = raw.imgdata.params;
    params.half_size = 1;
    params.use_camera_wb = 1;
    params.output_bps = 8;
    params.output_color = 1;
    params.user_flip = -1;
    int code = raw.dcraw_process();
    if (code != LIBRAW_SUCCESS)
        return detail::refuse(out, reasonFor(code));
    int width = 0, height = 0, colors = 0, bits = 0;
    raw.get_mem_image_format(&width, &height, &colors, &bits);
    if (bits != 8 || (colors != 1 && colors != 3))
        return detail::refuse(out, FailureReason::Damaged);
    if (!detail::allocateImage(out, width, height, 24))
        return detail::refuse(out, detail::sizeProblem(width, height));
    if (colors == 3) {
        // Straight into our bottom-up rows (the last row first, a negative
        // stride), already turned and in blue, green, red order.
        code = raw.copy_mem_image(out.pixels.data() + std::size_t(height - 1) * out.stride(),
                                  -out.stride(), 1);
        return code == LIBRAW_SUCCESS ? DecodeResult::Ok : detail::refuse(out, reasonFor(code));
    }
    libraw_processed_image_t* image = raw.dcraw_make_mem_image(&code);
    if (!image)
        return detail::refuse(out, reasonFor(code));
    const std::unique_ptr<libraw_processed_image_t, void (*)(libraw_processed_image_t*)> owned(
        image, LibRaw::dcraw_clear_mem);
    if (image->width != width || image->height != height ||
        image->data_size < std::uint64_t(width) * height)
        return detail::refuse(out, FailureReason::Damaged);
    // dcraw_make_mem_image has turned the picture already.
    putUpright(image->data, width, height, 1, false, 0, out);
    return DecodeResult::Ok;
}

// Unpacks the sensor data and develops it: our own develop straight to the size
// asked for where the sensor is a plain Bayer one, LibRaw's otherwise.
DecodeResult develop(RawDeveloper& raw, const Complaints& complaints, const NeededExtent* needed,
                     DecodedImage& out) {
    const int code = raw.unpack();
    if (code != LIBRAW_SUCCESS)
        return detail::refuse(out, reasonFor(code));
    // A file that ends inside its sensor data reads as zeros from there on.
    if (complaints.data || raw.error_count() > 0)
        return detail::refuse(out, FailureReason::Damaged);
    const DecodeResult own = raw.developBayer(needed, out);
    if (own != DecodeResult::UnsupportedFormat)
        return own;
    out = DecodedImage{};
    return libRawDevelop(raw, out);
}

// A raw file read through LibRaw as it asks for its parts, so that looking at a
// raw reads its directories and its preview but not its sensor data. Reads at
// offsets (pread) keep no state of the descriptor's own.
class FileStream final : public LibRaw_abstract_datastream {
  public:
    FileStream(int fd, INT64 size) : m_fd(fd), m_size(size) {}

    // The first bytes of the file, for telling its format; empty when unreadable.
    std::span<const std::uint8_t> head() {
        m_pos = 0;
        if (!fill())
            return {};
        return {m_buffer.data(), m_length};
    }

    int valid() override { return m_fd >= 0; }
    int read(void* ptr, size_t size, size_t count) override {
        if (size == 0 || count == 0)
            return 0;
        auto* dst = static_cast<std::uint8_t*>(ptr);
        const std::size_t want = size * count;
        std::size_t got = 0;
        while (got < want && m_pos < m_size) {
            // A large piece (the preview) goes straight to its place.
            if (want - got >= kBufferBytes && !buffered()) {
                const ssize_t n = ::pread(m_fd, dst + got, want - got, m_pos);
                if (n <= 0)
                    break;
                got += std::size_t(n);
                m_pos += n;
                continue;
            }
            if (!fill())
                break;
            const std::size_t at = std::size_t(m_pos - m_start);
            const std::size_t n = std::min(want - got, m_length - at);
            std::memcpy(dst + got, m_buffer.data() + at, n);
            got += n;
            m_pos += INT64(n);
        }
        return int(got / size);
    }
    int seek(INT64 offset, int whence) override {
        INT64 to = offset;
        if (whence == SEEK_CUR)
            to = m_pos + offset;
        else if (whence == SEEK_END)
            to = m_size + offset;
        m_pos = std::clamp<INT64>(to, 0, m_size);
        return 0;
    }
    INT64 tell() override { return m_pos; }
    INT64 size() override { return m_size; }
    int get_char() override {
        if (m_pos >= m_size || !fill())
            return -1;
        return m_buffer[std::size_t(m_pos++ - m_start)];
    }
    char* gets(char* text, int size) override {
        if (size <= 0 || m_pos >= m_size)
            return nullptr;
        int i = 0;
        while (i < size - 1) {
            const int c = get_char();
            if (c < 0)
                break;
            text[i++] = char(c);
            if (c == '\n')
                break;
        }
        text[i] = '\0';
        return text;
    }
    // As LibRaw's own streams: one value read from the text here, then past it.
    int scanf_one(const char* format, void* value) override {
        char text[32] = {};
        const INT64 at = m_pos;
        read(text, 1, sizeof text - 1);
        m_pos = at;
        const int result = std::sscanf(text, format, value);
        if (result > 0)
            for (int skipped = 0; m_pos < m_size; ++skipped) {
                const int c = get_char();
                if (c == 0 || c == ' ' || c == '\t' || c == '\n' || skipped > 24)
                    break;
            }
        return result;
    }
    int eof() override { return m_pos >= m_size; }
    void* make_jas_stream() override { return nullptr; }

  private:
    static constexpr std::size_t kBufferBytes = std::size_t{64} << 10;

    bool buffered() const { return m_pos >= m_start && m_pos < m_start + INT64(m_length); }
    bool fill() {
        if (buffered())
            return true;
        m_buffer.resize(kBufferBytes);
        const ssize_t n = ::pread(m_fd, m_buffer.data(), kBufferBytes, m_pos);
        if (n <= 0)
            return false;
        m_start = m_pos;
        m_length = std::size_t(n);
        return true;
    }

    int m_fd;
    INT64 m_size;
    INT64 m_pos = 0;
    std::vector<std::uint8_t> m_buffer;
    INT64 m_start = 0;
    std::size_t m_length = 0;
};

// LibRaw set up as every decode here needs it: complaints noted, allocations bounded.
std::unique_ptr<RawDeveloper> newDeveloper(Complaints& complaints) {
    // LibRaw is large (its whole state is one object): on the heap.
    auto raw = std::make_unique<RawDeveloper>();
    raw->set_dataerror_handler(onDataError, &complaints);
    raw->set_memerror_handler(onMemoryError, nullptr);
    // LibRaw holds a raw at up to four 16-bit samples a pixel; nothing larger
    // than the program's own pixel bound is allocated.
    raw->imgdata.params.max_raw_memory_mb = static_cast<unsigned>((kMaxPixels * 8 >> 20) + 1);
    return raw;
}

// The checks of an opened raw before a sample is unpacked; Ok when it may be.
DecodeResult checkOpened(int code, LibRaw& raw, INT64 fileSize, DecodedImage& out) {
    if (code == LIBRAW_FILE_UNSUPPORTED)
        return DecodeResult::UnsupportedFormat;
    if (code != LIBRAW_SUCCESS)
        return detail::refuse(out, reasonFor(code));
    const libraw_image_sizes_t& sizes = raw.imgdata.sizes;
    // The sensor as stored, and the picture it gives.
    for (const FailureReason problem : {detail::sizeProblem(sizes.raw_width, sizes.raw_height),
                                        detail::sizeProblem(sizes.width, sizes.height)})
        if (problem != FailureReason::None)
            return detail::refuse(out, problem);
    // A file cut off before its sensor data; one cut inside it is found
    // while the data is unpacked (its preview may still be whole).
    if (raw.get_internal_data_pointer()->unpacker_data.data_offset >= fileSize)
        return detail::refuse(out, FailureReason::Damaged);
    return DecodeResult::Ok;
}

DecodeResult decode(std::span<const std::uint8_t> bytes, DecodedImage& out, bool forPrint,
                    const NeededExtent* needed) {
    if (bytes.empty())
        return detail::refuse(out, FailureReason::Damaged);
    try {
        Complaints complaints;
        const std::unique_ptr<RawDeveloper> raw = newDeveloper(complaints);
        const int code = raw->open_buffer(const_cast<std::uint8_t*>(bytes.data()), bytes.size());
        if (const DecodeResult opened = checkOpened(code, *raw, INT64(bytes.size()), out);
            opened != DecodeResult::Ok)
            return opened;
        if (!forPrint && takePreview(*raw, raw->imgdata.sizes.flip, out))
            return DecodeResult::Ok;
        out = DecodedImage{};
        return develop(*raw, complaints, needed, out);
    } catch (const std::bad_alloc&) {
        return detail::refuse(out, FailureReason::TooLarge);
    }
}

// developRawAtLeast through `stream`; nullopt when LibRaw does not take the file.
std::optional<DecodeResult> developStream(FileStream& stream, INT64 size,
                                          const NeededExtent& needed, DecodedImage& out) {
    if (rawEvidence(stream.head()) == RawEvidence::None)
        return std::nullopt;
    Complaints complaints;
    const std::unique_ptr<RawDeveloper> raw = newDeveloper(complaints);
    const DecodeResult opened = checkOpened(raw->open_datastream(&stream), *raw, size, out);
    if (opened == DecodeResult::UnsupportedFormat)
        return std::nullopt;
    if (opened != DecodeResult::Ok)
        return opened;
    return develop(*raw, complaints, &needed, out);
}

bool streamPreview(int fd, INT64 size, RowSink& sink, DecodedImage& out) {
    FileStream stream(fd, size);
    if (rawEvidence(stream.head()) == RawEvidence::None)
        return false;
    Complaints complaints;
    const std::unique_ptr<RawDeveloper> raw = newDeveloper(complaints);
    const int code = raw->open_datastream(&stream);
    DecodedImage checked;
    if (checkOpened(code, *raw, size, checked) != DecodeResult::Ok || !previewLargeEnough(*raw) ||
        raw->unpack_thumb() != LIBRAW_SUCCESS || !raw->imgdata.thumbnail.thumb ||
        raw->imgdata.thumbnail.tformat != LIBRAW_THUMBNAIL_JPEG)
        return false;
    const libraw_thumbnail_t& thumb = raw->imgdata.thumbnail;
    std::vector<std::uint8_t> jpeg =
        turnedByTheRaw({reinterpret_cast<const std::uint8_t*>(thumb.thumb), thumb.tlength},
                       raw->imgdata.sizes.flip);
    // LibRaw's copy of the preview is not needed while it is decoded.
    raw->recycle();
    return streamJpeg(jpeg, sink, out) == DecodeResult::Ok && !out.incomplete;
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
    return decode(bytes, out, false, nullptr);
}

DecodeResult developRaw(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    return decode(bytes, out, true, nullptr);
}

DecodeResult developRawAtLeast(std::span<const std::uint8_t> bytes, DecodedImage& out,
                               const NeededExtent& needed) {
    return decode(bytes, out, true, &needed);
}

bool isRawFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    bool raw = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        FileStream stream(fd, INT64(st.st_size));
        raw = rawEvidence(stream.head()) != RawEvidence::None;
    }
    ::close(fd);
    return raw;
}

std::optional<DecodeResult> developRawFile(const std::filesystem::path& file,
                                           const NeededExtent& needed, DecodedImage& out) {
    out = DecodedImage{};
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<DecodeResult> result;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
        std::uint64_t(st.st_size) <= kMaxPictureFileBytes) {
        try {
            FileStream stream(fd, INT64(st.st_size));
            result = developStream(stream, INT64(st.st_size), needed, out);
        } catch (const std::bad_alloc&) {
            result = detail::refuse(out, FailureReason::TooLarge);
        }
    }
    ::close(fd);
    return result;
}

bool streamRawPreview(const std::filesystem::path& file, RowSink& sink, DecodedImage& out) {
    out = DecodedImage{};
    // Opened as readPictureFile opens: never waiting on a pipe, only a regular file.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    bool streamed = false;
    try {
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            std::uint64_t(st.st_size) <= kMaxPictureFileBytes)
            streamed = streamPreview(fd, INT64(st.st_size), sink, out);
    } catch (const std::bad_alloc&) {
        streamed = false;
    }
    ::close(fd);
    if (!streamed)
        out = DecodedImage{};
    return streamed;
}

} // namespace kv::platform::imagelib
