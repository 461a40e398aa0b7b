#include "printer_app/kelvor_driver.h"

#include "printer_app/document_formats.h"
#include "printer_app/document_sheet.h"
#include "printer_app/ipp_job.h"
#include "printer_app/port_device.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace kv::printer_app {

namespace {

// The driver takes no document as it is: every picture format reaches it through a
// filter of ours, so its own format is the one PAPPL never lists as a format of its own.
constexpr const char* kDriverFormat = "application/octet-stream";
// One sheet pixel is one printed pixel: the 480 x 640 portrait sheet at 160 dpi is 3 x 4 in.
constexpr int kResolution = 160;
// A self-describing PWG name (a custom_ name would be read as a size range by PAPPL's
// web pages and by CUPS).
constexpr const char* kMediaName = "oe_kelvor-sheet_3x4in";
constexpr int kMediaWidth = 7620; // hundredths of millimetres
constexpr int kMediaLength = 10160;
// The sheet prints borderless. CUPS names its default page size without the borderless
// suffix, so the sheet is offered with a margin too: one too small to show.
constexpr int kBorderedMargin = 1;
constexpr const char* kSource = "main";
constexpr const char* kMediaType = "photographic";
// printer-supply-description of the sheets.
constexpr const char* kSheetSupply = "Fotopapier";
// Printer MIB levels: the tray is empty, or nothing is known of it.
constexpr int kSupplyEmpty = 0;
constexpr int kSupplyUnknown = -2;

pappl_pr_driver_t g_drivers[] = {
    {kDriverName, "Kelvor Photo Printer", kDeviceId, nullptr},
};

pappl_media_col_t sheetMedia() {
    pappl_media_col_t media{};
    std::snprintf(media.size_name, sizeof media.size_name, "%s", kMediaName);
    media.size_width = kMediaWidth;
    media.size_length = kMediaLength;
    std::snprintf(media.source, sizeof media.source, "%s", kSource);
    std::snprintf(media.type, sizeof media.type, "%s", kMediaType);
    return media;
}

} // namespace

// The port only tells whether paper is out, and only while a job runs; otherwise the
// level of the sheets is unknown, as the Printer MIB allows.
void reportSheetSupply(pappl_printer_t* printer, bool paperOut) {
    pappl_supply_t sheets{};
    sheets.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
    std::snprintf(sheets.description, sizeof sheets.description, "%s", kSheetSupply);
    sheets.is_consumed = true;
    sheets.level = paperOut ? kSupplyEmpty : kSupplyUnknown;
    sheets.type = PAPPL_SUPPLY_TYPE_OTHER;
    papplPrinterSetSupplies(printer, 1, &sheets);
}

namespace {

bool printerStatus(pappl_printer_t*) {
    return true;
}

// The printer has no panel of its own: its web pages and log are its display.
void identify(pappl_printer_t* printer, pappl_identify_actions_t, const char* message) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s",
                    message && *message ? message : kPrinterName);
}

// A document that arrives without a filter of ours (nothing advertised leads here).
bool refuseRawDocument(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
    const std::string text(msg::kUnsupportedDocument);
    papplJobSetMessage(job, "%s", text.c_str());
    return false;
}

// What IPP Everywhere asks of every printer and PAPPL leaves out.
ipp_t* everywhereAttributes() {
    ipp_t* attrs = ippNew();
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    // Colour goes through the program's own calibration, whatever intent is asked for.
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD),
                 "print-rendering-intent-default", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD),
                 "print-rendering-intent-supported", nullptr, "auto");
    // One-sided: a back side never comes.
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD),
                 "pwg-raster-document-sheet-back", nullptr, "normal");
    return attrs;
}

void restoreSheet(pappl_printer_t* printer, void*) {
    const char* driver = papplPrinterGetDriverName(printer);
    if (!driver || std::strcmp(driver, kDriverName) != 0)
        return;
    pappl_pr_driver_data_t data;
    if (!papplPrinterGetDriverData(printer, &data))
        return;
    const auto isSheet = [](const pappl_media_col_t& media) {
        return std::strcmp(media.size_name, kMediaName) == 0;
    };
    if (!isSheet(data.media_ready[0])) {
        pappl_media_col_t sheet = sheetMedia();
        papplPrinterSetReadyMedia(printer, 1, &sheet);
        papplPrinterGetDriverData(printer, &data);
    }
    if (!isSheet(data.media_default)) {
        data.media_default = data.media_ready[0];
        papplPrinterSetDriverDefaults(printer, &data, 0, nullptr);
    }
    reportSheetSupply(printer, false);
}

} // namespace

bool driverCallback(pappl_system_t*, const char* driverName, const char*, const char*,
                    pappl_pr_driver_data_t* data, ipp_t** attrs, void*) {
    if (std::strcmp(driverName, kDriverName) != 0)
        return false;
    data->rstartjob_cb = rasterStartJob;
    data->rstartpage_cb = rasterStartPage;
    data->rwriteline_cb = rasterWriteLine;
    data->rendpage_cb = rasterEndPage;
    data->rendjob_cb = rasterEndJob;
    data->status_cb = printerStatus;
    data->printfile_cb = refuseRawDocument;
    data->identify_cb = identify;
    data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data->has_supplies = true;
    data->format = kDriverFormat;
    std::snprintf(data->make_and_model, sizeof data->make_and_model, "Kelvor Photo Printer");
    data->ppm = 1;
    data->ppm_color = 1;
    data->kind = PAPPL_KIND_PHOTO;
    // Portrait is the sheet as it comes; a landscape picture is still printed whole.
    data->orient_default = IPP_ORIENT_PORTRAIT;
    // A colour printer; grey is offered because clients (CUPS among them) may ask for it.
    data->color_supported =
        PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_COLOR;
    data->content_default = PAPPL_CONTENT_PHOTO;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->scaling_default = PAPPL_SCALING_FIT;
    // Grey pages come as 8-bit grey (PWG sgray_8, Apple W8), colour as 24-bit sRGB.
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    data->duplex = PAPPL_DUPLEX_NONE;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = kResolution;
    data->x_default = data->y_default = kResolution;
    data->borderless = true;
    data->left_right = kBorderedMargin;
    data->bottom_top = kBorderedMargin;
    data->num_media = 1;
    data->media[0] = kMediaName;
    data->num_source = 1;
    data->source[0] = kSource;
    data->num_type = 1;
    data->type[0] = kMediaType;
    data->num_bin = 1;
    data->bin[0] = "face-up";
    data->bin_default = 0;
    data->media_default = sheetMedia();
    data->media_ready[0] = data->media_default;
    if (attrs)
        *attrs = everywhereAttributes();
    return true;
}

pappl_pr_driver_t* drivers() {
    return g_drivers;
}

int driverCount() {
    return static_cast<int>(sizeof g_drivers / sizeof g_drivers[0]);
}

const char* autoAdd(const char*, const char*, const char* deviceId, void*) {
    return deviceId && std::strstr(deviceId, "MDL:Photo Printer") ? kDriverName : nullptr;
}

void addDocumentFilters(pappl_system_t* system) {
    addDocumentFormats(system, kDriverFormat);
}

void restoreSheetMedia(pappl_system_t* system) {
    papplSystemIteratePrinters(system, restoreSheet, nullptr);
}

} // namespace kv::printer_app
