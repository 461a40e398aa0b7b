// kvphoto-cli print stopped by signals at each of its waits: the port kept by another
// print, the printer's warm-up and the paper. Each ends within a bound, with exit 1,
// no page, and the port free for the next print.

#include "cli_runner.h"
#include "jobs/job_messages.h"
#include "platform/imagelib/image_library.h"
#include "sheet_settings.h"
#include "support/printed_pages.h"

#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include <signal.h>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

// A wait ends "at once": well under the 15 s and 30 s the waits would take, with room
// for a loaded machine and a sanitizer build.
constexpr int kBoundMs = 5000;

class StopCli : public Cli {
  public:
    fs::path out() const { return root() / "out"; }
    std::vector<std::pair<QString, QString>> env(const char* warmUpMs = "0",
                                                 const char* paperLoadMs = nullptr) const {
        std::vector<std::pair<QString, QString>> vars = {
            {"KVPR_PORT", "sim"},
            {"KVPR_SIM_OUT", QString::fromStdString(out().string())},
            {"KVPR_SIM_WARMUP_MS", warmUpMs}};
        if (paperLoadMs)
            vars.emplace_back("KVPR_SIM_PAPER_LOAD_MS", paperLoadMs);
        return vars;
    }
    void control(const std::string& instruction) const {
        fs::create_directories(out());
        std::ofstream(out() / "control", std::ios::app) << instruction << "\n";
    }
    int pages() const { return test::printedPages(out()); }
};

// Collects standard error until it shows `text`; false when the tool ended first.
bool waitForText(QProcess& process, std::string& err, const std::string& text) {
    process.setReadChannel(QProcess::StandardError);
    while (err.find(text) == std::string::npos && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(30000);
        err += process.readAllStandardError().toStdString();
    }
    return err.find(text) != std::string::npos;
}

// Sends the signals a little apart, as a person presses the keys, and waits for the
// end: true when it came within the bound.
bool stoppedInTime(QProcess& process, const std::vector<int>& sent) {
    QElapsedTimer timer;
    timer.start();
    for (int s : sent) {
        if (process.state() == QProcess::NotRunning)
            break;
        EXPECT_EQ(::kill(static_cast<pid_t>(process.processId()), s), 0);
        process.waitForFinished(100);
    }
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(kBoundMs);
    return process.state() == QProcess::NotRunning && timer.elapsed() < kBoundMs;
}

int exitCode(QProcess& process) {
    if (process.state() != QProcess::NotRunning)
        process.waitForFinished(60000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

TEST(CliPrintStop, SignalsEndEveryWaitWithinASecond) {
    StopCli cli;
    writeSettings(cli.home());
    const fs::path picture = cli.root() / "p.bmp";
    ASSERT_TRUE(platform::imagelib::WriteBmpFile(picture, platform::Bitmap24::make(300, 200)));
    const std::string file = picture.string();

    enum class Wait { Port, WarmUp, Paper };
    const struct {
        const char* name;
        Wait wait;
        std::vector<int> sent;
    } cases[] = {
        {"port, ctrl-c twice", Wait::Port, {SIGINT, SIGINT}},
        {"port, sigterm", Wait::Port, {SIGTERM}},
        {"warm-up, ctrl-c twice", Wait::WarmUp, {SIGINT, SIGINT}},
        {"warm-up, sigterm", Wait::WarmUp, {SIGTERM}},
        {"paper, ctrl-c twice", Wait::Paper, {SIGINT, SIGINT}},
        {"paper, sigterm", Wait::Paper, {SIGTERM}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string err;
        QProcess holder; // keeps the port through a long warm-up
        QProcess process;
        switch (c.wait) {
        case Wait::Port:
            cli.start(holder, {"print", file}, cli.env("60000"));
            ASSERT_TRUE(waitForText(holder, err, "Aufwärmen")) << err;
            err.clear();
            cli.start(process, {"print", file}, cli.env());
            ASSERT_TRUE(waitForText(process, err, "waiting for the printer port")) << err;
            break;
        case Wait::WarmUp:
            cli.start(process, {"print", file}, cli.env("60000"));
            ASSERT_TRUE(waitForText(process, err, "Aufwärmen")) << err;
            break;
        case Wait::Paper:
            // The tray runs empty while the paper is fed; --yes waits for paper.
            cli.start(process, {"--yes", "print", file}, cli.env("0", "3000"));
            ASSERT_TRUE(waitForText(process, err, "Papier")) << err;
            cli.control("paper out");
            ASSERT_TRUE(waitForText(process, err, std::string(jobs::msg::kAskNoPaper))) << err;
            break;
        }
        EXPECT_TRUE(stoppedInTime(process, c.sent)) << err;
        EXPECT_EQ(exitCode(process), 1) << err << process.readAllStandardError().toStdString();
        if (c.wait == Wait::Port) {
            EXPECT_TRUE(stoppedInTime(holder, {SIGTERM})) << "the holder stops in its warm-up";
            EXPECT_EQ(exitCode(holder), 1);
        }
        EXPECT_EQ(cli.pages(), 0);
        cli.control("paper in");
    }
    // Every stop let go of the port: the next print gets it at once and prints.
    const Result again = cli.run({"print", "--quiet", file}, cli.env());
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(cli.pages(), 1);
}

} // namespace
} // namespace kv::cli
