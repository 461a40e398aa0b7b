#pragma once

// Camera raw files made by the tests themselves: a DNG written by hand, with a
// colour filter array of 12-bit samples in a sub-directory and an 8-bit RGB or
// JPEG preview in the first directory, laid out as a camera writes it.
#include "support/jpeg_writer.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::test::dng {

using Rgb = std::array<int, 3>;
// A picture of four quadrants: top left, top right, bottom left, bottom right.
using Quadrants = std::array<Rgb, 4>;

inline constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};
inline constexpr Rgb kCyan{0, 255, 255}, kMagenta{255, 0, 255}, kYellow{255, 255, 0},
    kBlack{0, 0, 0};
inline constexpr Quadrants kSensor{kRed, kGreen, kBlue, kWhite};
inline constexpr Quadrants kPreview{kCyan, kMagenta, kYellow, kBlack};

inline void put(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Field {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::string data; // the values, little-endian
};

inline Field numbers(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
    const int size = type == 1 ? 1 : type == 3 ? 2 : 4;
    Field f{tag, type, std::uint32_t(values.size()), {}};
    for (const std::uint32_t v : values)
        put(f.data, v, size);
    return f;
}
inline Field ascii(std::uint16_t tag, const std::string& text) {
    return {tag, 2, std::uint32_t(text.size() + 1), text + '\0'};
}
// Signed rationals over a million.
inline Field rationals(std::uint16_t tag, std::uint16_t type, std::vector<double> values) {
    Field f{tag, type, std::uint32_t(values.size()), {}};
    for (const double v : values) {
        put(f.data, std::uint32_t(std::int32_t(v * 1e6 + (v < 0 ? -0.5 : 0.5))), 4);
        put(f.data, 1000000, 4);
    }
    return f;
}

inline std::size_t directorySize(const std::vector<Field>& fields) {
    std::size_t size = 2 + fields.size() * 12 + 4;
    for (const Field& f : fields)
        if (f.data.size() > 4)
            size += (f.data.size() + 1) & ~std::size_t{1};
    return size;
}

// A directory at `at`, its longer values right behind it; fields in tag order.
inline std::string directory(const std::vector<Field>& fields, std::uint32_t at) {
    std::string head, tail;
    std::uint32_t next = at + std::uint32_t(2 + fields.size() * 12 + 4);
    put(head, std::uint32_t(fields.size()), 2);
    for (const Field& f : fields) {
        put(head, f.tag, 2);
        put(head, f.type, 2);
        put(head, f.count, 4);
        if (f.data.size() <= 4) {
            head += f.data + std::string(4 - f.data.size(), '\0');
        } else {
            put(head, next, 4);
            tail += f.data;
            if (tail.size() % 2)
                tail += '\0';
            next = at + std::uint32_t(2 + fields.size() * 12 + 4 + tail.size());
        }
    }
    put(head, 0, 4);
    return head + tail;
}

inline int quadrantOf(int x, int y, int w, int h) {
    return (y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0);
}

struct Dng {
    int width = 704, height = 528; // the sensor, larger than its preview as in a camera
    int orientation = 1;
    int previewWidth = 640, previewHeight = 480;
    bool jpegPreview = false;
    int previewExif = 0; // an Exif orientation in the JPEG preview, when not 0
    // What the camera saw of white in red (AsShotNeutral): lit red samples are
    // recorded this much lower, and its white balance brings them back.
    double neutralRed = 1;
    // Smooth ramps in place of the flat quadrants (red across, green down, blue
    // against red), so that every level of a develop's curve is met.
    bool ramps = false;
    int black = 0; // the sensor's black level (BlackLevel); white stays at 4095
    std::vector<std::uint8_t> previewIcc; // the JPEG preview's ICC profile, when not empty
};

// XYZ to linear sRGB: the camera sees sRGB's primaries, so its colours stay.
inline const std::vector<double> kCameraMatrix{3.240479, -1.537150, -0.498535, -0.969256, 1.875992,
                                               0.041556, 0.055648,  -0.204043, 1.057311};

inline std::string dngFile(const Dng& d) {
    // Sensor: an RGGB filter array, 12-bit samples, each quadrant one colour.
    std::string sensor;
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x) {
            const int channel = (y % 2) + (x % 2); // 0 red, 1 green, 2 blue
            double lit = kSensor[quadrantOf(x, y, d.width, d.height)][channel] ? 1 : 0;
            if (d.ramps)
                lit = channel == 0   ? double(x) / (d.width - 1)
                      : channel == 1 ? double(y) / (d.height - 1)
                                     : 1 - double(x) / (d.width - 1);
            const double level = lit * (channel == 0 ? d.neutralRed : 1) * (4095 - d.black);
            put(sensor, d.black + int(level + 0.5), 2);
        }
    std::string preview;
    const auto fill = [&](int y, std::uint8_t* row) {
        for (int x = 0; x < d.previewWidth; ++x)
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] =
                    std::uint8_t(kPreview[quadrantOf(x, y, d.previewWidth, d.previewHeight)][c]);
    };
    if (d.jpegPreview) {
        std::vector<std::uint8_t> exif;
        if (d.previewExif) // IFD0 holding only the Orientation tag, big-endian
            exif = {
                'E', 'x', 'i', 'f',  0,    0, 'M', 'M', 0, 42, 0, 0, 0,
                8,   0,   1,   0x01, 0x12, 0, 3,   0,   0, 0,  1, 0, std::uint8_t(d.previewExif),
                0,   0,   0,   0,    0,    0};
        preview = kv::test::encodeJpeg(d.previewWidth, d.previewHeight, fill,
                                       {.quality = 95, .app1 = exif, .iccProfile = d.previewIcc});
    } else {
        std::vector<std::uint8_t> row(std::size_t(d.previewWidth) * 3);
        for (int y = 0; y < d.previewHeight; ++y) {
            fill(y, row.data());
            preview.append(row.begin(), row.end());
        }
    }
    const auto w = std::uint32_t(d.width), h = std::uint32_t(d.height);
    const auto pw = std::uint32_t(d.previewWidth), ph = std::uint32_t(d.previewHeight);
    // The layout of a camera's file: directories first, pixel data behind them.
    std::vector<Field> first{
        numbers(254, 4, {1}),
        numbers(256, 4, {pw}),
        numbers(257, 4, {ph}),
        numbers(258, 3, {8, 8, 8}),
        numbers(259, 3, {d.jpegPreview ? 7u : 1u}),
        numbers(262, 3, {d.jpegPreview ? 6u : 2u}),
        ascii(271, "Kelvor"),
        ascii(272, "Sensor Test"),
        numbers(273, 4, {0}),
        numbers(274, 3, {std::uint32_t(d.orientation)}),
        numbers(277, 3, {3}),
        numbers(278, 4, {ph}),
        numbers(279, 4, {std::uint32_t(preview.size())}),
        numbers(284, 3, {1}),
        numbers(330, 4, {0}),
        numbers(50706, 1, {1, 4, 0, 0}),
        ascii(50708, "Kelvor Sensor Test"),
        rationals(50721, 10, kCameraMatrix),
        rationals(50728, 5, {d.neutralRed, 1, 1}),
        numbers(50778, 3, {21}),
    };
    std::vector<Field> raw{
        numbers(254, 4, {0}),
        numbers(256, 4, {w}),
        numbers(257, 4, {h}),
        numbers(258, 3, {16}),
        numbers(259, 3, {1}),
        numbers(262, 3, {32803}),
        numbers(273, 4, {0}),
        numbers(277, 3, {1}),
        numbers(278, 4, {h}),
        numbers(279, 4, {std::uint32_t(sensor.size())}),
        numbers(33421, 3, {2, 2}),
        numbers(33422, 1, {0, 1, 1, 2}),
        numbers(50714, 4, {std::uint32_t(d.black)}),
        numbers(50717, 4, {4095}),
    };
    const std::uint32_t firstAt = 8;
    const auto rawAt = std::uint32_t(firstAt + directorySize(first));
    const auto previewAt = std::uint32_t(rawAt + directorySize(raw));
    const auto sensorAt = std::uint32_t(previewAt + preview.size() + preview.size() % 2);
    first[8] = numbers(273, 4, {previewAt});
    first[14] = numbers(330, 4, {rawAt});
    raw[6] = numbers(273, 4, {sensorAt});
    std::string file = "II*";
    file += '\0';
    put(file, firstAt, 4);
    file += directory(first, firstAt) + directory(raw, rawAt) + preview;
    if (preview.size() % 2)
        file += '\0';
    return file + sensor;
}

} // namespace kv::test::dng
