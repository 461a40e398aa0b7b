// One way into a RowSink for every format: the decoders that can hand their rows
// on do so, the others decode whole and their picture is handed on row by row.
#include "platform/imagelib/picture_stream.h"

#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/image_library.h"
#include "platform/imagelib/jpeg_stream.h"
#include "platform/imagelib/stream_support.h"

#include <vector>

namespace kv::platform::imagelib {

namespace detail {

DecodeResult sendWhole(DecodeResult result, DecodedImage& image, RowSink& sink, DecodedImage& out) {
    if (result != DecodeResult::Ok) {
        out.failure = image.failure;
        return result;
    }
    convertToSrgb(image);
    out.incomplete = image.incomplete;
    out.profileIgnored = image.profileIgnored;
    out.width = image.width;
    out.height = image.height;
    const int bits = image.bitsPerPixel;
    if (bits == 1) {
        out.bitsPerPixel = 1;
        return DecodeResult::Ok;
    }
    // What ConvertTo24 refuses.
    if (image.width <= 0 || image.height <= 0 || (bits != 4 && bits != 8 && bits != 24) ||
        image.pixels.size() < std::size_t(image.stride()) * std::size_t(image.height))
        return refuse(out, FailureReason::Damaged);
    std::vector<std::uint8_t> row(std::size_t(image.width) * 3);
    sink.start(image.width, image.height);
    for (int y = image.height - 1; y >= 0; --y) {
        expandRow(image, y, row.data());
        sink.row(y, row.data());
    }
    return DecodeResult::Ok;
}

} // namespace detail

DecodeResult streamPicture(std::span<const std::uint8_t> bytes, RowSink& sink, DecodedImage& out) {
    out = DecodedImage{};
    DecodeResult result = DecodeResult::Failed;
    switch (detectFormat(bytes)) {
    case ImageFormat::Jpeg:
        result = streamJpeg(bytes, sink, out);
        break;
    case ImageFormat::Png:
        result = streamPng(bytes, sink, out);
        break;
    case ImageFormat::Webp:
        result = streamWebp(bytes, sink, out);
        break;
    case ImageFormat::Heif:
        result = streamHeif(bytes, sink, out);
        break;
    default: {
        DecodedImage image;
        result = detail::sendWhole(decodeImage(bytes, image), image, sink, out);
        break;
    }
    }
    if (result == DecodeResult::Failed && out.failure == FailureReason::None)
        out.failure = FailureReason::Damaged;
    return result;
}

} // namespace kv::platform::imagelib
