#pragma once

namespace kv::platform {

// What the printer link and the print job are doing, read when progress is drawn.
// The first flag set (in this order) decides what the status strip shows.
struct ProgressFlags {
    bool portWaiting = false; // another program keeps the port
    bool warmingUp = false;
    bool printerSearch = false;
    bool preparingData = false;
    bool bmxOnly = false;
    bool colourStagesRunning = false;
};

// The progress display of the status strip. Long printer work calls it from
// inside its waits, so showProgress draws at once.
class ProgressDisplay {
  public:
    static constexpr int kFullScale = 865; // 100 %

    virtual ~ProgressDisplay() = default;
    virtual void showProgress(int value) = 0;
    // Back to the resting look; called whenever a phase ends.
    virtual void redraw() = 0;

    ProgressFlags flags;
};

} // namespace kv::platform
