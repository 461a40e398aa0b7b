// kvphoto-printer-app as a real IPP server on the virtual printer, asked with
// ipptool: its pages against kvphoto-cli's, paper out, cancel, broken documents
// and a port kept by another program.

#include "cli/sheet_settings.h"
#include "imagelib/picture_bytes.h"
#include "print_server.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kv::print_server {
namespace {

using test::readBytes;
using test::writeBytes;

// A picture with something different in every pixel and channel.
QImage pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 3 + y) & 0xFF, (y / 2 + x / 5) & 0xFF, (x ^ y) & 0xFF));
    return image;
}

std::string encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes.toStdString();
}

fs::path writeFile(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    writeBytes(file, bytes);
    return file;
}

std::uint32_t crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= std::uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid PNG whose header (with a right checksum) claims width x height.
std::string pngClaiming(std::string png, std::uint32_t width, std::uint32_t height) {
    const auto putBe = [&png](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            png[at + std::size_t(i)] = char((v >> (24 - 8 * i)) & 0xFF);
    };
    putBe(16, width);
    putBe(20, height);
    putBe(29, crc32(png.substr(12, 17)));
    return png;
}

// Runs kvphoto-cli print in the server's environment with `env` on top.
void startCli(QProcess& cli, const PrintServer& server, const fs::path& picture, const Env& env) {
    cli.setProcessEnvironment(server.environment(env));
    cli.start(KV_CLI, {"print", QString::fromStdString(picture.string())});
}

int finishCli(QProcess& cli) {
    if (!cli.waitForFinished(60000) || cli.exitStatus() != QProcess::NormalExit)
        return -1;
    return cli.exitCode();
}

TEST(PrintServer, JpegPrintsAsTheWindowPrintsIt) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    cli::writeSettings(server.home());
    const fs::path jpeg =
        writeFile(server.root() / "pics/bild.jpg", encoded(pattern(640, 480), "JPG"));

    const int id = server.submit(jpeg, "image/jpeg");
    ASSERT_NE(id, 0);
    const Attributes done = server.finish(id);
    EXPECT_TRUE(inState(done, "completed"))
        << at(done, "job-state") << ": " << at(done, "job-state-message");
    EXPECT_EQ(at(done, "job-impressions-completed"), "1");
    ASSERT_EQ(server.pages(), 1);

    // The program's own print of the same file (the window's job engine, as
    // kvphoto-cli runs it) gives the same sheet, level for level.
    const fs::path cliOut = server.root() / "cli-out";
    QProcess cli;
    startCli(cli, server, jpeg, {{"KVPR_SIM_OUT", QString::fromStdString(cliOut.string())}});
    ASSERT_EQ(finishCli(cli), 0) << cli.readAllStandardError().toStdString();
    const std::string page = readBytes(server.page(1));
    EXPECT_FALSE(page.empty());
    EXPECT_TRUE(page == readBytes(cliOut / "page-0001.levels"));

    // copies=2: two more sheets, each the same.
    const int twice = server.submit(jpeg, "image/jpeg", "ATTR integer copies 2");
    ASSERT_NE(twice, 0);
    const Attributes copies = server.finish(twice);
    EXPECT_TRUE(inState(copies, "completed")) << at(copies, "job-state-message");
    EXPECT_EQ(at(copies, "job-impressions-completed"), "2");
    ASSERT_EQ(server.pages(), 3);
    EXPECT_TRUE(readBytes(server.page(2)) == page);
    EXPECT_TRUE(readBytes(server.page(3)) == page);
}

