#include "albums/thumbnail_grid.h"

#include <algorithm>

namespace kv::albums::grid {

namespace {

int ceilDiv(int value, int divisor) {
    return (value + divisor - 1) / divisor;
}

int rowStart(int index, int columns) {
    return (index / columns) * kCellHeight;
}

} // namespace

int columnsForWidth(int width) {
    int columns = 0;
    while ((columns + 1) * kCellWidth <= width)
        ++columns;
    return std::max(columns, 1);
}

Box frameBox(int index, int columns) {
    columns = std::max(columns, 1);
    const int left = (index % columns) * kCellWidth + kFrameOffset;
    const int top = rowStart(index, columns) + kFrameOffset;
    return {left, top, left + kFrameSize, top + kFrameSize};
}

Box captionBox(int index, int columns) {
    const Box frame = frameBox(index, columns);
    const int top = frame.bottom + kCaptionGap;
    return {frame.left, top, frame.right, top + kCaptionHeight};
}

Box cellPaintBox(int index, int columns) {
    const Box frame = frameBox(index, columns);
    return {frame.left, frame.top, frame.right, captionBox(index, columns).bottom};
}

Box thumbnailBox(int index, int columns, int thumbWidth, int thumbHeight) {
    const Box frame = frameBox(index, columns);
    const auto offset = [](int size) {
        return 2 + (size < kInnerSize ? (kInnerSize - size - 4) / 2 : 0);
    };
    const int left = frame.left + kInnerInset + offset(thumbWidth);
    const int top = frame.top + kInnerInset + offset(thumbHeight);
    return {left, top, left + thumbWidth, top + thumbHeight};
}

Box selectionBox(const Box& thumbnail) {
    return {thumbnail.left - 1, thumbnail.top - 1, thumbnail.right + 1, thumbnail.bottom + 1};
}

int contentHeight(int pictureCount, int columns) {
    if (pictureCount <= 0)
        return 0;
    return ceilDiv(pictureCount, std::max(columns, 1)) * kCellHeight;
}

int scrollMaximum(int pictureCount, int columns, int clientHeight) {
    const int overflow = contentHeight(pictureCount, columns) - clientHeight;
    if (overflow <= 0)
        return 0;
    return ceilDiv(overflow, kCellHeight) * kCellHeight;
}

int scrollStep(int position, int rows, int maximum) {
    return std::clamp(position + rows * kCellHeight, 0, std::max(maximum, 0));
}

int snapScrollPosition(int position, int maximum) {
    const int snapped = (position + kCellHeight / 2) / kCellHeight * kCellHeight;
    return std::clamp(snapped, 0, std::max(maximum, 0));
}

int pictureAtPress(int x, int y, int scrollPosition, int pictureCount, int columns) {
    const int px = x - kHitShift;
    const int py = y + scrollPosition;
    for (int i = 0; i < pictureCount; ++i) {
        const Box frame = frameBox(i, columns);
        if (px > frame.left && px < frame.right && py > frame.top && py < frame.bottom + kHitBand)
            return i;
    }
    return -1;
}

int pictureAtFrame(int x, int y, int scrollPosition, int pictureCount, int columns) {
    for (int i = 0; i < pictureCount; ++i) {
        if (frameBox(i, columns).contains(x, y + scrollPosition))
            return i;
    }
    return -1;
}

int movedSelection(int selected, Move move, int pictureCount, int columns) {
    if (pictureCount <= 0)
        return -1;
    if (selected < 0 || selected >= pictureCount)
        return move == Move::Last ? pictureCount - 1 : 0;
    columns = std::max(columns, 1);
    int next = selected;
    switch (move) {
    case Move::Left:
        next = selected - 1;
        break;
    case Move::Right:
        next = selected + 1;
        break;
    case Move::Up:
        next = selected - columns;
        break;
    case Move::Down:
        next = selected + columns;
        break;
    case Move::First:
        next = 0;
        break;
    case Move::Last:
        next = pictureCount - 1;
        break;
    }
    return next >= 0 && next < pictureCount ? next : selected;
}

int scrollToShow(int index, int columns, int position, int maximum, int clientHeight) {
    const int top = rowStart(index, std::max(columns, 1));
    const int bottom = top + kCellHeight;
    if (top < position)
        position = top;
    else if (bottom > position + clientHeight)
        position = std::min(top, ceilDiv(bottom - clientHeight, kCellHeight) * kCellHeight);
    return std::clamp(position, 0, std::max(maximum, 0));
}

} // namespace kv::albums::grid
