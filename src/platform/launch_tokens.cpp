#include "platform/launch_tokens.h"

#include <cstdlib>

namespace kv::platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

LaunchTokens launchTokensFromEnvironment() {
    return {environment("DESKTOP_STARTUP_ID"), environment("XDG_ACTIVATION_TOKEN")};
}

std::string startupRemoveMessage(std::string_view startupId) {
    std::string message = "remove: ID=";
    for (const char c : startupId) {
        if (c == ' ' || c == '"' || c == '\\')
            message += '\\';
        message += c;
    }
    message += '\0';
    return message;
}

} // namespace kv::platform
