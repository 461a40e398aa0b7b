#pragma once

#include "platform/imagelib/colour_profile.h"
#include "platform/imagelib/decoded_image.h"
#include "platform/imagelib/row_sink.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// What the decoders that hand their rows to a RowSink share.
namespace kv::platform::imagelib::detail {

// Row `fromBottom` of a 1-, 4-, 8- or 24-bit picture as width * 3 blue, green,
// red bytes: ConvertTo24's expansion, for one row.
inline void expandRow(const DecodedImage& in, int fromBottom, std::uint8_t* bgr) {
    const std::uint8_t* src = in.pixels.data() + std::size_t(fromBottom) * std::size_t(in.stride());
    const int bits = in.bitsPerPixel;
    if (bits == 24) {
        std::memcpy(bgr, src, std::size_t(in.width) * 3);
        return;
    }
    for (int x = 0; x < in.width; ++x) {
        int index = 0;
        if (bits == 8)
            index = src[x];
        else if (bits == 4)
            index = (x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4;
        else
            index = (src[x >> 3] >> (7 - (x & 7))) & 1;
        std::memcpy(bgr + x * 3, in.palette.data() + index * 4, 3);
    }
}

// Hands a decoder's upright rows to a sink in sRGB, as convertToSrgb would have
// left the whole picture. Rows are taken top first.
class SrgbRows {
  public:
    SrgbRows(RowSink& sink, DecodedImage& out) : m_sink(sink), m_out(out) {}

    // `described` holds what the file says of its colours (iccProfile and the rest).
    void start(int width, int height, const DecodedImage& described) {
        m_transform = SrgbTransform::describedBy(described, SourcePixels::Bgr);
        m_out.profileIgnored = m_out.profileIgnored || m_transform.damaged();
        m_width = width;
        m_height = height;
        m_started = true;
        m_sink.start(width, height);
    }
    bool started() const { return m_started; }

    // Row y counted from the top, converted in place.
    void row(int y, std::uint8_t* bgr) {
        m_transform.toBgr(bgr, bgr, std::size_t(m_width));
        m_sink.row(m_height - 1 - y, bgr);
        m_next = y + 1;
    }

    // The rows below the last one given never came: black, gone through the
    // profile as the whole picture's black rows go.
    void finish() {
        if (!m_started || !m_transform.active() || m_next >= m_height)
            return;
        std::vector<std::uint8_t> black(std::size_t(m_width) * 3, 0);
        m_transform.toBgr(black.data(), black.data(), std::size_t(m_width));
        for (int y = m_next; y < m_height; ++y)
            m_sink.row(m_height - 1 - y, black.data());
    }

  private:
    RowSink& m_sink;
    DecodedImage& m_out;
    SrgbTransform m_transform;
    int m_width = 0;
    int m_height = 0;
    int m_next = 0;
    bool m_started = false;
};

// A picture a decoder made whole (`result` its answer) handed on as streamPicture
// does: into sRGB, then row by row, or not at all at one bit per pixel.
DecodeResult sendWhole(DecodeResult result, DecodedImage& image, RowSink& sink, DecodedImage& out);

} // namespace kv::platform::imagelib::detail
