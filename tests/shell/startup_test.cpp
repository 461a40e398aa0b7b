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

TEST(CommandLine, FilesAreMadeAbsoluteAndDebugModeStaysAlone) {
    using Args = std::vector<std::string>;
    struct Case {
        Args typed;
        Args remaining; // after Qt took its options; the same as typed when empty
        bool debug;
        Args files;
        Args refused;
    };
    const Case cases[] = {
        {{"/debug"}, {}, true, {}, {}},
        {{}, {}, false, {}, {}},
        // "/debug" beside a file is neither debug mode nor a file.
        {{"/debug", "foto.jpg"}, {}, false, {"/start/foto.jpg"}, {}},
        {{"a.jpg", "/debug"}, {}, false, {"/start/a.jpg"}, {}},
        {{"-style", "Fusion", "/debug"}, {"/debug"}, false, {}, {}},
        {{"-style", "Fusion", "b.jpg"}, {"b.jpg"}, false, {"/start/b.jpg"}, {}},
        // Relative, absolute, odd names; the given order stays.
        {{"./sub/../c d.jpg", "/abs/./x.jpg", "foto:1.jpg", "", "-x", "\xC3\xA4.jpg"},
         {},
         false,
         {"/start/sub/../c d.jpg", "/abs/x.jpg", "/start/foto:1.jpg", "/start/-x",
          "/start/\xC3\xA4.jpg"},
         {}},
        // What a file manager or a desktop entry's %U passes.
        {{"file:///home/u/Mein%20Bild%C3%A4.jpg", "FILE://localhost/x.jpg", "file:/y%2.jpg",
          "file:///z.jpg#frag", "file:///100%25.jpg"},
         {},
         false,
         {"/home/u/Mein Bild\xC3\xA4.jpg", "/x.jpg", "/y%2.jpg", "/z.jpg", "/100%.jpg"},
         {}},
        // Not on this computer, or no sound path: refused, the others still open.
        {{"http://host/a.jpg", "a.jpg", "file://server/share/b.jpg", "smb://s/c.jpg",
          "file:///x%00y.jpg", "file://host"},
         {},
         false,
         {"/start/a.jpg"},
         {"http://host/a.jpg", "file://server/share/b.jpg", "smb://s/c.jpg", "file:///x%00y.jpg",
          "file://host"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.empty() ? std::string("(none)") : c.typed.front());
        const CommandLine line =
            parseCommandLine(c.typed, c.remaining.empty() ? c.typed : c.remaining, "/start");
        EXPECT_EQ(line.debug, c.debug);
        EXPECT_EQ(line.files, c.files);
        EXPECT_EQ(line.refused, c.refused);
    }

    RecordingUi ui;
    reportRefusedArguments({"http://host/a.jpg", "smb://s/c.jpg"}, ui);
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{
                              "Nur Dateien auf diesem Computer können geöffnet werden.\n\n"
                              "http://host/a.jpg\nKann nicht geöffnet werden.",
                              "Nur Dateien auf diesem Computer können geöffnet werden.\n\n"
                              "smb://s/c.jpg\nKann nicht geöffnet werden."}));
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
