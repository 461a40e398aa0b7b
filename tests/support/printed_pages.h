#pragma once

// The pages a virtual printer wrote into its output folder (KVPR_SIM_OUT).
#include <cstdio>
#include <filesystem>

namespace kv::test {

// Page n's print levels (or its picture, "png"), counted from 1.
inline std::filesystem::path printedPage(const std::filesystem::path& out, int n,
                                         const char* extension = "levels") {
    char name[32];
    std::snprintf(name, sizeof name, "page-%04d.%s", n, extension);
    return out / name;
}

inline int printedPages(const std::filesystem::path& out) {
    int count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(out, ec))
        count += entry.path().extension() == ".levels";
    return count;
}

} // namespace kv::test
