// From Print-Job to the finished page: a 24-megapixel JPEG through the printer
// application, beside kvphoto-cli print of the same picture. Both on the virtual
// printer without warm-up, each a whole process's work, timed on the wall clock.
// jpeglib.h, under camera_jpeg.h, needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include "camera_jpeg.h"

#include <benchmark/benchmark.h>
#include <cups/cups.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Rig {
    fs::path root;
    fs::path picture;
    int port = 0;
    pid_t server = -1;

    Rig() {
        char pattern[] = "/tmp/kv-bench-server-XXXXXX";
        root = ::mkdtemp(pattern);
        picture = kv::bench::cameraJpeg(root / "pictures");
        for (const char* dir : {"home", "c", "system", "out", "run", "spool"})
            fs::create_directories(root / dir);
        setenv("KVPR_HOME", (root / "home").c_str(), 1);
        setenv("KVPR_DRIVE_C", (root / "c").c_str(), 1);
        setenv("KVPR_SYSTEM_DIR", (root / "system").c_str(), 1);
        setenv("KVPR_PORT", "sim", 1);
        setenv("KVPR_SIM_OUT", (root / "out").c_str(), 1);
        setenv("KVPR_SIM_WARMUP_MS", "0", 1);
        setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
        port = freePort();
        const std::string portOption = "server-port=" + std::to_string(port);
        const std::string spool = "spool-directory=" + (root / "spool").string();
        const std::string state = "state-file=" + (root / "server.state").string();
        const std::string log = "log-file=" + (root / "server.log").string();
        server = spawn(
            {KV_PRINTER_APP, "server", "-o", portOption, "-o", spool, "-o", state, "-o", log});
        waitForPort();
    }

    ~Rig() {
        if (server > 0) {
            ::kill(server, SIGTERM);
            ::waitpid(server, nullptr, 0);
        }
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    static int freePort() {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }

    static pid_t spawn(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            return -1;
        return pid;
    }

    void waitForPort() const {
        for (int i = 0; i < 200; ++i) {
            if (http_t* http = httpConnect2("127.0.0.1", port, nullptr, AF_INET,
                                            HTTP_ENCRYPTION_NEVER, 1, 100, nullptr)) {
                httpClose(http);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
};

Rig& rig() {
    static Rig instance;
    return instance;
}

// Print-Job, then Get-Job-Attributes until the job has ended; false unless completed.
bool printThroughServer(const Rig& r) {
    http_t* http = httpConnect2("127.0.0.1", r.port, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                5000, nullptr);
    if (!http)
        return false;
    const std::string uri = "ipp://localhost:" + std::to_string(r.port) + "/ipp/print";
    ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 "bench");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 "image/jpeg");
    ipp_t* response = cupsDoFileRequest(http, request, "/ipp/print", r.picture.c_str());
    const int job = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
    ippDelete(response);
    int state = 0;
    while (job > 0 && state < IPP_JSTATE_CANCELED) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ipp_t* get = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        ippAddString(get, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
        ippAddInteger(get, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
        ipp_t* answer = cupsDoRequest(http, get, "/ipp/print");
        state = ippGetInteger(ippFindAttribute(answer, "job-state", IPP_TAG_ENUM), 0);
        ippDelete(answer);
        if (state == 0)
            break;
    }
    httpClose(http);
    return state == IPP_JSTATE_COMPLETED;
}

void serverPrintJob(benchmark::State& state) {
    Rig& r = rig();
    for (auto _ : state)
        if (!printThroughServer(r))
            state.SkipWithError("the job did not complete");
}
BENCHMARK(serverPrintJob)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void cliPrint(benchmark::State& state) {
    Rig& r = rig();
    for (auto _ : state) {
        const pid_t pid = Rig::spawn({KV_CLI, "--yes", "print", "--quiet", r.picture.string()});
        int status = -1;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("kvphoto-cli print failed");
    }
}
BENCHMARK(cliPrint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
