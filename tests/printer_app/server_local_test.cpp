// kvphoto-printer-app among the other users of one computer, as real server processes
// asked with ipptool: a taken port, the runtime folder's checks, who may administer
// and cancel, a second server beside a running one, and control files that are no
// regular files.

#include "print_server.h"
#include "support/jpeg_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kv::print_server {
namespace {

constexpr uid_t kNobody = 65534;
const QStringList kAsNobody{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};

bool root() {
    return ::geteuid() == 0;
}

std::string jpeg() {
    return test::encodeJpeg(64, 48, [](int y, JSAMPLE* row) {
        for (int x = 0; x < 64 * 3; ++x)
            row[x] = static_cast<JSAMPLE>(x + y);
    });
}

struct Stat {
    bool exists = false;
    uid_t owner = 0;
    mode_t mode = 0;
    ino_t inode = 0;
};

Stat statOf(const fs::path& path) {
    struct stat st {};
    Stat s;
    if (::lstat(path.c_str(), &st) == 0)
        s = {true, st.st_uid, st.st_mode & 07777, st.st_ino};
    return s;
}

// A server started by hand (as `owner`, nobody or ourselves), for what PrintServer does
// not do: other folders, other options, another user.
class Server {
  public:
    Server(const fs::path& root, uid_t owner, const QStringList& options, const Env& env) {
        for (const char* dir : {"", "home", "out", "user"}) {
            fs::create_directories(root / dir);
            if (owner != ::geteuid())
                (void)!::chown((root / dir).c_str(), owner, owner);
        }
        const QStringList prefix = owner != ::geteuid() ? kAsNobody : QStringList{};
        QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
        const auto at = [&root](const char* name) {
            return QString::fromStdString((root / name).string());
        };
        vars.insert("HOME", at("user"));
        vars.insert("KVPR_HOME", at("home"));
        vars.insert("KVPR_DRIVE_C", at("home") + "/c");
        vars.insert("KVPR_SYSTEM_DIR", at("home") + "/system");
        vars.insert("KVPR_PORT", "sim");
        vars.insert("KVPR_SIM_OUT", at("out"));
        vars.insert("KVPR_SIM_WARMUP_MS", "0");
        vars.remove("XDG_CONFIG_HOME");
        vars.remove("XDG_CACHE_HOME");
        for (const auto& [name, value] : env) {
            if (value.isEmpty())
                vars.remove(name);
            else
                vars.insert(name, value);
        }
        m_process.setProcessEnvironment(vars);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args = prefix;
        args << KV_PRINTER_APP << "server"
             << "-o"
             << "state-file=" + at("home") + "/state" << options;
        const QString program = args.takeFirst();
        m_process.start(program, args);
        m_process.waitForStarted(5000);
    }
    ~Server() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    // The exit status once it ended within `ms`; -1 while it still runs.
    int exitWithin(int ms) {
        if (!m_process.waitForFinished(ms))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }
    bool listensOn(int port) {
        for (int i = 0; i < 600 && m_process.state() == QProcess::Running; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
            if (socket.waitForConnected(500))
                return true;
            QThread::msleep(100);
        }
        return false;
    }
    std::string output() {
        // Read only as the process is waited for: give it the chance.
        while (m_process.state() == QProcess::Running && m_process.waitForReadyRead(300)) {
        }
        m_output += m_process.readAll().toStdString();
        return m_output;
    }

