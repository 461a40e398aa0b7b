#pragma once

#include <filesystem>
#include <string>

namespace kv::platform {

// Temporary files and folders carry the process id of their maker in their name
// (".NAME.tmp-PID-XXXXXX", "kvcli-PID-N"), so a later start can tell the leftovers
// of an interrupted run from the work of a program still running.
std::string ownerTag();

// Removes from `folder` (not below it) our own temporary files and scratch
// folders whose maker has ended. Ones without a process id, made by earlier
// versions, go once they are a day old. Returns how many were removed.
int removeStaleLeftovers(const std::filesystem::path& folder);

// Removes the temporary files of `file` (".NAME.tmp-PID-XXXXXX" beside it) whose
// maker has ended: a folder of the user's own is not cleaned at start, so the next
// write of the same file takes them away.
void removeStaleTemporaries(const std::filesystem::path& file);

} // namespace kv::platform
