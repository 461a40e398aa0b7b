#include "shell/child_layout.h"

#include <algorithm>

namespace kv::shell {

namespace {

// A window shrunk below nothing would be given a negative size.
Rect fromCorners(int left, int top, int right, int bottom) {
    return {left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

} // namespace

int sidePanelWidth(int scrollBarWidth) {
    return scrollBarWidth + kSidePanelWidth;
}

int reservedHeight(bool toolbarVisible, bool statusVisible) {
    return (toolbarVisible ? kToolbarHeight : 0) + (statusVisible ? kStatusHeight : 0);
}

ChildLayout layoutChildren(const FrameMetrics& frame) {
    const int cw = frame.clientWidth;
    const int ch = frame.clientHeight;
    const int w = sidePanelWidth(frame.scrollBarWidth);
    const int r = reservedHeight(frame.toolbarVisible, frame.statusVisible);
    const int toolbarStrip = frame.toolbarVisible ? kToolbarHeight : 0;

    ChildLayout layout;
    layout.album = {0, 0, w, kAlbumStripHeight};
    layout.thumbnail = {0, kAlbumStripHeight, w, std::max(0, ch - r - kAlbumStripHeight)};
    layout.print = fromCorners(frame.previewMode ? 0 : w + 1, 1, cw - 2, ch - r);
    layout.status = {0, ch - kStatusHeight - toolbarStrip, cw, kStatusHeight};
    layout.panelVisible = !frame.previewMode;
    layout.statusVisible = frame.statusVisible;
    return layout;
}

} // namespace kv::shell
