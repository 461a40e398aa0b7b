#include "shell/application.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kv::shell::Application application;
    if (!application.start(QCoreApplication::arguments()))
        return application.exitCode();
    // A termination request during start-up has already cleaned up.
    if (application.terminating())
        return 0;
    return app.exec();
}
