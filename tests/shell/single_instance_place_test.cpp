// Where a second start meets the running window, and that it talks only to a program
// of the same user: a private folder, refused when others may write into it, and a
// listener of another user never gets the files.

#include "shell/single_instance.h"

#include "support/temp_dir.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;

class RuntimeFolder {
  public:
    explicit RuntimeFolder(mode_t mode) {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR"))
            m_old = old;
        ::chmod(m_dir.path().c_str(), mode);
        ::setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
    }
    ~RuntimeFolder() {
        if (m_old)
            ::setenv("XDG_RUNTIME_DIR", m_old->c_str(), 1);
    }
    const fs::path& path() const { return m_dir.path(); }

  private:
    test::TempDir m_dir;
    std::optional<std::string> m_old;
};

TEST(SingleInstancePlace, MeetsInThePrivateFolderOnly) {
    {
        RuntimeFolder runtime(0700);
        SingleInstance first("PhotoPrinter-anna-1");
        EXPECT_EQ(first.serverName().toStdString(),
                  (runtime.path() / "kvphoto" / "PhotoPrinter-anna-1").string());
        ASSERT_TRUE(first.claim());
        SingleInstance later("PhotoPrinter-anna-1");
        EXPECT_FALSE(later.claim({"/bilder/a.jpg"}));
        EXPECT_TRUE(later.handedOver());
    }
    {
        // Open to all: no meeting point at all; the program runs on its own.
        RuntimeFolder runtime(0777);
        SingleInstance first("PhotoPrinter-anna-1");
        EXPECT_TRUE(first.claim());
        EXPECT_FALSE(fs::exists(runtime.path() / "kvphoto" / "PhotoPrinter-anna-1"));
    }
}

TEST(SingleInstancePlace, FilesAreNeverHandedToAnotherUsersProgram) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);
    const fs::path name = dir / "PhotoPrinter-anna-1";
    int toParent[2];
    ASSERT_EQ(::pipe(toParent), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Another user listens where the program would look, and counts what it is sent.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", name.c_str());
        if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ::_exit(1);
        ::chmod(name.c_str(), 0777);
        ::listen(server, 1);
        (void)!::write(toParent[1], "l", 1);
        const int client = ::accept(server, nullptr, nullptr);
        char buffer[4096];
        long received = 0;
        for (ssize_t n; (n = ::read(client, buffer, sizeof buffer)) > 0;)
            received += n;
        (void)!::write(toParent[1], received ? "y" : "n", 1);
        ::_exit(0);
    }
    char listening = 0;
    ASSERT_EQ(::read(toParent[0], &listening, 1), 1);
    SingleInstance later(QString::fromStdString(name.string()));
    EXPECT_TRUE(later.claim({"/bilder/privat.jpg"}));
    EXPECT_FALSE(later.handedOver());
    char got = 0;
    ASSERT_EQ(::read(toParent[0], &got, 1), 1);
    EXPECT_EQ(got, 'n') << "the other user's program received the file names";
    ::waitpid(child, nullptr, 0);
}

} // namespace
} // namespace kv::shell
