// Jobs of kvphoto-printer-app through printer trouble, stops and crashes, asked with
// ipptool: a sheet that meets an empty tray or a fault at any step prints again once the
// printer is ready; SIGTERM stops the server at once and keeps the job; a job cut off by a
// crash prints at the next start; the queue prints in the order of submission.

#include "print_server.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

namespace kv::print_server {
namespace {

using test::writeBytes;

constexpr const char* kWarmingUp = "Drucker ist in der Aufwärmphase...";
constexpr const char* kPrinting = "Das Blatt wird gedruckt...";
constexpr const char* kFault = "Druckerfehler oder Papierstau.";

std::string jpeg(int shade) {
    QImage image(480, 640, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x + shade) & 0xFF, (y / 3 + shade) & 0xFF, shade & 0xFF));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes.toStdString();
}

// A PWG raster document of `pages` pages of one colour each, 480 x 640 at 160 dpi (the
// sheet), 8-bit sRGB, written by hand.
std::string pwgRaster(int pages) {
    constexpr std::uint32_t kWidth = 480;
    constexpr std::uint32_t kHeight = 640;
    const auto put = [](std::string& header, std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            header[at + std::size_t(i)] = char((value >> (24 - 8 * i)) & 0xFF);
    };
    std::string raster = "RaS2";
    for (int page = 0; page < pages; ++page) {
        std::string header(1796, '\0');
        header.replace(0, 9, "PwgRaster");
        put(header, 276, 160); // HWResolution
        put(header, 280, 160);
        put(header, 352, 216); // PageSize in points
        put(header, 356, 288);
        put(header, 372, kWidth);
        put(header, 376, kHeight);
        put(header, 384, 8);                    // cupsBitsPerColor
        put(header, 388, 24);                   // cupsBitsPerPixel
        put(header, 392, kWidth * 3);           // cupsBytesPerLine
        put(header, 400, 19);                   // sRGB
        put(header, 420, 3);                    // cupsNumColors
        put(header, 452, std::uint32_t(pages)); // TotalPageCount
        raster += header;
        // Each line once (repeat byte 0), in runs of 128 pixels of one colour.
        const char colour[3] = {char(40 + page * 80), char(120), char(200 - page * 80)};
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            raster += '\0';
            for (std::uint32_t x = 0; x < kWidth; x += 128) {
                raster += char(std::min<std::uint32_t>(128, kWidth - x) - 1);
                raster.append(colour, 3);
            }
        }
    }
    return raster;
}

fs::path picture(const PrintServer& server, const std::string& name, int shade = 0) {
    const fs::path file = server.root() / "pics" / name;
    fs::create_directories(file.parent_path());
    writeBytes(file, jpeg(shade));
    return file;
}

std::string at(const Attributes& a, const std::string& name) {
    const auto v = a.find(name);
    return v == a.end() ? std::string() : v->second;
}

bool inState(const Attributes& a, const char* state) {
    return at(a, "job-state") == state;
}

bool reasonShown(PrintServer& server, const std::string& reason, int timeoutMs = 60000) {
    return server.printerUntil(
        [&](const Attributes& a) { return lists(at(a, "printer-state-reasons"), reason); },
        timeoutMs);
}

Attributes messageIs(PrintServer& server, int id, const std::string& message) {
    return server.waitForJob(
        id, [&](const Attributes& a) { return at(a, "job-state-message") == message; }, 60000);
}

std::string allJobAttributes(const PrintServer& server, int id);

