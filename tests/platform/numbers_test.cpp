#include "platform/numbers.h"
#include "support/german_locale.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>

namespace kv::platform {
namespace {

// Every case runs with a German process locale.
using Numbers = test::GermanLocaleTest;

TEST_F(Numbers, FormatsWithPointWhateverTheLocale) {
    EXPECT_EQ(formatC("%.3f", 1.5), "1.500");
    EXPECT_EQ(formatC("%2d", 7), " 7");
    EXPECT_EQ(formatC("%03d  %3d", 5, 42), "005   42");
    EXPECT_EQ(formatC("%s [%dX%d]", "bild.jpg", 640, 480), "bild.jpg [640X480]");
    EXPECT_EQ(formatC("%g", -2000.25), "-2000.25");
    EXPECT_EQ(formatC("%s", ""), "");
    const std::string longText(1000, 'x');
    EXPECT_EQ(formatC("%s|%.1f", longText.c_str(), 0.25), longText + "|0.2");
    // After the call the user's locale is back.
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 2.5);
    EXPECT_STREQ(buffer, "2,5");
}

TEST_F(Numbers, ParseIntAsScanfReadsIt) {
    struct Case {
        std::string_view text;
        std::optional<int> value;
        std::size_t consumed;
    };
    const Case cases[] = {
        {"42", 42, 2},
        {"  -7x", -7, 4},
        {"+5", 5, 2},
        {"\t\r\n 12", 12, 6},
        {"12.5", 12, 2},
        {"007", 7, 3},
        {"2147483647", 2147483647, 10},
        {"-2147483648", -2147483647 - 1, 11},
        {"2147483648", std::nullopt, 0},
        {"-", std::nullopt, 0},
        {"+-5", std::nullopt, 0},
        {"- 5", std::nullopt, 0},
        {"", std::nullopt, 0},
        {"   ", std::nullopt, 0},
        {"abc", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        std::size_t consumed = 0;
        EXPECT_EQ(parseInt(c.text, &consumed), c.value) << '"' << c.text << '"';
        if (c.value) {
            EXPECT_EQ(consumed, c.consumed) << '"' << c.text << '"';
        }
    }
}

TEST_F(Numbers, ParseDoubleAsStrtodReadsItInTheCLocale) {
    struct Case {
        std::string_view text;
        std::optional<double> value;
        std::size_t consumed;
    };
    const Case cases[] = {
        {"1.5", 1.5, 3},
        {"-2e3", -2000.0, 4},
        {" .5", 0.5, 3},
        {"5.", 5.0, 2},
        {"+0.25", 0.25, 5},
        {"1,5", 1.0, 1}, // a comma ends the number, whatever the locale says
        {"0x10", 16.0, 4},
        {"3e", 3.0, 1},
        {"1e400", std::nullopt, 0}, // out of range and non-finite values are refused
        {"-inf", std::nullopt, 0},
        {"nan", std::nullopt, 0},
        {"+-1", std::nullopt, 0},
        {".", std::nullopt, 0},
        {"", std::nullopt, 0},
        {"x1", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        std::size_t consumed = 0;
        EXPECT_EQ(parseDouble(c.text, &consumed), c.value) << '"' << c.text << '"';
        if (c.value) {
            EXPECT_EQ(consumed, c.consumed) << '"' << c.text << '"';
        }
    }
}

} // namespace
} // namespace kv::platform
