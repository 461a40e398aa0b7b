// kvphoto-cli print: the built tool drives the job engine against the virtual
// printer in its own process; the pages it writes are compared with the levels a
// job computes in process, and with each other.

#include "adjust/picture_adjust_settings.h"
#include "cli_runner.h"
#include "jobs/job_messages.h"
#include "media/media_service.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "printer/led_table.h"
#include "printer/virtual_printer.h"
#include "render/print_preparation.h"
#include "sheet_settings.h"
#include "support/page_levels.h"
#include "support/printed_pages.h"
#include "support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <signal.h>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

// A 24-bit picture with something different in every pixel and channel; `seed`
// tells pictures of one size apart.
platform::Bitmap24 pattern(int width, int height, int seed = 0) {
    platform::Bitmap24 b = platform::Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.at(x, y);
            p[0] = std::uint8_t(x * 3 + y + seed);
            p[1] = std::uint8_t(y / 2 + seed * 5);
            p[2] = std::uint8_t(x ^ y);
        }
    return b;
}

fs::path writeBmp(const fs::path& file, const platform::Bitmap24& b) {
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(platform::imagelib::WriteBmpFile(file, b));
    return file;
}

// A quarter turn clockwise, worked out here rather than taken from the program:
// the top row becomes the right column.
platform::Bitmap24 turnedClockwise(const platform::Bitmap24& b) {
    platform::Bitmap24 t = platform::Bitmap24::make(b.height, b.width);
    for (int y = 0; y < b.height; ++y)      // rows from the bottom
        for (int x = 0; x < b.width; ++x) { // old (x, y) goes to column y, row width-1-x
            const std::uint8_t* from = b.at(x, y);
            std::uint8_t* to = t.at(y, b.width - 1 - x);
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    return t;
}

// The tool on the virtual printer of this test, its pages in out().
class PrintCli : public Cli {
  public:
    fs::path out() const { return root() / "out"; }

    std::vector<std::pair<QString, QString>> env(bool slow = false) const {
        std::vector<std::pair<QString, QString>> vars = {
            {"KVPR_PORT", "sim"}, {"KVPR_SIM_OUT", QString::fromStdString(out().string())}};
        // Tracing every register access (to nowhere) stretches the transfer to
        // seconds, so a signal surely lands in it.
        if (slow)
            vars.emplace_back("KVPR_PORT_TRACE", "/dev/null");
        return vars;
    }

    Result print(std::vector<std::string> args) {
        args.insert(args.begin(), "print");
        return run(args, env());
    }

    fs::path page(int n) const { return test::printedPage(out(), n); }
    int pages() const { return test::printedPages(out()); }
};

printer::PageLevels levelsOf(const std::string& bytes) {
    printer::PageLevels page;
    page.values.resize(std::size_t(printer::PageLevels::kWidth) * printer::PageLevels::kHeight * 3);
    EXPECT_EQ(bytes.size(), page.values.size() * 2);
    for (std::size_t i = 0; i < page.values.size() && 2 * i + 1 < bytes.size(); ++i)
        page.values[i] =
            std::uint16_t(std::uint8_t(bytes[2 * i]) | std::uint8_t(bytes[2 * i + 1]) << 8);
    return page;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(CliPrint, OneSheetIsTheJobsLevelsWithItsProgress) {
    PrintCli cli;
    writeSettings(cli.home());
    const fs::path picture = writeBmp(cli.root() / "pics/hoch.bmp", pattern(300, 500));

    const Result r = cli.print({picture.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(cli.pages(), 1);

    // The same sheet file (the picture fits, so it is printed from its own file)
    // through the job's steps in process.
    platform::RecordingUi ui;
    const adjust::PictureAdjustSettings settings = adjust::loadPictureAdjustSettings(cli.home());
    media::MediaState media;
    printer::LedTable leds;
    media::loadMediaAtStart(cli.home(), media, leds, ui);
    const render::PrintInputs inputs{settings, true, media.calibration, media.gamma, cli.home()};
    auto images = std::make_unique<render::JobImages>();
    ASSERT_TRUE(render::preparePrintLevels(picture, inputs, *images, ui));
    const printer::PageLevels page = levelsOf(readBytes(cli.page(1)));
    EXPECT_EQ(test::levelsDisagreeing(page, images->exposure), 0);

    // Standard error is no terminal: a line per phase and per 10 %, in job order.
    const std::vector<std::string> lines = linesOf(r.err);
    const auto at = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    for (const char* line : {"Aufwärmen 0 %", "Papier 100 %", "Übertragung 0 %", "Übertragung 50 %",
                             "Übertragung 100 %"})
        EXPECT_TRUE(has(lines, line)) << line << " in\n" << r.err;
    EXPECT_LT(at("Aufwärmen 0 %"), at("Papier 100 %"));
    EXPECT_LT(at("Papier 100 %"), at("Übertragung 0 %"));
    EXPECT_LT(at("Übertragung 0 %"), at("Übertragung 100 %"));
    int transferLines = 0;
    for (const std::string& line : lines)
        transferLines += line.starts_with("Übertragung");
    EXPECT_EQ(transferLines, 11) << "0 % to 100 % in steps of 10";

    // --quiet: the same page again, nothing said; 4 in 1 of the same FILE is
    // another sheet.
    const Result quiet = cli.print({"--quiet", picture.string()});
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.err, "");
    ASSERT_EQ(cli.pages(), 2);
    EXPECT_TRUE(readBytes(cli.page(1)) == readBytes(cli.page(2)));
    ASSERT_EQ(cli.print({"--quiet", "--layout", "4", picture.string()}).code, 0);
    ASSERT_EQ(cli.pages(), 3);
    EXPECT_FALSE(readBytes(cli.page(1)) == readBytes(cli.page(3)));
}

TEST(CliPrint, AlbumPictureIsPrintedTurnedByItsRotation) {
    PrintCli cli;
    writeSettings(cli.home());
    // Larger than the frame both ways, so both prints go through the resize.
    const platform::Bitmap24 wide = pattern(700, 500);
    const fs::path original = writeBmp(cli.root() / "pics/quer.bmp", wide);
    const fs::path turned = writeBmp(cli.root() / "pics/gedreht.bmp", turnedClockwise(wide));
    const fs::path other = writeBmp(cli.root() / "pics/anders.bmp", pattern(700, 500, 9));
    ASSERT_EQ(cli.run({"picture", "add", "My_Album", other.string(), original.string()}).code, 0);
    ASSERT_EQ(cli.run({"picture", "rotate", "My_Album", "1"}).code, 0);

    const Result r = cli.print({"--quiet", "--album", "My_Album", "--picture", "1"});
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(cli.print({"--quiet", turned.string()}).code, 0);
    ASSERT_EQ(cli.print({"--quiet", original.string()}).code, 0);
    ASSERT_EQ(cli.pages(), 3);
    EXPECT_TRUE(readBytes(cli.page(1)) == readBytes(cli.page(2)));
    EXPECT_FALSE(readBytes(cli.page(1)) == readBytes(cli.page(3)));

    const Result none = cli.print({"--album", "My_Album", "--picture", "2"});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("kvphoto-cli: no picture with that INDEX in album My_Album"),
              std::string::npos)
        << none.err;
    EXPECT_EQ(cli.pages(), 3);
}

TEST(CliPrint, BatchPrintsWhatItCanAndSaysWhatItSkipped) {
    PrintCli cli;
    writeSettings(cli.home());
    std::vector<fs::path> files;
    for (int i = 0; i < 3; ++i)
        files.push_back(writeBmp(cli.root() / ("pics/bild" + std::to_string(i) + ".bmp"),
                                 pattern(700, 500, i)));
    ASSERT_EQ(cli.run({"album", "add", "Stapel"}).code, 0);
    ASSERT_EQ(cli.run({"picture", "add", "Stapel", files[0].string(), files[1].string(),
                       files[2].string()})
                  .code,
              0);
    // The middle picture breaks after it was added.
    writeBytes(files[1], "kein Bild");

    // Without --yes the program's question is answered No: nothing printed.
    const Result no = cli.print({"--batch", "Stapel"});
    EXPECT_EQ(no.code, 1);
    EXPECT_NE(no.err.find(std::string(jobs::msg::kAskBatchPrint)), std::string::npos);
    EXPECT_NE(no.err.find("kvphoto-cli: nothing was printed"), std::string::npos) << no.err;
    EXPECT_EQ(cli.pages(), 0);

    const Result r = cli.run({"--yes", "print", "--batch", "Stapel"}, cli.env());
    EXPECT_EQ(r.code, 1);
    const std::vector<std::string> lines = linesOf(r.err);
    EXPECT_TRUE(has(lines, std::string(jobs::msg::kFileCannotLoadHead) + files[1].string() +
                               std::string(jobs::msg::kFileCannotLoadTail)))
        << r.err;
    EXPECT_TRUE(has(lines, std::string(jobs::msg::kAskContinue)));
    EXPECT_TRUE(has(lines, "kvphoto-cli: picture 1 of 3: bild0.bmp"));
    EXPECT_TRUE(has(lines, "kvphoto-cli: picture 3 of 3: bild2.bmp"));
    EXPECT_TRUE(has(lines, "kvphoto-cli: 2 of 3 sheets printed")) << r.err;
    ASSERT_EQ(cli.pages(), 2);

    // The batch's sheets are the album's first and third pictures.
    ASSERT_EQ(cli.print({"--quiet", "--album", "Stapel", "--picture", "0"}).code, 0);
    ASSERT_EQ(cli.print({"--quiet", "--album", "Stapel", "--picture", "2"}).code, 0);
    EXPECT_TRUE(readBytes(cli.page(1)) == readBytes(cli.page(3)));
    EXPECT_TRUE(readBytes(cli.page(2)) == readBytes(cli.page(4)));

    // A batch of pictures that all print ends well.
    ASSERT_EQ(cli.run({"album", "add", "Gut"}).code, 0);
    ASSERT_EQ(cli.run({"picture", "add", "Gut", files[2].string(), files[0].string()}).code, 0);
    const Result good = cli.run({"--yes", "print", "--quiet", "--batch", "Gut"}, cli.env());
    EXPECT_EQ(good.code, 0) << good.err;
    EXPECT_EQ(good.err, std::string(jobs::msg::kAskBatchPrint) + "\n");
    ASSERT_EQ(cli.pages(), 6);
    EXPECT_TRUE(readBytes(cli.page(5)) == readBytes(cli.page(2)));
    EXPECT_TRUE(readBytes(cli.page(6)) == readBytes(cli.page(1)));
}

// Collects the running tool's standard error until it shows `until`; false when
// the tool ended first.
bool waitForText(QProcess& process, std::string& err, const std::string& until) {
    process.setReadChannel(QProcess::StandardError);
    while (err.find(until) == std::string::npos && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(60000);
        err += process.readAllStandardError().toStdString();
    }
    return err.find(until) != std::string::npos;
}

// Waits until the progress shows `until`, then sends `signal`.
void signalWhenShown(QProcess& process, std::string& err, const std::string& until, int signal) {
    ASSERT_TRUE(waitForText(process, err, until)) << err;
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), signal), 0);
}

