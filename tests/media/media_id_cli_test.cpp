// "kvphoto-cli media id" in process, through a port library whose virtual printer can be
// told to lose an acknowledge.
#include "cli/cli.h"
#include "printer/scoped_env.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace kv::media {
namespace {

namespace fs = std::filesystem;

struct RunResult {
    int code;
    std::string out;
    std::string err;
};

RunResult mediaId(const std::string& id) {
    const std::vector<std::string> args = {"media", "id", id};
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::run(args, out, err, {});
    return {code, out.str(), err.str()};
}

// A table that did not reach the printer is a failed command, and b10 is written only
// for the one that did; stored settings stay and the next run uploads again.
TEST(MediaIdCommand, FailedUploadStopsAndWritesNoDump) {
    kv::test::ScopedProgramFolders folders;
    kv::test::TempDir out;
    printer::ScopedEnv env;
    env.set("KVPR_PORT", "sim");
    env.set("KVPR_PORT_LIBRARY", KV_LIB_FIVE);
    env.set("KVPR_PORT_TRACE", nullptr);
    env.set("KVPR_SIM_OUT", out.path().c_str());
    env.set("KVPR_SIM_WARMUP_MS", "0");

    // Data byte 0 of the first write: the LED table, the only write of the command.
    const struct {
        const char* loseDataAck;
        const char* id;
        int code;
        std::string err;
        bool uploaded;
    } runs[] = {
        {"0", "amnmmmmmmm", 1, "Fehler beim Absenden des Befehls.\n", false},
        {nullptr, "amnmmmmmmm", 0, "", true},
    };
    for (const auto& r : runs) {
        env.set("KV_TEST_LOSE_DATA_ACK", r.loseDataAck);
        const RunResult run = mediaId(r.id);
        EXPECT_EQ(run.code, r.code) << run.err;
        EXPECT_EQ(run.err, r.err);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(fs::exists(folders.home() / "b10"), r.uploaded);
        const std::string kvprn = kv::test::readBytes(folders.system() / "kvprn.ini");
        EXPECT_EQ(kvprn.find("IDString=AMNMMMMMMM") != std::string::npos, r.uploaded) << kvprn;
        EXPECT_NE(kv::test::readBytes(folders.home() / "Kvx00.ini").find("sensM=N\r\n"),
                  std::string::npos);
    }
}

} // namespace
} // namespace kv::media
