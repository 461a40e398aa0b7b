// Raster pages as clients send them: 8-bit grey (PWG sgray_8, Apple W8, what CUPS sends
// for "Gray") prints as the same grey sent as sRGB does; a page type the printer cannot
// print aborts its job with the reason and no page counted.
#include "print_server.h"

#include <gtest/gtest.h>

namespace kv::print_server {
namespace {

TEST(RasterPages, GreyPrintsAsGreyInColourAndOtherTypesAreRefused) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const struct {
        const char* type;
        cups_mode_t mode;
        const char* format;
        bool printed;
    } pages[] = {
        {"srgb_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster", true},
        {"sgray_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster", true},
        {"sgray_8", CUPS_RASTER_WRITE_APPLE, "image/urf", true},
        {"cmyk_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster", false},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(std::string(page.type) + " as " + page.format);
        const fs::path file = server.root() / "seite.ras";
        writeRaster(file, page.type, page.mode);
        const int id = server.submit(file, page.format);
        ASSERT_NE(id, 0) << server.lastSubmit();
        const Attributes done = server.finish(id);
        EXPECT_TRUE(inState(done, page.printed ? "completed" : "aborted"))
            << at(done, "job-state-message");
        EXPECT_EQ(at(done, "job-impressions-completed"), page.printed ? "1" : "0");
        if (!page.printed) {
            EXPECT_EQ(at(done, "job-state-message"),
                      "Diese Rasterseite kann der Drucker nicht drucken.");
        }
    }
    ASSERT_EQ(server.pages(), 3);
    const std::string colour = test::readBytes(server.page(1));
    EXPECT_FALSE(colour.empty());
    EXPECT_TRUE(test::readBytes(server.page(2)) == colour);
    EXPECT_TRUE(test::readBytes(server.page(3)) == colour);
}

} // namespace
} // namespace kv::print_server
