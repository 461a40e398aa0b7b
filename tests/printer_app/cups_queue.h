#pragma once

// A cupsd of the test's own beside the built printer application on the virtual
// printer, for queues made as the README makes them ("lpadmin -m everywhere").
#include "support/temp_dir.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kv::printer_app {

namespace fs = std::filesystem;

inline QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

inline quint16 freePort() {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// True once the server answers on the port; false at once if it has exited.
inline bool waitForPort(const QProcess& server, quint16 port, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired() && server.state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(500))
            return true;
        QThread::msleep(100);
    }
    return false;
}

// Environment without CUPS_* settings, so the clients and cupsd use only what we pass.
inline QProcessEnvironment cleanEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys())
        if (key.startsWith("CUPS_"))
            env.remove(key);
    return env;
}

// A server that is stopped with SIGTERM when the test ends, however it ends.
struct Daemon {
    QProcess process;
    ~Daemon() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

// cupsd and lpadmin live in sbin, which a test's PATH may lack.
inline QString program(const QString& name) {
    QString found = QStandardPaths::findExecutable(name);
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name, {"/usr/sbin", "/sbin"});
    return found;
}

struct Outcome {
    int code = -1;
    std::string output;
};

inline Outcome run(const QString& name, const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(cleanEnvironment());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program(name), args);
    Outcome r;
    if (!p.waitForFinished(30000))
        return r;
    r.output = p.readAll().toStdString();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

inline int pageCount(const fs::path& dir) {
    int n = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().extension() == ".levels" && entry.file_size() > 0)
            ++n;
    return n;
}

// The last lines of a log above debug level: what went wrong, without the chatter.
inline std::string problems(const fs::path& file) {
    std::istringstream in(test::readBytes(file));
    std::deque<std::string> kept;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("D ", 0) == 0)
            continue;
        kept.push_back(line);
        if (kept.size() > 40)
            kept.pop_front();
    }
    std::string text;
    for (const std::string& line : kept)
        text += line + '\n';
    return text;
}

class CupsQueue : public ::testing::Test {
  protected:
    void SetUp() override {
        if (program("cupsd").isEmpty())
            GTEST_SKIP() << "cupsd is not installed";
        // The filters run as user lp and must reach the spool below this folder.
        using fs::perms;
        fs::permissions(m_root.path(), perms::owner_all | perms::group_read | perms::group_exec |
                                           perms::others_read | perms::others_exec);
    }

    std::string diagnostics() const {
        return "\n--- cupsd error_log ---\n" + problems(m_root / "cups/log/error_log") +
               "--- printer app log ---\n" + problems(m_root / "app/log");
    }

    void startPrinterApp() {
        const fs::path app = m_root / "app";
        for (const char* d : {"home", "c", "system", "spool", "tmp", "runtime", "out"})
            fs::create_directories(app / d);
        fs::permissions(app / "runtime", fs::perms::owner_all);
        m_appPort = freePort();
        ASSERT_NE(m_appPort, 0);
        QProcessEnvironment env = cleanEnvironment();
        env.insert("KVPR_HOME", q(app / "home"));
        env.insert("KVPR_DRIVE_C", q(app / "c"));
        env.insert("KVPR_SYSTEM_DIR", q(app / "system"));
        env.insert("KVPR_PORT", "sim");
        env.insert("KVPR_SIM_OUT", q(app / "out"));
        env.insert("KVPR_SIM_WARMUP_MS", "0");
        env.insert("XDG_RUNTIME_DIR", q(app / "runtime"));
        env.insert("HOME", q(app / "home"));
        env.insert("TMPDIR", q(app / "tmp"));
        m_app.process.setProcessEnvironment(env);
        m_app.process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.process.start(KV_PRINTER_APP,
                            {"server", "-o", "server-port=" + QString::number(m_appPort), "-o",
                             "spool-directory=" + q(app / "spool"), "-o",
                             "state-file=" + q(app / "state"), "-o", "log-file=" + q(app / "log"),
                             "-o", "log-level=debug"});
        ASSERT_TRUE(m_app.process.waitForStarted());
        ASSERT_TRUE(waitForPort(m_app.process, m_appPort, 60000)) << diagnostics();
    }

