// The folders, locks and sockets that must stay one user's own: the private folder's
// checks, where a port's lock lives and what it never does to a file, and who is at
// the other end of a local connection.

#include "platform/peer_user.h"
#include "platform/port_lock.h"
#include "platform/private_folder.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;
using Attempt = PortLock::Attempt;

constexpr uid_t kOtherUser = 65534; // nobody

// Sets (or with nullopt removes) an environment variable for one scope.
class ScopedVar {
  public:
    ScopedVar(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedVar() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

mode_t modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(PrivateFolder, OnlyAFolderOfTheUsersOwnThatNobodyElseMayWriteInto) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& runtime)> prepare; // XDG_RUNTIME_DIR's state
        bool needsRoot;
        const char* told; // empty: the folder is fine
    };
    const Case cases[] = {
        {"fresh", [](const fs::path&) {}, false, ""},
        {"left by an earlier run", [](const fs::path& r) { ::mkdir((r / "kv").c_str(), 0700); },
         false, ""},
        {"others may write into it",
         [](const fs::path& r) {
             ::mkdir((r / "kv").c_str(), 0700);
             ::chmod((r / "kv").c_str(), 0777);
         },
         false, "andere Benutzer schreiben"},
        {"group may write into it",
         [](const fs::path& r) {
             ::mkdir((r / "kv").c_str(), 0700);
             ::chmod((r / "kv").c_str(), 0770);
         },
         false, "andere Benutzer schreiben"},
        {"a link to a folder",
         [](const fs::path& r) {
             ::mkdir((r / "elsewhere").c_str(), 0700);
             ::symlink((r / "elsewhere").c_str(), (r / "kv").c_str());
         },
         false, "kein Ordner"},
        {"a file", [](const fs::path& r) { test::writeBytes(r / "kv", "x"); }, false,
         "kein Ordner"},
        {"another user's",
         [](const fs::path& r) {
             ::mkdir((r / "kv").c_str(), 0700);
             (void)!::chown((r / "kv").c_str(), kOtherUser, kOtherUser);
         },
         true, "gehört nicht Ihnen"},
        {"the runtime folder open to all", [](const fs::path& r) { ::chmod(r.c_str(), 01777); },
         false, "andere Benutzer schreiben"},
        {"the runtime folder another user's",
         [](const fs::path& r) { (void)!::chown(r.c_str(), kOtherUser, kOtherUser); }, true,
         "gehört nicht Ihnen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0) {
            std::printf("skipped \"%s\": only root can make a folder of another user\n", c.name);
            continue;
        }
        test::TempDir dir;
        const fs::path runtime = dir / "run";
        ::mkdir(runtime.c_str(), 0700);
        c.prepare(runtime);
        ScopedVar var("XDG_RUNTIME_DIR", runtime.string());
        const PrivateFolder folder = privateFolder("kv", "kv");
        EXPECT_EQ(folder.path, runtime / "kv");
        if (*c.told == '\0') {
            EXPECT_EQ(folder.problem, "");
            EXPECT_EQ(modeOf(folder.path), 0700u);
        } else {
            EXPECT_NE(folder.problem.find(c.told), std::string::npos) << folder.problem;
            EXPECT_NE(folder.problem.find(runtime.string()), std::string::npos) << folder.problem;
        }
    }

    // Without XDG_RUNTIME_DIR: the user's cache.
    test::TempDir home;
    ScopedVar noRuntime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedVar noCache("XDG_CACHE_HOME", std::nullopt);
    ScopedVar homeVar("HOME", home.path().string());
    const PrivateFolder cache = privateFolder("kv", "kvphoto/run");
    EXPECT_EQ(cache.problem, "");
    EXPECT_EQ(cache.path, home / ".cache/kvphoto/run");
    EXPECT_EQ(modeOf(cache.path), 0700u);
}

TEST(PortLockPlace, DeviceNodeForARealPortPrivateFileForTheVirtualPrinter) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0700);
    ScopedVar var("XDG_RUNTIME_DIR", dir.path().string());
    const auto port = PortLock::placeFor("parport0+parport1");
    EXPECT_EQ(port.file, fs::path("/dev/parport0"));
    EXPECT_EQ(port.kind, PortLock::Kind::Device);
    const auto sim = PortLock::placeFor("sim-00ff");
    EXPECT_EQ(sim.file, dir / "kvphoto" / "kvphoto-port-sim-00ff.lock");
    EXPECT_EQ(sim.kind, PortLock::Kind::OwnFile);
    EXPECT_EQ(modeOf(dir / "kvphoto"), 0700u);
    // No port found: nothing to share, a file of the user's own.
    EXPECT_EQ(PortLock::placeFor("ppdev").kind, PortLock::Kind::OwnFile);

    // An unfit folder gives no place, and says why.
    ::chmod((dir / "kvphoto").c_str(), 0777);
    const auto unfit = PortLock::placeFor("sim-00ff");
    EXPECT_TRUE(unfit.file.empty());
    EXPECT_NE(unfit.problem, "");
    PortLock none(unfit.file);
    EXPECT_EQ(none.tryLock(), Attempt::Unavailable);
}