TEST(PrintServer, PaperAndFaultsAreWaitedForAndCancelDropsThePage) {
    const std::string jpeg = encoded(pattern(480, 640), "JPG");
    {
        // The printer warms up first (said in the job's state; the long warm-up is read by
        // the job's printer at its first look), then finds the tray empty.
        PrintServer server(Env{{"KVPR_SIM_PAPER_LOAD_MS", "3000"}});
        ASSERT_TRUE(server.running()) << server.log();
        const fs::path picture = writeFile(server.root() / "pics/bild.jpg", jpeg);
        server.control("warmup 60000");
        const int id = server.submit(picture, "image/jpeg");
        ASSERT_NE(id, 0);
        const Attributes warming = server.waitForJob(
            id,
            [](const Attributes& a) {
                return at(a, "job-state-message") == "Drucker ist in der Aufwärmphase...";
            },
            60000);
        EXPECT_EQ(at(warming, "job-state-message"), "Drucker ist in der Aufwärmphase...");
        server.control("warmup 0");
        server.control("paper out");
        EXPECT_TRUE(server.printerUntil(
            [](const Attributes& a) {
                return lists(at(a, "printer-state-reasons"), "media-empty");
            },
            60000));
        Attributes waiting = server.job(id);
        EXPECT_TRUE(inState(waiting, "processing")) << at(waiting, "job-state");
        EXPECT_EQ(at(waiting, "job-state-message"), "Kein Papier im Behälter");
        // It waits rather than gives up or prints.
        QThread::msleep(1500);
        waiting = server.job(id);
        EXPECT_TRUE(inState(waiting, "processing")) << at(waiting, "job-state");
        EXPECT_EQ(server.pages(), 0);

        server.control("paper in");
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
        EXPECT_EQ(server.pages(), 1);
        EXPECT_FALSE(lists(at(server.printer(), "printer-state-reasons"), "media-empty"));
    }
    {
        // A transfer of many seconds: the cancel surely lands inside it.
        PrintServer server(Env{{"KVPR_PORT_TRACE", "/dev/null"}});
        ASSERT_TRUE(server.running()) << server.log();
        const fs::path picture = writeFile(server.root() / "pics/bild.jpg", jpeg);
        const int id = server.submit(picture, "image/jpeg");
        ASSERT_NE(id, 0);
        server.waitForJob(
            id, [](const Attributes& a) { return inState(a, "processing"); }, 60000);
        QThread::msleep(4000);
        ASSERT_TRUE(inState(server.job(id), "processing"));
        ASSERT_TRUE(server.cancel(id));
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "canceled")) << at(done, "job-state");
        // Only once the printer is idle again has the driver let go of the page.
        EXPECT_TRUE(server.printerUntil(
            [](const Attributes& a) { return at(a, "printer-state") == "idle"; }, 60000));
        EXPECT_EQ(server.pages(), 0);
        EXPECT_EQ(at(server.job(id), "job-impressions-completed"), "0");
    }
    {
        // A fault nobody clears: shown as "other" for the bounded wait, then the job is
        // aborted with the reason and the queue goes on.
        // The empty tray, found at the feed, holds the job where a fault can be put in.
        PrintServer server(Env{{"KVPR_SIM_PAPER_LOAD_MS", "3000"}, {"KVPR_SERVER_WAIT_S", "3"}});
        ASSERT_TRUE(server.running()) << server.log();
        const fs::path picture = writeFile(server.root() / "pics/bild.jpg", jpeg);
        const int id = server.submit(picture, "image/jpeg");
        ASSERT_NE(id, 0);
        server.waitForJob(
            id, [](const Attributes& a) { return inState(a, "processing"); }, 60000);
        server.control("paper out");
        ASSERT_TRUE(server.printerUntil(
            [](const Attributes& a) {
                return lists(at(a, "printer-state-reasons"), "media-empty");
            },
            60000));
        server.control("fault\npaper in");
        EXPECT_TRUE(server.printerUntil(
            [](const Attributes& a) { return lists(at(a, "printer-state-reasons"), "other"); },
            60000));
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "aborted")) << at(done, "job-state");
        EXPECT_EQ(at(done, "job-state-message"), "Druckerfehler oder Papierstau.");
        EXPECT_FALSE(lists(at(server.printer(), "printer-state-reasons"), "other"));
        server.control("clear");
        const int next = server.submit(picture, "image/jpeg");
        EXPECT_TRUE(inState(server.finish(next), "completed"));
        EXPECT_EQ(server.pages(), 1);
    }
}

