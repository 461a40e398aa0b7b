// Jobs of kvphoto-printer-app through printer trouble, stops and crashes, asked with
// ipptool: a sheet that meets an empty tray or a fault at any step prints again once the
// printer is ready; SIGTERM stops the server at once and keeps the queue, which prints in
// the order of submission; a job cut off by a crash prints at the next start.

#include "print_server.h"

#include <gtest/gtest.h>

namespace kv::print_server {
namespace {

constexpr const char* kWarmingUp = "Drucker ist in der Aufwärmphase...";
constexpr const char* kPrinting = "Das Blatt wird gedruckt...";
constexpr const char* kFault = "Druckerfehler oder Papierstau.";

bool reasonShown(PrintServer& server, const std::string& reason) {
    return server.printerUntil(
        [&](const Attributes& a) { return lists(at(a, "printer-state-reasons"), reason); }, 60000);
}

// Every attribute of the job as the server sends it (ipptool -v), from the test's result on.
std::string allJobAttributes(PrintServer& server, int id) {
    const std::string output =
        server
            .ipptool(PrintServer::request("Get-Job-Attributes") + "ATTR integer job-id " +
                         std::to_string(id) + "\nSTATUS successful-ok\n}\n",
                     {}, {}, 10, "-tv")
            .output;
    const std::size_t result = output.find("[PASS]");
    return result == std::string::npos ? std::string() : output.substr(result);
}

// When PAPPL started the job, in seconds of the server's run.
int startedAt(PrintServer& server, int id) {
    return std::atoi(at(server.job(id), "time-at-processing").c_str());
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(ServerJobs, TroubleAtAnyStepIsWaitedForAndTheSheetPrintsAgain) {
    const Env slowTransfer{{"KVPR_PORT_TRACE", "/dev/null"}};
    const struct {
        const char* name;
        Env env;
        const char* warmup;  // a control line before the job, or ""
        const char* waitFor; // the job's message at which the trouble comes; "": before the job
        std::string trouble; // "fault" or "paper out"
    } cases[] = {
        {"fault at the start", {}, "", "", "fault"},
        {"fault in the warm-up", {}, "warmup 60000", kWarmingUp, "fault"},
        {"paper out in the warm-up", {}, "warmup 4000", kWarmingUp, "paper out"},
        {"fault in the transfer", slowTransfer, "", kPrinting, "fault"},
        {"paper out in the transfer", slowTransfer, "", kPrinting, "paper out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool paperOut = c.trouble == "paper out";
        const std::string reason = paperOut ? "media-empty" : "other";
        PrintServer server(c.env);
        ASSERT_TRUE(server.running()) << server.log();
        if (const std::string before = *c.waitFor ? c.warmup : c.trouble; !before.empty())
            server.control(before);
        const int id = server.submit(server.picture("bild.jpg"), "image/jpeg");
        ASSERT_NE(id, 0) << server.lastSubmit();
        if (*c.waitFor) {
            const Attributes a = server.waitForJob(
                id, [&](const Attributes& a) { return at(a, "job-state-message") == c.waitFor; },
                60000);
            ASSERT_EQ(at(a, "job-state-message"), c.waitFor);
            server.control(c.trouble);
        }
        ASSERT_TRUE(reasonShown(server, reason)) << server.log();
        // It waits, the job printing, its message the printer's trouble.
        QThread::msleep(2500);
        const Attributes waiting = server.job(id);
        EXPECT_TRUE(inState(waiting, "processing")) << at(waiting, "job-state-message");
        EXPECT_EQ(at(waiting, "job-state-message"), paperOut ? "Kein Papier im Behälter" : kFault);
        EXPECT_TRUE(lists(at(server.printer(), "printer-state-reasons"), reason));

        server.control(std::string(paperOut ? "paper in" : "clear") + "\nwarmup 0");
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
        EXPECT_EQ(at(done, "job-impressions-completed"), "1");
        EXPECT_EQ(server.pages(), 1);
        EXPECT_FALSE(lists(at(server.printer(), "printer-state-reasons"), reason));
    }

    // Nobody clears the fault: the job is aborted with it once KVPR_SERVER_WAIT_S passed.
    PrintServer server(Env{{"KVPR_SERVER_WAIT_S", "3"}});
    ASSERT_TRUE(server.running()) << server.log();
    server.control("fault");
    QElapsedTimer clock;
    clock.start();
    const int id = server.submit(server.picture("bild.jpg"), "image/jpeg");
    server.finish(id);
    EXPECT_GE(clock.elapsed(), 3000);
    EXPECT_EQ(server.pages(), 0);
    // The job list of the command line and the web interface's jobs page name the reason.
    QProcess jobs;
    jobs.setProcessEnvironment(server.environment());
    jobs.start(KV_PRINTER_APP, {"jobs", "-u", QString::fromStdString(server.uri())});
    ASSERT_TRUE(jobs.waitForFinished(30000));
    const std::string listed = jobs.readAllStandardOutput().toStdString();
    EXPECT_NE(listed.find(std::to_string(id) + " aborted"), std::string::npos) << listed;
    EXPECT_NE(listed.find(std::string(" - ") + kFault + "\n"), std::string::npos) << listed;
    const std::string html = server.web("/Kelvor_Photo_Printer/jobs");
    EXPECT_NE(html.find("Aborted at"), std::string::npos) << html;
    EXPECT_NE(html.find(std::string(" \xE2\x80\x93 ") + kFault), std::string::npos) << html;
}

TEST(ServerJobs, StopDuringAWaitIsQuickAndTheQueuePrintsInOrderAtTheNextStart) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    // The first job waits for paper while the others come.
    server.control("paper out");
    std::vector<int> ids;
    for (int i = 0; i < 5; ++i) {
        ids.push_back(server.submit(server.picture("bild" + std::to_string(i) + ".jpg", i * 40),
                                    "image/jpeg"));
        ASSERT_NE(ids.back(), 0) << server.lastSubmit();
        if (i == 0) {
            ASSERT_TRUE(reasonShown(server, "media-empty"));
        }
    }
    for (std::size_t i = 1; i < ids.size(); ++i)
        EXPECT_TRUE(inState(server.job(ids[i]), "pending")) << i;
    ASSERT_TRUE(server.signalAndWait(SIGTERM, 10000));
    EXPECT_LT(server.stoppedAfterMs(), 2000);

    ASSERT_TRUE(server.restart()) << server.log();
    for (const int id : ids) {
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, "completed")) << id << at(done, "job-state-message");
        EXPECT_EQ(at(done, "job-impressions-completed"), "1");
        // Fresh installs have no colour-matching table: each job says so.
        EXPECT_EQ(at(done, "job-state-message"), "Gedruckt ohne Farbzuordnungstabelle.");
    }
    // Each sheet takes seconds: every job started in a later second than the one before.
    for (std::size_t i = 1; i < ids.size(); ++i)
        EXPECT_LT(startedAt(server, ids[i - 1]), startedAt(server, ids[i])) << i;
    EXPECT_EQ(server.pages(), 5);

