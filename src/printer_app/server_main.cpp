// kvphoto-printer-app: the photo printer as an IPP Everywhere printer, on PAPPL.
// PAPPL brings IPP, the queue, the web pages and DNS-SD; this file adds the port as a
// device, the printer's driver, and hands every sheet to the program's job engine.

#include "platform/bitmap.h"
#include "platform/imagelib/image_library.h"
#include "platform/paths.h"
#include "printer/port_backend.h"
#include "printer_app/document_sheet.h"
#include "printer_app/server_job.h"

#include <pappl/pappl.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kv::printer_app::SheetPrinter;
using kv::printer_app::Trouble;

constexpr const char* kAppName = "kvphoto-printer-app";
constexpr const char* kVersion = "0.1.0";
constexpr const char* kDriverName = "kelvor_photo";
constexpr const char* kPrinterName = "Kelvor Photo Printer";
constexpr const char* kDeviceId = "MFG:Kelvor;MDL:Photo Printer;CMD:KVSHEET;";
constexpr const char* kScheme = "kvport";
constexpr const char* kSimUri = "kvport:///sim";
// Our own format: every document type reaches the driver through a filter of ours.
constexpr const char* kSheetFormat = "application/vnd.kelvor-sheet";
// One sheet pixel is one printed pixel: the 480 x 640 portrait sheet at 160 dpi is 3 x 4 in.
constexpr int kResolution = 160;
constexpr const char* kMediaName = "custom_kelvor-sheet_3x4in";
constexpr int kMediaWidth = 7620; // hundredths of millimetres
constexpr int kMediaLength = 10160;
// A page of another size (a client that ignored the media: A3 at 160 dpi, A4 at 300 dpi)
// is fitted onto the sheet as a picture; beyond this it is refused.
constexpr unsigned kMaxRasterSide = 6000;

// One job on the printers at a time: the port library and its backend are the process's.
std::mutex g_printing;

pappl_pr_driver_t g_drivers[] = {
    {kDriverName, "Kelvor Photo Printer", kDeviceId, nullptr},
};

// ----- the port as a device -----

int lptNumber(const char* uri) {
    // kvport:///lpt1 ... lpt4
    const char* name = std::strrchr(uri, '/');
    if (!name || std::strncmp(name + 1, "lpt", 3) != 0 || !name[4] || name[5])
        return 0;
    const int n = name[4] - '0';
    return n >= 1 && n <= 4 ? n : 0;
}

bool isSimUri(const char* uri) {
    return uri && std::strcmp(uri, kSimUri) == 0;
}

