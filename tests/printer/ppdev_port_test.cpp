#include "printer/port_backend.h"
#include "printer/ppdev_port.h"
#include "scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace kv::printer {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeBytes;

using Ports = std::map<std::uint16_t, std::string>;

// A /proc/sys/dev/parport tree: one folder per port with its base-addr file.
void addProcPort(const TempDir& proc, const std::string& name, const std::string& baseAddr) {
    fs::create_directories(proc / name);
    writeBytes(proc / name / "base-addr", baseAddr);
}

// Records every driver call of every device it makes, in one log.
struct FakeDrivers {
    std::vector<std::string> log;
    int openError = 0;
    int claimError = 0;
    std::uint8_t status = 0xDF;

    PpdevPort::DeviceFactory factory() {
        return [this] { return std::make_unique<Device>(*this); };
    }

    struct Device : PpdevDevice {
        explicit Device(FakeDrivers& d) : drivers(d) {}
        int open(const std::string& path) override {
            drivers.log.push_back("open " + path);
            return drivers.openError;
        }
        void close() override { drivers.log.push_back("close"); }
        int claim() override {
            drivers.log.push_back("claim");
            return drivers.claimError;
        }
        int release() override {
            drivers.log.push_back("release");
            return 0;
        }
        int readData(std::uint8_t& v) override {
            drivers.log.push_back("rdata");
            v = data;
            return 0;
        }
        int writeData(std::uint8_t v) override {
            drivers.log.push_back("wdata " + std::to_string(v));
            data = v;
            return 0;
        }
        int readStatus(std::uint8_t& v) override {
            drivers.log.push_back("rstatus");
            v = drivers.status;
            return 0;
        }
        int readControl(std::uint8_t& v) override {
            drivers.log.push_back("rcontrol");
            v = control;
            return 0;
        }
        int writeControl(std::uint8_t v) override {
            drivers.log.push_back("wcontrol " + std::to_string(v));
            control = v;
            return 0;
        }
        FakeDrivers& drivers;
        std::uint8_t data = 0;
        std::uint8_t control = 0;
    };
};

TEST(PpdevMapping, StandardAddressesFromProcAndAdaptersOnTheFreeOnes) {
    TempDir proc;
    addProcPort(proc, "parport0", "632\t1656\n");
    addProcPort(proc, "parport1", "888\t1912\n");
    addProcPort(proc, "parport2", "0\t0\n");    // a USB adapter
    addProcPort(proc, "parport10", "956\t0\n"); // sorts after parport2
    addProcPort(proc, "parport3", "garbage\n"); // unreadable: left out
    fs::create_directories(proc / "default");   // the driver's own settings folder
    writeBytes(proc / "default" / "spintime", "500\n");

    EXPECT_EQ(mapStandardPorts(proc.path(), "/dev"), (Ports{{0x378, "/dev/parport1"},
                                                            {0x278, "/dev/parport0"},
                                                            {0x3BC, "/dev/parport10"},
                                                            {0x2BC, "/dev/parport2"}}));
    EXPECT_TRUE(mapStandardPorts(proc / "missing", "/dev").empty());
}

TEST(PpdevPort, RegistersOfAMappedPortReachItsDeviceClaimedUntilTheEnd) {
    FakeDrivers drivers;
    std::vector<std::string> reports;
    {
        PpdevPort port({{0x378, "/dev/parport0"}}, drivers.factory(),
                       [&](std::string_view t) { reports.emplace_back(t); });
        EXPECT_TRUE(drivers.log.empty()) << "nothing opened before the first access";
        port.out(0x378, 0x4A);
        port.out(0x37A, 0x08);
        port.out(0x379, 0x11); // status is read-only
        EXPECT_EQ(port.in(0x379), 0xDF);
        EXPECT_EQ(port.in(0x37A), 0x08);
        EXPECT_EQ(port.in(0x378), 0x4A);
        EXPECT_EQ(port.in(0x37B), 0xFF); // past the three registers

        // Nothing behind the other standard addresses: an empty ISA slot.
        port.out(0x278, 0x4A);
        EXPECT_EQ(port.in(0x279), 0xFF);
        EXPECT_FALSE(port.hasPort(0x278));
        EXPECT_TRUE(port.hasPort(0x378));
    }
    EXPECT_EQ(drivers.log,
              (std::vector<std::string>{"open /dev/parport0", "claim", "wdata 74", "wcontrol 8",
                                        "rstatus", "rcontrol", "rdata", "release", "close"}));
    EXPECT_TRUE(reports.empty());
}

