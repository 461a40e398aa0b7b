#include "jobs/status_progress.h"

#include "jobs/job_messages.h"

#include <gtest/gtest.h>

namespace kv::jobs {
namespace {

using platform::ProgressFlags;

// A 640 x 28 strip: x0 = 10, y0 = 2, y1 = 26, xm = 300, so the bar spans 240 pixels.
constexpr Rect kClient{0, 0, 640, 28};

TEST(StatusProgress, FirstFlagSetChoosesTextColourAndPercentage) {
    const struct {
        ProgressFlags flags;
        std::string_view text;
        Ink textInk;
        TextAlign align;
        Ink barInk;
        bool percentage;
    } cases[] = {
        {{.portWaiting = true, .warmingUp = true},
         msg::kWaitingForPort,
         Ink::Red,
         TextAlign::Centre,
         Ink::Red,
         false},
        {{.warmingUp = true}, msg::kWarmingUp, Ink::Red, TextAlign::Centre, Ink::Red, false},
        {{.warmingUp = true, .preparingData = true},
         msg::kWarmingUp,
         Ink::Red,
         TextAlign::Centre,
         Ink::Red,
         false},
        {{.printerSearch = true, .preparingData = true, .colourStagesRunning = true},
         msg::kSearchingPrinter,
         Ink::Red,
         TextAlign::Centre,
         Ink::Red,
         false},
        {{.preparingData = true, .bmxOnly = true},
         msg::kPreparingData,
         Ink::Navy,
         TextAlign::Centre,
         Ink::Red,
         true},
        {{.bmxOnly = true, .colourStagesRunning = true},
         msg::kWritingBmx,
         Ink::Navy,
         TextAlign::Centre,
         Ink::Red,
         false},
        {{.colourStagesRunning = true},
         msg::kLoadingPaper,
         Ink::Navy,
         TextAlign::Centre,
         Ink::Red,
         true},
        {{}, msg::kPressEscToStop, Ink::Red, TextAlign::Left, Ink::Navy, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ProgressPlan plan = progressPlan(kClient, c.flags, 432);
        EXPECT_EQ(plan.text, c.text);
        EXPECT_EQ(plan.textInk, c.textInk);
        EXPECT_EQ(plan.textAlign, c.align);
        EXPECT_EQ(plan.barInk, c.barInk);
        EXPECT_EQ(plan.percentage.has_value(), c.percentage);
        EXPECT_EQ(plan.box, (Rect{10, 2, 250, 26}));
        EXPECT_EQ(plan.textRect, (Rect{10, 5, 249, 26}));
    }
}

TEST(StatusProgress, BarAndPercentageFollowTheValue) {
    const ProgressFlags transfer{};
    const ProgressFlags preparing{.preparingData = true};
    const struct {
        const char* name;
        ProgressFlags flags;
        int value;
        Rect bar;
        const char* percentage;
    } cases[] = {
        // The full transfer bar ends at x0 - 1 + 240, filling the box inside its outline.
        {"transfer full", transfer, 865, {11, 3, 249, 25}, "100%"},
        {"transfer empty", transfer, 0, {11, 3, 9, 25}, "0%"},
        {"transfer one step", transfer, 4, {11, 3, 10, 25}, "0%"},
        // 432 * 240 / 865 = 119.8 and 432 * 100 / 865 = 49.9, both cut.
        {"transfer half", transfer, 432, {11, 3, 128, 25}, "49%"},
        {"flagged half", preparing, 432, {10, 2, 129, 26}, "49%"},
        {"flagged full covers the outline", preparing, 865, {10, 2, 250, 26}, "100%"},
        {"flagged empty", preparing, 0, {10, 2, 10, 26}, "0%"},
        // Out-of-range values are clamped so the bar stays inside its box.
        {"above full", transfer, 5000, {11, 3, 249, 25}, "100%"},
        {"negative", preparing, -300, {10, 2, 10, 26}, "0%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgressPlan plan = progressPlan(kClient, c.flags, c.value);
        EXPECT_EQ(plan.bar, c.bar);
        ASSERT_TRUE(plan.percentage);
        EXPECT_EQ(*plan.percentage, c.percentage);
        EXPECT_EQ(plan.percentageAt, (Point{265, 4}));
    }
    EXPECT_TRUE(progressPlan(kClient, transfer, 0).bar.isEmpty());
}

TEST(StatusProgress, NarrowStripGetsNoBar) {
    const ProgressPlan plan = progressPlan(Rect{0, 0, 100, 28}, {}, 865);
    EXPECT_TRUE(plan.bar.isEmpty());
    EXPECT_EQ(plan.percentage, "100%");
}

TEST(StatusProgress, RestingLookSplitsTheStripIntoTwoPanels) {
    const struct {
        Rect client;
        InsetPanel left, right;
    } cases[] = {
        {{0, 0, 640, 28}, {3, 2, 315, 26}, {325, 2, 637, 26}},
        {{0, 0, 641, 28}, {3, 2, 315, 26}, {326, 2, 638, 26}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.client.right);
        const RestingLook look = restingLook(c.client);
        EXPECT_EQ(look.topLine, (Rect{0, 0, c.client.right, 1}));
        EXPECT_EQ(look.leftPanel, c.left);
        EXPECT_EQ(look.rightPanel, c.right);
        EXPECT_EQ(look.statusTextRect, (Rect{c.right.x1, 5, c.right.x2, 26}));
    }
}

} // namespace
} // namespace kv::jobs
