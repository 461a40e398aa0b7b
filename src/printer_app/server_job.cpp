#include "printer_app/server_job.h"

#include "adjust/adjust_messages.h"
#include "jobs/job_messages.h"
#include "platform/paths.h"
#include "printer/printer_messages.h"
#include "render/print_preparation.h"
#include "shell/startup.h"

#include <charconv>
#include <cstdlib>

namespace kv::printer_app {

namespace fs = std::filesystem;
using printer::PrinterState;

namespace {

constexpr std::uint32_t kTroublePollMs = 200;
constexpr std::string_view kProgramDirectoryUnusable =
    "Das Programmverzeichnis kann nicht geöffnet werden: ";
constexpr std::string_view kNoWorkFolder = "Kein temporärer Ordner für den Druckauftrag in ";
constexpr std::string_view kPrinting = "Das Blatt wird gedruckt...";
constexpr std::string_view kPrinted = "Gedruckt.";
constexpr std::string_view kNoMatchTable =
    "Die Farbzuordnungstabelle ist nicht zu finden; es wird ohne sie gedruckt.";
constexpr std::string_view kPrintedWithoutTable = "Gedruckt ohne Farbzuordnungstabelle.";
constexpr std::string_view kPrintingAgain =
    "Der Drucker ist wieder bereit; das Blatt wird von vorn gedruckt.";

// A question's first line says what is wrong; the rest asks the person who is not there.
std::string_view firstLine(std::string_view text) {
    return text.substr(0, text.find('\n'));
}

} // namespace

ServerSettings serverSettingsFromEnvironment(fs::path executableDir) {
    ServerSettings settings;
    settings.executableDir = std::move(executableDir);
    if (const char* text = std::getenv("KVPR_SERVER_WAIT_S"); text && *text) {
        std::uint32_t seconds = 0;
        const char* end = text + std::char_traits<char>::length(text);
        const auto [ptr, ec] = std::from_chars(text, end, seconds);
        if (ec == std::errc() && ptr == end && seconds <= 24 * 60 * 60)
            settings.troubleWaitMs = seconds * 1000;
    }
    return settings;
}

namespace {

// A search reports to nobody: what it finds is its answer.
class SilentReport : public JobReport {
  public:
    bool canceled() override { return false; }
    void message(std::string_view) override {}
    void trouble(Trouble, std::string_view) override {}
    void sheetPrinted() override {}
};

} // namespace

int findPrinterPort(const ServerSettings& settings) {
    SilentReport report;
    ServerJobUi ui(report, settings);
    shell::AppState state;
    shell::Session session(state, ui);
    session.setPortLibraryFolder(settings.executableDir);
    if (!session.openProgramDirectory(shell::shippedDataDirectory(settings.executableDir)) ||
        !session.loadPortLibrary() || !session.printerLink().findPrinter())
        return 0;
    // LPT1 to LPT4 at their usual addresses.
    switch (session.printerLink().printerAddress()) {
    case 0x378:
        return 1;
    case 0x278:
        return 2;
    case 0x3BC:
        return 3;
    case 0x2BC:
        return 4;
    default:
        return 0;
    }
}

void ServerJobUi::message(std::string_view text, Icon) {
    m_last = std::string(text);
    m_report.message(text);
}

platform::Ui::Answer ServerJobUi::ask(std::string_view text, Buttons buttons, Icon) {
    if (text == jobs::msg::kAskNoPaper)
        return waitWhile(PrinterState::NoPaper, Trouble::MediaEmpty, firstLine(text)) ? Answer::Yes
                                                                                      : Answer::No;
    if (text == jobs::msg::kPrinterFault)
        return waitWhile(PrinterState::Fault, Trouble::Fault, firstLine(text)) ? Answer::Retry
                                                                               : Answer::Cancel;
    // Only a cancelled job (or a server being stopped) presses ESC; the page then goes.
    if (text == jobs::msg::kAskStopPrinting)
        return Answer::Yes;
    // Every fresh install lacks the table: said once a job, and printed without it.
    if (text == adjust::kAskPrintWithoutMatchTable) {
        if (!m_report.toldNoMatchTable) {
            m_report.toldNoMatchTable = true;
            m_report.message(kNoMatchTable);
        }
        return Answer::Yes;
    }
    // Every other question (printing without the colour-matching table) goes on as a
    // user who wants the print would answer; a batch never runs here.
    if (text == jobs::msg::kAskContinue)
        return Answer::No;
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return Answer::Ok;
    case Buttons::RetryCancel:
        return Answer::Retry;
    case Buttons::YesNo:
        break;
    }
    return Answer::Yes;
}