TEST(PrintServer, BadDocumentsAbortOnlyTheirJob) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const std::string jpeg = encoded(pattern(320, 240), "JPG");
    std::string noise(8192, '\0');
    std::mt19937 random(7);
    for (char& c : noise)
        c = char(random() & 0xFF);
    struct Bad {
        const char* name;
        std::string bytes;
        const char* format;
    };
    const std::vector<Bad> documents = {
        {"rauschen.jpg", noise, "image/jpeg"},
        {"kopf.jpg", jpeg.substr(0, 120), "image/jpeg"},
        {"riesig.jpg", test::jpegClaiming(jpeg, 65000, 65000), "image/jpeg"},
        {"riesig.png", pngClaiming(encoded(pattern(8, 8), "PNG"), 100000, 100000), "image/png"},
        {"halb.jpg", jpeg.substr(0, jpeg.size() / 2), "image/jpeg"},
        {"dokument.pdf",
         "%PDF-1.4\n1 0 obj<</Type/Catalog>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n", "image/jpeg"},
    };
    // An empty upload is refused at once; no job comes of it.
    const fs::path empty = writeFile(server.root() / "pics/leer.jpg", "");
    EXPECT_EQ(server.submit(empty, "image/jpeg"), 0);
    EXPECT_NE(server.lastSubmit().find("client-error-bad-request"), std::string::npos)
        << server.lastSubmit();
    for (const Bad& bad : documents) {
        SCOPED_TRACE(bad.name);
        const fs::path file = writeFile(server.root() / "pics" / bad.name, bad.bytes);
        const int id = server.submit(file, bad.format);
        ASSERT_NE(id, 0) << server.lastSubmit();
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "aborted")) << at(done, "job-state");
        EXPECT_FALSE(at(done, "job-state-message").empty());
        EXPECT_NE(at(done, "job-state-message"), "Job pending.");
        EXPECT_TRUE(lists(at(done, "job-state-reasons"), "document-format-error"))
            << at(done, "job-state-reasons");
    }
    EXPECT_EQ(server.pages(), 0);

    // The server goes on: the next job prints.
    const fs::path good = writeFile(server.root() / "pics/gut.jpg", jpeg);
    const int id = server.submit(good, "image/jpeg");
    ASSERT_NE(id, 0) << server.lastSubmit();
    const Attributes done = server.finish(id);
    EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
    EXPECT_EQ(server.pages(), 1);
}

TEST(PrintServer, WaitsForThePortHeldByAnotherProgram) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    cli::writeSettings(server.home());
    const fs::path picture =
        writeFile(server.root() / "pics/bild.jpg", encoded(pattern(640, 480), "JPG"));

    // The terminal print keeps the port through a long sheet feed.
    QProcess cli;
    startCli(cli, server, picture, {{"KVPR_SIM_PAPER_LOAD_MS", "5000"}});
    cli.setReadChannel(QProcess::StandardError);
    std::string progress;
    while (progress.find("Papier") == std::string::npos && cli.waitForReadyRead(15000))
        progress += cli.readAllStandardError().toStdString();
    ASSERT_NE(progress.find("Papier"), std::string::npos) << progress;

    const int id = server.submit(picture, "image/jpeg");
    ASSERT_NE(id, 0);
    const Attributes waiting = server.waitForJob(
        id,
        [](const Attributes& a) {
            return at(a, "job-state-message") ==
                   "Der Drucker wird gerade von einem anderen Programm benutzt.";
        },
        5000);
    EXPECT_TRUE(inState(waiting, "processing")) << at(waiting, "job-state");
    EXPECT_EQ(at(waiting, "job-state-message"),
              "Der Drucker wird gerade von einem anderen Programm benutzt.");
    EXPECT_TRUE(lists(at(server.printer(), "printer-state-reasons"), "other"));
    EXPECT_EQ(server.pages(), 0);

    EXPECT_EQ(finishCli(cli), 0) << cli.readAllStandardError().toStdString();
    const Attributes done = server.finish(id);
    EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
    EXPECT_FALSE(lists(at(server.printer(), "printer-state-reasons"), "other"));
    ASSERT_EQ(server.pages(), 2);
    EXPECT_TRUE(readBytes(server.page(1)) == readBytes(server.page(2)));

    // Two jobs sent at once: the queue prints them one after the other.
    const int first = server.submit(picture, "image/jpeg");
    const int second = server.submit(picture, "image/jpeg");
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    EXPECT_TRUE(inState(server.finish(first), "completed"));
    EXPECT_TRUE(inState(server.finish(second), "completed"));
    ASSERT_EQ(server.pages(), 4);
    EXPECT_TRUE(readBytes(server.page(4)) == readBytes(server.page(1)));
}

} // namespace
} // namespace kv::print_server
