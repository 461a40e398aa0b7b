#include "render/sheet_loader.h"

#include "render/layout_messages.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <new>
#include <vector>

namespace kv::render {

namespace {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

bool has(std::span<const std::uint8_t> bytes, std::uint64_t offset, std::uint64_t count) {
    return offset <= bytes.size() && count <= bytes.size() - offset;
}
std::uint32_t le16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kCoreHeader = 12;
constexpr std::size_t kInfoHeader = 40;

// Palette entries as blue, green, red; entries the file does not give stay black.
using Palette = std::array<std::array<std::uint8_t, 3>, 256>;

Palette readPalette(std::span<const std::uint8_t> bytes, const BmpInfo& info) {
    Palette palette{};
    for (int i = 0; i < info.paletteCount; ++i) {
        const std::size_t at = info.paletteOffset + std::size_t(i) * info.paletteEntryBytes;
        std::memcpy(palette[std::size_t(i)].data(), bytes.data() + at, 3);
    }
    return palette;
}

// One direction of the placement: where the picture starts in the frame and how
// much of it is copied. A smaller picture is centred whole; of a larger one the
// first frame-size rows or columns are taken.
struct Span1 {
    int offset = 0;
    int count = 0;
};
Span1 placeAlong(int size, int frame) {
    if (size < frame)
        return {(frame - size) / 2, size};
    return {0, frame};
}

} // namespace

BmpHeaders readBmpHeaders(std::span<const std::uint8_t> bytes) {
    BmpHeaders out;
    BmpInfo& info = out.info;
    if (!has(bytes, 0, kFileHeader + 4) || bytes[0] != 'B' || bytes[1] != 'M')
        return out;
    info.fileSize = le32(bytes, 2);
    info.dataOffset = le32(bytes, 10);
    const std::uint32_t headerSize = le32(bytes, kFileHeader);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t colorsUsed = 0;
    if (headerSize == kCoreHeader) {
        if (!has(bytes, kFileHeader, kCoreHeader))
            return out;
        width = le16(bytes, 18);
        height = le16(bytes, 20);
        info.bitsPerPixel = static_cast<int>(le16(bytes, 24));
        info.paletteEntryBytes = 3;
    } else if (headerSize >= kInfoHeader) {
        if (!has(bytes, kFileHeader, kInfoHeader))
            return out;
        width = static_cast<std::int32_t>(le32(bytes, 18));
        height = static_cast<std::int32_t>(le32(bytes, 22));
        info.bitsPerPixel = static_cast<int>(le16(bytes, 28));
        info.compression = le32(bytes, 30);
        colorsUsed = le32(bytes, 46);
        info.paletteEntryBytes = 4;
    } else {
        return out;
    }
    info.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || height > INT32_MAX)
        return out;
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);

    const int bits = info.bitsPerPixel;
    if (bits != 4 && bits != 8 && bits != 24) {
        out.problem = BmpProblem::Depth;
        return out;
    }
    // Run-length and bit-field data would be read as plain rows.
    if (info.compression != 0)
        return out;

    info.paletteOffset = kFileHeader + headerSize;
    if (bits < 24) {
        const int full = 1 << bits;
        info.paletteCount =
            colorsUsed > 0 && colorsUsed < std::uint32_t(full) ? int(colorsUsed) : full;
    }
    info.stride =
        static_cast<std::size_t>((static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4);
    const std::uint64_t pixelBytes =
        static_cast<std::uint64_t>(info.stride) * std::uint64_t(height);
    const bool paletteInside =
        has(bytes, info.paletteOffset, std::uint64_t(info.paletteCount) * info.paletteEntryBytes);
    // A 24-bit file must also hold everything its header announces.
    const bool announcedInside = bits != 24 || info.fileSize <= bytes.size();
    out.problem = paletteInside && announcedInside && has(bytes, info.dataOffset, pixelBytes)
                      ? BmpProblem::None
                      : BmpProblem::Short;
    return out;
}

