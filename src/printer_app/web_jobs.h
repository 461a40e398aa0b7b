#pragma once

#include <pappl/pappl.h>

// The printer's jobs page of the web interface, as PAPPL's, with the reason of an aborted
// job after its status.
namespace kv::printer_app {

// Puts the page in place of PAPPL's for every printer of `system`; after they exist.
void replaceJobsPages(pappl_system_t* system);

} // namespace kv::printer_app
