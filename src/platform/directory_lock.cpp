#include "platform/directory_lock.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace kv::platform {

DirectoryLock::DirectoryLock(const std::filesystem::path& lockFile,
                             std::chrono::milliseconds maxWait, const std::function<void()>& pump) {
    do
        m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        return;

    // Polled rather than blocking, so the wait has a bound; the pause grows to
    // 20 ms, short next to any holder's work.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + maxWait;
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_status = Status::Held;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            m_status = Status::TimedOut;
            break;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
        if (pump)
            pump();
    }
    ::close(m_fd);
    m_fd = -1;
}

DirectoryLock::~DirectoryLock() {
    // Closing the only descriptor of the open file releases the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace kv::platform
