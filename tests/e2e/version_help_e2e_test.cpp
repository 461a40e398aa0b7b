#include "support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// Every program answers --help and --version with the project's one version and
// ends, before a window, a running copy or a program directory is involved: no
// display is given, and the program directory stays empty.
TEST(VersionHelp, EveryProgramAnswersAndEnds) {
    struct Case {
        const char* program;
        const char* option;
        std::string expected; // the first line's last word, or a text the answer holds
    };
    const Case cases[] = {
        {KV_PROGRAM, "--version", KV_VERSION},
        {KV_PROGRAM, "--help", "--version"},
        {KV_CLI, "--version", KV_VERSION},
        {KV_CLI, "--help", "--version"},
        {KV_PRINTER_APP, "--version", KV_VERSION},
        {KV_PRINTER_APP, "--help", "Usage: kvphoto-printer-app SUB-COMMAND"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(fs::path(c.program).filename()) + " " + c.option);
        kv::test::TempDir root;
        fs::create_directories(root / "home");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("KVPR_HOME", QString::fromStdString((root / "home").string()));
        env.insert("KVPR_DRIVE_C", QString::fromStdString((root / "c").string()));
        env.insert("KVPR_SYSTEM_DIR", QString::fromStdString((root / "system").string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((root / "run").string()));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(c.program, {c.option});
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        const std::string out = process.readAllStandardOutput().toStdString();
        if (std::string(c.option) == "--version") {
            const std::string first = out.substr(0, out.find('\n'));
            EXPECT_EQ(first.substr(first.rfind(' ') + 1), c.expected) << out;
        } else {
            EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        }
        EXPECT_TRUE(fs::is_empty(root / "home"));
    }
}

} // namespace