TEST(PpdevPort, ADeviceThatCannotBeUsedIsReportedOnceAndActsAsNoPort) {
    struct Case {
        int openError;
        int claimError;
        std::vector<std::string> log;
        std::string mustMention;
    };
    const Case cases[] = {
        {EACCES, 0, {"open /dev/parport0"}, "Gruppe lp"},
        {EPERM, 0, {"open /dev/parport0"}, "Gruppe lp"},
        {ENOENT, 0, {"open /dev/parport0"}, "kann nicht geöffnet werden"},
        {0, EINTR, {"open /dev/parport0", "claim", "close"}, "belegt"},
    };
    for (const Case& c : cases) {
        FakeDrivers drivers;
        drivers.openError = c.openError;
        drivers.claimError = c.claimError;
        std::vector<std::string> reports;
        {
            PpdevPort port({{0x378, "/dev/parport0"}}, drivers.factory(),
                           [&](std::string_view t) { reports.emplace_back(t); });
            EXPECT_EQ(port.in(0x379), 0xFF);
            port.out(0x378, 1);
            EXPECT_FALSE(port.hasPort(0x378));
            EXPECT_EQ(port.lastError(), reports.empty() ? "" : reports[0]);
        }
        EXPECT_EQ(drivers.log, c.log) << c.mustMention;
        ASSERT_EQ(reports.size(), 1u) << c.mustMention;
        EXPECT_NE(reports[0].find(c.mustMention), std::string::npos) << reports[0];
        EXPECT_NE(reports[0].find("/dev/parport0"), std::string::npos) << reports[0];
    }
}

TEST(PortBackend, DescribedInOneLine) {
    TempDir proc;
    TempDir dev;
    addProcPort(proc, "parport0", "888\t1912\n");
    BackendOptions ppdev;
    ppdev.kind = BackendOptions::Kind::Ppdev;
    ppdev.procDir = proc.path();
    ppdev.deviceDir = "/dev";
    BackendOptions none = ppdev;
    none.procDir = proc / "missing";
    BackendOptions traced;
    traced.tracePath = "/tmp/port.trace";

    EXPECT_EQ(describeBackend(BackendOptions{}), "Druckeranschluss: virtueller Drucker (sim)");
    EXPECT_EQ(describeBackend(traced), "Druckeranschluss: virtueller Drucker (sim), Mitschrift "
                                       "in /tmp/port.trace");
    EXPECT_EQ(describeBackend(ppdev), "Druckeranschluss: ppdev /dev/parport0 (0x378)");
    EXPECT_EQ(describeBackend(none), "Druckeranschluss: ppdev (kein Parallelport gefunden)");

    EXPECT_FALSE(machineHasParport(dev.path()));
    writeBytes(dev / "parport0", "");
    EXPECT_TRUE(machineHasParport(dev.path()));
}

TEST(PortBackend, OptionsFromTheEnvironment) {
    test::ScopedProgramFolders folders;
    struct Case {
        const char* port;
        const char* warmUp;
        BackendOptions::Kind kind;
        std::uint32_t warmUpMs;
        bool warned;
    };
    const Case cases[] = {
        {"sim", "0", BackendOptions::Kind::Sim, 0, false},
        {"ppdev", "250", BackendOptions::Kind::Ppdev, 250, false},
        {"lpt1", "12x", BackendOptions::Kind::Sim, 5000, true}, // never a real port by mistake
        {"sim", "-5", BackendOptions::Kind::Sim, 5000, false},
    };
    for (const Case& c : cases) {
        ScopedEnv env;
        env.set("KVPR_PORT", c.port);
        env.set("KVPR_SIM_WARMUP_MS", c.warmUp);
        env.set("KVPR_SIM_OUT", nullptr);
        env.set("KVPR_PORT_TRACE", nullptr);
        const BackendOptions options = backendOptionsFromEnvironment();
        EXPECT_EQ(options.kind, c.kind) << c.port;
        EXPECT_EQ(options.warmUpMs, c.warmUpMs) << c.warmUp;
        EXPECT_EQ(!options.warning.empty(), c.warned) << c.port;
        EXPECT_EQ(options.simOutput, folders.home() / "virtual-printer/");
        EXPECT_TRUE(options.tracePath.empty());
    }
}

} // namespace
} // namespace kv::printer