// When PAPPL started the job, in seconds of the server's run.
int startedAt(const PrintServer& server, int id) {
    static const std::regex shown(R"(time-at-processing \(integer\) = (-?\d+))");
    const std::string attributes = allJobAttributes(server, id);
    std::smatch m;
    return std::regex_search(attributes, m, shown) ? std::stoi(m[1]) : -1;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Every attribute of the job as the server sends it, one a line (ipptool -v); empty when
// the request failed.
std::string allJobAttributes(const PrintServer& server, int id) {
    const fs::path request = server.root() / "all-job-attributes.test";
    writeBytes(request, "{\nOPERATION Get-Job-Attributes\nGROUP operation-attributes-tag\n"
                        "ATTR charset attributes-charset utf-8\n"
                        "ATTR language attributes-natural-language de\n"
                        "ATTR uri printer-uri $uri\nATTR integer job-id " +
                            std::to_string(id) + "\nSTATUS successful-ok\n}\n");
    QProcess ipptool;
    ipptool.setProcessChannelMode(QProcess::MergedChannels);
    ipptool.start("ipptool", {"-tv", "-T", "10", QString::fromStdString(server.uri()),
                              QString::fromStdString(request.string())});
    ipptool.waitForFinished(30000);
    // What ipptool sent comes first, then the test's result, then what came back.
    const std::string output = ipptool.readAll().toStdString();
    const std::size_t result = output.find("[PASS]");
    return result == std::string::npos ? std::string() : output.substr(result);
}

// A page of the server's web interface, as an English browser asks for it (HTTP/1.0: the
// page comes whole, not in chunks).
std::string webPage(const PrintServer& server, const std::string& path) {
    const std::string uri = server.uri();
    const std::size_t colon = uri.rfind(':');
    const auto port = static_cast<quint16>(std::stoi(uri.substr(colon + 1)));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(10000))
        return {};
    socket.write(QByteArray::fromStdString("GET " + path +
                                           " HTTP/1.0\r\nHost: localhost:" + std::to_string(port) +
                                           "\r\nAccept-Language: en\r\nConnection: close\r\n\r\n"));
    std::string reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        reply += socket.readAll().toStdString();
    return reply + socket.readAll().toStdString();
}

