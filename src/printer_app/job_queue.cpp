#include "printer_app/job_queue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace kv::printer_app {

namespace {

namespace fs = std::filesystem;

// Job states as the state file writes them (ipp_jstate_t).
constexpr int kPending = 3;
constexpr int kHeld = 4;
constexpr int kProcessing = 5;
constexpr int kStopped = 6;
constexpr int kAborted = 8;

constexpr const char* kDocumentGone =
    "Der Auftrag wurde beim Neustart abgebrochen: sein Dokument ist nicht mehr vorhanden.";

// How long a stop lets the sheets in progress drop their page and let go of the port.
constexpr auto kStepBackTime = std::chrono::milliseconds(800);

// What PAPPL adds itself to a job it reads from the state file.
constexpr const char* kAddedAgain[] = {"job-id",          "job-uri",  "job-uuid",
                                       "job-printer-uri", "job-name", "job-originating-user-name"};

std::vector<int>& abortedAtLoad() {
    static std::vector<int> ids;
    return ids;
}

// The state file's quoting (PAPPL's write_options).
std::string quoted(const char* value) {
    std::string text = "\"";
    for (const char* c = value; *c; ++c) {
        if (*c == '\\' || *c == '"')
            text += '\\';
        text += *c;
    }
    return text + '"';
}

void dropAttributesAddedAgain(const fs::path& spool, int jobId) {
    char infix[32];
    std::snprintf(infix, sizeof infix, "j%09d-", jobId);
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(spool, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 21 || name[0] != 'p' || name.compare(6, 11, infix) != 0 ||
            name.compare(name.size() - 4, 4, ".ipp") != 0 || !entry.is_regular_file(ec))
            continue;
        const int in = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (in < 0)
            continue;
        ipp_t* attrs = ippNew();
        const bool read = ippReadFile(in, attrs) == IPP_STATE_DATA;
        ::close(in);
        bool written = false;
        if (read) {
            for (const char* added : kAddedAgain)
                while (ipp_attribute_t* attr = ippFindAttribute(attrs, added, IPP_TAG_ZERO))
                    ippDeleteAttribute(attrs, attr);
            const std::string temp = entry.path().string() + ".new";
            const int out =
                ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (out >= 0) {
                written = ippWriteFile(out, attrs) == IPP_STATE_DATA;
                written = ::close(out) == 0 && written;
                written = written && ::rename(temp.c_str(), entry.path().c_str()) == 0;
                if (!written)
                    ::unlink(temp.c_str());
            }
        }
        ippDelete(attrs);
    }
}

// The Job line of a job the last run did not finish, as this start is to read it.
std::optional<std::string> repairedJob(const std::string& line, bool holdingNewJobs,
                                       const fs::path& spool) {
    cups_option_t* options = nullptr;
    int count = cupsParseOptions(line.c_str() + 4, 0, &options);
    const auto value = [&](const char* name) { return cupsGetOption(name, count, options); };
    const char* idText = value("id");
    const int id = idText ? std::atoi(idText) : 0;
    const int state = value("state") ? std::atoi(value("state")) : 0;
    const unsigned long reasons =
        value("state_reasons") ? std::strtoul(value("state_reasons"), nullptr, 10) : 0;
    if (id <= 0 || state > kStopped) {
        cupsFreeOptions(count, options);
        return std::nullopt;
    }
    // PAPPL reads the saved attributes of every job still to print.
    if (state != kStopped)
        dropAttributesAddedAgain(spool, id);
    // Held by the queue between two jobs, not by a user or a hold of new jobs.
    const bool heldForOrder =
        state == kHeld && !(reasons & PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED) && !holdingNewJobs;
    if (state != kProcessing && state != kStopped && !heldForOrder) {
        cupsFreeOptions(count, options);
        return std::nullopt;
    }
    std::error_code ec;
    const char* document = value("filename");
    if (document && fs::is_regular_file(document, ec)) {
        // From the first sheet again.
        count = cupsAddOption("state", std::to_string(kPending).c_str(), count, &options);
        count = cupsRemoveOption("imcompleted", count, &options);
        count = cupsRemoveOption("processing", count, &options);
        if (state == kStopped)
            dropAttributesAddedAgain(spool, id);
    } else {
        count = cupsAddOption("state", std::to_string(kAborted).c_str(), count, &options);
        count = cupsAddOption("state_reasons",
                              std::to_string(reasons | PAPPL_JREASON_ABORTED_BY_SYSTEM).c_str(),
                              count, &options);
        count = cupsAddOption("completed", std::to_string(long(std::time(nullptr))).c_str(), count,
                              &options);
        abortedAtLoad().push_back(id);
    }
    std::string fixed = "Job";
    for (int i = 0; i < count; ++i)
        fixed += std::string(" ") + options[i].name + "=" + quoted(options[i].value);
    cupsFreeOptions(count, options);
    return fixed;
}

