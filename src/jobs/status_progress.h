#pragma once

#include "platform/progress.h"
#include "platform/rect.h"

#include <optional>
#include <string>

// Where everything of the status strip goes. Coordinates are client pixels; a
// Rect is half-open (right and bottom are the first pixels outside), the way
// the original window drew its boxes and fills.
namespace kv::jobs {

using Rect = platform::Rect;

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// The strip's colours; button face is the desktop's colour, the rest are fixed.
enum class Ink { ButtonFace, Navy, Red, White, Black };

enum class TextAlign { Centre, Left };

// A sunken panel: the pixels from (x1, y1) to (x2, y2) inclusive carry the
// frame, black along the top and left, white along the bottom and right.
struct InsetPanel {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    bool operator==(const InsetPanel&) const = default;
};

struct RestingLook {
    Rect client;           // filled with button face
    Rect topLine;          // the black line along the top edge, one pixel high
    InsetPanel leftPanel;  // printer progress
    InsetPanel rightPanel; // the picture's status text
    Rect statusTextRect;   // navy text, centred both ways
};

struct ProgressPlan {
    int value = 0; // after clamping to 0..kFullScale
    Rect box;      // white, black one-pixel outline inside the rect
    Rect bar;      // may be empty
    Ink barInk = Ink::Navy;
    std::string text; // UTF-8
    Ink textInk = Ink::Red;
    TextAlign textAlign = TextAlign::Centre;
    Rect textRect;                         // vertically centred, transparent background
    std::optional<std::string> percentage; // navy on button face, opaque
    Point percentageAt;                    // top-left of the percentage text
};

RestingLook restingLook(const Rect& client);

// The left half as showProgress draws it for `flags` and `value` (0..865;
// values outside are clamped so the bar never leaves its box).
ProgressPlan progressPlan(const Rect& client, const platform::ProgressFlags& flags, int value);

} // namespace kv::jobs
