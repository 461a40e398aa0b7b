#include "platform/recording_ui.h"
#include "shell/shell_messages.h"
#include "shell/startup.h"

#include <gtest/gtest.h>

namespace kv::shell {
namespace {

using platform::RecordingUi;
using platform::Ui;

TEST(DisplayDepth, OnlyOneAndEightBitsAreReported) {
    struct Case {
        int bits;
        bool proceeds;
        std::string_view message; // empty: silent
    };
    const Case cases[] = {
        {1, false, kMsgUnsupportedColours},
        {8, true, kMsgReducedColours},
        {16, true, {}},
        {24, true, {}},
        {32, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        RecordingUi ui;
        EXPECT_EQ(reportDisplayDepth(c.bits, ui), c.proceeds);
        if (c.message.empty()) {
            EXPECT_TRUE(ui.prompts().empty());
        } else {
            ASSERT_EQ(ui.prompts().size(), 1u);
            EXPECT_EQ(ui.prompts()[0].text, c.message);
            EXPECT_EQ(ui.prompts()[0].icon, Ui::Icon::None);
        }
    }
}

TEST(DebugMode, OnlyTheExactLowerCaseSwitchAlone) {
    struct Case {
        std::vector<std::string> args;
        bool debug;
    };
    const Case cases[] = {
        {{"/debug"}, true},       {{}, false},          {{"/DEBUG"}, false},
        {{"/Debug"}, false},      {{"/debugx"}, false}, {{"/debug", "x"}, false},
        {{"x", "/debug"}, false}, {{"/debug "}, false}, {{"-debug"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args.front());
        EXPECT_EQ(isDebugCommandLine(c.args), c.debug);
    }
}

TEST(MainWindowPlacement, CentredOnTheScreen) {
    struct Case {
        int screenW, screenH, left, top;
    };
    const Case cases[] = {
        {1920, 1080, 640, 300}, {1024, 768, 192, 144}, {641, 481, 0, 0},
        {640, 480, 0, 0},       {600, 400, -20, -40},
    };
    for (const Case& c : cases) {
        const WindowPlacement p = centredMainWindow(c.screenW, c.screenH);
        EXPECT_EQ(p.left, c.left) << c.screenW;
        EXPECT_EQ(p.top, c.top) << c.screenH;
        EXPECT_EQ(p.width, 640);
        EXPECT_EQ(p.height, 480);
    }
}

TEST(InstanceServerName, OnePerUserAndProgramDirectory) {
    const std::string a = instanceServerName("anna", "/home/anna/kv/");
    EXPECT_EQ(a, instanceServerName("anna", "/home/anna/kv/"));
    EXPECT_EQ(a, instanceServerName("anna", "/home/anna/./kv/"));
    EXPECT_NE(a, instanceServerName("anna", "/home/anna/kv2/"));
    EXPECT_NE(a, instanceServerName("bert", "/home/anna/kv/"));
    EXPECT_EQ(a.rfind("PhotoPrinter-anna-", 0), 0u);

    // A user name cannot smuggle a path or odd bytes into the socket name.
    const std::string odd = instanceServerName("../x y/\xC3\xA4", "/p/");
    EXPECT_EQ(odd.find('/'), std::string::npos);
    EXPECT_EQ(odd.find(' '), std::string::npos);
    EXPECT_LT(instanceServerName(std::string(500, 'u'), "/p/").size(), 80u);
}

} // namespace
} // namespace kv::shell
