// The built kvphoto-cli run in a temporary program directory, on the virtual printer.

#include "albums/album_messages.h"
#include "cli_runner.h"
#include "intake/intake_messages.h"
#include "media/media_messages.h"
#include "printer/printer_messages.h"
#include "shell/shell_messages.h"
#include "support/temp_dir.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

const fs::path kData = KV_IMAGELIB_DATA;

Result done(std::string out = {}, std::string err = {}) {
    return {0, std::move(out), std::move(err)};
}

Result stopped(std::string err) {
    return {1, {}, std::move(err)};
}

std::string line(std::string_view text) {
    return std::string(text) + "\n";
}

std::string crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

std::string le(std::uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

TEST(CliE2e, AlbumLifeCycleWritesTheProgramsFiles) {
    Cli cli;
    // First start: album.dat as the program makes it, the shipped calibration beside it.
    EXPECT_EQ(cli.run({"album", "list"}), done("My_Album\n"));
    EXPECT_EQ(readBytes(cli.home() / "album.dat"), crlf({"1", "My_Album"}));
    EXPECT_EQ(readBytes(cli.home() / "Media.rtb").size(), 720u);

    EXPECT_EQ(cli.run({"album", "add", "Urlaub"}), done());
    EXPECT_EQ(cli.run({"album", "add", "Familie"}), done());
    const std::string three = crlf({"3", "My_Album", "Urlaub", "Familie"});
    EXPECT_EQ(readBytes(cli.home() / "album.dat"), three);
    EXPECT_FALSE(fs::exists(cli.home() / "Urlaub.dat")) << "files come with the first picture";

    const struct {
        std::vector<std::string> args;
        std::string err;
    } refusals[] = {
        {{"album", "add", "urlaub"}, line(albums::msg::kNameExists)},
        {{"album", "add", "Album"}, line(albums::msg::kNameReserved)},
        {{"album", "add", "a/b"}, line(albums::msg::kNameBadCharacter)},
        {{"album", "rename", "My_Album", "Neu"}, line(albums::msg::kCannotRenameDefault)},
        {{"album", "rename", "Urlaub", "FAMILIE"}, line(albums::msg::kNameExists)},
        {{"album", "delete", "My_Album"}, line(albums::msg::kCannotDeleteDefault)},
        {{"album", "delete", "Familie"},
         line(std::string(albums::msg::kAskDeletePrefix) + "Familie" +
              std::string(albums::msg::kAskDeleteSuffix)) +
             "kvphoto-cli: no --yes or --no given: answered No\n"},
        {{"album", "show", "Nirgends"}, "kvphoto-cli: no album named Nirgends\n"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.args[1] + " " + r.args[2]);
        EXPECT_EQ(cli.run(r.args), stopped(r.err));
        EXPECT_EQ(readBytes(cli.home() / "album.dat"), three);
    }

    // A rename takes the album's files along.
    const std::string bmp = (kData / "rgb24.bmp").string();
    EXPECT_EQ(cli.run({"picture", "add", "urlaub", bmp}), done());
    const std::string names = crlf({" 1", bmp, "rgb24.bmp"});
    EXPECT_EQ(readBytes(cli.home() / "Urlaub.dat"), names);
    EXPECT_EQ(cli.run({"album", "rename", "Urlaub", "Reisen"}), done());
    EXPECT_EQ(cli.run({"--no", "album", "delete", "Familie"}),
              stopped(line(std::string(albums::msg::kAskDeletePrefix) + "Familie" +
                           std::string(albums::msg::kAskDeleteSuffix))));
    EXPECT_EQ(cli.run({"--yes", "album", "delete", "Familie"}).code, 0);
    EXPECT_EQ(readBytes(cli.home() / "album.dat"), crlf({"2", "My_Album", "Reisen"}));
    EXPECT_EQ(readBytes(cli.home() / "Reisen.dat"), names);
    EXPECT_TRUE(fs::exists(cli.home() / "Reisen.dat1"));
    EXPECT_FALSE(fs::exists(cli.home() / "Urlaub.dat"));
    EXPECT_EQ(cli.run({"album", "list"}), done("My_Album\nReisen\n"));
}

TEST(CliE2e, PictureAddTakesEveryFormatThroughTheProgramsIntake) {
    Cli cli;
    // 4 x 2, uncompressed true colour from the bottom row up.
    std::string tga = std::string("\0\0\2", 3) + std::string(9, '\0') + le(4, 2) + le(2, 2) +
                      std::string("\x18\0", 2);
    for (int i = 0; i < 8; ++i)
        tga += std::string{char(10 * i), char(20 + i), char(200 - i)};
    fs::create_directories(cli.root() / "pics");
    writeBytes(cli.root() / "pics" / "made.tga", tga);

    const std::vector<std::string> files = {
        (kData / "codecs/quad.jpg").string(),       (kData / "codecs/rgb_none.tif").string(),
        (kData / "codecs/interlaced.gif").string(), (kData / "rgb24.pcx").string(),
        (cli.root() / "pics/made.tga").string(),    (kData / "mono1.bmp").string()};
    // A relative name is kept as the full path a drop would give.
    std::vector<std::string> args = {"picture", "add", "My_Album", "rgb24.bmp"};
    args.insert(args.end(), files.begin(), files.end());
    const Result added = cli.run(args, {}, kData);
    EXPECT_EQ(added.code, 1) << "the 1-bit picture is refused";
    EXPECT_EQ(added.err, line(std::string(intake::msg::kBlackAndWhite) + files[5] +
                              std::string(intake::msg::kCannotOpenSuffix)));

    const std::string bmp = (kData / "rgb24.bmp").string();
    EXPECT_EQ(cli.run({"album", "show", "My_Album"}),
              done("0\t0\t3x2\t" + bmp + "\trgb24.bmp\n" +       //
                   "1\t0\t32x16\t" + files[0] + "\tquad.jpg\n" + //
                   "2\t0\t32x16\t" + files[1] + "\trgb_none.tif\n" + "3\t0\t32x16\t" + files[2] +
                   "\tinterlaced.gif\n" + "4\t0\t3x2\t" + files[3] + "\trgb24.pcx\n" + //
                   "5\t0\t4x2\t" + files[4] + "\tmade.tga\n"));
    EXPECT_EQ(readBytes(cli.home() / "My_Album.dat"),
              crlf({" 6", bmp, "rgb24.bmp", files[0], "quad.jpg", files[1], "rgb_none.tif",
                    files[2], "interlaced.gif", files[3], "rgb24.pcx", files[4], "made.tga"}));

    // Records of width, height, rotation and bottom-up rows: a BMP small enough to be
    // its own thumbnail is stored with its pixel rows as they are; the TGA likewise.
    const std::string data = readBytes(cli.home() / "My_Album.dat1");
    ASSERT_EQ(data.size(), 3 * (12 + 24) + 3 * (12 + 16 * 96u));
    const std::string bmpBytes = readBytes(kData / "rgb24.bmp");
    EXPECT_EQ(data.substr(0, 36), le(3, 4) + le(2, 4) + le(0, 4) + bmpBytes.substr(54, 24));
    std::string tgaRows;
    for (int row = 0; row < 2; ++row)
        tgaRows += tga.substr(18 + 12 * row, 12);
    EXPECT_EQ(data.substr(data.size() - 24), tgaRows);

    // The converted copies went with the run; the program's kvtemp/ was never made.
    EXPECT_TRUE(fs::is_empty(cli.driveC()));
}

TEST(CliE2e, PictureRefusalsStopWithTheProgramsMessage) {
    Cli cli;
    ASSERT_EQ(cli.run({"album", "list"}).code, 0);
    fs::create_directories(cli.root() / "pics");
    // A pipe never delivers a picture: refused at once, never waited on.
    const fs::path pipe = cli.root() / "pics/pipe.bmp";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string bmp = (kData / "rgb24.bmp").string();

    Result r = cli.run({"picture", "add", "My_Album", pipe.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Diese Datei kann nicht geöffnet werden!"), std::string::npos) << r.err;
    r = cli.run({"render", "--bmx", (cli.root() / "out.bmx").string(), pipe.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Diese Datei kann nicht geöffnet werden!"), std::string::npos) << r.err;

    // The album's files cannot be written (a folder stands where the new name
    // file goes): the picture is not stored, and the run says so.
    fs::create_directories(cli.home() / "My_Album.dat.new" / "in-the-way");
    r = cli.run({"picture", "add", "My_Album", bmp});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, line(albums::msg::kNameFileNotSaved));
    fs::remove_all(cli.home() / "My_Album.dat.new");
    EXPECT_EQ(cli.run({"album", "show", "My_Album"}), done());

    // An empty target name would make ".bmp" in the current folder.
    ASSERT_EQ(cli.run({"picture", "add", "My_Album", bmp}).code, 0);
    r = cli.run({"picture", "save", "My_Album", "0", ""}, {}, cli.root());
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("the target file name is empty"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(cli.root() / ".bmp"));
}

TEST(CliE2e, PictureCommandsChangeTheAlbumsAsTheWindowsDo) {
    Cli cli;
    const std::string bmp = (kData / "rgb24.bmp").string();
    const std::string jpg = (kData / "codecs/quad.jpg").string();
    ASSERT_EQ(cli.run({"picture", "add", "My_Album", bmp, jpg}).code, 0);
    ASSERT_EQ(cli.run({"album", "add", "Reisen"}).code, 0);
    const std::string bmpRow = "\t" + bmp + "\trgb24.bmp\n";
    const std::string jpgRow = "\t" + jpg + "\tquad.jpg\n";

    EXPECT_EQ(cli.run({"picture", "rotate", "My_Album", "0x1"}), done());
    EXPECT_EQ(cli.run({"album", "show", "My_Album"}),
              done("0\t0\t3x2" + bmpRow + "1\t1\t16x32" + jpgRow));

    const std::string askCopy = "Wollen Sie die aktuelle Datei in dieses Album kopieren?\n";
    const std::string askMove = "Wollen Sie die aktuelle Datei in dieses Album verschieben?\n";
    const std::string askDelete = line(shell::kAskDeletePhoto);
    const std::string unanswered = "kvphoto-cli: no --yes or --no given: answered No\n";
    const struct {
        std::vector<std::string> args;
        std::string err;
    } refusals[] = {
        {{"picture", "rotate", "My_Album", "2"}, line(albums::msg::kNoPictureToRotate)},
        {{"picture", "copy", "My_Album", "0", "Reisen"}, askCopy + unanswered},
        {{"--yes", "picture", "copy", "My_Album", "0", "My_Album"},
         askCopy + line(albums::msg::kCannotMove)},
        {{"--yes", "picture", "move", "My_Album", "5", "Reisen"},
         askMove + line(albums::msg::kCannotMove)},
        {{"--yes", "picture", "copy", "My_Album", "0", "Nirgends"},
         "kvphoto-cli: no album named Nirgends\n"},
        {{"picture", "delete", "My_Album", "0"}, askDelete + unanswered},
        {{"--yes", "picture", "delete", "My_Album", "2"}, line(shell::kMsgNoPhotoToDelete)},
        {{"picture", "save", "My_Album", "2", "x.bmp"}, line(intake::msg::kNoPhotoToSave)},
    };
    const std::string names = readBytes(cli.home() / "My_Album.dat");
    const std::string data = readBytes(cli.home() / "My_Album.dat1");
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.args[r.args[0] == "--yes" ? 2 : 1]);
        EXPECT_EQ(cli.run(r.args), stopped(r.err));
        EXPECT_EQ(readBytes(cli.home() / "My_Album.dat"), names);
        EXPECT_EQ(readBytes(cli.home() / "My_Album.dat1"), data);
        EXPECT_FALSE(fs::exists(cli.home() / "Reisen.dat"));
    }
    EXPECT_EQ(cli.run({"picture", "rotate", "My_Album", "one"}).code, 2);

    // The copy carries the turned thumbnail along; the move leaves one picture behind.
    EXPECT_EQ(cli.run({"--yes", "picture", "copy", "My_Album", "1", "Reisen"}), done("", askCopy));
    EXPECT_EQ(cli.run({"--yes", "picture", "move", "My_Album", "0", "Reisen"}), done("", askMove));
    EXPECT_EQ(cli.run({"album", "show", "Reisen"}),
              done("0\t1\t16x32" + jpgRow + "1\t0\t3x2" + bmpRow));
    EXPECT_EQ(cli.run({"--yes", "picture", "delete", "My_Album", "0"}), done("", askDelete));
    EXPECT_FALSE(fs::exists(cli.home() / "My_Album.dat"));
    EXPECT_FALSE(fs::exists(cli.home() / "My_Album.dat1"));

    // Save as: a BMP is copied as it is, anything else converted, neither turned.
    const fs::path copy = cli.root() / "copy";
    EXPECT_EQ(cli.run({"picture", "save", "Reisen", "1", copy.string()}), done());
    EXPECT_EQ(readBytes(cli.root() / "copy.bmp"), readBytes(bmp));
    const std::string replace = (cli.root() / "copy.bmp").string() +
                                " existiert bereits.\nSoll die Datei ersetzt werden?\n";
    EXPECT_EQ(cli.run({"picture", "save", "Reisen", "0", copy.string()}),
              stopped(replace + unanswered));
    EXPECT_EQ(cli.run({"--yes", "picture", "save", "Reisen", "0", copy.string() + ".bmp"}),
              done("", replace));
    const std::string converted = readBytes(cli.root() / "copy.bmp");
    ASSERT_GE(converted.size(), 54u + 32 * 16 * 3);
    EXPECT_EQ(converted.substr(0, 2), "BM");
    EXPECT_EQ(converted.substr(18, 8), le(32, 4) + le(16, 4));
    EXPECT_EQ(converted.substr(28, 2), le(24, 2));
}

TEST(CliE2e, MediaCalibrationFromTheShippedFiles) {
    Cli cli;
    EXPECT_EQ(cli.run({"media", "id"}), done("AMMMMMMMMM\n"));

    // The worked curves of the default calibration: red from TDTC 72, Base128 200 and
    // TDBC 317; green and blue from 223/510 and 200/510 alike.
    const Result gamma = cli.run({"media", "gamma"});
    ASSERT_EQ(gamma.code, 0) << gamma.err;
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = gamma.out.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(gamma.out.substr(start, end - start));
    ASSERT_EQ(lines.size(), 257u);
    EXPECT_EQ(lines[0], "0  0  0  0 ");
    EXPECT_EQ(lines[2], "2  25  78  70 ");
    EXPECT_EQ(lines[4], "4  50  156  140 ");
    EXPECT_EQ(lines[32], "32  72  223  200 ");
    EXPECT_EQ(lines[128], "128  200  200  200 ");
    EXPECT_EQ(lines[224], "224  317  510  510 ");
    EXPECT_EQ(lines[240], "240  380  612  612 ");
    EXPECT_EQ(lines[256], "256  444  714  714 ");
    EXPECT_EQ(cli.run({"media", "gamma", "--write"}), done());
    EXPECT_EQ(readBytes(cli.home() / "GammaTable.tbl"), gamma.out);

    // The rank table dialog's buttons: rebuild, save, text report, in that order.
    const std::string shipped = readBytes(cli.home() / "Media.rtb");
    const Result ranks = cli.run({"media", "rank-table", "--txt", "--save", "--sens-rebuild"});
    EXPECT_EQ(ranks.code, 0);
    EXPECT_EQ(ranks.err, line(media::kMsgSensRebuildDone) + line(media::kMsgMediaTxtSaved));
    const std::string firstRows =
        "Rank   SensC SensM SensY    TDTC   TDBC   TDTM   TDBM   TDTY   TDBY\n"
        "A      0.699 0.699 0.699     72    317    223    510    200    510 \n";
    EXPECT_EQ(ranks.out.substr(0, firstRows.size()), firstRows);
    const std::string saved = readBytes(cli.home() / "Media.rtb");
    ASSERT_EQ(saved.size(), 720u);
    float rowA = 0;
    std::memcpy(&rowA, saved.data(), 4);
    EXPECT_NEAR(rowA, 0.699, 0.0005);
    EXPECT_EQ(saved.substr(100, 20), shipped.substr(100, 20)) << "rows 25 to 29 stay";
    EXPECT_EQ(saved.substr(360), shipped.substr(360)) << "densities stay";
    EXPECT_NE(readBytes(cli.home() / "media.txt").find("A      0.699"), std::string::npos);
}

TEST(CliE2e, MediaIdCalibratesTheVirtualPrinter) {
    Cli cli;
    // A PWM value of its own makes the upload visible: TEMPERA.TUR is flat and the
    // shipped sensitivities are 1.0, so every red entry becomes 100.
    EXPECT_EQ(cli.run({"printer", "write", "0x11", "100"}), done());
    EXPECT_EQ(cli.run({"media", "id", "amnmmmmmmm"}), done());
    EXPECT_EQ(cli.run({"printer", "read-stored", "0x21"}), done("100\n"));
    EXPECT_EQ(cli.run({"printer", "read-stored", "0x67"}), done("100\n")); // red, T = 70
    EXPECT_EQ(cli.run({"printer", "read-stored", "0x68"}), done("128\n")); // green, T = 0
    EXPECT_EQ(cli.run({"media", "id"}), done("AMNMMMMMMM\n"));
    const std::string settings = readBytes(cli.home() / "Kvx00.ini");
    EXPECT_NE(settings.find("sensM=N\r\n"), std::string::npos) << settings;
    EXPECT_NE(readBytes(cli.system() / "kvprn.ini").find("IDString=AMNMMMMMMM"), std::string::npos);
    EXPECT_EQ(readBytes(cli.home() / "b10").substr(0, 19), "0  100  128  128 \n1");

    const struct {
        const char* id;
        std::string_view message;
    } invalid[] = {
        {"AMMMMMMMM", media::kMsgMediaIdLength},
        {"BMMMMMMMMM", media::kMsgMediaIdVersion},
        {"AMMMMMMMMZ", media::kMsgMediaIdRange},
    };
    for (const auto& c : invalid) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(cli.run({"media", "id", c.id}), stopped(line(c.message)));
        EXPECT_EQ(readBytes(cli.home() / "Kvx00.ini"), settings);
    }
}

TEST(CliE2e, PrinterReadsBackWhatWasWritten) {
    Cli cli;
    EXPECT_EQ(cli.run({"printer", "find"}), done());
    EXPECT_EQ(readBytes(cli.system() / "kvprn.ini"), "[LPT PORT]\r\nLPT_ADDRESS=888\r\n");
    EXPECT_EQ(cli.run({"printer", "state"}), done("Ready\n"));
    EXPECT_EQ(cli.run({"printer", "write", "0x14", "45"}), done());
    EXPECT_EQ(cli.run({"printer", "read", "0x14"}), done("45\n"));
    EXPECT_EQ(cli.run({"printer", "read-stored", "20"}), done("45\n"));
    EXPECT_EQ(cli.run({"printer", "write", "12", "0x08", "7"}), done());
    EXPECT_EQ(cli.run({"printer", "read", "0x0C", "2"}), done("8 7\n"));
    EXPECT_EQ(cli.run({"printer", "reset"}), done());
    // The printer takes one byte for 0x14: a second goes unacknowledged.
    EXPECT_EQ(cli.run({"printer", "write", "0x14", "1", "2"}),
              stopped(line(printer::kMsgSendFailed)));

    EXPECT_EQ(cli.run({"printer", "write", "0x14", "256"}).code, 2);
    const Result noLibrary =
        cli.run({"printer", "state"}, {{"KVPR_PORT_LIBRARY", "/nonexistent/liblptcore.so"}});
    EXPECT_EQ(noLibrary.code, 1);
    EXPECT_EQ(noLibrary.out, "");
    EXPECT_EQ(noLibrary.err.substr(0, printer::kMsgLibraryNotLoaded.size() + 1),
              line(printer::kMsgLibraryNotLoaded));
}

} // namespace
} // namespace kv::cli