TEST(CliPrint, SignalsDuringTheTransferDropThePage) {
    PrintCli cli;
    writeSettings(cli.home());
    const std::string picture = writeBmp(cli.root() / "pics/p.bmp", pattern(300, 200)).string();
    const std::string stopQuestion(jobs::msg::kAskStopPrinting);

    struct Case {
        const char* name;
        const char* answer;
        std::vector<int> sent; // each sent once the text before it shows
        const char* told;      // what the tool says of the stop
    };
    const Case cases[] = {
        // Ctrl+C is ESC: the program asks, --yes stops.
        {"ctrl-c with --yes", "--yes", {SIGINT}, nullptr},
        // --no keeps printing; the second Ctrl+C stops without asking again.
        {"two ctrl-c with --no",
         "--no",
         {SIGINT, SIGINT},
         "kvphoto-cli: interrupted: answered Yes"},
        // SIGTERM stops at once, whatever the answers.
        {"sigterm with --no", "--no", {SIGTERM}, "kvphoto-cli: interrupted: answered Yes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess process;
        cli.start(process, {c.answer, "print", picture}, cli.env(true));
        std::string err;
        signalWhenShown(process, err, "Übertragung", c.sent[0]);
        if (c.sent.size() > 1)
            signalWhenShown(process, err, stopQuestion, c.sent[1]);
        Result r = Cli::finish(process);
        err += r.err;
        EXPECT_EQ(r.code, 1) << err;
        EXPECT_NE(err.find(stopQuestion), std::string::npos) << err;
        if (c.told) {
            EXPECT_NE(err.find(c.told), std::string::npos) << err;
        }
        EXPECT_NE(err.find("kvphoto-cli: printing cancelled, the page was dropped"),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("Übertragung 100 %"), std::string::npos) << err;
        EXPECT_EQ(cli.pages(), 0) << "the page was dropped";
    }
    // The port was released and the printer takes the next page.
    const Result again = cli.print({"--quiet", picture});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(cli.pages(), 1);
}

TEST(CliPrint, TwoPrintsAtOnceGiveTwoWholePages) {
    PrintCli cli;
    writeSettings(cli.home());
    const std::string a = writeBmp(cli.root() / "pics/a.bmp", pattern(300, 200, 1)).string();
    const std::string b = writeBmp(cli.root() / "pics/b.bmp", pattern(300, 200, 2)).string();
    ASSERT_EQ(cli.print({"--quiet", a}).code, 0);
    ASSERT_EQ(cli.print({"--quiet", b}).code, 0);
    const std::string pageA = readBytes(cli.page(1));
    const std::string pageB = readBytes(cli.page(2));
    ASSERT_FALSE(pageA == pageB);

    // Both drive the one printer of this folder: the port is theirs in turn.
    QProcess first;
    QProcess second;
    cli.start(first, {"print", "--quiet", a}, cli.env());
    cli.start(second, {"print", "--quiet", b}, cli.env());
    const Result r1 = Cli::finish(first);
    const Result r2 = Cli::finish(second);
    EXPECT_EQ(r1.code, 0) << r1.err;
    EXPECT_EQ(r2.code, 0) << r2.err;
    ASSERT_EQ(cli.pages(), 4);
    const std::string third = readBytes(cli.page(3));
    const std::string fourth = readBytes(cli.page(4));
    EXPECT_TRUE((third == pageA && fourth == pageB) || (third == pageB && fourth == pageA))
        << "each page is one whole sheet, never a mix";
}

// Appends instructions to the virtual printer's control file, as a tester does.
void control(const PrintCli& cli, const std::string& instruction) {
    fs::create_directories(cli.out());
    std::ofstream(cli.out() / "control", std::ios::app) << instruction << "\n";
}

TEST(CliPrint, PaperAndFaultsFromTheControlFile) {
    PrintCli cli;
    writeSettings(cli.home());
    const std::string picture = writeBmp(cli.root() / "pics/p.bmp", pattern(300, 200)).string();
    const std::string paperQuestion(jobs::msg::kAskNoPaper);

    // The tray runs empty while the paper is fed, or while the printer warms up (then
    // found when the page is fed): the paper question, answered yes until the tester
    // puts paper in; then the page comes out.
    // The warm-up may run for a while before the job shows it (the sheet is made
    // meanwhile): it gets the longer time, so that a slow sanitizer build still catches it.
    const struct {
        const char* variable;
        const char* ms;
        const char* phase;
    } moments[] = {{"KVPR_SIM_PAPER_LOAD_MS", "3000", "Papier"},
                   {"KVPR_SIM_WARMUP_MS", "8000", "Aufwärmen"}};
    int pages = 0;
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.phase);
        QProcess process;
        std::vector<std::pair<QString, QString>> env = cli.env();
        env.emplace_back(moment.variable, moment.ms);
        cli.start(process, {"--yes", "print", picture}, env);
        std::string err;
        ASSERT_TRUE(waitForText(process, err, moment.phase)) << err;
        control(cli, "paper out");
        ASSERT_TRUE(waitForText(process, err, paperQuestion)) << err;
        control(cli, "paper in");
        const Result r = Cli::finish(process);
        err += r.err;
        EXPECT_EQ(r.code, 0) << err;
        EXPECT_EQ(cli.pages(), ++pages);
    }

    // A fault in the middle of the transfer: the page is lost and the run says so.
    {
        QProcess process;
        cli.start(process, {"--yes", "print", picture}, cli.env(true));
        std::string err;
        ASSERT_TRUE(waitForText(process, err, "Übertragung")) << err;
        control(cli, "fault");
        const Result r = Cli::finish(process);
        err += r.err;
        EXPECT_EQ(r.code, 1) << err;
        EXPECT_EQ(err.find("Übertragung 100 %"), std::string::npos) << err;
        EXPECT_EQ(cli.pages(), 2);
    }
    // Every run starts with a printer of its own, without the fault.
    EXPECT_EQ(cli.print({"--quiet", picture}).code, 0);
    EXPECT_EQ(cli.pages(), 3);
}

