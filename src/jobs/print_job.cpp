#include "jobs/print_job.h"

#include "albums/album_files.h"
#include "jobs/job_messages.h"
#include "jobs/page_proof.h"
#include "platform/atomic_file.h"
#include "platform/imagelib/image_library.h"
#include "printer/printer_commands.h"
#include "printer/printer_messages.h"
#include "render/layout_composition.h"
#include "render/raster_lines.h"

#include <optional>
#include <span>
#include <string>

namespace kv::jobs {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using Buttons = platform::Ui::Buttons;
using Icon = platform::Ui::Icon;
using printer::PrinterState;

namespace {

// Busy answers come back without a pause of their own; polls let time pass.
constexpr std::uint32_t kPollMs = 10;

} // namespace

PrintJob::PrintJob(JobContext context, JobHost& host) : m_ctx(std::move(context)), m_host(host) {}

PrintJob::~PrintJob() = default;

render::JobImages& PrintJob::workImages() const {
    if (!m_images)
        m_images = std::make_unique<render::JobImages>();
    return *m_images;
}

void PrintJob::arm(int ms) {
    m_armed = true;
    m_host.armTimer(ms);
}

void PrintJob::showProgress(int value) {
    if (platform::ProgressDisplay* p = progress())
        p->showProgress(value);
}

void PrintJob::redraw() {
    if (platform::ProgressDisplay* p = progress())
        p->redraw();
}

render::PrintInputs PrintJob::inputs() const {
    return {m_ctx.settings, m_colourMatching, m_ctx.media.media.calibration,
            m_ctx.media.media.gamma, m_ctx.media.programDir};
}

bool PrintJob::startChecks() {
    platform::Ui::WaitCursor wait(m_ctx.ui);
    m_ctx.state.printerFound = m_ctx.link.findPrinter();
    if (!m_ctx.state.printerFound)
        return false;
    m_colourMatching = true;
    const adjust::ColourMatchingChoice choice =
        adjust::confirmColourMatching(m_ctx.settings, m_ctx.ui);
    if (!choice.print)
        return false;
    m_colourMatching = choice.useTable;
    media::printTimeMediaCheck(m_ctx.media);
    // Stopped while the media upload waited for the port: no job starts to wait again.
    return !m_ctx.link.stopRequested();
}

void PrintJob::printCurrent() {
    shell::AppState& state = m_ctx.state;
    if (state.printBusy)
        return;
    state.printBusy = true;
    const int loaded = state.albums.loadedPicture();
    if (state.layout == shell::Layout::OneUp &&
        (loaded < 0 || loaded >= state.albums.pictureCount)) {
        m_ctx.ui.message(msg::kNoPhotoToPrint, Icon::None);
        state.printBusy = false;
        return;
    }
    if (!startChecks()) {
        state.printBusy = false;
        return;
    }
    m_batchActive = false;
    m_outcome = JobOutcome::None;
    arm(kArmMs);
}

void PrintJob::printToBmx() {
    if (m_ctx.state.printBusy)
        return;
    m_bmxOnly = true;
    if (platform::ProgressDisplay* p = progress())
        p->flags.bmxOnly = true;
    m_armed = false;
    printCurrent();
    // A job that never started must not turn the next print into a file.
    if (!m_armed) {
        m_bmxOnly = false;
        if (platform::ProgressDisplay* p = progress())
            p->flags.bmxOnly = false;
    }
}

void PrintJob::batchPrint(const fs::path& nameFile) {
    shell::AppState& state = m_ctx.state;
    // A running job reads the colour-matching switch at every step: leave it alone.
    if (state.printBusy)
        return;
    state.adjustedPicturePresent = false;
    m_colourMatching = true;
    if (m_ctx.ui.ask(msg::kAskBatchPrint, Buttons::YesNo, Icon::Question) != Answer::Yes)
        return;
    state.printBusy = true;
    m_selected = false;
    m_outcome = JobOutcome::None;
    if (!startChecks()) {
        endJob(JobOutcome::Failed);
        return;
    }
    if (!m_ctx.link.printerFound()) {
        m_ctx.ui.message(msg::kNoDataExchange, Icon::Information);
        endJob(JobOutcome::Failed);
        return;
    }
    albums::AlbumState& albums = state.albums;
    if (albums.pictureCount > 0) {
        albums.pictureAdded = false;
        albums.pictureDeleted = false;
        albums.pictureMoved = false;
    }
    // A missing name file reads as an empty album; it is not created here, since an
    // empty file would later read as a damaged one.
    std::string bytes;
    if (!platform::readFile(nameFile, bytes))
        bytes.clear();
    // The rotations stand in the data file; a pair out of step gives none.
    std::string data;
    fs::path dataFile = nameFile;
    dataFile += "1";
    if (!platform::readFile(dataFile, data))
        data.clear();
    m_batch.clear();
    for (const albums::AlbumEntry& e : albums::pairAlbumFiles(bytes, data).entries) {
        albums::PictureRow row;
        row.fullPath = e.name.fullPath;
        row.displayName = e.name.displayName;
        row.rotation = e.record.rotation;
        m_batch.push_back(std::move(row));
    }
    m_batchTotal = static_cast<int>(m_batch.size());
    if (m_batchTotal == 0) {
        endJob(JobOutcome::Failed);
        return;
    }
    m_batchActive = true;
    m_batchRemaining = m_batchTotal;
    arm(kArmMs);
}

void PrintJob::step() {
    m_armed = false;
    m_selected = false;
    if (m_batchActive && m_batchRemaining < 1)
        return;
    m_outcome = JobOutcome::None;
    if (m_batchActive && loadBatchPicture() == Flow::Stop)
        return;
    const std::optional<fs::path> source = chooseSource();
    if (!source)
        return;
    if (!render::loadPrintSource(*source, inputs(), workImages().print, m_ctx.ui)) {
        endJob(JobOutcome::Failed);
        return;
    }

    printer::PrinterLink& link = m_ctx.link;
    link.lptSelect();
    m_selected = true;
    if (link.selectRefused()) {
        // Another program keeps the port; the link told the user.
        endJob(JobOutcome::Failed);
        return;
    }
    link.delayMs(300);
    const std::uint16_t reset = link.api().lptReset();
    link.delayMs(100);
    if (reset != 0)
        m_ctx.ui.message(printer::kMsgResetFailed, Icon::None);

    // A Yes or Retry at the paper wait brings the printer up again from the ready
    // wait; the levels already computed are sent as they are.
    for (;;) {
        if (readyWait() == Flow::Stop)
            return;
        if (!m_picturePrepared) {
            platform::Ui::WaitCursor wait(m_ctx.ui);
            render::runPrintStages(inputs(), workImages(), m_ctx.ui, progress());
            m_proof = render::LevelProof::forInputs(inputs());
            if (!m_bmxOnly) {
                showProgress(render::kProgressFull);
                redraw();
            }
        }
        if (m_bmxOnly) {
            std::error_code ec;
            fs::create_directories(m_ctx.bmxFile.parent_path(), ec);
            const bool written =
                render::writeSheetBmx(workImages().exposure, m_ctx.ui, m_ctx.bmxFile);
            link.delayMs(200);
            if (written)
                showProgress(render::kProgressFull);
            endJob(written ? JobOutcome::BmxWritten : JobOutcome::Failed);
            return;
        }
        bool restart = false;
        if (paperWait(restart) == Flow::Stop)
            return;
        if (!restart)
            break;
    }
    if (transfer() == Flow::Stop)
        return;
    endPageAndFinish();
}

PrintJob::Flow PrintJob::loadBatchPicture() {
    const int i = m_batchTotal - m_batchRemaining;
    if (i < 0 || i >= static_cast<int>(m_batch.size())) {
        endJob(JobOutcome::Failed);
        return Flow::Stop;
    }
    const albums::PictureRow& row = m_batch[std::size_t(i)];
    const fs::path file = render::pictureSourceFile(row.fullPath, row.displayName, m_ctx.tempDir);
    platform::Bitmap24 bitmap;
    int code = 0;
    {
        platform::Ui::WaitCursor wait(m_ctx.ui);
        int width = 0;
        int height = 0;
        int bits = 0;
        code = platform::imagelib::CD(file, bitmap, width, height, bits);
    }
    if (code != 1) {
        std::string text(msg::kFileCannotLoadHead);
        text += file.string();
        text += msg::kFileCannotLoadTail;
        m_ctx.ui.message(text, Icon::Information);
        --m_batchRemaining;
        if (m_batchRemaining >= 1 &&
            m_ctx.ui.ask(msg::kAskContinue, Buttons::YesNo, Icon::Question) == Answer::Yes) {
            arm(kArmMs);
            return Flow::Stop;
        }
        endJob(JobOutcome::Failed);
        return Flow::Stop;
    }
    // Shown turned, as it prints; when it is the album's row i it becomes the
    // loaded picture, so a print after the batch prints what stays on show.
    shell::AppState& state = m_ctx.state;
    platform::Bitmap24 shown = platform::turnBitmap(bitmap, row.rotation);
    const bool sameRow = i < state.albums.pictureCount &&
                         state.albums.pictures[std::size_t(i)].fullPath == row.fullPath;
    if (sameRow) {
        state.albums.select(i);
        state.showPicture(i, std::move(shown));
    } else {
        state.showUnlisted(std::move(shown));
    }
    m_host.batchPictureShown(i);
    return Flow::Continue;
}

PrintJob::Flow PrintJob::batchPictureDone() {
    --m_batchRemaining;
    if (m_batchRemaining >= 1)
        arm(kArmMs);
    else
        endJob(JobOutcome::Failed);
    return Flow::Stop;
}

std::optional<fs::path> PrintJob::chooseSource() {
    platform::ProgressDisplay* p = progress();
    const render::Progress report = [p](int value) {
        if (!p)
            return;
        p->flags.preparingData = true;
        p->showProgress(value);
    };
    std::optional<fs::path> source;
    if (m_batchActive) {
        const int i = m_batchTotal - m_batchRemaining;
        source =
            render::prepareBatchSheetFile(m_batch[std::size_t(i)], m_ctx.ui, m_ctx.tempDir, report);
    } else {
        source = render::prepareSheetFile(m_ctx.state, m_ctx.ui, m_ctx.tempDir, report);
    }
    if (p && p->flags.preparingData) {
        p->flags.preparingData = false;
        p->redraw();
    }
    if (source)
        return source;
    if (m_batchActive)
        batchPictureDone();
    else
        endJob(JobOutcome::Failed);
    return std::nullopt;
}

PrintJob::Flow PrintJob::readyWait() {
    printer::PrinterLink& link = m_ctx.link;
    std::uint32_t start = link.clock().tickMs();
    for (;;) {
        const PrinterState state = link.queryPrinterState();
        if (state == PrinterState::Ready)
            break;
        if (state == PrinterState::Fault) {
            if (m_ctx.ui.ask(msg::kPrinterFault, Buttons::RetryCancel, Icon::Information) !=
                Answer::Retry) {
                endJob(JobOutcome::Failed);
                return Flow::Stop;
            }
            link.api().lptReset();
            start = link.clock().tickMs();
            continue;
        }
        if (link.stopRequested()) {
            endJob(JobOutcome::Failed);
            return Flow::Stop;
        }
        if (link.clock().tickMs() - start > kReadyWaitMs) {
            m_ctx.ui.message(printer::kMsgPrinterNotReady, Icon::Information);
            endJob(JobOutcome::Failed);
            return Flow::Stop;
        }
        link.delayMs(kPollMs);
    }
    link.delayMs(300);
    link.delayMs(10);
    link.delayMs(300);
    if (printer::checkPrintParameters(link) != printer::kSequenceOk ||
        printer::waitWarmUp(link) != printer::kSequenceOk) {
        endJob(JobOutcome::Failed);
        return Flow::Stop;
    }
    // A page that did not start (no paper in the tray, a fault) shows in the paper wait,
    // which asks the user, instead of ending the job without a word.
    m_pageStarted = !m_bmxOnly && printer::startPage(link) == printer::kCommandSent;
    return Flow::Continue;
}

PrintJob::Flow PrintJob::paperWait(bool& restart) {
    printer::PrinterLink& link = m_ctx.link;
    const std::uint32_t start = link.clock().tickMs();
    while (link.clock().tickMs() - start < kPaperWaitMs) {
        const PrinterState state = link.queryPrinterState();
        if (state == PrinterState::Ready) {
            m_picturePrepared = false;
            return Flow::Continue;
        }
        // The page was started: a stop drops it, so the printer does not wait for it.
        if (link.stopRequested()) {
            if (m_pageStarted)
                printer::endPage(link, printer::kEndPageCancel);
            m_batchActive = false;
            endJob(JobOutcome::Cancelled);
            return Flow::Stop;
        }
        if (state == PrinterState::Busy) {
            link.delayMs(kPollMs);
            continue;
        }
        redraw();
        const bool again =
            state == PrinterState::NoPaper
                ? m_ctx.ui.ask(msg::kAskNoPaper, Buttons::YesNo, Icon::Information) == Answer::Yes
                : m_ctx.ui.ask(msg::kPrinterFault, Buttons::RetryCancel, Icon::Information) ==
                      Answer::Retry;
        link.api().lptReset();
        if (!again) {
            m_batchActive = false;
            endJob(JobOutcome::Failed);
            return Flow::Stop;
        }
        link.delayMs(100);
        m_picturePrepared = true;
        restart = true;
        return Flow::Continue;
    }
    // Never ready: the check before the transfer tells it.
    return Flow::Continue;
}

PrintJob::Flow PrintJob::transfer() {
    printer::PrinterLink& link = m_ctx.link;
    if (link.queryPrinterState() != PrinterState::Ready) {
        m_ctx.ui.message(printer::kMsgPrinterNotReady, Icon::Information);
        endJob(JobOutcome::Failed);
        return Flow::Stop;
    }
    switch (link.queryPrinterState()) {
    case PrinterState::NoPaper:
        endJob(JobOutcome::Failed);
        return Flow::Stop;
    case PrinterState::Busy:
    case PrinterState::Fault:
        // Momentarily not ready: the next step starts over with the same picture.
        arm(kNotReadyArmMs);
        return Flow::Stop;
    case PrinterState::Ready:
        break;
    }

    m_ctx.state.printBusy = true;
    m_host.transferring(true);
    bool failed = false;
    bool cancelled = false;
    render::streamRasterLines(workImages().exposure, [&](int line,
                                                         std::span<const std::uint8_t> bytes) {
        if (printer::sendRasterLine(link, bytes.data()) != 0) {
            m_ctx.ui.message(printer::kMsgSendFailed, Icon::Information);
            failed = true;
            return false;
        }
        showProgress(line * render::kProgressFull / kLastLine);
        if (m_host.pumpOneEvent() &&
            m_ctx.ui.ask(msg::kAskStopPrinting, Buttons::YesNo, Icon::Information) == Answer::Yes) {
            cancelled = true;
            return false;
        }
        return true;
    });
    if (failed) {
        endJob(JobOutcome::Failed);
        return Flow::Stop;
    }
    if (!cancelled)
        return Flow::Continue;

    if (printer::endPage(link, printer::kEndPageCancel) != 0) {
        m_ctx.ui.message(printer::kMsgSendFailed, Icon::Information);
        endJob(JobOutcome::Failed);
        return Flow::Stop;
    }
    bool goOn = false;
    if (m_batchActive) {
        --m_batchRemaining;
        goOn = m_batchRemaining >= 1 && m_ctx.ui.ask(msg::kAskContinuePrinting, Buttons::YesNo,
                                                     Icon::Question) == Answer::Yes;
    }
    endJob(JobOutcome::Cancelled, goOn);
    if (goOn)
        continueBatch();
    return Flow::Stop;
}

void PrintJob::endPageAndFinish() {
    // The virtual printer re-assembles the page at its end: it is shown in the job's
    // colours only while the proof is handed over, and never outlives this call.
    render::LevelProof proof = m_proof ? *m_proof : render::LevelProof::forInputs(inputs());
    m_ctx.link.api().setPageProof(&jobPageProof, &proof);
    const bool ended = printer::endPage(m_ctx.link, printer::kEndPageComplete) == 0;
    m_ctx.link.api().setPageProof(nullptr, nullptr);
    if (!ended)
        m_ctx.ui.message(printer::kMsgSendFailed, Icon::Information);
    bool goOn = false;
    if (ended && m_batchActive) {
        --m_batchRemaining;
        goOn = m_batchRemaining >= 1;
    }
    endJob(ended ? JobOutcome::Printed : JobOutcome::Failed, goOn);
    if (goOn)
        continueBatch();
}

void PrintJob::continueBatch() {
    // Busy through the pause between pictures, so no second job starts in it.
    m_ctx.state.printBusy = true;
    arm(kArmMs);
}

void PrintJob::endJob(JobOutcome outcome, bool batchGoesOn) {
    if (m_selected) {
        m_ctx.link.lptRelease();
        m_ctx.link.lptRelease();
        m_selected = false;
    }
    if (platform::ProgressDisplay* p = progress()) {
        p->flags.preparingData = false;
        p->flags.bmxOnly = false;
        p->flags.colourStagesRunning = false;
    }
    redraw();
    m_ctx.state.printBusy = false;
    // Nothing of this job may carry over into the next one: neither its levels
    // nor the switch to BMX output.
    m_picturePrepared = false;
    m_proof.reset();
    m_bmxOnly = false;
    if (!batchGoesOn) {
        m_batchActive = false;
        m_batchRemaining = 0;
    }
    m_outcome = outcome;
    m_host.transferring(false);
}

} // namespace kv::jobs
