#include "printer_app/document_formats.h"

#include "platform/imagelib/image_library.h"
#include "printer_app/document_sheet.h"
#include "printer_app/ipp_job.h"

#include <dlfcn.h>

#include <algorithm>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace kv::printer_app {

namespace {

constexpr std::string_view kOctetStream = "application/octet-stream";

// HEIF files tell their coding by their ftyp brands: AVIF, HEVC (HEIC), or
// another image coding in the general HEIF container.
const char* heifType(const unsigned char* header, std::size_t size) {
    const std::size_t boxSize = std::min<std::size_t>(
        size, std::size_t{header[0]} << 24 | header[1] << 16 | header[2] << 8 | header[3]);
    const auto hasBrand = [&](std::initializer_list<std::string_view> brands) {
        for (std::size_t at = 8; at + 4 <= boxSize; at += at == 8 ? 8 : 4) {
            const std::string_view brand(reinterpret_cast<const char*>(header) + at, 4);
            if (std::find(brands.begin(), brands.end(), brand) != brands.end())
                return true;
        }
        return false;
    };
    if (hasBrand({"avif", "avis"}))
        return "image/avif";
    if (hasBrand({"heic", "heix", "hevc", "heim", "heis"}))
        return "image/heic";
    return "image/heif";
}

const char* detectPicture(const unsigned char* header, std::size_t size, void*) {
    return pictureFormatOf(header, size);
}

// Print-Job, Validate-Job and Send-Document with a format nothing here prints get
// client-error-document-format-not-supported, with the value in the unsupported group.
bool acceptsDocumentFormat(pappl_client_t* client) {
    const ipp_op_t op = papplClientGetOperation(client);
    if (op != IPP_OP_PRINT_JOB && op != IPP_OP_VALIDATE_JOB && op != IPP_OP_SEND_DOCUMENT)
        return true;
    ipp_t* request = papplClientGetRequest(client);
    ipp_attribute_t* given = ippFindAttribute(request, "document-format", IPP_TAG_MIMETYPE);
    const char* value = given ? ippGetString(given, 0, nullptr) : nullptr;
    std::string_view format = value ? value : kOctetStream;
    // PAPPL types application/octet-stream from the data of Print-Job and Send-Document;
    // data it could not type is none of ours. Validate-Job has no data to look at.
    if (ipp_attribute_t* detected =
            ippFindAttribute(request, "document-format-detected", IPP_TAG_MIMETYPE)) {
        const char* type = ippGetString(detected, 0, nullptr);
        format = type ? type : "";
    } else if (format == kOctetStream && op == IPP_OP_VALIDATE_JOB) {
        return true;
    }
    if (isPrintedFormat(format))
        return true;
    papplClientRespondIPP(client, IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED, "%s",
                          std::string(msg::kUnsupportedDocument).c_str());
    if (given) {
        ipp_t* response = papplClientGetResponse(client);
        ipp_attribute_t* copy = ippCopyAttribute(response, given, 0);
        ippSetGroupTag(response, &copy, IPP_TAG_UNSUPPORTED_GROUP);
    }
    return false;
}

} // namespace

bool isPrintedFormat(std::string_view format) {
    return format == "image/pwg-raster" || format == "image/urf" ||
           std::find(std::begin(kPictureFormats), std::end(kPictureFormats), format) !=
               std::end(kPictureFormats);
}

const char* pictureFormatOf(const unsigned char* header, std::size_t size) {
    if (!header)
        return nullptr;
    // PCX and TGA have no signature worth the name: untyped data is not guessed as them.
    switch (platform::imagelib::detectFormat(std::span<const std::uint8_t>(header, size))) {
    case platform::imagelib::ImageFormat::Jpeg:
        return "image/jpeg";
    case platform::imagelib::ImageFormat::Bmp:
        return "image/bmp";
    case platform::imagelib::ImageFormat::Tiff:
        return "image/tiff";
    case platform::imagelib::ImageFormat::Gif:
        return "image/gif";
    case platform::imagelib::ImageFormat::Raw:
        // DNG, CR2, NEF and the like are TIFF files, and were printed as such: they
        // stay image/tiff (and are developed). Raws of their own format are not offered.
        if (size >= 4 && ((header[0] == 'I' && header[1] == 'I' && header[2] == 42 && !header[3]) ||
                          (header[0] == 'M' && header[1] == 'M' && !header[2] && header[3] == 42)))
            return "image/tiff";
        return nullptr;
    case platform::imagelib::ImageFormat::Png:
        return "image/png";
    case platform::imagelib::ImageFormat::Webp:
        return "image/webp";
    case platform::imagelib::ImageFormat::Heif:
        return heifType(header, size);
    case platform::imagelib::ImageFormat::Jxl:
        return "image/jxl";
    default:
        return nullptr;
    }
}

void addDocumentFormats(pappl_system_t* system, const char* driverFormat) {
    for (std::string_view type : kPictureFormats)
        papplSystemAddMIMEFilter(system, type.data(), driverFormat, filterPicture, nullptr);
    papplSystemSetMIMECallback(system, detectPicture, nullptr);
}

} // namespace kv::printer_app

// PAPPL 1.3.1 checks document-format against a list it never fills in (the printer's
// attributes, not the driver's), so it takes any format and the job fails later. Its
// check is wrapped here: PAPPL's own checks first, then whether we print the format.
extern "C" bool
kvValidateDocumentAttributes(pappl_client_t* client) __asm__("_papplJobValidateDocumentAttributes");

extern "C" bool kvValidateDocumentAttributes(pappl_client_t* client) {
    using Check = bool (*)(pappl_client_t*);
    static const Check papplCheck =
        reinterpret_cast<Check>(dlsym(RTLD_NEXT, "_papplJobValidateDocumentAttributes"));
    if (!papplCheck) {
        papplClientRespondIPP(client, IPP_STATUS_ERROR_INTERNAL, "%s",
                              "Document check unavailable.");
        return false;
    }
    return papplCheck(client) && kv::printer_app::acceptsDocumentFormat(client);
}
