#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::platform {

// Writes `bytes` to a temporary file in the same folder, flushes it, and renames
// it over `path`. A crash or a full disk leaves the old file or the new one,
// never half of one. Returns false (and leaves `path` untouched) on any failure.
// The new file keeps the old one's permissions; a symbolic link is written
// through to its target.
bool writeFileAtomic(const std::filesystem::path& path, std::string_view bytes);

// Reads a whole regular file. Returns false when it cannot be opened or read.
bool readFile(const std::filesystem::path& path, std::string& bytes);

} // namespace kv::platform
