#include "platform/imagelib/image_library.h"

#include "platform/atomic_file.h"
#include "platform/imagelib/colour_profile.h"
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/raw_stream.h"
#include "platform/imagelib/stream_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform::imagelib {

namespace {

using detail::has;
using detail::le16;

std::size_t stride(const Bitmap24& b) {
    return static_cast<std::size_t>(b.stride());
}

bool plausibleTga(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 18)
        return false;
    const int mapType = bytes[1];
    const int type = bytes[2];
    const int mapBits = bytes[7];
    const int depth = bytes[16];
    if (mapType > 1 || le16(bytes, 12) == 0 || le16(bytes, 14) == 0)
        return false;
    if (mapType == 1 &&
        (le16(bytes, 5) == 0 || (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)))
        return false;
    const std::size_t mapBytes = mapType == 1 ? le16(bytes, 5) * ((mapBits + 7) / 8) : 0;
    if (!has(bytes, 18, bytes[0] + mapBytes))
        return false;
    switch (type) {
    case 1:
    case 9:
        return mapType == 1 && depth == 8;
    case 2:
    case 10:
        return depth == 15 || depth == 16 || depth == 24 || depth == 32;
    case 3:
    case 11:
        return depth == 8;
    default:
        return false;
    }
}

bool plausiblePcx(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 128 || bytes[0] != 0x0A || bytes[2] > 1)
        return false;
    const int version = bytes[1];
    const int bits = bytes[3];
    return (version == 0 || (version >= 2 && version <= 5)) &&
           (bits == 1 || bits == 2 || bits == 4 || bits == 8);
}

// One output sample of a resampling pass: a run of source samples and their weights.
struct Taps {
    int first = 0;
    int count = 0;
    std::size_t weightIndex = 0;
};

struct Filter {
    std::vector<Taps> taps;
    std::vector<float> weights;
};

// Shrinking averages the area each output sample covers; growing interpolates
// between the two nearest source samples around the output sample's centre.
Filter makeFilter(int sourceSize, int targetSize) {
    Filter f;
    f.taps.resize(static_cast<std::size_t>(targetSize));
    const double ratio = static_cast<double>(sourceSize) / targetSize;
    for (int i = 0; i < targetSize; ++i) {
        Taps& t = f.taps[static_cast<std::size_t>(i)];
        t.weightIndex = f.weights.size();
        if (targetSize <= sourceSize) {
            const double lo = i * ratio;
            const double hi = (i + 1) * ratio;
            t.first = std::min(static_cast<int>(lo), sourceSize - 1);
            const int last =
                std::clamp(static_cast<int>(std::ceil(hi)) - 1, t.first, sourceSize - 1);
            double sum = 0;
            for (int k = t.first; k <= last; ++k) {
                const double w = std::min(hi, k + 1.0) - std::max(lo, static_cast<double>(k));
                f.weights.push_back(static_cast<float>(std::max(w, 0.0)));
                sum += std::max(w, 0.0);
            }
            t.count = last - t.first + 1;
            for (int k = 0; k < t.count; ++k)
                f.weights[t.weightIndex + k] =
                    static_cast<float>(f.weights[t.weightIndex + k] / sum);
        } else {
            const double pos = std::clamp((i + 0.5) * ratio - 0.5, 0.0, sourceSize - 1.0);
            t.first = static_cast<int>(pos);
            const double frac = pos - t.first;
            t.count = t.first + 1 < sourceSize ? 2 : 1;
            f.weights.push_back(static_cast<float>(t.count == 2 ? 1.0 - frac : 1.0));
            if (t.count == 2)
                f.weights.push_back(static_cast<float>(frac));
        }
    }
    return f;
}

std::uint8_t toByte(float v) {
    return static_cast<std::uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

// An ISO base media file whose first box is 'ftyp' naming a HEIF or AVIF brand,
// as its major brand or among the compatible ones.
bool heifBrands(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 16 || std::memcmp(bytes.data() + 4, "ftyp", 4) != 0)
        return false;
    const std::size_t boxSize = std::min<std::size_t>(
        bytes.size(), std::size_t{bytes[0]} << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3]);
    static constexpr const char* kBrands[] = {"heic", "heix", "hevc", "heim", "heis",
                                              "mif1", "msf1", "avif", "avis"};
    const auto known = [&](std::size_t at) {
        return std::any_of(std::begin(kBrands), std::end(kBrands), [&](const char* brand) {
            return std::memcmp(bytes.data() + at, brand, 4) == 0;
        });
    };
    if (known(8))
        return true;
    for (std::size_t at = 16; at + 4 <= boxSize; at += 4)
        if (known(at))
            return true;
    return false;
}

} // namespace

