#include "platform/directory_lock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::platform {
namespace {

using std::chrono::milliseconds;

TEST(DirectoryLock, OneHolderAtATime) {
    test::TempDir dir;
    const auto file = dir / "album.lock";
    {
        const DirectoryLock first(file, milliseconds(0));
        ASSERT_TRUE(first.held());
        // Another open of the file is another holder, also in this process.
        const DirectoryLock second(file, milliseconds(20));
        EXPECT_EQ(second.status(), DirectoryLock::Status::TimedOut);
    }
    EXPECT_TRUE(DirectoryLock(file, milliseconds(0)).held());
    EXPECT_EQ(DirectoryLock(dir / "no folder" / "album.lock", milliseconds(0)).status(),
              DirectoryLock::Status::Unavailable);
}

// A holder that dies without letting go never blocks the next one.
TEST(DirectoryLock, GoesWithItsProcess) {
    test::TempDir dir;
    const auto file = dir / "album.lock";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const DirectoryLock held(file, milliseconds(0));
        const char c = held.held() ? '1' : '0';
        (void)!write(ready[1], &c, 1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    EXPECT_EQ(DirectoryLock(file, milliseconds(10)).status(), DirectoryLock::Status::TimedOut);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(DirectoryLock(file, milliseconds(0)).held());
    close(ready[0]);
    close(ready[1]);
}

} // namespace
} // namespace kv::platform
