// WebP through libwebp, from memory: lossy, lossless, with alpha over white
// paper, and of an animation its first frame. The picture comes out as 24-bit
// bottom-up BGR and the ICCP chunk's profile goes to out.iccProfile. WebP has no
// one-bit coding; a lossless picture of at most two colours is what a bilevel
// picture becomes in it, and comes out at 1 bit like a 1-bit BMP.
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/picture_stream.h"
#include "platform/imagelib/stream_support.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include <sys/mman.h>

#include <webp/decode.h>
#include <webp/demux.h>

namespace kv::platform::imagelib {

namespace {

constexpr int kLossless = 2; // WebPBitstreamFeatures::format

std::uint8_t onWhite(int value, int alpha) {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Top-down `bgra` rows of `out.width` pixels into `out`'s bottom-up rows.
void compositeOnWhite(const std::uint8_t* bgra, std::size_t bgraStride, DecodedImage& out) {
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* in = bgra + std::size_t(out.height - 1 - y) * bgraStride;
        std::uint8_t* dst = out.pixels.data() + std::size_t(y) * out.stride();
        for (int x = 0; x < out.width; ++x, in += 4, dst += 3) {
            dst[0] = onWhite(in[0], in[3]);
            dst[1] = onWhite(in[1], in[3]);
            dst[2] = onWhite(in[2], in[3]);
        }
    }
}

// Lays bottom-up BGRA rows on white and packs them, in their own buffer, into
// `out`'s 24-bit rows: each pixel moves only towards the buffer's start, so the
// picture is never held twice.
void compositeInPlace(std::vector<std::uint8_t>& bgra, int width, int height, DecodedImage& out) {
    out.width = width;
    out.height = height;
    out.bitsPerPixel = 24;
    const std::size_t stride = out.stride();
    for (std::size_t y = 0; y < std::size_t(height); ++y) {
        const std::uint8_t* in = bgra.data() + y * std::size_t(width) * 4;
        std::uint8_t* dst = bgra.data() + y * stride;
        for (int x = 0; x < width; ++x, in += 4, dst += 3) {
            const int alpha = in[3];
            dst[0] = onWhite(in[0], alpha);
            dst[1] = onWhite(in[1], alpha);
            dst[2] = onWhite(in[2], alpha);
        }
        std::fill(dst, bgra.data() + (y + 1) * stride, std::uint8_t{0});
    }
    bgra.resize(stride * std::size_t(height));
    out.pixels = std::move(bgra);
}

// A 24-bit picture of at most two colours becomes a 1-bit one with those colours.
void packIfTwoColours(DecodedImage& image) {
    const auto colourAt = [&image](int x, int y) {
        const std::uint8_t* p = image.pixels.data() + std::size_t(y) * image.stride() + x * 3;
        return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
    };
    const std::uint32_t first = colourAt(0, 0);
    std::uint32_t second = first;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t c = colourAt(x, y);
            if (c == first || c == second)
                continue;
            if (second != first)
                return;
            second = c;
        }
    DecodedImage packed;
    detail::allocateImage(packed, image.width, image.height, 1);
    detail::setPaletteEntry(packed, 0, first >> 16, (first >> 8) & 0xFF, first & 0xFF);
    detail::setPaletteEntry(packed, 1, second >> 16, (second >> 8) & 0xFF, second & 0xFF);
    for (int y = 0; y < image.height; ++y) {
        std::uint8_t* row = packed.pixels.data() + std::size_t(y) * packed.stride();
        for (int x = 0; x < image.width; ++x)
            detail::putIndex(row, x, 1, colourAt(x, y) == first ? 0 : 1);
    }
    packed.iccProfile = std::move(image.iccProfile);
    image = std::move(packed);
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
struct IdecDeleter {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

std::vector<std::uint8_t> iccChunk(const WebPData& data) {
    // Partial: the chunk stands before the picture data, so a cut-off file has it too.
    WebPDemuxState state;
    const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemuxPartial(&data, &state));
    if (!demux || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG))
        return {};
    WebPChunkIterator chunk;
    if (!WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk))
        return {};
    std::vector<std::uint8_t> profile(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    return profile;
}

// The first frame as the animation shows it: drawn on a transparent canvas by
// libwebp's own animation decoder, then laid on white. Needs the whole file.
DecodeResult decodeFirstFrame(const WebPData& data, DecodedImage& out) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return DecodeResult::Failed;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const std::unique_ptr<WebPAnimDecoder, AnimDeleter> decoder(
        WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        return DecodeResult::Failed;
    if (const FailureReason problem = detail::sizeProblem(info.canvas_width, info.canvas_height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas)
        return DecodeResult::Failed;
    detail::allocateImage(out, info.canvas_width, info.canvas_height, 24);
    compositeOnWhite(canvas, std::size_t(info.canvas_width) * 4, out);
    return DecodeResult::Ok;
}

// A still picture, decoded into bottom-up rows (libwebp's flip). Incrementally, so
// that a file ending early keeps the rows that arrived.
DecodeResult decodeStill(std::span<const std::uint8_t> bytes, const WebPBitstreamFeatures& features,
                         DecodedImage& out) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return DecodeResult::Failed;
    std::vector<std::uint8_t> bgra;
    WebPRGBABuffer& target = config.output.u.RGBA;
    if (features.has_alpha) {
        // Rows that never come stay black, as in every other format.
        bgra.assign(std::size_t(features.width) * 4 * std::size_t(features.height), 0);
        for (std::size_t i = 3; i < bgra.size(); i += 4)
            bgra[i] = 0xFF;
        config.output.colorspace = MODE_BGRA;
        target.rgba = bgra.data();
        target.stride = features.width * 4;
        target.size = bgra.size();
    } else {
        detail::allocateImage(out, features.width, features.height, 24);
        config.output.colorspace = MODE_BGR;
        target.rgba = out.pixels.data();
        target.stride = out.stride();
        target.size = out.pixels.size();
    }
    config.output.is_external_memory = 1;
    config.options.flip = 1;

    const std::unique_ptr<WebPIDecoder, IdecDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder)
        return DecodeResult::Failed;
    const VP8StatusCode status = WebPIUpdate(decoder.get(), bytes.data(), bytes.size());
    if (status == VP8_STATUS_SUSPENDED) {
        int rows = 0;
        if (!WebPIDecGetRGB(decoder.get(), &rows, nullptr, nullptr, nullptr) || rows <= 0)
            return DecodeResult::Failed;
        out.incomplete = true;
    } else if (status != VP8_STATUS_OK) {
        return DecodeResult::Failed;
    }
    if (features.has_alpha)
        compositeInPlace(bgra, features.width, features.height, out);
    return DecodeResult::Ok;
}

