#pragma once

#include "platform/rect.h"

// Geometry of the thumbnail grid: where each cell's frame, thumbnail and caption
// go, how far the window scrolls and which picture a mouse point hits. Pure
// arithmetic in the window's content coordinates (before scrolling), so every rule
// is tested without a window.
namespace kv::albums::grid {

inline constexpr int kCellWidth = 115;
inline constexpr int kCellHeight = 142; // also the scroll step
inline constexpr int kFrameOffset = 8;  // frame box within its cell
inline constexpr int kFrameSize = 110;
inline constexpr int kInnerInset = 3; // the 104 x 104 box the thumbnail sits in
inline constexpr int kInnerSize = kFrameSize - 2 * kInnerInset;
inline constexpr int kCaptionGap = 3;
inline constexpr int kCaptionHeight = 20;
inline constexpr int kHitBand = 25; // below the frame box: the caption is part of the hit
inline constexpr int kHitShift = 5; // presses are tested this far to the left
inline constexpr int kBevelCut = 3; // corners of the raised frame

using Box = platform::Rect;

// Cells fill a row while the next one still ends within the width; never fewer
// than one column, so a narrow window still lists every picture.
int columnsForWidth(int width);

Box frameBox(int index, int columns);
Box captionBox(int index, int columns);
// The frame box and the caption below it: what a repaint of the cell covers.
Box cellPaintBox(int index, int columns);

// Where a thumbnail of this size is drawn inside its frame box: centred in the
// inner box when smaller than it, else at the inner box's corner + 2.
Box thumbnailBox(int index, int columns, int thumbWidth, int thumbHeight);
// The selection mark: one pixel outside the thumbnail on every side.
Box selectionBox(const Box& thumbnail);

// Height of all rows of `pictureCount` pictures.
int contentHeight(int pictureCount, int columns);

// The largest scroll position; 0 means the content fits and no scroll bar shows.
// The range is rounded up to whole rows so that every position is a row start.
int scrollMaximum(int pictureCount, int columns, int clientHeight);
// Line and page steps move one row, stopping at either end.
int scrollStep(int position, int rows, int maximum);
// Dragging the scroll box lands on the nearest row start within the range.
int snapScrollPosition(int position, int maximum);

// The picture a left or right button press at client point (x, y) hits, or -1:
// the point is moved kHitShift to the left, the scroll position is added, and it
// must lie strictly inside the frame box horizontally and strictly between the
// frame's top and its bottom + kHitBand vertically.
int pictureAtPress(int x, int y, int scrollPosition, int pictureCount, int columns);
// The picture whose frame box holds the client point (double-clicks), or -1.
int pictureAtFrame(int x, int y, int scrollPosition, int pictureCount, int columns);

// The picture the arrow keys lead to from `selected` (-1: the first picture).
enum class Move { Left, Right, Up, Down, First, Last };
int movedSelection(int selected, Move move, int pictureCount, int columns);
// The scroll position that brings the picture's frame and caption into view,
// changing the current one as little as possible.
int scrollToShow(int index, int columns, int position, int maximum, int clientHeight);

} // namespace kv::albums::grid
