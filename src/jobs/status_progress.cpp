#include "jobs/status_progress.h"

#include "jobs/job_messages.h"

#include <algorithm>

namespace kv::jobs {

namespace {

int midOf(const Rect& client) {
    return client.left + (client.right - client.left) / 2;
}

struct Phase {
    std::string_view text;
    Ink textInk;
    bool percentage;
};

// The first flag set decides the phase; none set means the raster transfer.
std::optional<Phase> flaggedPhase(const platform::ProgressFlags& flags) {
    if (flags.portWaiting)
        return Phase{msg::kWaitingForPort, Ink::Red, false};
    if (flags.warmingUp)
        return Phase{msg::kWarmingUp, Ink::Red, false};
    if (flags.printerSearch)
        return Phase{msg::kSearchingPrinter, Ink::Red, false};
    if (flags.preparingData)
        return Phase{msg::kPreparingData, Ink::Navy, true};
    if (flags.bmxOnly)
        return Phase{msg::kWritingBmx, Ink::Navy, false};
    if (flags.colourStagesRunning)
        return Phase{msg::kLoadingPaper, Ink::Navy, true};
    return std::nullopt;
}

} // namespace

RestingLook restingLook(const Rect& client) {
    const int mid = midOf(client);
    RestingLook look;
    look.client = client;
    look.topLine = {0, 0, client.right, 1};
    look.leftPanel = {client.left + 3, client.top + 2, mid - 5, client.bottom - 2};
    look.rightPanel = {client.right - (client.right - client.left) / 2 + 5, client.top + 2,
                       client.right - 3, client.bottom - 2};
    look.statusTextRect = {look.rightPanel.x1, look.rightPanel.y1 + 3, look.rightPanel.x2,
                           look.rightPanel.y2};
    return look;
}

ProgressPlan progressPlan(const Rect& client, const platform::ProgressFlags& flags, int value) {
    constexpr int kFull = platform::ProgressDisplay::kFullScale;
    const int x0 = client.left + 10;
    const int y0 = client.top + 2;
    const int y1 = client.bottom - 2;
    const int xm = midOf(client) - 20;
    // A strip too narrow for the box gets no bar rather than one running backwards.
    const int span = std::max(0, xm - x0 - 50);

    ProgressPlan plan;
    plan.value = std::clamp(value, 0, kFull);
    const int length = plan.value * span / kFull;
    plan.box = {x0, y0, xm - 50, y1};
    plan.textRect = {x0, y0 + 3, xm - 51, y1};

    bool showPercentage = true;
    if (const auto phase = flaggedPhase(flags)) {
        plan.bar = {x0, y0, x0 + length, y1};
        plan.barInk = Ink::Red;
        plan.text = std::string(phase->text);
        plan.textInk = phase->textInk;
        plan.textAlign = TextAlign::Centre;
        showPercentage = phase->percentage;
    } else {
        plan.bar = {x0 + 1, y0 + 1, x0 - 1 + length, y1 - 1};
        plan.barInk = Ink::Navy;
        plan.text = std::string(msg::kPressEscToStop);
        plan.textInk = Ink::Red;
        plan.textAlign = TextAlign::Left;
    }
    if (showPercentage) {
        plan.percentage = std::to_string(plan.value * 100 / kFull) + "%";
        plan.percentageAt = {xm - 35, y0 + 2};
    }
    return plan;
}

} // namespace kv::jobs
