#include "printer/printer_commands.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "printer/command_block.h"

#include <vector>

namespace kv::cli {

namespace {

constexpr std::uint32_t kMaxByte = 0xFF;
constexpr std::uint32_t kMaxTransfer = printer::CommandBlock::kDataSize;

// The main window's later creation steps: the media calibration when the command
// needs its sensitivities, then the port library and its first reset.
bool bindPrinter(Program& program, bool withMedia = false) {
    if (!program.open())
        return false;
    if (withMedia)
        program.session.loadMediaCalibration();
    return program.session.loadPortLibrary();
}

// As every print command starts: FindPrinter binds the port layer to the
// printer's port; it tells the user when there is no printer.
bool findPrinter(Program& program) {
    program.session.setUpPrinterPort();
    return program.state.printerFound;
}

std::string_view stateName(printer::PrinterState state) {
    switch (state) {
    case printer::PrinterState::Ready:
        return "Ready";
    case printer::PrinterState::Busy:
        return "Busy";
    case printer::PrinterState::NoPaper:
        return "NoPaper";
    case printer::PrinterState::Fault:
        return "Fault";
    }
    return "Busy";
}

void printBytes(std::ostream& out, const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        out << (i ? " " : "") << static_cast<unsigned>(bytes[i]);
    out << '\n';
}

} // namespace

Exit printerFind(Invocation& inv) {
    Program program(inv);
    if (!bindPrinter(program))
        return Exit::Stopped;
    return findPrinter(program) ? Exit::Done : Exit::Stopped;
}

Exit printerReset(Invocation& inv) {
    Program program(inv);
    if (!bindPrinter(program))
        return Exit::Stopped;
    // The reset tells its failure only by a message, and goes on.
    const int before = inv.ui.messageCount();
    program.session.printerLink().resetPrinter();
    return inv.ui.messageCount() == before ? Exit::Done : Exit::Stopped;
}

Exit printerState(Invocation& inv) {
    Program program(inv);
    if (!bindPrinter(program))
        return Exit::Stopped;
    inv.out << stateName(program.session.printerLink().queryPrinterState()) << '\n';
    return Exit::Done;
}

Exit printerRead(Invocation& inv) {
    const std::optional<std::uint32_t> parameter = inv.number(0, kMaxByte);
    if (!parameter)
        return Exit::Usage;
    std::uint32_t count = 1;
    if (inv.operandCount() > 1) {
        const std::optional<std::uint32_t> n = inv.number(1, kMaxTransfer);
        if (!n)
            return Exit::Usage;
        if (*n == 0)
            return inv.usageError(text::kCountZero);
        count = *n;
    }
    Program program(inv);
    if (!bindPrinter(program) || !findPrinter(program))
        return Exit::Stopped;
    printer::PrinterLink& link = program.session.printerLink();
    if (printer::guardedReadValue(link, static_cast<std::uint8_t>(*parameter),
                                  static_cast<std::uint16_t>(count)) != printer::kCommandSent)
        return Exit::Stopped;
    printBytes(inv.out, link.block().data(), count);
    return Exit::Done;
}

Exit printerReadStored(Invocation& inv) {
    const std::optional<std::uint32_t> address = inv.number(0, kMaxByte);
    if (!address)
        return Exit::Usage;
    Program program(inv);
    if (!bindPrinter(program) || !findPrinter(program))
        return Exit::Stopped;
    printer::PrinterLink& link = program.session.printerLink();
    if (printer::guardedReadStored(link, static_cast<std::uint8_t>(*address)) !=
        printer::kCommandSent)
        return Exit::Stopped;
    printBytes(inv.out, link.block().data(), 1);
    return Exit::Done;
}

Exit printerWrite(Invocation& inv) {
    const std::optional<std::uint32_t> parameter = inv.number(0, kMaxByte);
    if (!parameter)
        return Exit::Usage;
    if (inv.operandCount() - 1 > kMaxTransfer)
        return inv.usageError(text::kTooManyArguments);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i < inv.operandCount(); ++i) {
        const std::optional<std::uint32_t> byte = inv.number(i, kMaxByte);
        if (!byte)
            return Exit::Usage;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
    }
    Program program(inv);
    if (!bindPrinter(program) || !findPrinter(program))
        return Exit::Stopped;
    return printer::guardedWriteValue(program.session.printerLink(),
                                      static_cast<std::uint8_t>(*parameter),
                                      bytes) == printer::kCommandSent
               ? Exit::Done
               : Exit::Stopped;
}

Exit printerUploadLed(Invocation& inv) {
    Program program(inv);
    if (!bindPrinter(program, true) || !findPrinter(program))
        return Exit::Stopped;
    // The media dialogs' bracket: one release at the end.
    return printer::uploadLedTableBracketed(
               program.session.printerLink(), program.state.programDirectory,
               program.session.ledTable(), 1) == printer::LedUploadResult::Sent
               ? Exit::Done
               : Exit::Stopped;
}

} // namespace kv::cli
