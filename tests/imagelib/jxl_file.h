#pragma once

// JPEG XL files made with libjxl's encoder from pictures of four quadrants,
// and bare headers written bit by bit.
#include "quadrant_picture.h"

#include <jxl/encode.h>

#include <string>
#include <vector>

namespace kv::test {

struct JxlPicture {
    int width = 32;
    int height = 16;
    Quads quads = kQuads; // grey pictures take the red value
    bool alpha = false;
    bool grey = false;
    int bits = 8;
    int orientation = 1;
    bool lossless = true;
    bool container = false;
    JxlPrimaries primaries = JXL_PRIMARIES_SRGB;
    std::vector<std::uint8_t> icc;
    std::vector<Quads> laterFrames; // an animation: these follow the first frame
};

inline std::string jxlFile(const JxlPicture& p) {
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlEncoderUseContainer(encoder, p.container);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = std::uint32_t(p.width);
    info.ysize = std::uint32_t(p.height);
    info.bits_per_sample = std::uint32_t(p.bits);
    info.num_color_channels = p.grey ? 1 : 3;
    info.alpha_bits = p.alpha ? 8 : 0;
    info.num_extra_channels = p.alpha ? 1 : 0;
    info.orientation = JxlOrientation(p.orientation);
    info.uses_original_profile = p.lossless;
    if (!p.laterFrames.empty()) {
        info.have_animation = JXL_TRUE;
        info.animation.tps_numerator = 10;
        info.animation.tps_denominator = 1;
    }
    EXPECT_EQ(JxlEncoderSetBasicInfo(encoder, &info), JXL_ENC_SUCCESS);
    if (p.alpha) {
        JxlExtraChannelInfo channel;
        JxlEncoderInitExtraChannelInfo(JXL_CHANNEL_ALPHA, &channel);
        channel.bits_per_sample = 8;
        JxlEncoderSetExtraChannelInfo(encoder, 0, &channel);
    }
    if (!p.icc.empty()) {
        EXPECT_EQ(JxlEncoderSetICCProfile(encoder, p.icc.data(), p.icc.size()), JXL_ENC_SUCCESS);
    } else {
        JxlColorEncoding colour;
        JxlColorEncodingSetToSRGB(&colour, p.grey);
        colour.primaries = p.primaries;
        EXPECT_EQ(JxlEncoderSetColorEncoding(encoder, &colour), JXL_ENC_SUCCESS);
    }
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    if (p.lossless)
        JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    else
        JxlEncoderSetFrameDistance(settings, 0.5f);
    const int channels = (p.grey ? 1 : 3) + (p.alpha ? 1 : 0);
    const JxlPixelFormat format{std::uint32_t(channels), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::vector<Quads> frames{p.quads};
    frames.insert(frames.end(), p.laterFrames.begin(), p.laterFrames.end());
    for (const Quads& quads : frames) {
        if (!p.laterFrames.empty()) {
            JxlFrameHeader header;
            JxlEncoderInitFrameHeader(&header);
            header.duration = 1;
            JxlEncoderSetFrameHeader(settings, &header);
        }
        std::vector<std::uint8_t> pixels;
        const auto samples = quadSamples(quads, p.width, p.height, 4);
        for (std::size_t i = 0; i < samples.size(); i += 4) {
            for (int c = 0; c < (p.grey ? 1 : 3); ++c)
                pixels.push_back(std::uint8_t(samples[i + std::size_t(c)]));
            if (p.alpha)
                pixels.push_back(std::uint8_t(samples[i + 3]));
        }
        EXPECT_EQ(JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()),
                  JXL_ENC_SUCCESS);
    }
    JxlEncoderCloseInput(encoder);
    std::string bytes(4096, '\0');
    std::size_t written = 0;
    for (;;) {
        auto* next = reinterpret_cast<std::uint8_t*>(bytes.data()) + written;
        std::size_t avail = bytes.size() - written;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &avail);
        written = bytes.size() - avail;
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            EXPECT_EQ(status, JXL_ENC_SUCCESS);
            break;
        }
        bytes.resize(bytes.size() * 2);
    }
    JxlEncoderDestroy(encoder);
    bytes.resize(written);
    return bytes;
}

// A bare codestream holding only a size header and default image metadata,
// written bit by bit (least significant first) as the format lays them out.
inline std::string jxlHeaderOnly(std::uint32_t width, std::uint32_t height) {
    std::string bytes("\xFF\x0A", 2);
    std::uint64_t bits = 0;
    int count = 0;
    const auto put = [&](std::uint64_t value, int n) {
        bits |= value << count;
        count += n;
    };
    put(0, 1);                      // not a small size
    put(2, 2), put(height - 1, 18); // height, 18-bit form
    put(0, 3);                      // no aspect ratio: width follows
    put(2, 2), put(width - 1, 18);  // width, 18-bit form
    put(1, 1);                      // all image metadata default
    for (int i = 0; i < count; i += 8)
        bytes += char((bits >> i) & 0xFF);
    return bytes;
}

} // namespace kv::test