    void startCupsd() {
        const fs::path cups = m_root / "cups";
        for (const char* d : {"etc", "spool", "spool/tmp", "cache", "state", "log"})
            fs::create_directories(cups / d);
        m_cupsPort = freePort();
        ASSERT_NE(m_cupsPort, 0);
        // Everything cupsd keeps lives here; filters and backends stay the system's.
        std::ofstream(cups / "etc/cups-files.conf")
            << "ServerRoot " << (cups / "etc").string() << "\n"
            << "RequestRoot " << (cups / "spool").string() << "\n"
            << "TempDir " << (cups / "spool/tmp").string() << "\n"
            << "CacheDir " << (cups / "cache").string() << "\n"
            << "StateDir " << (cups / "state").string() << "\n"
            << "AccessLog " << (cups / "log/access_log").string() << "\n"
            << "ErrorLog " << (cups / "log/error_log").string() << "\n"
            << "PageLog " << (cups / "log/page_log").string() << "\n"
            << "FileDevice No\n";
        // Only a loopback TCP listener. A policy without AuthType: over TCP, lpadmin as root
        // would look for its local certificate in the system's state folder, not ours.
        std::ofstream(cups / "etc/cupsd.conf") << "Listen 127.0.0.1:" << m_cupsPort << "\n"
                                               << "LogLevel debug\n"
                                               << "MaxLogSize 0\n"
                                               << "WebInterface No\n"
                                               << "Browsing No\n"
                                               << "<Location />\n  Order allow,deny\n"
                                               << "  Allow all\n</Location>\n"
                                               << "<Location /admin>\n  Order allow,deny\n"
                                               << "  Allow all\n</Location>\n"
                                               << "<Policy default>\n  <Limit All>\n"
                                               << "    Order deny,allow\n  </Limit>\n"
                                               << "</Policy>\n";
        m_cupsd.process.setProcessEnvironment(cleanEnvironment());
        m_cupsd.process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_cupsd.process.start(program("cupsd"), {"-f", "-c", q(cups / "etc/cupsd.conf"), "-s",
                                                 q(cups / "etc/cups-files.conf")});
        ASSERT_TRUE(m_cupsd.process.waitForStarted());
        ASSERT_TRUE(waitForPort(m_cupsd.process, m_cupsPort, 60000)) << diagnostics();
    }

    QString cupsHost() const { return "127.0.0.1:" + QString::number(m_cupsPort); }

    // Prints the file and waits until CUPS has no job left and the page is out.
    void printAndWait(const fs::path& file, int pagesBefore, const QStringList& options = {}) {
        const Outcome lp = run("lp", QStringList{"-h", cupsHost(), "-d", "Kelvor"} + options +
                                         QStringList{q(file)});
        ASSERT_EQ(lp.code, 0) << lp.output << diagnostics();
        const QDeadlineTimer deadline(180000);
        while (!deadline.hasExpired()) {
            const Outcome pending = run("lpstat", {"-h", cupsHost(), "-o", "Kelvor"});
            if (pending.code == 0 && pending.output.empty() && pageCount(out()) > pagesBefore)
                break;
            QThread::msleep(250);
        }
        EXPECT_EQ(pageCount(out()), pagesBefore + 1) << file << diagnostics();
    }

    fs::path out() const { return m_root / "app/out"; }

    // The queue "Kelvor" as the README makes it, printing colour by default.
    void addEverywhereQueue() {
        const QString uri = "ipp://localhost:" + QString::number(m_appPort) + "/ipp/print";
        const Outcome add =
            run("lpadmin", {"-h", cupsHost(), "-p", "Kelvor", "-E", "-v", uri, "-m", "everywhere"});
        ASSERT_EQ(add.code, 0) << add.output << diagnostics();
        // CUPS 2.4 at times gives a new queue print-color-mode=monochrome as its default
        // (OpenPrinting/cups#421); say colour.
        const Outcome colour = run(
            "lpadmin", {"-h", cupsHost(), "-p", "Kelvor", "-o", "print-color-mode-default=color"});
        ASSERT_EQ(colour.code, 0) << colour.output << diagnostics();
    }

    // The PPD CUPS made for the queue. cupsd rewrites it for the second lpadmin while
    // a loaded machine may already read it: read until two reads agree and it is whole.
    std::string ppd() const {
        const fs::path file = m_root / "cups/etc/ppd/Kelvor.ppd";
        std::string before;
        for (int i = 0; i < 100; ++i) {
            std::string now = test::readBytes(file);
            if (!now.empty() && now == before && now.find("*PageSize ") != std::string::npos)
                return now;
            before = std::move(now);
            QThread::msleep(100);
        }
        return before;
    }

    test::TempDir m_root;
    quint16 m_appPort = 0;
    quint16 m_cupsPort = 0;
    // Declared last, so both servers stop before their folders are removed.
    Daemon m_app;
    Daemon m_cupsd;
};

} // namespace kv::printer_app
