#include "platform/paths.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace kv::platform {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

// Sets or clears environment variables for one test and puts the old values back.
class ScopedEnvironment {
  public:
    void set(const char* name, const char* value) {
        remember(name);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnvironment() {
        for (const auto& [name, old] : m_saved)
            if (old)
                setenv(name.c_str(), old->c_str(), 1);
            else
                unsetenv(name.c_str());
    }

  private:
    void remember(const char* name) {
        if (m_saved.count(name))
            return;
        const char* old = std::getenv(name);
        m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST(Paths, OverridesAreUsedCreatedAndEndWithASeparator) {
    test::ScopedProgramFolders folders;
    EXPECT_EQ(programDirectory(), folders.home());
    EXPECT_EQ(driveC(), folders.driveC());
    EXPECT_EQ(systemDirectory(), folders.system());
    for (const fs::path& p : {programDirectory(), driveC(), systemDirectory()}) {
        EXPECT_TRUE(fs::is_directory(p)) << p;
        EXPECT_EQ(p.string().back(), '/') << p;
    }
    // The temporary directory is left to the start-up code to prepare.
    EXPECT_EQ(tempDirectory(), folders.driveC() / "kvtemp/");
    EXPECT_FALSE(fs::exists(tempDirectory()));
}

TEST(Paths, OverrideWithoutTrailingSeparatorGetsOne) {
    TempDir dir;
    ScopedEnvironment env;
    env.set("KVPR_HOME", (dir.path() / "prog").c_str());
    EXPECT_EQ(programDirectory().string(), (dir.path() / "prog").string() + "/");
}

TEST(Paths, DefaultsFollowHomeAndTheXdgFolders) {
    TempDir home;
    ScopedEnvironment env;
    for (const char* v : {"KVPR_HOME", "KVPR_DRIVE_C", "KVPR_SYSTEM_DIR", "XDG_DATA_HOME",
                          "XDG_CACHE_HOME", "XDG_CONFIG_HOME"})
        env.set(v, nullptr);
    env.set("HOME", home.path().c_str());
    EXPECT_EQ(programDirectory(), home.path() / ".local/share/kvphoto/");
    EXPECT_EQ(driveC(), home.path() / ".cache/kvphoto/c/");
    EXPECT_EQ(systemDirectory(), home.path() / ".config/kvphoto/system/");
    EXPECT_TRUE(fs::is_directory(home.path() / ".config/kvphoto/system"));

    env.set("XDG_DATA_HOME", (home.path() / "data").c_str());
    env.set("XDG_CACHE_HOME", (home.path() / "cache").c_str());
    env.set("XDG_CONFIG_HOME", "relative/is/ignored");
    EXPECT_EQ(programDirectory(), home.path() / "data/kvphoto/");
    EXPECT_EQ(driveC(), home.path() / "cache/kvphoto/c/");
    EXPECT_EQ(systemDirectory(), home.path() / ".config/kvphoto/system/");
}

TEST(Paths, FindNoCase) {
    TempDir dir;
    writeBytes(dir / "Kvx00.ini", "");
    writeBytes(dir / "MEDIA.RTB", "");
    writeBytes(dir / "Media.rtb", "");
    writeBytes(dir / "prefile.BMP", "");
    writeBytes(dir / "PREFILE.bmp", "");
    writeBytes(dir / "\xc3\xa4.bmp", ""); // "ä": only ASCII letters fold
    fs::create_directory(dir / "Help");

    const struct {
        const char* asked;
        const char* found;
    } cases[] = {
        {"kvx00.ini", "Kvx00.ini"},
        {"KVX00.INI", "Kvx00.ini"},
        {"Media.rtb", "Media.rtb"},     // the exact spelling wins
        {"media.rtb", "MEDIA.RTB"},     // else the first in byte order
        {"Prefile.bmp", "PREFILE.bmp"}, // whatever order the folder lists them in
        {"help", "Help"},               // folders too
        {"\xc3\x84.bmp", "\xc3\x84.bmp"},
        {"new.dat", "new.dat"}, // none there: as asked
    };
    for (const auto& c : cases)
        EXPECT_EQ(findNoCase(dir.path(), c.asked), dir.path() / c.found) << c.asked;
    EXPECT_EQ(findNoCase(dir / "missing", "a.ini"), dir / "missing" / "a.ini");
}

TEST(Paths, FreeSpace) {
    TempDir dir;
    const auto free = freeSpace(dir.path());
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(freeSpace(dir / "missing").has_value());
}

TEST(Paths, InstallShippedDataAddsOnlyWhatIsMissing) {
    TempDir shipped;
    TempDir program;
    writeBytes(shipped / "normal.cct", std::string("\x01\x02\r\n\0", 5));
    writeBytes(shipped / "Media.rtb", "shipped ranks");
    fs::create_directories(shipped / "help" / "img");
    writeBytes(shipped / "help" / "index.html", "<html>");
    writeBytes(shipped / "help" / "img" / "logo.png", "png");
    writeBytes(program / "MEDIA.RTB", "the user's ranks");
    fs::create_directory(program / "HELP");

    installShippedData(shipped.path(), program.path());

    EXPECT_EQ(readBytes(program / "normal.cct"), std::string("\x01\x02\r\n\0", 5));
    EXPECT_EQ(readBytes(program / "MEDIA.RTB"), "the user's ranks");
    EXPECT_FALSE(fs::exists(program / "Media.rtb"));
    EXPECT_EQ(readBytes(program / "HELP" / "index.html"), "<html>");
    EXPECT_EQ(readBytes(program / "HELP" / "img" / "logo.png"), "png");
    EXPECT_FALSE(fs::exists(program / "help"));

    // A second start keeps what the user changed since.
    writeBytes(program / "normal.cct", "edited");
    installShippedData(shipped.path(), program.path());
    EXPECT_EQ(readBytes(program / "normal.cct"), "edited");

    // No shipped folder: nothing happens.
    installShippedData(shipped / "missing", program.path());
}

} // namespace
} // namespace kv::platform
