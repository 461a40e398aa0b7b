// TIFF through libtiff, read from memory. The first directory is decoded with
// libtiff's RGBA reader, which covers palette, grey, RGB, CMYK, YCbCr, 1 to 16
// bits, strips and tiles; the picture comes out as 24-bit bottom-up BGR with any
// alpha laid over white. A picture of one 1-bit sample per pixel comes out at 1
// bit, as a 1-bit BMP does. 16-bit grey and RGB pictures, and CMYK ones with a
// colour profile, are read sample by sample instead: the RGBA reader cuts 16-bit
// grey to its high byte and mixes inks without a profile.
#include "platform/imagelib/colour_profile.h"
#include "platform/imagelib/decoder_support.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

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

// How the samples of a picture read directly are laid out.
struct DirectLayout {
    int bytesPerSample = 1; // 1 or 2
    int colours = 1;        // 1 grey, 3 RGB, 4 CMYK
    int samples = 1;        // per pixel, extra samples included
    int alpha = -1;         // which sample is alpha, or -1
    bool associated = false;
    bool minIsWhite = false;
    bool separate = false;
    int orientation = ORIENTATION_TOPLEFT;
};

// The layout of a plain unsigned grey, RGB or CMYK picture of 8 or 16 bits stored
// without turning; nullopt for anything else (the RGBA reader's business).
std::optional<DirectLayout> directLayout(TIFF* tif) {
    std::uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, photometric = 0,
                  planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT,
                  inkSet = INKSET_CMYK, extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        return std::nullopt;
    DirectLayout layout;
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
        layout.minIsWhite = true;
        [[fallthrough]];
    case PHOTOMETRIC_MINISBLACK:
        layout.colours = 1;
        break;
    case PHOTOMETRIC_RGB:
        layout.colours = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        if (inkSet != INKSET_CMYK)
            return std::nullopt;
        layout.colours = 4;
        break;
    default:
        return std::nullopt;
    }
    if ((bits != 8 && bits != 16) || format != SAMPLEFORMAT_UINT || samples < layout.colours ||
        orientation < ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT)
        return std::nullopt;
    // libtiff's reader does not transpose: it takes 5..8 as 1..4, and a 16-bit
    // picture must come out as its 8-bit twin does.
    if (orientation > ORIENTATION_BOTLEFT)
        orientation -= ORIENTATION_LEFTTOP - ORIENTATION_TOPLEFT;
    layout.bytesPerSample = bits / 8;
    layout.samples = samples;
    layout.separate = planar == PLANARCONFIG_SEPARATE;
    layout.orientation = orientation;
    if (samples > layout.colours && extraCount > 0 && extraTypes &&
        (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA)) {
        layout.alpha = layout.colours;
        layout.associated = extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    } else if (photometric == PHOTOMETRIC_RGB && samples == 4 && extraCount == 0) {
        // As libtiff's reader takes it: a fourth sample nobody named is alpha.
        layout.alpha = 3;
        layout.associated = true;
    }
    return layout;
}

// Fills `band` with `rows` picture rows from `first` on, all samples of a pixel
// together; false when the file's data cannot be read.
class BandReader {
  public:
    BandReader(TIFF* tif, const DirectLayout& layout, std::uint32_t width)
        : m_tif(tif), m_layout(layout), m_width(width) {}

