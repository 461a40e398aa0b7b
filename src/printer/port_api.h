#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A job's page proof handed to the port library (LPT_SetPageProof, our own entry point):
// fills `rgb` (640 x 480 x 3, top row first) from a page's re-assembled levels (480 rows
// of 640 triples {yellow element sum, magenta, cyan}) and names the calibration in `name`
// (at most nameSize bytes with its terminating zero). Returns 0 when it could not.
extern "C" typedef int (*KvPageProofFunction)(void* context, const std::uint16_t* levels,
                                              std::uint8_t* rgb, char* name, std::size_t nameSize);

namespace kv::printer {

// The port library's entry points as the application calls them. The program
// binds them from the loaded library; tests and tools bind them in process.
class PortApi {
  public:
    virtual ~PortApi() = default;
    virtual float getDllVersion() = 0;                         // GetDLLversion
    virtual std::uint32_t commandSet(std::uint8_t* block) = 0; // Command_set
    virtual std::uint16_t isReady() = 0;  // Is_Ready: 0 ready, 1 paper, 2 fault, 3 busy
    virtual std::uint16_t lptReset() = 0; // LPT_Reset: 0 = success
    virtual std::int32_t initPort(std::int32_t address) = 0; // InitPort: < 1 = no printer
    // A byte to the data register of one of the standard ports (the select and
    // release sequences). Goes nowhere through a port library that cannot do it.
    virtual void writeData(std::uint16_t port, std::uint8_t value) = 0;
    // The proof the virtual printer makes of the pages that follow; null: the plain one.
    // Nothing where no virtual printer is behind the port or the library cannot take it.
    virtual void setPageProof(KvPageProofFunction function, void* context) {
        (void)function;
        (void)context;
    }
    // False when the entry points are not bound (the library did not load): every
    // call then refuses without touching a port.
    virtual bool available() const { return true; }

    // Which port the calls reach, as the port lock names it (see portIdentity in
    // port_backend.h); empty: nothing to lock, as for doubles that reach no port.
    const std::string& portIdentity() const { return m_portIdentity; }
    void setPortIdentity(std::string identity) { m_portIdentity = std::move(identity); }

  private:
    std::string m_portIdentity;
};

// How Is_Ready is read by the application.
enum class PrinterState { Ready = 0, Busy = 1, NoPaper = 2, Fault = 3 };

} // namespace kv::printer
