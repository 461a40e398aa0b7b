#pragma once

#include "jobs/print_job.h"
#include "platform/scratch_folder.h"
#include "platform/ui.h"
#include "render/print_proof.h"
#include "shell/app_state.h"
#include "shell/session.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The print job engine in a print server: nobody sits at the printer, so the
// engine's questions become states of the server's job and printer, and a printer
// that needs a hand is waited for instead of asked about.
namespace kv::printer_app {

// What the server shows of the printer while a job waits for it.
enum class Trouble {
    None,
    MediaEmpty, // the paper is out
    Fault,      // a printer error or a paper jam
    PortInUse,  // another program drives the port
};

// The server's side of one job (an IPP job in the real server, a recorder in tests).
class JobReport {
  public:
    virtual ~JobReport() = default;
    // The job was cancelled: the page in progress is dropped, nothing more prints.
    virtual bool canceled() = 0;
    // The server is being stopped: waits end and the page in progress is dropped, and
    // the job is kept to print again at the next start.
    virtual bool stopping() { return false; }
    // A line for the job's state message and the log.
    virtual void message(std::string_view text) = 0;
    // The printer's state reasons: set while `trouble` lasts, cleared with None.
    virtual void trouble(Trouble trouble, std::string_view text) = 0;
    // One sheet came out.
    virtual void sheetPrinted() = 0;

    // The job printed without the colour-matching table; told once a job.
    bool toldNoMatchTable = false;
};

struct ServerSettings {
    // Where the program's port library and shipped data are found.
    std::filesystem::path executableDir;
    // How long paper, a fault or a port kept by another program is waited for
    // before the job is aborted.
    std::uint32_t troubleWaitMs = 10 * 60 * 1000;
};

// The waits of KVPR_SERVER_WAIT_S (seconds) when it is set to a number.
ServerSettings serverSettingsFromEnvironment(std::filesystem::path executableDir);

// The parallel port the program finds the printer on (FindPrinter, with the port
// library's backend as the environment sets it): 1 to 4 for LPT1 to LPT4, 0 for none.
int findPrinterPort(const ServerSettings& settings);

// The engine's questions and messages, answered for a server.
class ServerJobUi : public platform::Ui {
  public:
    ServerJobUi(JobReport& report, const ServerSettings& settings)
        : m_report(report), m_settings(settings) {}

    // The link the paper and fault waits look at; set before the job runs.
    void setLink(printer::PrinterLink* link) { m_link = link; }

    void message(std::string_view text, Icon icon) override;
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override;

    // The last thing the engine told, or why a wait gave up: the job's reason.
    const std::string& lastMessage() const { return m_last; }

    // A new sheet: its waits together last at most troubleWaitMs.
    void startSheet() { m_waitedMs = 0; }
    void chargeWait(std::uint32_t ms) { m_waitedMs += ms; }
    std::uint32_t waitedMs() const { return m_waitedMs; }
    // After a sheet that failed: waits while the printer reports an empty tray or a
    // fault; true when it is ready again in time, so the sheet is printed anew.
    bool waitOutTrouble();

  protected:
    void beginWait() override {}
    void endWait() override {}

  private:
    // Waits while the printer is in `state`; true when it left it in time.
    bool waitWhile(printer::PrinterState state, Trouble trouble, std::string_view text);

    JobReport& m_report;
    const ServerSettings& m_settings;
    printer::PrinterLink* m_link = nullptr;
    std::string m_last;
    std::uint32_t m_waitedMs = 0;
};

// The status strip of a server: each phase of the job (search, warm-up, data, paper,
// printing) once as the job's state message.
class JobProgress : public platform::ProgressDisplay {
  public:
    explicit JobProgress(JobReport& report) : m_report(report) {}
    void showProgress(int) override { tell(); }
    void redraw() override { tell(); }
    void transferring(bool on) {
        m_transferring = on;
        tell();
    }
    // Called once the colour stages of a sheet have finished.
    void onStagesDone(std::function<void()> done) { m_stagesDone = std::move(done); }

  private:
    void tell();

    JobReport& m_report;
    std::function<void()> m_stagesDone;
    bool m_inStages = false;
    bool m_transferring = false;
    std::string_view m_told;
};

// One IPP job's sheets on the printer: the program directory, its settings and
// calibration, the port library, then each sheet through the engine as the window
// prints its 1-in-1 sheet.
class SheetPrinter : private jobs::JobHost {
  public:
    SheetPrinter(JobReport& report, const ServerSettings& settings);
    ~SheetPrinter() override;
    SheetPrinter(const SheetPrinter&) = delete;
    SheetPrinter& operator=(const SheetPrinter&) = delete;

    // False (with failure()) when the program directory, the work folder or the port
    // library cannot be had.
    bool open();
    // Where the job may put its own files; removed with this object.
    const std::filesystem::path& workDir() const { return m_scratch.path(); }

    // Interrupted: the server is being stopped; the sheet did not come out.
    enum class Result { Printed, Cancelled, Failed, Interrupted };
    // One sheet from a picture file, composed as the 1-in-1 layout composes it. A sheet
    // that meets an empty tray or a fault at any step is printed again from its start
    // once the printer is ready, within troubleWaitMs.
    Result printPicture(const std::filesystem::path& picture);

    // Why the last sheet or open() did not print.
    std::string failure() const;

    // Called with each sheet's print levels once they are made, before they go to the
    // printer, and the proof of this job's calibration.
    using LevelsMade = std::function<void(const render::ExposureImage&, const render::LevelProof&)>;
    void onLevelsMade(LevelsMade made) { m_levelsMade = std::move(made); }

  private:
    Result printOnce(const std::filesystem::path& picture);
    void armTimer(int ms) override { m_armedMs = ms; }
    bool pumpOneEvent() override { return m_report.canceled() || m_report.stopping(); }
    void transferring(bool on) override { m_progress.transferring(on); }
    void batchPictureShown(int) override {}

    JobReport& m_report;
    const ServerSettings& m_settings;
    ServerJobUi m_ui;
    JobProgress m_progress;
    shell::AppState m_state;
    shell::Session m_session;
    platform::ScratchFolder m_scratch;
    std::optional<int> m_armedMs;
    std::string m_failure;
    LevelsMade m_levelsMade;
    const jobs::PrintJob* m_job = nullptr; // the sheet's job while it runs
};

} // namespace kv::printer_app
