#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A print job's document into the picture file the 1-in-1 sheet is made from, with
// the job's scaling and orientation applied first. No PAPPL here, so it is tested
// without a server.
namespace kv::printer_app {

// IPP print-scaling.
enum class Scaling { Auto, Fit, Fill, None };

struct SheetRequest {
    Scaling scaling = Scaling::Auto;
    int quarterTurns = 0;    // clockwise quarter turns from orientation-requested, 0..3
    bool monochrome = false; // print-color-mode monochrome: the picture in grey
};

struct SheetSource {
    std::filesystem::path file; // the picture file the 1-in-1 path loads; empty on failure
    std::string failure;        // why the document cannot be printed (German), empty on success
};

namespace msg {
inline constexpr std::string_view kEmptyDocument = "Das Dokument ist leer.";
inline constexpr std::string_view kUnsupportedDocument =
    "Dieses Dokumentformat wird nicht unterstützt.";
} // namespace msg

// The file the 1-in-1 sheet is made from. The format is told by content (every
// picture format of our image library), never by name. Auto or Fit without a turn on a picture our
// library reads: the document itself, once its header is checked. Anything else is decoded, turned
// and
//   Fill: cropped centrally to 4:3 (3:4 when narrower than high), then resized to
//         exactly 640 x 480 (480 x 640), so the sheet has no white border;
//   None: cropped centrally to at most 640 x 480 (480 x 640), never resized;
//   Auto/Fit: resized by the window's 1-in-1 rule (render::oneUpSize);
// and written as document.bmp into `workDir` (which exists). Never throws.
SheetSource prepareDocumentSheet(const std::filesystem::path& document, const SheetRequest& request,
                                 const std::filesystem::path& workDir);

// "auto" -> Auto; "auto-fit", "fit" -> Fit; "fill" -> Fill; "none" -> None; any
// other keyword -> Auto.
Scaling scalingFromKeyword(std::string_view keyword);

// orientation-requested: 3 portrait -> 0, 4 landscape -> 3, 5 reverse-landscape -> 1,
// 6 reverse-portrait -> 2, anything else (7 none, missing) -> 0.
int quarterTurnsFromOrientation(int ippOrientation);

} // namespace kv::printer_app
