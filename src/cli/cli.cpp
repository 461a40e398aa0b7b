#include "cli/cli.h"

#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "platform/ascii.h"
#include "platform/leftovers.h"
#include "platform/paths.h"
#include "platform/version.h"
#include "shell/shell_messages.h"
#include "shell/startup.h"

#include <exception>

namespace kv::cli {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kToolOptions = "kvphoto-cli [--home DIR] [--yes | --no] ";

bool isGroup(std::string_view word) {
    for (const CommandEntry& entry : commandTable())
        if (entry.group == word)
            return true;
    return false;
}

const CommandEntry* findCommand(std::string_view group, std::string_view name) {
    for (const CommandEntry& entry : commandTable())
        if (entry.group == group && entry.name == name)
            return &entry;
    return nullptr;
}

void printOverview(std::ostream& out) {
    out << text::kUsage << '\n' << text::kOverview << text::kCommandList << text::kClosing;
}

void printGroup(std::ostream& out, std::string_view group) {
    for (const CommandEntry& entry : commandTable())
        if (entry.group == group)
            out << "Usage: " << kToolOptions << entry.synopsis << '\n';
}

void printCommandHelp(std::ostream& out, const CommandEntry& entry) {
    out << "Usage: " << kToolOptions << entry.synopsis << "\n\n" << entry.description << '\n';
}

int toolUsageError(std::ostream& err, std::string_view what) {
    err << text::kToolName << ": " << what << '\n'
        << text::kUsage << text::kCommandList << text::kTryHelp << '\n';
    return static_cast<int>(Exit::Usage);
}

int groupUsageError(std::ostream& err, std::string_view group, std::string_view what) {
    err << text::kToolName << ": " << what << '\n';
    printGroup(err, group);
    err << "Try 'kvphoto-cli " << group << " --help'.\n";
    return static_cast<int>(Exit::Usage);
}

int runCommand(const CommandLine& line, std::ostream& out, std::ostream& err,
               const fs::path& executableDir) {
    const std::span<const std::string> words(line.words);
    if (line.version && !line.help) {
        out << text::kToolName << ' ' << platform::programVersion() << '\n';
        return static_cast<int>(Exit::Done);
    }
    if (words.empty()) {
        if (line.help) {
            printOverview(out);
            return static_cast<int>(Exit::Done);
        }
        return toolUsageError(err, text::kMissingCommand);
    }
    const std::string& group = words[0];
    if (!isGroup(group))
        return toolUsageError(err, std::string(text::kUnknownCommand) + group);
    // A command of one word takes every later word as its own.
    const CommandEntry* entry = findCommand(group, "");
    std::span<const std::string> rest = words.subspan(1);
    if (!entry) {
        if (words.size() < 2 || words[1].starts_with("--")) {
            if (line.help || (words.size() >= 2 && words[1] == "--help")) {
                printGroup(out, group);
                return static_cast<int>(Exit::Done);
            }
            return groupUsageError(err, group, text::kMissingCommand);
        }
        entry = findCommand(group, words[1]);
        if (!entry)
            return groupUsageError(err, group,
                                   std::string(text::kUnknownCommand) + group + " " + words[1]);
        rest = words.subspan(2);
    }

    ConsoleUi ui(err, line.answers);
    CommandArguments arguments = splitArguments(rest, entry->flags, entry->options);
    Invocation inv{*entry, std::move(arguments), out, err, ui, executableDir};
    if (line.help || inv.arguments.help) {
        printCommandHelp(out, *entry);
        return static_cast<int>(Exit::Done);
    }
    if (!inv.arguments.error.empty())
        return static_cast<int>(inv.usageError(inv.arguments.error));
    const auto count = static_cast<int>(inv.operandCount());
    if (count < entry->minOperands)
        return static_cast<int>(inv.usageError(text::kTooFewArguments));
    if (entry->maxOperands >= 0 && count > entry->maxOperands)
        return static_cast<int>(inv.usageError(text::kTooManyArguments));

    if (line.home) {
        std::error_code ec;
        const fs::path home = fs::absolute(*line.home, ec);
        platform::setProgramDirectory(ec ? *line.home : home);
    }
    return static_cast<int>(entry->run(inv));
}

} // namespace

bool Invocation::flag(std::string_view name) const {
    for (const std::string& f : arguments.flags)
        if (f == name)
            return true;
    return false;
}

const std::string* Invocation::option(std::string_view name) const {
    const std::string* value = nullptr;
    for (const auto& [option, given] : arguments.options)
        if (option == name)
            value = &given;
    return value;
}

Exit Invocation::usageError(std::string_view what) const {
    err << text::kToolName << ": " << what << '\n'
        << "Usage: " << kToolOptions << entry.synopsis << '\n'
        << "Try 'kvphoto-cli " << entry.group << (entry.name.empty() ? "" : " ") << entry.name
        << " --help'.\n";
    return Exit::Usage;
}

Exit Invocation::stop(std::string_view what) const {
    err << text::kToolName << ": " << what << '\n';
    return Exit::Stopped;
}

std::optional<std::uint32_t> Invocation::number(std::size_t i, std::uint32_t max) const {
    const std::optional<std::uint32_t> value = parseNumber(operand(i), max);
    if (value)
        return value;
    if (parseNumber(operand(i), UINT32_MAX))
        usageError(operand(i) + std::string(text::kOutOfRange) + "(0 to " + std::to_string(max) +
                   ")");
    else
        usageError(operand(i) + std::string(text::kNotANumber));
    return std::nullopt;
}

Program::Program(const Invocation& invocation)
    : session(state, invocation.ui), m_invocation(invocation) {}

bool Program::open() {
    session.setPortLibraryFolder(m_invocation.executableDir);
    if (session.openProgramDirectory(shell::shippedDataDirectory(m_invocation.executableDir)))
        return true;
    // The window's own message, told as every message of the program is.
    m_invocation.ui.message(std::string(shell::kMsgAlbumListUnusable) +
                                (state.programDirectory / "album.dat").string() +
                                std::string(shell::kMsgAlbumListUnusableTail),
                            platform::Ui::Icon::Stop);
    return false;
}

bool Program::openForSheets() {
    if (!open())
        return false;
    session.loadAdjustmentSettings();
    session.loadMediaCalibration();
    return true;
}

std::optional<int> Program::findAlbum(std::string_view name) const {
    const std::vector<std::string>& names = state.albums.albumNames;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return static_cast<int>(i);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (platform::equalsNoCase(names[i], name))
            return static_cast<int>(i);
    return std::nullopt;
}

bool Program::loadAlbum(std::string_view name) {
    const std::optional<int> index = findAlbum(name);
    if (!index) {
        m_invocation.stop(std::string(text::kNoSuchAlbum) + std::string(name));
        return false;
    }
    store().loadAlbum(*index, albums::AlbumChangeMode::Switching);
    return true;
}

int run(std::span<const std::string> args, std::ostream& out, std::ostream& err,
        const fs::path& executableDir) {
    const CommandLine line = parseCommandLine(args);
    if (!line.error.empty())
        return toolUsageError(err, line.error);
    try {
        return runCommand(line, out, err, executableDir);
    } catch (const std::exception& e) {
        err << text::kToolName << ": " << e.what() << '\n';
        return static_cast<int>(Exit::Stopped);
    }
}

} // namespace kv::cli