// The printer on the parallel port as the program finds it, when the machine has a
// port; the virtual printer always.
std::string parallelPrinterUri() {
    if (!kv::printer::machineHasParport("/dev"))
        return {};
    const std::lock_guard<std::mutex> lock(g_printing);
    setenv("KVPR_PORT", "ppdev", 1);
    const int lpt = kv::printer_app::findPrinterPort(
        kv::printer_app::serverSettingsFromEnvironment(kv::platform::executableDirectory()));
    return lpt ? "kvport:///lpt" + std::to_string(lpt) : std::string();
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

// ----- one IPP job -----

class IppJobReport : public kv::printer_app::JobReport {
  public:
    explicit IppJobReport(pappl_job_t* job) : m_job(job), m_printer(papplJobGetPrinter(job)) {}

    bool canceled() override { return papplJobIsCanceled(m_job); }
    void message(std::string_view text) override {
        const std::string line(text);
        papplJobSetMessage(m_job, "%s", line.c_str());
        papplLogJob(m_job, PAPPL_LOGLEVEL_INFO, "%s", line.c_str());
    }
    void trouble(Trouble trouble, std::string_view text) override {
        constexpr pappl_preason_t ours = PAPPL_PREASON_MEDIA_EMPTY | PAPPL_PREASON_OTHER;
        pappl_preason_t add = PAPPL_PREASON_NONE;
        if (trouble == Trouble::MediaEmpty)
            add = PAPPL_PREASON_MEDIA_EMPTY;
        else if (trouble != Trouble::None)
            add = PAPPL_PREASON_OTHER;
        papplPrinterSetReasons(m_printer, add, ours & ~add);
        if (trouble != Trouble::None)
            message(text);
    }
    void sheetPrinted() override {
        if (m_countSheets)
            papplJobSetImpressionsCompleted(m_job, 1);
    }
    // PAPPL counts the pages of a raster job itself.
    void countSheets(bool on) { m_countSheets = on; }

  private:
    bool m_countSheets = true;
    pappl_job_t* m_job;
    pappl_printer_t* m_printer;
};

// What a job keeps between its driver callbacks.
struct JobRun {
    explicit JobRun(pappl_job_t* job)
        : report(job), settings(kv::printer_app::serverSettingsFromEnvironment(
                           kv::platform::executableDirectory())) {}

    IppJobReport report;
    kv::printer_app::ServerSettings settings;
    // Held only while sheets print, never between the callbacks of a raster job, so a
    // job that PAPPL ends without its last callback cannot keep the printer locked.
    std::unique_lock<std::mutex> lock{g_printing, std::defer_lock};
    std::unique_ptr<SheetPrinter> printer;
    // The raster page being received: rows of RGB from the top.
    std::vector<unsigned char> page;
    unsigned width = 0;
    unsigned height = 0;
    unsigned bytesPerLine = 0;
};

void useBackendOf(const char* uri) {
    // The port library picks its backend when it is loaded, which each job does anew.
    setenv("KVPR_PORT", isSimUri(uri) ? "sim" : "ppdev", 1);
}

// Opens the program for a job; false after setting the job's reason.
bool openRun(JobRun& run, pappl_job_t* job) {
    run.lock.lock();
    useBackendOf(papplPrinterGetDeviceURI(papplJobGetPrinter(job)));
    run.printer = std::make_unique<SheetPrinter>(run.report, run.settings);
    if (run.printer->open())
        return true;
    papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
    run.report.message(run.printer->failure());
    run.printer.reset();
    run.lock.unlock();
    return false;
}

// Prints one sheet file `copies` times; false when the job is to end (reason set).
bool printCopies(JobRun& run, pappl_job_t* job, const fs::path& sheet, int copies) {
    for (int i = 0; i < copies; ++i) {
        switch (run.printer->printPicture(sheet)) {
        case SheetPrinter::Result::Printed:
            break;
        case SheetPrinter::Result::Cancelled:
            return false;
        case SheetPrinter::Result::Failed:
            papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
            run.report.message(run.printer->failure());
            return false;
        }
    }
    return true;
}

int copiesOf(const pappl_pr_options_t* options) {
    return options && options->copies > 0 ? options->copies : 1;
}

// image/jpeg, image/png, image/tiff and image/bmp: composed as the 1-in-1 sheet.
bool filterPicture(pappl_job_t* job, pappl_device_t*, void*) {
    JobRun run(job);
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, true);
    kv::printer_app::SheetRequest request;
    std::string scaling = "auto";
    if (options) {
        if (options->print_scaling & PAPPL_SCALING_FILL)
            scaling = "fill";
        else if (options->print_scaling & PAPPL_SCALING_NONE)
            scaling = "none";
        else if (options->print_scaling & PAPPL_SCALING_FIT)
            scaling = "fit";
        request.quarterTurns =
            kv::printer_app::quarterTurnsFromOrientation(options->orientation_requested);
        request.monochrome = options->print_color_mode == PAPPL_COLOR_MODE_MONOCHROME;
    }
    request.scaling = kv::printer_app::scalingFromKeyword(scaling);
    const int copies = copiesOf(options);
    papplJobDeletePrintOptions(options);

    if (!openRun(run, job))
        return false;
    const kv::printer_app::SheetSource source = kv::printer_app::prepareDocumentSheet(
        papplJobGetFilename(job), request, run.printer->workDir());
    if (source.file.empty()) {
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
        run.report.message(source.failure);
        return false;
    }
    papplJobSetImpressions(job, copies);
    return printCopies(run, job, source.file, copies) || papplJobIsCanceled(job);
}

// ----- raster documents (PWG raster, Apple raster) through the driver -----

JobRun* runOf(pappl_job_t* job) {
    return static_cast<JobRun*>(papplJobGetData(job));
}

void dropRun(pappl_job_t* job) {
    delete runOf(job);
    papplJobSetData(job, nullptr);
}

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    auto* run = new JobRun(job);
    run->report.countSheets(false);
    papplJobSetData(job, run);
    return true;
}

bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    JobRun* run = runOf(job);
    const cups_page_header2_t& header = options->header;
    if (!run || header.cupsBitsPerPixel != 24 || header.cupsWidth == 0 || header.cupsHeight == 0 ||
        header.cupsWidth > kMaxRasterSide || header.cupsHeight > kMaxRasterSide) {
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
        if (run)
            run->report.message("Diese Rasterseite kann der Drucker nicht drucken.");
        dropRun(job);
        return false;
    }
    run->width = header.cupsWidth;
    run->height = header.cupsHeight;
    run->bytesPerLine = header.cupsBytesPerLine;
    run->page.assign(std::size_t(run->bytesPerLine) * run->height, 0xFF);
    return true;
}

bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y,
                     const unsigned char* line) {
    JobRun* run = runOf(job);
    if (!run || y >= run->height)
        return false;
    std::memcpy(run->page.data() + std::size_t(y) * run->bytesPerLine, line, run->bytesPerLine);
    return !papplJobIsCanceled(job);
}

bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
    JobRun* run = runOf(job);
    if (!run)
        return false;
    // The page as a picture file: bottom-up BGR, as the 1-in-1 sheet reads it.
    kv::platform::Bitmap24 bitmap =
        kv::platform::Bitmap24::make(static_cast<int>(run->width), static_cast<int>(run->height));
    for (unsigned y = 0; y < run->height; ++y) {
        const unsigned char* from = run->page.data() + std::size_t(y) * run->bytesPerLine;
        std::uint8_t* to = bitmap.at(0, static_cast<int>(run->height - 1 - y));
        for (unsigned x = 0; x < run->width; ++x) {
            to[3 * x] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x];
        }
    }
    run->page.clear();
    run->page.shrink_to_fit();
    if (!openRun(*run, job))
        return false;
    const fs::path sheet = run->printer->workDir() / ("page-" + std::to_string(page) + ".bmp");
    bool goOn = false;
    if (!kv::platform::imagelib::WriteBmpFile(sheet, bitmap)) {
        papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
        run->report.message("Die Seite kann nicht zwischengespeichert werden: " + sheet.string());
    } else {
        goOn = printCopies(*run, job, sheet, copiesOf(options));
    }
    // The port library and the work folder go with the page; the next page opens anew.
    run->printer.reset();
    run->lock.unlock();
    return goOn;
}

bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    dropRun(job);
    return true;
}

bool printerStatus(pappl_printer_t*) {
    return true;
}

// ----- the driver -----

bool driverCallback(pappl_system_t*, const char* driverName, const char*, const char*,
                    pappl_pr_driver_data_t* data, ipp_t**, void*) {
    if (std::strcmp(driverName, kDriverName) != 0)
        return false;
    data->rstartjob_cb = rasterStartJob;
    data->rstartpage_cb = rasterStartPage;
    data->rwriteline_cb = rasterWriteLine;
    data->rendpage_cb = rasterEndPage;
    data->rendjob_cb = rasterEndJob;
    data->status_cb = printerStatus;
    data->format = kSheetFormat;
    std::snprintf(data->make_and_model, sizeof data->make_and_model, "Kelvor Photo Printer");
    data->ppm = 1;
    data->ppm_color = 1;
    data->kind = PAPPL_KIND_PHOTO;
    data->orient_default = IPP_ORIENT_NONE;
    // A colour printer; grey is offered because clients (CUPS among them) may ask for it.
    data->color_supported =
        PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
    data->color_default = PAPPL_COLOR_MODE_COLOR;
    data->content_default = PAPPL_CONTENT_PHOTO;
    data->quality_default = IPP_QUALITY_NORMAL;
    data->scaling_default = PAPPL_SCALING_FIT;
    data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8;
    data->force_raster_type = PAPPL_PWG_RASTER_TYPE_SRGB_8;
    data->duplex = PAPPL_DUPLEX_NONE;
    data->sides_supported = PAPPL_SIDES_ONE_SIDED;
    data->sides_default = PAPPL_SIDES_ONE_SIDED;
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = kResolution;
    data->x_default = data->y_default = kResolution;
    data->borderless = true;
    data->left_right = 0;
    data->bottom_top = 0;
    data->num_media = 1;
    data->media[0] = kMediaName;
    data->num_source = 1;
    data->source[0] = "main";
    data->num_type = 1;
    data->type[0] = "photographic";
    data->num_bin = 1;
    data->bin[0] = "face-up";
    data->bin_default = 0;
    pappl_media_col_t& media = data->media_default;
    std::snprintf(media.size_name, sizeof media.size_name, "%s", kMediaName);
    media.size_width = kMediaWidth;
    media.size_length = kMediaLength;
    std::snprintf(media.source, sizeof media.source, "main");
    std::snprintf(media.type, sizeof media.type, "photographic");
    data->media_ready[0] = media;
    return true;
}

const char* autoAdd(const char*, const char*, const char* deviceId, void*) {
    return deviceId && std::strstr(deviceId, "MDL:Photo Printer") ? kDriverName : nullptr;
}

// ----- the system -----

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
    return papplSystemSaveState(system, static_cast<const std::string*>(file)->c_str());
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

    papplSystemSetPrinterDrivers(system, 1, g_drivers, autoAdd, nullptr, driverCallback, nullptr);
    for (const char* type : {"image/jpeg", "image/png", "image/tiff", "image/bmp"})
        papplSystemAddMIMEFilter(system, type, kSheetFormat, filterPicture, nullptr);
    papplSystemSetFooterHTML(system, "Kelvor Photo Viewer");

    // Loaded here rather than by the main loop, so the first start can add the printer
    // before the server runs.
    static std::string state;
    state = stateFile(option("state-file"));
    papplSystemLoadState(system, state.c_str());
    papplSystemSetSaveCallback(system, saveState, &state);
    addFirstPrinter(system);
    return system;
}

} // namespace

int main(int argc, char* argv[]) {
    papplDeviceAddScheme(kScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, deviceList, deviceOpen, deviceClose,
                         deviceRead, deviceWrite, deviceStatus, deviceId);
    return papplMainloop(argc, argv, kVersion, nullptr, 1, g_drivers, autoAdd, driverCallback,
                         nullptr, nullptr, systemCallback, nullptr, nullptr);
}
