// kvphoto-printer-app among the other users of one computer, as real server processes
// asked with ipptool: a taken port, a second server beside a running one, the runtime
// folder's checks, who may administer and cancel, and control files that are no
// regular files.

#include "print_server.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kv::print_server {
namespace {

const QStringList kAsNobody{"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};

// A server started by hand in `root` (as nobody when `nobody`) on `port`, for what
// PrintServer does not do: other options, another user; an empty value in `env` unsets.
struct Server {
    Server(const fs::path& root, int port, const Env& env, bool nobody = false,
           const QStringList& options = {})
        : port(port) {
        for (const char* dir : {"", "home", "out"}) {
            fs::create_directories(root / dir);
            if (nobody)
                (void)!::chown((root / dir).c_str(), 65534, 65534);
        }
        QProcessEnvironment vars = QProcessEnvironment::systemEnvironment();
        const QString at = QString::fromStdString(root.string());
        for (const auto& [name, value] : Env{{"HOME", at},
                                             {"KVPR_HOME", at + "/home"},
                                             {"KVPR_SIM_OUT", at + "/out"},
                                             {"KVPR_PORT", "sim"}})
            vars.insert(name, value);
        for (const auto& [name, value] : env)
            value.isEmpty() ? vars.remove(name) : vars.insert(name, value);
        process.setProcessEnvironment(vars);
        process.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args = nobody ? kAsNobody : QStringList{};
        args << KV_PRINTER_APP << "server"
             << "-o"
             << "state-file=" + at + "/home/state"
             << "-o" << QString("server-port=%1").arg(port) << options;
        process.start(args.takeFirst(), args);
        process.waitForStarted(5000);
    }
    ~Server() {
        // Never kill(0): that would be the test's own process group.
        if (process.state() == QProcess::NotRunning || process.processId() <= 0)
            return;
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(5000);
    }
    bool listens() { return PrintServer::listening(process, port, 60000); }
    // Everything it said so far (all of it once it ended).
    std::string said() {
        while (process.state() == QProcess::Running && process.waitForReadyRead(300)) {
        }
        return output += process.readAll().toStdString();
    }
    int endsWith() { return process.waitForFinished(30000) ? process.exitCode() : -1; }

    int port;
    QProcess process;
    std::string output;
};

struct stat statOf(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

TEST(ServerLocal, TakenPortEndsTheServerASecondServerLeavesTheControlSocketAlone) {
    // As root, nobody's servers: their control socket is in their runtime folder.
    const bool nobody = ::geteuid() == 0;
    const uid_t user = nobody ? 65534 : ::geteuid();
    if (nobody &&
        QProcess::execute("setpriv", QStringList(kAsNobody.mid(1)) << "test"
                                                                   << "-x" << KV_PRINTER_APP) != 0)
        GTEST_SKIP() << "nobody cannot run the built server from this folder";
    test::TempDir tmp;
    ::chmod(tmp.path().c_str(), 0755);
    const fs::path runtime = tmp / "run";
    fs::create_directory(runtime);
    (void)!::chown(runtime.c_str(), user, user);
    ::chmod(runtime.c_str(), 0700);
    const Env env{{"XDG_RUNTIME_DIR", QString::fromStdString(runtime.string())}};
    Server first(tmp / "first", PrintServer::freePort(), env, nobody);
    ASSERT_TRUE(first.listens()) << first.said();
    const fs::path socket =
        runtime / "kvphoto-printer-app" / ("kvphoto-printer-app" + std::to_string(user) + ".sock");
    const struct stat control = statOf(socket);
    ASSERT_TRUE(S_ISSOCK(control.st_mode)) << first.said();
    EXPECT_EQ(control.st_mode & 0777, 0600u) << "the owner's alone";

    Server samePort(tmp / "second", first.port, env, nobody);
    EXPECT_EQ(samePort.endsWith(), 1);
    EXPECT_NE(samePort.said().find("ist schon belegt"), std::string::npos) << samePort.said();
    Server otherPort(tmp / "third", PrintServer::freePort(), env, nobody);
    ASSERT_TRUE(otherPort.listens()) << otherPort.said();
    EXPECT_NE(otherPort.said().find("nur über IPP erreichbar"), std::string::npos);
    EXPECT_EQ(statOf(socket).st_ino, control.st_ino) << "the first server's socket stays";
    EXPECT_EQ(first.process.state(), QProcess::Running);
}

TEST(ServerLocal, RuntimeAndSpoolFoldersMustBeTheUsersOwnAndClosed) {
    const struct {
        const char* name;
        const char* runtime; // XDG_RUNTIME_DIR under the test's folder; "" unset
        mode_t runtimeMode;
        mode_t spoolMode; // of a given spool-directory; 0: none given
        bool spoolOfNobody;
        const char* refusal; // "" runs
        const char* spoolAt; // then its spool, under the test's folder
    } cases[] = {
        {"runtime folder", "run", 0700, 0, false, "", "run/kvphoto-printer-app/spool"},
        {"no runtime folder: the cache", "", 0, 0, false, "", ".cache/kvphoto/printer-app/spool"},
        {"runtime folder open to all", "run", 01777, 0, false, "andere Benutzer schreiben", ""},
        {"own spool others may write", "run", 0700, 0777, false, "andere Benutzer schreiben", ""},
        {"another user's spool", "run", 0700, 0700, true, "gehört nicht Ihnen", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.spoolOfNobody && ::geteuid() != 0)
            continue; // only root can give a folder to another user
        test::TempDir dir;
        Env env{{"TMPDIR", QString::fromStdString(dir.path().string())}, {"XDG_RUNTIME_DIR", ""}};
        if (*c.runtime) {
            fs::create_directory(dir / c.runtime);
            ::chmod((dir / c.runtime).c_str(), c.runtimeMode);
            env.back().second = QString::fromStdString((dir / c.runtime).string());
        }
        QStringList options;
        if (c.spoolMode) {
            fs::create_directory(dir / "spool");
            ::chmod((dir / "spool").c_str(), c.spoolMode);
            if (c.spoolOfNobody)
                (void)!::chown((dir / "spool").c_str(), 65534, 65534);
            options << "-o"
                    << QString::fromStdString("spool-directory=" + (dir / "spool").string());
        }
        Server server(dir.path(), PrintServer::freePort(), env, false, options);
        if (*c.refusal) {
            EXPECT_EQ(server.endsWith(), 1);
            EXPECT_NE(server.said().find(c.refusal), std::string::npos) << server.said();
            continue;
        }
        ASSERT_TRUE(server.listens()) << server.said();
        EXPECT_EQ(statOf(dir / c.spoolAt).st_mode & 07777, 0700u) << c.spoolAt;
        EXPECT_FALSE(fs::exists(dir / ("kvphoto-printer-app" + std::to_string(::getuid()) + ".d")));
    }
}

// Runs ipptool as nobody; the request and the document where nobody can read them.
IppResult ipptoolAsNobody(const PrintServer& server, const std::string& body,
                          const std::string& job = "", const fs::path& file = {}) {
    test::TempDir shared;
    ::chmod(shared.path().c_str(), 0755);
    test::writeBytes(shared / "r.test", body + "STATUS successful-ok\n}\n");
    QStringList args = kAsNobody;
    args << "ipptool"
         << "-t"
         << "-d" << QString::fromStdString("job=" + job);
    if (!file.empty() && fs::copy_file(file, shared / "doc.jpg"))
        args << "-f" << QString::fromStdString((shared / "doc.jpg").string());
    QProcess ipptool;
    ipptool.setProcessChannelMode(QProcess::MergedChannels);
    ipptool.start(args.takeFirst(), args << QString::fromStdString(server.uri())
                                         << QString::fromStdString((shared / "r.test").string()));
    const bool finished = ipptool.waitForFinished(30000);
    return {finished && ipptool.exitStatus() == QProcess::NormalExit && ipptool.exitCode() == 0,
            ipptool.readAll().toStdString(),
            {}};
}

TEST(ServerLocal, OtherUsersPrintAndHandleTheirOwnJobsOnly) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to ask the server as another user";
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const fs::path picture = server.picture("bild.jpg");
    server.control("paper out"); // jobs wait, and stay to be cancelled
    const int owners = server.submit(picture, "image/jpeg");
    ASSERT_NE(owners, 0) << server.lastSubmit();

    // Another user prints, claiming to be root: the job is theirs all the same.
    const IppResult printed =
        ipptoolAsNobody(server,
                        PrintServer::request("Print-Job", "root") +
                            "ATTR mimeMediaType document-format image/jpeg\nFILE $filename\n",
                        "", picture);
    ASSERT_TRUE(printed.passed) << printed.output;
    EXPECT_EQ(at(server.job(owners + 1), "job-originating-user-name"), "nobody");

    const std::string cancel = PrintServer::request("Cancel-Job") + "ATTR integer job-id $job\n";
    const struct {
        const char* name;
        std::string body;
        std::string job;
        bool allowed;
    } cases[] = {
        {"cancel the owner's job", cancel, std::to_string(owners), false},
        {"pause the printer", PrintServer::request("Pause-Printer"), "", false},
        {"cancel every job", PrintServer::request("Cancel-Jobs"), "", false},
        {"set the location",
         PrintServer::request("Set-Printer-Attributes") +
             "GROUP printer-attributes-tag\nATTR text printer-location Keller\n",
         "", false},
        {"cancel their own job", cancel, std::to_string(owners + 1), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const IppResult r = ipptoolAsNobody(server, c.body, c.job);
        EXPECT_EQ(r.passed, c.allowed) << r.output;
    }
    EXPECT_EQ(at(server.job(owners), "job-state"), "processing") << "untouched";
    // The owner handles everything.
    for (const char* operation : {"Pause-Printer", "Resume-Printer"})
        EXPECT_TRUE(
            server.ipptool(PrintServer::request(operation) + "STATUS successful-ok\n}\n").passed)
            << operation;
    EXPECT_TRUE(server.cancel(owners));
}

TEST(ServerLocal, ControlFileThatIsNoRegularFileNeitherCrashesNorStopsPrinting) {
    for (const bool folder : {true, false}) {
        SCOPED_TRACE(folder ? "folder" : "named pipe");
        PrintServer server;
        ASSERT_TRUE(server.running()) << server.log();
        const fs::path control = server.out() / "control";
        folder ? fs::create_directory(control) : ::mkfifo(control.c_str(), 0600) == 0;
        const int id = server.submit(server.picture("bild.jpg"), "image/jpeg");
        ASSERT_NE(id, 0) << server.lastSubmit();
        EXPECT_EQ(server.finish(id, 60000)["job-state"], "completed");
        EXPECT_TRUE(server.running());
        EXPECT_EQ(server.pages(), 1);
        for (const auto& entry : fs::directory_iterator(server.out()))
            EXPECT_NE(entry.path().filename().string().rfind("control.taken", 0), 0u);
        const std::string said = test::readBytes(server.root() / "stdout");
        const std::string told = "keine gewöhnliche Datei";
        EXPECT_NE(said.find(told), std::string::npos) << said;
        EXPECT_EQ(said.find(told, said.find(told) + 1), std::string::npos) << "told once";
    }
}

} // namespace
} // namespace kv::print_server
