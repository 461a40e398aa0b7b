#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>

namespace kv::cli {

// Exit codes of the tool.
enum class Exit {
    Done = 0,    // the command did what it was asked
    Stopped = 1, // it stopped on a message (on standard error)
    Usage = 2,   // the command line was wrong (usage on standard error)
};

// Runs one command line (the arguments after the program name) and returns the
// exit code. Output goes to `out`, messages and questions to `err`.
// `executableDir` is where the port library and the shipped data are looked for.
int run(std::span<const std::string> args, std::ostream& out, std::ostream& err,
        const std::filesystem::path& executableDir);

} // namespace kv::cli
