#include "printer_app/ipp_job.h"

#include "platform/bitmap.h"
#include "platform/imagelib/image_library.h"
#include "platform/paths.h"
#include "printer_app/document_sheet.h"
#include "printer_app/job_queue.h"
#include "printer_app/kelvor_driver.h"
#include "printer_app/port_device.h"
#include "printer_app/server_job.h"
#include "printer_app/web_proof.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kv::printer_app {

namespace {

namespace fs = std::filesystem;

// A page of another size (a client that ignored the media: A3 at 160 dpi, A4 at 300 dpi)
// is fitted onto the sheet as a picture; beyond this it is refused.
constexpr unsigned kMaxRasterSide = 6000;
constexpr std::string_view kRasterUnprintable = "Diese Rasterseite kann der Drucker nicht drucken.";

// The raster pages printed: 24-bit colour, and 8-bit grey (white 255) or black (black 255).
enum class RasterKind { Unprintable, Colour, Grey, Black };

RasterKind rasterKind(const cups_page_header2_t& header) {
    if (header.cupsBitsPerColor != 8 || header.cupsColorOrder != CUPS_ORDER_CHUNKED)
        return RasterKind::Unprintable;
    if (header.cupsBitsPerPixel == 24) {
        switch (header.cupsColorSpace) {
        case CUPS_CSPACE_RGB:
        case CUPS_CSPACE_SRGB:
        case CUPS_CSPACE_ADOBERGB:
            return RasterKind::Colour;
        default:
            return RasterKind::Unprintable;
        }
    }
    if (header.cupsBitsPerPixel == 8) {
        switch (header.cupsColorSpace) {
        case CUPS_CSPACE_W:
        case CUPS_CSPACE_SW:
            return RasterKind::Grey;
        case CUPS_CSPACE_K:
            return RasterKind::Black;
        default:
            return RasterKind::Unprintable;
        }
    }
    return RasterKind::Unprintable;
}

constexpr const char* kCancelled = "Der Auftrag wurde abgebrochen.";

class IppJobReport : public JobReport {
  public:
    explicit IppJobReport(pappl_job_t* job) : m_job(job), m_printer(papplJobGetPrinter(job)) {}

    bool canceled() override { return papplJobIsCanceled(m_job); }
    bool stopping() override { return serverStopping(); }
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
        reportSheetSupply(m_printer, trouble == Trouble::MediaEmpty);
        if (trouble != Trouble::None)
            message(text);
    }
    void sheetPrinted() override {
        if (m_countSheets)
            papplJobSetImpressionsCompleted(m_job, 1);
    }
    // PAPPL counts the pages of a raster job itself, one a page whatever the copies.
    void countSheets(bool on) { m_countSheets = on; }
    bool countsSheets() const { return m_countSheets; }

  private:
    bool m_countSheets = true;
    pappl_job_t* m_job;
    pappl_printer_t* m_printer;
};

// What a job keeps between its driver callbacks.
struct JobRun {
    explicit JobRun(pappl_job_t* job)
        : report(job), settings(serverSettingsFromEnvironment(platform::executableDirectory())) {}

    IppJobReport report;
    ServerSettings settings;
    // Held only while sheets print, never between the callbacks of a raster job, so a
    // job that PAPPL ends without its last callback cannot keep the printer locked.
    std::unique_lock<std::mutex> lock{printingLock(), std::defer_lock};
    std::unique_ptr<SheetPrinter> printer;
    // The raster page being received: rows of RGB from the top.
    std::vector<unsigned char> page;
    RasterKind kind = RasterKind::Colour;
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
    run.printer->onLevelsMade(
        [job](const render::ExposureImage& levels, const render::LevelProof& proof) {
            keepJobProof(job, levels, proof);
        });
    if (run.printer->open())
        return true;
    papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
    run.report.message(run.printer->failure());
    run.printer.reset();
    run.lock.unlock();
    return false;
}

// The server is stopping and the job did not finish: the printer and the port go, and
// the job stays printing, to print again at the next start.
[[noreturn]] void keepForNextStart(JobRun& run, pappl_job_t* job) {
    run.printer.reset();
    if (run.lock.owns_lock())
        run.lock.unlock();
    parkForStop(job);
}