// --- The order of the queue ---

std::mutex& queueMutex() {
    static std::mutex mutex;
    return mutex;
}

// Jobs this queue holds back so that PAPPL, which starts the newest pending job first,
// finds only the oldest one pending.
std::set<int>& heldForOrder() {
    static std::set<int> ids;
    return ids;
}

struct QueuedJob {
    int id;
    ipp_jstate_t state;
};

std::vector<QueuedJob> activeJobs(pappl_printer_t* printer) {
    std::vector<QueuedJob> jobs;
    papplPrinterIterateActiveJobs(
        printer,
        [](pappl_job_t* job, void* data) {
            static_cast<std::vector<QueuedJob>*>(data)->push_back(
                {papplJobGetID(job), papplJobGetState(job)});
        },
        &jobs, 1, 0);
    std::sort(jobs.begin(), jobs.end(),
              [](const QueuedJob& a, const QueuedJob& b) { return a.id < b.id; });
    return jobs;
}

bool queued(const QueuedJob& job) {
    return job.state == IPP_JSTATE_PENDING ||
           (job.state == IPP_JSTATE_HELD && heldForOrder().count(job.id));
}

// Leaves the oldest queued job pending and holds the others; the caller has queueMutex.
// The oldest's id, 0 for none.
int leaveOldestPending(pappl_printer_t* printer, int except) {
    int oldest = 0;
    for (const QueuedJob& job : activeJobs(printer)) {
        if (job.id == except || !queued(job))
            continue;
        pappl_job_t* found = papplPrinterFindJob(printer, job.id);
        if (!found)
            continue;
        if (!oldest) {
            oldest = job.id;
            if (job.state == IPP_JSTATE_HELD && papplJobRelease(found, nullptr))
                heldForOrder().erase(job.id);
        } else if (job.state == IPP_JSTATE_PENDING && papplJobHold(found, nullptr, nullptr, 0)) {
            heldForOrder().insert(job.id);
        }
    }
    return oldest;
}

// --- Stop ---

std::atomic<bool> g_stopping{false};
std::atomic<const std::string*> g_stateFile{nullptr};
std::atomic<int> g_busyJobs{0};
struct sigaction g_paplTerm {};
struct sigaction g_paplInt {};

std::mutex& saveMutex() {
    static std::mutex mutex;
    return mutex;
}

void onStopSignal(int signal) {
    g_stopping = true;
    // PAPPL's own handler, so its main loop knows of the stop too.
    const struct sigaction& papl = signal == SIGINT ? g_paplInt : g_paplTerm;
    if (papl.sa_handler != SIG_DFL && papl.sa_handler != SIG_IGN && papl.sa_handler)
        papl.sa_handler(signal);
}

struct QueueKeeper {
    pappl_system_t* system;
    const std::string* stateFile;
    bool started = false;
    // The oldest pending job of an idle printer at the last look: stuck when seen twice.
    int idlePending = 0;
};

void stopNow(QueueKeeper& keeper) {
    papplLog(keeper.system, PAPPL_LOGLEVEL_INFO,
             "Stopping: unfinished jobs are kept for the next start.");
    const auto until = std::chrono::steady_clock::now() + kStepBackTime;
    while (g_busyJobs > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    saveMutex().lock();
    papplSystemSaveState(keeper.system, keeper.stateFile->c_str());
    // PAPPL would wait up to a minute for jobs that are to print at the next start.
    std::fflush(nullptr);
    ::_exit(0);
}

void startIdlePrinter(pappl_printer_t* printer, void* data) {
    auto& keeper = *static_cast<QueueKeeper*>(data);
    if (papplPrinterGetState(printer) != IPP_PSTATE_IDLE)
        return;
    const std::lock_guard<std::mutex> lock(queueMutex());
    const std::vector<QueuedJob> jobs = activeJobs(printer);
    if (std::any_of(jobs.begin(), jobs.end(), [](const QueuedJob& job) {
            return job.state == IPP_JSTATE_PROCESSING || job.state == IPP_JSTATE_STOPPED;
        }))
        return;
    const auto oldest = std::find_if(jobs.begin(), jobs.end(), queued);
    if (oldest == jobs.end()) {
        keeper.idlePending = 0;
        return;
    }
    // One held back for the order is started by its release.
    if (oldest->state == IPP_JSTATE_HELD) {
        keeper.idlePending = 0;
        leaveOldestPending(printer, 0);
        return;
    }
    // A job PAPPL is about to start is pending for a moment; one pending on an idle printer
    // a second later was left by the last run (or by a missed hand-over): start it, and only
    // it, by a hold and release, which makes PAPPL look at its queue.
    if (keeper.idlePending != oldest->id) {
        keeper.idlePending = oldest->id;
        return;
    }
    keeper.idlePending = 0;
    const int id = leaveOldestPending(printer, 0);
    if (pappl_job_t* job = papplPrinterFindJob(printer, id))
        if (papplJobHold(job, nullptr, nullptr, 0))
            papplJobRelease(job, nullptr);
}

bool tick(pappl_system_t* system, void* data) {
    auto& keeper = *static_cast<QueueKeeper*>(data);
    if (!keeper.started) {
        // PAPPL put in its handlers when its main loop began: ours go before them.
        keeper.started = true;
        struct sigaction ours {};
        ours.sa_handler = onStopSignal;
        sigemptyset(&ours.sa_mask);
        sigaction(SIGTERM, &ours, &g_paplTerm);
        sigaction(SIGINT, &ours, &g_paplInt);
    }
    if (g_stopping)
        stopNow(keeper);
    papplSystemIteratePrinters(system, startIdlePrinter, &keeper);
    return true;
}

} // namespace

