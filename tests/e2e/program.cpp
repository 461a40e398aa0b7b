#include "program.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

namespace kv::e2e {

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

std::unique_ptr<QProcess> launchProgram(const std::filesystem::path& root,
                                        const std::vector<std::pair<QString, QString>>& env,
                                        const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
    vars.insert("QT_QPA_PLATFORM", "offscreen");
    vars.insert("KVPR_HOME", QString::fromStdString((root / "home/").string()));
    vars.insert("KVPR_DRIVE_C", QString::fromStdString((root / "c/").string()));
    vars.insert("KVPR_SYSTEM_DIR", QString::fromStdString((root / "system/").string()));
    vars.insert("KVPR_PORT", "sim");
    vars.insert("KVPR_SIM_WARMUP_MS", "0");
    for (const auto& [name, value] : env)
        vars.insert(name, value);
    process->setProcessEnvironment(vars);
    process->start(KV_PROGRAM, arguments);
    return process;
}

void terminateCleanly(QProcess& process) {
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

} // namespace kv::e2e
