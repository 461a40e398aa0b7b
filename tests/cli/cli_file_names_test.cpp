// Names the command line cannot take as they are: a save target that names a
// folder, paths with tabs in "album show" (the intake refuses line breaks), and a
// program directory where the album list cannot be made.

#include "cli_runner.h"
#include "shell/shell_messages.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

const fs::path kData = KV_IMAGELIB_DATA;

TEST(CliFileNames, SaveTargetNamingAFolderIsRefused) {
    Cli cli;
    const fs::path work = cli.root() / "work";
    fs::create_directories(work / "dir");
    ASSERT_EQ(cli.run({"picture", "add", "My_Album", (kData / "rgb24.bmp").string()}).code, 0);
    for (const char* target : {".", "..", "dir/.", "dir/..", "dir/"}) {
        SCOPED_TRACE(target);
        const Result r = cli.run({"--yes", "picture", "save", "My_Album", "0", target}, {}, work);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
                  std::string("kvphoto-cli: the target names a folder, not a file: ") + target);
    }
    EXPECT_TRUE(fs::is_empty(work / "dir"));
    EXPECT_EQ(std::distance(fs::directory_iterator(work), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(cli.root() / "..bmp"));
    // A plain name still saves.
    EXPECT_EQ(cli.run({"picture", "save", "My_Album", "0", "dir/bild"}, {}, work).code, 0);
    EXPECT_TRUE(fs::is_regular_file(work / "dir" / "bild.bmp"));
}

TEST(CliFileNames, AlbumShowKeepsOneLineOfFiveFieldsPerPicture) {
    Cli cli;
    const struct {
        const char* folder;
        const char* shownFolder;
    } cases[] = {
        {"plain", "plain"},
        {"mit\ttab", "mit\\ttab"},
        {"back\\slash", "back\\\\slash"},
    };
    std::string expected;
    int index = 0;
    for (const auto& c : cases) {
        const fs::path folder = cli.root() / c.folder;
        fs::create_directories(folder);
        fs::copy_file(kData / "rgb24.bmp", folder / "bild.bmp");
        ASSERT_EQ(cli.run({"picture", "add", "My_Album", (folder / "bild.bmp").string()}).code, 0)
            << c.folder;
        expected += std::to_string(index++) + "\t0\t";
        expected += "|" + (cli.root() / c.shownFolder / "bild.bmp").string() + "\n";
    }
    const Result r = cli.run({"album", "show", "My_Album"});
    ASSERT_EQ(r.code, 0) << r.err;
    // The thumbnail's size and the display name are the intake's; the rest is ours.
    std::string seen;
    std::size_t start = 0;
    for (std::size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string row = r.out.substr(start, end - start);
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const std::size_t tab = row.find('\t', from);
            fields.push_back(row.substr(from, tab - from));
            if (tab == std::string::npos)
                break;
            from = tab + 1;
        }
        ASSERT_EQ(fields.size(), 5u) << row;
        seen += fields[0] + "\t" + fields[1] + "\t|" + fields[3] + "\n";
    }
    EXPECT_EQ(seen, expected);
}

TEST(CliFileNames, UnusableProgramDirectoryIsToldInTheWindowsWords) {
    Cli cli;
    fs::create_directories(cli.home().parent_path());
    test::writeBytes(cli.home(), "a file where the program directory belongs");
    const Result r = cli.run({"album", "list"});
    EXPECT_EQ(r.code, 1);
    const std::string told = std::string(shell::kMsgAlbumListUnusable) +
                             (cli.home() / "album.dat").string() +
                             std::string(shell::kMsgAlbumListUnusableTail) + "\n";
    EXPECT_NE(r.err.find(told), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("cannot read"), std::string::npos) << r.err;
}

} // namespace
} // namespace kv::cli
