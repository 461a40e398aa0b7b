#pragma once

namespace kv::shell {

inline constexpr int kToolbarHeight = 48;
inline constexpr int kStatusHeight = 28;
inline constexpr int kAlbumStripHeight = 27;
inline constexpr int kSidePanelWidth = 236; // the album panel, beside the scroll bar

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct FrameMetrics {
    int clientWidth = 0;  // CW
    int clientHeight = 0; // CH: the frame's client area with the toolbar strip in it
    bool toolbarVisible = true;
    bool statusVisible = true;
    bool previewMode = false;
    int scrollBarWidth = 0;
};

// Where the children go. The rectangles are relative to the area below the
// toolbar, which is where the children's parent begins.
struct ChildLayout {
    Rect album;
    Rect thumbnail;
    Rect print;
    Rect status;
    bool panelVisible = true; // album and thumbnail windows; hidden in preview
    bool statusVisible = true;
};

// W: the side panel with its vertical scroll bar.
int sidePanelWidth(int scrollBarWidth);

// R: the height kept free at the bottom for the toolbar and the status window.
int reservedHeight(bool toolbarVisible, bool statusVisible);

ChildLayout layoutChildren(const FrameMetrics& frame);

} // namespace kv::shell
