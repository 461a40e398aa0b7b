#pragma once

// Picture files built byte by byte, for the image library's and the intake's
// tests: headers that claim what the test needs, data coded by hand.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kv::test {

inline void putLe(std::string& s, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A little-endian TIFF of one strip holding `strip`: one sample of `bits` bits
// per pixel, the given compression and photometric interpretation.
inline std::string tiffFile(std::uint32_t width, std::uint32_t height, int bits, int compression,
                            int photometric, const std::string& strip) {
    struct Entry {
        int tag, type;
        std::uint32_t value;
    };
    constexpr int kShort = 3, kLong = 4, kEntries = 9;
    constexpr std::uint32_t kStripAt = 8 + 2 + kEntries * 12 + 4;
    const Entry entries[kEntries] = {
        {256, kLong, width},
        {257, kLong, height},
        {258, kShort, std::uint32_t(bits)},
        {259, kShort, std::uint32_t(compression)},
        {262, kShort, std::uint32_t(photometric)},
        {273, kLong, kStripAt},
        {277, kShort, 1},
        {278, kLong, height},
        {279, kLong, std::uint32_t(strip.size())},
    };
    std::string f = "II*";
    f += '\0';
    putLe(f, 8, 4);
    putLe(f, kEntries, 2);
    for (const Entry& e : entries) {
        putLe(f, std::uint32_t(e.tag), 2);
        putLe(f, std::uint32_t(e.type), 2);
        putLe(f, 1, 4);
        putLe(f, e.value, e.type == kShort ? 2 : 4);
        if (e.type == kShort)
            putLe(f, 0, 2);
    }
    putLe(f, 0, 4); // no next directory
    return f + strip;
}

// An all-white Group 4 strip of `rows` rows, photometric 0 (white is 0): each row
// is one vertical-mode code "1", then the end-of-facsimile-block.
inline std::string whiteG4Strip(int rows) {
    std::vector<bool> bits(std::size_t(rows), true);
    for (int eol = 0; eol < 2; ++eol) {
        bits.insert(bits.end(), 11, false);
        bits.push_back(true);
    }
    std::string out((bits.size() + 7) / 8, '\0');
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
    return out;
}

using GifColour = std::array<std::uint8_t, 3>; // red, green, blue

// A GIF89a of one frame of frameWidth x frameHeight at (left, top) on a screen of
// screenWidth x screenHeight, with a global colour table of 2, 4, 8 ... entries.
// The LZW codes keep their first width: a clear code follows every second index,
// so the table never grows past one new entry.
inline std::string gifFile(int screenWidth, int screenHeight, const std::vector<GifColour>& colours,
                           int left, int top, int frameWidth, int frameHeight,
                           const std::vector<std::uint8_t>& indexes, int transparent = -1) {
    int tableBits = 1;
    while ((1u << tableBits) < colours.size())
        ++tableBits;
    std::string f = "GIF89a";
    putLe(f, std::uint32_t(screenWidth), 2);
    putLe(f, std::uint32_t(screenHeight), 2);
    f += static_cast<char>(0xF0 | (tableBits - 1));
    f += '\0';
    f += '\0';
    for (const GifColour& c : colours)
        f.append({char(c[0]), char(c[1]), char(c[2])});
    if (transparent >= 0)
        f.append({'\x21', '\xF9', '\x04', '\x01', '\0', '\0', char(transparent), '\0'});
    f += '\x2C';
    for (int v : {left, top, frameWidth, frameHeight})
        putLe(f, std::uint32_t(v), 2);
    f += '\0';

    const int minCodeSize = std::max(2, tableBits);
    const std::uint32_t clear = 1u << minCodeSize;
    const int width = minCodeSize + 1;
    std::vector<std::uint32_t> codes{clear};
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            codes.push_back(clear);
        codes.push_back(indexes[i]);
    }
    codes.push_back(clear + 1);
    std::string data;
    std::uint32_t buffer = 0;
    int held = 0;
    for (std::uint32_t code : codes) {
        buffer |= code << held;
        held += width;
        while (held >= 8) {
            data += static_cast<char>(buffer & 0xFF);
            buffer >>= 8;
            held -= 8;
        }
    }
    if (held > 0)
        data += static_cast<char>(buffer & 0xFF);

    f += static_cast<char>(minCodeSize);
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::string block = data.substr(at, 255);
        f += static_cast<char>(block.size());
        f += block;
    }
    f += '\0';
    f += '\x3B';
    return f;
}

// The start of frame of a baseline JPEG rewritten to claim width x height.
inline std::string jpegClaiming(std::string jpeg, std::uint16_t width, std::uint16_t height) {
    const std::size_t sof = jpeg.find("\xFF\xC0");
    if (sof == std::string::npos)
        return {};
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

// A PCX header (version 5, run-length coded, 8 bits, one plane) for a picture of
// width x height, followed by `data`.
inline std::string pcxFile(int width, int height, const std::string& data) {
    std::string f(128, '\0');
    f[0] = '\x0A';
    f[1] = 5;
    f[2] = 1;
    f[3] = 8;
    const auto put16 = [&f](std::size_t at, std::uint32_t v) {
        f[at] = static_cast<char>(v & 0xFF);
        f[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    put16(8, std::uint32_t(width - 1));
    put16(10, std::uint32_t(height - 1));
    f[65] = 1;
    put16(66, std::uint32_t(width));
    return f + data;
}

// An uncompressed 24-bit TGA header for width x height, followed by `data`.
inline std::string tgaFile(int width, int height, const std::string& data) {
    std::string f(18, '\0');
    f[2] = 2;
    f[12] = static_cast<char>(width & 0xFF);
    f[13] = static_cast<char>(width >> 8);
    f[14] = static_cast<char>(height & 0xFF);
    f[15] = static_cast<char>(height >> 8);
    f[16] = 24;
    return f + data;
}

// A 24-bit BMP with a 40-byte information header for width x height, then `data`.
inline std::string bmpFile(std::int32_t width, std::int32_t height, const std::string& data) {
    std::string f = "BM";
    putLe(f, 54 + std::uint32_t(data.size()), 4);
    putLe(f, 0, 4);
    putLe(f, 54, 4);
    putLe(f, 40, 4);
    putLe(f, std::uint32_t(width), 4);
    putLe(f, std::uint32_t(height), 4);
    putLe(f, 1, 2);
    putLe(f, 24, 2);
    f.append(24, '\0');
    return f + data;
}

} // namespace kv::test
