#include "printer/printer_link.h"

#include "platform/paths.h"
#include "platform/profile.h"
#include "printer/port_io.h"
#include "printer/printer_messages.h"

#include <array>
#include <string>

namespace kv::printer {

namespace {

using Icon = platform::Ui::Icon;

constexpr std::uint32_t kResetSettleMs = 300;
constexpr std::uint32_t kStatePauseMs = 100;
constexpr std::uint32_t kSequenceByteMs = 1;

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

std::uint32_t PrinterLink::send() {
    return m_api.commandSet(m_block.raw());
}

PrinterState PrinterLink::queryPrinterState() {
    switch (m_api.isReady()) {
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
    for (std::uint16_t port : kStandardPorts) {
        for (std::uint8_t byte : kRelease) {
            delayMs(kSequenceByteMs);
            m_api.writeData(port, byte);
        }
    }
}

void PrinterLink::resetAfterBinding() {
    lptSelect();
    delayMs(kResetSettleMs);
    m_api.lptReset();
    lptRelease();
    lptRelease();
}

void PrinterLink::resetPrinter() {
    if (!m_api.available()) {
        m_ui.message(kMsgLibraryNotLoaded, Icon::Stop);
        return;
    }
    lptSelect();
    delayMs(kResetSettleMs);
    if (m_api.lptReset() != 0)
        m_ui.message(kMsgResetFailed, Icon::None);
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

    lptSelect();
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
