#pragma once

#include <mutex>
#include <string>

// The printer's parallel port (or the virtual printer) as a PAPPL device scheme,
// kvport:///lpt1 ... lpt4 and kvport:///sim. The printer talks through the job
// engine only; the device is the address PAPPL keeps for a printer.
namespace kv::printer_app {

inline constexpr const char* kDeviceId = "MFG:Kelvor;MDL:Photo Printer;CMD:KVSHEET;";
inline constexpr const char* kSimUri = "kvport:///sim";

// Registers the kvport scheme with PAPPL; before the main loop.
void addPortScheme();

bool isSimUri(const char* uri);

// The printer on the parallel port as the program finds it, when the machine has a
// port: its kvport URI, else empty.
std::string parallelPrinterUri();

// One job on the printers at a time: the port library and its backend are the process's.
std::mutex& printingLock();

} // namespace kv::printer_app
