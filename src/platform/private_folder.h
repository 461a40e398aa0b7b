#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// A folder for sockets, locks and spooled jobs: only its user may reach into it, so
// nobody else can read a job's name, swap a file or answer in our place.
struct PrivateFolder {
    std::filesystem::path path;
    // Empty when the folder is fit; else why not, in German, naming the folder.
    std::string problem;
};

// $XDG_RUNTIME_DIR/<runtimeName> when XDG_RUNTIME_DIR is set, else
// ($XDG_CACHE_HOME or ~/.cache)/<cacheName>. Made with mode 0700 when missing; refused
// when it or the folder holding it is not the user's own or others may write into it.
PrivateFolder privateFolder(std::string_view runtimeName, const std::filesystem::path& cacheName);

// Makes `folder` (mode 0700) when missing and tells why it is unfit, or nullopt when it
// is a folder of the user's own that no one else may write into. A link is refused.
std::optional<std::string> checkPrivateFolder(const std::filesystem::path& folder);

} // namespace kv::platform
