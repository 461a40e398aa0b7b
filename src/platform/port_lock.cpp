#include "platform/port_lock.h"

#include "platform/private_folder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {

PortLock::PortLock(std::filesystem::path file, Kind kind) : m_file(std::move(file)), m_kind(kind) {}

PortLock::~PortLock() {
    // Closing the only descriptor of the open file releases the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}

PortLock::Attempt PortLock::tryLock() {
    if (m_held)
        return Attempt::Held;
    if (m_fd < 0) {
        if (m_file.empty())
            return Attempt::Unavailable;
        // No link is followed, and a pipe planted in the lock's place must not block us.
        int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
        if (m_kind == Kind::OwnFile)
            flags |= O_CREAT;
        do
            m_fd = ::open(m_file.c_str(), flags, 0600);
        while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            return Attempt::Unavailable;
        struct stat st {};
        const bool fit = ::fstat(m_fd, &st) == 0 &&
                         (m_kind == Kind::Device ? S_ISCHR(st.st_mode)
                                                 : S_ISREG(st.st_mode) && st.st_uid == ::geteuid());
        if (!fit) {
            ::close(m_fd);
            m_fd = -1;
            return Attempt::Unavailable;
        }
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
    const PrivateFolder folder = privateFolder("kvphoto", "kvphoto/run");
    return folder.problem.empty() ? folder.path : std::filesystem::path();
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

PortLock::Place PortLock::placeFor(std::string_view identity,
                                   const std::filesystem::path& deviceDir) {
    const std::string_view first = identity.substr(0, identity.find('+'));
    constexpr std::string_view kParport = "parport";
    if (first.size() > kParport.size() && first.substr(0, kParport.size()) == kParport &&
        first.find('/') == std::string_view::npos)
        return {deviceDir / first, Kind::Device, {}};
    const PrivateFolder folder = privateFolder("kvphoto", "kvphoto/run");
    if (!folder.problem.empty())
        return {{}, Kind::OwnFile, folder.problem};
    return {folder.path / fileName(identity), Kind::OwnFile, {}};
}

} // namespace kv::platform
