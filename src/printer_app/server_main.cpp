// kvphoto-printer-app: the photo printer as an IPP Everywhere printer, on PAPPL.
// PAPPL brings IPP, the queue, the web pages and DNS-SD; this file sets up the
// system; the port is a device scheme (port_device), the printer a driver
// (kelvor_driver) whose jobs go to the program's job engine (ipp_job).

#include "platform/listen_addresses.h"
#include "platform/peer_user.h"
#include "platform/port_lock.h"
#include "platform/private_folder.h"
#include "platform/version.h"
#include "printer_app/job_list.h"
#include "printer_app/job_queue.h"
#include "printer_app/kelvor_driver.h"
#include "printer_app/port_device.h"
#include "printer_app/server_messages.h"
#include "printer_app/web_jobs.h"
#include "printer_app/web_proof.h"

#include <pappl/pappl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kv::printer_app;

constexpr const char* kAppName = "kvphoto-printer-app";
// The project's one version, as every program of the package answers --version.
const std::string kVersion(kv::platform::programVersion());

// The folder of this user's server: spool, control socket, PAPPL's temporary files.
fs::path g_runtime;

// One line on standard error: the program's name and the message with "%s"/"%d" filled
// in, in order.
void tell(std::string_view text, const std::vector<std::string>& values = {}) {
    std::string line(text);
    std::size_t at = 0;
    for (const std::string& value : values) {
        at = line.find('%', at);
        if (at == std::string::npos)
            break;
        line.replace(at, 2, value);
        at += value.size();
    }
    std::fprintf(stderr, "%s: %s\n", kAppName, line.c_str());
}

using kv::platform::BindTrial;
using kv::platform::ListenAddress;

// The port to serve on, with `addresses` cut down to those this machine has; 0 (and
// said why) when an address cannot be had. A server listening on only some addresses
// of its name would let another user's server answer on the others. An address the
// machine does not have (no IPv6, say) nobody can take: it is left out.
int choosePort(std::vector<ListenAddress>& addresses, int port, const std::string& host) {
    std::vector<ListenAddress> usable;
    if (port > 0) {
        for (const ListenAddress& a : addresses) {
            std::string error;
            switch (kv::platform::trialBind(a, port, &error)) {
            case BindTrial::Free:
                usable.push_back(a);
                break;
            case BindTrial::Absent:
                break;
            case BindTrial::Taken:
                tell(kMsgAddressTaken, {std::to_string(port), a.numeric});
                return 0;
            case BindTrial::Failed:
                tell(kMsgCannotListen, {a.numeric, std::to_string(port), error});
                return 0;
            }
        }
    } else {
        // As PAPPL counts: a port of its own for every user, and the next free one.
        for (int candidate = 8000 + static_cast<int>(kv::platform::currentUser() % 1000);
             candidate < 10000 && usable.empty(); ++candidate) {
            bool free = true;
            for (const ListenAddress& a : addresses) {
                const BindTrial trial = kv::platform::trialBind(a, candidate);
                if (trial == BindTrial::Free)
                    usable.push_back(a);
                free = free && (trial == BindTrial::Free || trial == BindTrial::Absent);
            }
            if (free && !usable.empty())
                port = candidate;
            else
                usable.clear();
        }
        if (usable.empty()) {
            tell(kMsgNoFreePort, {host});
            return 0;
        }
    }
    if (usable.empty()) {
        tell(kMsgUnknownHost, {host});
        return 0;
    }
    addresses = usable;
    return port;
}

// Who a request over loopback comes from is the kernel's to say, not the request's:
// the server's owner administers and handles every job; every other user of the
// machine prints and handles only the jobs that are theirs (the job carries the name
// found here, whatever requesting-user-name claims). Members of -o admin-group= count
// as owners.
http_status_t authorizeLocalUser(pappl_client_t* client, const char* group, gid_t groupId, void*) {
    const auto uid = kv::platform::peerUser(httpGetFd(papplClientGetHTTP(client)));
    if (!uid)
        return HTTP_STATUS_FORBIDDEN;
    const std::string name = kv::platform::userName(*uid);
    papplClientSetUsername(client, name.c_str());
    if (*uid == kv::platform::currentUser())
        return HTTP_STATUS_CONTINUE;
    // A printer without a print group passes no group (and a group id of 0).
    const bool namedGroup = group && groupId != static_cast<gid_t>(-1);
    if (namedGroup && kv::platform::userInGroup(*uid, groupId))
        return HTTP_STATUS_CONTINUE;
    char admin[256] = "";
    papplSystemGetAdminGroup(papplClientGetSystem(client), admin, sizeof admin);
    const bool administration = group && std::strcmp(group, admin) == 0;
    return administration || namedGroup ? HTTP_STATUS_FORBIDDEN : HTTP_STATUS_CONTINUE;
}

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
    if (kv::platform::currentUser() == 0)
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
    const bool privateServer = option("private-server") != nullptr;
    // The jobs' files: a folder of the user's own that nobody else can read or change.
    const fs::path spool =
        option("spool-directory") ? fs::path(option("spool-directory")) : g_runtime / "spool";
    if (const auto problem = kv::platform::checkPrivateFolder(spool)) {
        tell(*problem);
        return nullptr;
    }
    std::vector<ListenAddress> listeners;
    if (!privateServer) {
        auto found = kv::platform::listenAddresses(listen);
        if (!found) {
            tell(kMsgUnknownHost, {listen});
            return nullptr;
        }
        listeners = *found;
        port = choosePort(listeners, port, listen);
        if (port == 0)
            return nullptr;
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
    // "none" rather than no group, so that an administration check can be told from a
    // printing one.
    const char* adminGroup = option("admin-group");
    papplSystemSetAdminGroup(system, adminGroup ? adminGroup : "none");
    if (!auth)
        papplSystemSetAuthCallback(system, "Basic", authorizeLocalUser, nullptr);
    if (const char* host = option("server-hostname"))
        papplSystemSetHostName(system, host);
    for (const ListenAddress& l : listeners) {
        if (!papplSystemAddListeners(system, l.bracketed().c_str())) {
            tell(kMsgCannotListen, {l.numeric, std::to_string(port), "PAPPL"});
            papplSystemDelete(system);
            return nullptr;
        }
    }

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
    restoreSheetMedia(system);
    replaceJobsPages(system);
    addProofResource(system, spool);
    return system;
}

