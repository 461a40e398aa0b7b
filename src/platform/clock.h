#pragma once

#include <cstdint>
#include <functional>

namespace kv::platform {

// The millisecond tick counter and the busy waits of the printer link.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::uint32_t tickMs() = 0;
    virtual void delayMs(std::uint32_t ms) = 0;
};

// Real time. Waits in slices of at most 10 ms and calls the pump between them, so
// long printer waits keep the windows painted.
class SystemClock : public Clock {
  public:
    // `cutShort`, once it holds, ends every wait at once; the tick count still moves
    // on by the time skipped, so timeouts measured with this clock run out as before.
    explicit SystemClock(std::function<void()> pump = {}, std::function<bool()> cutShort = {})
        : m_pump(std::move(pump)), m_cutShort(std::move(cutShort)) {}
    std::uint32_t tickMs() override;
    void delayMs(std::uint32_t ms) override;

  private:
    std::function<void()> m_pump;
    std::function<bool()> m_cutShort;
    std::uint32_t m_skippedMs = 0;
};

// Virtual time for tests: a wait advances the clock at once. Observers (the
// virtual printer) see every advance.
class FakeClock : public Clock {
  public:
    std::uint32_t tickMs() override { return m_now; }
    void delayMs(std::uint32_t ms) override { advance(ms); }
    void advance(std::uint32_t ms);
    void onAdvance(std::function<void(std::uint32_t now)> observer) {
        m_observer = std::move(observer);
    }

  private:
    std::uint32_t m_now = 0;
    std::function<void(std::uint32_t)> m_observer;
};

} // namespace kv::platform
