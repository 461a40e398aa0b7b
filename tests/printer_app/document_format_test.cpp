// Which documents the server takes: formats it cannot print are refused when they are
// submitted (the server stays up), untyped pictures are typed from their data, and a
// job cancelled before it started ends cancelled instead of taking the server down.
#include "print_server.h"

#include <gtest/gtest.h>

namespace kv::print_server {
namespace {

TEST(DocumentFormats, UnprintedFormatsAreRefusedWhenSubmitted) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const std::string pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog>>endobj\ntrailer<</Root 1 0 R>>\n";
    const struct {
        const char* operation; // Print-Job, Validate-Job, or Send-Document after Create-Job
        const char* format;
        std::string bytes;
        bool taken;
    } cases[] = {
        {"Print-Job", "application/vnd.kelvor-sheet", encoded("JPG"), false},
        {"Validate-Job", "application/vnd.kelvor-sheet", {}, false},
        {"Print-Job", "application/pdf", pdf, false},
        {"Validate-Job", "application/pdf", {}, false},
        {"Send-Document", "application/pdf", pdf, false},
        {"Print-Job", "application/octet-stream", pdf, false},
        {"Print-Job", "application/octet-stream", "Nur Text\n", false},
        {"Validate-Job", "image/jpeg", {}, true},
        {"Validate-Job", "application/octet-stream", {}, true},
    };
    const fs::path file = server.root() / "dokument";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.format);
        test::writeBytes(file, c.bytes);
        const std::string document = "ATTR mimeMediaType document-format $format\n";
        const std::string expect =
            std::string("STATUS ") +
            (c.taken ? "successful-ok" : "client-error-document-format-not-supported") + "\n}\n";
        std::string body;
        if (std::string(c.operation) == "Send-Document")
            body = PrintServer::request("Create-Job") + "STATUS successful-ok\nEXPECT job-id\n}\n" +
                   PrintServer::request("Send-Document") +
                   "ATTR integer job-id $job-id\nATTR boolean last-document true\n" + document +
                   "FILE $filename\n" + expect;
        else
            body = PrintServer::request(c.operation) + document +
                   (c.bytes.empty() ? "" : "FILE $filename\n") + expect;
        const IppResult r = server.ipptool(body, {std::string("format=") + c.format}, file);
        EXPECT_TRUE(r.passed) << r.output;
        ASSERT_TRUE(server.running()) << server.log();
    }
    const Attributes formats = server.printerAttributes({"document-format-supported"});
    EXPECT_EQ(at(formats, "document-format-supported"),
              "application/octet-stream,image/pwg-raster,image/urf,image/avif,image/bmp,"
              "image/gif,image/heic,image/heif,image/jpeg,image/jxl,image/png,image/tiff,"
              "image/webp");
    EXPECT_EQ(server.pages(), 0);
}

TEST(DocumentFormats, UntypedPicturesAreTypedFromTheirData) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    for (const char* format : {"BMP", "JPG", "PNG"}) {
        SCOPED_TRACE(format);
        const fs::path file = server.root() / "bild";
        test::writeBytes(file, encoded(format, 0, 64, 48));
        const int id = server.submit(file, "application/octet-stream");
        ASSERT_NE(id, 0) << server.lastSubmit();
        const Attributes done = server.finish(id);
        EXPECT_EQ(at(done, "job-state"), "completed") << at(done, "job-state-message");
    }
    EXPECT_EQ(server.pages(), 3);
}

TEST(DocumentFormats, JobCancelledBeforeItStartsEndsCancelled) {
    // Under AddressSanitizer the preloaded library comes before the sanitizer's runtime.
    QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    asan += (asan.isEmpty() ? "" : ":") + QString("verify_asan_link_order=0");
    PrintServer server(Env{{"LD_PRELOAD", KV_JOB_START_DELAY}, {"ASAN_OPTIONS", asan}});
    ASSERT_TRUE(server.running()) << server.log();
    const fs::path picture = server.picture("bild.jpg");
    for (int round = 0; round < 2; ++round) {
        const int id = server.submit(picture, "image/jpeg");
        ASSERT_NE(id, 0) << server.lastSubmit();
        ASSERT_TRUE(server.cancel(id));
        EXPECT_EQ(at(server.finish(id), "job-state"), "canceled");
        // The job thread wakes after the cancel; the server must outlive what it does.
        QThread::msleep(2500);
        ASSERT_EQ(server.printer().count("printer-state"), 1u) << server.log();
    }
    EXPECT_EQ(server.pages(), 0);
    const int next = server.submit(picture, "image/jpeg");
    EXPECT_EQ(at(server.finish(next), "job-state"), "completed");
    EXPECT_EQ(server.pages(), 1);
}

} // namespace
} // namespace kv::print_server
