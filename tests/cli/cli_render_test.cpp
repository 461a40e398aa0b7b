// kvphoto-cli render: the built tool makes the BMX file of a sheet, and what the
// virtual printer re-assembles from its lines are the levels a job computes.

#include "adjust/picture_adjust_settings.h"
#include "cli_runner.h"
#include "media/media_service.h"
#include "platform/clock.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "printer/command_block.h"
#include "printer/led_table.h"
#include "printer/port_protocol.h"
#include "printer/sim_port.h"
#include "printer/virtual_printer.h"
#include "render/layout_messages.h"
#include "render/print_preparation.h"
#include "sheet_settings.h"
#include "support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

const fs::path kData = KV_IMAGELIB_DATA;
constexpr std::size_t kBmxBytes = 7074496;
constexpr std::size_t kBmxLine = 9152;
constexpr std::size_t kDirectLine = 9664;

// A 24-bit picture with something different in every pixel and channel.
fs::path patternBmp(const fs::path& file, int width, int height) {
    platform::Bitmap24 b = platform::Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.at(x, y);
            p[0] = std::uint8_t(x * 3 + y);
            p[1] = std::uint8_t(y / 2);
            p[2] = std::uint8_t(x ^ y);
        }
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(platform::imagelib::WriteBmpFile(file, b));
    return file;
}

TEST(CliRender, EveryLayoutOfALandscapeAndAnUprightPicture) {
    Cli cli;
    const std::string wide = (kData / "codecs/quad.jpg").string(); // 32 x 16
    const std::string tall = patternBmp(cli.root() / "pics/hoch.bmp", 300, 500).string();
    ASSERT_EQ(cli.run({"picture", "add", "My_Album", wide}).code, 0);
    ASSERT_EQ(cli.run({"album", "add", "Hoch"}).code, 0);
    ASSERT_EQ(cli.run({"picture", "add", "Hoch", tall}).code, 0);

    std::set<std::string> sheets;
    for (const auto& [picture, album] : {std::pair{wide, "My_Album"}, std::pair{tall, "Hoch"}}) {
        const std::vector<std::vector<std::string>> layouts = {
            {picture},
            {"--layout", "4", picture},
            {"--layout=16", "--album", album},
        };
        for (std::vector<std::string> args : layouts) {
            SCOPED_TRACE(args[0] + " " + picture);
            const fs::path out = cli.root() / "sheet.bmx";
            args.insert(args.begin(), "render");
            args.insert(args.end(), {"--bmx", out.string()});
            const Result r = cli.run(args);
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(r.err, "");
            const std::string bmx = readBytes(out);
            EXPECT_EQ(bmx.size(), kBmxBytes);
            sheets.insert(bmx);
            fs::remove(out);
        }
        // One FILE fills the four quarters as the same FILE given four times does.
        const fs::path one = cli.root() / "one.bmx";
        const fs::path four = cli.root() / "four.bmx";
        ASSERT_EQ(cli.run({"render", "--layout", "4", picture, "--bmx", one.string()}).code, 0);
        ASSERT_EQ(cli.run({"render", "--layout", "4", picture, picture, picture, picture, "--bmx",
                           four.string()})
                      .code,
                  0);
        EXPECT_TRUE(readBytes(one) == readBytes(four));
    }
    EXPECT_EQ(sheets.size(), 6u) << "each layout and picture gives its own sheet";
    // The sheet files went with the run; the program's kvtemp/ was never made.
    EXPECT_TRUE(fs::is_empty(cli.driveC()));
}

