#pragma once

#include "platform/shared_library.h"
#include "platform/ui.h"
#include "printer/port_api.h"
#include "printer/port_core.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace kv::printer {

class VirtualPrinter;

// The entry points of the port library, looked up by name.
struct PortEntryPoints {
    float (*getDllVersion)() = nullptr;
    std::uint32_t (*commandSet)(void* block) = nullptr;
    std::uint16_t (*isReady)() = nullptr;
    std::uint16_t (*lptReset)() = nullptr;
    std::int32_t (*initPort)(std::int32_t address) = nullptr;
    // LPT_WriteData, our library's own addition for the select and release sequences.
    // Optional: a library with only the five standard entry points has no way to put a
    // byte on the data lines without a strobe, so the sequences are then left out (their
    // pauses stay) and the printer is driven by Command_set and LPT_Reset alone.
    void (*writeData)(std::uint16_t port, std::uint8_t value) = nullptr;
    // LPT_SetPageProof, our own too: only a virtual printer has a use for it.
    void (*setPageProof)(KvPageProofFunction function, void* context) = nullptr;

    bool complete() const { return getDllVersion && commandSet && isReady && lptReset && initPort; }
};

// PortApi over bound entry points. Unbound, every call refuses without a port:
// Command_set "not ready", Is_Ready busy, LPT_Reset failed, InitPort no printer.
class LoadedPortApi : public PortApi {
  public:
    void bind(const PortEntryPoints& entries) { m_entries = entries; }
    void unbind() { m_entries = {}; }

    float getDllVersion() override;
    std::uint32_t commandSet(std::uint8_t* block) override;
    std::uint16_t isReady() override;
    std::uint16_t lptReset() override;
    std::int32_t initPort(std::int32_t address) override;
    void writeData(std::uint16_t port, std::uint8_t value) override;
    void setPageProof(KvPageProofFunction function, void* context) override;
    bool available() const override { return m_entries.complete(); }
    // Whether the bound library writes the select and release sequences.
    bool writesSequences() const { return available() && m_entries.writeData; }

  private:
    PortEntryPoints m_entries;
};

// How binding the port library went; each failure has its own message.
enum class PortLibraryStatus {
    Loaded,
    NotFound,     // "Dll kann nicht geladen werden."
    NoReset,      // "Die Funktion Zurücksetzen kann nicht geladen werden."
    NoVersion,    // "Die Funktion kann nicht geladen werden."
    MissingEntry, // Command_set, Is_Ready or InitPort is missing: the same message
};

// Shows the message for a failed binding (stop icon); nothing for Loaded.
void reportPortLibraryStatus(PortLibraryStatus status, platform::Ui& ui);

class PortLibrary;
class PrinterLink;

// The start-up binding: loads the library, shows what failed, and on success
// runs the first reset through `link` (which must use library.api()).
PortLibraryStatus bindPortLibrary(PortLibrary& library, PrinterLink& link);

// The port library liblptcore.so, loaded by name. Looked for as KVPR_PORT_LIBRARY
// when that is set, else in the program's folder, else in the installed package's
// library folder (lib/<arch>/kvphoto/ beside bin/), else on the library search path.
class PortLibrary {
  public:
    static constexpr const char* kFileName = "liblptcore.so";

    explicit PortLibrary(std::filesystem::path programFolder = {});

    void setProgramFolder(std::filesystem::path folder) { m_programFolder = std::move(folder); }

    PortLibraryStatus load();
    void unload();
    bool loaded() const { return m_api.available(); }

    // Always usable; refuses every call while the library is not loaded.
    PortApi& api() { return m_api; }
    // False for a library without LPT_WriteData: the brackets then send no sequences.
    bool writesSequences() const { return m_api.writesSequences(); }
    // The loader's own words for the last failure (for standard error).
    const std::string& error() const { return m_error; }

    // Ctrl+X: loads the library anew, asks its version, unloads it again.
    // NotFound, NoVersion, or Loaded with the version.
    struct VersionCheck {
        PortLibraryStatus status;
        float version = 0;
    };
    VersionCheck checkVersion();

    // What load() would open.
    std::filesystem::path location() const;

  private:
    std::filesystem::path m_programFolder;
    platform::SharedLibrary m_library;
    LoadedPortApi m_api;
    std::string m_error;
};

// PortApi in process: the port library's functions over a register backend,
// without loading anything. For tests and command-line tools.
class InProcessPortApi : public PortApi {
  public:
    explicit InProcessPortApi(PortIo& io, PortCore::Hooks hooks = {})
        : m_core(io, std::move(hooks)) {}

    float getDllVersion() override;
    std::uint32_t commandSet(std::uint8_t* block) override { return m_core.commandSet(block); }
    std::uint16_t isReady() override { return m_core.isReady(); }
    std::uint16_t lptReset() override { return m_core.lptReset(); }
    std::int32_t initPort(std::int32_t address) override { return m_core.initPort(address); }
    void writeData(std::uint16_t port, std::uint8_t value) override {
        m_core.writeData(port, value);
    }
    void setPageProof(KvPageProofFunction function, void* context) override;
    // The virtual printer behind io(), when there is one, for setPageProof.
    void setVirtualPrinter(VirtualPrinter* printer) { m_printer = printer; }

    PortCore& core() { return m_core; }

  private:
    PortCore m_core;
    VirtualPrinter* m_printer = nullptr;
};

} // namespace kv::printer
