#pragma once

#include "cli/commands.h"
#include "shell/app_state.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The sheet of a command line as render and print both take it: a layout, FILE
// operands and an album, set up as the windows would have them before a job.
namespace kv::cli {

// --layout 1, 4 or 16 (1 when not given); nullopt for anything else.
std::optional<shell::Layout> layoutOf(const std::string* value);

// What is wrong with the FILE operands and --album for the layout; empty when
// nothing is.
std::string_view sheetUsageError(const Invocation& inv, shell::Layout layout);

// 1 in 1: the FILE as the loaded picture; 4 in 1: the quarters composed from the
// FILEs; 16 in 1: the album's sheet. False when that stopped (told).
bool setUpSheet(Invocation& inv, Program& program, shell::Layout layout,
                const std::filesystem::path& tempDir);

} // namespace kv::cli
