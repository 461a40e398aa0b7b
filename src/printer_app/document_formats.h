#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <string_view>

// Which documents the printer takes: the picture formats our filter prints, PAPPL's
// PWG and Apple raster, and application/octet-stream when its data is one of these.
// Anything else is refused when the job is submitted, never aborted later.
namespace kv::printer_app {

// The picture formats filterPicture prints (image/jpeg, image/png, ...).
inline constexpr std::string_view kPictureFormats[] = {
    "image/jpeg", "image/png",  "image/tiff", "image/bmp",  "image/gif",
    "image/webp", "image/heic", "image/heif", "image/avif", "image/jxl"};

// Whether a job of this MIME type prints: a picture format or PWG/Apple raster.
bool isPrintedFormat(std::string_view format);

// The picture format of a document's first bytes (our formats only), else nullptr.
const char* pictureFormatOf(const unsigned char* header, std::size_t size);

// Registers the filters and the detection of application/octet-stream; before the
// system runs. `driverFormat` is the driver's own format, the filters' destination.
void addDocumentFormats(pappl_system_t* system, const char* driverFormat);

} // namespace kv::printer_app
