#pragma once

// The built kvphoto-printer-app as a real server on a free port, with a program
// directory, virtual printer and port lock folder of its own, asked with ipptool.
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kv::print_server {

namespace fs = std::filesystem;
using Env = std::vector<std::pair<QString, QString>>;

// The last value ipptool showed of each attribute a test file DISPLAYs; several
// values of one attribute come comma-separated.
using Attributes = std::map<std::string, std::string>;

struct IppResult {
    bool passed = false;
    std::string output;
    Attributes attributes;
};

inline bool lists(const std::string& values, const std::string& value) {
    std::istringstream in(values);
    for (std::string one; std::getline(in, one, ',');)
        if (one == value)
            return true;
    return false;
}

class PrintServer {
  public:
    // Starts the server with `env` on top of its own folders; running() says whether
    // it answers.
    explicit PrintServer(const Env& env = {}) {
        for (const char* dir : {"home", "c", "system", "out", "spool", "run", "tmp", "user"})
            fs::create_directories(m_root / dir);
        // A port lock folder must be private to its user.
        fs::permissions(m_root / "run", fs::perms::owner_all);
        m_port = freePort();
        m_env = env;
        launch();
    }

    // Sends `signal` to the server and waits up to timeoutMs for it to end; true when it
    // ended, then how long that took is stoppedAfterMs().
    bool signalAndWait(int signal, int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        const bool ended = m_process.waitForFinished(timeoutMs);
        m_stoppedAfterMs = clock.elapsed();
        return ended;
    }
    qint64 stoppedAfterMs() const { return m_stoppedAfterMs; }

    // Starts the server again on the same port, folders and state (after a stop or a
    // crash), with `env` on top of the first start's environment.
    bool restart(const Env& env = {}) {
        for (const auto& added : env)
            m_env.push_back(added);
        launch();
        return running();
    }

    ~PrintServer() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    PrintServer(const PrintServer&) = delete;
    PrintServer& operator=(const PrintServer&) = delete;

    bool running() const { return m_running && m_process.state() == QProcess::Running; }
    fs::path root() const { return m_root.path(); }
    fs::path home() const { return m_root / "home"; }
    fs::path out() const { return m_root / "out"; }
    std::string uri() const { return "ipp://localhost:" + std::to_string(m_port) + "/ipp/print"; }
    std::string log() const { return test::readBytes(m_root / "log"); }

    // The server's environment, which a kvphoto-cli run shares to meet it at the port.
    QProcessEnvironment environment(const Env& env = {}) const {
        QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
        const auto at = [this](const char* name) {
            return QString::fromStdString((m_root / name).string());
        };
        vars.insert("HOME", at("user"));
        vars.insert("TMPDIR", at("tmp"));
        vars.insert("XDG_RUNTIME_DIR", at("run"));
        vars.remove("XDG_CONFIG_HOME");
        vars.insert("KVPR_HOME", at("home"));
        vars.insert("KVPR_DRIVE_C", at("c"));
        vars.insert("KVPR_SYSTEM_DIR", at("system"));
        vars.insert("KVPR_PORT", "sim");
        vars.insert("KVPR_SIM_OUT", at("out"));
        vars.insert("KVPR_SIM_WARMUP_MS", "0");
        for (const auto& [name, value] : env)
            vars.insert(name, value);
        return vars;
    }

    // Runs ipptool on a test file of `body` with -d variables; uri, user and the
    // file (-f) are given by ipptool itself.
    IppResult ipptool(const std::string& body, const std::vector<std::string>& vars = {},
                      const fs::path& file = {}) {
        const fs::path testFile = m_root / ("request-" + std::to_string(++m_requests) + ".test");
        test::writeBytes(testFile, body);
        QStringList args{"-t", "-T", "10"};
        for (const std::string& v : vars)
            args << "-d" << QString::fromStdString(v);
        if (!file.empty())
            args << "-f" << QString::fromStdString(file.string());
        args << QString::fromStdString(uri()) << QString::fromStdString(testFile.string());
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("ipptool", args);
        IppResult result;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            result.output = "ipptool did not finish";
            return result;
        }
        result.output = process.readAll().toStdString();
        result.passed = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        static const std::regex shown(R"(^\s+([a-z][a-z0-9-]*) \([^)]*\) = (.*)$)");
        std::istringstream in(result.output);
        for (std::string line; std::getline(in, line);)
            if (std::smatch m; std::regex_match(line, m, shown))
                result.attributes[m[1]] = m[2];
        return result;
    }

    // Print-Job of `file` as `format` with extra job attribute lines ("ATTR integer
    // copies 2"); the job's id, 0 when it was refused.
    int submit(const fs::path& file, const std::string& format,
               const std::string& jobAttributes = {}) {
        const IppResult r = ipptool(operation("Print-Job") +
                                        "ATTR mimeMediaType document-format $format\n"
                                        "GROUP job-attributes-tag\n" +
                                        jobAttributes + "\nFILE $filename\n" + kOk +
                                        "EXPECT job-id\nDISPLAY job-id\n}\n",
                                    {"format=" + format}, file);
        m_lastSubmit = r.output;
        const auto id = r.attributes.find("job-id");
        return r.passed && id != r.attributes.end() ? std::stoi(id->second) : 0;
    }

    // What ipptool said to the last submit, for refusals and failure messages.
    const std::string& lastSubmit() const { return m_lastSubmit; }

    Attributes job(int id) {
        return ipptool(operation("Get-Job-Attributes") + "ATTR integer job-id $job\n" + kOk +
                           "DISPLAY job-state\nDISPLAY job-state-reasons\n"
                           "DISPLAY job-state-message\nDISPLAY job-impressions-completed\n}\n",
                       {"job=" + std::to_string(id)})
            .attributes;
    }

    Attributes printer() {
        return ipptool(operation("Get-Printer-Attributes") + kOk +
                       "DISPLAY printer-state\nDISPLAY printer-state-reasons\n}\n")
            .attributes;
    }

    bool cancel(int id) {
        return ipptool(operation("Cancel-Job") + "ATTR integer job-id $job\n" + kOk + "}\n",
                       {"job=" + std::to_string(id)})
            .passed;
    }

    // Asks for the job until `done` holds for it or timeoutMs passed; its last attributes.
    Attributes waitForJob(int id, const std::function<bool(const Attributes&)>& done,
                          int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            Attributes a = job(id);
            if (done(a) || clock.elapsed() > timeoutMs)
                return a;
            QThread::msleep(100);
        }
    }

    // Until the job ended (completed, canceled or aborted).
    Attributes finish(int id, int timeoutMs = 120000) {
        return waitForJob(
            id,
            [](const Attributes& a) {
                const auto s = a.find("job-state");
                return s != a.end() && (s->second == "completed" || s->second == "canceled" ||
                                        s->second == "aborted");
            },
            timeoutMs);
    }

    bool printerUntil(const std::function<bool(const Attributes&)>& holds, int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() <= timeoutMs) {
            if (holds(printer()))
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    // An instruction for the virtual printer, taken at its next look.
    void control(const std::string& line) {
        std::ofstream(out() / "control", std::ios::app) << line << '\n';
    }

    fs::path page(int n) const { return test::printedPage(out(), n); }
    int pages() const { return test::printedPages(out()); }

    // The opening of a request block for ipptool test files: operation, charset,
    // language, printer-uri and user; the caller adds attributes, STATUS and "}".
    static std::string request(const std::string& name) { return operation(name); }

    // Stops the server with SIGTERM and starts it again on the same folders and state.
    bool stopAndRestart() { return signalAndWait(SIGTERM, 10000) && restart(); }

    // The body of a web page of the server; a POST when `form` (urlencoded) is given.
    std::string web(const std::string& path, const std::string& form = {}) const {
        QStringList args{"-s", "--max-time", "30"};
        if (!form.empty())
            args << "--data" << QString::fromStdString(form);
        args << QString("http://localhost:%1%2").arg(m_port).arg(QString::fromStdString(path));
        QProcess curl;
        curl.start("curl", args);
        curl.waitForFinished(40000);
        return curl.readAllStandardOutput().toStdString();
    }

    // The printer's values of `names`, as ipptool shows them.
    Attributes printerAttributes(const std::vector<std::string>& names) {
        std::string body = operation("Get-Printer-Attributes") +
                           "ATTR keyword requested-attributes all,media-col-database\n" + kOk;
        for (const std::string& name : names)
            body += "DISPLAY " + name + "\n";
        return ipptool(body + "}\n").attributes;
    }

  private:
    static constexpr const char* kOk = "STATUS successful-ok\n";

    static std::string operation(const std::string& name) {
        return "{\nNAME \"" + name + "\"\nOPERATION " + name +
               "\nGROUP operation-attributes-tag\n"
               "ATTR charset attributes-charset utf-8\n"
               "ATTR language attributes-natural-language de\n"
               "ATTR uri printer-uri $uri\n"
               "ATTR name requesting-user-name $user\n";
    }

    static int freePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    bool waitUntilListening(int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() <= timeoutMs && m_process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
            if (socket.waitForConnected(500))
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    void launch() {
        m_process.setProcessEnvironment(environment(m_env));
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(QString::fromStdString((m_root / "stdout").string()),
                                        QIODevice::Append);
        const auto path = [this](const char* name) {
            return QString::fromStdString((m_root / name).string());
        };
        m_process.start(KV_PRINTER_APP,
                        {"server", "-o", QString("server-port=%1").arg(m_port), "-o",
                         "spool-directory=" + path("spool"), "-o", "state-file=" + path("state"),
                         "-o", "log-file=" + path("log"), "-o", "log-level=debug"});
        m_running = m_process.waitForStarted(5000) && waitUntilListening(60000) &&
                    printer().count("printer-state") > 0;
    }

    test::TempDir m_root;
    Env m_env;
    qint64 m_stoppedAfterMs = -1;
    int m_port = 0;
    int m_requests = 0;
    bool m_running = false;
    std::string m_lastSubmit;
    QProcess m_process;
};

} // namespace kv::print_server
