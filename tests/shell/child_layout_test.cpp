#include "shell/child_layout.h"

#include <gtest/gtest.h>

#include <string>

namespace kv::shell {
namespace {

TEST(ChildLayout, BarsDecideTheRoomKeptAtTheBottom) {
    // A 632 x 400 client with the toolbar strip in it, and a 16-pixel scroll bar: W = 252.
    struct Case {
        std::string name;
        bool toolbar;
        bool status;
        Rect thumbnail;
        Rect print;
        Rect statusRect;
    };
    const Case cases[] = {
        {"both", true, true, {0, 27, 252, 297}, {253, 1, 377, 323}, {0, 324, 632, 28}},
        {"toolbar only", true, false, {0, 27, 252, 325}, {253, 1, 377, 351}, {0, 324, 632, 28}},
        {"status only", false, true, {0, 27, 252, 345}, {253, 1, 377, 371}, {0, 372, 632, 28}},
        // Nothing below: both windows reach the bottom of the area.
        {"neither", false, false, {0, 27, 252, 373}, {253, 1, 377, 399}, {0, 372, 632, 28}},
    };
    for (const Case& c : cases) {
        const ChildLayout layout = layoutChildren({632, 400, c.toolbar, c.status, false, 16});
        EXPECT_EQ(layout.album, (Rect{0, 0, 252, 27})) << c.name;
        EXPECT_EQ(layout.thumbnail, c.thumbnail) << c.name;
        EXPECT_EQ(layout.print, c.print) << c.name;
        EXPECT_EQ(layout.status, c.statusRect) << c.name;
        EXPECT_TRUE(layout.panelVisible) << c.name;
        EXPECT_EQ(layout.statusVisible, c.status) << c.name;
        // The area below the toolbar: the lowest window ends at its bottom.
        const int areaHeight = 400 - (c.toolbar ? kToolbarHeight : 0);
        const int lowest = c.status ? layout.status.top + layout.status.height
                                    : layout.thumbnail.top + layout.thumbnail.height;
        EXPECT_EQ(lowest, areaHeight) << c.name;
    }
}

TEST(ChildLayout, PreviewGivesThePrintWindowTheWholeWidth) {
    for (bool toolbar : {true, false}) {
        for (bool status : {true, false}) {
            const ChildLayout layout = layoutChildren({632, 400, toolbar, status, true, 16});
            const int r = reservedHeight(toolbar, status);
            EXPECT_EQ(layout.print, (Rect{0, 1, 630, 400 - r - 1}));
            EXPECT_FALSE(layout.panelVisible);
            EXPECT_EQ(layout.statusVisible, status);
        }
    }
}

TEST(ChildLayout, ATinyWindowGivesNoNegativeSizes) {
    const ChildLayout layout = layoutChildren({100, 60, true, true, false, 16});
    EXPECT_EQ(layout.thumbnail.height, 0);
    EXPECT_EQ(layout.print.width, 0);
    EXPECT_EQ(layout.print.height, 0);
}

} // namespace
} // namespace kv::shell
