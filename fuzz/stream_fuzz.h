#pragma once

// The same bytes handed on row by row (streamPicture, as the temporary copy takes
// them) must give what the whole decode gives: the result and its reason, the
// notices, and, row for row, the 24-bit pixels ConvertTo24 makes of it.
#include "platform/imagelib/image_library.h"
#include "platform/imagelib/picture_stream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kv::fuzz {

// Keeps the rows as a bottom-up 24-bit picture; a row before start, a second
// start or a row outside the picture is a fault.
class CollectingSink final : public platform::imagelib::RowSink {
  public:
    void start(int width, int height) override {
        if (m_started || width <= 0 || height <= 0)
            std::abort();
        m_started = true;
        m_picture = platform::Bitmap24::make(width, height);
    }
    void row(int fromBottom, const std::uint8_t* bgr) override {
        if (!m_started || fromBottom < 0 || fromBottom >= m_picture.height)
            std::abort();
        std::memcpy(m_picture.pixels.data() + std::size_t(fromBottom) * m_picture.stride(), bgr,
                    std::size_t(m_picture.width) * 3);
    }
    const platform::Bitmap24& picture() const { return m_picture; }

  private:
    bool m_started = false;
    platform::Bitmap24 m_picture;
};

inline int fuzzStream(const std::uint8_t* data, std::size_t size) {
    using namespace platform::imagelib;
    DecodedImage whole;
    const DecodeResult wholeResult = decodeImage({data, size}, whole);
    CollectingSink sink;
    DecodedImage streamed;
    if (streamPicture({data, size}, sink, streamed) != wholeResult ||
        streamed.failure != whole.failure)
        std::abort();
    if (wholeResult != DecodeResult::Ok)
        return 0;
    // A bilevel picture is refused whichever way it came.
    if ((whole.bitsPerPixel == 1) != (streamed.bitsPerPixel == 1))
        std::abort();
    if (whole.bitsPerPixel == 1)
        return 0;
    platform::Bitmap24 picture;
    if (!ConvertTo24(whole, picture) || streamed.incomplete != whole.incomplete ||
        streamed.profileIgnored != whole.profileIgnored || sink.picture().width != picture.width ||
        sink.picture().height != picture.height || sink.picture().pixels != picture.pixels)
        std::abort();
    return 0;
}

} // namespace kv::fuzz
