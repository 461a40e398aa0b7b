#pragma once

#include <filesystem>
#include <string_view>

namespace kv::intake {

// A display name is a BMP name when the part after its first "." (up to the first
// white space) starts with "bmp" in any case; such files are read directly.
bool isBmpName(std::string_view displayName);

// The converted copy of a picture that is not a BMP: "<base>_<ext>_<hash>.bmp", or
// "<name>_<hash>.bmp" for a name without ".", in `tempDir`. The hash (8 hex digits,
// FNV-1a of the full path) keeps pictures of one name from different folders apart.
std::filesystem::path temporaryBmpPath(const std::filesystem::path& tempDir,
                                       std::string_view fullPath, std::string_view displayName);

} // namespace kv::intake
