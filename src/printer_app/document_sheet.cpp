#include "printer_app/document_sheet.h"

#include "intake/intake_messages.h"
#include "platform/bitmap.h"
#include "platform/imagelib/decoder_support.h"
#include "platform/imagelib/image_library.h"
#include "render/layout_composition.h"
#include "render/layout_messages.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace kv::printer_app {

namespace {

namespace fs = std::filesystem;
namespace lib = platform::imagelib;
using platform::Bitmap24;

constexpr std::string_view kSheetName = "document.bmp";
// Enough for every signature detectFormat looks at, a TGA's colour map included.
constexpr std::size_t kHeadBytes = std::size_t{1} << 20;

struct Failure {
    std::string_view text;
};

SheetSource failed(std::string_view text) {
    return {{}, std::string(text)};
}

std::string_view reasonText(lib::FailureReason reason) {
    switch (reason) {
    case lib::FailureReason::CannotRead:
        return intake::msg::kCannotOpenFile;
    case lib::FailureReason::TooLarge:
        return intake::msg::kTooLarge;
    case lib::FailureReason::Unsupported:
        return msg::kUnsupportedDocument;
    case lib::FailureReason::None:
    case lib::FailureReason::Damaged:
        break;
    }
    return intake::msg::kDamaged;
}

std::string_view decodeFailureText(int code, lib::FailureReason reason) {
    switch (static_cast<lib::DecodeResult>(code)) {
    case lib::DecodeResult::TiffPixelFormat:
        return intake::msg::kTiffPixelFormat;
    case lib::DecodeResult::TiffCompression:
        return intake::msg::kTiffCompressed;
    case lib::DecodeResult::NotTiff:
        return intake::msg::kNotTiff;
    case lib::DecodeResult::JpegColourSpace:
        return intake::msg::kJpegColourSpace;
    case lib::DecodeResult::UnsupportedFormat:
        return msg::kUnsupportedDocument;
    case lib::DecodeResult::Ok:
    case lib::DecodeResult::Failed:
        break;
    }
    return reasonText(reason);
}

// The first bytes of a regular file; nullopt when it cannot be read. A pipe or
// device is refused, as opening one could wait for ever.
std::optional<std::vector<std::uint8_t>> readHead(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<std::uint8_t> head(kHeadBytes);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    if (in.bad())
        return std::nullopt;
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

// Luminance with the weights of television (ITU-R BT.601), the same in all three channels.
void toGrey(Bitmap24& picture) {
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            std::uint8_t* p = picture.at(x, y);
            const int grey = (114 * p[0] + 587 * p[1] + 299 * p[2] + 500) / 1000;
            p[0] = p[1] = p[2] = static_cast<std::uint8_t>(grey);
        }
}

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void onJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void onJpegMessage(j_common_ptr, int) {}

// Behind setjmp, so nothing here has a destructor to skip.
std::string_view readJpegHeader(jpeg_decompress_struct& cinfo, JpegErrors& errors, FILE* file) {
    if (setjmp(errors.jump))
        return errors.base.msg_code == JERR_IMAGE_TOO_BIG ? intake::msg::kTooLarge
                                                          : intake::msg::kDamaged;
    jpeg_stdio_src(&cinfo, file);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return intake::msg::kDamaged;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
    case JCS_CMYK:
    case JCS_YCCK:
        break;
    default:
        return intake::msg::kJpegColourSpace;
    }
    const lib::FailureReason size = lib::detail::sizeProblem(cinfo.image_width, cinfo.image_height);
    return size == lib::FailureReason::None ? std::string_view{} : reasonText(size);
}

