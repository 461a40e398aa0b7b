#include "cli/arguments.h"

#include "cli/cli_texts.h"

#include <algorithm>
#include <charconv>

namespace kv::cli {

std::optional<std::uint32_t> parseNumber(std::string_view text, std::uint32_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars would take a sign; the command line has no negative numbers.
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

CommandLine parseCommandLine(std::span<const std::string> args) {
    CommandLine line;
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--yes" || arg == "--no") {
            const Answers answer = arg == "--yes" ? Answers::Yes : Answers::No;
            if (line.answers != Answers::Unset && line.answers != answer) {
                line.error = text::kYesAndNo;
                return line;
            }
            line.answers = answer;
        } else if (arg == "--home" || arg.starts_with("--home=")) {
            std::string dir;
            if (arg == "--home") {
                if (i + 1 < args.size())
                    dir = args[++i];
            } else {
                dir = arg.substr(7);
            }
            if (dir.empty()) {
                line.error = text::kMissingHome;
                return line;
            }
            line.home = dir;
        } else if (arg == "--help") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg.starts_with("--")) {
            line.error = std::string(text::kUnknownOption) + arg;
            return line;
        } else {
            break;
        }
    }
    line.words.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return line;
}

CommandArguments splitArguments(std::span<const std::string> words,
                                std::span<const std::string_view> knownFlags,
                                std::span<const std::string_view> knownOptions) {
    CommandArguments result;
    bool operandsOnly = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const std::string_view name = std::string_view(word).substr(0, word.find('='));
        const bool isOption =
            std::find(knownOptions.begin(), knownOptions.end(), name) != knownOptions.end();
        if (!operandsOnly && isOption) {
            std::optional<std::string> value;
            if (name.size() < word.size())
                value = word.substr(name.size() + 1);
            else if (i + 1 < words.size())
                value = words[++i];
            if (value && !value->empty())
                result.options.emplace_back(std::string(name), std::move(*value));
            else if (result.error.empty())
                result.error = std::string(name) + std::string(text::kNeedsValue);
        } else if (operandsOnly || !word.starts_with("--")) {
            result.operands.push_back(word);
        } else if (word == "--") {
            operandsOnly = true;
        } else if (word == "--help") {
            result.help = true;
        } else if (std::find(knownFlags.begin(), knownFlags.end(), word) != knownFlags.end()) {
            if (std::find(result.flags.begin(), result.flags.end(), word) == result.flags.end())
                result.flags.push_back(word);
        } else if (result.error.empty()) {
            result.error = std::string(text::kUnknownOption) + word;
        }
    }
    return result;
}

} // namespace kv::cli