// Where PAPPL's commands (submit, status, shutdown …) look for the server of this user:
// in the temporary folder for a user, which is the private runtime folder here; root's
// server in /run.
fs::path controlSocketPath(const std::string& baseName) {
    const unsigned user = kv::platform::currentUser();
    if (user == 0)
        return fs::path("/run") / (baseName + ".sock");
    return g_runtime / (baseName + std::to_string(user) + ".sock");
}

// Listens on the control socket unless another live server owns it: PAPPL would delete
// that one's socket and take its place. Who owns it holds the lock beside it for as long
// as it runs, and nobody may answer there yet. The socket is the owner's alone (mode
// 0600, and in a private folder). Without the lock this server has no control socket.
void claimControlSocket(pappl_system_t* system, const fs::path& socket,
                        kv::platform::PortLock& lock) {
    if (socket.string().size() > kv::platform::localSocketPathLimit()) {
        tell(kMsgControlSocketUnusable, {socket.string()});
        return;
    }
    const auto attempt = lock.tryLock();
    if (attempt != kv::platform::PortLock::Attempt::Held ||
        kv::platform::localSocketAnswers(socket)) {
        lock.unlock();
        tell(attempt == kv::platform::PortLock::Attempt::Unavailable ? kMsgControlSocketUnusable
                                                                     : kMsgControlSocketTaken,
             {socket.string()});
        return;
    }
    if (!papplSystemAddListeners(system, socket.c_str())) {
        lock.unlock();
        tell(kMsgControlSocketUnusable, {socket.string()});
        return;
    }
    fs::permissions(socket, fs::perms::owner_read | fs::perms::owner_write);
}

enum class Command { Other, Server, BadServer };

// Whether the command line asks for the server, and its -o settings. PAPPL's own main
// loop would put the control socket in place of a running server's; the server is
// therefore run here, every other command by PAPPL.
Command serverCommand(int argc, char* argv[], int& count, cups_option_t*& options) {
    bool server = false, other = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "--version" || arg == "--")
            return Command::Other;
        if (arg == "-o" && i + 1 < argc) {
            count = cupsParseOptions(argv[++i], count, &options);
        } else if (arg.size() == 2 && arg[0] == '-' && std::strchr("dhjmntuv", arg[1]) != nullptr &&
                   i + 1 < argc) {
            ++i;
            other = true;
        } else if (arg == "server" && !server) {
            server = true;
        } else {
            other = true;
        }
    }
    if (!server)
        return Command::Other;
    return other ? Command::BadServer : Command::Server;
}

int runServer(const std::string& baseName, int count, cups_option_t* options) {
    pappl_system_t* system = systemCallback(count, options, nullptr);
    if (!system) {
        tell(kMsgNoServer);
        return 1;
    }
    pappl_version_t version{};
    std::snprintf(version.name, sizeof version.name, "%s", baseName.c_str());
    std::snprintf(version.sversion, sizeof version.sversion, "%s", kVersion.c_str());
    std::sscanf(kVersion.c_str(), "%hu.%hu.%hu", version.version, version.version + 1,
                version.version + 2);
    papplSystemSetVersions(system, 1, &version);
    const fs::path socket = controlSocketPath(baseName);
    kv::platform::PortLock lock(socket.string() + ".lock");
    claimControlSocket(system, socket, lock);
    papplSystemRun(system);
    papplSystemDelete(system);
    // Still holding the lock, so the socket is surely ours to remove.
    if (lock.held()) {
        std::error_code ec;
        fs::remove(socket, ec);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    addPortScheme();
    int count = 0;
    cups_option_t* options = nullptr;
    const struct FreeOptions {
        int& count;
        cups_option_t*& options;
        ~FreeOptions() { cupsFreeOptions(count, options); }
    } freeOptions{count, options};
    const Command command = serverCommand(argc, argv, count, options);
    bool informational = false;
    for (int i = 1; i < argc; ++i)
        informational = informational || std::strcmp(argv[i], "--help") == 0 ||
                        std::strcmp(argv[i], "--version") == 0;
    if (!informational) {
        // Every runtime file of the server, and where its commands find it.
        const kv::platform::PrivateFolder runtime =
            kv::platform::privateFolder(kAppName, "kvphoto/printer-app");
        if (!runtime.problem.empty()) {
            tell(runtime.problem);
            return 1;
        }
        g_runtime = runtime.path;
        ::setenv("TMPDIR", g_runtime.c_str(), 1);
    }
    // After the runtime folder: the server's socket is found there.
    if (const int listed = listJobsWithReasons(argc, argv); listed >= 0)
        return listed;
    if (command == Command::BadServer) {
        tell(kMsgServerOptions);
        return 1;
    }
    if (command == Command::Server)
        return runServer(fs::path(argv[0]).filename().string(), count, options);
    return papplMainloop(argc, argv, kVersion.c_str(), nullptr, driverCount(), drivers(), autoAdd,
                         driverCallback, nullptr, nullptr, systemCallback, nullptr, nullptr);
}
