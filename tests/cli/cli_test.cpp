// The tool's command line and prompts in process: every case stops before a file is opened.

#include "cli/arguments.h"
#include "cli/cli.h"
#include "cli/console_ui.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kv::cli {
namespace {

using Answer = platform::Ui::Answer;
using Buttons = platform::Ui::Buttons;
using Icon = platform::Ui::Icon;

struct LineResult {
    int code;
    std::string out;
    std::string err;
};

LineResult runLine(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = run(args, out, err, {});
    return {code, out.str(), err.str()};
}

TEST(CliNumbers, DecimalOrHexWithinTheRange) {
    const struct {
        const char* text;
        std::uint32_t max;
        std::optional<std::uint32_t> value;
    } cases[] = {
        {"0", 255, 0},      {"255", 255, 255},
        {"0xff", 255, 255}, {"0XFf", 255, 255},
        {"256", 255, {}},   {"0x100", 255, {}},
        {"", 255, {}},      {"0x", 255, {}},
        {"-1", 255, {}},    {"+1", 255, {}},
        {" 1", 255, {}},    {"12a", 255, {}},
        {"0x-1", 255, {}},  {"99999999999999999999", 0xFFFFFFFF, {}},
        {"010", 255, 10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseNumber(c.text, c.max), c.value) << c.text;
}

TEST(CliCommandLine, UsageErrorsGoToStandardErrorAndHelpToOutput) {
    const struct {
        std::vector<std::string> args;
        int code;
        std::string errStart; // usage errors; help goes to standard output
        std::string outStart;
    } cases[] = {
        {{},
         2,
         "kvphoto-cli: no command given\nUsage: kvphoto-cli [--home DIR] [--yes | --no] "
         "COMMAND ...\n  album list ",
         ""},
        {{"--help"}, 0, "", "Usage: kvphoto-cli [--home DIR] [--yes | --no] COMMAND ...\n"},
        {{"--yes", "--no", "album", "list"},
         2,
         "kvphoto-cli: --yes and --no exclude each other\n",
         ""},
        {{"albums", "list"}, 2, "kvphoto-cli: unknown command: albums\n", ""},
        {{"album"},
         2,
         "kvphoto-cli: no command given\nUsage: kvphoto-cli [--home DIR] [--yes | --no] album "
         "list\n",
         ""},
        {{"album", "--help"}, 0, "", "Usage: kvphoto-cli [--home DIR] [--yes | --no] album list\n"},
        {{"album", "rename", "A"},
         2,
         "kvphoto-cli: missing arguments\nUsage: kvphoto-cli [--home DIR] [--yes | --no] album "
         "rename OLD NEW\nTry 'kvphoto-cli album rename --help'.\n",
         ""},
        {{"media", "gamma", "--wirte"}, 2, "kvphoto-cli: unknown option: --wirte\n", ""},
        {{"picture", "rotate", "A", "-1"},
         2,
         "kvphoto-cli: -1 is not a number (decimal or 0x hex)\n",
         ""},
        {{"printer", "read-stored", "0x1FF"},
         2,
         "kvphoto-cli: 0x1FF is out of range (0 to 255)\n",
         ""},
        {{"--home", "/nonexistent/x", "album", "add", "--help"},
         0,
         "",
         "Usage: kvphoto-cli [--home DIR] [--yes | --no] album add NAME\n\nAdds"},
    };
    for (const auto& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        const LineResult r = runLine(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.err.substr(0, c.errStart.size()), c.errStart) << r.err;
        EXPECT_EQ(r.out.substr(0, c.outStart.size()), c.outStart);
        EXPECT_TRUE(c.code == 0 ? r.err.empty() : r.out.empty());
    }
}

TEST(CliCommandLine, OperandsAfterDoubleDashMayLookLikeOptions) {
    const std::vector<std::string> words = {"--save", "--", "--help", "--txt"};
    const std::vector<std::string_view> flags = {"--save", "--txt"};
    const CommandArguments a = splitArguments(words, flags);
    EXPECT_FALSE(a.help);
    EXPECT_EQ(a.flags, std::vector<std::string>{"--save"});
    EXPECT_EQ(a.operands, (std::vector<std::string>{"--help", "--txt"}));
    EXPECT_TRUE(a.error.empty());
}

TEST(ConsoleUi, ShowsEveryTextAndAnswersFromTheCommandLine) {
    const struct {
        Answers answers;
        Buttons buttons;
        Answer answer;
        std::string err;
    } cases[] = {
        {Answers::Unset, Buttons::YesNo, Answer::No,
         "Frage?\nkvphoto-cli: no --yes or --no given: answered No\n"},
        {Answers::Unset, Buttons::RetryCancel, Answer::Cancel,
         "Frage?\nkvphoto-cli: no --yes or --no given: answered Cancel\n"},
        {Answers::Yes, Buttons::YesNo, Answer::Yes, "Frage?\n"},
        {Answers::Yes, Buttons::RetryCancel, Answer::Retry, "Frage?\n"},
        {Answers::No, Buttons::YesNo, Answer::No, "Frage?\n"},
        {Answers::Unset, Buttons::Ok, Answer::Ok, "Frage?\n"},
    };
    for (const auto& c : cases) {
        std::ostringstream err;
        ConsoleUi ui(err, c.answers);
        EXPECT_EQ(ui.ask("Frage?", c.buttons, Icon::Question), c.answer) << c.err;
        EXPECT_EQ(err.str(), c.err);
        EXPECT_EQ(ui.messageCount(), 0);
    }
    std::ostringstream err;
    ConsoleUi ui(err, Answers::Yes);
    {
        platform::Ui::WaitCursor wait(ui);
        ui.message("Zeile 1\n\n Zeile 2", Icon::Exclamation);
    }
    EXPECT_EQ(err.str(), "Zeile 1\n\n Zeile 2\n");
    EXPECT_EQ(ui.messageCount(), 1);
}

} // namespace
} // namespace kv::cli