void repairSavedJobs(const std::string& stateFile, const std::string& spoolDir) {
    std::ifstream in(stateFile, std::ios::binary);
    if (!in)
        return;
    std::vector<std::string> lines;
    bool changed = false;
    bool holdingNewJobs = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("<Printer", 0) == 0)
            holdingNewJobs = false;
        else if (line == "HoldNewJobs")
            holdingNewJobs = true;
        else if (line.rfind("Job ", 0) == 0)
            if (std::optional<std::string> fixed = repairedJob(line, holdingNewJobs, spoolDir)) {
                line = std::move(*fixed);
                changed = true;
            }
        lines.push_back(std::move(line));
    }
    in.close();
    if (!changed)
        return;
    // Written beside it and renamed over it: a crash leaves the old state or the new one.
    const std::string temp = stateFile + ".repaired";
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    written = ::fsync(fd) == 0 && written;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temp.c_str(), stateFile.c_str()) != 0)
        ::unlink(temp.c_str());
}

void explainRepairedJobs(pappl_system_t* system) {
    papplSystemIteratePrinters(
        system,
        [](pappl_printer_t* printer, void*) {
            for (const int id : abortedAtLoad())
                if (pappl_job_t* job = papplPrinterFindJob(printer, id)) {
                    papplJobSetMessage(job, "%s", kDocumentGone);
                    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", kDocumentGone);
                }
        },
        nullptr);
    abortedAtLoad().clear();
}

bool saveSystemState(pappl_system_t* system, const std::string& stateFile) {
    const std::lock_guard<std::mutex> lock(saveMutex());
    return papplSystemSaveState(system, stateFile.c_str());
}

void keepJobQueue(pappl_system_t* system, const std::string* stateFile) {
    static QueueKeeper keeper{system, stateFile};
    g_stateFile = stateFile;
    papplSystemAddTimerCallback(system, 0, 1, tick, &keeper);
}

bool serverStopping() {
    return g_stopping;
}

void jobBegins(pappl_job_t* job) {
    ++g_busyJobs;
    if (g_stopping)
        parkForStop(job);
    // The jobs held back while this one was chosen are queued again.
    pappl_printer_t* printer = papplJobGetPrinter(job);
    {
        const std::lock_guard<std::mutex> lock(queueMutex());
        for (const QueuedJob& queuedJob : activeJobs(printer)) {
            if (queuedJob.state != IPP_JSTATE_HELD || !heldForOrder().count(queuedJob.id))
                continue;
            if (pappl_job_t* found = papplPrinterFindJob(printer, queuedJob.id))
                papplJobRelease(found, nullptr);
            heldForOrder().erase(queuedJob.id);
        }
    }
    // Saved now rather than by the main loop a moment later: a crash in the first sheet
    // must find the job in the state to print it again.
    if (const std::string* file = g_stateFile)
        saveSystemState(papplPrinterGetSystem(printer), *file);
}

void jobEnds(pappl_job_t* job) {
    {
        const std::lock_guard<std::mutex> lock(queueMutex());
        leaveOldestPending(papplJobGetPrinter(job), papplJobGetID(job));
    }
    --g_busyJobs;
}

void parkForStop(pappl_job_t* job) {
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Kept for the next start.");
    --g_busyJobs;
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

} // namespace kv::printer_app
