#include "render/print_geometry.h"

#include <algorithm>

namespace kv::render {

namespace {

// Reduction factor: how many times the size exceeds the room, never below 1.
double reduction(double width, double height, double roomWidth, double roomHeight) {
    return std::max({width / roomWidth, height / roomHeight, 1.0});
}

int scaled(int size, double factor) {
    return static_cast<int>(size / factor);
}

Rect centred(int width, int height, const Rect& in) {
    const int left = in.left + (in.width() - width) / 2;
    const int top = in.top + (in.height() - height) / 2;
    return {left, top, left + width, top + height};
}

struct Paper {
    Rect rect;
    double factor = 1; // paper units per pixel
};

Paper paperFor(bool upright, int clientWidth, int clientHeight) {
    const int paperWidth = upright ? kPaperShort : kPaperLong;
    const int paperHeight = upright ? kPaperLong : kPaperShort;
    const double p = reduction(paperWidth, paperHeight, clientWidth, clientHeight);
    return {centred(scaled(paperWidth, p), scaled(paperHeight, p),
                    Rect{0, 0, clientWidth, clientHeight}),
            p};
}

} // namespace

ScrollPlan ownSizeScroll(int width, int height, int clientWidth, int clientHeight, int barExtent) {
    ScrollPlan plan;
    if (width <= 0 || height <= 0)
        return plan;
    bool horizontal = width > clientWidth;
    bool vertical = height > clientHeight;
    // A second pass settles the case where one bar's room makes the other needed.
    for (int pass = 0; pass < 2; ++pass) {
        plan.clientWidth = std::max(0, clientWidth - (vertical ? barExtent : 0));
        plan.clientHeight = std::max(0, clientHeight - (horizontal ? barExtent : 0));
        horizontal = width > plan.clientWidth;
        vertical = height > plan.clientHeight;
    }
    plan.horizontalVisible = horizontal;
    plan.verticalVisible = vertical;
    plan.horizontalMax = horizontal ? width - plan.clientWidth : 0;
    plan.verticalMax = vertical ? height - plan.clientHeight : 0;
    return plan;
}

Rect fittedPlacement(int width, int height, int clientWidth, int clientHeight) {
    if (width <= 0 || height <= 0 || clientWidth <= 0 || clientHeight <= 0)
        return {};
    const double s = reduction(width, height, clientWidth, clientHeight);
    const int drawnWidth = scaled(width, s);
    const int drawnHeight = scaled(height, s);
    const int left = (clientWidth - drawnWidth - 4) / 2 + 2;
    const int top = (clientHeight - drawnHeight - 4) / 2 + 2;
    return {left, top, left + drawnWidth, top + drawnHeight};
}

PreviewPlacement picturePreview(int width, int height, int clientWidth, int clientHeight) {
    if (width <= 0 || height <= 0 || clientWidth <= 0 || clientHeight <= 0)
        return {};
    const bool upright = !(height < width);
    const Paper paper = paperFor(upright, clientWidth, clientHeight);
    const int areaWidth = upright ? kAreaShort : kAreaLong;
    const int areaHeight = upright ? kAreaLong : kAreaShort;
    // The smallest standard size is printed at full area size.
    if ((width == 320 && height == 240) || (width == 240 && height == 320)) {
        width = areaWidth;
        height = areaHeight;
    }
    const double q = reduction(width, height, areaWidth, areaHeight);
    // Truncated once, after both reductions.
    return {paper.rect, centred(static_cast<int>(width / q / paper.factor),
                                static_cast<int>(height / q / paper.factor), paper.rect)};
}

PreviewPlacement sheetPreview(int clientWidth, int clientHeight) {
    if (clientWidth <= 0 || clientHeight <= 0)
        return {};
    const Paper paper = paperFor(false, clientWidth, clientHeight);
    return {paper.rect,
            centred(scaled(kAreaLong, paper.factor), scaled(kAreaShort, paper.factor), paper.rect)};
}

Rect sheetPlacement(int sheetWidth, int sheetHeight, int clientWidth, int clientHeight) {
    const Rect room{kSheetMargin, kSheetMargin, clientWidth - kSheetMargin,
                    clientHeight - kSheetMargin};
    if (sheetWidth <= 0 || sheetHeight <= 0 || room.isEmpty())
        return {};
    const double s = reduction(sheetWidth, sheetHeight, room.width(), room.height());
    return centred(scaled(sheetWidth, s), scaled(sheetHeight, s), room);
}

int scrolledPosition(int position, int maximum, ScrollRequest request) {
    switch (request) {
    case ScrollRequest::LineBack:
    case ScrollRequest::PageBack:
        return position - std::min(kScrollStep, std::max(position, 0));
    case ScrollRequest::LineForward:
    case ScrollRequest::PageForward:
        return position + std::clamp(maximum - position, 0, kScrollStep);
    }
    return position;
}

} // namespace kv::render
