// A camera raw sent to the real server: a DNG, typed by the client as TIFF or left
// for the server to type, prints the sheet kvphoto-cli prints of the same file; a
// raw of a format of its own is refused when it is submitted.
#include "cli/sheet_settings.h"
#include "print_server.h"
#include "support/dng_file.h"

#include <gtest/gtest.h>

#include <string>

namespace kv::print_server {
namespace {

TEST(RawDocuments, ADngPrintsAsKvphotoCliPrintsIt) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    cli::writeSettings(server.home());
    const fs::path dng = server.root() / "kamera.dng";
    test::writeBytes(dng, test::dng::dngFile({.orientation = 6}));

    const fs::path cliOut = server.root() / "cli-out";
    QProcess cli;
    cli.setProcessEnvironment(
        server.environment({{"KVPR_SIM_OUT", QString::fromStdString(cliOut.string())}}));
    cli.start(KV_CLI, {"--yes", "print", "--quiet", QString::fromStdString(dng.string())});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const std::string expected = test::readBytes(cliOut / "page-0001.levels");
    ASSERT_FALSE(expected.empty());

    int pages = 0;
    for (const char* format : {"image/tiff", "application/octet-stream"}) {
        SCOPED_TRACE(format);
        const int id = server.submit(dng, format);
        ASSERT_NE(id, 0) << server.lastSubmit();
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
        ASSERT_EQ(server.pages(), ++pages);
        EXPECT_TRUE(test::readBytes(server.page(pages)) == expected);
    }

    const fs::path raf = server.root() / "kamera.raf";
    test::writeBytes(raf, "FUJIFILMCCD-RAW 0201FF383501" + std::string(200, '\0'));
    EXPECT_EQ(server.submit(raf, "application/octet-stream"), 0);
    EXPECT_NE(server.lastSubmit().find("client-error-document-format-not-supported"),
              std::string::npos)
        << server.lastSubmit();
    EXPECT_EQ(server.pages(), pages);
}

} // namespace
} // namespace kv::print_server