    // Rows a band holds, and the size of the piece libtiff decodes at a time;
    // false when that piece is out of all proportion to the picture.
    bool start(std::uint32_t height) {
        const std::uint64_t pixelBytes = std::uint64_t(m_layout.samples) * m_layout.bytesPerSample;
        m_tiled = TIFFIsTiled(m_tif);
        std::uint64_t chunk = 0;
        if (m_tiled) {
            TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &m_tileWidth);
            TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &m_bandRows);
            chunk = static_cast<std::uint64_t>(TIFFTileSize64(m_tif));
        } else {
            m_bandRows = height;
            TIFFGetFieldDefaulted(m_tif, TIFFTAG_ROWSPERSTRIP, &m_bandRows);
            chunk = static_cast<std::uint64_t>(TIFFStripSize64(m_tif));
        }
        if (m_bandRows == 0 || (m_tiled && m_tileWidth == 0) || chunk == 0)
            return false;
        m_bandRows = std::min(m_bandRows, height);
        // A hostile tile size may ask for far more than the picture holds.
        if (chunk > std::uint64_t(kMaxTiffAllocation) &&
            chunk > pixelBytes * m_width * std::max<std::uint32_t>(height, 1))
            return false;
        if (m_tiled || m_layout.separate)
            m_chunk.resize(static_cast<std::size_t>(chunk));
        m_band.resize(static_cast<std::size_t>(pixelBytes * m_width * m_bandRows));
        return true;
    }

    std::uint32_t bandRows() const { return m_bandRows; }
    const std::uint8_t* row(std::uint32_t inBand) const {
        return m_band.data() +
               std::size_t(inBand) * m_width * m_layout.samples * m_layout.bytesPerSample;
    }

    bool read(std::uint32_t first, std::uint32_t rows) {
        const int planes = m_layout.separate ? m_layout.samples : 1;
        for (int plane = 0; plane < planes; ++plane) {
            if (m_tiled) {
                for (std::uint32_t x = 0; x < m_width; x += m_tileWidth) {
                    if (TIFFReadTile(m_tif, m_chunk.data(), x, first, 0,
                                     static_cast<std::uint16_t>(plane)) < 0)
                        return false;
                    scatter(plane, x, std::min(m_tileWidth, m_width - x), m_tileWidth, rows);
                }
                continue;
            }
            const std::uint32_t strip =
                TIFFComputeStrip(m_tif, first, static_cast<std::uint16_t>(plane));
            const tmsize_t wanted =
                static_cast<tmsize_t>(std::uint64_t(rows) * m_width * m_layout.bytesPerSample *
                                      (m_layout.separate ? 1 : m_layout.samples));
            std::uint8_t* target = m_layout.separate ? m_chunk.data() : m_band.data();
            if (TIFFReadEncodedStrip(m_tif, strip, target, wanted) < wanted)
                return false;
            if (m_layout.separate)
                scatter(plane, 0, m_width, m_width, rows);
        }
        return true;
    }

  private:
    // Moves the decoded piece (`pieceWidth` pixels a row, one plane or all) into
    // the band at column `x`.
    void scatter(int plane, std::uint32_t x, std::uint32_t columns, std::uint32_t pieceWidth,
                 std::uint32_t rows) {
        const std::size_t sample = m_layout.bytesPerSample;
        const std::size_t pixel = sample * m_layout.samples;
        const std::size_t piecePixel = m_layout.separate ? sample : pixel;
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint8_t* src = m_chunk.data() + std::size_t(r) * pieceWidth * piecePixel;
            std::uint8_t* dst = m_band.data() + (std::size_t(r) * m_width + x) * pixel;
            if (!m_layout.separate) {
                std::memcpy(dst, src, columns * pixel);
                continue;
            }
            for (std::uint32_t c = 0; c < columns; ++c)
                std::memcpy(dst + c * pixel + plane * sample, src + c * sample, sample);
        }
    }

    TIFF* m_tif;
    DirectLayout m_layout;
    std::uint32_t m_width;
    bool m_tiled = false;
    std::uint32_t m_tileWidth = 0;
    std::uint32_t m_bandRows = 0;
    std::vector<std::uint8_t> m_chunk;
    std::vector<std::uint8_t> m_band;
};

// A 16-bit (or 8-bit) value of full scale `max` rounded to 8 bits.
std::uint8_t to8(std::uint64_t value, std::uint64_t max) {
    return static_cast<std::uint8_t>((value * 255 + max / 2) / max);
}

// One pixel's colour laid over white by its alpha, then rounded to 8 bits once.
std::uint8_t onWhite(std::uint32_t value, std::uint32_t alpha, const DirectLayout& layout,
                     std::uint32_t max) {
    if (layout.alpha < 0)
        return to8(value, max);
    alpha = std::min(alpha, max);
    if (layout.associated)
        return to8(std::min<std::uint64_t>(max, std::uint64_t(value) + max - alpha), max);
    const std::uint64_t square = std::uint64_t(max) * max;
    return static_cast<std::uint8_t>(
        ((std::uint64_t(value) * alpha + std::uint64_t(max) * (max - alpha)) * 255 + square / 2) /
        square);
}

