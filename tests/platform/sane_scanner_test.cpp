#include "platform/scanner/sane_scanner.h"

#include "platform/imagelib/decoded_image.h"
#include "support/sane_test_backend.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace kv::platform::scanner {
namespace {

namespace fs = std::filesystem;

// SANE is set up once per process, with only the `test` backend.
class SaneScannerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_config = std::make_unique<test::TempDir>();
        test::useSaneTestBackend(s_config->path());
        s_scanner = std::make_unique<SaneScanner>();
        ASSERT_TRUE(s_scanner->initialise());
    }
    static void TearDownTestSuite() {
        s_scanner.reset();
        s_config.reset();
    }

    static inline std::unique_ptr<test::TempDir> s_config;
    static inline std::unique_ptr<SaneScanner> s_scanner;
};

using Pages = std::vector<std::pair<int, fs::path>>;

Pages acquireAll(SaneScanner& scanner, const std::string& device, const fs::path& target,
                 AcquireResult expected) {
    Pages pages;
    EXPECT_EQ(scanner.acquire(
                  device, target,
                  [&](int toCome, const fs::path& path) { pages.emplace_back(toCome, path); }),
              expected);
    return pages;
}

TEST_F(SaneScannerTest, ListsTheTestDevices) {
    const std::vector<Device> devices = s_scanner->devices();
    for (const char* name : {"test:0", "test:1"})
        EXPECT_TRUE(std::any_of(devices.begin(), devices.end(), [&](const Device& d) {
            return d.name == name;
        })) << name;
}

TEST_F(SaneScannerTest, FeederPagesBecomeNumberedBmpsAndNeverOverwrite) {
    test::TempDir folder;
    const fs::path target = folder / "scan.bmp";
    // A second acquisition into the same folder continues the numbering.
    for (const int first : {1, 11}) {
        const Pages pages = acquireAll(*s_scanner, "test:0", target, AcquireResult::Done);
        ASSERT_EQ(pages.size(), 10u);
        for (int i = 0; i < 10; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(pages[std::size_t(i)].first, 9 - i);
            EXPECT_EQ(pages[std::size_t(i)].second, pageFileName(target, first + i));
            const std::string bytes = test::readBytes(pages[std::size_t(i)].second);
            imagelib::DecodedImage image;
            ASSERT_EQ(
                imagelib::decodeBmp(
                    {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, image),
                imagelib::DecodeResult::Ok);
            EXPECT_EQ(image.bitsPerPixel, 24);
            // 80 x 100 mm at 50 dpi, solid black.
            EXPECT_NEAR(image.width, 157, 1);
            EXPECT_NEAR(image.height, 197, 1);
            EXPECT_EQ(image.pixels[0] | image.pixels[image.pixels.size() / 2], 0);
        }
    }
    EXPECT_TRUE(fs::exists(folder / "scan020.bmp"));
}

TEST_F(SaneScannerTest, FailuresAreTyped) {
    test::TempDir folder;
    EXPECT_TRUE(
        acquireAll(*s_scanner, "nosuch:0", folder / "a.bmp", AcquireResult::OpenFailed).empty());
    SaneScanner closed;
    EXPECT_TRUE(closed.devices().empty());
    EXPECT_TRUE(
        acquireAll(closed, "test:0", folder / "a.bmp", AcquireResult::NotInitialised).empty());
    // An unwritable folder: the page is scanned but nothing is reported.
    EXPECT_TRUE(
        acquireAll(*s_scanner, "test:0", folder / "missing/dir/a.bmp", AcquireResult::WriteFailed)
            .empty());
}

TEST(SaneScannerNames, PageFilesAndFeederSources) {
    const struct {
        const char* target;
        int number;
        const char* file;
    } names[] = {{"/d/scan.bmp", 1, "/d/scan001.bmp"},
                 {"/d/ab.BMP", 42, "/d/ab042.bmp"},
                 {"/d/x", 999, "/d/x999.bmp"}};
    for (const auto& n : names)
        EXPECT_EQ(pageFileName(n.target, n.number), fs::path(n.file)) << n.target;

    const std::pair<const char*, bool> sources[] = {{"Automatic Document Feeder", true},
                                                    {"ADF Duplex", true},
                                                    {"Flatbed", false},
                                                    {"Transparency Adapter", false}};
    for (const auto& [source, feeder] : sources)
        EXPECT_EQ(isFeederSource(source), feeder) << source;
}

} // namespace
} // namespace kv::platform::scanner
