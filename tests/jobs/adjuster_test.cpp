// The printer adjuster's reads and writes against the virtual printer.
#include "jobs/adjuster.h"

#include "adjuster_rig.h"
#include "jobs/adjuster_texts.h"
#include "printer/printer_messages.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv::jobs {
namespace {

namespace fs = std::filesystem;
namespace param = printer::parameter;
using Rig = test_rig::AdjusterRig;
using S = std::vector<std::string>;

const std::string kReadFailed(adjuster_text::kMsgReadFailed);
const std::string kWriteFailed(adjuster_text::kMsgWriteFailed);
const std::string kNotReady(printer::kMsgPrinterNotReady);

AdjusterNewTexts texts(const char* red, const char* green, const char* blue, const char* t,
                       const char* voltage, const char* heater = "45", const char* offset = "43") {
    return {red, green, blue, t, voltage, heater, offset};
}

TEST(AdjusterLeds, MasksAndHeadNamesMapBothWays) {
    const LedSelection lowOnly = ledSelectionFromMasks(0xFF, 0x00);
    for (std::string_view name : {"R4", "G6", "B6", "G5", "R3", "B5", "G4", "B4"})
        EXPECT_TRUE(lowOnly[ledBit(name)]) << name;
    for (std::string_view name : {"G3", "R2", "B3", "G2", "B2", "G1", "R1", "B1"})
        EXPECT_FALSE(lowOnly[ledBit(name)]) << name;

    LedSelection g1{};
    g1[ledBit("G1")] = true;
    EXPECT_EQ(masksFromLedSelection(g1), (std::array<std::uint8_t, 2>{0x00, 0x20}));

    // Every head position names a distinct bit.
    std::array<bool, kLedCount> seen{};
    for (std::string_view name : kLedHeadOrder) {
        ASSERT_LT(ledBit(name), kLedCount) << name;
        seen[ledBit(name)] = true;
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 16);
    EXPECT_EQ(ledBit("X9"), kLedCount);
}

TEST(AdjusterInput, OnlyWholeBytesAreTaken) {
    const std::vector<std::pair<const char*, std::optional<std::uint8_t>>> cases = {
        {"0", 0},
        {" 255 ", 255},
        {"036", 36},
        {"256", std::nullopt},
        {"-1", std::nullopt},
        {"12x", std::nullopt},
        {"1.5", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"99999999999", std::nullopt}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseAdjusterByte(text), expected) << '"' << text << '"';
}

TEST(AdjusterRead, ShowsTheStoredValuesAndTakesThePwmIntoTheLedTable) {
    Rig rig;
    rig.preset(param::kVoltage, 0x91);
    rig.preset(param::kHeaterTarget, 50);
    rig.preset(param::kPageOffset, 41);
    rig.preset(param::kLedMaskLow, 0xFF);
    rig.preset(param::kLedMaskHigh, 0x00);
    rig.presetLedTable(100, 120, 90);
    Adjuster adjuster(rig.link, rig.leds, rig.folders.home());

    EXPECT_EQ(adjuster.readLedSelection(), ledSelectionFromMasks(0xFF, 0x00));
    const std::uint32_t start = rig.clock.tickMs();
    const AdjusterReading reading = adjuster.readValues();
    EXPECT_TRUE(reading.complete);
    EXPECT_TRUE(rig.ui.texts().empty());
    EXPECT_EQ(rig.ui.waitDepth(), 0);
    EXPECT_GE(rig.ui.waitCount(), 1);
    // Three pauses around the resets, a second for the printer, seven 10 ms gaps.
    EXPECT_GE(rig.clock.tickMs() - start, 900u + 1000u + 70u);

    const std::vector<std::pair<AdjusterRow, std::string>> shown = {
        {AdjusterRow::Red, "100"},
        {AdjusterRow::Green, "120"},
        {AdjusterRow::Blue, "90"},
        {AdjusterRow::Temperature, "36"},
        {AdjusterRow::Voltage, "145"},
        {AdjusterRow::HeaterTarget, "50"},
        {AdjusterRow::PageOffset, "41"},
        {AdjusterRow::PcbTemperature, "25"},
        {AdjusterRow::HeaterTemperature, "50"}};
    for (const auto& [row, text] : shown)
        EXPECT_EQ(storedText(reading, row), text) << static_cast<int>(row);
    EXPECT_EQ(rig.leds.pwmValues(), (std::array<std::uint8_t, 3>{100, 120, 90}));
}

TEST(AdjusterRead, AFailedReadStopsWithItsMessagesAndLeavesTheRestEmpty) {
    Rig rig;
    rig.vp.setFault(true);
    Adjuster adjuster(rig.link, rig.leds, rig.folders.home());
    EXPECT_EQ(adjuster.readLedSelection(), std::nullopt);
    EXPECT_EQ(rig.ui.texts(), (S{kNotReady, kReadFailed}));

    rig.ui.clear();
    rig.resetOk = false;
    const AdjusterReading reading = adjuster.readValues();
    EXPECT_FALSE(reading.complete);
    EXPECT_EQ(rig.ui.texts(), (S{std::string(printer::kMsgResetFailed), kNotReady, kReadFailed}));
    EXPECT_EQ(storedText(reading, AdjusterRow::Temperature), "36");
    for (AdjusterRow row : {AdjusterRow::Voltage, AdjusterRow::Red, AdjusterRow::HeaterTemperature})
        EXPECT_EQ(storedText(reading, row), "");
    EXPECT_EQ(rig.leds.pwmValues(), (std::array<std::uint8_t, 3>{0, 0, 0}));
}

TEST(AdjusterSave, UpperGroupRebasesTheStoredTableOnTheNewPwmValues) {
    Rig rig;
    rig.writeCurves([](int i) { return 1.0f + static_cast<float>(i) / 70.0f; });
    rig.leds.setColourFactors(1.0, 0.5, 2.0);
    rig.presetLedTable(100, 120, 90);
    Adjuster adjuster(rig.link, rig.leds, rig.folders.home());
    adjuster.readValues();

    const AdjusterSaveOutcome outcome =
        adjuster.saveUpperGroup(texts("100", "120", "90", "36", "77"));
    EXPECT_EQ(outcome.result, AdjusterSave::Written);
    EXPECT_TRUE(rig.ui.texts().empty());
    EXPECT_EQ(rig.vp.stored(param::kVoltage), 77);
    // Entry i = c[i] * P * F / c[36], c[i] = 1 + i/70: worked by hand.
    const std::vector<std::tuple<int, int, int, int>> entries = {
        {0, 66, 40, 119}, {36, 100, 60, 180}, {70, 132, 79, 238}};
    for (const auto& [i, red, green, blue] : entries) {
        EXPECT_EQ(rig.vp.stored(std::uint8_t(param::kLedTableRed + i)), red) << i;
        EXPECT_EQ(rig.vp.stored(std::uint8_t(param::kLedTableGreen + i)), green) << i;
        EXPECT_EQ(rig.vp.stored(std::uint8_t(param::kLedTableBlue + i)), blue) << i;
    }
    EXPECT_FALSE(fs::exists(rig.folders.home() / "b10"));

    // A new index stays the table's T for later uploads, re-based there.
    rig.ui.clear();
    EXPECT_EQ(adjuster.saveUpperGroup(texts("200", "120", "90", "40", "77")).result,
              AdjusterSave::Written);
    EXPECT_EQ(rig.leds.temperatureIndex(), 40);
    EXPECT_EQ(rig.vp.stored(param::kLedTableRed + 40), 200);
    EXPECT_EQ(rig.leds.pwm(printer::LedColour::Red), 200);
}

TEST(AdjusterSave, UpperGroupWithoutCurvesReadsTemperaTurOrFallsBackToUnitCurves) {
    Rig rig;
    Adjuster adjuster(rig.link, rig.leds, rig.folders.home());
    EXPECT_EQ(adjuster.saveUpperGroup(texts("10", "20", "30", "36", "5")).result,
              AdjusterSave::Written);
    EXPECT_EQ(rig.ui.texts(), S{std::string(printer::kMsgCannotOpenFile)});
    for (int i : {0, 36, 70}) {
        EXPECT_EQ(rig.vp.stored(std::uint8_t(param::kLedTableRed + i)), 10);
        EXPECT_EQ(rig.vp.stored(std::uint8_t(param::kLedTableBlue + i)), 30);
    }

    // A file whose entry at T is zero cannot re-base the table: nothing is sent.
    Rig zero;
    zero.writeCurves([](int i) { return i == 36 ? 0.0f : 1.0f; });
    zero.preset(param::kVoltage, 9);
    Adjuster refused(zero.link, zero.leds, zero.folders.home());
    EXPECT_EQ(refused.saveUpperGroup(texts("10", "20", "30", "36", "5")).result,
              AdjusterSave::Refused);
    EXPECT_EQ(zero.ui.texts(), S{std::string(printer::kMsgTemperaDamaged)});
    EXPECT_EQ(zero.vp.stored(param::kVoltage), 9);
}

TEST(AdjusterSave, BadInputIsRefusedBeforeThePortIsTouched) {
    Rig rig;
    rig.writeCurves([](int) { return 1.0f; });
    rig.preset(param::kVoltage, 9);
    const printer::PrinterMemory before = rig.vp.memory();
    Adjuster adjuster(rig.link, rig.leds, rig.folders.home());
    const std::string notAByte(adjuster_text::kMsgNotAByte);
    const std::string badIndex(printer::kMsgTemperatureIndexOutOfRange);

    struct Case {
        AdjusterNewTexts input;
        bool upper;
        AdjusterRow badRow;
        std::string message;
    };
    const std::vector<Case> cases = {
        {texts("1x", "2", "3", "36", "4"), true, AdjusterRow::Red, notAByte},
        {texts("1", "2", "3", "36", ""), true, AdjusterRow::Voltage, notAByte},
        {texts("1", "2", "3", "71", "4"), true, AdjusterRow::Temperature, badIndex},
        {texts("1", "2", "3", "36", "4", "300", "43"), false, AdjusterRow::HeaterTarget, notAByte},
        {texts("1", "2", "3", "36", "4", "45", "-3"), false, AdjusterRow::PageOffset, notAByte},
    };
    for (const Case& c : cases) {
        rig.ui.clear();
        const AdjusterSaveOutcome outcome =
            c.upper ? adjuster.saveUpperGroup(c.input) : adjuster.saveHeaterAndOffset(c.input);
        EXPECT_EQ(outcome.result, AdjusterSave::Refused);
        EXPECT_EQ(outcome.badRow, c.badRow);
        EXPECT_EQ(rig.ui.texts(), S{c.message});
    }
    EXPECT_EQ(rig.vp.memory(), before);
    EXPECT_EQ(rig.leds.temperatureIndex(), printer::kDefaultTemperatureIndex);
}

TEST(AdjusterSave, HeaterOffsetAndLedsWriteTheirParametersAndEveryWriteIsTried) {
    Rig rig;
    Adjuster adjuster(rig.link, rig.leds, rig.folders.home());
    EXPECT_EQ(adjuster.saveHeaterAndOffset(texts("", "", "", "", "", "60", "12")).result,
              AdjusterSave::Written);
    EXPECT_EQ(rig.vp.stored(param::kHeaterTarget), 60);
    EXPECT_EQ(rig.vp.stored(param::kPageOffset), 12);

    LedSelection g1{};
    g1[ledBit("G1")] = true;
    EXPECT_EQ(adjuster.saveLedSelection(g1), AdjusterSave::Written);
    EXPECT_EQ(rig.vp.stored(param::kLedMaskLow), 0x00);
    EXPECT_EQ(rig.vp.stored(param::kLedMaskHigh), 0x20);
    EXPECT_TRUE(rig.ui.texts().empty());

    rig.vp.setFault(true);
    EXPECT_EQ(adjuster.saveHeaterAndOffset(texts("", "", "", "", "", "61", "13")).result,
              AdjusterSave::Failed);
    EXPECT_EQ(adjuster.saveLedSelection(LedSelection{}), AdjusterSave::Failed);
    EXPECT_EQ(rig.ui.texts(), (S{kNotReady, kWriteFailed, kNotReady, kWriteFailed, kNotReady,
                                 kWriteFailed, kNotReady, kWriteFailed}));
}

} // namespace
} // namespace kv::jobs
