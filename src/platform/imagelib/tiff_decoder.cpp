// TIFF through libtiff, read from memory. The first directory is decoded with
// libtiff's RGBA reader, which covers palette, grey, RGB, CMYK, YCbCr, 1 to 16
// bits, strips and tiles; the picture comes out as 24-bit bottom-up BGR with any
// alpha laid over white. A picture of one 1-bit sample per pixel comes out at 1
// bit, as a 1-bit BMP does.
#include "platform/imagelib/decoder_support.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>

#include <tiffio.h>

namespace kv::platform::imagelib {

namespace {

// Larger single allocations inside libtiff are refused: a hostile directory can
// ask for gigabytes of strip buffers.
constexpr tmsize_t kMaxTiffAllocation = 256 * 1024 * 1024;

struct MemoryStream {
    std::span<const std::uint8_t> bytes;
    std::uint64_t position = 0;
};

MemoryStream& streamOf(thandle_t handle) {
    return *static_cast<MemoryStream*>(handle);
}

tmsize_t readStream(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryStream& s = streamOf(handle);
    if (size <= 0 || s.position >= s.bytes.size())
        return 0;
    const std::uint64_t n =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(size), s.bytes.size() - s.position);
    std::memcpy(buffer, s.bytes.data() + s.position, n);
    s.position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t writeStream(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t seekStream(thandle_t handle, toff_t offset, int whence) {
    MemoryStream& s = streamOf(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = s.position;
    else if (whence == SEEK_END)
        base = s.bytes.size();
    // Offsets past the end are allowed (reads there return nothing), but not
    // wrap-around.
    if (offset > UINT64_MAX - base)
        return static_cast<toff_t>(-1);
    s.position = base + offset;
    return s.position;
}

int closeStream(thandle_t) {
    return 0;
}

toff_t sizeStream(thandle_t handle) {
    return streamOf(handle).bytes.size();
}

// libtiff reports through these per file; nothing reaches standard error.
int onTiffMessage(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Messages issued before a file handle exists go to the process-wide handlers.
void silenceGlobalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// The fewest bytes a file must hold for the picture's strips or tiles, by their
// compression; 0 where no sound floor is known (JPEG, LZMA, ZSTD and the rest).
std::uint64_t leastStoredBytes(TIFF* tif, std::uint16_t compression, std::uint32_t height) {
    std::uint16_t planar = PLANARCONFIG_CONTIG, samples = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const std::uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(TIFFScanlineSize64(tif));
    const std::uint64_t raw = rowBytes * height * planes;
    switch (compression) {
    case COMPRESSION_NONE:
        return raw;
    case COMPRESSION_PACKBITS: // two bytes repeat one byte at most 128 times
        return raw / 64;
    case COMPRESSION_LZW: // codes of 9 bits or more, each a string shorter than 8192
        return raw / 8192;
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE: // a 258-byte match costs at least two bits
        return raw / 1032;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4: // a row costs at least one bit
        return std::uint64_t{height} * planes / 8;
    default:
        return 0;
    }
}

// Packs a two-colour raster (ABGR, rows bottom-up) into a 1-bit picture: the
// first colour met is index 0, any other index 1.
void packBilevel(const std::vector<std::uint32_t>& raster, std::uint32_t width,
                 std::uint32_t height, DecodedImage& out) {
    detail::allocateImage(out, width, height, 1);
    const std::uint32_t first = raster.front();
    std::uint32_t second = first;
    const std::size_t stride = out.stride();
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* src = raster.data() + std::size_t{y} * width;
        std::uint8_t* dst = out.pixels.data() + y * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            if (src[x] == first)
                continue;
            second = src[x];
            detail::putIndex(dst, static_cast<int>(x), 1, 1);
        }
    }
    for (const auto& [index, abgr] : {std::pair{0, first}, std::pair{1, second}})
        detail::setPaletteEntry(out, index, static_cast<std::uint8_t>(TIFFGetR(abgr)),
                                static_cast<std::uint8_t>(TIFFGetG(abgr)),
                                static_cast<std::uint8_t>(TIFFGetB(abgr)));
}

} // namespace

DecodeResult decodeTiff(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    silenceGlobalHandlers();
    if (bytes.size() < 8)
        return DecodeResult::NotTiff;

    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options)
        return DecodeResult::Failed;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onTiffMessage, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);

    MemoryStream stream{bytes};
    // "m": no memory mapping, every read goes through readStream's bounds.
    std::unique_ptr<TIFF, TiffCloser> tif(
        TIFFClientOpenExt("memory", "rm", &stream, readStream, writeStream, seekStream, closeStream,
                          sizeStream, nullptr, nullptr, options.get()));
    if (!tif)
        return DecodeResult::NotTiff;

    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression))
        return DecodeResult::TiffCompression;

    char message[1024];
    if (!TIFFRGBAImageOK(tif.get(), message))
        return DecodeResult::TiffPixelFormat;

    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        return DecodeResult::NotTiff;
    if (const FailureReason problem = detail::sizeProblem(width, height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    if (bytes.size() < leastStoredBytes(tif.get(), compression, height))
        return detail::refuse(out, FailureReason::Damaged);
    std::uint16_t bitsPerSample = 1, samplesPerPixel = 1;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);

    TIFFRGBAImage reader{};
    if (!TIFFRGBAImageBegin(&reader, tif.get(), 1, message))
        return DecodeResult::TiffPixelFormat;
    // Bottom-left origin: libtiff hands the rows over in our bottom-up order.
    reader.req_orientation = ORIENTATION_BOTLEFT;
    std::vector<std::uint32_t> raster(std::size_t{width} * height);
    const bool read = TIFFRGBAImageGet(&reader, raster.data(), width, height) != 0;
    // The reader premultiplies unassociated alpha for colour pictures but passes
    // it through unchanged for grey ones.
    const bool straightAlpha =
        reader.alpha == EXTRASAMPLE_UNASSALPHA && (reader.photometric == PHOTOMETRIC_MINISBLACK ||
                                                   reader.photometric == PHOTOMETRIC_MINISWHITE);
    TIFFRGBAImageEnd(&reader);
    if (!read)
        return DecodeResult::Failed;

    if (bitsPerSample == 1 && samplesPerPixel == 1) {
        packBilevel(raster, width, height, out);
        return DecodeResult::Ok;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.bitsPerPixel = 24;
    const std::size_t stride = out.stride();
    out.pixels.assign(stride * height, 0);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* src = raster.data() + std::size_t{y} * width;
        std::uint8_t* dst = out.pixels.data() + y * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t abgr = src[x];
            const int alpha = static_cast<int>(TIFFGetA(abgr));
            const int channels[3] = {int(TIFFGetB(abgr)), int(TIFFGetG(abgr)), int(TIFFGetR(abgr))};
            // Laid over white.
            for (int c = 0; c < 3; ++c) {
                const int v = straightAlpha
                                  ? (channels[c] * alpha + 255 * (255 - alpha) + 127) / 255
                                  : channels[c] + 255 - alpha;
                dst[x * 3 + c] = static_cast<std::uint8_t>(std::min(255, v));
            }
        }
    }
    return DecodeResult::Ok;
}

} // namespace kv::platform::imagelib
