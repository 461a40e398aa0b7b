#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kv::platform {

// One key=value of a section, for writing several at once.
struct ProfileEntry {
    std::string_view section;
    std::string_view key;
    std::string value;
};

// A private-profile (INI) file with the semantics the program's settings files
// have always had: section and key names match without regard to case; a write
// changes only its own line and keeps every other line and comment; the file,
// section or key is created when missing; lines end CR LF; a write is atomic.
class Profile {
  public:
    explicit Profile(std::filesystem::path path) : m_path(std::move(path)) {}

    const std::filesystem::path& path() const { return m_path; }

    // The value of key in section, trimmed of surrounding blanks and of one pair of
    // surrounding double quotes, or the default when the file, section or key is
    // missing. Of duplicate sections or keys the first one counts.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // The leading integer of the value (as the Windows call reads it: optional
    // sign, decimal digits). The default when the key is missing, its value is
    // empty or the number does not fit an int; 0 when the value starts with no
    // number at all ("abc"), as the Windows call gives.
    int readInt(std::string_view section, std::string_view key, int defaultValue) const;

    // Sets key=value in section; names are trimmed of surrounding blanks and the key
    // is written as the caller spells it. Returns false, leaving the file as it was,
    // when the file cannot be read or written (its folder is missing, say) or when
    // canWrite refuses the entry.
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    // Several entries in one atomic rewrite: all of them or, when one is refused or
    // the file cannot be read or written, none.
    bool writeEntries(std::span<const ProfileEntry> entries);

    // Whether an entry can be stored so that it reads back: names not empty, no line
    // break or NUL anywhere, no "]" in the section, no "=" in the key and no key
    // that would read as a comment or a header.
    static bool canWrite(std::string_view section, std::string_view key, std::string_view value);

    // Pure text transforms behind the calls above, for tests and fuzzing. update
    // returns the whole new file text with every line ending CR LF; an entry that
    // canWrite refuses leaves the text as it is.
    static std::optional<std::string> lookup(std::string_view text, std::string_view section,
                                             std::string_view key);
    static std::string update(std::string_view text, std::string_view section, std::string_view key,
                              std::string_view value);

  private:
    std::filesystem::path m_path;
};

// Writes `entries` to `file`, then to `mirror` when that file already existed
// before (best effort: the mirror is only ever kept in step, never created).
// False when `file` could not be written.
bool writeEntriesMirrored(const std::filesystem::path& file, const std::filesystem::path& mirror,
                          std::span<const ProfileEntry> entries);

} // namespace kv::platform
