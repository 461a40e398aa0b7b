#pragma once

#include <string>
#include <string_view>

namespace kv::platform {

// What a desktop launcher gives the program it starts, so that the desktop can end
// its busy cursor and let the new window come to the front.
struct LaunchTokens {
    std::string startupId;       // X11 startup notification: DESKTOP_STARTUP_ID
    std::string activationToken; // Wayland xdg-activation: XDG_ACTIVATION_TOKEN
    bool empty() const { return startupId.empty() && activationToken.empty(); }
    friend bool operator==(const LaunchTokens&, const LaunchTokens&) = default;
};

// Read before the application object exists: Qt's X11 connection takes
// DESKTOP_STARTUP_ID out of the environment when it opens.
LaunchTokens launchTokensFromEnvironment();

// The startup-notification message that ends the launch `startupId`: "remove: ID="
// with blanks, quotes and backslashes escaped, and its closing NUL.
std::string startupRemoveMessage(std::string_view startupId);

} // namespace kv::platform