    // A server with nothing to do stops at once too.
    ASSERT_TRUE(server.signalAndWait(SIGTERM, 10000));
    EXPECT_LT(server.stoppedAfterMs(), 2000);
}

TEST(ServerJobs, AJobCutOffByACrashPrintsAgainAtTheNextStart) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    server.control("paper out");
    const int id = server.submit(server.picture("bild.jpg"), "image/jpeg");
    ASSERT_TRUE(reasonShown(server, "media-empty"));
    ASSERT_TRUE(server.signalAndWait(SIGKILL, 10000));

    // The tray is still empty after the restart: the job waits again, from its first sheet.
    server.control("paper out");
    ASSERT_TRUE(server.restart()) << server.log();
    ASSERT_TRUE(reasonShown(server, "media-empty")) << server.log();
    EXPECT_TRUE(inState(server.job(id), "processing"));
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
    const int lost = server.submit(server.picture("bild.jpg"), "image/jpeg");
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
    const fs::path document = server.root() / "seiten.pwg";
    writeRaster(document, "srgb_8", CUPS_RASTER_WRITE_PWG, 2);
    // Raster is printed while it streams in: the answer comes when the sheets are out.
    const int id = server.submit(document, "image/pwg-raster", "ATTR integer copies 2", 300);
    ASSERT_NE(id, 0) << server.lastSubmit();
    const Attributes done = server.finish(id);
    EXPECT_TRUE(inState(done, "completed")) << at(done, "job-state-message");
    EXPECT_EQ(at(done, "job-impressions-completed"), "4");
    EXPECT_EQ(server.pages(), 4);
}

} // namespace
} // namespace kv::print_server
