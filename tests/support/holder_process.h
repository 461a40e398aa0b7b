#pragma once

// Another process that takes hold of something (a lock, the port) and keeps it until
// the test lets it die, without releasing anything itself: what a crashed program
// leaves behind.
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

namespace kv::test {

class HolderProcess {
  public:
    // Hands a function to `take`, which, in the child, calls it with whether it got
    // hold of the thing (that comes back as held()); the call returns when the test
    // lets the child die, so what `take` holds stays held until then.
    using Hold = std::function<void(bool held)>;
    explicit HolderProcess(const std::function<void(const Hold&)>& take) {
        if (::pipe(m_toParent) != 0 || ::pipe(m_toChild) != 0)
            return;
        m_child = ::fork();
        if (m_child == 0) {
            take([this](bool got) {
                const char held = got ? 'y' : 'n';
                (void)!::write(m_toParent[1], &held, 1);
                char go;
                (void)!::read(m_toChild[0], &go, 1);
            });
            ::_exit(0);
        }
        char held = 0;
        m_held = m_child > 0 && ::read(m_toParent[0], &held, 1) == 1 && held == 'y';
    }
    ~HolderProcess() {
        die();
        for (int fd : {m_toParent[0], m_toParent[1], m_toChild[0], m_toChild[1]})
            if (fd >= 0)
                ::close(fd);
    }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    bool held() const { return m_held; }
    // Lets the child exit and waits until it is gone; true when it was there to go.
    bool die() {
        if (m_child <= 0)
            return false;
        const char go = 'x';
        const bool told = ::write(m_toChild[1], &go, 1) == 1;
        const bool gone = ::waitpid(m_child, nullptr, 0) == m_child;
        m_child = -1;
        return told && gone;
    }

  private:
    int m_toParent[2] = {-1, -1};
    int m_toChild[2] = {-1, -1};
    pid_t m_child = -1;
    bool m_held = false;
};

} // namespace kv::test
