#include "render/print_geometry.h"

#include <gtest/gtest.h>

namespace kv::render {
namespace {

TEST(PrintGeometry, OwnSizeScrollBarsTakeRoomFromEachOther) {
    struct Case {
        int w, h, cw, ch;
        ScrollPlan expected;
    };
    const Case cases[] = {
        {500, 300, 800, 600, {false, false, 0, 0, 800, 600}},
        {800, 600, 800, 600, {false, false, 0, 0, 800, 600}},
        {1000, 300, 800, 600, {true, false, 200, 0, 800, 584}},
        {300, 900, 800, 600, {false, true, 0, 300, 784, 600}},
        // The horizontal bar makes the vertical one needed, which widens the range.
        {1000, 590, 800, 600, {true, true, 216, 6, 784, 584}},
        {0, 0, 800, 600, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ownSizeScroll(c.w, c.h, c.cw, c.ch, 16), c.expected)
            << c.w << "x" << c.h << " in " << c.cw << "x" << c.ch;
}

TEST(PrintGeometry, FittedIsReducedNeverEnlargedAndCentred) {
    struct Case {
        int w, h, cw, ch;
        Rect expected;
    };
    const Case cases[] = {
        {100, 100, 600, 400, {250, 150, 350, 250}},
        {101, 101, 600, 400, {249, 149, 350, 250}},
        {1200, 400, 600, 400, {0, 100, 600, 300}},
        {1000, 1000, 600, 400, {100, 0, 500, 400}},
        {100, 100, 0, 400, {}},
        {0, 100, 600, 400, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fittedPlacement(c.w, c.h, c.cw, c.ch), c.expected)
            << c.w << "x" << c.h << " in " << c.cw << "x" << c.ch;
}

TEST(PrintGeometry, PicturePreviewOnPaper) {
    struct Case {
        int w, h, cw, ch;
        PreviewPlacement expected;
    };
    const Rect landscapePaper{0, 20, 800, 580};
    const Rect fullArea{80, 60, 720, 540};
    const Case cases[] = {
        {640, 480, 800, 600, {landscapePaper, fullArea}},
        // The smallest standard size fills the area like 640 x 480.
        {320, 240, 800, 600, {landscapePaper, fullArea}},
        {321, 240, 800, 600, {landscapePaper, {239, 180, 560, 420}}},
        {1280, 960, 800, 600, {landscapePaper, fullArea}},
        {1280, 480, 800, 600, {landscapePaper, {80, 180, 720, 420}}},
        // Upright and square pictures get upright paper, here halved to fit.
        {240, 320, 400, 400, {{60, 0, 340, 400}, {80, 40, 320, 360}}},
        {100, 100, 400, 400, {{60, 0, 340, 400}, {175, 175, 225, 225}}},
        {640, 480, 0, 600, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(picturePreview(c.w, c.h, c.cw, c.ch), c.expected)
            << c.w << "x" << c.h << " in " << c.cw << "x" << c.ch;
}

TEST(PrintGeometry, SheetPlacement) {
    EXPECT_EQ(sheetPreview(800, 600), (PreviewPlacement{{0, 20, 800, 580}, {80, 60, 720, 540}}));
    EXPECT_EQ(sheetPreview(400, 300), (PreviewPlacement{{0, 10, 400, 290}, {40, 30, 360, 270}}));
    EXPECT_EQ(sheetPreview(0, 300), PreviewPlacement{});

    struct Case {
        int cw, ch;
        Rect expected;
    };
    const Case cases[] = {
        {800, 600, {80, 60, 720, 540}},
        {360, 280, {20, 20, 340, 260}},
        {360, 600, {20, 180, 340, 420}},
        {40, 600, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sheetPlacement(kSheetWidth, kSheetHeight, c.cw, c.ch), c.expected)
            << c.cw << "x" << c.ch;
}

TEST(PrintGeometry, ScrollStepsStopAtTheEnds) {
    struct Case {
        int position, maximum;
        ScrollRequest request;
        int expected;
    };
    const Case cases[] = {
        {10, 100, ScrollRequest::LineBack, 0},     {50, 100, ScrollRequest::PageBack, 30},
        {0, 100, ScrollRequest::LineBack, 0},      {90, 100, ScrollRequest::LineForward, 100},
        {50, 100, ScrollRequest::PageForward, 70}, {100, 100, ScrollRequest::LineForward, 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scrolledPosition(c.position, c.maximum, c.request), c.expected)
            << c.position << "/" << c.maximum;
}

} // namespace
} // namespace kv::render
