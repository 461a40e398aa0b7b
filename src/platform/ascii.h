#pragma once

#include <algorithm>
#include <string_view>

namespace kv::platform {

// Byte-wise comparisons that fold only A-Z and a-z, whatever the locale: names in
// settings files and on disk match "without regard to case" this way, and bytes
// of UTF-8 sequences never compare equal to ASCII letters.
constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

constexpr bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

// Case-folded order first, so "b.jpg" stays beside "B.JPG"; bytes break ties.
constexpr bool lessNoCase(std::string_view a, std::string_view b) {
    const bool less =
        std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                     [](char x, char y) { return asciiLower(x) < asciiLower(y); });
    if (less || !equalsNoCase(a, b))
        return less;
    return a < b;
}

} // namespace kv::platform
