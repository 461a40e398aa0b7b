#pragma once

// The built kvphoto-cli run in a temporary program directory of its own.
#include "support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace kv::cli {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
    bool operator==(const Result&) const = default;
};

inline void PrintTo(const Result& r, std::ostream* os) {
    *os << "exit " << r.code << ", out \"" << r.out << "\", err \"" << r.err << '"';
}

// One program directory, drive C: and system folder; every run uses them.
class Cli {
  public:
    std::filesystem::path home() const { return m_root / "home"; }
    std::filesystem::path driveC() const { return m_root / "c"; }
    std::filesystem::path system() const { return m_root / "system"; }
    std::filesystem::path root() const { return m_root.path(); }

    Result run(const std::vector<std::string>& args,
               const std::vector<std::pair<QString, QString>>& env = {},
               const std::filesystem::path& workingDir = {}) {
        QProcess process;
        start(process, args, env, workingDir);
        return finish(process);
    }

    // Starts the tool without waiting, so that several runs overlap.
    void start(QProcess& process, const std::vector<std::string>& args,
               const std::vector<std::pair<QString, QString>>& env = {},
               const std::filesystem::path& workingDir = {}) {
        QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
        vars.remove("KVPR_HOME");
        vars.insert("KVPR_DRIVE_C", QString::fromStdString(driveC().string()));
        vars.insert("KVPR_SYSTEM_DIR", QString::fromStdString(system().string()));
        vars.insert("KVPR_SIM_WARMUP_MS", "0");
        for (const auto& [name, value] : env)
            vars.insert(name, value);
        process.setProcessEnvironment(vars);
        if (!workingDir.empty())
            process.setWorkingDirectory(QString::fromStdString(workingDir.string()));
        QStringList list{"--home", QString::fromStdString(home().string())};
        for (const std::string& a : args)
            list << QString::fromStdString(a);
        process.start(KV_CLI, list);
    }

    static Result finish(QProcess& process) {
        Result r;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return r;
        r.code = process.exitCode();
        r.out = process.readAllStandardOutput().toStdString();
        r.err = process.readAllStandardError().toStdString();
        return r;
    }

  private:
    test::TempDir m_root;
};

} // namespace kv::cli