TEST(ServerJobs, TroubleAtAnyStepIsWaitedForAndTheSheetPrintsAgain) {
    struct Case {
        const char* name;
        Env env;
        std::string before;  // control lines before the job
        std::string waitFor; // the job's message at which the trouble comes
        std::string trouble;
        std::string reason;
        std::string clear;
    };
    const Env slowTransfer{{"KVPR_PORT_TRACE", "/dev/null"}};
    const std::vector<Case> cases = {
        {"fault at the start", {}, "fault", "", "", "other", "clear"},
        {"fault in the warm-up",
         {},
         "warmup 60000",
         kWarmingUp,
         "fault",
         "other",
         "clear\nwarmup 0"},
        {"paper out in the warm-up",
         {},
         "warmup 4000",
         kWarmingUp,
         "paper out",
         "media-empty",
         "paper in"},
        {"fault in the transfer", slowTransfer, "", kPrinting, "fault", "other", "clear"},
        {"paper out in the transfer", slowTransfer, "", kPrinting, "paper out", "media-empty",
         "paper in"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrintServer server(c.env);
        ASSERT_TRUE(server.running()) << server.log();
        if (!c.before.empty())
            server.control(c.before);
        const int id = server.submit(picture(server, "bild.jpg"), "image/jpeg");
        ASSERT_NE(id, 0) << server.lastSubmit();
        if (!c.waitFor.empty()) {
            ASSERT_EQ(at(messageIs(server, id, c.waitFor), "job-state-message"), c.waitFor);
            server.control(c.trouble);
        }
        ASSERT_TRUE(reasonShown(server, c.reason)) << server.log();
        // It waits, the job printing, its message the printer's trouble.
        QThread::msleep(2500);
        const Attributes waiting = server.job(id);
        EXPECT_TRUE(inState(waiting, "processing")) << at(waiting, "job-state-message");
        EXPECT_EQ(at(waiting, "job-state-message"),
                  c.reason == "media-empty" ? "Kein Papier im Behälter" : kFault);
        EXPECT_TRUE(lists(at(server.printer(), "printer-state-reasons"), c.reason));

        server.control(c.clear);
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
        EXPECT_EQ(at(done, "job-impressions-completed"), "1");
        EXPECT_EQ(server.pages(), 1);
        EXPECT_FALSE(lists(at(server.printer(), "printer-state-reasons"), c.reason));
    }
    {
        // Nobody clears the fault: the job is aborted with it once KVPR_SERVER_WAIT_S passed.
        PrintServer server(Env{{"KVPR_SERVER_WAIT_S", "3"}});
        ASSERT_TRUE(server.running()) << server.log();
        server.control("fault");
        QElapsedTimer clock;
        clock.start();
        const int id = server.submit(picture(server, "bild.jpg"), "image/jpeg");
        ASSERT_NE(id, 0);
        const Attributes done = server.finish(id);
        EXPECT_GE(clock.elapsed(), 3000);
        EXPECT_TRUE(inState(done, "aborted")) << at(done, "job-state");
        EXPECT_EQ(at(done, "job-state-message"), kFault);
        EXPECT_EQ(server.pages(), 0);

        // The job list of the command line names the reason.
        QProcess jobs;
        jobs.setProcessEnvironment(server.environment());
        jobs.start(KV_PRINTER_APP, {"jobs", "-u", QString::fromStdString(server.uri())});
        ASSERT_TRUE(jobs.waitForFinished(30000));
        const std::string listed = jobs.readAllStandardOutput().toStdString();
        EXPECT_NE(listed.find(std::to_string(id) + " aborted"), std::string::npos) << listed;
        EXPECT_NE(listed.find(std::string(" - ") + kFault + "\n"), std::string::npos) << listed;

        // So does the printer's jobs page of the web interface.
        const std::string html = webPage(server, "/Kelvor_Photo_Printer/jobs");
        EXPECT_NE(html.find(std::string("Aborted at")), std::string::npos) << html;
        EXPECT_NE(html.find(std::string(" \xE2\x80\x93 ") + kFault), std::string::npos) << html;
    }
}

TEST(ServerJobs, StopDuringAWaitIsQuickAndTheJobPrintsAtTheNextStart) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    server.control("paper out");
    const int waiting = server.submit(picture(server, "erstes.jpg", 10), "image/jpeg");
    const int queued = server.submit(picture(server, "zweites.jpg", 90), "image/jpeg");
    ASSERT_NE(waiting, 0);
    ASSERT_NE(queued, 0);
    ASSERT_TRUE(reasonShown(server, "media-empty")) << server.log();

    ASSERT_TRUE(server.signalAndWait(SIGTERM, 10000));
    EXPECT_LT(server.stoppedAfterMs(), 2000);

    ASSERT_TRUE(server.restart()) << server.log();
    const Attributes first = server.finish(waiting);
    EXPECT_TRUE(inState(first, "completed")) << at(first, "job-state-message");
    EXPECT_EQ(at(first, "job-impressions-completed"), "1");
    EXPECT_TRUE(inState(server.finish(queued), "completed"));
    EXPECT_EQ(server.pages(), 2);
    EXPECT_LT(startedAt(server, waiting), startedAt(server, queued));

    // A server with nothing to do stops at once too.
    ASSERT_TRUE(server.signalAndWait(SIGTERM, 10000));
    EXPECT_LT(server.stoppedAfterMs(), 2000);
}

TEST(ServerJobs, AJobCutOffByACrashPrintsAgainAtTheNextStart) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    server.control("paper out");
    const int id = server.submit(picture(server, "bild.jpg"), "image/jpeg");
    ASSERT_NE(id, 0);
    ASSERT_TRUE(reasonShown(server, "media-empty"));
    ASSERT_TRUE(server.signalAndWait(SIGKILL, 10000));

    // The tray is still empty after the restart: the job waits again, from its first sheet.
    server.control("paper out");
    ASSERT_TRUE(server.restart()) << server.log();
    ASSERT_TRUE(reasonShown(server, "media-empty")) << server.log();
    const Attributes again = server.job(id);
    EXPECT_TRUE(inState(again, "processing")) << at(again, "job-state");
    const std::string attributes = allJobAttributes(server, id);
    EXPECT_EQ(occurrences(attributes, "job-id (integer)"), 1u) << attributes;
    EXPECT_EQ(occurrences(attributes, "job-name (nameWithoutLanguage)"), 1u) << attributes;

    // A cancel ends it, and the server stops on SIGTERM.
    ASSERT_TRUE(server.cancel(id));
    const Attributes cancelled = server.finish(id, 20000);
    EXPECT_TRUE(inState(cancelled, "canceled")) << at(cancelled, "job-state");
    EXPECT_EQ(at(cancelled, "job-state-message"), "Der Auftrag wurde abgebrochen.");
    ASSERT_TRUE(server.signalAndWait(SIGTERM, 10000));
    EXPECT_LT(server.stoppedAfterMs(), 2000);

    // Cut off again, and its document gone by the next start: aborted with the reason.
    ASSERT_TRUE(server.restart());
    server.control("paper out");
    const int lost = server.submit(picture(server, "bild.jpg"), "image/jpeg");
    ASSERT_TRUE(reasonShown(server, "media-empty"));
    ASSERT_TRUE(server.signalAndWait(SIGKILL, 10000));
    for (const auto& entry : fs::directory_iterator(server.root() / "spool"))
        if (entry.path().extension() == ".jpg")
            fs::remove(entry.path());
    ASSERT_TRUE(server.restart()) << server.log();
    const Attributes aborted = server.finish(lost, 20000);
    EXPECT_TRUE(inState(aborted, "aborted")) << at(aborted, "job-state");
    EXPECT_TRUE(lists(at(aborted, "job-state-reasons"), "aborted-by-system"));
    EXPECT_EQ(at(aborted, "job-state-message"),
              "Der Auftrag wurde beim Neustart abgebrochen: sein Dokument ist nicht mehr "
              "vorhanden.");
    EXPECT_EQ(server.pages(), 0);
}

