// Which documents the server takes: formats it cannot print are refused when they are
// submitted (the server stays up), untyped pictures are typed from their data, and a
// job cancelled before it started ends cancelled instead of taking the server down.
#include "print_server.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace kv::print_server {
namespace {

std::string encoded(const char* format) {
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

std::string at(const Attributes& a, const std::string& name) {
    const auto v = a.find(name);
    return v == a.end() ? std::string() : v->second;
}

TEST(DocumentFormats, UnprintedFormatsAreRefusedWhenSubmitted) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const std::string pdf = "%PDF-1.4\n1 0 obj<</Type/Catalog>>endobj\ntrailer<</Root 1 0 R>>\n";
    const std::string jpeg = encoded("JPG");
    struct Case {
        const char* operation; // Print-Job, Validate-Job, or Send-Document after Create-Job
        const char* format;
        std::string bytes;
        const char* status;
    };
    const std::vector<Case> cases = {
        {"Print-Job", "application/vnd.kelvor-sheet", jpeg, "document-format-not-supported"},
        {"Validate-Job", "application/vnd.kelvor-sheet", {}, "document-format-not-supported"},
        {"Print-Job", "application/pdf", pdf, "document-format-not-supported"},
        {"Validate-Job", "application/pdf", {}, "document-format-not-supported"},
        {"Send-Document", "application/pdf", pdf, "document-format-not-supported"},
        {"Print-Job", "application/octet-stream", pdf, "document-format-not-supported"},
        {"Print-Job", "application/octet-stream", "Nur Text\n", "document-format-not-supported"},
        {"Validate-Job", "image/jpeg", {}, "successful-ok"},
        {"Validate-Job", "application/octet-stream", {}, "successful-ok"},
    };
    const fs::path file = server.root() / "dokument";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + " " + c.format);
        test::writeBytes(file, c.bytes);
        const std::string document = "ATTR mimeMediaType document-format $format\n";
        const std::string expect = std::string("STATUS ") +
                                   (c.status[0] == 's' ? "" : "client-error-") + c.status + "\n}\n";
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
              "application/octet-stream,image/pwg-raster,image/urf,image/bmp,image/gif,"
              "image/jpeg,image/png,image/tiff");
    EXPECT_EQ(server.pages(), 0);
}

TEST(DocumentFormats, UntypedPicturesAreTypedFromTheirData) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    for (const char* format : {"BMP", "JPG", "PNG"}) {
        SCOPED_TRACE(format);
        const fs::path file = server.root() / "bild";
        test::writeBytes(file, encoded(format));
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
    const fs::path picture = server.root() / "bild.jpg";
    test::writeBytes(picture, encoded("JPG"));
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
