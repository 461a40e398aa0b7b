// GIF through giflib, read from memory. Only the first frame is shown, drawn on
// a white canvas of the logical screen; transparent pixels stay white. The
// result is 24-bit bottom-up BGR, since white may be missing from a full palette.
// A two-colour frame that covers the whole picture is a 1-bit picture and comes
// out at 1 bit, as a 1-bit BMP does; on a larger canvas or with a transparent
// colour, white is a third colour and the picture is not bilevel.
#include "platform/imagelib/decoder_support.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <gif_lib.h>

namespace kv::platform::imagelib {

namespace {

struct SpanReader {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

int readSpan(GifFileType* gif, GifByteType* buffer, int size) {
    auto* reader = static_cast<SpanReader*>(gif->UserData);
    if (size <= 0)
        return 0;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size),
                                                reader->bytes.size() - reader->position);
    std::memcpy(buffer, reader->bytes.data() + reader->position, n);
    reader->position += n;
    return static_cast<int>(n);
}

struct GifCloser {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};

// Skips extension blocks up to the first image descriptor, keeping the last
// graphics control block seen (it belongs to that image). False on a broken or
// imageless file.
bool findFirstImage(GifFileType* gif, int& transparentIndex) {
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK)
            return false;
        if (type == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif) == GIF_OK;
        if (type != EXTENSION_RECORD_TYPE)
            return false;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) != GIF_OK)
            return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && block) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                transparentIndex = gcb.TransparentColor;
        }
        while (block)
            if (DGifGetExtensionNext(gif, &block) != GIF_OK)
                return false;
    }
}

} // namespace

DecodeResult decodeGif(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    SpanReader reader{bytes};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&reader, readSpan, &error));
    if (!gif)
        return DecodeResult::Failed;

    int transparentIndex = NO_TRANSPARENT_COLOR;
    if (!findFirstImage(gif.get(), transparentIndex))
        return DecodeResult::Failed;

    const GifImageDesc& frame = gif->Image;
    const ColorMapObject* colours = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colours || !colours->Colors || frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 ||
        frame.Top < 0)
        return DecodeResult::Failed;

    // A frame reaching past the logical screen widens the canvas rather than
    // being cut: many writers leave the screen size at 0 or too small.
    const int width = std::max(gif->SWidth, frame.Left + frame.Width);
    const int height = std::max(gif->SHeight, frame.Top + frame.Height);
    if (const FailureReason problem = detail::sizeProblem(width, height);
        problem != FailureReason::None)
        return detail::refuse(out, problem);
    // An LZW code takes at least one bit and stands for at most 4096 pixels (the
    // table has no more entries): a frame the rest of the file cannot hold is
    // refused before its pixels are allocated.
    const std::uint64_t rest = bytes.size() - reader.position;
    if (std::uint64_t(frame.Width) * std::uint64_t(frame.Height) > rest * 8 * 4096)
        return detail::refuse(out, FailureReason::Damaged);

    std::vector<GifPixelType> indexes(std::size_t(frame.Width) * frame.Height);
    // Interlaced frames arrive as four passes of rows: every 8th from 0, every
    // 8th from 4, every 4th from 2, every 2nd from 1.
    static constexpr int kPassStart[] = {0, 4, 2, 1}, kPassStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kPassStart[pass] : 0;
        const int step = frame.Interlace ? kPassStep[pass] : 1;
        for (int y = start; y < frame.Height; y += step)
            if (DGifGetLine(gif.get(), indexes.data() + std::size_t(y) * frame.Width,
                            frame.Width) != GIF_OK)
                return DecodeResult::Failed;
    }

    const bool coversPicture =
        frame.Left == 0 && frame.Top == 0 && frame.Width == width && frame.Height == height;
    if (colours->ColorCount == 2 && coversPicture && transparentIndex == NO_TRANSPARENT_COLOR &&
        std::all_of(indexes.begin(), indexes.end(), [](GifPixelType i) { return i < 2; })) {
        detail::allocateImage(out, width, height, 1);
        for (int i = 0; i < 2; ++i)
            detail::setPaletteEntry(out, i, colours->Colors[i].Red, colours->Colors[i].Green,
                                    colours->Colors[i].Blue);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = out.pixels.data() + std::size_t(height - 1 - y) * out.stride();
            for (int x = 0; x < width; ++x)
                detail::putIndex(row, x, 1, indexes[std::size_t(y) * width + x]);
        }
        return DecodeResult::Ok;
    }

    out.width = width;
    out.height = height;
    out.bitsPerPixel = 24;
    const std::size_t stride = out.stride();
    out.pixels.assign(stride * height, 0);
    for (int y = 0; y < height; ++y)
        std::fill_n(out.pixels.data() + std::size_t(y) * stride, std::size_t(width) * 3, 0xFF);
    for (int y = 0; y < frame.Height; ++y) {
        std::uint8_t* row = out.pixels.data() + std::size_t(height - 1 - frame.Top - y) * stride;
        const GifPixelType* src = indexes.data() + std::size_t(y) * frame.Width;
        for (int x = 0; x < frame.Width; ++x) {
            const int index = src[x];
            if (index == transparentIndex)
                continue;
            std::uint8_t* dst = row + std::size_t(frame.Left + x) * 3;
            // An index past the colour table's end shows black, as in most viewers.
            if (index >= colours->ColorCount) {
                dst[0] = dst[1] = dst[2] = 0;
                continue;
            }
            const GifColorType& c = colours->Colors[index];
            dst[0] = c.Blue;
            dst[1] = c.Green;
            dst[2] = c.Red;
        }
    }
    return DecodeResult::Ok;
}

} // namespace kv::platform::imagelib
