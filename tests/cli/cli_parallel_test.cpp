// Two kvphoto-cli at once on one program directory: neither loses the other's work.

#include "albums/album_files.h"
#include "cli_runner.h"
#include "support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;
using test::readBytes;

const fs::path kData = KV_IMAGELIB_DATA;

// Runs both command lines at the same time and waits for both.
std::array<Result, 2> together(Cli& cli, const std::vector<std::string>& a,
                               const std::vector<std::string>& b) {
    QProcess first;
    QProcess second;
    cli.start(first, a);
    cli.start(second, b);
    return {Cli::finish(first), Cli::finish(second)};
}

// Each row's record bytes by picture path, checked to be in step with the names.
std::vector<std::pair<std::string, std::string>> records(const fs::path& home,
                                                         const std::string& album) {
    const std::string names = readBytes(home / (album + ".dat"));
    const std::string data = readBytes(home / (album + ".dat1"));
    const albums::AlbumFiles files = albums::pairAlbumFiles(names, data);
    EXPECT_FALSE(files.damaged);
    std::vector<std::pair<std::string, std::string>> rows;
    for (const albums::AlbumEntry& e : files.entries) {
        std::string record;
        albums::appendRecord(record, e.record);
        rows.emplace_back(e.name.fullPath, record);
    }
    return rows;
}

// The order within a round is the order in which the two got the lock.
std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(CliParallel, AlbumsAddedAtOnceAreAllKept) {
    Cli cli;
    ASSERT_EQ(cli.run({"album", "list"}).code, 0); // the first start makes album.dat
    std::string expected = "My_Album\n";
    for (int round = 0; round < 10; ++round) {
        const std::string a = "A" + std::to_string(round);
        const std::string b = "B" + std::to_string(round);
        const auto results = together(cli, {"album", "add", a}, {"album", "add", b});
        ASSERT_EQ(results[0], (Result{0, "", ""})) << "round " << round;
        ASSERT_EQ(results[1], (Result{0, "", ""})) << "round " << round;
        expected += a + "\n" + b + "\n";
    }
    const Result list = cli.run({"album", "list"});
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(sortedLines(list.out), sortedLines(expected));
}

TEST(CliParallel, PicturesAddedAtOnceKeepTheirOwnThumbnails) {
    const std::string bmp = (kData / "rgb24.bmp").string();
    const std::string jpeg = (kData / "codecs/quad.jpg").string();

    // The record a lone add makes of each file.
    std::map<std::string, std::string> alone;
    {
        Cli single;
        ASSERT_EQ(single.run({"picture", "add", "My_Album", bmp, jpeg}).code, 0);
        for (const auto& [path, record] : records(single.home(), "My_Album"))
            alone[path] = record;
        ASSERT_EQ(alone.size(), 2u);
        ASSERT_NE(alone[bmp], alone[jpeg]);
    }

    Cli cli;
    ASSERT_EQ(cli.run({"album", "list"}).code, 0);
    for (int round = 0; round < 10; ++round) {
        const auto results = together(cli, {"picture", "add", "My_Album", bmp},
                                      {"picture", "add", "My_Album", jpeg});
        ASSERT_EQ(results[0], (Result{0, "", ""})) << "round " << round;
        ASSERT_EQ(results[1], (Result{0, "", ""})) << "round " << round;
    }
    const auto rows = records(cli.home(), "My_Album");
    ASSERT_EQ(rows.size(), 20u);
    int bmps = 0;
    for (const auto& [path, record] : rows) {
        ASSERT_TRUE(alone.count(path)) << path;
        EXPECT_EQ(record, alone[path]) << path;
        bmps += path == bmp;
    }
    EXPECT_EQ(bmps, 10);
}

} // namespace
} // namespace kv::cli
