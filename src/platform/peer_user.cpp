#include "platform/peer_user.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kv::platform {

namespace {

// Four 32-bit words as the kernel prints an address in /proc/net/tcp*: each word in the
// machine's own byte order of its stored bytes, eight hex digits.
bool parseWords(const char* hex, std::size_t words, std::uint32_t* out) {
    if (std::strlen(hex) != words * 8)
        return false;
    for (std::size_t i = 0; i < words; ++i) {
        char word[9] = {};
        std::memcpy(word, hex + i * 8, 8);
        char* end = nullptr;
        out[i] = static_cast<std::uint32_t>(std::strtoul(word, &end, 16));
        if (*end)
            return false;
    }
    return true;
}

struct Endpoint {
    std::uint32_t words[4] = {};
    unsigned port = 0;
};

bool endpointOf(const sockaddr_storage& address, std::size_t words, Endpoint& out) {
    if (words == 1) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(out.words, &in.sin_addr, 4);
        out.port = ntohs(in.sin_port);
    } else {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        std::memcpy(out.words, &in6.sin6_addr, 16);
        out.port = ntohs(in6.sin6_port);
    }
    return true;
}

bool same(const Endpoint& a, const Endpoint& b, std::size_t words) {
    return a.port == b.port && std::memcmp(a.words, b.words, words * 4) == 0;
}

// The owner of the socket whose own end is `peer` and whose other end is `ours`.
std::optional<unsigned> tableOwner(const char* table, std::size_t words, const Endpoint& peer,
                                   const Endpoint& ours) {
    std::FILE* in = std::fopen(table, "re");
    if (!in)
        return std::nullopt;
    std::optional<unsigned> owner;
    char line[512];
    std::fgets(line, sizeof line, in); // the heading
    while (!owner && std::fgets(line, sizeof line, in)) {
        char local[33] = {}, remote[33] = {};
        unsigned localPort = 0, remotePort = 0, uid = 0;
        if (std::sscanf(line,
                        " %*u: %32[0-9A-Fa-f]:%x %32[0-9A-Fa-f]:%x %*x %*x:%*x %*x:%*x %*x %u",
                        local, &localPort, remote, &remotePort, &uid) != 5)
            continue;
        Endpoint l, r;
        l.port = localPort;
        r.port = remotePort;
        if (parseWords(local, words, l.words) && parseWords(remote, words, r.words) &&
            same(l, peer, words) && same(r, ours, words))
            owner = uid;
    }
    std::fclose(in);
    return owner;
}

} // namespace

std::optional<unsigned> peerUser(int fd) {
    sockaddr_storage ours{}, theirs{};
    socklen_t oursSize = sizeof ours, theirsSize = sizeof theirs;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ours), &oursSize) != 0 ||
        ::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirsSize) != 0)
        return std::nullopt;
    if (ours.ss_family == AF_UNIX) {
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
            return std::nullopt;
        return credentials.uid;
    }
    if (ours.ss_family != AF_INET && ours.ss_family != AF_INET6)
        return std::nullopt;
    const std::size_t words = ours.ss_family == AF_INET ? 1 : 4;
    Endpoint us, peer;
    endpointOf(ours, words, us);
    endpointOf(theirs, words, peer);
    return tableOwner(words == 1 ? "/proc/net/tcp" : "/proc/net/tcp6", words, peer, us);
}

bool peerIsSelf(int fd) {
    const auto uid = peerUser(fd);
    return uid && *uid == ::geteuid();
}

} // namespace kv::platform
