#include "platform/font_warm_up.h"
#include "shell/application.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // fontconfig reads its configuration beside the start-up work (see font_warm_up.h).
    kv::platform::startFontWarmUp();
    // Debug mode is decided on the command line as typed: QApplication removes
    // its own options from argv, which would leave "/debug" standing alone.
    const std::vector<std::string> commandLine(argv + 1, argv + argc);
    QApplication app(argc, argv);
    kv::shell::Application application;
    if (!application.start(commandLine))
        return application.exitCode();
    // A termination request during start-up has already cleaned up.
    if (application.terminating())
        return 0;
    return app.exec();
}