// Prints one sheet file `copies` times; false when the job is to end (reason set).
bool printCopies(JobRun& run, pappl_job_t* job, const fs::path& sheet, int copies) {
    for (int i = 0; i < copies; ++i) {
        switch (run.printer->printPicture(sheet)) {
        case SheetPrinter::Result::Printed:
            if (i > 0 && !run.report.countsSheets())
                papplJobSetImpressionsCompleted(job, 1);
            break;
        case SheetPrinter::Result::Cancelled:
            run.report.message(kCancelled);
            return false;
        case SheetPrinter::Result::Interrupted:
            keepForNextStart(run, job);
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

JobRun* runOf(pappl_job_t* job) {
    return static_cast<JobRun*>(papplJobGetData(job));
}

void dropRun(pappl_job_t* job) {
    delete runOf(job);
    papplJobSetData(job, nullptr);
}

// PAPPL counts a raster page as completed when it begins; one that never printed is
// taken back, so the job does not claim a page that did not come out.
void uncountPage(pappl_job_t* job) {
    papplJobSetImpressionsCompleted(job, -1);
}

} // namespace

namespace {

bool printDocument(pappl_job_t* job) {
    if (papplJobIsCanceled(job))
        return true;
    const char* document = papplJobGetFilename(job);
    if (!document) {
        // A Cancel-Job that came between PAPPL choosing the job and starting it removed
        // the document and left the job to run: it ends as what it is, cancelled.
        papplJobCancel(job);
        return true;
    }
    JobRun run(job);
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, true);
    SheetRequest request;
    std::string scaling = "auto";
    if (options) {
        if (options->print_scaling & PAPPL_SCALING_FILL)
            scaling = "fill";
        else if (options->print_scaling & PAPPL_SCALING_NONE)
            scaling = "none";
        else if (options->print_scaling & PAPPL_SCALING_FIT)
            scaling = "fit";
        request.quarterTurns = quarterTurnsFromOrientation(options->orientation_requested);
        request.monochrome = options->print_color_mode == PAPPL_COLOR_MODE_MONOCHROME;
    }
    request.scaling = scalingFromKeyword(scaling);
    const int copies = copiesOf(options);
    papplJobDeletePrintOptions(options);

    if (!openRun(run, job))
        return false;
    const SheetSource source = prepareDocumentSheet(document, request, run.printer->workDir());
    if (source.file.empty()) {
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
        run.report.message(source.failure);
        return false;
    }
    papplJobSetImpressions(job, copies);
    return printCopies(run, job, source.file, copies) || papplJobIsCanceled(job);
}

} // namespace

bool filterPicture(pappl_job_t* job, pappl_device_t*, void*) {
    jobBegins(job);
    const bool printed = printDocument(job);
    jobEnds(job);
    return printed;
}

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    jobBegins(job);
    auto* run = new JobRun(job);
    run->report.countSheets(false);
    papplJobSetData(job, run);
    return true;
}

bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    JobRun* run = runOf(job);
    if (!run || !options) {
        uncountPage(job);
        return false;
    }
    const cups_page_header2_t& header = options->header;
    const RasterKind kind = rasterKind(header);
    const unsigned channels = kind == RasterKind::Colour ? 3 : 1;
    if (kind == RasterKind::Unprintable || header.cupsWidth == 0 || header.cupsHeight == 0 ||
        header.cupsWidth > kMaxRasterSide || header.cupsHeight > kMaxRasterSide ||
        header.cupsBytesPerLine != header.cupsWidth * channels) {
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
        run->report.message(kRasterUnprintable);
        uncountPage(job);
        dropRun(job);
        return false;
    }
    run->kind = kind;
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
    if (!run) {
        uncountPage(job);
        return false;
    }
    if (papplJobIsCanceled(job)) {
        // The page in progress is dropped, as a cancelled picture's is.
        uncountPage(job);
        run->page.clear();
        return true;
    }
    // The page as a picture file: bottom-up BGR, as the 1-in-1 sheet reads it.
    platform::Bitmap24 bitmap =
        platform::Bitmap24::make(static_cast<int>(run->width), static_cast<int>(run->height));
    for (unsigned y = 0; y < run->height; ++y) {
        const unsigned char* from = run->page.data() + std::size_t(y) * run->bytesPerLine;
        std::uint8_t* to = bitmap.at(0, static_cast<int>(run->height - 1 - y));
        for (unsigned x = 0; x < run->width; ++x) {
            switch (run->kind) {
            case RasterKind::Grey:
                to[3 * x] = to[3 * x + 1] = to[3 * x + 2] = from[x];
                break;
            case RasterKind::Black:
                to[3 * x] = to[3 * x + 1] = to[3 * x + 2] =
                    static_cast<std::uint8_t>(255 - from[x]);
                break;
            default:
                to[3 * x] = from[3 * x + 2];
                to[3 * x + 1] = from[3 * x + 1];
                to[3 * x + 2] = from[3 * x];
                break;
            }
        }
    }
    run->page.clear();
    run->page.shrink_to_fit();
    if (!openRun(*run, job)) {
        uncountPage(job);
        return false;
    }
    const fs::path sheet = run->printer->workDir() / ("page-" + std::to_string(page) + ".bmp");
    bool goOn = false;
    if (!platform::imagelib::WriteBmpFile(sheet, bitmap)) {
        papplJobSetReasons(job, PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
        run->report.message("Die Seite kann nicht zwischengespeichert werden: " + sheet.string());
    } else {
        goOn = printCopies(*run, job, sheet, copiesOf(options));
    }
    if (!goOn)
        uncountPage(job);
    // The port library and the work folder go with the page; the next page opens anew.
    run->printer.reset();
    run->lock.unlock();
    return goOn;
}

bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    if (papplJobIsCanceled(job) && runOf(job))
        runOf(job)->report.message(kCancelled);
    dropRun(job);
    jobEnds(job);
    return true;
}

} // namespace kv::printer_app
