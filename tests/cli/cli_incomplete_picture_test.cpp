// A picture file that ends early: render and print make its sheet, as the window
// does, and say on standard error what the window and "picture add" say.

#include "cli_runner.h"
#include "intake/intake_messages.h"
#include "support/jpeg_writer.h"
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

TEST(CliIncompletePicture, RenderAndPrintSayWhatTheWindowSays) {
    Cli cli;
    const std::string whole = test::encodeJpeg(320, 240, [](int y, JSAMPLE* row) {
        for (int x = 0; x < 320 * 3; ++x)
            row[x] = static_cast<JSAMPLE>((x + y * 7) & 0xff);
    });
    const fs::path complete = cli.root() / "ganz.jpg";
    const fs::path cut = cli.root() / "halb.jpg";
    test::writeBytes(complete, whole);
    test::writeBytes(cut, whole.substr(0, whole.size() * 6 / 10));
    const std::string told = std::string(intake::msg::kIncomplete) +
                             std::string(intake::msg::kReasonSeparator) + cut.string() + "\n";
    const fs::path out = cli.root() / "out";
    const std::vector<std::pair<QString, QString>> printer = {
        {"KVPR_PORT", "sim"}, {"KVPR_SIM_OUT", QString::fromStdString(out.string())}};
    const std::string bmx = (cli.root() / "sheet.bmx").string();

    const struct {
        std::vector<std::string> args;
        bool incomplete;
    } cases[] = {
        {{"render", cut.string(), "--bmx", bmx}, true},
        {{"render", "--layout", "4", complete.string(), cut.string(), "--bmx", bmx}, true},
        {{"render", complete.string(), "--bmx", bmx}, false},
        {{"--yes", "print", "--quiet", cut.string()}, true},
        {{"--yes", "print", "--quiet", complete.string()}, false},
    };
    int pages = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
        const Result r = cli.run(c.args, printer);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err.find(told) != std::string::npos, c.incomplete) << r.err;
        if (c.args[1] == "print") {
            EXPECT_EQ(test::printedPages(out), ++pages);
        }
    }
}

} // namespace
} // namespace kv::cli
