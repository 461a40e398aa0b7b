#pragma once

#include <QString>

#include <string_view>

namespace kv::platform {

// The program's texts are UTF-8 bytes; the windows show them as QStrings.
inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace kv::platform
