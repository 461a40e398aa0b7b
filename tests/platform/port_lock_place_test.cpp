// Where a port's lock lives, and what it never does to a file in its place. (The
// private folder's checks: the print server's tests.)

#include "platform/port_lock.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;
using Attempt = PortLock::Attempt;

// Puts XDG_RUNTIME_DIR back as it was at the end of a test.
struct KeptRuntime {
    std::string runtime = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    ~KeptRuntime() { ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1); }
};

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(PortLockPlace, DeviceNodeOrPrivateFileNeverThroughALinkNeverAnotherMode) {
    const KeptRuntime kept;
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    const auto port = PortLock::placeFor("parport0+parport1");
    EXPECT_EQ(port.file, fs::path("/dev/parport0"));
    EXPECT_EQ(port.kind, PortLock::Kind::Device);
    EXPECT_EQ(PortLock::placeFor("sim-00ff").file, dir / "kvphoto/kvphoto-port-sim-00ff.lock");

    const fs::path target = dir / "roots-file";
    const struct {
        const char* name;
        std::function<void(const fs::path& lock)> prepare;
        PortLock::Kind kind;
        Attempt expected;
        mode_t mode; // of the lock afterwards (a link's own is 0777); 0: none
    } cases[] = {
        {"new", [](const fs::path&) {}, PortLock::Kind::OwnFile, Attempt::Held, 0600},
        {"there with its mode",
         [](const fs::path& l) { test::writeBytes(l, ""), ::chmod(l.c_str(), 0640); },
         PortLock::Kind::OwnFile, Attempt::Held, 0640},
        {"a planted link",
         [&](const fs::path& l) { EXPECT_EQ(::symlink(target.c_str(), l.c_str()), 0); },
         PortLock::Kind::OwnFile, Attempt::Unavailable, 0777},
        {"a pipe", [](const fs::path& l) { ::mkfifo(l.c_str(), 0600); }, PortLock::Kind::OwnFile,
         Attempt::Unavailable, 0600},
        {"no device there", [](const fs::path&) {}, PortLock::Kind::Device, Attempt::Unavailable,
         0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeBytes(target, "root's");
        ::chmod(target.c_str(), 0600);
        const fs::path lock = dir / ("lock-" + std::to_string(++n));
        c.prepare(lock);
        PortLock portLock(lock, c.kind);
        EXPECT_EQ(portLock.tryLock(), c.expected);
        EXPECT_EQ(modeOf(lock), c.mode);
        EXPECT_EQ(modeOf(target), 0600u);
    }
    PortLock device("/dev/null", PortLock::Kind::Device);
    EXPECT_EQ(device.tryLock(), Attempt::Held);
    EXPECT_EQ(modeOf("/dev/null"), 0666u);
}

} // namespace
} // namespace kv::platform