// Whether the picture data after the headers reaches its end-of-image marker: a file
// cut off in transit would print with a black remainder. Within the scan FF D9 stands
// only for that marker (data bytes FF are followed by 00), and cameras put at most a
// short trailer after it.
bool endsItsScan(FILE* file, const jpeg_decompress_struct& cinfo) {
    constexpr long kTail = 64 * 1024;
    const long scanStart = std::ftell(file) - static_cast<long>(cinfo.src->bytes_in_buffer);
    if (scanStart < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return false;
    const long end = std::ftell(file);
    const long from = std::max(scanStart, end - kTail);
    if (end < from || std::fseek(file, from, SEEK_SET) != 0)
        return false;
    std::vector<unsigned char> tail(static_cast<std::size_t>(end - from));
    if (std::fread(tail.data(), 1, tail.size(), file) != tail.size())
        return false;
    for (std::size_t i = 0; i + 1 < tail.size(); ++i)
        if (tail[i] == 0xFF && tail[i + 1] == 0xD9)
            return true;
    return false;
}

// Only the JPEG's headers: a photo passed through is decoded once, by the print
// path, yet a header claiming billions of pixels is refused here.
std::string_view checkJpegHeader(const fs::path& document) {
    FILE* file = std::fopen(document.c_str(), "rb");
    if (!file)
        return intake::msg::kCannotOpenFile;
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onJpegError;
    errors.base.emit_message = onJpegMessage;
    jpeg_create_decompress(&cinfo);
    std::string_view failure = readJpegHeader(cinfo, errors, file);
    if (failure.empty() && !endsItsScan(file, cinfo))
        failure = intake::msg::kDamaged;
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return failure;
}

std::variant<Bitmap24, Failure> decodeWithLibrary(const fs::path& document) {
    Bitmap24 picture;
    lib::DecodedImage decoded;
    // The print path's call, asking for the whole picture: a camera raw is
    // developed rather than its preview taken; every other picture decodes whole.
    const lib::NeededExtent whole = [](int width, int height) {
        return lib::DecodeExtent{width, height};
    };
    const int code = lib::ScaleCDAtLeast(document, whole, decoded);
    if (code != 1)
        return Failure{decodeFailureText(code, decoded.failure)};
    // Nobody watches a print job for a notice: a picture whose file ends early
    // would come out with a black remainder, so it is not printed at all.
    if (decoded.incomplete)
        return Failure{intake::msg::kDamaged};
    if (!lib::ConvertTo24(decoded, picture))
        return Failure{intake::msg::kDamaged};
    return picture;
}

// The part of `picture` of width x height around its middle (left and lower
// margins rounded down).
Bitmap24 cropCentrally(const Bitmap24& picture, int width, int height) {
    if (width == picture.width && height == picture.height)
        return picture;
    Bitmap24 out = Bitmap24::make(width, height);
    const int left = (picture.width - width) / 2;
    const int bottom = (picture.height - height) / 2;
    for (int y = 0; y < height; ++y)
        std::memcpy(out.at(0, y), picture.at(left, bottom + y),
                    static_cast<std::size_t>(width) * 3);
    return out;
}

// The largest central part in the sheet's proportions, sides truncated, then exactly
// the sheet: the 1-in-1 path never enlarges and truncates when it reduces, either
// of which would leave a white border.
Bitmap24 fill(const Bitmap24& picture) {
    const bool landscape = picture.width >= picture.height;
    const std::int64_t across = landscape ? 4 : 3;
    const std::int64_t down = landscape ? 3 : 4;
    const std::int64_t w = picture.width, h = picture.height;
    const Bitmap24 cropped =
        w * down > h * across
            ? cropCentrally(picture, static_cast<int>(std::max<std::int64_t>(1, h * across / down)),
                            picture.height)
            : cropCentrally(picture, picture.width,
                            static_cast<int>(std::max<std::int64_t>(1, w * down / across)));
    return landscape ? lib::ScaleImage(cropped, render::kSheetPixelsWide, render::kSheetPixelsHigh)
                     : lib::ScaleImage(cropped, render::kSheetPixelsHigh, render::kSheetPixelsWide);
}

Bitmap24 noScaling(const Bitmap24& picture) {
    const bool landscape = picture.width >= picture.height;
    const int maxWidth = landscape ? render::kSheetPixelsWide : render::kSheetPixelsHigh;
    const int maxHeight = landscape ? render::kSheetPixelsHigh : render::kSheetPixelsWide;
    return cropCentrally(picture, std::min(picture.width, maxWidth),
                         std::min(picture.height, maxHeight));
}

// The window's own 1-in-1 rule, done here so that no picture larger than the sheet
// is written; the 1-in-1 path then finds nothing left to change.
Bitmap24 fitted(const Bitmap24& picture) {
    const render::PictureSize size = render::oneUpSize(picture.width, picture.height);
    if (size.width == picture.width && size.height == picture.height)
        return picture;
    return lib::ScaleImage(picture, size.width, size.height);
}

SheetSource prepare(const fs::path& document, const SheetRequest& request,
                    const fs::path& workDir) {
    const std::optional<std::vector<std::uint8_t>> head = readHead(document);
    if (!head)
        return failed(intake::msg::kCannotOpenFile);
    if (head->empty())
        return failed(msg::kEmptyDocument);
    const lib::ImageFormat format = lib::detectFormat(*head);
    if (format == lib::ImageFormat::Unknown)
        return failed(msg::kUnsupportedDocument);

    const int turns = ((request.quarterTurns % 4) + 4) % 4;
    const bool windowRule = request.scaling == Scaling::Auto || request.scaling == Scaling::Fit;
    if (windowRule && turns == 0 && !request.monochrome) {
        if (format == lib::ImageFormat::Jpeg) {
            if (const std::string_view failure = checkJpegHeader(document); !failure.empty())
                return failed(failure);
            return {document, {}};
        }
        // The other decoders refuse a hostile header before allocating and read
        // these rarer formats quickly, so the whole decode is the check.
        if (auto decoded = decodeWithLibrary(document); std::holds_alternative<Failure>(decoded))
            return failed(std::get<Failure>(decoded).text);
        return {document, {}};
    }

    Bitmap24 picture;
    {
        auto decoded = decodeWithLibrary(document);
        if (std::holds_alternative<Failure>(decoded))
            return failed(std::get<Failure>(decoded).text);
        Bitmap24& upright = std::get<Bitmap24>(decoded);
        picture = turns == 0 ? std::move(upright) : platform::turnBitmap(upright, turns);
    }

    switch (request.scaling) {
    case Scaling::Fill:
        picture = fill(picture);
        break;
    case Scaling::None:
        picture = noScaling(picture);
        break;
    case Scaling::Auto:
    case Scaling::Fit:
        picture = fitted(picture);
        break;
    }
    if (picture.empty())
        return failed(render::kMsgResizeFailed);
    if (request.monochrome)
        toGrey(picture);
    const fs::path target = workDir / kSheetName;
    if (!lib::WriteBmpFile(target, picture))
        return failed(render::kMsgSheetNotWritten);
    return {target, {}};
}

} // namespace

SheetSource prepareDocumentSheet(const fs::path& document, const SheetRequest& request,
                                 const fs::path& workDir) {
    try {
        return prepare(document, request, workDir);
    } catch (const std::bad_alloc&) {
        return failed(intake::msg::kNoMemory);
    } catch (...) {
        return failed(intake::msg::kCannotOpenFile);
    }
}

Scaling scalingFromKeyword(std::string_view keyword) {
    if (keyword == "auto-fit" || keyword == "fit")
        return Scaling::Fit;
    if (keyword == "fill")
        return Scaling::Fill;
    if (keyword == "none")
        return Scaling::None;
    return Scaling::Auto;
}

int quarterTurnsFromOrientation(int ippOrientation) {
    switch (ippOrientation) {
    case 4: // landscape: the page's top edge to the left
        return 3;
    case 5: // reverse-landscape
        return 1;
    case 6: // reverse-portrait
        return 2;
    default:
        return 0;
    }
}

} // namespace kv::printer_app