// Address space for a picture that is never resident whole: the decoder writes
// its rows there, and the memory of rows already handed on moves ahead to where
// the next rows land. Huge pages where the system has them: a fault for every
// 4 KiB page of a large picture, and zeroing fresh pages, cost more than its
// decoding.
class RowRegion {
  public:
    explicit RowRegion(std::size_t size) : m_size(size + kHugePage), m_usable(size) {
        void* data = mmap(nullptr, m_size, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (data == MAP_FAILED)
            return;
        m_mapping = static_cast<std::uint8_t*>(data);
        const auto at = reinterpret_cast<std::uintptr_t>(m_mapping);
        m_data = m_mapping + ((kHugePage - at % kHugePage) % kHugePage);
        madvise(m_data, size, MADV_HUGEPAGE);
    }
    RowRegion(const RowRegion&) = delete;
    RowRegion& operator=(const RowRegion&) = delete;
    ~RowRegion() {
        if (m_mapping)
            munmap(m_mapping, m_size);
    }
    std::uint8_t* data() const { return m_data; }

    // The first `written` bytes hold rows handed on; nothing beyond them is written
    // yet. Their whole huge pages go to the first pages not yet touched (the
    // decoder writes every byte of a row, so what they held does not show), or
    // back to the system where none is left.
    void recycle(std::size_t written) {
        const std::size_t done = written / kHugePage * kHugePage;
        std::size_t next = std::max(m_ahead, (written + kHugePage - 1) / kHugePage * kHugePage);
        for (; m_released < done; m_released += kHugePage) {
            std::uint8_t* from = m_data + m_released;
            // The source stays mapped, empty: no other mapping can take its place.
            if (next + kHugePage <= m_usable &&
                mremap(from, kHugePage, kHugePage, MREMAP_MAYMOVE | MREMAP_FIXED | MREMAP_DONTUNMAP,
                       m_data + next) != MAP_FAILED) {
                next += kHugePage;
                continue;
            }
            madvise(from, kHugePage, MADV_DONTNEED);
        }
        m_ahead = next;
    }

  private:
    static constexpr std::size_t kHugePage = std::size_t{2} << 20;
    std::uint8_t* m_mapping = nullptr;
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_usable = 0;
    std::size_t m_released = 0; // below it, nothing is resident
    std::size_t m_ahead = 0;    // below it, pages moved ahead wait for rows
};

// Whether a picture has at most two colours, as its rows pass.
class TwoColours {
  public:
    void row(const std::uint8_t* bgr, int width) {
        for (int x = 0; x < width && m_count <= 2; ++x, bgr += 3) {
            const std::uint32_t c =
                std::uint32_t(bgr[0]) | std::uint32_t(bgr[1]) << 8 | std::uint32_t(bgr[2]) << 16;
            if ((m_count > 0 && c == m_colours[0]) || (m_count > 1 && c == m_colours[1]))
                continue;
            if (m_count < 2)
                m_colours[m_count] = c;
            ++m_count;
        }
    }
    bool atMostTwo() const { return m_count <= 2; }

