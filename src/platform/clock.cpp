#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace kv::platform {

std::uint32_t SystemClock::tickMs() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
               duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count()) +
           m_skippedMs;
}

void SystemClock::delayMs(std::uint32_t ms) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(ms);
    for (;;) {
        if (m_pump)
            m_pump();
        const auto now = steady_clock::now();
        if (now >= end)
            return;
        if (m_cutShort && m_cutShort()) {
            m_skippedMs += static_cast<std::uint32_t>(ceil<milliseconds>(end - now).count());
            return;
        }
        std::this_thread::sleep_for(std::min<steady_clock::duration>(end - now, milliseconds(10)));
    }
}

void FakeClock::advance(std::uint32_t ms) {
    m_now += ms;
    if (m_observer)
        m_observer(m_now);
}

} // namespace kv::platform
