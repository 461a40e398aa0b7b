#pragma once

#include "printer/port_api.h"
#include "printer/port_core.h"
#include "printer/port_io.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kv::printer {

class VirtualPrinter;

// Which register backend the port layer runs on, and how it is set up.
struct BackendOptions {
    enum class Kind { Ppdev, Sim };

    Kind kind = Kind::Sim;
    std::filesystem::path tracePath; // empty: no trace
    std::filesystem::path simOutput;
    std::uint32_t warmUpMs = 5000;
    std::uint32_t paperLoadMs = 0; // the virtual printer's paper feed at every page
    bool simRawPicture = false;    // page-NNNN.ppm beside the proof
    std::filesystem::path procDir = "/proc/sys/dev/parport";
    std::filesystem::path deviceDir = "/dev";
    // Set when KVPR_PORT named no known backend.
    std::string warning;
};

// From the environment:
//  KVPR_PORT          "ppdev" or "sim"; default ppdev when the machine has a
//                     /dev/parport* device, else sim
//  KVPR_PORT_TRACE    a file: every register access is written to it
//  KVPR_SIM_OUT       where the virtual printer puts its pages; default
//                     virtual-printer/ in the program directory
//  KVPR_SIM_WARMUP_MS the virtual printer's warm-up time
//  KVPR_SIM_RAW_PICTURE 1: the virtual printer also writes each page as levels / 4
BackendOptions backendOptionsFromEnvironment();

// Whether deviceDir holds a parportN device.
bool machineHasParport(const std::filesystem::path& deviceDir);

// Which port the backend drives, as a name for the port lock: the mapped parport
// devices for ppdev (e.g. "parport0"), and for the virtual printer its output folder
// ("sim-" and a hash of the absolute folder), so two virtual printers writing to
// different folders are different printers.
std::string portIdentity(const BackendOptions& options);

// The backend in one line, e.g. "Druckeranschluss: virtueller Drucker (sim)" or
// "Druckeranschluss: ppdev /dev/parport0 (0x378)". Opens no device.
std::string describeBackend(const BackendOptions& options);

// The register backend of one process (or one test): the chosen port, under a
// trace when asked for.
class PortBackend {
  public:
    virtual ~PortBackend() = default;

    PortIo& io() { return m_trace ? *m_trace : raw(); }
    // Hooks for a PortCore over io(): which ports exist, and the reset.
    virtual PortCore::Hooks hooks() = 0;
    // The virtual printer of a sim backend, null otherwise.
    virtual VirtualPrinter* virtualPrinter() { return nullptr; }

    void setTrace(std::unique_ptr<PortIo> trace) { m_trace = std::move(trace); }

  protected:
    virtual PortIo& raw() = 0;

  private:
    std::unique_ptr<PortIo> m_trace;
};

// Gives the virtual printer the proof a job handed over through the port library's
// C interface (null: the plain proof again).
void handPageProof(VirtualPrinter& printer, KvPageProofFunction function, void* context);

// `report` receives failures worth telling the user: a port device that cannot be
// opened (at most once per port), a trace file that cannot be opened (once; the backend
// then runs untraced), a page the virtual printer cannot write (each time).
std::unique_ptr<PortBackend> makePortBackend(const BackendOptions& options,
                                             std::function<void(std::string_view)> report);

} // namespace kv::printer
