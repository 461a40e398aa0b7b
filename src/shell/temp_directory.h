#pragma once

#include "platform/ui.h"

#include <filesystem>

namespace kv::shell {

// Why the temporary directory is being cleared at the end of a run; the two
// cases report a folder that cannot be removed differently.
enum class CleanupReason { WindowDestroyed, SessionEnding };

// Before the main window exists: makes "<driveC>/kvtemp/" and empties it of the
// pictures an earlier run left ("*.bmp", any case). Other files stay, and with
// them the folder. Failures are ignored.
void prepareTempDirectory(const std::filesystem::path& driveC);

// At the end of a run: deletes every "*.bmp" in "<driveC>/kvtemp/" and removes the
// folder, telling the user when it cannot be removed. Nothing happens when there
// is no such folder.
void cleanUpTempDirectory(const std::filesystem::path& driveC, CleanupReason reason,
                          platform::Ui& ui);

} // namespace kv::shell
