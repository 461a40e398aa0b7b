#include "printer/port_library.h"

#include "printer/command_block.h"
#include "printer/port_backend.h"
#include "printer/port_protocol.h"
#include "printer/port_version.h"
#include "printer/printer_link.h"
#include "printer/printer_messages.h"

#include <cstdlib>

namespace kv::printer {

namespace {

constexpr std::uint32_t kRefused = static_cast<std::uint32_t>(CommandResult::NotReadyBeforeHeader);

template <typename Fn> Fn lookUp(platform::SharedLibrary& library, const char* name) {
    return reinterpret_cast<Fn>(library.symbol(name));
}

} // namespace

float LoadedPortApi::getDllVersion() {
    return m_entries.getDllVersion ? m_entries.getDllVersion() : 0.0f;
}

std::uint32_t LoadedPortApi::commandSet(std::uint8_t* block) {
    if (!block)
        return kRefused;
    if (!available()) {
        block[7] = static_cast<std::uint8_t>(kRefused); // the result byte, as Command_set sets it
        return kRefused;
    }
    return m_entries.commandSet(block);
}

std::uint16_t LoadedPortApi::isReady() {
    return available() ? m_entries.isReady() : static_cast<std::uint16_t>(ReadyCode::Busy);
}

std::uint16_t LoadedPortApi::lptReset() {
    return available() ? m_entries.lptReset() : 1;
}

std::int32_t LoadedPortApi::initPort(std::int32_t address) {
    return available() ? m_entries.initPort(address) : 0;
}

void LoadedPortApi::writeData(std::uint16_t port, std::uint8_t value) {
    if (writesSequences())
        m_entries.writeData(port, value);
}

void LoadedPortApi::setPageProof(KvPageProofFunction function, void* context) {
    if (available() && m_entries.setPageProof)
        m_entries.setPageProof(function, context);
}

void reportPortLibraryStatus(PortLibraryStatus status, platform::Ui& ui) {
    using Icon = platform::Ui::Icon;
    switch (status) {
    case PortLibraryStatus::Loaded:
        return;
    case PortLibraryStatus::NotFound:
        ui.message(kMsgLibraryNotLoaded, Icon::Stop);
        return;
    case PortLibraryStatus::NoReset:
        ui.message(kMsgResetFunctionMissing, Icon::Stop);
        return;
    case PortLibraryStatus::NoVersion:
    case PortLibraryStatus::MissingEntry:
        ui.message(kMsgFunctionMissing, Icon::Stop);
        return;
    }
}

PortLibrary::PortLibrary(std::filesystem::path programFolder)
    : m_programFolder(std::move(programFolder)) {}

std::filesystem::path PortLibrary::location() const {
    if (const char* named = std::getenv("KVPR_PORT_LIBRARY"); named && *named)
        return named;
    if (!m_programFolder.empty()) {
        // Beside the program in a build folder; the package's own library folder
        // (KV_PORT_LIBRARY_RELDIR from bin/) once installed.
        for (const std::filesystem::path& folder :
             {m_programFolder, m_programFolder / KV_PORT_LIBRARY_RELDIR}) {
            std::error_code ec;
            const std::filesystem::path candidate = folder / kFileName;
            if (std::filesystem::exists(candidate, ec))
                return candidate.lexically_normal();
        }
    }
    return kFileName;
}

PortLibraryStatus PortLibrary::load() {
    unload();
    if (!m_library.open(location())) {
        m_error = m_library.error();
        return PortLibraryStatus::NotFound;
    }
    PortEntryPoints entries;
    entries.getDllVersion = lookUp<decltype(entries.getDllVersion)>(m_library, "GetDLLversion");
    entries.commandSet = lookUp<decltype(entries.commandSet)>(m_library, "Command_set");
    entries.isReady = lookUp<decltype(entries.isReady)>(m_library, "Is_Ready");
    entries.lptReset = lookUp<decltype(entries.lptReset)>(m_library, "LPT_Reset");
    entries.initPort = lookUp<decltype(entries.initPort)>(m_library, "InitPort");
    entries.writeData = lookUp<decltype(entries.writeData)>(m_library, "LPT_WriteData");
    entries.setPageProof = lookUp<decltype(entries.setPageProof)>(m_library, "LPT_SetPageProof");

    PortLibraryStatus status = PortLibraryStatus::Loaded;
    if (!entries.lptReset)
        status = PortLibraryStatus::NoReset;
    else if (!entries.getDllVersion)
        status = PortLibraryStatus::NoVersion;
    else if (!entries.complete())
        status = PortLibraryStatus::MissingEntry;
    if (status != PortLibraryStatus::Loaded) {
        // A half-bound library would be called through null pointers later.
        m_error = "entry point missing";
        m_library.close();
        return status;
    }
    m_api.bind(entries);
    // The library picks its port from the same environment, so this names the port
    // its calls reach.
    m_api.setPortIdentity(portIdentity(backendOptionsFromEnvironment()));
    m_error.clear();
    return status;
}

void PortLibrary::unload() {
    m_api.unbind();
    m_library.close();
}

PortLibrary::VersionCheck PortLibrary::checkVersion() {
    // A second handle: the bound library (if any) stays loaded and bound.
    platform::SharedLibrary library;
    if (!library.open(location()))
        return {PortLibraryStatus::NotFound};
    const auto version = lookUp<float (*)()>(library, "GetDLLversion");
    if (!version)
        return {PortLibraryStatus::NoVersion};
    return {PortLibraryStatus::Loaded, version()};
}

PortLibraryStatus bindPortLibrary(PortLibrary& library, PrinterLink& link) {
    const PortLibraryStatus status = library.load();
    reportPortLibraryStatus(status, link.ui());
    if (status == PortLibraryStatus::Loaded)
        link.resetAfterBinding();
    return status;
}

float InProcessPortApi::getDllVersion() {
    return kPortLayerVersion;
}

void InProcessPortApi::setPageProof(KvPageProofFunction function, void* context) {
    if (m_printer)
        handPageProof(*m_printer, function, context);
}

} // namespace kv::printer
