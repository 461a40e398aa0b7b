#pragma once

#include <string_view>

namespace kv::platform {

// The project's one version, as the build names it (CMake's project version): what
// every program answers to --version and what the package carries.
std::string_view programVersion();

} // namespace kv::platform
