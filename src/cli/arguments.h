#pragma once

#include "cli/console_ui.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv::cli {

// A number of the command line: decimal digits, or "0x" and hexadecimal digits.
// No sign and no blanks; nullopt for anything else or a value above `max`.
std::optional<std::uint32_t> parseNumber(std::string_view text, std::uint32_t max);

// The options before the command, and the command's words.
struct CommandLine {
    std::optional<std::filesystem::path> home;
    Answers answers = Answers::Unset;
    bool help = false;              // --help before any command word
    bool version = false;           // --version before any command word
    std::vector<std::string> words; // from the first word that is no option on
    std::string error;              // a usage error; empty when the line is fine
};

CommandLine parseCommandLine(std::span<const std::string> args);

// One command's words after its name: operands, the flags it knows, its options
// with their values ("--name VALUE" or "--name=VALUE"), --help. After "--" every
// word is an operand, so that names beginning with "--" can be given.
struct CommandArguments {
    std::vector<std::string> operands;
    std::vector<std::string> flags;
    std::vector<std::pair<std::string, std::string>> options; // in the order given
    bool help = false;
    std::string error;
};

CommandArguments splitArguments(std::span<const std::string> words,
                                std::span<const std::string_view> knownFlags,
                                std::span<const std::string_view> knownOptions = {});

} // namespace kv::cli
