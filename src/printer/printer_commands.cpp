#include "printer/printer_commands.h"

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "printer/printer_messages.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

namespace kv::printer {

namespace fs = std::filesystem;
using Icon = platform::Ui::Icon;

void buildReadValue(CommandBlock& block, std::uint8_t parameter, std::uint16_t n) {
    block.set(CommandBlock::Read, n, command::kReadValue, parameter);
}

void buildReadStored(CommandBlock& block, std::uint8_t address) {
    block.set(CommandBlock::Read, 1, command::kReadStored, address);
}

void buildWriteValue(CommandBlock& block, std::uint8_t parameter,
                     std::span<const std::uint8_t> bytes) {
    const std::size_t n = std::min(bytes.size(), CommandBlock::kDataSize);
    block.set(CommandBlock::Write, static_cast<std::uint16_t>(n), command::kWriteValue, parameter);
    std::copy_n(bytes.data(), n, block.data());
}

std::uint32_t readValue(PrinterLink& link, std::uint8_t parameter, std::uint16_t n) {
    buildReadValue(link.block(), parameter, n);
    return link.send();
}

std::uint32_t readStored(PrinterLink& link, std::uint8_t address) {
    buildReadStored(link.block(), address);
    return link.send();
}

std::uint32_t writeValue(PrinterLink& link, std::uint8_t parameter,
                         std::span<const std::uint8_t> bytes) {
    buildWriteValue(link.block(), parameter, bytes);
    return link.send();
}

int sendGuarded(PrinterLink& link) {
    if (link.queryPrinterState() != PrinterState::Ready) {
        link.ui().message(kMsgPrinterNotReady, Icon::None);
        return kCommandFailed;
    }
    if (link.send() != 0) {
        link.ui().message(kMsgSendFailed, Icon::None);
        return kCommandFailed;
    }
    return kCommandSent;
}

int guardedReadValue(PrinterLink& link, std::uint8_t parameter, std::uint16_t n) {
    buildReadValue(link.block(), parameter, n);
    return sendGuarded(link);
}

int guardedReadStored(PrinterLink& link, std::uint8_t address) {
    buildReadStored(link.block(), address);
    return sendGuarded(link);
}

int guardedWriteValue(PrinterLink& link, std::uint8_t parameter,
                      std::span<const std::uint8_t> bytes) {
    buildWriteValue(link.block(), parameter, bytes);
    return sendGuarded(link);
}

int checkPrintParameters(PrinterLink& link) {
    auto failed = [&link] {
        link.ui().message(kMsgSendFailed, Icon::Information);
        return kSequenceFailed;
    };
    // Heater target and page offset: one byte each, rewritten only when they differ.
    const std::array<std::pair<std::uint8_t, std::uint8_t>, 2> singles = {
        {{parameter::kHeaterTarget, kHeaterTargetValue},
         {parameter::kPageOffset, kPageOffsetValue}}};
    bool first = true;
    for (const auto& [number, wanted] : singles) {
        if (!first)
            link.delayMs(10);
        first = false;
        if (readValue(link, number, 1) != 0)
            return failed();
        if (link.block().data()[0] != wanted) {
            link.delayMs(10);
            const std::uint8_t value[] = {wanted};
            if (writeValue(link, number, value) != 0)
                return failed();
        }
    }
    link.delayMs(10);
    if (readValue(link, parameter::kPrintPair, 2) != 0)
        return failed();
    const std::uint8_t* reply = link.block().data();
    if (reply[0] == kPrintPairValue[0] && reply[1] == kPrintPairValue[1])
        return kSequenceOk;
    link.delayMs(10);
    if (writeValue(link, parameter::kPrintPair, kPrintPairValue) != 0)
        return failed();
    return kSequenceOk;
}

int waitWarmUp(PrinterLink& link) {
    platform::ProgressDisplay* progress = link.progress();
    const std::uint32_t start = link.clock().tickMs();
    if (progress) {
        progress->flags.warmingUp = true;
        progress->showProgress(0);
    }
    auto finish = [progress](int code) {
        if (progress) {
            progress->flags.warmingUp = false;
            progress->redraw();
        }
        return code;
    };
    for (;;) {
        if (readValue(link, parameter::kWarmUpState, 1) != 0) {
            link.ui().message(kMsgSendFailed, Icon::None);
            return finish(kSequenceFailed);
        }
        if (link.block().data()[0] == kWarmedUp)
            return finish(kSequenceOk);
        if (link.stopRequested())
            return finish(kSequenceFailed);
        // Unsigned difference: right across a wrap of the tick counter too.
        if (link.clock().tickMs() - start > kWarmUpTimeoutMs) {
            link.ui().message(kMsgUnableToHeatUp, Icon::None);
            return finish(kSequenceFailed);
        }
        link.delayMs(1);
    }
}

int startPage(PrinterLink& link) {
    const std::uint32_t start = link.clock().tickMs();
    for (;;) {
        const PrinterState state = link.queryPrinterState();
        if (state == PrinterState::Ready)
            break;
        // A fault is the job engine's to ask about, right after this.
        if (state == PrinterState::Fault)
            return kCommandFailed;
        if (link.stopRequested())
            return kCommandFailed;
        if (link.clock().tickMs() - start >= kStartPageTimeoutMs) {
            link.ui().message(kMsgPrinterNotReady, Icon::Information);
            return kCommandFailed;
        }
        // Busy answers come without a pause; let time pass between the polls.
        link.delayMs(1);
    }
    link.block().set(CommandBlock::Write, 0, command::kStartPage, 0x00);
    if (link.send() != 0) {
        link.ui().message(kMsgSendFailed, Icon::Information);
        return kCommandFailed;
    }
    return kCommandSent;
}

std::uint32_t sendRasterLine(PrinterLink& link, const std::uint8_t* line) {
    CommandBlock& block = link.block();
    block.set(CommandBlock::Write, static_cast<std::uint16_t>(kRasterLineBytes),
              command::kRasterLine, 0x01);
    std::memcpy(block.data(), line, kRasterLineBytes);
    return link.send();
}

std::uint32_t endPage(PrinterLink& link, std::uint8_t code) {
    link.delayMs(10);
    CommandBlock& block = link.block();
    block.set(CommandBlock::Write, 1, command::kEndPage, 0x01);
    block.data()[0] = code;
    return link.send();
}

namespace {

enum class CurveSource { Read, Missing, Damaged };

// Reads at most the 852 bytes that matter, so a stray huge file costs nothing.
CurveSource readTemperaCurves(const fs::path& programDir, LedCurves& curves) {
    const fs::path path = platform::findNoCase(programDir, kTemperaCurveFileName);
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return CurveSource::Missing;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return CurveSource::Missing;
    std::array<std::uint8_t, kTemperaCurveFileSize> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto parsed =
        parseTemperaCurves(std::span(bytes.data(), static_cast<std::size_t>(in.gcount())));
    if (!parsed)
        return CurveSource::Damaged;
    curves = *parsed;
    return CurveSource::Read;
}

void readPwm(PrinterLink& link, LedTable& table, std::uint8_t address, LedColour colour) {
    if (guardedReadStored(link, address) == kCommandSent)
        table.setPwm(colour, link.block().data()[0]);
    else
        link.ui().message(kMsgPrinterNotReady, Icon::None);
}

} // namespace

LedUploadResult uploadLedTable(PrinterLink& link, const fs::path& programDir, LedTable& table) {
    LedCurves curves{};
    switch (readTemperaCurves(programDir, curves)) {
    case CurveSource::Read:
        break;
    case CurveSource::Missing:
        link.ui().message(kMsgCannotOpenFile, Icon::Exclamation);
        curves = unitLedCurves();
        break;
    case CurveSource::Damaged:
        link.ui().message(kMsgTemperaDamaged, Icon::Exclamation);
        return LedUploadResult::NotComputed;
    }
    // Checked before the printer is asked anything: a table that cannot be re-based
    // must not replace the one the printer holds.
    switch (checkLedCurves(curves, table.temperatureIndex())) {
    case LedTableError::None:
        break;
    case LedTableError::BadCurveEntry:
        link.ui().message(kMsgTemperaDamaged, Icon::Exclamation);
        return LedUploadResult::NotComputed;
    case LedTableError::TemperatureIndexOutOfRange:
        link.ui().message(kMsgTemperatureIndexOutOfRange, Icon::Exclamation);
        return LedUploadResult::NotComputed;
    }
    table.setCurves(curves);

    link.delayMs(10);
    readPwm(link, table, parameter::kPwmRed, LedColour::Red);
    link.delayMs(10);
    readPwm(link, table, parameter::kPwmGreen, LedColour::Green);
    link.delayMs(10);
    readPwm(link, table, parameter::kPwmBlue, LedColour::Blue);

    table.compute();
    link.delayMs(10);
    const auto bytes = ledUploadBytes(table.rows());
    if (guardedWriteValue(link, parameter::kLedTable, bytes) != kCommandSent)
        return LedUploadResult::SendFailed;

    // The dump tells the technician what the printer holds, so only a table that reached it
    // replaces the last one.
    platform::writeFileAtomic(platform::findNoCase(programDir, kLedTableDumpFileName),
                              formatLedTableDump(table.rows()));
    return LedUploadResult::Sent;
}

LedUploadResult uploadLedTableBracketed(PrinterLink& link, const fs::path& programDir,
                                        LedTable& table, int releases) {
    link.lptSelect();
    if (link.selectRefused()) {
        // Another program keeps the port; the link told the user.
        for (int i = 0; i < releases; ++i)
            link.lptRelease();
        return LedUploadResult::SendFailed;
    }
    link.delayMs(300);
    link.api().lptReset();
    link.delayMs(300);
    if (link.api().lptReset() != 0)
        link.ui().message(kMsgResetFailed, Icon::None);
    link.delayMs(3000);
    const LedUploadResult result = uploadLedTable(link, programDir, table);
    for (int i = 0; i < releases; ++i)
        link.lptRelease();
    return result;
}

} // namespace kv::printer
