#include "printer/led_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kv::printer {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(LedTable, ParsesLittleEndianFloatsRedGreenBlue) {
    std::vector<std::uint8_t> bytes(kTemperaCurveFileSize, 0);
    // 1.0f = 3F800000, -2.5f = C0200000, written least significant byte first.
    const std::uint8_t one[] = {0x00, 0x00, 0x80, 0x3F};
    const std::uint8_t minus[] = {0x00, 0x00, 0x20, 0xC0};
    std::memcpy(&bytes[0], one, 4);        // red 0
    std::memcpy(&bytes[70 * 4], minus, 4); // red 70
    std::memcpy(&bytes[71 * 4], minus, 4); // green 0
    std::memcpy(&bytes[212 * 4], one, 4);  // blue 70
    const auto curves = parseTemperaCurves(bytes);
    ASSERT_TRUE(curves);
    EXPECT_EQ((*curves)[0][0], 1.0f);
    EXPECT_EQ((*curves)[0][70], -2.5f);
    EXPECT_EQ((*curves)[1][0], -2.5f);
    EXPECT_EQ((*curves)[1][1], 0.0f);
    EXPECT_EQ((*curves)[2][70], 1.0f);

    // Short files give nothing; bytes past the 852nd are ignored.
    EXPECT_FALSE(parseTemperaCurves(std::span(bytes.data(), 851)));
    EXPECT_FALSE(parseTemperaCurves({}));
    bytes.push_back(0xAB);
    const auto longer = parseTemperaCurves(bytes);
    ASSERT_TRUE(longer);
    EXPECT_EQ((*longer)[2][70], 1.0f);
}

TEST(LedTable, EntryRoundingAndClampingNeverOverflow) {
    const struct {
        double product;
        int entry;
    } cases[] = {
        {0.0, 0},     {0.49, 0},    {0.5, 1},    {254.49, 254}, {254.5, 255},
        {255.0, 255}, {1e300, 255}, {kInf, 255}, {-0.4, 0},     {-0.6, 0},
        {-1e300, 0},  {-kInf, 0},   {kNaN, 0},   {127.5, 128},  {3e9, 255},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ledEntryFromProduct(c.product), c.entry) << c.product;
}

TEST(LedTable, RowsRebaseOnTheCurveAtTheTemperatureIndex) {
    LedCurves curves{};
    for (std::size_t i = 0; i < kLedCurveLength; ++i) {
        curves[0][i] = static_cast<float>(i + 1); // red rises 1..71
        curves[1][i] = 2.0f;                      // green flat
        curves[2][i] = i < 36 ? 0.5f : 4.0f;      // blue steps at 36
    }
    // Red: s = 100 * 1.0 / 37; green: s = 10 * 0.5 / 2; blue: s = 200 * 1.5 / 4.
    const auto rows = computeLedRows(curves, 36, {100, 10, 200}, {1.0, 0.5, 1.5});
    ASSERT_TRUE(rows);
    const LedRow& red = (*rows)[0];
    EXPECT_EQ(red[36], 100);
    EXPECT_EQ(red[0], 3);    // 1 * 100/37 = 2.70
    EXPECT_EQ(red[10], 30);  // 11 * 100/37 = 29.73
    EXPECT_EQ(red[70], 192); // 71 * 100/37 = 191.9
    for (std::size_t i = 71; i < kLedRowLength; ++i)
        EXPECT_EQ(red[i], red[70]);
    for (std::size_t i = 0; i < kLedRowLength; ++i)
        EXPECT_EQ((*rows)[1][i], 5); // 10 * 0.5 everywhere
    EXPECT_EQ((*rows)[2][35], 38);   // 0.5 * 75 = 37.5 -> 38
    EXPECT_EQ((*rows)[2][36], 255);  // 300 clamps
    EXPECT_EQ((*rows)[2][76], 255);

    const auto bytes = ledUploadBytes(*rows);
    EXPECT_EQ(bytes[0], red[0]);
    EXPECT_EQ(bytes[70], red[70]);
    EXPECT_EQ(bytes[71], 5);
    EXPECT_EQ(bytes[71 * 2 + 35], 38);
    EXPECT_EQ(bytes[212], 255);
}

TEST(LedTable, NonFiniteEntriesAndFactorsClampInsteadOfFailing) {
    LedCurves curves = unitLedCurves();
    curves[0][3] = std::numeric_limits<float>::infinity();
    curves[0][4] = std::numeric_limits<float>::quiet_NaN();
    curves[0][5] = std::numeric_limits<float>::max();
    const auto rows = computeLedRows(curves, 36, {100, 100, 100}, {1.0, kNaN, -kInf});
    ASSERT_TRUE(rows);
    EXPECT_EQ((*rows)[0][3], 255);
    EXPECT_EQ((*rows)[0][4], 0);
    EXPECT_EQ((*rows)[0][5], 255);
    EXPECT_EQ((*rows)[0][6], 100);
    EXPECT_EQ((*rows)[1][6], 0);
    EXPECT_EQ((*rows)[2][6], 0);
}

TEST(LedTable, StateKeepsRowsWhenComputeIsRefused) {
    LedTable table;
    EXPECT_EQ(table.temperatureIndex(), 36);
    EXPECT_EQ(table.colourFactor(LedColour::Blue), 1.0);
    // No curves read yet: all 0, refused instead of a division by zero.
    EXPECT_EQ(table.compute(), LedTableError::BadCurveEntry);

    table.setCurves(unitLedCurves());
    table.setPwm(LedColour::Green, 80);
    table.setColourFactors(1.0, 1.25, 1.0);
    ASSERT_EQ(table.compute(), LedTableError::None);
    EXPECT_EQ(table.row(LedColour::Green)[0], 100);

    table.setTemperatureIndex(71);
    table.setPwm(LedColour::Green, 1);
    EXPECT_EQ(table.compute(), LedTableError::TemperatureIndexOutOfRange);
    EXPECT_EQ(table.row(LedColour::Green)[0], 100);
}

} // namespace
} // namespace kv::printer
