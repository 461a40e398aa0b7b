// A job's proof through the real server: the sheet's print levels turned back into
// colours, served as a PNG on the web interface, equal to kvphoto-cli's proof of the
// same picture; nothing else is served there.
#include "cli/sheet_settings.h"
#include "print_server.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace kv::print_server {
namespace {

struct Reply {
    std::string status; // "HTTP/1.1 200 OK"
    std::string headers;
    std::string body;
};

Reply split(const std::string& reply) {
    Reply r;
    const std::size_t end = reply.find("\r\n\r\n");
    const std::string head = reply.substr(0, end);
    r.status = head.substr(0, head.find("\r\n"));
    r.headers = head;
    if (end != std::string::npos)
        r.body = reply.substr(end + 4);
    return r;
}

TEST(ServerProof, APrintedJobsProofIsServedAsKvphotoCliMakesIt) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    // Every colour stage on, edge enhancement included.
    cli::writeSettings(server.home());
    const fs::path picture = server.picture("proof.jpg", 40);

    QProcess cli;
    cli.setProcessEnvironment(server.environment());
    const fs::path cliProof = server.root() / "cli-proof.png";
    cli.start(KV_CLI, {"render", QString::fromStdString(picture.string()), "--proof",
                       QString::fromStdString(cliProof.string())});
    ASSERT_TRUE(cli.waitForFinished(60000));
    ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const std::string expected = test::readBytes(cliProof);
    ASSERT_EQ(expected.substr(1, 3), "PNG");

    const int id = server.submit(picture, "image/jpeg");
    ASSERT_NE(id, 0) << server.lastSubmit();
    const Attributes done = server.finish(id);
    ASSERT_TRUE(inState(done, "completed")) << at(done, "job-state-message");

    const std::string path = "/kvproof?job=" + std::to_string(id);
    const Reply reply = split(server.webWhole(path));
    EXPECT_EQ(reply.status, "HTTP/1.1 200 OK");
    EXPECT_NE(reply.headers.find("Content-Type: image/png"), std::string::npos) << reply.headers;
    // Both written by the one PNG writer: the same pixels are the same bytes.
    EXPECT_TRUE(reply.body == expected);

    // Kept for the server's user alone, and linked from the printer's jobs page.
    struct stat info {};
    ASSERT_EQ(::stat((server.root() / "spool" / ("kvproof-" + std::to_string(id) + ".png")).c_str(),
                     &info),
              0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_NE(server.webWhole("/Kelvor_Photo_Printer/jobs").find("href=\"" + path + "\""),
              std::string::npos);

    // Only a job the server has, named by its number alone.
    for (const std::string& bad :
         {std::string("/kvproof"), std::string("/kvproof?job=") + std::to_string(id + 1),
          std::string("/kvproof?job=0"), std::string("/kvproof?job=-") + std::to_string(id),
          std::string("/kvproof?job=") + std::to_string(id) + "x",
          std::string("/kvproof?job=%20") + std::to_string(id), std::string("/kvproof?job="),
          std::string("/kvproof?job=99999999999999999999"), std::string("/kvproof?job=../../state"),
          std::string("/kvproof?id=") + std::to_string(id)}) {
        SCOPED_TRACE(bad);
        const Reply r = split(server.webWhole(bad));
        EXPECT_EQ(r.status, "HTTP/1.1 404 Not Found");
        EXPECT_EQ(r.body.find("\x89PNG"), std::string::npos);
    }
}

} // namespace
} // namespace kv::print_server
