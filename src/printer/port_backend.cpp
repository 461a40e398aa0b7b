#include "printer/port_backend.h"

#include "platform/clock.h"
#include "platform/paths.h"
#include "printer/port_protocol.h"
#include "printer/ppdev_port.h"
#include "printer/printer_messages.h"
#include "printer/sim_port.h"
#include "printer/trace_port.h"
#include "printer/virtual_printer.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kv::printer {

namespace fs = std::filesystem;

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

class SimBackend : public PortBackend {
  public:
    SimBackend(const BackendOptions& options, std::function<void(std::string_view)> report)
        : m_printer(m_clock, options.simOutput,
                    VirtualPrinter::Options{.warmUpMs = options.warmUpMs,
                                            .paperLoadMs = options.paperLoadMs,
                                            .writeRawPicture = options.simRawPicture}),
          m_port(m_printer) {
        // The model answers at once: no settling time needed between register accesses.
        setSettleScale(0);
        m_printer.setReport(std::move(report));
    }

    PortCore::Hooks hooks() override {
        return {[](std::uint16_t base) { return base == VirtualPrinter::kBase; },
                [this] {
                    m_printer.reset();
                    return true;
                }};
    }
    VirtualPrinter* virtualPrinter() override { return &m_printer; }

  protected:
    PortIo& raw() override { return m_port; }

  private:
    platform::SystemClock m_clock;
    VirtualPrinter m_printer;
    SimPort m_port;
};

class PpdevBackend : public PortBackend {
  public:
    PpdevBackend(const BackendOptions& options, std::function<void(std::string_view)> report)
        : m_port(mapStandardPorts(options.procDir, options.deviceDir), makeSystemPpdevDevice,
                 std::move(report)) {}

    PortCore::Hooks hooks() override {
        return {[this](std::uint16_t base) { return m_port.hasPort(base); }, {}};
    }

  protected:
    PortIo& raw() override { return m_port; }

  private:
    PpdevPort m_port;
};

} // namespace

bool machineHasParport(const fs::path& deviceDir) {
    std::error_code ec;
    for (fs::directory_iterator it(deviceDir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().rfind("parport", 0) == 0)
            return true;
    return false;
}

BackendOptions backendOptionsFromEnvironment() {
    BackendOptions options;
    const std::string kind = environment("KVPR_PORT");
    if (kind == "sim") {
        options.kind = BackendOptions::Kind::Sim;
    } else if (kind == "ppdev") {
        options.kind = BackendOptions::Kind::Ppdev;
    } else if (kind.empty()) {
        options.kind = machineHasParport(options.deviceDir) ? BackendOptions::Kind::Ppdev
                                                            : BackendOptions::Kind::Sim;
    } else {
        // A typing error must not send a print to a real port unseen.
        options.kind = BackendOptions::Kind::Sim;
        std::string text(kMsgUnknownBackend);
        options.warning = text.replace(text.find("%s"), 2, kind);
    }
    options.tracePath = environment("KVPR_PORT_TRACE");
    const std::string out = environment("KVPR_SIM_OUT");
    options.simOutput =
        out.empty() ? platform::programDirectory() / "virtual-printer/" : fs::path(out);
    const auto milliseconds = [](const std::string& text, std::uint32_t& value) {
        std::uint32_t ms = 0;
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
        if (!text.empty() && ec == std::errc() && ptr == text.data() + text.size())
            value = ms;
    };
    milliseconds(environment("KVPR_SIM_WARMUP_MS"), options.warmUpMs);
    milliseconds(environment("KVPR_SIM_PAPER_LOAD_MS"), options.paperLoadMs);
    options.simRawPicture = environment("KVPR_SIM_RAW_PICTURE") == "1";
    return options;
}

std::string portIdentity(const BackendOptions& options) {
    if (options.kind == BackendOptions::Kind::Sim) {
        std::error_code ec;
        fs::path folder = fs::absolute(options.simOutput, ec);
        const fs::path canonical = fs::weakly_canonical(folder, ec);
        if (!ec)
            folder = canonical;
        std::string text = folder.lexically_normal().string();
        while (text.size() > 1 && text.back() == '/')
            text.pop_back();
        // FNV-1a: the same folder gives the same name in every process.
        std::uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
        char name[24];
        std::snprintf(name, sizeof name, "sim-%016llx", static_cast<unsigned long long>(hash));
        return name;
    }
    std::string identity;
    const auto ports = mapStandardPorts(options.procDir, options.deviceDir);
    for (std::uint16_t base : kStandardPorts) {
        const auto it = ports.find(base);
        if (it == ports.end())
            continue;
        if (!identity.empty())
            identity += '+';
        identity += fs::path(it->second).filename().string();
    }
    return identity.empty() ? "ppdev" : identity;
}

std::string describeBackend(const BackendOptions& options) {
    std::string line(kBackendLinePrefix);
    if (options.kind == BackendOptions::Kind::Sim) {
        line += kBackendSim;
    } else {
        line += kBackendPpdev;
        const auto ports = mapStandardPorts(options.procDir, options.deviceDir);
        if (ports.empty())
            line += kBackendNoPorts;
        for (std::uint16_t base : kStandardPorts) {
            const auto it = ports.find(base);
            if (it != ports.end())
                line += " " + it->second + " (" + hex(base) + ")";
        }
    }
    if (!options.tracePath.empty()) {
        line += kBackendTraceSuffix;
        line += options.tracePath.string();
    }
    return line;
}

void handPageProof(VirtualPrinter& printer, KvPageProofFunction function, void* context) {
    if (!function) {
        printer.setPageProof({});
        return;
    }
    printer.setPageProof(
        [function, context](const PageLevels& levels) -> std::optional<VirtualPrinter::PageProof> {
            VirtualPrinter::PageProof proof;
            proof.rgb.resize(levels.values.size());
            char name[256] = {};
            if (!function(context, levels.values.data(), proof.rgb.data(), name, sizeof name))
                return std::nullopt;
            name[sizeof name - 1] = '\0';
            proof.calibration = name;
            return proof;
        });
}

std::unique_ptr<PortBackend> makePortBackend(const BackendOptions& options,
                                             std::function<void(std::string_view)> report) {
    std::unique_ptr<PortBackend> backend;
    if (options.kind == BackendOptions::Kind::Sim)
        backend = std::make_unique<SimBackend>(options, report);
    else
        backend = std::make_unique<PpdevBackend>(options, report);
    if (!options.tracePath.empty()) {
        auto trace = std::make_unique<TracePort>(backend->io(), options.tracePath);
        if (trace->isOpen()) {
            backend->setTrace(std::move(trace));
        } else if (report) {
            // Asked for a trace and silently without one would look like a run with no traffic.
            std::string text(kMsgTraceNotOpened);
            const std::string path = options.tracePath.string();
            const std::size_t at = text.find("%s");
            text.replace(at, 2, path);
            text.replace(text.find("%s", at + path.size()), 2, trace->openError());
            report(text);
        }
    }
    return backend;
}

} // namespace kv::printer