TEST(CliRender, FailuresTellAndLeaveTheOutputAlone) {
    Cli cli;
    const fs::path out = cli.root() / "keep.bmx";
    writeBytes(out, "old");
    const std::string bmp = (kData / "rgb24.bmp").string();
    const std::string gone = (cli.root() / "gone.jpg").string();
    const std::string o = out.string();

    const struct {
        std::vector<std::string> args;
        int code;
        std::string err; // the whole text for code 1, its first line for code 2
    } cases[] = {
        {{"render", gone, "--bmx", o}, 1, std::string(render::kMsgSheetCannotOpen) + "\n"},
        {{"render", "--layout", "4", bmp, gone, "--bmx", o},
         1,
         std::string(render::kMsgNoPhotoForFourUp) + "\n"},
        {{"render", "--layout", "16", "--album", "Nirgends", "--bmx", o},
         1,
         "kvphoto-cli: no album named Nirgends\n"},
        {{"render", bmp}, 2, "kvphoto-cli: --bmx OUT or --proof OUT.png is required\n"},
        {{"render", bmp, "--bmx"}, 2, "kvphoto-cli: --bmx needs a value\n"},
        {{"render", "--layout", "2", bmp, "--bmx", o},
         2,
         "kvphoto-cli: --layout takes 1, 4 or 16\n"},
        {{"render", bmp, bmp, "--bmx", o}, 2, "kvphoto-cli: 1 in 1 takes exactly one FILE\n"},
        {{"render", "--layout", "16", bmp, "--bmx", o},
         2,
         "kvphoto-cli: 16 in 1 takes no FILE; its pictures come from --album\n"},
    };
    for (const auto& c : cases) {
        std::string name;
        for (const std::string& a : c.args)
            name += a + " ";
        SCOPED_TRACE(name);
        const Result r = cli.run(c.args);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(c.code == 1 ? r.err : r.err.substr(0, c.err.size()), c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(readBytes(out), "old");
    }
    EXPECT_TRUE(fs::is_empty(cli.driveC()));

    // A target that is no regular file is refused and left as it is.
    ASSERT_EQ(::mkfifo((cli.root() / "pipe").c_str(), 0600), 0);
    fs::create_directory(cli.root() / "folder.bmx");
    for (const char* name : {"pipe", "folder.bmx"}) {
        SCOPED_TRACE(name);
        const Result r = cli.run({"render", bmp, "--bmx", (cli.root() / name).string()});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, std::string(render::kMsgBmxNotWritten) + "\n");
    }
    EXPECT_TRUE(fs::is_fifo(cli.root() / "pipe"));
    EXPECT_TRUE(fs::is_directory(cli.root() / "folder.bmx"));
}

TEST(CliRender, VirtualPrinterReassemblesTheLevelsOfTheJob) {
    Cli cli;
    writeSettings(cli.home());
    const fs::path picture = patternBmp(cli.root() / "pics/hoch.bmp", 300, 500);
    const fs::path out = cli.root() / "sheet.bmx";
    const Result r = cli.run({"render", picture.string(), "--bmx", out.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string bmx = readBytes(out);
    ASSERT_EQ(bmx.size(), kBmxBytes);

    // The same sheet file (the picture fits, so it is printed from its own file)
    // through the job's steps in process, with what the program directory holds.
    platform::RecordingUi ui;
    const adjust::PictureAdjustSettings settings = adjust::loadPictureAdjustSettings(cli.home());
    ASSERT_FALSE(settings.matchPath.empty());
    media::MediaState media;
    printer::LedTable leds;
    media::loadMediaAtStart(cli.home(), media, leds, ui);
    const render::PrintInputs inputs{settings, true, media.calibration, media.gamma, cli.home()};
    auto images = std::make_unique<render::JobImages>();
    ASSERT_TRUE(render::preparePrintLevels(picture, inputs, *images, ui));
    EXPECT_TRUE(ui.prompts().empty());

    // The file's lines, padded to the direct length, and one white line more.
    platform::FakeClock clock;
    printer::VirtualPrinter vp(clock, cli.root() / "vp");
    printer::SimPort port(vp);
    printer::setSettleScale(0);
    printer::CommandBlock block;
    const auto send = [&](std::uint8_t main, std::uint8_t sub, std::string_view data) {
        block.set(printer::CommandBlock::Write, std::uint16_t(data.size()), main, sub);
        std::copy(data.begin(), data.end(), block.data());
        return printer::commandSet(port, block.raw()) == 0;
    };
    ASSERT_TRUE(send(0x08, 0x00, {}));
    const std::string pad(kDirectLine - kBmxLine, '\xff');
    for (std::size_t a = 0; a < kBmxBytes / kBmxLine; ++a)
        ASSERT_TRUE(send(0x00, 0x01, bmx.substr(a * kBmxLine, kBmxLine) + pad)) << a;
    ASSERT_TRUE(send(0x00, 0x01, std::string(kDirectLine, '\xff')));
    ASSERT_TRUE(send(0x02, 0x01, std::string(1, '\0')));
    ASSERT_EQ(vp.pagesWritten(), 1u);

    const printer::PageLevels& page = vp.lastPageLevels();
    int wrong = 0;
    std::set<int> cyanSeen;
    for (int row = 0; row < render::kFrameHeight; ++row)
        for (int column = 0; column < render::kFrameWidth; ++column) {
            const render::Levels& v = images->exposure.at(row, column);
            wrong += !page.agrees(row, column, v[render::kYellow], v[render::kMagenta],
                                  v[render::kCyan]);
            cyanSeen.insert(v[render::kCyan]);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(cyanSeen.size(), 100u) << "a picture, not a blank sheet";
}

} // namespace
} // namespace kv::cli
