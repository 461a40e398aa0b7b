// kvphoto-cli render --proof never replaces what is not a file of its own; its
// proof itself is checked against the window's in the proof view test.

#include "cli_runner.h"
#include "platform/imagelib/image_library.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace kv::cli {
namespace {

namespace fs = std::filesystem;

TEST(CliRenderProof, AProofThatCannotBeWrittenIsToldAndNothingIsReplaced) {
    Cli cli;
    const fs::path picture = cli.root() / "white.bmp";
    platform::Bitmap24 white = platform::Bitmap24::make(64, 48);
    std::fill(white.pixels.begin(), white.pixels.end(), std::uint8_t{255});
    ASSERT_TRUE(platform::imagelib::WriteBmpFile(picture, white));
    ASSERT_EQ(::mkfifo((cli.root() / "pipe").c_str(), 0600), 0);
    fs::create_directory(cli.root() / "folder.png");
    for (const fs::path& target :
         {cli.root() / "pipe", cli.root() / "folder.png", cli.root() / "missing" / "p.png"}) {
        SCOPED_TRACE(target.string());
        const Result r = cli.run({"render", picture.string(), "--proof", target.string()});
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "kvphoto-cli: the proof could not be written: " + target.string() + "\n");
    }
    EXPECT_TRUE(fs::is_fifo(cli.root() / "pipe"));
    EXPECT_TRUE(fs::is_directory(cli.root() / "folder.png"));
    EXPECT_FALSE(fs::exists(cli.root() / "missing"));
}

} // namespace
} // namespace kv::cli
