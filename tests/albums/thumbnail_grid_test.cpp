#include "albums/thumbnail_grid.h"

#include <gtest/gtest.h>

namespace kv::albums::grid {
namespace {

// The side panel is 236 pixels plus a scroll bar; with or without the bar shown,
// two cells fit.
TEST(ThumbnailGridTest, ColumnsFollowTheWidth) {
    const struct {
        int width;
        int columns;
    } cases[] = {{236 + 15, 2}, {236, 2}, {230, 2}, {229, 1}, {344, 2}, {345, 3}, {0, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(columnsForWidth(c.width), c.columns) << c.width;
}

TEST(ThumbnailGridTest, FrameAndCaptionBoxesOfTheCells) {
    const struct {
        int index;
        Box frame;
        Box caption;
    } cases[] = {
        {0, {8, 8, 118, 118}, {8, 121, 118, 141}},
        {1, {123, 8, 233, 118}, {123, 121, 233, 141}},
        {3, {123, 150, 233, 260}, {123, 263, 233, 283}},
        {4, {8, 292, 118, 402}, {8, 405, 118, 425}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameBox(c.index, 2), c.frame) << c.index;
        EXPECT_EQ(captionBox(c.index, 2), c.caption) << c.index;
    }
}

TEST(ThumbnailGridTest, ThumbnailsSitCentredInTheInnerBox) {
    const struct {
        int width, height;
        Box expected;
    } cases[] = {
        {100, 75, {13, 25, 113, 100}}, // wide: left at inner + 2, top centred
        {75, 100, {25, 13, 100, 113}}, // tall
        {104, 104, {13, 13, 117, 117}},
        {10, 10, {58, 58, 68, 68}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(thumbnailBox(0, 2, c.width, c.height), c.expected) << c.width << "x" << c.height;
    EXPECT_EQ(selectionBox({13, 25, 113, 100}), (Box{12, 24, 114, 101}));
}

TEST(ThumbnailGridTest, ScrollRangeIsRoundedUpToWholeRows) {
    EXPECT_EQ(contentHeight(3, 2), 284);
    EXPECT_EQ(contentHeight(0, 2), 0);
    const struct {
        int pictures, clientHeight, maximum;
    } cases[] = {
        {3, 300, 0},     // 284 fits: no scroll bar
        {4, 284, 0},     // exactly fits
        {5, 300, 142},   // 126 over
        {5, 284, 142},   // 142 over
        {7, 300, 284},   // 268 over
        {99, 300, 6816}, // 50 rows: 7100 - 300 = 6800 over
    };
    for (const auto& c : cases)
        EXPECT_EQ(scrollMaximum(c.pictures, 2, c.clientHeight), c.maximum) << c.pictures;
}

TEST(ThumbnailGridTest, ScrollStepsAndThumbDragLandOnRows) {
    EXPECT_EQ(scrollStep(0, -1, 284), 0);
    EXPECT_EQ(scrollStep(142, 1, 284), 284);
    EXPECT_EQ(scrollStep(284, 1, 284), 284);
    EXPECT_EQ(scrollStep(284, -1, 284), 142);
    const struct {
        int position, snapped;
    } cases[] = {{0, 0}, {70, 0}, {71, 142}, {212, 142}, {213, 284}, {300, 284}, {-5, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(snapScrollPosition(c.position, 284), c.snapped) << c.position;
}

// Frame 0 spans 8..118 both ways; a press is tested 5 pixels further left and
// reaches 25 pixels below the frame, over the caption.
TEST(ThumbnailGridTest, PressHitsFrameAndCaptionShiftedLeft) {
    const struct {
        int x, y, scroll, expected;
    } cases[] = {
        {13, 50, 0, -1},  {14, 50, 0, 0},  {122, 50, 0, 0}, {123, 50, 0, -1},  {125, 50, 0, -1},
        {129, 50, 0, 1},  {50, 8, 0, -1},  {50, 9, 0, 0},   {50, 142, 0, 0},   {50, 143, 0, -1},
        {50, 150, 0, -1}, {50, 151, 0, 2}, {50, 9, 142, 2}, {150, 160, 0, -1}, // cell 3 does not
                                                                               // exist with 3
                                                                               // pictures
    };
    for (const auto& c : cases)
        EXPECT_EQ(pictureAtPress(c.x, c.y, c.scroll, 3, 2), c.expected)
            << c.x << "," << c.y << " scrolled " << c.scroll;
}

TEST(ThumbnailGridTest, DoubleClickTakesTheFrameBoxOnly) {
    EXPECT_EQ(pictureAtFrame(8, 8, 0, 3, 2), 0);
    EXPECT_EQ(pictureAtFrame(117, 117, 0, 3, 2), 0);
    EXPECT_EQ(pictureAtFrame(118, 50, 0, 3, 2), -1);
    EXPECT_EQ(pictureAtFrame(50, 125, 0, 3, 2), -1); // on the caption
    EXPECT_EQ(pictureAtFrame(50, 10, 142, 3, 2), 2);
}

TEST(ThumbnailGridTest, ArrowKeysMoveWithinTheAlbum) {
    const struct {
        int selected;
        Move move;
        int expected;
    } cases[] = {
        {-1, Move::Right, 0}, {-1, Move::Last, 4}, {0, Move::Left, 0},
        {0, Move::Right, 1},  {1, Move::Down, 3},  {3, Move::Down, 3},
        {4, Move::Up, 2},     {2, Move::First, 0}, {4, Move::Right, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(movedSelection(c.selected, c.move, 5, 2), c.expected) << c.selected;
    EXPECT_EQ(movedSelection(-1, Move::Down, 0, 2), -1);

    EXPECT_EQ(scrollToShow(4, 2, 0, 284, 300), 142); // third row below the window
    EXPECT_EQ(scrollToShow(0, 2, 284, 284, 300), 0); // first row above it
    EXPECT_EQ(scrollToShow(2, 2, 0, 284, 300), 0);   // already in view
    EXPECT_EQ(scrollToShow(4, 2, 0, 284, 100), 284); // taller than the window: its top
}

} // namespace
} // namespace kv::albums::grid
