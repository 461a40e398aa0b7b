// A second start hands the running window the tokens its launcher gave it, so that
// the desktop can end its busy cursor and let the window come to the front.

#include "platform/launch_tokens.h"
#include "shell/single_instance.h"

#include <QSignalSpy>
#include <QUuid>

#include <gtest/gtest.h>

namespace kv::shell {
namespace {

TEST(LaunchHandOver, TheLaunchersTokensReachTheRunningWindowWithTheRaise) {
    const platform::LaunchTokens cases[] = {
        {"kvphoto-4711-rechner-kvphoto-0_TIME123456", ""}, // an X11 launcher
        {"", "wl/7f3a b%\tä"},                             // Wayland; every byte arrives
        {"id mit \"Leer\"\nzeichen", "open\t/etc/passwd"}, // both; neither is a file
        {"", ""},                                          // from a terminal: as before
        {std::string(5'000'000, 'x'), ""},                 // no token: it would crowd out the files
    };
    for (const platform::LaunchTokens& launch : cases) {
        qputenv("DESKTOP_STARTUP_ID", QByteArray::fromStdString(launch.startupId));
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(launch.activationToken));
        EXPECT_EQ(platform::launchTokensFromEnvironment(), launch);

        const QString name = "kvtest-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
        SingleInstance first(name);
        ASSERT_TRUE(first.claim());
        QSignalSpy raised(&first, &SingleInstance::activationRequested);
        QSignalSpy received(&first, &SingleInstance::filesReceived);
        SingleInstance second(name);
        EXPECT_FALSE(second.claim({"/bilder/a.jpg"}, launch));
        ASSERT_TRUE(received.count() == 1 || received.wait(3000));
        ASSERT_EQ(raised.count(), 1);
        const bool real = launch.startupId.size() < 4096;
        EXPECT_EQ(raised.at(0).at(0).value<platform::LaunchTokens>(),
                  real ? launch : platform::LaunchTokens{});
        EXPECT_EQ(received.at(0).at(0).toStringList(), QStringList{"/bilder/a.jpg"});
    }
    // What ends the launch on X11, escaped as the desktop parses it.
    EXPECT_EQ(platform::startupRemoveMessage(R"(k-1_TIME42 "a"\)"),
              std::string(R"(remove: ID=k-1_TIME42\ \"a\"\\)") + '\0');
}

} // namespace
} // namespace kv::shell