TEST(PortLockPlace, NeverThroughALinkNeverAnotherModeNeverAMadeDevice) {
    test::TempDir dir;
    struct Case {
        const char* name;
        std::function<void(const fs::path& lock)> prepare;
        PortLock::Kind kind;
        Attempt expected;
        mode_t mode; // of the lock afterwards; 0: not there
    };
    const fs::path target = dir / "someone-elses-file";
    const Case cases[] = {
        {"new", [](const fs::path&) {}, PortLock::Kind::OwnFile, Attempt::Held, 0600},
        {"there with its own mode",
         [](const fs::path& l) {
             test::writeBytes(l, "");
             ::chmod(l.c_str(), 0640);
         },
         PortLock::Kind::OwnFile, Attempt::Held, 0640},
        {"a link planted in its place",
         [&target](const fs::path& l) { ::symlink(target.c_str(), l.c_str()); },
         PortLock::Kind::OwnFile, Attempt::Unavailable, 0777},
        {"a pipe in its place", [](const fs::path& l) { ::mkfifo(l.c_str(), 0600); },
         PortLock::Kind::OwnFile, Attempt::Unavailable, 0600},
        {"a device that is not there", [](const fs::path&) {}, PortLock::Kind::Device,
         Attempt::Unavailable, 0},
        {"a regular file where a device belongs",
         [](const fs::path& l) { test::writeBytes(l, ""); }, PortLock::Kind::Device,
         Attempt::Unavailable, 0644},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeBytes(target, "root's");
        ::chmod(target.c_str(), 0600);
        const fs::path lock = dir / ("lock-" + std::to_string(++n));
        const mode_t mask = ::umask(022);
        c.prepare(lock);
        PortLock portLock(lock, c.kind);
        EXPECT_EQ(portLock.tryLock(), c.expected);
        ::umask(mask);
        EXPECT_EQ(modeOf(lock), c.mode);
        EXPECT_EQ(modeOf(target), 0600u) << "the link's target keeps its mode";
        EXPECT_EQ(test::readBytes(target), "root's");
    }
    // /dev/null is a device everyone may open: locking it must not make or change anything.
    PortLock device("/dev/null", PortLock::Kind::Device);
    EXPECT_EQ(device.tryLock(), Attempt::Held);
    EXPECT_EQ(modeOf("/dev/null"), 0666u);
}

// Runs `body` in a child process as another user; its exit status.
int asOtherUser(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PeerUser, TheKernelNamesWhoIsAtTheOtherEnd) {
    // Loopback TCP, IPv4 and IPv6, and a local socket; from this user and, as root, from
    // another one.
    for (const int family : {AF_INET, AF_INET6, AF_UNIX}) {
        SCOPED_TRACE(family);
        test::TempDir dir;
        ::chmod(dir.path().c_str(), 0755);
        const int server = ::socket(family, SOCK_STREAM, 0);
        ASSERT_GE(server, 0);
        sockaddr_storage address{};
        socklen_t size = 0;
        if (family == AF_INET) {
            auto& in = reinterpret_cast<sockaddr_in&>(address);
            in.sin_family = AF_INET;
            in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            size = sizeof in;
        } else if (family == AF_INET6) {
            auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
            in6.sin6_family = AF_INET6;
            in6.sin6_addr = in6addr_loopback;
            size = sizeof in6;
        } else {
            auto& un = reinterpret_cast<sockaddr_un&>(address);
            un.sun_family = AF_UNIX;
            std::snprintf(un.sun_path, sizeof un.sun_path, "%s", (dir / "s").c_str());
            size = sizeof un;
        }
        if (::bind(server, reinterpret_cast<sockaddr*>(&address), size) != 0) {
            std::printf("skipped family %d: no such address on this machine\n", family);
            ::close(server);
            continue;
        }
        ::chmod((dir / "s").c_str(), 0777);
        ASSERT_EQ(::listen(server, 4), 0);
        ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&address), &size), 0);

        const auto connectAndWait = [&] {
            const int client = ::socket(family, SOCK_STREAM, 0);
            if (::connect(client, reinterpret_cast<sockaddr*>(&address), size) != 0)
                return 1;
            char byte;
            (void)!::read(client, &byte, 1); // until the other side has looked
            return 0;
        };
        const auto accepted = [&](int& fd) {
            fd = ::accept(server, nullptr, nullptr);
            return fd >= 0;
        };

        const pid_t self = ::fork();
        if (self == 0)
            ::_exit(connectAndWait());
        int fd = -1;
        ASSERT_TRUE(accepted(fd));
        EXPECT_EQ(peerUser(fd), std::optional<unsigned>(::geteuid()));
        EXPECT_TRUE(peerIsSelf(fd));
        ::close(fd);
        ::waitpid(self, nullptr, 0);

        if (::geteuid() == 0) {
            const pid_t other = ::fork();
            if (other == 0)
                ::_exit(asOtherUser(connectAndWait));
            ASSERT_TRUE(accepted(fd));
            EXPECT_EQ(peerUser(fd), std::optional<unsigned>(kOtherUser));
            EXPECT_FALSE(peerIsSelf(fd));
            ::close(fd);
            ::waitpid(other, nullptr, 0);
        }
        ::close(server);
    }
}

} // namespace
} // namespace kv::platform
