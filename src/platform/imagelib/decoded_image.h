#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace kv::platform::imagelib {

// Why a decoder refused a picture with DecodeResult::Failed. The result codes stay
// what the program has always relied on; this tells the user why beside them.
enum class FailureReason {
    None,
    CannotRead,  // missing, a folder, a pipe or device, or unreadable
    Damaged,     // malformed, or holding far less data than its header announces
    TooLarge,    // more than kMaxPixels, or a file too big to take into memory
    Unsupported, // a kind of its format the decoder does not read (depth, coding)
};

// What a decoder hands back: the picture at its own depth. 24-bit pictures are
// blue, green, red bytes; 1-, 4- and 8-bit pictures are palette indexes (at 1
// and 4 bits the leftmost pixel in the high bits of its byte). Rows run from
// the bottom up, each padded to a multiple of 4 bytes, as in a BMP file.
struct DecodedImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;                     // 1, 4, 8 or 24
    std::vector<std::uint8_t> pixels;         // height * stride() bytes
    std::array<std::uint8_t, 1024> palette{}; // 256 entries of blue, green, red, 0
    // Beside the result code: why a decode failed (decoders name the reasons other
    // than damage; decodeImage() puts Damaged to every other failure), and whether
    // a decoded picture came from a file that ended early (the rest stays black).
    FailureReason failure = FailureReason::None;
    bool incomplete = false;
    // The ICC colour profile the file embeds (empty: none, taken as sRGB). The
    // library converts the pixels into sRGB through it once a decoder is done, and
    // empties it then; a decoder that converts its pixels itself (CMYK) leaves it
    // empty.
    std::vector<std::uint8_t> iccProfile;
    // What else a file may say of its colours when it embeds no profile: primaries
    // and white point as CIE xy (PNG cHRM), the gamma its samples are encoded with
    // (PNG gAMA, 0.45455 for 1/2.2; 0 when not given), or Adobe RGB (1998) named by
    // its EXIF colour space. Converted, and cleared, as iccProfile is. A file that
    // says it is sRGB (PNG's sRGB chunk) leaves them all empty.
    struct Chromaticities {
        double whiteX = 0, whiteY = 0, redX = 0, redY = 0, greenX = 0, greenY = 0, blueX = 0,
               blueY = 0;
    };
    std::optional<Chromaticities> chromaticities;
    double encodingGamma = 0;
    bool adobeRgb = false;
    // The file's colour profile could not be used: the colours are as stored, and
    // the program tells the user so.
    bool profileIgnored = false;

    // 64-bit inside: a width up to kMaxPixels at 24 bits overflows an int.
    static constexpr int strideFor(int width, int bits) {
        return static_cast<int>((static_cast<long long>(width) * bits + 31) / 32 * 4);
    }
    int stride() const { return strideFor(width, bitsPerPixel); }
};

// The library's result codes; the numbers are what the program shows reasons for.
enum class DecodeResult : int {
    Ok = 1,
    Failed = 0,             // cannot be decoded, no reason to give
    TiffPixelFormat = -1,   // "Das TIFF-Pixelformat wird nicht unterstützt."
    TiffCompression = -2,   // "Komprimierte TIFF-Datei wird nicht unterstützt."
    NotTiff = -3,           // "Dies ist keine gültige TIFF-Datei!"
    JpegColourSpace = -4,   // "Der Farbraum dieser JPEG-Datei ist unbekannt."
    UnsupportedFormat = -5, // "Dieses Dateiformat wird nicht unterstützt."
};

// The largest picture a decoder accepts (width × height); larger ones are refused
// before anything is allocated. Fuzzing builds take a smaller bound, so that the
// fuzzer explores the decoders instead of allocating the largest pictures.
#ifdef KV_FUZZING
inline constexpr std::uint64_t kMaxPixels = 4'000'000;
#else
inline constexpr std::uint64_t kMaxPixels = 120'000'000;
#endif

// One decoder per format; each takes the whole file's bytes. A decoder never
// reads outside `bytes` and refuses hostile input with a result code (and, for
// Failed, a reason in out.failure). A picture stored at one bit per pixel comes
// out at 1 bit whatever its format, so that the program refuses them all alike.
DecodeResult decodeBmp(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodePcx(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodeTga(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodeJpeg(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodeTiff(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodeGif(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodePng(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodeWebp(std::span<const std::uint8_t> bytes, DecodedImage& out);

// Whether the bytes are a camera raw file, by content only. Certain: a marker no
// other picture carries (DNG's version tag, a colour filter array, a maker's own
// header). Likely: a camera's TIFF whose first picture is a mere preview, which
// goes to the TIFF decoder when LibRaw does not take it.
enum class RawEvidence { None, Likely, Certain };
RawEvidence rawEvidence(std::span<const std::uint8_t> bytes);

// A camera raw for looking at: its embedded preview when that covers the print
// frame (quick), else the developed sensor data as developRaw gives it.
DecodeResult decodeRaw(std::span<const std::uint8_t> bytes, DecodedImage& out);
// A camera raw for printing: the sensor data developed with the camera's white
// balance into sRGB at half size, turned as the camera recorded. Bytes LibRaw
// does not take as a raw give UnsupportedFormat, as from decodeRaw.
DecodeResult developRaw(std::span<const std::uint8_t> bytes, DecodedImage& out);

// HEIF/HEIC and AVIF: the primary image, turned as the file says.
DecodeResult decodeHeif(std::span<const std::uint8_t> bytes, DecodedImage& out);
DecodeResult decodeJxl(std::span<const std::uint8_t> bytes, DecodedImage& out);

// The smallest size a caller will use of a picture that is width x height when
// upright (EXIF orientation applied). Both sides upright.
struct DecodeExtent {
    int width = 0;
    int height = 0;
};
using NeededExtent = std::function<DecodeExtent(int width, int height)>;

// decodeJpeg for a picture that is about to be shrunk: `needed` is asked once,
// before any pixel is decoded, and when it asks for half the picture or less
// libjpeg decodes at the smallest n/8 scale that is still at least that size.
// Otherwise the result is decodeJpeg's.
DecodeResult decodeJpegAtLeast(std::span<const std::uint8_t> bytes, DecodedImage& out,
                               const NeededExtent& needed);

// developRaw for a picture that is about to be shrunk: `needed` is asked once, of
// the upright half-size picture, and blocks of 2 x 2 sensor cells or more are
// averaged into one pixel as long as the picture stays at least that size.
DecodeResult developRawAtLeast(std::span<const std::uint8_t> bytes, DecodedImage& out,
                               const NeededExtent& needed);

} // namespace kv::platform::imagelib
