// The sheet on the web "Media" page: listed and selected, kept by "Save Changes" and a
// restart; a state that lost it (as older versions' page saved it) gets it back at start.
#include "print_server.h"

#include <gtest/gtest.h>

namespace kv::print_server {
namespace {

constexpr const char* kSheet = "oe_kelvor-sheet_3x4in";
constexpr const char* kMediaPage = "/Kelvor_Photo_Printer/media";

// Whether every media attribute names the sheet.
void expectSheetEverywhere(PrintServer& server) {
    const std::vector<std::string> names{"media-ready", "media-default", "media-col-ready",
                                         "media-col-default"};
    const Attributes media = server.printerAttributes(names);
    for (const std::string& name : names)
        EXPECT_NE(at(media, name).find(kSheet), std::string::npos)
            << name << ": " << at(media, name);
}

std::string session(const std::string& page) {
    std::smatch m;
    return std::regex_search(page, m, std::regex(R"(name="session" value="([^"]+)\")"))
               ? m[1].str()
               : std::string();
}

TEST(SheetMedia, WebPageListsAndKeepsTheSheetAndAStartRestoresIt) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    const std::string page = server.web(kMediaPage);
    EXPECT_NE(page.find(std::string("<option value=\"") + kSheet + "\" selected>"),
              std::string::npos)
        << page;
    const std::string token = session(page);
    ASSERT_FALSE(token.empty()) << page;

    // "Save Changes" as a browser sends it.
    server.web(kMediaPage, "session=" + token + "&ready0-size=" + kSheet +
                               "&ready0-borderless=on&ready0-type=photographic");
    expectSheetEverywhere(server);
    ASSERT_TRUE(server.stopAndRestart()) << server.log();
    expectSheetEverywhere(server);

    // A form without a size empties the ready media in PAPPL and its state file.
    server.web(kMediaPage, "session=" + session(server.web(kMediaPage)));
    EXPECT_EQ(server.printerAttributes({"media-ready"}).count("media-ready"), 0u);
    ASSERT_TRUE(server.stopAndRestart()) << server.log();
    expectSheetEverywhere(server);
}

} // namespace
} // namespace kv::print_server
