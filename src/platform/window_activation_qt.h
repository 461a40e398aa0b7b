#pragma once

#include "platform/launch_tokens.h"

class QWidget;

namespace kv::platform {

// Asks the desktop to activate `window` on behalf of a later launch of the program,
// with that launch's tokens, and ends the launch's startup notification: otherwise
// the launcher's busy cursor spins until the desktop gives up on it.
void activateForLaunch(QWidget& window, const LaunchTokens& launch);

} // namespace kv::platform
