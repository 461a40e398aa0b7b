#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace kv::e2e {

// Polls until the condition holds; false after timeoutMs.
bool waitFor(const std::function<bool()>& condition, int timeoutMs);

// The built program on the virtual printer and the offscreen platform, with its
// program directory, drive C: and system folder inside `root`.
// `arguments` follow the program's name.
std::unique_ptr<QProcess> launchProgram(const std::filesystem::path& root,
                                        const std::vector<std::pair<QString, QString>>& env = {},
                                        const QStringList& arguments = {});

// SIGTERM, then the program must end by itself with exit code 0.
void terminateCleanly(QProcess& process);

} // namespace kv::e2e