  private:
    QProcess m_process;
    std::string m_output;
};

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A folder tree another user can reach: 0755 down to `dir`, `dir` itself the user's.
fs::path folderFor(const test::TempDir& tmp, const char* name, uid_t owner) {
    ::chmod(tmp.path().c_str(), 0755);
    const fs::path dir = tmp / name;
    fs::create_directories(dir);
    if (owner != ::geteuid())
        (void)!::chown(dir.c_str(), owner, owner);
    return dir;
}

TEST(ServerLocal, TakenPortEndsTheServerAndASecondServerLeavesTheControlSocketAlone) {
    // As root both servers run as nobody, whose control socket is in its runtime
    // folder; otherwise as ourselves.
    test::TempDir tmp;
    const uid_t user = root() ? kNobody : ::geteuid();
    const fs::path base = folderFor(tmp, "servers", user);
    const fs::path runtime = base / "run";
    fs::create_directories(runtime);
    (void)!::chown(runtime.c_str(), user, user);
    ::chmod(runtime.c_str(), 0700);
    const Env env{{"XDG_RUNTIME_DIR", QString::fromStdString(runtime.string())}};

    const int port = freePort();
    Server first(base / "first", user, {"-o", QString("server-port=%1").arg(port)}, env);
    ASSERT_TRUE(first.listensOn(port)) << first.output();
    const fs::path socket =
        runtime / "kvphoto-printer-app" / ("kvphoto-printer-app" + std::to_string(user) + ".sock");
    const Stat control = statOf(socket);
    ASSERT_TRUE(control.exists) << first.output();
    EXPECT_EQ(control.owner, user);
    EXPECT_EQ(control.mode, 0600u) << "the owner's alone";
    EXPECT_EQ(statOf(runtime / "kvphoto-printer-app").mode, 0700u);

    struct Case {
        const char* name;
        int port; // 0: the first server's
        bool ends;
        const char* says;
    };
    const Case cases[] = {
        {"same port", 0, true, "schon belegt"},
        {"another port", freePort(), false, "nur über IPP erreichbar"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int itsPort = c.port ? c.port : port;
        Server second(base / (c.ends ? "second" : "third"), user,
                      {"-o", QString("server-port=%1").arg(itsPort)}, env);
        if (c.ends) {
            EXPECT_EQ(second.exitWithin(30000), 1) << second.output();
        } else {
            EXPECT_TRUE(second.listensOn(itsPort)) << second.output();
            QThread::msleep(300);
        }
        EXPECT_NE(second.output().find(c.says), std::string::npos) << second.output();
        const Stat after = statOf(socket);
        EXPECT_TRUE(after.exists);
        EXPECT_EQ(after.inode, control.inode) << "the first server's socket is still in place";
    }
    EXPECT_EQ(first.exitWithin(0), -1) << "the first server runs on";
}

TEST(ServerLocal, RuntimeAndSpoolFoldersMustBeTheUsersOwnAndClosed) {
    struct Case {
        const char* name;
        bool needsRoot;
        // Prepares the folders under `dir`; gives the extra options and environment.
        std::function<void(const fs::path& dir, QStringList& options, Env& env)> prepare;
        const char* refusal; // empty: the server runs
        const char* spoolAt; // where the spool is then, under dir
    };
    const Case cases[] = {
        {"runtime folder set", false,
         [](const fs::path& d, QStringList&, Env& env) {
             fs::create_directories(d / "run");
             ::chmod((d / "run").c_str(), 0700);
             env.push_back({"XDG_RUNTIME_DIR", QString::fromStdString((d / "run").string())});
         },
         "", "run/kvphoto-printer-app/spool"},
        {"no runtime folder: the user's cache", false,
         [](const fs::path&, QStringList&, Env& env) {
             env.push_back({"XDG_RUNTIME_DIR", ""});
         },
         "", "user/.cache/kvphoto/printer-app/spool"},
        {"runtime folder open to all", false,
         [](const fs::path& d, QStringList&, Env& env) {
             fs::create_directories(d / "run");
             ::chmod((d / "run").c_str(), 01777);
             env.push_back({"XDG_RUNTIME_DIR", QString::fromStdString((d / "run").string())});
         },
         "andere Benutzer schreiben", ""},
        {"spool folder made by another user for all", true,
         [](const fs::path& d, QStringList& options, Env&) {
             fs::create_directories(d / "spool");
             ::chmod((d / "spool").c_str(), 0777);
             (void)!::chown((d / "spool").c_str(), kNobody, kNobody);
             options << "-o" << QString::fromStdString("spool-directory=" + (d / "spool").string());
         },
         "gehört nicht Ihnen", ""},
        {"own spool folder others may write into", false,
         [](const fs::path& d, QStringList& options, Env&) {
             fs::create_directories(d / "spool");
             ::chmod((d / "spool").c_str(), 0777);
             options << "-o" << QString::fromStdString("spool-directory=" + (d / "spool").string());
         },
         "andere Benutzer schreiben", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && !root()) {
            std::printf("skipped \"%s\": only root can make a folder of another user\n", c.name);
            continue;
        }
        test::TempDir dir;
        QStringList options;
        Env env{{"TMPDIR", QString::fromStdString((dir / "tmp").string())}};
        fs::create_directories(dir / "tmp");
        c.prepare(dir.path(), options, env);
        const int port = freePort();
        options << "-o" << QString("server-port=%1").arg(port);
        Server server(dir.path(), ::geteuid(), options, env);
        if (*c.refusal) {
            EXPECT_EQ(server.exitWithin(30000), 1) << server.output();
            EXPECT_NE(server.output().find(c.refusal), std::string::npos) << server.output();
            continue;
        }
        ASSERT_TRUE(server.listensOn(port)) << server.output();
        const Stat spool = statOf(dir / c.spoolAt);
        EXPECT_TRUE(spool.exists) << c.spoolAt;
        EXPECT_EQ(spool.mode, 0700u);
        EXPECT_FALSE(
            fs::exists(dir / "tmp" / ("kvphoto-printer-app" + std::to_string(::getuid()) + ".d")))
            << "nothing in the shared temporary folder";
    }
}

// ipptool as nobody against `server`: the request file and the document are put where
// nobody can read them.
IppResult ipptoolAsNobody(PrintServer& server, const std::string& body,
                          const std::vector<std::string>& vars = {}, const fs::path& file = {}) {
    test::TempDir shared;
    ::chmod(shared.path().c_str(), 0755);
    const fs::path request = shared / "request.test";
    test::writeBytes(request, body);
    ::chmod(request.c_str(), 0644);
    fs::path document;
    if (!file.empty()) {
        document = shared.path() / file.filename();
        fs::copy_file(file, document);
        ::chmod(document.c_str(), 0644);
    }
    QStringList args = kAsNobody;
    args << "ipptool"
         << "-t"
         << "-T"
         << "10";
    for (const std::string& v : vars)
        args << "-d" << QString::fromStdString(v);
    if (!document.empty())
        args << "-f" << QString::fromStdString(document.string());
    args << QString::fromStdString(server.uri()) << QString::fromStdString(request.string());
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = args.takeFirst();
    process.start(program, args);
    IppResult result;
    process.waitForFinished(30000);
    result.output = process.readAll().toStdString();
    result.passed = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    static const std::regex shown(R"(^\s+([a-z][a-z0-9-]*) \([^)]*\) = (.*)$)");
    std::istringstream in(result.output);
    for (std::string line; std::getline(in, line);)
        if (std::smatch m; std::regex_match(line, m, shown))
            result.attributes[m[1]] = m[2];
    return result;
}

std::string request(const std::string& operation, const std::string& user = "$user") {
    return "{\nNAME \"" + operation + "\"\nOPERATION " + operation +
           "\nGROUP operation-attributes-tag\n"
           "ATTR charset attributes-charset utf-8\n"
           "ATTR language attributes-natural-language de\n"
           "ATTR uri printer-uri $uri\n"
           "ATTR name requesting-user-name " +
           user + "\n";
}

TEST(ServerLocal, OtherUsersPrintAndHandleTheirOwnJobsOnly) {
    if (!root()) {
        GTEST_SKIP() << "needs root to ask the server as another user";
    }
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const fs::path picture = server.root() / "bild.jpg";
    test::writeBytes(picture, jpeg());
    // Jobs wait for paper, so they stay to be cancelled.
    server.control("paper out");
    const int owners = server.submit(picture, "image/jpeg");
    ASSERT_NE(owners, 0) << server.lastSubmit();

    // Another user prints, claiming to be root: the job is theirs all the same.
    const IppResult printed = ipptoolAsNobody(
        server,
        request("Print-Job", "root") + "ATTR mimeMediaType document-format image/jpeg\n"
                                       "FILE $filename\nSTATUS successful-ok\nEXPECT job-id\n"
                                       "DISPLAY job-id\n}\n",
        {}, picture);
    ASSERT_TRUE(printed.passed) << printed.output;
    const int theirs = std::stoi(printed.attributes.at("job-id"));
    const auto ownerOf = [&server](int id) {
        return server
            .ipptool(request("Get-Job-Attributes") + "ATTR integer job-id $job\n"
                                                     "STATUS successful-ok\n"
                                                     "DISPLAY job-originating-user-name\n}\n",
                     {"job=" + std::to_string(id)})
            .attributes["job-originating-user-name"];
    };
    EXPECT_EQ(ownerOf(theirs), "nobody");

    struct Case {
        const char* name;
        std::string body;
        std::vector<std::string> vars;
        bool allowed;
    };
    const std::string cancel = request("Cancel-Job") + "ATTR integer job-id $job\n"
                                                       "STATUS successful-ok\n}\n";
    const std::vector<Case> cases = {
        {"cancel the owner's job", cancel, {"job=" + std::to_string(owners)}, false},
        {"pause the printer", request("Pause-Printer") + "STATUS successful-ok\n}\n", {}, false},
        {"cancel every job", request("Cancel-Jobs") + "STATUS successful-ok\n}\n", {}, false},
        {"set the printer's location",
         request("Set-Printer-Attributes") +
             "GROUP printer-attributes-tag\nATTR text printer-location Keller\n"
             "STATUS successful-ok\n}\n",
         {},
         false},
        {"cancel their own job", cancel, {"job=" + std::to_string(theirs)}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IppResult r = ipptoolAsNobody(server, c.body, c.vars);
        EXPECT_EQ(r.passed, c.allowed) << r.output;
    }
    const Attributes kept = server.job(owners);
    EXPECT_EQ(kept.at("job-state"), "processing") << "the owner's job is untouched";
    EXPECT_NE(server.printer().at("printer-state"), "stopped");

    // The owner handles everything.
    EXPECT_TRUE(server.ipptool(request("Pause-Printer") + "STATUS successful-ok\n}\n").passed);
    EXPECT_TRUE(server.ipptool(request("Resume-Printer") + "STATUS successful-ok\n}\n").passed);
    EXPECT_TRUE(server.cancel(owners));
}

TEST(ServerLocal, ControlFileThatIsNoRegularFileNeitherCrashesNorStopsPrinting) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& control)> make;
    };
    const Case cases[] = {
        {"folder",
         [](const fs::path& c) {
             fs::create_directory(c);
             test::writeBytes(c / "paper", "paper out\n");
         }},
        {"named pipe", [](const fs::path& c) { ::mkfifo(c.c_str(), 0600); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrintServer server;
        ASSERT_TRUE(server.running()) << server.log();
        const fs::path picture = server.root() / "bild.jpg";
        test::writeBytes(picture, jpeg());
        c.make(server.out() / "control");
        const int id = server.submit(picture, "image/jpeg");
        ASSERT_NE(id, 0) << server.lastSubmit();
        const Attributes done = server.finish(id, 60000);
        EXPECT_EQ(done.count("job-state") ? done.at("job-state") : "", "completed");
        EXPECT_TRUE(server.running());
        EXPECT_EQ(server.pages(), 1);
        for (const auto& entry : fs::directory_iterator(server.out()))
            EXPECT_NE(entry.path().filename().string().rfind("control.taken", 0), 0u)
                << entry.path();
        const std::string said = test::readBytes(server.root() / "stdout");
        std::size_t told = 0;
        for (std::size_t at = said.find("keine gewöhnliche Datei"); at != std::string::npos;
             at = said.find("keine gewöhnliche Datei", at + 1))
            ++told;
        EXPECT_EQ(told, 1u) << said;
    }
}

} // namespace
} // namespace kv::print_server