bool ServerJobUi::waitWhile(PrinterState state, Trouble trouble, std::string_view text) {
    m_report.trouble(trouble, text);
    m_report.message(text);
    bool cleared = false;
    if (m_link) {
        platform::Clock& clock = m_link->clock();
        const std::uint32_t start = clock.tickMs();
        while (!m_report.canceled() && !m_report.stopping()) {
            // Checked first: a printer that keeps failing again gets no fresh wait.
            if (m_waitedMs + (clock.tickMs() - start) >= m_settings.troubleWaitMs)
                break;
            if (m_link->queryPrinterState() != state) {
                cleared = true;
                break;
            }
            m_link->delayMs(kTroublePollMs);
        }
        m_waitedMs += clock.tickMs() - start;
    }
    m_report.trouble(Trouble::None, {});
    if (!cleared)
        m_last = std::string(text);
    return cleared;
}

bool ServerJobUi::waitOutTrouble() {
    if (!m_link)
        return false;
    // A sheet that failed on a ready printer failed for another reason: it stays failed.
    bool waited = false;
    for (;;) {
        if (m_report.canceled() || m_report.stopping())
            return false;
        const PrinterState now = m_link->queryPrinterState();
        if (now == PrinterState::NoPaper) {
            if (!waitWhile(now, Trouble::MediaEmpty, firstLine(jobs::msg::kAskNoPaper)))
                return false;
        } else if (now == PrinterState::Fault) {
            if (!waitWhile(now, Trouble::Fault, firstLine(jobs::msg::kPrinterFault)))
                return false;
        } else {
            return waited;
        }
        waited = true;
    }
}

void JobProgress::tell() {
    // The stages raise the flag while they run; the first look after they lowered it
    // is when the sheet's levels are whole.
    if (flags.colourStagesRunning) {
        m_inStages = true;
    } else if (m_inStages) {
        m_inStages = false;
        if (m_stagesDone)
            m_stagesDone();
    }
    std::string_view phase;
    if (flags.warmingUp)
        phase = jobs::msg::kWarmingUp;
    else if (flags.printerSearch)
        phase = jobs::msg::kSearchingPrinter;
    else if (flags.preparingData || flags.colourStagesRunning)
        phase = jobs::msg::kPreparingData;
    else if (m_transferring)
        phase = kPrinting;
    if (phase.empty() || phase == m_told)
        return;
    m_told = phase;
    m_report.message(phase);
}

SheetPrinter::SheetPrinter(JobReport& report, const ServerSettings& settings)
    : m_report(report), m_settings(settings), m_ui(report, settings), m_progress(report),
      m_session(m_state, m_ui) {
    m_progress.onStagesDone([this] {
        if (!m_job || !m_levelsMade)
            return;
        // The inputs the job's stages just read, so the proof inverts these very levels.
        const media::MediaContext media = m_session.mediaContext();
        const render::PrintInputs inputs{m_session.pictureSettings(), m_job->colourMatching(),
                                         media.media.calibration, media.media.gamma,
                                         media.programDir};
        m_levelsMade(m_job->images().exposure, render::LevelProof::forInputs(inputs));
    });
}

SheetPrinter::~SheetPrinter() = default;

