#pragma once

#include <filesystem>
#include <string>

namespace kv::platform {

// A shared library loaded at run time and looked up by symbol name.
class SharedLibrary {
  public:
    SharedLibrary() = default;
    ~SharedLibrary() { close(); }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // A path with a separator is opened as is; a bare file name goes through the
    // system's library search path. An already open library is closed first.
    bool open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return m_handle != nullptr; }

    // Null when the library is not open or has no such symbol.
    void* symbol(const char* name);

    // What went wrong with the last failed open or lookup.
    const std::string& error() const { return m_error; }

  private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace kv::platform
