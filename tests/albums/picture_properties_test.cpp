#include "albums/picture_properties.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace kv::albums {
namespace {

namespace fs = std::filesystem;

TEST(PicturePropertiesTest, LongPathsAreCut) {
    const std::string p49(49, 'p');
    const std::string p60 = "/home/anna/Bilder/" + std::string(42, 'x');
    const std::string umlautAtCut = std::string(46, 'a') + "\xc3\xa4" + "bcdef";
    const struct {
        std::string path;
        std::string shown;
    } cases[] = {
        {"", ""},
        {p49, p49},
        {p49 + "q", std::string(47, 'p') + "..."},
        {p60, p60.substr(0, 47) + "..."},
        {umlautAtCut, std::string(46, 'a') + "..."}, // never half a character
    };
    for (const auto& c : cases)
        EXPECT_EQ(shortenedPath(c.path), c.shown) << c.path;
}

TEST(PicturePropertiesTest, FormatsStatusSizeAndDate) {
    const PictureProperties missing = formatProperties("/weg/bild.jpg", std::nullopt);
    EXPECT_EQ(missing.path, "/weg/bild.jpg");
    EXPECT_EQ(missing.status, "Datei existiert nicht!");
    EXPECT_EQ(missing.size, "----");
    EXPECT_EQ(missing.date, "----");

    std::tm t{};
    t.tm_mday = 5;
    t.tm_mon = 2;
    t.tm_year = 124;
    t.tm_hour = 7;
    t.tm_min = 8;
    t.tm_sec = 9;
    const PictureProperties found = formatProperties("/b.jpg", FileFacts{1234567, t});
    EXPECT_EQ(found.status, "Datei einwandfrei geöffnet.");
    EXPECT_EQ(found.size, "1234567 bytes");
    EXPECT_EQ(found.date, "05/03/2024  7:08:09");
    EXPECT_EQ(formatProperties("/b.jpg", FileFacts{}).size, "----");
}

class ScopedUtc {
  public:
    ScopedUtc() {
        if (const char* tz = std::getenv("TZ"))
            m_old = tz;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    ~ScopedUtc() {
        if (m_old)
            ::setenv("TZ", m_old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::optional<std::string> m_old;
};

TEST(PicturePropertiesTest, ReadsSizeAndLocalWriteTimeOfTheFile) {
    const ScopedUtc utc;
    test::TempDir dir;
    const fs::path file = dir / "bild.jpg";
    test::writeBytes(file, "0123456789");
    using namespace std::chrono;
    const sys_seconds written = sys_days{2021y / February / 3} + 4h + 5min + 6s;
    fs::last_write_time(file, file_clock::from_sys(written));

    const PictureProperties shown = formatProperties(file.string(), readFileFacts(file));
    EXPECT_EQ(shown.status, "Datei einwandfrei geöffnet.");
    EXPECT_EQ(shown.size, "10 bytes");
    EXPECT_EQ(shown.date, "03/02/2021  4:05:06");

    EXPECT_FALSE(readFileFacts(dir / "fehlt.jpg"));
    EXPECT_FALSE(readFileFacts(dir.path())); // a folder is no picture file
}

} // namespace
} // namespace kv::albums
