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

} // namespace kv::platform
