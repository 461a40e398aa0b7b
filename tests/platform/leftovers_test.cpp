#include "platform/atomic_file.h"
#include "platform/leftovers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;
using test::writeBytes;

// The id of a process that has just ended.
std::string endedProcess() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return std::to_string(child);
}

TEST(Leftovers, OnlyOurOwnOfEndedRunsGo) {
    const std::string ended = endedProcess();
    const std::string running = ownerTag();
    const auto dayOld = fs::file_time_type::clock::now() - std::chrono::hours(25);

    const struct {
        std::string name;
        bool folder;
        bool old;
        bool removed;
    } cases[] = {
        {".album.dat.tmp-" + ended + "-a1B2c3", false, false, true},
        {".kvx00.ini.tmp-" + running + "-a1B2c3", false, false, false}, // still at work
        {"kvcli-" + ended + "-12345", true, false, true},
        {"kvcli-" + running + "-12345", true, false, false},
        {".album.dat.tmp-a1B2c3", false, true, true}, // an earlier version's, a day old
        {".album.dat.tmp-a1B2c3x", false, true, false},
        {".album.dat.tmp-d4E5f6", false, false, false}, // earlier version's, fresh
        {"kvcli-98765", true, true, true},
        {"kvcli-98765", true, false, false},
        {"album.dat", false, true, false},
        {"Urlaub.dat.tmp-" + ended + "-a1B2c3", false, false, false}, // not hidden
        {"kvcli-x", true, true, false},
        {"kvtemp", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir folder;
        const fs::path path = folder / c.name;
        if (c.folder) {
            fs::create_directories(path / "half-written");
            writeBytes(path / "half-written" / "big.bmp", "BM");
        } else {
            writeBytes(path, "x");
        }
        if (c.old)
            fs::last_write_time(path, dayOld);
        EXPECT_EQ(removeStaleLeftovers(folder.path()), c.removed ? 1 : 0);
        EXPECT_EQ(fs::exists(path), !c.removed);
    }
}

TEST(Leftovers, TemporaryFilesCarryTheirMakersId) {
    test::TempDir dir;
    // A write interrupted between its temporary file and the rename leaves this.
    ASSERT_TRUE(writeFileAtomic(dir / "kvx00.ini", "[Image]\r\n"));
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename(), "kvx00.ini");
    const fs::path left = dir / (".kvx00.ini.tmp-" + ownerTag() + "-zZ9yY8");
    writeBytes(left, "half");
    EXPECT_EQ(removeStaleLeftovers(dir.path()), 0) << "its maker is this very process";
    EXPECT_TRUE(fs::exists(left));
}

} // namespace
} // namespace kv::platform
