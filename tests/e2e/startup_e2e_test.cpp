#include "program.h"
#include "support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace kv::e2e {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeBytes;

bool anyBmp(const fs::path& dir) {
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        std::string ext = e.path().extension().string();
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".bmp")
            return true;
    }
    return false;
}

// The program run against its own folders inside one temporary folder.
class ProgramRun {
  public:
    explicit ProgramRun(const TempDir& root) : m_root(root) {}

    fs::path home() const { return m_root / "home"; }
    fs::path kvtemp() const { return m_root / "c" / "kvtemp"; }

    std::unique_ptr<QProcess> launch() const { return launchProgram(m_root.path()); }

    // Running and through its main window's creation.
    std::unique_ptr<QProcess> launchAndWait() const {
        auto process = launch();
        EXPECT_TRUE(process->waitForStarted(5000));
        EXPECT_TRUE(waitFor([&] { return fs::exists(home() / "album.dat"); }, 15000));
        return process;
    }

  private:
    const TempDir& m_root;
};

TEST(Startup, StalePicturesGoAtStartAndTheFolderAtTermination) {
    TempDir root;
    ProgramRun run(root);
    fs::create_directories(run.kvtemp());
    writeBytes(run.kvtemp() / "a.bmp", "old");
    writeBytes(run.kvtemp() / "B.BMP", "old");

    auto program = run.launchAndWait();
    EXPECT_TRUE(fs::is_directory(run.kvtemp()));
    EXPECT_FALSE(anyBmp(run.kvtemp()));
    ASSERT_EQ(program->state(), QProcess::Running);

    writeBytes(run.kvtemp() / "prtfile.bmp", "sheet");
    terminateCleanly(*program);
    EXPECT_FALSE(fs::exists(run.kvtemp()));
}

TEST(Startup, SecondLaunchEndsAtOnceAndLeavesTheFirstAlone) {
    TempDir root;
    ProgramRun run(root);
    auto first = run.launchAndWait();
    // A picture the first copy is working with must survive the second launch.
    writeBytes(run.kvtemp() / "Prefile.bmp", "adjusted");

    auto second = run.launch();
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_TRUE(fs::exists(run.kvtemp() / "Prefile.bmp"));

    terminateCleanly(*first);
}

TEST(Startup, ACrashedCopyDoesNotBlockTheNextStart) {
    TempDir root;
    ProgramRun run(root);
    auto crashed = run.launchAndWait();
    crashed->kill(); // SIGKILL: no clean-up, the instance socket stays behind
    ASSERT_TRUE(crashed->waitForFinished(5000));
    fs::remove(run.home() / "album.dat");

    auto next = run.launchAndWait();
    EXPECT_FALSE(next->waitForFinished(1000));
    ASSERT_EQ(next->state(), QProcess::Running);
    terminateCleanly(*next);
}

} // namespace
} // namespace kv::e2e
