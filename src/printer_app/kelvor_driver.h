#pragma once

#include <pappl/pappl.h>

// The photo printer's driver: what the printer can do (one sheet size, 160 dpi,
// colour) for PAPPL's IPP attributes, and which documents reach it.
namespace kv::printer_app {

inline constexpr const char* kDriverName = "kelvor_photo";
inline constexpr const char* kPrinterName = "Kelvor Photo Printer";

// The driver list for papplMainloop and papplSystemSetPrinterDrivers.
pappl_pr_driver_t* drivers();
int driverCount();

bool driverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri,
                    const char* deviceId, pappl_pr_driver_data_t* data, ipp_t** attrs,
                    void* cbdata);

// The driver for a device that says it is our printer.
const char* autoAdd(const char* deviceInfo, const char* deviceUri, const char* deviceId,
                    void* data);

// The document formats printed through a filter of ours.
void addDocumentFilters(pappl_system_t* system);

// Puts the sheet back as ready and default medium of every printer of ours that lost
// it (a saved state without ready media, or with a medium of an older name).
void restoreSheetMedia(pappl_system_t* system);

// printer-supply: the sheets, empty while the printer reports paper out, else unknown.
void reportSheetSupply(pappl_printer_t* printer, bool paperOut);

} // namespace kv::printer_app