  private:
    std::uint32_t m_colours[2] = {};
    int m_count = 0;
};

// decodeStill into `rows`: the file is given to libwebp a piece at a time, and the
// rows each piece completes are handed on and their memory given back.
DecodeResult streamStill(std::span<const std::uint8_t> bytes, const WebPBitstreamFeatures& features,
                         detail::SrgbRows& rows, DecodedImage& out) {
    const int width = features.width, height = features.height;
    const int channels = features.has_alpha ? 4 : 3;
    const std::size_t stride = std::size_t(width) * channels;
    RowRegion region(stride * std::size_t(height));
    if (!region.data())
        return detail::refuse(out, FailureReason::TooLarge);
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return DecodeResult::Failed;
    config.output.colorspace = features.has_alpha ? MODE_BGRA : MODE_BGR;
    config.output.u.RGBA.rgba = region.data();
    config.output.u.RGBA.stride = int(stride);
    config.output.u.RGBA.size = stride * std::size_t(height);
    config.output.is_external_memory = 1;
    // One thread: libwebp's second one hands over every row of macroblocks, which
    // costs more than it saves on a smooth picture and on a busy machine.
    const std::unique_ptr<WebPIDecoder, IdecDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder)
        return DecodeResult::Failed;

    DecodedImage described;
    described.iccProfile = iccChunk(WebPData{bytes.data(), bytes.size()});
    rows.start(width, height, described);
    // Only a lossless picture without alpha can be a bilevel one.
    const bool countColours = features.format == kLossless && !features.has_alpha;
    TwoColours colours;
    std::vector<std::uint8_t> bgr(std::size_t(width) * 3);
    // Pieces of a 64th of the file: a few rows' worth each, whatever the coding.
    const std::size_t step = std::max<std::size_t>(std::size_t{1} << 10, bytes.size() / 64);
    int sent = 0;
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (std::size_t given = 0; status == VP8_STATUS_SUSPENDED && given < bytes.size();) {
        given = std::min(bytes.size(), given + step);
        status = WebPIUpdate(decoder.get(), bytes.data(), given);
        int done = 0;
        if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED)
            break;
        if (!WebPIDecGetRGB(decoder.get(), &done, nullptr, nullptr, nullptr))
            done = 0;
        for (; sent < std::min(done, height); ++sent) {
            std::uint8_t* row = region.data() + std::size_t(sent) * stride;
            if (features.has_alpha) {
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t* p = row + std::size_t(x) * 4;
                    bgr[std::size_t(x) * 3 + 0] = onWhite(p[0], p[3]);
                    bgr[std::size_t(x) * 3 + 1] = onWhite(p[1], p[3]);
                    bgr[std::size_t(x) * 3 + 2] = onWhite(p[2], p[3]);
                }
                row = bgr.data();
            }
            if (countColours)
                colours.row(row, width);
            rows.row(sent, row);
        }
        region.recycle(std::size_t(sent) * stride);
    }
    if (status == VP8_STATUS_SUSPENDED) {
        if (sent <= 0)
            return DecodeResult::Failed;
        out.incomplete = true;
    } else if (status != VP8_STATUS_OK) {
        return DecodeResult::Failed;
    }
    rows.finish();
    if (countColours && !out.incomplete && colours.atMostTwo()) {
        out.width = width;
        out.height = height;
        out.bitsPerPixel = 1;
    }
    return DecodeResult::Ok;
}

// The file's features, and whether its sides pass (for an animation they are the
// canvas's).
DecodeResult readFeatures(std::span<const std::uint8_t> bytes, WebPBitstreamFeatures& features,
                          DecodedImage& out) {
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return DecodeResult::Failed;
    if (const FailureReason problem = detail::sizeProblem(features.width, features.height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    return DecodeResult::Ok;
}

} // namespace

DecodeResult decodeWebp(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    WebPBitstreamFeatures features;
    if (const DecodeResult checked = readFeatures(bytes, features, out);
        checked != DecodeResult::Ok)
        return checked;
    const WebPData data{bytes.data(), bytes.size()};
    DecodedImage image;
    const DecodeResult result = features.has_animation ? decodeFirstFrame(data, image)
                                                       : decodeStill(bytes, features, image);
    if (result != DecodeResult::Ok) {
        out.failure = image.failure;
        return result;
    }
    image.iccProfile = iccChunk(data);
    if (features.format == kLossless && !features.has_alpha && !features.has_animation &&
        !image.incomplete)
        packIfTwoColours(image);
    out = std::move(image);
    return DecodeResult::Ok;
}

DecodeResult streamWebp(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out) {
    out = DecodedImage{};
    WebPBitstreamFeatures features;
    if (const DecodeResult checked = readFeatures(bytes, features, out);
        checked != DecodeResult::Ok)
        return checked;
    // An animation's first frame is drawn on its canvas whole.
    if (features.has_animation) {
        DecodedImage image;
        const DecodeResult result = decodeWebp(bytes, image);
        return detail::sendWhole(result, image, sink, out);
    }
    detail::SrgbRows rows(sink, out);
    return streamStill(bytes, features, rows, out);
}

} // namespace kv::platform::imagelib