// Decodes the picture sample by sample into 24-bit `out`; CMYK goes through
// `inks` when that is active, else libtiff's mix.
DecodeResult decodeDirect(TIFF* tif, const DirectLayout& layout, std::uint32_t width,
                          std::uint32_t height, const SrgbTransform& inks, DecodedImage& out) {
    BandReader reader(tif, layout, width);
    if (!reader.start(height) || !detail::allocateImage(out, width, height, 24))
        return DecodeResult::Failed;
    const std::uint32_t max = layout.bytesPerSample == 2 ? 65535 : 255;
    const bool mirrorX =
        layout.orientation == ORIENTATION_TOPRIGHT || layout.orientation == ORIENTATION_BOTRIGHT;
    const bool fromBottom =
        layout.orientation == ORIENTATION_BOTRIGHT || layout.orientation == ORIENTATION_BOTLEFT;
    std::vector<std::uint8_t> cmyk(layout.colours == 4 ? std::size_t(width) * 4 : 0);
    std::vector<std::uint8_t> bgr(std::size_t(width) * 3);
    const auto sampleAt = [&](const std::uint8_t* p, int i) -> std::uint32_t {
        if (layout.bytesPerSample == 1)
            return p[i];
        std::uint16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        return v;
    };
    for (std::uint32_t first = 0; first < height; first += reader.bandRows()) {
        const std::uint32_t rows = std::min(reader.bandRows(), height - first);
        if (!reader.read(first, rows))
            return DecodeResult::Failed;
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint32_t y = first + r;
            const std::uint8_t* src = reader.row(r);
            const std::size_t pixelBytes = std::size_t(layout.samples) * layout.bytesPerSample;
            if (!cmyk.empty() && inks.active()) {
                for (std::uint32_t x = 0; x < width; ++x)
                    for (int c = 0; c < 4; ++c)
                        cmyk[x * 4 + c] = to8(sampleAt(src + x * pixelBytes, c), max);
                inks.toBgr(cmyk.data(), bgr.data(), width);
            }
            std::uint8_t* dst =
                out.pixels.data() + std::size_t(fromBottom ? y : height - 1 - y) * out.stride();
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint8_t* p = src + x * pixelBytes;
                const std::uint32_t alpha = layout.alpha >= 0 ? sampleAt(p, layout.alpha) : max;
                std::uint8_t* d = dst + std::size_t(mirrorX ? width - 1 - x : x) * 3;
                if (!cmyk.empty() && inks.active()) {
                    for (int c = 0; c < 3; ++c)
                        d[c] = onWhite(bgr[x * 3 + c], to8(alpha, max), layout, 255);
                    continue;
                }
                std::uint32_t rgb[3];
                if (layout.colours == 1) {
                    const std::uint32_t v = sampleAt(p, 0);
                    rgb[0] = rgb[1] = rgb[2] = layout.minIsWhite ? max - v : v;
                } else if (layout.colours == 3) {
                    for (int c = 0; c < 3; ++c)
                        rgb[c] = sampleAt(p, c);
                } else {
                    const std::uint32_t white = max - sampleAt(p, 3);
                    for (int c = 0; c < 3; ++c)
                        rgb[c] = (max - sampleAt(p, c)) * white / max;
                }
                for (int c = 0; c < 3; ++c)
                    d[c] = onWhite(rgb[2 - c], alpha, layout, max);
            }
        }
    }
    return DecodeResult::Ok;
}

// libtiff's reader takes a palette's 16-bit entries by their high byte. Each
// entry is set to the multiple of 257 nearest it, so that the high byte is the
// rounded value; a map of entries all below 256, which the reader takes as 8-bit,
// is left alone.
void roundColormap(TIFF* tif) {
    std::uint16_t bits = 0, photometric = 0;
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) ||
        photometric != PHOTOMETRIC_PALETTE || !TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits) ||
        bits > 16 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
        return;
    const std::size_t entries = std::size_t{1} << bits;
    std::uint16_t* maps[3] = {red, green, blue};
    const bool sixteenBit = std::any_of(maps, maps + 3, [&](const std::uint16_t* map) {
        return std::any_of(map, map + entries, [](std::uint16_t v) { return v >= 256; });
    });
    if (!sixteenBit)
        return;
    for (std::uint16_t* map : maps)
        for (std::size_t i = 0; i < entries; ++i)
            map[i] = static_cast<std::uint16_t>(to8(map[i], 65535) * 257);
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

    std::uint32_t profileSize = 0;
    void* profile = nullptr;
    std::uint16_t photometric = 0;
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    // Lab pictures leave libtiff's reader in RGB of its own; their profile does not apply.
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &profileSize, &profile) && profile &&
        profileSize > 0 && photometric != PHOTOMETRIC_CIELAB && photometric != PHOTOMETRIC_ICCLAB)
        out.iccProfile.assign(static_cast<const std::uint8_t*>(profile),
                              static_cast<const std::uint8_t*>(profile) + profileSize);
    SrgbTransform inks;
    if (photometric == PHOTOMETRIC_SEPARATED && !out.iccProfile.empty()) {
        inks = SrgbTransform::describedBy(out, SourcePixels::Cmyk);
        out.profileIgnored = inks.damaged();
        out.iccProfile.clear(); // the inks are converted here, or mixed as before
    }
    if (const std::optional<DirectLayout> layout = directLayout(tif.get());
        layout && (layout->bytesPerSample == 2 || (layout->colours == 4 && inks.active())))
        return decodeDirect(tif.get(), *layout, width, height, inks, out);

    roundColormap(tif.get());
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
