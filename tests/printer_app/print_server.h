#pragma once

// The built kvphoto-printer-app as a real server on a free port, with a program
// directory, virtual printer and port lock folder of its own, asked with ipptool.
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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

inline std::string at(const Attributes& a, const std::string& name) {
    const auto v = a.find(name);
    return v == a.end() ? std::string() : v->second;
}

inline bool inState(const Attributes& a, const char* state) {
    return at(a, "job-state") == state;
}

// A width x height picture in `format` ("JPG", "PNG", "BMP"), a gradient moved by `shade`.
inline std::string encoded(const char* format, int shade = 0, int width = 480, int height = 640) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x + shade) & 0xFF, (y / 3 + shade) & 0xFF, shade & 0xFF));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

// A raster document of `pages` 3 x 4 in pages at 160 dpi of `type` ("srgb_8", "sgray_8",
// "cmyk_8"), written by libcups; each pixel the grey (x + 2y + 80 page) mod 256.
inline void writeRaster(const fs::path& file, const char* type, cups_mode_t mode, int pages = 1) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t* raster = cupsRasterOpen(fd, mode);
    for (int page = 0; page < pages; ++page) {
        cups_page_header2_t h;
        cupsRasterInitPWGHeader(&h, pwgMediaForPWG("oe_kelvor-sheet_3x4in"), type, 160, 160,
                                "one-sided", "normal");
        h.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = unsigned(pages);
        cupsRasterWriteHeader2(raster, &h);
        const unsigned channels = h.cupsBitsPerPixel / 8;
        std::vector<unsigned char> line(h.cupsBytesPerLine);
        for (unsigned y = 0; y < h.cupsHeight; ++y) {
            for (unsigned i = 0; i < h.cupsWidth * channels; ++i)
                line[i] = static_cast<unsigned char>(i / channels + 2 * y + 80 * page);
            cupsRasterWritePixels(raster, line.data(), h.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    ::close(fd);
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
    // file (-f) are given by ipptool itself. `mode` "-tv" shows every attribute.
    IppResult ipptool(const std::string& body, const std::vector<std::string>& vars = {},
                      const fs::path& file = {}, int timeoutS = 10, const char* mode = "-t") {
        const fs::path testFile = m_root / ("request-" + std::to_string(++m_requests) + ".test");
        test::writeBytes(testFile, body);
        QStringList args{mode, "-T", QString::number(timeoutS)};
        for (const std::string& v : vars)
            args << "-d" << QString::fromStdString(v);
        if (!file.empty())
            args << "-f" << QString::fromStdString(file.string());
        args << QString::fromStdString(uri()) << QString::fromStdString(testFile.string());
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("ipptool", args);
        IppResult result;
        if (!process.waitForFinished((timeoutS + 20) * 1000)) {
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
    // copies 2"); the job's id, 0 when it was refused or no answer came in timeoutS.
    int submit(const fs::path& file, const std::string& format,
               const std::string& jobAttributes = {}, int timeoutS = 10) {
        const IppResult r = ipptool(request("Print-Job") +
                                        "ATTR mimeMediaType document-format $format\n"
                                        "GROUP job-attributes-tag\n" +
                                        jobAttributes + "\nFILE $filename\n" + kOk +
                                        "EXPECT job-id\nDISPLAY job-id\n}\n",
                                    {"format=" + format}, file, timeoutS);
        m_lastSubmit = r.output;
        const auto id = r.attributes.find("job-id");
        return r.passed && id != r.attributes.end() ? std::stoi(id->second) : 0;
    }

    // What ipptool said to the last submit, for refusals and failure messages.
    const std::string& lastSubmit() const { return m_lastSubmit; }

    Attributes job(int id) {
        return ipptool(request("Get-Job-Attributes") + "ATTR integer job-id $job\n" + kOk +
                           "DISPLAY job-state\nDISPLAY job-state-reasons\n"
                           "DISPLAY job-state-message\nDISPLAY job-impressions-completed\n"
                           "DISPLAY job-originating-user-name\nDISPLAY time-at-processing\n}\n",
                       {"job=" + std::to_string(id)})
            .attributes;
    }

    Attributes printer() {
        return ipptool(request("Get-Printer-Attributes") + kOk +
                       "DISPLAY printer-state\nDISPLAY printer-state-reasons\n}\n")
            .attributes;
    }

    bool cancel(int id) {
        return ipptool(request("Cancel-Job") + "ATTR integer job-id $job\n" + kOk + "}\n",
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

    // A JPEG picture (see encoded()) in the server's folder.
    fs::path picture(const std::string& name, int shade = 0) const {
        const fs::path file = m_root / "pics" / name;
        fs::create_directories(file.parent_path());
        test::writeBytes(file, encoded("JPG", shade));
        return file;
    }

    // Stops the server with SIGTERM and starts it again on the same folders and state.
    bool stopAndRestart() { return signalAndWait(SIGTERM, 10000) && restart(); }

    // A page of the web interface as an English browser asks for it, headers first; a POST
    // when `form` (urlencoded) is given. HTTP/1.0: the page comes whole, not in chunks.
    std::string web(const std::string& path, const std::string& form = {}) const {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
        if (!socket.waitForConnected(10000))
            return {};
        const std::string body = form.empty() ? ""
                                              : "Content-Type: application/x-www-form-"
                                                "urlencoded\r\nContent-Length: " +
                                                    std::to_string(form.size()) + "\r\n";
        socket.write(QByteArray::fromStdString(
            (form.empty() ? "GET " : "POST ") + path + " HTTP/1.0\r\nHost: localhost:" +
            std::to_string(m_port) + "\r\nAccept-Language: en\r\n" + body + "\r\n" + form));
        std::string reply;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(30000))
            reply += socket.readAll().toStdString();
        return reply + socket.readAll().toStdString();
    }

    // A page asked for over HTTP/1.1 and read to its end (its length, or its last
    // chunk), rather than until the server drops the idle connection: the status line
    // and headers, a blank line, and the body with any chunking undone.
    std::string webWhole(const std::string& path) const {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_port));
        if (!socket.waitForConnected(10000))
            return {};
        socket.write(QByteArray::fromStdString(
            "GET " + path + " HTTP/1.1\r\nHost: localhost:" + std::to_string(m_port) +
            "\r\nAccept-Language: en\r\n\r\n"));
        std::string reply;
        const auto whole = [&reply](std::string* body) {
            const std::size_t end = reply.find("\r\n\r\n");
            if (end == std::string::npos)
                return false;
            std::string head = reply.substr(0, end);
            std::transform(head.begin(), head.end(), head.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            std::size_t at = end + 4;
            if (const std::size_t l = head.find("content-length:"); l != std::string::npos) {
                const std::size_t length = std::stoul(head.substr(l + 15));
                if (reply.size() < at + length)
                    return false;
                *body = reply.substr(at, length);
                return true;
            }
            if (head.find("transfer-encoding: chunked") == std::string::npos)
                return false;
            body->clear();
            for (;;) {
                const std::size_t line = reply.find("\r\n", at);
                if (line == std::string::npos)
                    return false;
                const std::size_t size = std::stoul(reply.substr(at, line - at), nullptr, 16);
                if (reply.size() < line + 2 + size + 2)
                    return false;
                if (size == 0)
                    return true;
                *body += reply.substr(line + 2, size);
                at = line + 2 + size + 2;
            }
        };
        std::string body;
        while (!whole(&body) && socket.waitForReadyRead(30000))
            reply += socket.readAll().toStdString();
        return reply.substr(0, reply.find("\r\n\r\n") + 4) + body;
    }

    // The printer's values of `names`, as ipptool shows them.
    Attributes printerAttributes(const std::vector<std::string>& names) {
        std::string body = request("Get-Printer-Attributes") +
                           "ATTR keyword requested-attributes all,media-col-database\n" + kOk;
        for (const std::string& name : names)
            body += "DISPLAY " + name + "\n";
        return ipptool(body + "}\n").attributes;
    }

    static constexpr const char* kOk = "STATUS successful-ok\n";

    // The opening of a request block for ipptool test files: operation, charset,
    // language, printer-uri and user; the caller adds attributes, STATUS and "}".
    static std::string request(const std::string& name, const std::string& user = "$user") {
        return "{\nNAME \"" + name + "\"\nOPERATION " + name +
               "\nGROUP operation-attributes-tag\n"
               "ATTR charset attributes-charset utf-8\n"
               "ATTR language attributes-natural-language de\n"
               "ATTR uri printer-uri $uri\n"
               "ATTR name requesting-user-name " +
               user + "\n";
    }

    // True once `process` answers on `port`; false at once if it has exited.
    static bool listening(const QProcess& process, int port, int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() <= timeoutMs && process.state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            if (socket.waitForConnected(500))
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    static int freePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

  private:
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
        m_running = m_process.waitForStarted(5000) && listening(m_process, m_port, 60000) &&
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
