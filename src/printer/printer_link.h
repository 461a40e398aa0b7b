#pragma once

#include "platform/clock.h"
#include "platform/progress.h"
#include "platform/ui.h"
#include "printer/command_block.h"
#include "printer/port_api.h"

#include <filesystem>

namespace kv::printer {

// The application's side of the port: the command block, readiness, the select
// and release brackets, the port search and the reset. Everything that talks to
// the printer goes through one PrinterLink.
class PrinterLink {
  public:
    // `systemDir` holds kvprn.ini. `progress` may be null (no status strip).
    PrinterLink(PortApi& api, platform::Clock& clock, platform::Ui& ui,
                platform::ProgressDisplay* progress, std::filesystem::path systemDir);

    PortApi& api() { return m_api; }
    platform::Clock& clock() { return m_clock; }
    platform::Ui& ui() { return m_ui; }
    platform::ProgressDisplay* progress() { return m_progress; }
    // The status strip exists only after the library is bound.
    void setProgress(platform::ProgressDisplay* progress) { m_progress = progress; }
    CommandBlock& block() { return m_block; }

    // One exchange of the shared command block; the result code of Command_set.
    std::uint32_t send();

    PrinterState queryPrinterState(); // QueryPrinterState, with its pauses
    void delayMs(std::uint32_t ms);   // DelayMs
    void lptSelect();                 // LPT_Select
    void lptRelease();                // LPT_Release
    bool findPrinter();               // FindPrinter: true when found
    void resetPrinter();              // ResetPrinter (F4)
    void resetAfterBinding();         // the first reset once the library is bound
    bool printerFound() const { return m_printerFound; }

  private:
    PortApi& m_api;
    platform::Clock& m_clock;
    platform::Ui& m_ui;
    platform::ProgressDisplay* m_progress;
    std::filesystem::path m_systemDir;
    CommandBlock m_block;
    bool m_printerFound = false;
};

} // namespace kv::printer
