#pragma once

#include <optional>

namespace kv::platform {

// The user id of the process at the other end of the connected socket `fd`: the
// kernel's credentials for a local socket, its socket table (/proc/net/tcp, tcp6) for a
// TCP connection between two sockets of this machine. nullopt when it cannot be told.
std::optional<unsigned> peerUser(int fd);
// Whether the process at the other end of `fd` runs as this process's user.
bool peerIsSelf(int fd);

} // namespace kv::platform
