#include "intake/temp_bmp.h"

#include "platform/ascii.h"

#include <cstdint>
#include <string>

namespace kv::intake {

namespace {

struct SplitName {
    std::string_view base;
    std::string_view extension;
    bool hasDot = false;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

SplitName split(std::string_view name) {
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos)
        return {name, {}, false};
    std::string_view extension = name.substr(dot + 1);
    std::size_t end = 0;
    while (end < extension.size() && !isSpace(extension[end]))
        ++end;
    return {name.substr(0, dot), extension.substr(0, end), true};
}

std::uint32_t fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

// A display name comes from a file name, but a separator must never lead the copy
// out of the temporary directory.
void appendSafe(std::string& out, std::string_view part) {
    for (char c : part)
        out += (c == '/' || c == '\\') ? '_' : c;
}

} // namespace

bool isBmpName(std::string_view displayName) {
    const SplitName parts = split(displayName);
    const std::string_view ext = parts.extension;
    return ext.size() >= 3 && platform::equalsNoCase(ext.substr(0, 3), "bmp");
}

std::filesystem::path temporaryBmpPath(const std::filesystem::path& tempDir,
                                       std::string_view fullPath, std::string_view displayName) {
    const SplitName parts = split(displayName);
    std::string name;
    appendSafe(name, parts.base);
    if (parts.hasDot) {
        name += '_';
        appendSafe(name, parts.extension);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    const std::uint32_t hash = fnv1a(fullPath);
    name += '_';
    for (int shift = 28; shift >= 0; shift -= 4)
        name += kHex[(hash >> shift) & 0xF];
    name += ".bmp";
    return tempDir / name;
}

} // namespace kv::intake
