#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv::platform {

// Number text in files and status lines, always with "." as decimal separator,
// whatever the user's locale says.

// printf-style formatting with the "C" locale; the formats of the file layouts
// ("%2d", "%03d  %3d", "%.3f", "%s [%dX%d]") are reproduced exactly.
std::string formatC(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Leading white space skipped, then an optional sign and decimal digits, as
// scanf("%d") reads them. Returns nullopt when no digit follows or on overflow.
// `consumed` (when given) receives the number of characters read.
std::optional<int> parseInt(std::string_view text, std::size_t* consumed = nullptr);

// Like strtod in the "C" locale ("1.5", "-2e3", ".5", "inf", leading blanks
// skipped), without hexadecimal forms. Returns nullopt when no number follows or
// the value is out of the range of double.
std::optional<double> parseDouble(std::string_view text, std::size_t* consumed = nullptr);

} // namespace kv::platform
