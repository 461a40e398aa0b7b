#include "printer_app/port_device.h"

#include "platform/paths.h"
#include "printer/port_backend.h"
#include "printer_app/server_job.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kv::printer_app {

namespace {

constexpr const char* kScheme = "kvport";

int lptNumber(const char* uri) {
    // kvport:///lpt1 ... lpt4
    const char* name = std::strrchr(uri, '/');
    if (!name || std::strncmp(name + 1, "lpt", 3) != 0 || !name[4] || name[5])
        return 0;
    const int n = name[4] - '0';
    return n >= 1 && n <= 4 ? n : 0;
}

bool deviceList(pappl_device_cb_t cb, void* data, pappl_deverror_cb_t, void*) {
    if (const std::string uri = parallelPrinterUri(); !uri.empty()) {
        const std::string info = "Kelvor Photo Printer (LPT" + uri.substr(uri.size() - 1) + ")";
        if (cb(info.c_str(), uri.c_str(), kDeviceId, data))
            return true;
    }
    return cb("Kelvor Photo Printer (virtueller Drucker)", kSimUri, kDeviceId, data);
}

bool deviceOpen(pappl_device_t*, const char* uri, const char*) {
    return isSimUri(uri) || lptNumber(uri) != 0;
}

void deviceClose(pappl_device_t*) {}

ssize_t deviceRead(pappl_device_t*, void*, size_t) {
    return -1; // the printer talks through the job engine only
}

ssize_t deviceWrite(pappl_device_t*, const void*, size_t bytes) {
    return static_cast<ssize_t>(bytes);
}

pappl_preason_t deviceStatus(pappl_device_t*) {
    return PAPPL_PREASON_NONE;
}

char* deviceId(pappl_device_t*, char* buffer, size_t size) {
    std::snprintf(buffer, size, "%s", kDeviceId);
    return buffer;
}

} // namespace

void addPortScheme() {
    papplDeviceAddScheme(kScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, deviceList, deviceOpen, deviceClose,
                         deviceRead, deviceWrite, deviceStatus, deviceId);
}

bool isSimUri(const char* uri) {
    return uri && std::strcmp(uri, kSimUri) == 0;
}

std::string parallelPrinterUri() {
    if (!printer::machineHasParport("/dev"))
        return {};
    const std::lock_guard<std::mutex> lock(printingLock());
    setenv("KVPR_PORT", "ppdev", 1);
    const int lpt = findPrinterPort(serverSettingsFromEnvironment(platform::executableDirectory()));
    return lpt ? "kvport:///lpt" + std::to_string(lpt) : std::string();
}

std::mutex& printingLock() {
    static std::mutex printing;
    return printing;
}

} // namespace kv::printer_app
