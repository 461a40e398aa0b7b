#pragma once

#include <cstddef>
#include <cstdint>
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

// A file written piece by piece at known offsets into a temporary file beside
// `path`, and renamed over it by commit(). Never flushed to the disk: for copies
// the program can make again (the temporary folder's), where a crash may lose the
// file but the rename still leaves it whole or absent. Like writeFileAtomic, a
// replaced file keeps its permissions and a symbolic link is written through.
// Destroyed uncommitted, it removes its temporary file and leaves `path` untouched.
class UnsyncedFile {
  public:
    UnsyncedFile() = default;
    UnsyncedFile(const UnsyncedFile&) = delete;
    UnsyncedFile& operator=(const UnsyncedFile&) = delete;
    ~UnsyncedFile();

    // Creates the temporary file, `size` bytes of zeros. False when it cannot.
    bool open(const std::filesystem::path& path, std::uint64_t size);
    bool writeAt(std::uint64_t offset, const void* bytes, std::size_t count);
    // Closes the file and renames it into place; false (and nothing left) on failure.
    bool commit();
    // Removes the temporary file now, as the destructor would.
    void discard();

  private:
    int m_fd = -1;
    std::string m_temp;
    std::filesystem::path m_target;
};

// Makes renames and removals inside `folder` durable.
void syncFolder(const std::filesystem::path& folder);

// Reads a whole regular file. Returns false when it cannot be opened or read.
bool readFile(const std::filesystem::path& path, std::string& bytes);

} // namespace kv::platform
