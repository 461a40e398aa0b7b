#include "platform/port_lock.h"

#include "support/holder_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::platform {
namespace {

using Attempt = PortLock::Attempt;

TEST(PortLock, OneHolderAtATimeUntilUnlocked) {
    test::TempDir dir;
    const auto file = dir / PortLock::fileName("sim-1");
    PortLock first(file);
    PortLock second(file);

    EXPECT_EQ(first.tryLock(), Attempt::Held);
    EXPECT_EQ(first.tryLock(), Attempt::Held) << "taking it again while held";
    EXPECT_EQ(second.tryLock(), Attempt::InUse);
    EXPECT_FALSE(second.held());

    first.unlock();
    EXPECT_EQ(second.tryLock(), Attempt::Held);
    EXPECT_EQ(first.tryLock(), Attempt::InUse);

    // Another port's lock is another file: never in the way.
    PortLock other(dir / PortLock::fileName("sim-2"));
    EXPECT_EQ(other.tryLock(), Attempt::Held);
}

TEST(PortLock, GoesWithItsObjectAndWithItsProcess) {
    test::TempDir dir;
    const auto file = dir / PortLock::fileName("parport0");
    {
        PortLock holder(file);
        ASSERT_EQ(holder.tryLock(), Attempt::Held);
    }
    PortLock after(file);
    EXPECT_EQ(after.tryLock(), Attempt::Held);
    after.unlock();

    // A holder that dies without unlocking leaves nothing behind.
    test::HolderProcess holder([&file](const test::HolderProcess::Hold& hold) {
        PortLock lock(file);
        hold(lock.tryLock() == Attempt::Held);
    });
    ASSERT_TRUE(holder.held());
    EXPECT_EQ(after.tryLock(), Attempt::InUse);
    ASSERT_TRUE(holder.die());
    EXPECT_EQ(after.tryLock(), Attempt::Held);
}

TEST(PortLock, FileNameFolderAndMode) {
    EXPECT_EQ(PortLock::fileName("parport0"), "kvphoto-port-parport0.lock");
    EXPECT_EQ(PortLock::fileName("parport0+parport1"), "kvphoto-port-parport0_parport1.lock");
    EXPECT_EQ(PortLock::fileName("../x/y"), "kvphoto-port-.._x_y.lock");

    test::TempDir dir;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    EXPECT_EQ(PortLock::defaultFolder(), dir / "kvphoto");
    if (saved)
        ::setenv("XDG_RUNTIME_DIR", saved->c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");

    // A lock file is its user's alone, whatever the umask.
    const mode_t mask = ::umask(0);
    PortLock lock(dir / "own.lock");
    EXPECT_EQ(lock.tryLock(), Attempt::Held);
    ::umask(mask);
    struct stat info {};
    ASSERT_EQ(::stat((dir / "own.lock").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A folder that is not there: no lock to be had, and said so.
    PortLock nowhere(dir / "missing" / "x.lock");
    EXPECT_EQ(nowhere.tryLock(), Attempt::Unavailable);
    EXPECT_FALSE(nowhere.held());
}

} // namespace
} // namespace kv::platform
