#include "intake/bmp_thumbnail.h"

#include "platform/imagelib/decoded_image.h"

#include <algorithm>

namespace kv::intake {

namespace {

std::uint32_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8;
}

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}

constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kCoreHeader = 12;
constexpr std::uint32_t kInfoHeader = 40;

} // namespace

BmpReadStatus readBmpForThumbnail(std::span<const std::uint8_t> file, BmpPicture& out) {
    out = {};
    if (file.size() < kFileHeader + 4 || file[0] != 'B' || file[1] != 'M')
        return BmpReadStatus::Malformed;
    const std::uint64_t pixelOffset = le32(file, 10);
    const std::uint32_t headerSize = le32(file, kFileHeader);
    const bool core = headerSize == kCoreHeader;
    if ((!core && headerSize < kInfoHeader) ||
        kFileHeader + std::uint64_t(headerSize) > file.size())
        return BmpReadStatus::Malformed;

    std::int64_t width = 0;
    std::int64_t height = 0;
    int bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    if (core) {
        width = le16(file, 18);
        height = le16(file, 20);
        bits = int(le16(file, 24));
    } else {
        width = std::int32_t(le32(file, 18));
        height = std::int32_t(le32(file, 22));
        bits = int(le16(file, 28));
        compression = le32(file, 30);
        coloursUsed = le32(file, 46);
    }
    if (bits == 1)
        return BmpReadStatus::BlackAndWhite;
    if ((bits != 4 && bits != 8 && bits != 24) || compression != 0)
        return BmpReadStatus::UnsupportedDepth;
    const bool topDown = height < 0;
    height = topDown ? -height : height;
    if (width <= 0 || height <= 0)
        return BmpReadStatus::Malformed;
    if (std::uint64_t(width) * std::uint64_t(height) > platform::imagelib::kMaxPixels)
        return BmpReadStatus::TooLarge;

    if (bits != 24) {
        // The palette follows the header; a count of 0 or beyond the depth means all.
        const std::uint32_t full = 1u << bits;
        const std::uint32_t count = (coloursUsed == 0 || coloursUsed > full) ? full : coloursUsed;
        const std::size_t entry = core ? 3 : 4;
        const std::uint64_t start = kFileHeader + headerSize;
        if (start + std::uint64_t(count) * entry > file.size())
            return BmpReadStatus::Malformed;
        for (std::uint32_t i = 0; i < count; ++i)
            std::copy_n(file.begin() + std::ptrdiff_t(start + i * entry), 3,
                        out.palette.begin() + std::ptrdiff_t(i * 3));
    }
    if (pixelOffset > file.size() || pixelOffset < kFileHeader + headerSize)
        return BmpReadStatus::Malformed;

    const std::uint64_t stride = (std::uint64_t(width) * bits + 31) / 32 * 4;
    if (stride * std::uint64_t(height) > file.size() - pixelOffset)
        return BmpReadStatus::ShortPixels;
    out.width = int(width);
    out.height = int(height);
    out.bitsPerPixel = bits;
    out.stride = int(stride);
    out.topDown = topDown;
    out.pixels = file.subspan(std::size_t(pixelOffset), std::size_t(stride * height));
    return BmpReadStatus::Ok;
}

namespace {

// The thumbnail's size and where its pixels come from along each axis.
struct Sampling {
    int tw = 0;
    int th = 0;
    std::int64_t num = 0;
    std::int64_t den = 0;

    std::int64_t source(std::int64_t i, std::int64_t last) const {
        return std::min((2 * i * num + den) / (2 * den), last);
    }
};

Sampling samplingFor(std::int64_t w, std::int64_t h) {
    // s = num / den, kept as a fraction so that 640 x 480 gives exactly 100 x 75.
    std::int64_t num = 0;
    std::int64_t den = 0;
    if (w > h) {
        const bool byWidth = w * 75 >= h * 100;
        num = byWidth ? w : h;
        den = byWidth ? 100 : 75;
    } else {
        const bool byWidth = w * 100 >= h * 75;
        num = byWidth ? w : h;
        den = byWidth ? 75 : 100;
    }
    if (num < den)
        num = den = 1;
    // A very long, thin picture keeps at least one pixel across.
    const int tw = int(std::max<std::int64_t>(1, w * den / num));
    const int th = int(std::max<std::int64_t>(1, h * den / num));
    return {tw, th, num, den};
}

} // namespace

platform::Bitmap24 makeThumbnail(const BmpPicture& picture) {
    const std::int64_t w = picture.width;
    const std::int64_t h = picture.height;
    if (w <= 0 || h <= 0)
        return {};
    const Sampling s = samplingFor(w, h);
    const int tw = s.tw;
    const int th = s.th;

    platform::Bitmap24 thumb = platform::Bitmap24::make(tw, th);
    for (int y = 0; y < th; ++y) {
        const std::int64_t sy = s.source(y, h - 1);
        const std::int64_t row = picture.topDown ? h - 1 - sy : sy;
        const std::uint8_t* src = picture.pixels.data() + row * picture.stride;
        for (int x = 0; x < tw; ++x) {
            const std::int64_t sx = s.source(x, w - 1);
            std::uint8_t* dst = thumb.at(x, y);
            if (picture.bitsPerPixel == 24) {
                std::copy_n(src + sx * 3, 3, dst);
                continue;
            }
            unsigned index = 0;
            if (picture.bitsPerPixel == 8)
                index = src[sx];
            else
                index = (sx % 2 == 0) ? src[sx / 2] >> 4 : src[sx / 2] & 0x0F;
            std::copy_n(picture.palette.begin() + index * 3, 3, dst);
        }
    }
    return thumb;
}

ThumbnailSampler::ThumbnailSampler(int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    const Sampling s = samplingFor(width, height);
    m_rows.resize(std::size_t(s.th));
    for (int y = 0; y < s.th; ++y)
        m_rows[std::size_t(y)] = int(s.source(y, height - 1));
    m_cols.resize(std::size_t(s.tw));
    for (int x = 0; x < s.tw; ++x)
        m_cols[std::size_t(x)] = int(s.source(x, width - 1));
    m_thumb = platform::Bitmap24::make(s.tw, s.th);
}

void ThumbnailSampler::row(int fromBottom, const std::uint8_t* bgr) {
    // Sampled rows rise with the thumbnail's, so the matching ones lie together.
    const auto first = std::lower_bound(m_rows.begin(), m_rows.end(), fromBottom);
    for (auto it = first; it != m_rows.end() && *it == fromBottom; ++it) {
        const int y = int(it - m_rows.begin());
        for (std::size_t x = 0; x < m_cols.size(); ++x)
            std::copy_n(bgr + std::size_t(m_cols[x]) * 3, 3, m_thumb.at(int(x), y));
    }
}

} // namespace kv::intake
