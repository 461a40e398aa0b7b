#include "printer_app/kelvor_driver.h"

#include "printer_app/ipp_job.h"
#include "printer_app/port_device.h"

#include <cstdio>
#include <cstring>

namespace kv::printer_app {

namespace {

// Our own format: every document type reaches the driver through a filter of ours.
constexpr const char* kSheetFormat = "application/vnd.kelvor-sheet";
// One sheet pixel is one printed pixel: the 480 x 640 portrait sheet at 160 dpi is 3 x 4 in.
constexpr int kResolution = 160;
constexpr const char* kMediaName = "custom_kelvor-sheet_3x4in";
constexpr int kMediaWidth = 7620; // hundredths of millimetres
constexpr int kMediaLength = 10160;

pappl_pr_driver_t g_drivers[] = {
    {kDriverName, "Kelvor Photo Printer", kDeviceId, nullptr},
};

bool printerStatus(pappl_printer_t*) {
    return true;
}

} // namespace

bool driverCallback(pappl_system_t*, const char* driverName, const char*, const char*,
                    pappl_pr_driver_data_t* data, ipp_t**, void*) {
    if (std::strcmp(driverName, kDriverName) != 0)
        return false;
    data->rstartjob_cb = rasterStartJob;
    data->rstartpage_cb = rasterStartPage;
    data->rwriteline_cb = rasterWriteLine;
    data->rendpage_cb = rasterEndPage;
    data->rendjob_cb = rasterEndJob;
    data->status_cb = printerStatus;
    data->format = kSheetFormat;
    std::snprintf(data->make_and_model, sizeof data->make_and_model, "Kelvor Photo Printer");
    data->ppm = 1;
    data->ppm_color = 1;
    data->kind = PAPPL_KIND_PHOTO;
    data->orient_default = IPP_ORIENT_NONE;
    // A colour printer; grey is offered because clients (CUPS among them) may ask for it.
    data->color_supported =
        PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_COLOR;
    data->content_default = PAPPL_CONTENT_PHOTO;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->scaling_default = PAPPL_SCALING_FIT;
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8;
    data->force_raster_type = PAPPL_PWG_RASTER_TYPE_SRGB_8;
    data->duplex = PAPPL_DUPLEX_NONE;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = kResolution;
    data->x_default = data->y_default = kResolution;
    data->borderless = true;
    data->left_right = 0;
    data->bottom_top = 0;
    data->num_media = 1;
    data->media[0] = kMediaName;
    data->num_source = 1;
    data->source[0] = "main";
    data->num_type = 1;
    data->type[0] = "photographic";
    data->num_bin = 1;
    data->bin[0] = "face-up";
    data->bin_default = 0;
    pappl_media_col_t& media = data->media_default;
    std::snprintf(media.size_name, sizeof media.size_name, "%s", kMediaName);
    media.size_width = kMediaWidth;
    media.size_length = kMediaLength;
    std::snprintf(media.source, sizeof media.source, "main");
    std::snprintf(media.type, sizeof media.type, "photographic");
    data->media_ready[0] = media;
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
    for (const char* type : {"image/jpeg", "image/png", "image/tiff", "image/bmp"})
        papplSystemAddMIMEFilter(system, type, kSheetFormat, filterPicture, nullptr);
}

} // namespace kv::printer_app
