// HEIC, AVIF and JPEG XL pictures through the real server: taken under their own
// types and typed from their data when sent as application/octet-stream, and
// printed as one sheet each.
#include "imagelib/heif_file.h"
#include "imagelib/jxl_file.h"
#include "print_server.h"

#include <gtest/gtest.h>

namespace kv::print_server {
namespace {

TEST(HeifJxlDocuments, PrintUnderTheirTypesAndTypedFromTheirData) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const struct {
        const char* name;
        std::string bytes;
        const char* type;
    } cases[] = {
        {"HEIC turned",
         test::heifFile(
             {{.width = 96, .height = 64, .orientation = heif_orientation_rotate_90_cw}}),
         "image/heic"},
        {"AVIF", test::heifFile({{.codec = heif_compression_AV1, .width = 96, .height = 64}}),
         "image/avif"},
        {"JPEG XL", test::jxlFile({.width = 96, .height = 64, .alpha = true}), "image/jxl"},
        {"JPEG XL container", test::jxlFile({.width = 64, .height = 96, .container = true}),
         "image/jxl"},
    };
    const auto detected = [&](int id) {
        return at(server
                      .ipptool(PrintServer::request("Get-Job-Attributes") +
                                   "ATTR integer job-id $job\nSTATUS successful-ok\n"
                                   "DISPLAY document-format-detected\n}\n",
                               {"job=" + std::to_string(id)})
                      .attributes,
                  "document-format-detected");
    };
    int printed = 0;
    for (const auto& c : cases) {
        for (const std::string& format :
             {std::string(c.type), std::string("application/octet-stream")}) {
            SCOPED_TRACE(std::string(c.name) + " as " + format);
            const fs::path file = server.root() / "bild";
            test::writeBytes(file, c.bytes);
            const int id = server.submit(file, format);
            ASSERT_NE(id, 0) << server.lastSubmit();
            const Attributes done = server.finish(id);
            EXPECT_EQ(at(done, "job-state"), "completed") << at(done, "job-state-message");
            if (format == "application/octet-stream") {
                EXPECT_EQ(detected(id), c.type);
            }
            ++printed;
        }
    }
    EXPECT_EQ(server.pages(), printed);
}

} // namespace
} // namespace kv::print_server
