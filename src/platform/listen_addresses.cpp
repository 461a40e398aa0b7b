#include "platform/listen_addresses.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <grp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kv::platform {

namespace {

// The addresses getaddrinfo gives for `host` (nullptr: every address), numeric.
std::optional<std::vector<ListenAddress>> resolve(const char* host, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | flags;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host, "0", &hints, &found) != 0)
        return std::nullopt;
    std::vector<ListenAddress> addresses;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (a->ai_family != AF_INET && a->ai_family != AF_INET6)
            continue;
        char numeric[NI_MAXHOST];
        if (::getnameinfo(a->ai_addr, a->ai_addrlen, numeric, sizeof numeric, nullptr, 0,
                          NI_NUMERICHOST) != 0)
            continue;
        const ListenAddress address{numeric, a->ai_family == AF_INET6};
        bool seen = false;
        for (const ListenAddress& other : addresses)
            seen = seen || other.numeric == address.numeric;
        if (!seen)
            addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    return addresses;
}

} // namespace

std::optional<std::vector<ListenAddress>> listenAddresses(std::string_view host) {
    if (host == "localhost")
        return std::vector<ListenAddress>{{"127.0.0.1", false}, {"::1", true}};
    if (host.empty() || host == "*")
        return resolve(nullptr, 0);
    std::string name(host);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    return resolve(name.c_str(), 0);
}

BindTrial trialBind(const ListenAddress& address, int port, std::string* error) {
    sockaddr_storage storage{};
    socklen_t size = 0;
    if (address.v6) {
        auto& in6 = reinterpret_cast<sockaddr_in6&>(storage);
        in6.sin6_family = AF_INET6;
        in6.sin6_port = htons(static_cast<std::uint16_t>(port));
        if (::inet_pton(AF_INET6, address.numeric.c_str(), &in6.sin6_addr) != 1)
            return BindTrial::Failed;
        size = sizeof in6;
    } else {
        auto& in = reinterpret_cast<sockaddr_in&>(storage);
        in.sin_family = AF_INET;
        in.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::inet_pton(AF_INET, address.numeric.c_str(), &in.sin_addr) != 1)
            return BindTrial::Failed;
        size = sizeof in;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int result = fd < 0 ? errno : 0;
    if (fd >= 0) {
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (address.v6)
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&storage), size) != 0)
            result = errno;
        ::close(fd);
    }
    if (result == 0)
        return BindTrial::Free;
    if (result == EADDRINUSE)
        return BindTrial::Taken;
    if (result == EADDRNOTAVAIL || result == EAFNOSUPPORT)
        return BindTrial::Absent;
    if (error)
        *error = std::strerror(result);
    return BindTrial::Failed;
}

bool localSocketAnswers(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.string().size() >= sizeof address.sun_path)
        return false;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool live =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return live;
}

std::size_t localSocketPathLimit() {
    return sizeof(sockaddr_un{}.sun_path) - 1;
}

unsigned currentUser() {
    return ::getuid();
}

std::string userName(unsigned uid) {
    if (const passwd* user = ::getpwuid(uid))
        return user->pw_name;
    return std::to_string(uid);
}

bool userInGroup(unsigned uid, unsigned gid) {
    const passwd* user = ::getpwuid(uid);
    if (!user)
        return false;
    if (user->pw_gid == gid)
        return true;
    const std::string name = user->pw_name;
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    if (::getgrouplist(name.c_str(), user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(name.c_str(), user->pw_gid, groups.data(), &count) < 0)
            return false;
    }
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<std::size_t>(i)] == gid)
            return true;
    return false;
}

} // namespace kv::platform
