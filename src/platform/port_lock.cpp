#include "platform/port_lock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

PortLock::PortLock(std::filesystem::path file) : m_file(std::move(file)) {}

PortLock::~PortLock() {
    // Closing the only descriptor of the open file releases the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

PortLock::Attempt PortLock::tryLock() {
    if (m_held)
        return Attempt::Held;
    if (m_fd < 0) {
        do
            m_fd = ::open(m_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            return Attempt::Unavailable;
        // Past the umask, so that other users of the port can share the lock where the
        // folder allows it; a file of another owner keeps its mode.
        ::fchmod(m_fd, 0666);
    }
    int result;
    do
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result == 0) {
        m_held = true;
        return Attempt::Held;
    }
    return errno == EWOULDBLOCK ? Attempt::InUse : Attempt::Unavailable;
}

void PortLock::unlock() {
    if (!m_held)
        return;
    ::flock(m_fd, LOCK_UN);
    m_held = false;
}

std::filesystem::path PortLock::defaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::filesystem::path(runtime) : std::filesystem::path("/tmp");
}

std::string PortLock::fileName(std::string_view identity) {
    std::string name = "kvphoto-port-";
    for (char c : identity) {
        const bool fit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        name += fit ? c : '_';
    }
    return name + ".lock";
}

} // namespace kv::platform