ImageFormat detectFormat(std::span<const std::uint8_t> bytes) {
    const auto starts = [&](std::initializer_list<std::uint8_t> sig) {
        return bytes.size() >= sig.size() && std::equal(sig.begin(), sig.end(), bytes.begin());
    };
    if (starts({'B', 'M'}))
        return ImageFormat::Bmp;
    if (starts({0xFF, 0xD8}))
        return ImageFormat::Jpeg;
    // Most camera raws are TIFF files too: told apart before TIFF.
    if (rawEvidence(bytes) != RawEvidence::None)
        return ImageFormat::Raw;
    if (starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42}))
        return ImageFormat::Tiff;
    if (starts({'G', 'I', 'F', '8', '7', 'a'}) || starts({'G', 'I', 'F', '8', '9', 'a'}))
        return ImageFormat::Gif;
    if (starts({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
        return ImageFormat::Png;
    // RIFF, the chunk's size, then the form type.
    if (starts({'R', 'I', 'F', 'F'}) && bytes.size() >= 12 && bytes[8] == 'W' && bytes[9] == 'E' &&
        bytes[10] == 'B' && bytes[11] == 'P')
        return ImageFormat::Webp;
    if (heifBrands(bytes))
        return ImageFormat::Heif;
    // JPEG XL: a bare codestream, or the container's signature box.
    if (starts({0xFF, 0x0A}) || starts({0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A}))
        return ImageFormat::Jxl;
    if (plausiblePcx(bytes))
        return ImageFormat::Pcx;
    if (plausibleTga(bytes))
        return ImageFormat::Tga;
    return ImageFormat::Unknown;
}

namespace {

DecodeResult runDecoder(std::span<const std::uint8_t> bytes, DecodedImage& out,
                        const NeededExtent* needed) {
    switch (detectFormat(bytes)) {
    case ImageFormat::Bmp:
        return decodeBmp(bytes, out);
    case ImageFormat::Jpeg:
        return needed ? decodeJpegAtLeast(bytes, out, *needed) : decodeJpeg(bytes, out);
    case ImageFormat::Tiff:
        return decodeTiff(bytes, out);
    case ImageFormat::Gif:
        return decodeGif(bytes, out);
    case ImageFormat::Pcx:
        return decodePcx(bytes, out);
    case ImageFormat::Tga:
        return decodeTga(bytes, out);
    case ImageFormat::Raw: {
        // Only the print path states what it needs (ScaleCDAtLeast), so that is the
        // sign to develop the sensor data; looking takes the camera's quick preview.
        const DecodeResult result =
            needed ? developRawAtLeast(bytes, out, *needed) : decodeRaw(bytes, out);
        if (result == DecodeResult::UnsupportedFormat &&
            rawEvidence(bytes) == RawEvidence::Likely) {
            out = DecodedImage{};
            return decodeTiff(bytes, out);
        }
        return result;
    }
    case ImageFormat::Png:
        return decodePng(bytes, out);
    case ImageFormat::Webp:
        return decodeWebp(bytes, out);
    case ImageFormat::Heif:
        return decodeHeif(bytes, out);
    case ImageFormat::Jxl:
        return decodeJxl(bytes, out);
    case ImageFormat::Unknown:
        break;
    }
    return DecodeResult::UnsupportedFormat;
}

// A decoder's result as the library hands it on: a reason for every failure, and
// everything after the decoder (display, thumbnail, copy, colour stages) in sRGB.
DecodeResult settle(DecodeResult result, DecodedImage& out) {
    if (result == DecodeResult::Failed && out.failure == FailureReason::None)
        out.failure = FailureReason::Damaged;
    if (result == DecodeResult::Ok)
        convertToSrgb(out);
    return result;
}

DecodeResult decodeBytes(std::span<const std::uint8_t> bytes, DecodedImage& out,
                         const NeededExtent* needed) {
    out.failure = FailureReason::None;
    out.incomplete = false;
    out.profileIgnored = false;
    return settle(runDecoder(bytes, out, needed), out);
}

// Nothing of a picture is kept when its decode failed, but the reason.
int keepReason(DecodeResult result, DecodedImage& out) {
    if (result != DecodeResult::Ok) {
        const FailureReason failure = out.failure;
        out = DecodedImage{};
        out.failure = failure;
    }
    return static_cast<int>(result);
}

int decodeFile(const std::filesystem::path& source, DecodedImage& out, const NeededExtent* needed) {
    out = DecodedImage{};
    // A camera raw to print is developed from the file as LibRaw reads it, its
    // sensor data never held twice.
    if (needed)
        if (const std::optional<DecodeResult> developed = developRawFile(source, *needed, out))
            return keepReason(settle(*developed, out), out);
    out = DecodedImage{};
    std::vector<std::uint8_t> bytes;
    switch (readPictureFile(source, bytes)) {
    case PictureFileRead::Ok:
        break;
    case PictureFileRead::CannotOpen:
        out.failure = FailureReason::CannotRead;
        return static_cast<int>(DecodeResult::Failed);
    case PictureFileRead::TooBig:
        out.failure = FailureReason::TooLarge;
        return static_cast<int>(DecodeResult::Failed);
    }
    return keepReason(decodeBytes(bytes, out, needed), out);
}

} // namespace

DecodeResult decodeImage(std::span<const std::uint8_t> bytes, DecodedImage& out) {
    return decodeBytes(bytes, out, nullptr);
}

DecodeResult decodeImageAtLeast(std::span<const std::uint8_t> bytes, const NeededExtent& needed,
                                DecodedImage& out) {
    return decodeBytes(bytes, out, &needed);
}

int ScaleCD(const std::filesystem::path& source, DecodedImage& out) {
    return decodeFile(source, out, nullptr);
}

int ScaleCDAtLeast(const std::filesystem::path& source, const NeededExtent& needed,
                   DecodedImage& out) {
    return decodeFile(source, out, &needed);
}

bool ConvertTo24(const DecodedImage& in, Bitmap24& out) {
    const int bits = in.bitsPerPixel;
    if (in.width <= 0 || in.height <= 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24) ||
        in.pixels.size() < static_cast<std::size_t>(in.stride()) * in.height)
        return false;
    out = Bitmap24::make(in.width, in.height);
    for (int y = 0; y < in.height; ++y)
        detail::expandRow(in, y, out.pixels.data() + static_cast<std::size_t>(y) * stride(out));
    return true;
}

PictureRecord PictureRecord::of(const Bitmap24& bitmap) {
    PictureRecord r;
    r.width = bitmap.width;
    r.height = bitmap.height;
    r.imageSize =
        static_cast<std::uint32_t>(stride(bitmap) * static_cast<std::size_t>(bitmap.height));
    r.pixels = bitmap.pixels.data();
    return r;
}

std::array<std::uint8_t, 40> PictureRecord::headerBytes() const {
    std::array<std::uint8_t, 40> h{};
    const auto put = [&h](int at, std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i)
            h[static_cast<std::size_t>(at + i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(0, 40, 4);
    put(4, static_cast<std::uint32_t>(width), 4);
    put(8, static_cast<std::uint32_t>(height), 4);
    put(12, planes, 2);
    put(14, bitsPerPixel, 2);
    put(16, compression, 4);
    put(20, imageSize, 4);
    return h;
}

bool WriteBmpFile(const std::filesystem::path& target, const PictureRecord& record) {
    if (record.width <= 0 || record.height <= 0 || record.planes != 1 ||
        record.bitsPerPixel != 24 || record.compression != 0 || record.pixels == nullptr ||
        record.imageSize != static_cast<std::uint64_t>(Bitmap24::strideFor(record.width)) *
                                static_cast<std::uint64_t>(record.height))
        return false;
    constexpr std::uint32_t kHeaders = 14 + 40;
    if (record.imageSize > 0xFFFFFFFFu - kHeaders)
        return false;
    std::string file;
    file.reserve(kHeaders + record.imageSize);
    const auto put32 = [&file](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<char>(v >> (8 * i)));
    };
    file += "BM";
    put32(kHeaders + record.imageSize);
    put32(0); // two reserved 16-bit fields
    put32(kHeaders);
    const auto info = record.headerBytes();
    file.append(reinterpret_cast<const char*>(info.data()), info.size());
    file.append(reinterpret_cast<const char*>(record.pixels), record.imageSize);
    return writeFileAtomic(target, file);
}

bool WriteBmpFile(const std::filesystem::path& target, const Bitmap24& picture) {
    if (picture.empty() || picture.pixels.size() < stride(picture) * picture.height)
        return false;
    return WriteBmpFile(target, PictureRecord::of(picture));
}

LibraryImage NewImage(int width, int height, std::uint8_t red, std::uint8_t green,
                      std::uint8_t blue) {
    if (width <= 0 || height <= 0)
        return {};
    LibraryImage image = Bitmap24::make(width, height);
    FillImageRect(image, Rect{0, 0, width, height}, red, green, blue);
    return image;
}

LibraryImage ScaleImage(const Bitmap24& image, int width, int height) {
    if (image.empty() || width <= 0 || height <= 0 ||
        image.pixels.size() < stride(image) * image.height ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels)
        return {};
    const Filter across = makeFilter(image.width, width);
    const Filter down = makeFilter(image.height, height);

    // Each source row is brought to the new width once, when the first output row
    // needs it, and kept only while later output rows still do.
    const std::size_t rowSamples = static_cast<std::size_t>(width) * 3;
    const auto scaleRow = [&](int y, std::vector<float>& dst) {
        const std::uint8_t* src = image.pixels.data() + static_cast<std::size_t>(y) * stride(image);
        dst.resize(rowSamples);
        for (int x = 0; x < width; ++x) {
            const Taps& t = across.taps[static_cast<std::size_t>(x)];
            const float* w = across.weights.data() + t.weightIndex;
            const std::uint8_t* p = src + static_cast<std::size_t>(t.first) * 3;
            float b = 0, g = 0, r = 0;
            for (int k = 0; k < t.count; ++k, p += 3) {
                b += w[k] * p[0];
                g += w[k] * p[1];
                r += w[k] * p[2];
            }
            dst[x * 3] = b;
            dst[x * 3 + 1] = g;
            dst[x * 3 + 2] = r;
        }
    };

    LibraryImage out = Bitmap24::make(width, height);
    std::deque<std::vector<float>> window; // scaled source rows from windowFirst on
    int windowFirst = 0;
    std::vector<float> acc(rowSamples);
    for (int y = 0; y < height; ++y) {
        const Taps& t = down.taps[static_cast<std::size_t>(y)];
        while (windowFirst < t.first && !window.empty()) {
            window.pop_front();
            ++windowFirst;
        }
        if (window.empty())
            windowFirst = t.first;
        while (windowFirst + static_cast<int>(window.size()) < t.first + t.count) {
            window.emplace_back();
            scaleRow(windowFirst + static_cast<int>(window.size()) - 1, window.back());
        }
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int k = 0; k < t.count; ++k) {
            const float w = down.weights[t.weightIndex + k];
            const std::vector<float>& src =
                window[static_cast<std::size_t>(t.first + k - windowFirst)];
            for (std::size_t i = 0; i < rowSamples; ++i)
                acc[i] += w * src[i];
        }
        std::uint8_t* dst = out.pixels.data() + static_cast<std::size_t>(y) * stride(out);
        for (std::size_t i = 0; i < rowSamples; ++i)
            dst[i] = toByte(acc[i]);
    }
    return out;
}

void ScaleImageTo(LibraryImage& target, int column, int row, const Bitmap24& source, int width,
                  int height) {
    if (target.empty() || width <= 0 || height <= 0)
        return;
    const int left = std::max(column, 0);
    const int top = std::max(row, 0);
    const int right = static_cast<int>(std::min<long long>(target.width, 1LL * column + width));
    const int bottom = static_cast<int>(std::min<long long>(target.height, 1LL * row + height));
    if (left >= right || top >= bottom)
        return;
    const LibraryImage scaled = ScaleImage(source, width, height);
    if (scaled.empty())
        return;
    for (int r = top; r < bottom; ++r) {
        // Rows are stored from the bottom up in both images.
        const std::uint8_t* src = scaled.at(left - column, height - 1 - (r - row));
        std::uint8_t* dst = target.at(left, target.height - 1 - r);
        std::memcpy(dst, src, static_cast<std::size_t>(right - left) * 3);
    }
}

void FillImageRect(LibraryImage& image, const Rect& rect, std::uint8_t red, std::uint8_t green,
                   std::uint8_t blue) {
    const int left = std::max(rect.left, 0);
    const int top = std::max(rect.top, 0);
    const int right = std::min(rect.right, image.width);
    const int bottom = std::min(rect.bottom, image.height);
    for (int r = top; r < bottom; ++r) {
        std::uint8_t* p = image.at(left, image.height - 1 - r);
        for (int x = left; x < right; ++x, p += 3) {
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}

void FreeImage(LibraryImage& image) {
    image = LibraryImage{};
}

int CD(const std::filesystem::path& source, Bitmap24& out, int& width, int& height,
       int& bitsPerPixel) {
    out = Bitmap24{};
    DecodedImage decoded;
    const int result = ScaleCD(source, decoded);
    if (result != static_cast<int>(DecodeResult::Ok))
        return result;
    if (!ConvertTo24(decoded, out))
        return static_cast<int>(DecodeResult::Failed);
    width = decoded.width;
    height = decoded.height;
    bitsPerPixel = decoded.bitsPerPixel;
    return result;
}

} // namespace kv::platform::imagelib