std::optional<FrameShape> loadSheet(std::span<const std::uint8_t> bytes, PrintImage& image,
                                    platform::Ui& ui) {
    const BmpHeaders headers = readBmpHeaders(bytes);
    switch (headers.problem) {
    case BmpProblem::Malformed:
        ui.message(kMsgSheetCannotOpen, Icon::Information);
        return std::nullopt;
    case BmpProblem::Depth:
        return std::nullopt;
    case BmpProblem::Short:
        ui.message(kMsgSheetShort, Icon::Information);
        return std::nullopt;
    case BmpProblem::None:
        break;
    }
    const BmpInfo& info = headers.info;
    const FrameShape shape = info.width < info.height ? FrameShape::Upright : FrameShape::Landscape;
    const int frameW = frameWidth(shape);
    const int frameH = frameHeight(shape);
    const Span1 across = placeAlong(info.width, frameW);
    const Span1 down = placeAlong(info.height, frameH);

    if (info.width < frameW || info.height < frameH)
        for (int r = 0; r < frameH; ++r)
            std::memset(image.pixel(r, 0), 255, std::size_t(frameW) * 3);

    const Palette palette = readPalette(bytes, info);
    for (int r = 0; r < down.count; ++r) {
        const int stored = info.topDown ? info.height - 1 - r : r;
        const std::uint8_t* src =
            bytes.data() + info.dataOffset + std::size_t(stored) * info.stride;
        std::uint8_t* dst = image.pixel(down.offset + r, across.offset);
        switch (info.bitsPerPixel) {
        case 24:
            std::memcpy(dst, src, std::size_t(across.count) * 3);
            break;
        case 8:
            for (int x = 0; x < across.count; ++x)
                std::memcpy(dst + x * 3, palette[src[x]].data(), 3);
            break;
        default: // 4 bits: the even column in the high half of its byte
            for (int x = 0; x < across.count; ++x) {
                const int index = (x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4;
                std::memcpy(dst + x * 3, palette[std::size_t(index)].data(), 3);
            }
            break;
        }
    }
    return shape;
}

std::optional<FrameShape> loadSheetFile(const std::filesystem::path& file, PrintImage& image,
                                        platform::Ui& ui) {
    // Only a regular file: opening a pipe would wait for a writer for ever.
    std::error_code ec;
    std::ifstream in;
    if (fs::is_regular_file(file, ec))
        in.open(file, std::ios::binary | std::ios::ate);
    if (!in.is_open() || !in) {
        ui.message(kMsgSheetCannotOpen, Icon::Information);
        return std::nullopt;
    }
    const std::streamoff size = in.tellg();
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    } catch (const std::bad_alloc&) {
        ui.message(kMsgSheetNoMemory, Icon::Information);
        return std::nullopt;
    }
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()))) {
        ui.message(kMsgSheetCannotOpen, Icon::Information);
        return std::nullopt;
    }
    return loadSheet(bytes, image, ui);
}

void orientFrame(PrintImage& image, FrameShape shape) {
    if (shape == FrameShape::Landscape) {
        for (int r = 0; r < kFrameHeight / 2; ++r)
            std::swap_ranges(image.pixel(r, 0), image.pixel(r, 0) + std::size_t(kFrameWidth) * 3,
                             image.pixel(kFrameHeight - 1 - r, 0));
        return;
    }
    // The upright frame is 480 wide and 640 high, rows in file order (bottom first):
    // position (column c, row r) takes picture column 479 - r of file row 639 - c.
    std::vector<std::uint8_t> frame(std::size_t(kFrameWidth) * kFrameHeight * 3);
    for (int r = 0; r < kFrameWidth; ++r)
        std::memcpy(frame.data() + std::size_t(r) * kFrameHeight * 3, image.pixel(r, 0),
                    std::size_t(kFrameHeight) * 3);
    for (int r = 0; r < kFrameHeight; ++r) {
        std::uint8_t* dst = image.pixel(r, 0);
        const int column = kFrameHeight - 1 - r;
        for (int c = 0; c < kFrameWidth; ++c) {
            const int fileRow = kFrameWidth - 1 - c;
            std::memcpy(dst + c * 3,
                        frame.data() + (std::size_t(fileRow) * kFrameHeight + column) * 3, 3);
        }
    }
}

} // namespace kv::render
