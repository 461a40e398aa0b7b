// print: a sheet or a batch on the printer, through the job engine the window
// drives, with the terminal as its window.

#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/sheet_setup.h"
#include "cli/terminal_job.h"
#include "cli/terminal_progress.h"
#include "intake/picture_intake.h"
#include "jobs/print_job.h"
#include "platform/paths.h"
#include "platform/terminal.h"
#include "render/print_preparation.h"

#include <memory>
#include <optional>
#include <string>

namespace kv::cli {

namespace fs = std::filesystem;
using shell::Layout;

namespace {

// What to print, from the command line; nullopt after telling the usage error.
struct PrintRequest {
    Layout layout = Layout::OneUp;
    const std::string* batch = nullptr;
    std::optional<std::uint32_t> picture;
};

std::optional<PrintRequest> requestOf(const Invocation& inv) {
    PrintRequest request;
    request.batch = inv.option("--batch");
    const std::string* picture = inv.option("--picture");
    if (request.batch) {
        if (inv.operandCount() != 0 || inv.option("--layout") || inv.option("--album") || picture) {
            inv.usageError(text::kBatchAlone);
            return std::nullopt;
        }
        return request;
    }
    if (picture) {
        if (!inv.option("--album")) {
            inv.usageError(text::kPictureNeedsAlbum);
            return std::nullopt;
        }
        if (inv.operandCount() != 0 || inv.option("--layout")) {
            inv.usageError(text::kPictureAlone);
            return std::nullopt;
        }
        request.picture = parseNumber(*picture, UINT32_MAX);
        if (!request.picture) {
            inv.usageError(*picture + std::string(text::kNotANumber));
            return std::nullopt;
        }
        return request;
    }
    const std::optional<Layout> layout = layoutOf(inv.option("--layout"));
    if (!layout) {
        inv.usageError(text::kBadLayout);
        return std::nullopt;
    }
    if (const std::string_view error = sheetUsageError(inv, *layout); !error.empty()) {
        inv.usageError(error);
        return std::nullopt;
    }
    request.layout = *layout;
    return request;
}

// The album's picture chosen and shown as in the window, which makes it the loaded
// picture of 1 in 1 (turned by its rotation in the album); false when that stopped (told).
bool loadAlbumPicture(Invocation& inv, Program& program, std::uint32_t index,
                      const fs::path& tempDir) {
    const std::string& album = *inv.option("--album");
    if (!program.loadAlbum(album))
        return false;
    albums::AlbumState& albums = program.state.albums;
    if (index >= static_cast<std::uint32_t>(albums.pictureCount)) {
        inv.stop(std::string(text::kNoSuchPicture) + album);
        return false;
    }
    program.state.layout = Layout::OneUp;
    albums.select(static_cast<int>(index));
    return intake::displayPicture(program.state, inv.ui, tempDir) == intake::DisplayResult::Shown;
}

std::optional<std::string> promptLine() {
    std::string line;
    if (platform::readTerminalLine(line) != platform::LineRead::Line)
        return std::nullopt;
    return line;
}

// While it lives, a second Ctrl+C or SIGTERM ends every wait of the link and the job
// (the port, the warm-up, the paper) at once. The link forgets it and the port wait's
// notice when it ends, since both speak of this command's locals.
class StopOnSignals {
  public:
    StopOnSignals(printer::PrinterLink& link, const platform::InterruptCatcher& signals)
        : m_link(link) {
        m_link.setStopRequest(
            [&signals] { return signals.terminated() || signals.interrupts() >= 2; });
    }
    ~StopOnSignals() {
        m_link.setStopRequest({});
        m_link.setPortWaitNotice({});
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    printer::PrinterLink& m_link;
};

} // namespace

Exit print(Invocation& inv) {
    const std::optional<PrintRequest> request = requestOf(inv);
    if (!request)
        return Exit::Usage;

    // As the printer commands start: the program directory, the settings and the
    // calibration, then the port library bound and the printer reset.
    Program program(inv);
    if (!program.openForSheets())
        return Exit::Stopped;
    shell::Session& session = program.session;
    // The first reset waits for the port: it comes once signals are caught (below).
    if (!session.loadPortLibrary(shell::Session::FirstReset::WithPortSetUp))
        return Exit::Stopped;
    const ScratchFolder scratch;
    if (scratch.path().empty())
        return inv.stop(std::string(text::kNoScratchFolder) + platform::driveC().string());

    fs::path nameFile;
    if (request->batch) {
        if (!program.loadAlbum(*request->batch))
            return Exit::Stopped;
        nameFile = program.store().currentNameFile();
    } else if (request->picture) {
        if (!loadAlbumPicture(inv, program, *request->picture, scratch.path()))
            return Exit::Stopped;
    } else if (!setUpSheet(inv, program, request->layout, scratch.path())) {
        return Exit::Stopped;
    }

    std::unique_ptr<TerminalProgress> progress;
    if (!inv.flag("--quiet"))
        progress = std::make_unique<TerminalProgress>(
            inv.err, platform::isTerminal(platform::Stream::Error));
    if (progress)
        inv.ui.setBeforeText([p = progress.get()] { p->endLine(); });
    if (platform::isTerminal(platform::Stream::Input))
        inv.ui.setPrompt(promptLine);

    printer::PrinterLink& link = session.printerLink();
    link.setProgress(progress.get());
    const platform::InterruptCatcher signals;
    const StopOnSignals stopOnSignals(link, signals);
    // The port kept by another program: said once per wait, so the pause is explained.
    link.setPortWaitNotice([&, told = false](bool waiting) mutable {
        if (waiting && !told && progress) {
            progress->endLine();
            inv.err << text::kToolName << ": " << text::kWaitingForPort << '\n' << std::flush;
        }
        told = waiting;
        return true;
    });
    session.resetAfterBinding();
    if (link.stopRequested()) {
        link.setProgress(nullptr);
        inv.ui.setBeforeText({});
        inv.ui.setPrompt({});
        return inv.stop(text::kPrintStopped);
    }
    TerminalJobUi ui(inv.ui, signals, inv.err, progress.get());
    TerminalJobHost host(link.clock(), signals, progress.get(), inv.err, inv.flag("--quiet"));
    jobs::PrintJob job(jobs::JobContext{program.state, ui, link, session.mediaContext(),
                                        session.pictureSettings(), scratch.path(),
                                        render::defaultBmxFile()},
                       host);
    int sheets = 1;
    if (request->batch) {
        job.batchPrint(nameFile);
        sheets = job.batchTotal();
    } else {
        job.printCurrent();
    }
    const TerminalJobHost::Tally tally = host.run(job);
    link.setProgress(nullptr);
    inv.ui.setBeforeText({});
    inv.ui.setPrompt({});

    if (tally.printed == sheets && sheets > 0 && tally.cancelled == 0 && !tally.stopped)
        return Exit::Done;
    // The engine told every failure as it happened; this says what came of it.
    const bool byUser =
        tally.cancelled > 0 || tally.stopped || ui.stoppedBySignal() || link.stopRequested();
    if (tally.cancelled > 0)
        inv.stop(text::kPrintCancelled);
    else if (byUser)
        inv.stop(text::kPrintStopped);
    if (request->batch && sheets == 0)
        return inv.stop(text::kNothingPrinted);
    if (request->batch)
        return inv.stop(std::to_string(tally.printed) + std::string(text::kSheetsPrintedOf) +
                        std::to_string(sheets) + std::string(text::kSheetsPrintedTail));
    return byUser ? Exit::Stopped : inv.stop(text::kSheetNotPrinted);
}

} // namespace kv::cli
