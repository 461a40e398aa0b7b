#pragma once

#include "cli/console_ui.h"
#include "cli/terminal_progress.h"
#include "jobs/print_job.h"
#include "platform/clock.h"
#include "platform/terminal.h"

#include <optional>
#include <ostream>

// The print job engine on a terminal: the timer is a plain loop, Ctrl+C is ESC.
namespace kv::cli {

// The engine's questions on the terminal, with what Ctrl+C and SIGTERM decide: a
// second Ctrl+C (also one pressed at the stop question) or SIGTERM stops the page
// at once, and then no batch goes on after it.
class TerminalJobUi : public platform::Ui {
  public:
    // `progress` (may be null) has its line finished before a text of ours.
    TerminalJobUi(ConsoleUi& console, const platform::InterruptCatcher& signals, std::ostream& err,
                  TerminalProgress* progress = nullptr)
        : m_console(console), m_signals(signals), m_err(err), m_progress(progress) {}

    void message(std::string_view text, Icon icon) override { m_console.message(text, icon); }
    Answer ask(std::string_view text, Buttons buttons, Icon icon) override;

    // A signal decided a question (the printing stops for good).
    bool stoppedBySignal() const { return m_forced; }

  protected:
    void beginWait() override {}
    void endWait() override {}

  private:
    Answer decided(std::string_view text, Answer answer);

    ConsoleUi& m_console;
    const platform::InterruptCatcher& m_signals;
    std::ostream& m_err;
    TerminalProgress* m_progress;
    bool m_forced = false;
};

class TerminalJobHost : public jobs::JobHost {
  public:
    // `progress` may be null (--quiet).
    TerminalJobHost(platform::Clock& clock, const platform::InterruptCatcher& signals,
                    TerminalProgress* progress, std::ostream& err, bool quiet)
        : m_clock(clock), m_signals(signals), m_progress(progress), m_err(err), m_quiet(quiet) {}

    void armTimer(int ms) override { m_armedMs = ms; }
    // True when Ctrl+C came since the last call, or SIGTERM came.
    bool pumpOneEvent() override;
    void transferring(bool on) override;
    void batchPictureShown(int index) override;

    struct Tally {
        int printed = 0;      // sheets ended with EndPage 0x00
        int cancelled = 0;    // sheets dropped with EndPage 0xFF
        bool stopped = false; // a signal ended the loop between sheets
    };
    // Runs the job's steps as long as the job re-arms its timer, each after its delay.
    Tally run(jobs::PrintJob& job);

  private:
    platform::Clock& m_clock;
    const platform::InterruptCatcher& m_signals;
    TerminalProgress* m_progress;
    std::ostream& m_err;
    bool m_quiet;
    jobs::PrintJob* m_job = nullptr;
    std::optional<int> m_armedMs;
    int m_seenInterrupts = 0;
};

} // namespace kv::cli
