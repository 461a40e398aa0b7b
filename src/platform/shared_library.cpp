#include "platform/shared_library.h"

#include <dlfcn.h>

namespace kv::platform {

namespace {

std::string lastDlError() {
    const char* text = dlerror();
    return text ? text : "";
}

} // namespace

bool SharedLibrary::open(const std::filesystem::path& path) {
    close();
    dlerror();
    // RTLD_LOCAL: the library's symbols stay out of the global scope, so a second
    // library (or the program's own exports) never binds to them.
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    m_error = m_handle ? std::string() : lastDlError();
    return m_handle != nullptr;
}

void SharedLibrary::close() {
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
}

void* SharedLibrary::symbol(const char* name) {
    if (!m_handle) {
        m_error = "library not open";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(m_handle, name);
    m_error = address ? std::string() : lastDlError();
    return address;
}

} // namespace kv::platform