TEST(ServerJobs, EveryCopyOfARasterPageCounts) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const fs::path document = server.root() / "pics/seiten.pwg";
    fs::create_directories(document.parent_path());
    writeBytes(document, pwgRaster(2));
    // Raster is printed while it streams in: the answer comes when the sheets are out.
    const fs::path request = server.root() / "raster.test";
    writeBytes(request, "{\nOPERATION Print-Job\nGROUP operation-attributes-tag\n"
                        "ATTR charset attributes-charset utf-8\n"
                        "ATTR language attributes-natural-language de\n"
                        "ATTR uri printer-uri $uri\nATTR name requesting-user-name $user\n"
                        "ATTR mimeMediaType document-format image/pwg-raster\n"
                        "GROUP job-attributes-tag\nATTR integer copies 2\nFILE $filename\n"
                        "STATUS successful-ok\n}\n");
    QProcess ipptool;
    ipptool.setProcessChannelMode(QProcess::MergedChannels);
    ipptool.start("ipptool",
                  {"-t", "-T", "300", "-f", QString::fromStdString(document.string()),
                   QString::fromStdString(server.uri()), QString::fromStdString(request.string())});
    ASSERT_TRUE(ipptool.waitForFinished(300000));
    EXPECT_EQ(ipptool.exitCode(), 0) << ipptool.readAll().toStdString();
    const Attributes done = server.finish(1);
    EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
    EXPECT_EQ(at(done, "job-impressions-completed"), "4");
    EXPECT_EQ(server.pages(), 4);
}

TEST(ServerJobs, QueuedJobsPrintInTheOrderTheyCame) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    // The first job waits for paper while the others come.
    server.control("paper out");
    std::vector<int> ids;
    for (int i = 0; i < 5; ++i) {
        ids.push_back(server.submit(picture(server, "bild" + std::to_string(i) + ".jpg", i * 40),
                                    "image/jpeg"));
        ASSERT_NE(ids.back(), 0) << server.lastSubmit();
        if (i == 0) {
            ASSERT_TRUE(reasonShown(server, "media-empty"));
        }
    }
    for (std::size_t i = 1; i < ids.size(); ++i)
        EXPECT_TRUE(inState(server.job(ids[i]), "pending")) << i;
    server.control("paper in");
    for (const int id : ids) {
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "completed")) << id;
        // Fresh installs have no colour-matching table: each job says so.
        EXPECT_EQ(at(done, "job-state-message"), "Gedruckt ohne Farbzuordnungstabelle.");
    }
    // Each sheet takes seconds: every job started in a later second than the one before.
    for (std::size_t i = 1; i < ids.size(); ++i)
        EXPECT_LT(startedAt(server, ids[i - 1]), startedAt(server, ids[i])) << i;
    EXPECT_EQ(server.pages(), 5);
}

} // namespace
} // namespace kv::print_server
