// A second start meets the running one in the user's private folder and hands its
// files only to a program of the same user: another user's listener gets nothing.

#include "shell/single_instance.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;

TEST(SingleInstancePlace, FilesAreNeverHandedToAnotherUsersProgram) {
    // A bare name meets in the user's private folder, not in /tmp.
    EXPECT_EQ(SingleInstance("PhotoPrinter-anna-1").serverName().toStdString(),
              (fs::path(qgetenv("XDG_RUNTIME_DIR").toStdString()) / "kvphoto/PhotoPrinter-anna-1")
                  .string());
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
