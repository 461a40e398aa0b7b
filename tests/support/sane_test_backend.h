#pragma once

#include <filesystem>

namespace kv::test {

// Points SANE at `configDir`, set up with only the `test` backend and its shipped
// settings (without them its device scans 1 x 1 pixel pages). The backend is kept
// loaded for the whole run: it leaks its reader buffers now and then, and only a
// loaded module can be named to the leak checker (which is told to let it be).
void useSaneTestBackend(const std::filesystem::path& configDir);

} // namespace kv::test
