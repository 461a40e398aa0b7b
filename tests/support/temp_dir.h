#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kv::test {

// A fresh folder for one test, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, std::string_view bytes);

// Points KVPR_HOME, KVPR_DRIVE_C and KVPR_SYSTEM_DIR at folders inside a fresh
// temporary folder for the lifetime of the object, and restores them after.
class ScopedProgramFolders {
public:
    ScopedProgramFolders();
    ~ScopedProgramFolders();
    std::filesystem::path home() const { return m_root.path() / "home/"; }
    std::filesystem::path driveC() const { return m_root.path() / "c/"; }
    std::filesystem::path system() const { return m_root.path() / "system/"; }

private:
    TempDir m_root;
};

// Defaults every test program starts with: the virtual printer as port, so no
// test ever drives a real parallel port, and the port library just built. Set
// variables are kept.
void setTestEnvironment();

} // namespace kv::test
