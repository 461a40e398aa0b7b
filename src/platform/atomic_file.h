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

// Writes `bytes` to `path` (created or emptied) and flushes it to the disk. Not
// atomic by itself: for a file that a later rename puts in place. The file gets
// the permissions of `modeOf` when that exists. On failure nothing is left at
// `path` and false is returned.
bool writeFileFlushed(const std::filesystem::path& path, std::string_view bytes,
                      const std::filesystem::path& modeOf = {});

// Makes renames and removals inside `folder` durable.
void syncFolder(const std::filesystem::path& folder);

// Reads a whole regular file. Returns false when it cannot be opened or read.
bool readFile(const std::filesystem::path& path, std::string& bytes);

} // namespace kv::platform
