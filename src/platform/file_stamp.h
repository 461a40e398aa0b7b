#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace kv::platform {

// What tells one version of a file from another without reading it: a file replaced
// (renamed over) gets another inode, one written in place another time or size.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file a path names (links followed); nullopt when there is none.
std::optional<FileStamp> fileStamp(const std::filesystem::path& file);

} // namespace kv::platform
