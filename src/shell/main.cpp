#include "platform/font_warm_up.h"
#include "platform/launch_tokens.h"
#include "shell/application.h"
#include "shell/startup.h"

#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

int main(int argc, char** argv) {
    // Answered before Qt or a running window sees the arguments: neither is a file.
    if (const std::optional<std::string> text = kv::shell::informationText(
            std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc))) {
        std::fputs(text->c_str(), stdout);
        return 0;
    }
    // fontconfig reads its configuration beside the start-up work (see font_warm_up.h).
    kv::platform::startFontWarmUp();
    // Debug mode is decided on the command line as typed: QApplication removes
    // its own options from argv, which would leave "/debug" standing alone.
    const std::vector<std::string> typed(argv + 1, argv + argc);
    // Read before Qt opens its display connection, which takes the startup id away.
    const kv::platform::LaunchTokens launch = kv::platform::launchTokensFromEnvironment();
    QApplication app(argc, argv);
    // What Qt left are the files to open, relative to where we were started.
    const std::vector<std::string> remaining(argv + 1, argv + argc);
    std::error_code ec;
    const std::filesystem::path startDir = std::filesystem::current_path(ec);
    kv::shell::Application application;
    if (!application.start(kv::shell::parseCommandLine(typed, remaining, startDir), launch))
        return application.exitCode();
    // A termination request during start-up has already cleaned up.
    if (application.terminating())
        return 0;
    return app.exec();
}
