#pragma once

#include "platform/rect.h"

namespace kv::render {

using platform::Rect;

inline constexpr int kScrollStep = 20; // line and page scrolling, in pixels
inline constexpr int kPaperLong = 800; // preview paper, units
inline constexpr int kPaperShort = 560;
inline constexpr int kAreaLong = 640; // printed area on that paper
inline constexpr int kAreaShort = 480;
inline constexpr int kSheetMargin = 20; // around the layout sheet outside the preview
inline constexpr int kSheetWidth = 640; // the 4-in-1 / 16-in-1 sheet
inline constexpr int kSheetHeight = 480;
inline constexpr int kInitialHorizontalMax = 800; // scroll ranges before the first paint
inline constexpr int kInitialVerticalMax = 600;

// The picture at its own size. The window's scroll bars take room from the
// client area, so whether one is needed can depend on the other.
struct ScrollPlan {
    bool horizontalVisible = false;
    bool verticalVisible = false;
    int horizontalMax = 0; // range 0..max; 0 when hidden
    int verticalMax = 0;
    int clientWidth = 0; // what is left for the picture beside the visible bars
    int clientHeight = 0;
    friend bool operator==(const ScrollPlan&, const ScrollPlan&) = default;
};
ScrollPlan ownSizeScroll(int width, int height, int clientWidth, int clientHeight, int barExtent);

// The picture fitted to the client area: reduced to fit, never enlarged. Empty
// when there is nothing to draw or no room.
Rect fittedPlacement(int width, int height, int clientWidth, int clientHeight);

struct PreviewPlacement {
    Rect paper;   // white sheet, centred in the client area
    Rect picture; // centred on the paper
    friend bool operator==(const PreviewPlacement&, const PreviewPlacement&) = default;
};
// The 1-in-1 page preview. Landscape paper only for pictures wider than high.
PreviewPlacement picturePreview(int width, int height, int clientWidth, int clientHeight);
// The 4-in-1 / 16-in-1 page preview: landscape paper with the sheet's printed area.
PreviewPlacement sheetPreview(int clientWidth, int clientHeight);
// The 4-in-1 / 16-in-1 sheet outside the preview, inside a 20-pixel margin.
Rect sheetPlacement(int sheetWidth, int sheetHeight, int clientWidth, int clientHeight);

enum class ScrollRequest { LineBack, LineForward, PageBack, PageForward };
// New scroll position after a line or page request at position in 0..maximum.
int scrolledPosition(int position, int maximum, ScrollRequest request);

} // namespace kv::render
