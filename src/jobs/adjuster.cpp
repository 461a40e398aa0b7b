#include "jobs/adjuster.h"

#include "jobs/adjuster_texts.h"
#include "platform/numbers.h"
#include "platform/paths.h"
#include "printer/printer_commands.h"
#include "printer/printer_messages.h"

#include <fstream>
#include <utility>

namespace kv::jobs {

namespace fs = std::filesystem;
namespace param = printer::parameter;
using Icon = platform::Ui::Icon;

LedSelection ledSelectionFromMasks(std::uint8_t low, std::uint8_t high) {
    LedSelection selection{};
    for (std::size_t bit = 0; bit < 8; ++bit) {
        selection[bit] = (low >> bit) & 1u;
        selection[8 + bit] = (high >> bit) & 1u;
    }
    return selection;
}

std::array<std::uint8_t, 2> masksFromLedSelection(const LedSelection& selection) {
    std::array<std::uint8_t, 2> masks{};
    for (std::size_t bit = 0; bit < kLedCount; ++bit)
        if (selection[bit])
            masks[bit / 8] = static_cast<std::uint8_t>(masks[bit / 8] | 1u << (bit % 8));
    return masks;
}

std::size_t ledBit(std::string_view name) {
    for (std::size_t bit = 0; bit < kLedCount; ++bit)
        if (kLedBitNames[bit] == name)
            return bit;
    return kLedCount;
}

std::optional<std::uint8_t> parseAdjusterByte(std::string_view text) {
    std::size_t consumed = 0;
    const std::optional<int> value = platform::parseInt(text, &consumed);
    if (!value || *value < 0 || *value > 255)
        return std::nullopt;
    // "12x" or "1.5" is a typing slip, not 12 or 1: refuse rather than guess.
    for (char c : text.substr(consumed))
        if (c != ' ' && c != '\t')
            return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::string storedText(const AdjusterReading& reading, AdjusterRow row) {
    const std::optional<std::uint8_t> value = reading.value(row);
    return value ? platform::formatC("%d", *value) : std::string();
}

namespace {

std::size_t at(AdjusterRow row) {
    return static_cast<std::size_t>(row);
}

// Every select of the adjuster: select, two resets with their pauses.
void selectAndReset(printer::PrinterLink& link) {
    link.lptSelect();
    link.delayMs(300);
    link.api().lptReset();
    link.delayMs(300);
    if (link.api().lptReset() != 0)
        link.ui().message(printer::kMsgResetFailed, Icon::None);
    link.delayMs(300);
}

// Reads the fields of `rows` in order; the first bad one refuses the save.
template <std::size_t N>
std::optional<AdjusterRow> readBytes(const AdjusterNewTexts& texts,
                                     const std::array<AdjusterRow, N>& rows,
                                     std::array<std::uint8_t, N>& values) {
    for (std::size_t i = 0; i < N; ++i) {
        const std::optional<std::uint8_t> value = parseAdjusterByte(texts[at(rows[i])]);
        if (!value)
            return rows[i];
        values[i] = *value;
    }
    return std::nullopt;
}

} // namespace

Adjuster::Adjuster(printer::PrinterLink& link, printer::LedTable& ledTable, fs::path programDir)
    : m_link(link), m_ledTable(ledTable), m_programDir(std::move(programDir)) {}

std::optional<LedSelection> Adjuster::readLedSelection() {
    std::array<std::uint8_t, 2> masks{};
    const std::array<std::uint8_t, 2> addresses = {param::kLedMaskLow, param::kLedMaskHigh};
    for (std::size_t i = 0; i < masks.size(); ++i) {
        m_link.delayMs(50);
        if (printer::guardedReadStored(m_link, addresses[i]) != printer::kCommandSent) {
            m_link.ui().message(adjuster_text::kMsgReadFailed, Icon::None);
            return std::nullopt;
        }
        masks[i] = m_link.block().data()[0];
    }
    m_link.delayMs(10);
    return ledSelectionFromMasks(masks[0], masks[1]);
}

AdjusterReading Adjuster::readValues() {
    const platform::Ui::WaitCursor wait(m_link.ui());
    AdjusterReading reading;
    selectAndReset(m_link);
    reading.stored[at(AdjusterRow::Temperature)] = kAdjusterTemperatureIndex;

    struct Read {
        AdjusterRow row;
        std::uint8_t number;
        bool stored; // ReadStored, else ReadValue
    };
    const std::array<Read, 8> reads = {{
        {AdjusterRow::Voltage, param::kVoltage, true},
        {AdjusterRow::Red, std::uint8_t(param::kLedTableRed + kAdjusterTemperatureIndex), true},
        {AdjusterRow::Green, std::uint8_t(param::kLedTableGreen + kAdjusterTemperatureIndex), true},
        {AdjusterRow::Blue, std::uint8_t(param::kLedTableBlue + kAdjusterTemperatureIndex), true},
        {AdjusterRow::HeaterTarget, param::kHeaterTarget, true},
        {AdjusterRow::PageOffset, param::kPageOffset, true},
        {AdjusterRow::PcbTemperature, param::kPcbTemperature, false},
        {AdjusterRow::HeaterTemperature, param::kHeaterTemperature, false},
    }};
    m_link.delayMs(1000);
    bool first = true;
    reading.complete = true;
    for (const Read& read : reads) {
        if (!first)
            m_link.delayMs(10);
        first = false;
        const int sent = read.stored ? printer::guardedReadStored(m_link, read.number)
                                     : printer::guardedReadValue(m_link, read.number, 1);
        if (sent != printer::kCommandSent) {
            m_link.ui().message(adjuster_text::kMsgReadFailed, Icon::None);
            reading.complete = false;
            break;
        }
        const std::uint8_t value = m_link.block().data()[0];
        reading.stored[at(read.row)] = value;
        if (read.row == AdjusterRow::Red)
            m_ledTable.setPwm(printer::LedColour::Red, value);
        else if (read.row == AdjusterRow::Green)
            m_ledTable.setPwm(printer::LedColour::Green, value);
        else if (read.row == AdjusterRow::Blue)
            m_ledTable.setPwm(printer::LedColour::Blue, value);
    }
    // Released on failure too: a port left selected would block the next print job.
    m_link.lptRelease();
    return reading;
}

// The curves stay zero until the first upload of the run has read TEMPERA.TUR;
// the adjuster then reads the file itself rather than divide by zero.
bool Adjuster::curvesReady() {
    const std::uint8_t t = m_ledTable.temperatureIndex();
    if (printer::checkLedCurves(m_ledTable.curves(), t) == printer::LedTableError::None)
        return true;
    printer::LedCurves curves = printer::unitLedCurves();
    const fs::path path = platform::findNoCase(m_programDir, printer::kTemperaCurveFileName);
    std::error_code ec;
    std::ifstream in;
    if (fs::is_regular_file(path, ec))
        in.open(path, std::ios::binary);
    if (!in.is_open()) {
        // As the upload does: a missing file still gives a table, re-based on P x F.
        m_link.ui().message(printer::kMsgCannotOpenFile, Icon::Exclamation);
    } else {
        std::array<std::uint8_t, printer::kTemperaCurveFileSize> bytes{};
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        const auto parsed = printer::parseTemperaCurves(
            std::span(bytes.data(), static_cast<std::size_t>(in.gcount())));
        if (!parsed || printer::checkLedCurves(*parsed, t) != printer::LedTableError::None) {
            m_link.ui().message(printer::kMsgTemperaDamaged, Icon::Exclamation);
            return false;
        }
        curves = *parsed;
    }
    m_ledTable.setCurves(curves);
    return true;
}

AdjusterSaveOutcome Adjuster::saveUpperGroup(const AdjusterNewTexts& texts) {
    const std::array<AdjusterRow, 5> rows = {AdjusterRow::Red, AdjusterRow::Green,
                                             AdjusterRow::Blue, AdjusterRow::Temperature,
                                             AdjusterRow::Voltage};
    std::array<std::uint8_t, 5> values{};
    if (const std::optional<AdjusterRow> bad = readBytes(texts, rows, values)) {
        m_link.ui().message(adjuster_text::kMsgNotAByte, Icon::Exclamation);
        return {AdjusterSave::Refused, bad};
    }
    const auto [red, green, blue, t, voltage] = values;
    // The curves have 71 entries: a larger index has nothing to re-base the table on.
    if (t >= printer::kLedCurveLength) {
        m_link.ui().message(printer::kMsgTemperatureIndexOutOfRange, Icon::Exclamation);
        return {AdjusterSave::Refused, AdjusterRow::Temperature};
    }
    const std::uint8_t previousT = m_ledTable.temperatureIndex();
    m_ledTable.setTemperatureIndex(t);
    if (!curvesReady()) {
        m_ledTable.setTemperatureIndex(previousT);
        return {AdjusterSave::Refused, std::nullopt};
    }

    const platform::Ui::WaitCursor wait(m_link.ui());
    AdjusterSave result = AdjusterSave::Written;
    auto write = [&](std::uint8_t parameter, std::span<const std::uint8_t> bytes) {
        if (printer::guardedWriteValue(m_link, parameter, bytes) != printer::kCommandSent) {
            m_link.ui().message(adjuster_text::kMsgWriteFailed, Icon::None);
            result = AdjusterSave::Failed;
        }
    };
    selectAndReset(m_link);
    m_link.delayMs(10);
    const std::uint8_t voltageByte[] = {voltage};
    write(param::kVoltage, voltageByte);

    m_ledTable.setPwm(printer::LedColour::Red, red);
    m_ledTable.setPwm(printer::LedColour::Green, green);
    m_ledTable.setPwm(printer::LedColour::Blue, blue);
    m_ledTable.compute();
    m_link.delayMs(1000);
    write(param::kLedTable, printer::ledUploadBytes(m_ledTable.rows()));
    m_link.lptRelease();
    return {result, std::nullopt};
}

AdjusterSaveOutcome Adjuster::saveHeaterAndOffset(const AdjusterNewTexts& texts) {
    const std::array<AdjusterRow, 2> rows = {AdjusterRow::HeaterTarget, AdjusterRow::PageOffset};
    std::array<std::uint8_t, 2> values{};
    if (const std::optional<AdjusterRow> bad = readBytes(texts, rows, values)) {
        m_link.ui().message(adjuster_text::kMsgNotAByte, Icon::Exclamation);
        return {AdjusterSave::Refused, bad};
    }
    AdjusterSave result = AdjusterSave::Written;
    const std::array<std::uint8_t, 2> parameters = {param::kHeaterTarget, param::kPageOffset};
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        m_link.delayMs(10);
        const std::uint8_t value[] = {values[i]};
        if (printer::guardedWriteValue(m_link, parameters[i], value) != printer::kCommandSent) {
            m_link.ui().message(adjuster_text::kMsgWriteFailed, Icon::None);
            result = AdjusterSave::Failed;
        }
    }
    return {result, std::nullopt};
}

AdjusterSave Adjuster::saveLedSelection(const LedSelection& selection) {
    const std::array<std::uint8_t, 2> masks = masksFromLedSelection(selection);
    const std::array<std::uint8_t, 2> parameters = {param::kLedMaskLow, param::kLedMaskHigh};
    AdjusterSave result = AdjusterSave::Written;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (i > 0)
            m_link.delayMs(5);
        const std::uint8_t value[] = {masks[i]};
        if (printer::guardedWriteValue(m_link, parameters[i], value) != printer::kCommandSent) {
            m_link.ui().message(adjuster_text::kMsgWriteFailed, Icon::None);
            result = AdjusterSave::Failed;
        }
    }
    return result;
}

} // namespace kv::jobs
