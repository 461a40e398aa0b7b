// The print server's job hands its calibration to the virtual printer as the other
// front ends do: the page picture is the same proof kvphoto-cli's print leaves.
#include "cli/sheet_settings.h"
#include "print_server.h"
#include "printer/virtual_printer.h"

#include <gtest/gtest.h>

#include <string>

namespace kv::print_server {
namespace {

// The state file's line naming the last page's proof.
std::string proofLine(const fs::path& out) {
    const std::string state = test::readBytes(out / "state");
    const std::size_t at = state.find("proof: ");
    return at == std::string::npos ? std::string() : state.substr(at, state.find('\n', at) - at);
}

TEST(ServerPageProof, PagePictureIsTheSameProofAsKvphotoClis) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    cli::writeSettings(server.home());
    const fs::path picture = server.picture("bild.jpg", 40);

    const int id = server.submit(picture, "image/jpeg");
    ASSERT_NE(id, 0);
    const Attributes done = server.finish(id);
    ASSERT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
    ASSERT_EQ(server.pages(), 1);

    const fs::path cliOut = server.root() / "cli-out";
    QProcess cli;
    cli.setProcessEnvironment(
        server.environment({{"KVPR_SIM_OUT", QString::fromStdString(cliOut.string())}}));
    cli.start(KV_CLI, {"print", QString::fromStdString(picture.string())});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();

    const std::string page = test::readBytes(test::printedPage(server.out(), 1, "png"));
    EXPECT_FALSE(page.empty());
    EXPECT_TRUE(page == test::readBytes(test::printedPage(cliOut, 1, "png")));
    const std::string line = proofLine(server.out());
    EXPECT_EQ(line, proofLine(cliOut));
    EXPECT_NE(line, "proof: " + std::string(printer::VirtualPrinter::kPlainProofName))
        << "the server's job handed no calibration over";
    EXPECT_NE(line, "");
}

} // namespace
} // namespace kv::print_server
