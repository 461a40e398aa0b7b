// kvphoto-printer-app: the photo printer as an IPP Everywhere printer, on PAPPL.
// PAPPL brings IPP, the queue, the web pages and DNS-SD; this file sets up the
// system; the port is a device scheme (port_device), the printer a driver
// (kelvor_driver) whose jobs go to the program's job engine (ipp_job).

#include "printer_app/job_list.h"
#include "printer_app/job_queue.h"
#include "printer_app/kelvor_driver.h"
#include "printer_app/port_device.h"
#include "printer_app/web_jobs.h"

#include <pappl/pappl.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace kv::printer_app;

constexpr const char* kAppName = "kvphoto-printer-app";
constexpr const char* kVersion = "0.1.0";

// The port the printer is found on at the first start: the parallel port the program
// finds it on, else the virtual printer.
std::string firstPrinterUri() {
    const char* chosen = std::getenv("KVPR_PORT");
    if (chosen && std::strcmp(chosen, "sim") == 0)
        return kSimUri;
    const std::string found = parallelPrinterUri();
    return found.empty() ? std::string(kSimUri) : found;
}

void addFirstPrinter(pappl_system_t* system) {
    int printers = 0;
    papplSystemIteratePrinters(
        system, [](pappl_printer_t*, void* count) { ++*static_cast<int*>(count); }, &printers);
    if (printers > 0)
        return;
    const std::string uri = firstPrinterUri();
    if (pappl_printer_t* printer =
            papplPrinterCreate(system, 0, kPrinterName, kDriverName, kDeviceId, uri.c_str()))
        papplSystemSetDefaultPrinterID(system, papplPrinterGetID(printer));
}

// Where the printers and settings persist: -o state-file=, else where PAPPL keeps a
// printer application's state (/var/lib for root, the user's configuration folder).
std::string stateFile(const char* option) {
    if (option && *option)
        return option;
    const std::string name = std::string(kAppName) + ".state";
    if (getuid() == 0)
        return "/var/lib/" + name;
    std::error_code ec;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        fs::create_directories(config, ec);
        return std::string(config) + "/" + name;
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        fs::create_directories(fs::path(home) / ".config", ec);
        return std::string(home) + "/.config/" + name;
    }
    return "/tmp/" + name;
}

bool saveState(pappl_system_t* system, void* file) {
    return saveSystemState(system, *static_cast<const std::string*>(file));
}

// The printers, settings and jobs of the last run; the jobs it left unfinished print again,
// in the order they came, and SIGTERM stops the server at once.
void restoreState(pappl_system_t* system, const std::string* file, const std::string& spool) {
    repairSavedJobs(*file, spool);
    papplSystemLoadState(system, file->c_str());
    explainRepairedJobs(system);
    papplSystemSetSaveCallback(system, saveState, const_cast<std::string*>(file));
    keepJobQueue(system, file);
}

pappl_loglevel_t logLevel(const char* value) {
    if (!value)
        return PAPPL_LOGLEVEL_WARN;
    const std::string level(value);
    if (level == "fatal")
        return PAPPL_LOGLEVEL_FATAL;
    if (level == "error")
        return PAPPL_LOGLEVEL_ERROR;
    if (level == "info")
        return PAPPL_LOGLEVEL_INFO;
    if (level == "debug")
        return PAPPL_LOGLEVEL_DEBUG;
    return PAPPL_LOGLEVEL_WARN;
}

bool isLoopback(const std::string& host) {
    return host == "localhost" || host == "127.0.0.1" || host == "::1" || host == "[::1]";
}

pappl_system_t* systemCallback(int numOptions, cups_option_t* options, void*) {
    const auto option = [&](const char* name) { return cupsGetOption(name, numOptions, options); };
    int port = 0;
    if (const char* value = option("server-port"))
        port = std::atoi(value);
    const std::string listen = option("listen-hostname") ? option("listen-hostname") : "localhost";
    const bool network = !isLoopback(listen);
    std::string spool;
    if (const char* value = option("spool-directory")) {
        spool = value;
    } else {
        const char* tmp = std::getenv("TMPDIR");
        spool = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + kAppName +
                std::to_string(getuid()) + ".d";
    }
    const char* logFile = option("log-file") ? option("log-file") : "-";
    // Reachable from the network, the admin pages ask for a login.
    const char* auth = option("auth-service");
    if (!auth && network)
        auth = "login";

    pappl_system_t* system =
        papplSystemCreate(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                              PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY,
                          kPrinterName, port, "_print,_universal", spool.c_str(), logFile,
                          logLevel(option("log-level")), auth, false);
    if (!system)
        return nullptr;
    if (const char* group = option("admin-group"))
        papplSystemSetAdminGroup(system, group);
    if (const char* host = option("server-hostname"))
        papplSystemSetHostName(system, host);
    if (!option("private-server"))
        papplSystemAddListeners(system, listen.c_str());

    papplSystemSetPrinterDrivers(system, driverCount(), drivers(), autoAdd, nullptr, driverCallback,
                                 nullptr);
    addDocumentFilters(system);
    papplSystemSetFooterHTML(system, "Kelvor Photo Viewer");

    // Loaded here rather than by the main loop, so the first start can add the printer
    // before the server runs.
    static std::string state;
    state = stateFile(option("state-file"));
    restoreState(system, &state, spool);
    addFirstPrinter(system);
    replaceJobsPages(system);
    return system;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const int listed = listJobsWithReasons(argc, argv); listed >= 0)
        return listed;
    addPortScheme();
    return papplMainloop(argc, argv, kVersion, nullptr, driverCount(), drivers(), autoAdd,
                         driverCallback, nullptr, nullptr, systemCallback, nullptr, nullptr);
}