TEST(CliPrint, UsageErrors) {
    PrintCli cli;
    const std::string bmp = (cli.root() / "x.bmp").string();
    const struct {
        std::vector<std::string> args;
        std::string err; // the first line
    } cases[] = {
        {{"print"}, "kvphoto-cli: 1 in 1 takes exactly one FILE"},
        {{"print", bmp, bmp}, "kvphoto-cli: 1 in 1 takes exactly one FILE"},
        {{"print", "--layout", "2", bmp}, "kvphoto-cli: --layout takes 1, 4 or 16"},
        {{"print", "--layout", "16", bmp},
         "kvphoto-cli: 16 in 1 takes no FILE; its pictures come "
         "from --album"},
        {{"print", "--album", "A", bmp}, "kvphoto-cli: --album goes with --layout 16"},
        {{"print", "--batch", "A", bmp},
         "kvphoto-cli: --batch takes no FILE, --layout, --album "
         "or --picture"},
        {{"print", "--batch", "A", "--picture", "0"},
         "kvphoto-cli: --batch takes no FILE, "
         "--layout, --album or --picture"},
        {{"print", "--picture", "0"}, "kvphoto-cli: --picture goes with --album"},
        {{"print", "--album", "A", "--picture", "0", bmp},
         "kvphoto-cli: --picture takes no FILE and no --layout"},
        {{"print", "--album", "A", "--picture", "eins"},
         "kvphoto-cli: eins is not a number (decimal or 0x hex)"},
        {{"print", "--batch"}, "kvphoto-cli: --batch needs a value"},
        {{"print", "--bunt", bmp}, "kvphoto-cli: unknown option: --bunt"},
    };
    for (const auto& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        const Result r = cli.run(c.args, cli.env());
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(cli.pages(), 0);
}

} // namespace
} // namespace kv::cli
