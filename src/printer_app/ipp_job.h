#pragma once

#include <pappl/pappl.h>

// An IPP job on the printer: the pictures' filter and the raster callbacks of the
// driver, each handing its sheets to the job engine (SheetPrinter).
namespace kv::printer_app {

// The picture formats (image/jpeg, image/png, image/webp, ...): composed as the 1-in-1 sheet.
bool filterPicture(pappl_job_t* job, pappl_device_t* device, void* data);

// PWG and Apple raster, one sheet a page.
bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);
bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned page);
bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     unsigned y, const unsigned char* line);
bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                   unsigned page);
bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device);

} // namespace kv::printer_app
