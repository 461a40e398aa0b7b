#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kv::albums {

// The four values of the picture properties page, as shown.
struct PictureProperties {
    std::string path;   // full path, shortened when long
    std::string status; // opened / missing
    std::string size;   // "%ld bytes" or "----"
    std::string date;   // last write, local time, or "----"
};

// What the file system says about a picture file that opens for reading.
struct FileFacts {
    std::optional<std::uintmax_t> size;
    std::optional<std::tm> modified; // local time
};

// Paths longer than 49 bytes keep their first 47 bytes and get "..."; the cut
// never splits a UTF-8 character.
std::string shortenedPath(std::string_view path);

// `facts` is empty when the file does not open for reading.
PictureProperties formatProperties(std::string_view fullPath,
                                   const std::optional<FileFacts>& facts);

// Looks the file up: empty when it is not a regular file that opens for reading.
std::optional<FileFacts> readFileFacts(const std::filesystem::path& file);

} // namespace kv::albums
