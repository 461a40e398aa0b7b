#pragma once

// Pictures of four solid quadrants for the codec tests that make their files
// with the format's own encoder, and the colour profiles those files carry,
// built with Little CMS from the spaces' primaries.
#include "platform/imagelib/decoded_image.h"
#include "platform/imagelib/image_library.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace kv::test {

using Decoder = platform::imagelib::DecodeResult (*)(std::span<const std::uint8_t>,
                                                     platform::imagelib::DecodedImage&);
// A file made in memory, through the library (profiles converted into sRGB), or
// through one format's decoder to see what it found before the conversion.
inline platform::imagelib::DecodeResult decode(const std::string& file,
                                               platform::imagelib::DecodedImage& img,
                                               Decoder decoder = platform::imagelib::decodeImage) {
    return decoder({reinterpret_cast<const std::uint8_t*>(file.data()), file.size()}, img);
}

using Rgba = std::array<int, 4>;
using Quads = std::array<Rgba, 4>; // top left, top right, bottom left, bottom right

constexpr Rgba kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kLime{0, 255, 0, 255},
    kYellow{255, 255, 0, 255}, kWhite{255, 255, 255, 255};
constexpr Quads kQuads{kRed, kBlue, kLime, kYellow};

inline const Rgba& quadAt(const Quads& q, int x, int y, int width, int height) {
    return q[(x >= width / 2) + 2 * (y >= height / 2)];
}

// Interleaved samples of `channels` (3 or 4) per pixel, top row first, each
// value scaled from 0..255 to 0..maxValue.
inline std::vector<std::uint16_t> quadSamples(const Quads& q, int width, int height, int channels,
                                              int maxValue = 255) {
    std::vector<std::uint16_t> s;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                s.push_back(std::uint16_t(quadAt(q, x, y, width, height)[c] * maxValue / 255));
    return s;
}

// Every pixel of a 24-bit decoded picture against its quadrant's colour (red,
// green, blue), four pixels either side of the seams skipped when the coding
// is lossy (it rings there).
inline void expectQuads(const platform::imagelib::DecodedImage& img, int width, int height,
                        const Quads& want, int tolerance) {
    ASSERT_EQ(img.bitsPerPixel, 24);
    ASSERT_EQ(img.width, width);
    ASSERT_EQ(img.height, height);
    ASSERT_EQ(img.pixels.size(), std::size_t(img.stride()) * img.height);
    const int seam = tolerance > 0 ? 4 : 0;
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (std::abs(x - width / 2) < seam || std::abs(y - height / 2) < seam)
                continue;
            const auto* p = img.pixels.data() + std::size_t(height - 1 - y) * img.stride() + x * 3;
            const Rgba& w = quadAt(want, x, y, width, height);
            for (int c = 0; c < 3; ++c)
                if (std::abs(p[2 - c] - w[c]) > tolerance && ++wrong <= 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": "
                                  << int(p[2 - c]) << " not " << w[c];
        }
}

// An RGB profile from xy primaries and the sRGB tone curve, as ICC bytes.
inline std::vector<std::uint8_t> rgbProfile(const cmsCIExyYTRIPLE& primaries, double gamma = 0) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsFloat64Number srgb[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve =
        gamma > 0 ? cmsBuildGamma(nullptr, gamma) : cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return bytes;
}

inline const cmsCIExyYTRIPLE kP3Primaries{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}};
inline const cmsCIExyYTRIPLE kAdobePrimaries{
    {0.640, 0.330, 1}, {0.210, 0.710, 1}, {0.150, 0.060, 1}};

// The sRGB colour of an 8-bit RGB patch through an ICC profile.
inline std::array<int, 3> toSrgb(const std::vector<std::uint8_t>& icc, std::array<int, 3> rgb) {
    std::array<int, 3> result{-1, -1, -1};
    cmsHPROFILE in = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    if (!in)
        return result;
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_8, srgb, TYPE_RGB_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    if (t) {
        const std::uint8_t from[3] = {std::uint8_t(rgb[0]), std::uint8_t(rgb[1]),
                                      std::uint8_t(rgb[2])};
        std::uint8_t to[3] = {};
        cmsDoTransform(t, from, to, 1);
        result = {to[0], to[1], to[2]};
        cmsDeleteTransform(t);
    }
    cmsCloseProfile(srgb);
    cmsCloseProfile(in);
    return result;
}

// Whether `icc` maps a handful of patches to sRGB as `reference` does (within
// one step per channel).
inline void expectSameSpace(const std::vector<std::uint8_t>& icc,
                            const std::vector<std::uint8_t>& reference) {
    ASSERT_FALSE(icc.empty());
    for (const std::array<int, 3> patch : {std::array<int, 3>{255, 0, 0},
                                           {0, 255, 0},
                                           {0, 0, 255},
                                           {200, 120, 60},
                                           {40, 90, 160},
                                           {128, 128, 128}}) {
        const auto got = toSrgb(icc, patch), want = toSrgb(reference, patch);
        for (int c = 0; c < 3; ++c)
            EXPECT_LE(std::abs(got[c] - want[c]), 1)
                << "patch " << patch[0] << "," << patch[1] << "," << patch[2] << " channel " << c;
    }
}

} // namespace kv::test
