#include "platform/numbers.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace kv::platform {

namespace {

// Created once and never freed: the "C" locale object lives for the whole run.
locale_t cLocale() {
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

// Selects the "C" locale for this thread for one call, whatever setlocale chose.
class CLocaleScope {
  public:
    CLocaleScope() : m_previous(::uselocale(cLocale())) {}
    ~CLocaleScope() { ::uselocale(m_previous); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t m_previous;
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::size_t skipSpace(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    return i;
}

} // namespace

std::string formatC(const char* format, ...) {
    CLocaleScope scope;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string out;
    if (needed < 0) {
        va_end(again);
        return out;
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        out.assign(small, static_cast<std::size_t>(needed));
    } else {
        out.resize(static_cast<std::size_t>(needed));
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    }
    va_end(again);
    return out;
}

std::optional<int> parseInt(std::string_view text, std::size_t* consumed) {
    std::size_t i = skipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t firstDigit = i;
    // Accumulated as a negative number so that INT_MIN itself fits.
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 - (text[i] - '0');
        if (value < static_cast<long long>(INT_MIN) - 1)
            value = static_cast<long long>(INT_MIN) - 1; // stays out of range, no wrap
        ++i;
    }
    if (i == firstDigit)
        return std::nullopt;
    if (!negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    if (consumed)
        *consumed = i;
    return static_cast<int>(value);
}

std::optional<double> parseDouble(std::string_view text, std::size_t* consumed) {
    // strtod needs a terminated string; the copy also stops at an embedded NUL.
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double value = ::strtod_l(copy.c_str(), &end, cLocale());
    const std::size_t used = static_cast<std::size_t>(end - copy.c_str());
    if (used == 0)
        return std::nullopt;
    // No file of the program holds infinities or NaNs; an overflowing text would
    // otherwise poison every computation that uses it.
    if (!std::isfinite(value))
        return std::nullopt;
    if (consumed)
        *consumed = used;
    return value;
}

} // namespace kv::platform
