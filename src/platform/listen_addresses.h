#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::platform {

// One numeric address a server is to listen on.
struct ListenAddress {
    std::string numeric; // "127.0.0.1", "::1"
    bool v6 = false;
    // As PAPPL and URLs write it: an IPv6 address in brackets.
    std::string bracketed() const { return v6 ? "[" + numeric + "]" : numeric; }
};

// Every address `host` stands for ("*" or empty: every address of the machine;
// "localhost": 127.0.0.1 and ::1, whatever the hosts file says, since clients may
// resolve it either way); nullopt when the name is unknown.
std::optional<std::vector<ListenAddress>> listenAddresses(std::string_view host);

enum class BindTrial {
    Free,   // the address and port can be listened on
    Taken,  // someone listens there already
    Absent, // the machine has no such address (no IPv6, say): nobody can take it
    Failed, // any other refusal (a port below 1024, say)
};

// Binds as a listener would (address reuse, IPv6 apart from IPv4) and lets go at once.
// `error` gets the system's reason for Failed.
BindTrial trialBind(const ListenAddress& address, int port, std::string* error = nullptr);

// Whether a server answers on the local (unix domain) socket `path`.
bool localSocketAnswers(const std::filesystem::path& path);

// The longest path a local socket may have.
std::size_t localSocketPathLimit();

// The running user, a user's login name (the number when it has none), and whether a
// user belongs to a group.
unsigned currentUser();
std::string userName(unsigned uid);
bool userInGroup(unsigned uid, unsigned gid);

} // namespace kv::platform
