#include "program.h"
#include "support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace kv::e2e {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

TEST(PrinterLinkE2e, StartUpSelectsResetsAndFindsTheVirtualPrinter) {
    TempDir root;
    const fs::path trace = root / "port.trace";
    auto program =
        launchProgram(root.path(), {{"KVPR_PORT_TRACE", QString::fromStdString(trace.string())}});
    const fs::path profile = root / "system" / "kvprn.ini";
    ASSERT_TRUE(waitFor([&] { return fs::exists(profile); }, 20000));
    EXPECT_EQ(readBytes(profile), "[LPT PORT]\r\nLPT_ADDRESS=888\r\n");
    EXPECT_FALSE(program->waitForFinished(500));
    ASSERT_EQ(program->state(), QProcess::Running);
    terminateCleanly(*program);

    const std::string err = program->readAllStandardError().toStdString();
    EXPECT_NE(
        err.find("Druckeranschluss: virtueller Drucker (sim), Mitschrift in " + trace.string()),
        std::string::npos)
        << err;

    // The binding's select sequence comes first, LPT1 first: both halves, 36 bytes.
    const char* select[] = {"ff", "4a", "0a", "5a", "1a", "7a", "3a", "6a", "2a", "4a", "0a", "5a",
                            "1a", "7a", "3a", "7a", "3a", "ff", "ff", "4a", "0a", "5a", "1a", "7a",
                            "3a", "6a", "2a", "4a", "0a", "5a", "1a", "7a", "3a", "4a", "0a", "ff"};
    const std::vector<std::string> traced = lines(readBytes(trace));
    ASSERT_GE(traced.size(), 36u);
    for (std::size_t i = 0; i < 36; ++i)
        EXPECT_EQ(traced[i], std::string("out 0x378 0x") + select[i]) << i;
    EXPECT_EQ(traced[36], "out 0x3bc 0xff");
}

TEST(PrinterLinkE2e, WithoutThePortLibraryTheProgramRunsOn) {
    TempDir root;
    auto program =
        launchProgram(root.path(), {{"KVPR_PORT_LIBRARY", "/nonexistent/liblptcore.so"}});
    ASSERT_TRUE(waitFor([&] { return fs::exists(root / "home" / "album.dat"); }, 15000));
    EXPECT_FALSE(program->waitForFinished(1500));
    ASSERT_EQ(program->state(), QProcess::Running);
    // No search without the library: the stored address stays untouched.
    EXPECT_FALSE(fs::exists(root / "system" / "kvprn.ini"));
    program->terminate();
    ASSERT_TRUE(program->waitForFinished(10000));
    EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
    const std::string err = program->readAllStandardError().toStdString();
    EXPECT_NE(err.find("/nonexistent/liblptcore.so"), std::string::npos) << err;
}

} // namespace
} // namespace kv::e2e
