#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kv::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int i = 0; i < 100; ++i) {
        fs::path p = fs::temp_directory_path() / ("kvtest-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {
const char* const kVars[] = {"KVPR_HOME", "KVPR_DRIVE_C", "KVPR_SYSTEM_DIR"};
}

ScopedProgramFolders::ScopedProgramFolders() {
    setenv("KVPR_HOME", home().c_str(), 1);
    setenv("KVPR_DRIVE_C", driveC().c_str(), 1);
    setenv("KVPR_SYSTEM_DIR", system().c_str(), 1);
}

void setTestEnvironment() {
    // A runtime folder of the test program's own (the printer port's lock files go
    // there), shared with the processes it starts and removed when it ends.
    static const TempDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    setenv("KVPR_PORT", "sim", 0);
    // By its full path: a sanitizer's dlopen does not search the test's run path.
    setenv("KVPR_PORT_LIBRARY", KV_TEST_PORT_LIBRARY, 0);
}

ScopedProgramFolders::~ScopedProgramFolders() {
    for (const char* v : kVars)
        unsetenv(v);
}

} // namespace kv::test
