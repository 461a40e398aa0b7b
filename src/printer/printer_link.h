#pragma once

#include "platform/clock.h"
#include "platform/progress.h"
#include "platform/ui.h"
#include "printer/command_block.h"
#include "printer/port_api.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace kv::platform {
class PortLock;
}

namespace kv::printer {

// The application's side of the port: the command block, readiness, the select
// and release brackets, the port search and the reset. Everything that talks to
// the printer goes through one PrinterLink.
//
// The port lock: every conversation holds the lock of the api's port (see
// PortApi::portIdentity), so the register traffic of two processes never
// interleaves. A select bracket holds it from LPT_Select to the release that
// closes the outermost select; a call outside a bracket holds it for that call.
// A port kept by another program is waited for (the clock keeps the windows
// painted), then the user is told and the bracket or call is refused as by a
// printer that does not answer: Command_set 1, Is_Ready busy, LPT_Reset failed,
// InitPort no printer.
class PrinterLink {
  public:
    static constexpr std::uint32_t kPortLockWaitMs = 30000;

    // `systemDir` holds kvprn.ini. `progress` may be null (no status strip).
    PrinterLink(PortApi& api, platform::Clock& clock, platform::Ui& ui,
                platform::ProgressDisplay* progress, std::filesystem::path systemDir);
    ~PrinterLink();
    PrinterLink(const PrinterLink&) = delete;
    PrinterLink& operator=(const PrinterLink&) = delete;

    // The port library's calls, under the port lock.
    PortApi& api() { return m_guarded; }
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
    // The port address the last search found the printer at; 0 when none.
    std::int32_t printerAddress() const { return m_printerFound ? m_printerAddress : 0; }
    // True while the open bracket did not get the port: another program kept it past
    // the wait (the user was told), and the bracket's calls are refused.
    bool selectRefused() const { return m_selectDepth > 0 && m_bracketDenied; }

    // Where the lock files are (default: PortLock::placeFor, the port's device node or
    // the user's private folder) and how long a busy port is waited for.
    void setPortLockFolder(std::filesystem::path folder);
    void setPortLockWaitMs(std::uint32_t ms) { m_lockWaitMs = ms; }
    // Told at every look while another program keeps the port (true), and once when
    // the port is taken after such a wait (false). Returning false gives up at once.
    void setPortWaitNotice(std::function<bool(bool waiting)> notice) {
        m_portWaitNotice = std::move(notice);
    }
    // How a wait for the port ended: the port was taken, the user asked to stop (see
    // setStopRequest), or the wait gave up (its bound ran out or the notice said so).
    enum class PortWaitEnd { Taken, Stopped, GaveUp };
    // Told once when a wait for the port ends, before the user hears of it, so a front
    // end can take down what it showed for the wait.
    void setPortWaitEnd(std::function<void(PortWaitEnd)> end) { m_portWaitEnd = std::move(end); }
    std::uint32_t portLockWaitMs() const { return m_lockWaitMs; }
    // Whether this link holds its port's lock now.
    bool holdsPort() const;
    // Asked at every wait (the port, the warm-up, the ready printer, the paper): true
    // ends the wait at once, because the user asked to stop.
    void setStopRequest(std::function<bool()> stop) { m_stopRequest = std::move(stop); }
    bool stopRequested() const { return m_stopRequest && m_stopRequest(); }

  private:
    class GuardedApi : public PortApi {
      public:
        explicit GuardedApi(PrinterLink& link) : m_link(link) {}
        float getDllVersion() override { return m_link.m_api.getDllVersion(); }
        std::uint32_t commandSet(std::uint8_t* block) override;
        std::uint16_t isReady() override;
        std::uint16_t lptReset() override;
        std::int32_t initPort(std::int32_t address) override;
        void writeData(std::uint16_t port, std::uint8_t value) override;
        // No register traffic: not under the port lock.
        void setPageProof(KvPageProofFunction function, void* context) override {
            m_link.m_api.setPageProof(function, context);
        }
        bool available() const override { return m_link.m_api.available(); }

      private:
        PrinterLink& m_link;
    };

    // Runs `call` with the port held; `refused` when another program keeps it.
    template <typename Call, typename Result> Result guarded(Call call, Result refused);
    // Takes the port lock, waiting at most `waitMs`; tells the user when it gives up
    // and `tell` is set. True also when there is nothing to lock.
    bool takePort(std::uint32_t waitMs, bool tell);
    void dropPort();
    void writeRelease();

    PortApi& m_api;
    GuardedApi m_guarded{*this};
    std::unique_ptr<platform::PortLock> m_lock;
    std::string m_lockIdentity;
    std::filesystem::path m_lockFolder;
    std::uint32_t m_lockWaitMs = kPortLockWaitMs;
    bool m_lockTroubleTold = false;
    std::string m_lockProblem; // why the default lock folder is unfit
    std::function<bool(bool waiting)> m_portWaitNotice;
    std::function<void(PortWaitEnd)> m_portWaitEnd;
    std::function<bool()> m_stopRequest;
    int m_selectDepth = 0;
    bool m_bracketDenied = false;     // the open bracket did not get the port
    bool m_lastBracketDenied = false; // the last bracket did not: its extra releases do nothing

    platform::Clock& m_clock;
    platform::Ui& m_ui;
    platform::ProgressDisplay* m_progress;
    std::filesystem::path m_systemDir;
    CommandBlock m_block;
    bool m_printerFound = false;
    std::int32_t m_printerAddress = 0;
};

} // namespace kv::printer
