#include "shell/startup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace kv::shell {
namespace {

// --help and --version are answered, never taken for files; after "--" every
// name is a file, also one that looks like an option.
TEST(CommandLineOptions, InformationOrFiles) {
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> answerStart; // what the program prints and ends on
        std::vector<std::string> files;         // otherwise: the files it opens
    };
    const Case cases[] = {
        {{"--help"}, "Aufruf: kvphoto", {}},
        {{"a.jpg", "--version"}, "kvphoto ", {}},
        {{"/debug", "--help"}, "Aufruf: kvphoto", {}},
        {{"--", "--help", "--version"}, std::nullopt, {"/start/--help", "/start/--version"}},
        {{"a.jpg", "--", "--"}, std::nullopt, {"/start/a.jpg", "/start/--"}},
        {{"./--help"}, std::nullopt, {"/start/--help"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const std::optional<std::string> answer = informationText(c.args);
        ASSERT_EQ(answer.has_value(), c.answerStart.has_value());
        if (answer) {
            EXPECT_EQ(answer->substr(0, c.answerStart->size()), *c.answerStart);
            EXPECT_EQ(answer->back(), '\n');
            continue;
        }
        EXPECT_EQ(parseCommandLine(c.args, c.args, "/start").files, c.files);
    }
}

} // namespace
} // namespace kv::shell
