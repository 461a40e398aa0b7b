#include "support/sane_test_backend.h"

#include "support/temp_dir.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

namespace kv::test {

void useSaneTestBackend(const std::filesystem::path& configDir) {
    writeBytes(configDir / "dll.conf", "test\n");
    std::filesystem::copy_file("/etc/sane.d/test.conf", configDir / "test.conf",
                               std::filesystem::copy_options::overwrite_existing);
    ::setenv("SANE_CONFIG_DIR", configDir.c_str(), 1);
    for (const char* dir : {"/usr/lib/x86_64-linux-gnu/sane/", "/usr/lib/sane/"})
        if (::dlopen((std::string(dir) + "libsane-test.so.1").c_str(), RTLD_NOW | RTLD_NODELETE))
            break;
}

} // namespace kv::test
