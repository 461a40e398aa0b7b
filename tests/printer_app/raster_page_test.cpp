// Raster pages as clients send them: 8-bit grey (PWG sgray_8, Apple W8, what CUPS sends
// for "Gray") prints as the same grey sent as sRGB does; a page type the printer cannot
// print aborts its job with the reason and no page counted.
#include "print_server.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kv::print_server {
namespace {

// One 3 x 4 in page at 160 dpi of `type` ("srgb_8", "sgray_8", "cmyk_8"), each pixel
// the grey (x + 2y) mod 256 in every colour channel.
void writeRaster(const fs::path& file, const char* type, cups_mode_t mode) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    cups_raster_t* raster = cupsRasterOpen(fd, mode);
    cups_page_header2_t header;
    cupsRasterInitPWGHeader(&header, pwgMediaForPWG("oe_kelvor-sheet_3x4in"), type, 160, 160,
                            "one-sided", "normal");
    header.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = 1;
    ASSERT_TRUE(cupsRasterWriteHeader2(raster, &header));
    const unsigned channels = header.cupsBitsPerPixel / 8;
    std::vector<unsigned char> line(header.cupsBytesPerLine);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
        for (unsigned x = 0; x < header.cupsWidth; ++x)
            for (unsigned c = 0; c < channels; ++c)
                line[x * channels + c] = static_cast<unsigned char>(x + 2 * y);
        cupsRasterWritePixels(raster, line.data(), header.cupsBytesPerLine);
    }
    cupsRasterClose(raster);
    ::close(fd);
}

std::string at(const Attributes& a, const std::string& name) {
    const auto v = a.find(name);
    return v == a.end() ? std::string() : v->second;
}

TEST(RasterPages, GreyPrintsAsGreyInColourAndOtherTypesAreRefused) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    struct Page {
        const char* type;
        cups_mode_t mode;
        const char* format;
        const char* state;
    };
    const std::vector<Page> pages = {
        {"srgb_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster", "completed"},
        {"sgray_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster", "completed"},
        {"sgray_8", CUPS_RASTER_WRITE_APPLE, "image/urf", "completed"},
        {"cmyk_8", CUPS_RASTER_WRITE_PWG, "image/pwg-raster", "aborted"},
    };
    for (const Page& page : pages) {
        SCOPED_TRACE(std::string(page.type) + " as " + page.format);
        const fs::path file = server.root() / "seite.ras";
        ASSERT_NO_FATAL_FAILURE(writeRaster(file, page.type, page.mode));
        const int id = server.submit(file, page.format);
        ASSERT_NE(id, 0) << server.lastSubmit();
        const Attributes done = server.finish(id);
        EXPECT_EQ(at(done, "job-state"), page.state) << at(done, "job-state-message");
        const bool printed = std::string(page.state) == "completed";
        EXPECT_EQ(at(done, "job-impressions-completed"), printed ? "1" : "0");
        if (!printed) {
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
