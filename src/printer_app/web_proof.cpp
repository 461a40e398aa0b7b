#include "printer_app/web_proof.h"

#include "printer_app/server_messages.h"

#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kv::printer_app {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFilePrefix = "kvproof-";
constexpr std::string_view kFileSuffix = ".png";

// The server's private spool folder; set before the server runs, read only after.
fs::path g_folder;

fs::path spoolOf(pappl_system_t*) {
    return g_folder;
}

// The name is made from the job's number only: nothing a client sends becomes a path.
fs::path proofFile(pappl_system_t* system, int jobId) {
    return spoolOf(system) /
           (std::string(kFilePrefix) + std::to_string(jobId) + std::string(kFileSuffix));
}

// A job id as a request gives it: digits only, 1 to 2^31 - 1; 0 for anything else.
int parseJobId(std::string_view text) {
    int id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || id <= 0 ||
        text.front() < '0' || text.front() > '9')
        return 0;
    return id;
}

pappl_job_t* findJob(pappl_system_t* system, int id) {
    struct Search {
        int id;
        pappl_job_t* job = nullptr;
    } search{id};
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t* printer, void* data) {
            auto* s = static_cast<Search*>(data);
            if (!s->job)
                s->job = papplPrinterFindJob(printer, s->id);
        },
        &search);
    return search.job;
}

// Proofs of jobs the server no longer keeps in its history.
void removeStaleProofs(pappl_system_t* system, pappl_printer_t* printer) {
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const fs::directory_entry& entry : fs::directory_iterator(spoolOf(system), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= kFilePrefix.size() + kFileSuffix.size() ||
            name.compare(0, kFilePrefix.size(), kFilePrefix) != 0 ||
            name.compare(name.size() - kFileSuffix.size(), kFileSuffix.size(), kFileSuffix) != 0)
            continue;
        const int id = parseJobId(std::string_view(name).substr(
            kFilePrefix.size(), name.size() - kFilePrefix.size() - kFileSuffix.size()));
        if (id > 0 && !papplPrinterFindJob(printer, id))
            stale.push_back(entry.path());
    }
    for (const fs::path& file : stale)
        fs::remove(file, ec);
}

bool serveProof(pappl_client_t* client, void*) {
    if (!papplClientHTMLAuthorize(client))
        return true;
    pappl_system_t* system = papplClientGetSystem(client);
    // Exactly "job=ID".
    const char* options = papplClientGetOptions(client);
    constexpr std::string_view kKey = "job=";
    const std::string_view query = options ? options : "";
    const int id = query.substr(0, kKey.size()) == kKey ? parseJobId(query.substr(kKey.size())) : 0;
    std::string bytes;
    if (id > 0 && findJob(system, id)) {
        const fs::path file = proofFile(system, id);
        std::error_code ec;
        if (fs::is_regular_file(file, ec)) {
            std::FILE* in = std::fopen(file.c_str(), "rb");
            if (in) {
                char buffer[65536];
                for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
                    bytes.append(buffer, n);
                std::fclose(in);
            }
        }
    }
    http_t* http = papplClientGetHTTP(client);
    // A client that asked for one request gets the connection closed after it, so it
    // need not wait for the server's idle timeout to know the answer is whole.
    const bool more = httpGetKeepAlive(http) != HTTP_KEEPALIVE_OFF;
    if (bytes.empty())
        return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0) && more;
    if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "image/png", 0, bytes.size()))
        return false;
    httpWrite2(http, bytes.data(), bytes.size());
    httpFlushWrite(http);
    return more;
}

} // namespace

void addProofResource(pappl_system_t* system, const std::filesystem::path& folder) {
    g_folder = folder;
    papplSystemAddResourceCallback(system, kProofPath, "image/png", serveProof, nullptr);
}

void keepJobProof(pappl_job_t* job, const render::ExposureImage& levels,
                  const render::LevelProof& proof) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    pappl_system_t* system = papplPrinterGetSystem(printer);
    removeStaleProofs(system, printer);
    const fs::path file = proofFile(system, papplJobGetID(job));
    if (!render::writeProofPng(file, render::proofOfSheet(proof, levels))) {
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, kLogProofNotKept, file.c_str());
        return;
    }
    // The picture is the user's: nobody else on the machine reads it.
    std::error_code ec;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, ec);
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, kLogProofKept, file.c_str(), proof.description().c_str());
}

bool hasJobProof(pappl_job_t* job) {
    std::error_code ec;
    return fs::is_regular_file(
        proofFile(papplPrinterGetSystem(papplJobGetPrinter(job)), papplJobGetID(job)), ec);
}

} // namespace kv::printer_app