bool SheetPrinter::open() {
    m_session.setPortLibraryFolder(m_settings.executableDir);
    if (!m_session.openProgramDirectory(shell::shippedDataDirectory(m_settings.executableDir))) {
        m_failure = std::string(kProgramDirectoryUnusable) + m_state.programDirectory.string();
        return false;
    }
    if (m_scratch.path().empty()) {
        m_failure = std::string(kNoWorkFolder) + platform::driveC().string();
        return false;
    }
    m_session.loadAdjustmentSettings();
    m_session.loadMediaCalibration();

    // A port kept by the window or a terminal print is waited for, and shown.
    printer::PrinterLink& link = m_session.printerLink();
    link.setPortLockWaitMs(m_settings.troubleWaitMs);
    link.setPortWaitNotice([this](bool waiting) {
        if (!waiting) {
            m_report.trouble(Trouble::None, {});
            return true;
        }
        m_report.trouble(Trouble::PortInUse, printer::kMsgPortInUse);
        return !m_report.canceled() && !m_report.stopping();
    });
    m_ui.setLink(&link);
    if (!m_session.loadPortLibrary()) {
        m_failure = m_ui.lastMessage();
        return false;
    }
    link.setProgress(&m_progress);
    return true;
}

SheetPrinter::Result SheetPrinter::printPicture(const fs::path& picture) {
    m_ui.startSheet();
    platform::Clock& clock = m_session.printerLink().clock();
    for (;;) {
        const std::uint32_t start = clock.tickMs();
        const std::uint32_t waitedBefore = m_ui.waitedMs();
        const Result result = printOnce(picture);
        if (result != Result::Failed)
            return result;
        // An attempt that failed on the printer's trouble counts as time waited for it.
        const std::uint32_t spent = clock.tickMs() - start;
        const std::uint32_t waited = m_ui.waitedMs() - waitedBefore;
        if (spent > waited)
            m_ui.chargeWait(spent - waited);
        if (!m_ui.waitOutTrouble()) {
            if (m_report.canceled())
                return Result::Cancelled;
            if (m_report.stopping())
                return Result::Interrupted;
            // A wait that ran out names the trouble; otherwise the engine's reason stays.
            if (!m_ui.lastMessage().empty())
                m_failure = m_ui.lastMessage();
            return result;
        }
        // Whatever the printer had of the sheet is gone with the fault: all of it again.
        m_report.message(kPrintingAgain);
    }
}

SheetPrinter::Result SheetPrinter::printOnce(const fs::path& picture) {
    m_failure.clear();
    m_state.loadPictureFile({picture.string(), picture.filename().string()});
    printer::PrinterLink& link = m_session.printerLink();
    jobs::PrintJob job(jobs::JobContext{m_state, m_ui, link, m_session.mediaContext(),
                                        m_session.pictureSettings(), m_scratch.path(),
                                        render::defaultBmxFile()},
                       *this);
    m_armedMs.reset();
    m_job = &job;
    struct Forget {
        const jobs::PrintJob*& job;
        ~Forget() { job = nullptr; }
    } forget{m_job};
    job.printCurrent();
    Result result = Result::Failed;
    while (m_armedMs) {
        const int ms = *m_armedMs;
        m_armedMs.reset();
        if (m_report.canceled() || m_report.stopping())
            break;
        link.delayMs(static_cast<std::uint32_t>(ms));
        job.step();
        if (job.lastOutcome() == jobs::JobOutcome::Printed)
            result = Result::Printed;
        else if (job.lastOutcome() == jobs::JobOutcome::Cancelled)
            result = Result::Cancelled;
    }
    if (result == Result::Printed) {
        m_report.sheetPrinted();
        m_report.message(m_report.toldNoMatchTable ? kPrintedWithoutTable : kPrinted);
        return result;
    }
    if (m_report.canceled())
        return Result::Cancelled;
    if (m_report.stopping())
        return Result::Interrupted;
    m_failure = m_ui.lastMessage();
    if (m_failure.empty())
        m_failure = "Der Druck wurde nicht beendet.";
    return result;
}

std::string SheetPrinter::failure() const {
    return m_failure;
}

} // namespace kv::printer_app
