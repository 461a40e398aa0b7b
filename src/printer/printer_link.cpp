#include "printer/printer_link.h"

#include "platform/paths.h"
#include "platform/port_lock.h"
#include "platform/profile.h"
#include "printer/port_io.h"
#include "printer/port_protocol.h"
#include "printer/printer_messages.h"

#include <array>
#include <cstdio>
#include <string>

namespace kv::printer {

namespace {

using Icon = platform::Ui::Icon;

constexpr std::uint32_t kResetSettleMs = 300;
constexpr std::uint32_t kStatePauseMs = 100;
constexpr std::uint32_t kSequenceByteMs = 1;
// How often a port kept by another program is tried again.
constexpr std::uint32_t kPortLockPollMs = 20;

// What a printer that does not answer gives.
constexpr std::uint32_t kRefusedCommand =
    static_cast<std::uint32_t>(CommandResult::NotReadyBeforeHeader);
constexpr std::uint16_t kRefusedReady = static_cast<std::uint16_t>(ReadyCode::Busy);
constexpr std::uint16_t kRefusedReset = 1;
constexpr std::int32_t kRefusedInit = 0;

// Bit 6 clocks, bits 4 and 5 carry a two-bit symbol; only the last symbol differs.
constexpr std::array<std::uint8_t, 18> kSelectFirst = {0xFF, 0x4A, 0x0A, 0x5A, 0x1A, 0x7A,
                                                       0x3A, 0x6A, 0x2A, 0x4A, 0x0A, 0x5A,
                                                       0x1A, 0x7A, 0x3A, 0x7A, 0x3A, 0xFF};
constexpr std::array<std::uint8_t, 18> kSelectSecond = {0xFF, 0x4A, 0x0A, 0x5A, 0x1A, 0x7A,
                                                        0x3A, 0x6A, 0x2A, 0x4A, 0x0A, 0x5A,
                                                        0x1A, 0x7A, 0x3A, 0x4A, 0x0A, 0xFF};
constexpr std::array<std::uint8_t, 18> kRelease = {0xFF, 0x4A, 0x0A, 0x5A, 0x1A, 0x7A,
                                                   0x3A, 0x6A, 0x2A, 0x4A, 0x0A, 0x5A,
                                                   0x1A, 0x7A, 0x3A, 0x5A, 0x1A, 0xFF};

constexpr std::string_view kProfileFile = "kvprn.ini";
constexpr std::string_view kPortSection = "LPT PORT";
constexpr std::string_view kAddressKey = "LPT_ADDRESS";

} // namespace

PrinterLink::PrinterLink(PortApi& api, platform::Clock& clock, platform::Ui& ui,
                         platform::ProgressDisplay* progress, std::filesystem::path systemDir)
    : m_api(api), m_clock(clock), m_ui(ui), m_progress(progress),
      m_systemDir(std::move(systemDir)) {}

PrinterLink::~PrinterLink() = default;

void PrinterLink::setPortLockFolder(std::filesystem::path folder) {
    if (holdsPort())
        return;
    m_lockFolder = std::move(folder);
    m_lock.reset();
}

bool PrinterLink::holdsPort() const {
    return m_lock && m_lock->held();
}

bool PrinterLink::takePort(std::uint32_t waitMs, bool tell) {
    // Without the library nothing reaches a port; a double names none.
    const std::string& identity = m_api.portIdentity();
    if (identity.empty() || !m_api.available())
        return true;
    if (!m_lock || m_lockIdentity != identity) {
        if (m_lockFolder.empty()) {
            const auto place = platform::PortLock::placeFor(identity);
            m_lock = std::make_unique<platform::PortLock>(place.file, place.kind);
            m_lockProblem = place.problem;
        } else {
            m_lock = std::make_unique<platform::PortLock>(m_lockFolder /
                                                          platform::PortLock::fileName(identity));
        }
        m_lockIdentity = identity;
    }
    const std::uint32_t start = m_clock.tickMs();
    bool waited = false;
    const auto waitOver = [&](PortWaitEnd end) {
        if (waited && m_portWaitEnd)
            m_portWaitEnd(end);
    };
    // Stopped by the user: no message, they know why nothing printed.
    const auto stopped = [&] {
        if (!stopRequested())
            return false;
        waitOver(PortWaitEnd::Stopped);
        return true;
    };
    for (;;) {
        // A stop asked for during the pause wins over a port that came free just then.
        if (waited && stopped())
            return false;
        switch (m_lock->tryLock()) {
        case platform::PortLock::Attempt::Held:
            if (waited && m_portWaitNotice)
                m_portWaitNotice(false);
            waitOver(PortWaitEnd::Taken);
            return true;
        case platform::PortLock::Attempt::Unavailable:
            waitOver(PortWaitEnd::Taken);
            // A lock folder we cannot use must not keep the user from the printer.
            if (!m_lockTroubleTold) {
                m_lockTroubleTold = true;
                std::string text(m_lockProblem.empty() ? kMsgPortLockUnavailable
                                                       : kMsgPortLockFolderUnfit);
                text.replace(text.find("%s"), 2,
                             m_lockProblem.empty() ? m_lock->file().string() : m_lockProblem);
                std::fprintf(stderr, "%s\n", text.c_str());
            }
            return true;
        case platform::PortLock::Attempt::InUse:
            break;
        }
        if (stopped())
            return false;
        // A silent look (the release after a bracket) is no wait: nobody hears of it.
        if (waitMs == 0 && !tell)
            return false;
        waited = true;
        const bool keepWaiting = !m_portWaitNotice || m_portWaitNotice(true);
        // The notice may have taken the user's stop (a window reads its keys there).
        if (stopped())
            return false;
        if (!keepWaiting || m_clock.tickMs() - start >= waitMs) {
            waitOver(PortWaitEnd::GaveUp);
            if (tell)
                m_ui.message(kMsgPortInUse, Icon::Information);
            return false;
        }
        m_clock.delayMs(kPortLockPollMs);
    }
}

void PrinterLink::dropPort() {
    if (m_lock)
        m_lock->unlock();
}

template <typename Call, typename Result> Result PrinterLink::guarded(Call call, Result refused) {
    if (m_selectDepth > 0)
        return m_bracketDenied ? refused : call();
    if (!takePort(m_lockWaitMs, true))
        return refused;
    const Result result = call();
    dropPort();
    return result;
}

std::uint32_t PrinterLink::GuardedApi::commandSet(std::uint8_t* block) {
    const std::uint32_t result =
        m_link.guarded([&] { return m_link.m_api.commandSet(block); }, kRefusedCommand);
    // A refused call leaves the result byte as Command_set would.
    if (block && result == kRefusedCommand)
        block[7] = static_cast<std::uint8_t>(result);
    return result;
}

std::uint16_t PrinterLink::GuardedApi::isReady() {
    return m_link.guarded([&] { return m_link.m_api.isReady(); }, kRefusedReady);
}

std::uint16_t PrinterLink::GuardedApi::lptReset() {
    return m_link.guarded([&] { return m_link.m_api.lptReset(); }, kRefusedReset);
}

std::int32_t PrinterLink::GuardedApi::initPort(std::int32_t address) {
    return m_link.guarded([&] { return m_link.m_api.initPort(address); }, kRefusedInit);
}

void PrinterLink::GuardedApi::writeData(std::uint16_t port, std::uint8_t value) {
    m_link.guarded(
        [&] {
            m_link.m_api.writeData(port, value);
            return true;
        },
        false);
}

std::uint32_t PrinterLink::send() {
    return m_guarded.commandSet(m_block.raw());
}

PrinterState PrinterLink::queryPrinterState() {
    switch (m_guarded.isReady()) {
    case 0:
        return PrinterState::Ready;
    case 1:
        delayMs(kStatePauseMs);
        return PrinterState::NoPaper;
    case 2:
        delayMs(kStatePauseMs);
        return PrinterState::Fault;
    default:
        return PrinterState::Busy;
    }
}

void PrinterLink::delayMs(std::uint32_t ms) {
    m_clock.delayMs(ms);
}

void PrinterLink::lptSelect() {
    if (m_selectDepth++ > 0)
        return;
    m_bracketDenied = !takePort(m_lockWaitMs, true);
    m_lastBracketDenied = m_bracketDenied;
    if (m_bracketDenied)
        return;
    for (std::uint16_t port : kStandardPorts) {
        for (const auto* sequence : {&kSelectFirst, &kSelectSecond}) {
            for (std::uint8_t byte : *sequence) {
                delayMs(kSequenceByteMs);
                m_api.writeData(port, byte);
            }
        }
    }
}

void PrinterLink::lptRelease() {
    if (m_selectDepth > 0) {
        --m_selectDepth;
        if (!m_bracketDenied)
            writeRelease();
        if (m_selectDepth == 0) {
            dropPort();
            m_bracketDenied = false;
        }
        return;
    }
    // A release after the bracket closed (the job releases twice). Sent only while
    // nobody else has the port: their printer must not be deselected under them.
    if (m_lastBracketDenied || !takePort(0, false))
        return;
    writeRelease();
    dropPort();
}

void PrinterLink::writeRelease() {
    for (std::uint16_t port : kStandardPorts) {
        for (std::uint8_t byte : kRelease) {
            delayMs(kSequenceByteMs);
            m_api.writeData(port, byte);
        }
    }
}

void PrinterLink::resetAfterBinding() {
    lptSelect();
    if (!selectRefused()) {
        delayMs(kResetSettleMs);
        m_api.lptReset();
    }
    lptRelease();
    lptRelease();
}

void PrinterLink::resetPrinter() {
    if (!m_api.available()) {
        m_ui.message(kMsgLibraryNotLoaded, Icon::Stop);
        return;
    }
    lptSelect();
    if (!selectRefused()) {
        delayMs(kResetSettleMs);
        if (m_api.lptReset() != 0)
            m_ui.message(kMsgResetFailed, Icon::None);
    }
    lptRelease();
    lptRelease();
}

bool PrinterLink::findPrinter() {
    // Without the library there is nothing to search with; the stored address stays.
    if (!m_api.available()) {
        m_printerFound = false;
        m_ui.message(kMsgLibraryNotLoaded, Icon::Stop);
        return false;
    }

    // The port kept by another program: the printer stays "not found" for now, and
    // the stored address stays for the next search.
    lptSelect();
    if (selectRefused()) {
        lptRelease();
        m_printerFound = false;
        return false;
    }
    delayMs(kResetSettleMs);
    m_api.lptReset();
    delayMs(kResetSettleMs);
    if (m_api.lptReset() != 0)
        m_ui.message(kMsgResetFailed, Icon::None);

    platform::Profile profile(platform::findNoCase(m_systemDir, std::string(kProfileFile)));
    const int stored = profile.readInt(kPortSection, kAddressKey, 0);
    const bool searching = stored == 0 && m_progress;
    if (searching) {
        m_progress->flags.printerSearch = true;
        m_progress->showProgress(0);
    }

    const std::int32_t address = m_api.initPort(stored);

    if (searching) {
        m_progress->redraw();
        m_progress->flags.printerSearch = false;
    }

    if (address >= 1) {
        m_printerFound = true;
        m_printerAddress = address;
        profile.writeString(kPortSection, kAddressKey, std::to_string(address));
        m_api.lptReset();
    } else {
        m_printerFound = false;
        profile.writeString(kPortSection, kAddressKey, "0");
        m_ui.message(kMsgPrinterNotFound, Icon::None);
    }
    lptRelease();
    return m_printerFound;
}

} // namespace kv::printer
