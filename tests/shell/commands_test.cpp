#include "shell/commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

namespace kv::shell {
namespace {

using C = CommandId;

AppState albumWith(int pictures) {
    AppState state;
    state.albums.albumNames = {"My_Album"};
    state.albums.pictureCount = pictures;
    return state;
}

struct EnablingCase {
    std::string name;
    std::function<void(AppState&)> setUp;
    std::set<CommandId> disabled;
};

TEST(CommandState, EveryCommandIsGreyedExactlyWhenTheTableSays) {
    const std::set<CommandId> pictureCommands = {
        C::DeletePhoto,  C::SaveAs,       C::Rotate,          C::BatchPrint, C::PrintCurrent,
        C::ColourAdjust, C::LayoutFourUp, C::LayoutSixteenUp, C::Preview};
    const std::set<CommandId> previewCommands = {C::Open,         C::DeletePhoto,    C::Rotate,
                                                 C::BatchPrint,   C::ColourAdjust,   C::LayoutOneUp,
                                                 C::LayoutFourUp, C::LayoutSixteenUp};
    const std::set<CommandId> busyCommands = {
        C::Open,         C::DeletePhoto,  C::SaveAs,      C::Rotate,       C::BatchPrint,
        C::PrintCurrent, C::ColourAdjust, C::LayoutOneUp, C::LayoutFourUp, C::LayoutSixteenUp,
        C::Preview,      C::Exit,         C::HelpTopics,  C::Acquire,      C::SelectSource,
        C::PrintQuality, C::MediaType,    C::PrinterReset};

    const EnablingCase cases[] = {
        {"pictures at 1-up", [](AppState&) {}, {}},
        {"no pictures", [](AppState& s) { s.albums.pictureCount = 0; }, pictureCommands},
        {"preview", [](AppState& s) { s.previewMode = true; }, previewCommands},
        {"print busy", [](AppState& s) { s.printBusy = true; }, busyCommands},
        {"4-up", [](AppState& s) { s.layout = Layout::FourUp; }, {C::ColourAdjust}},
        {"16-up", [](AppState& s) { s.layout = Layout::SixteenUp; }, {C::ColourAdjust}},
        {"preview at 4-up",
         [](AppState& s) {
             s.layout = Layout::FourUp;
             s.previewMode = true;
         },
         previewCommands},
    };
    for (const EnablingCase& c : cases) {
        AppState state = albumWith(3);
        c.setUp(state);
        for (CommandId id : kAllCommands) {
            const bool expected = !c.disabled.contains(id);
            EXPECT_EQ(commandState(id, state, {}).enabled, expected)
                << c.name << ": command " << commandNumber(id);
        }
    }
}

TEST(CommandState, CheckMarksFollowTheStateAndTheFrame) {
    struct Case {
        std::string name;
        std::function<void(AppState&)> setUp;
        FrameView view;
        std::set<CommandId> checked;
    };
    const Case cases[] = {
        {"start",
         [](AppState&) {},
         {true, true},
         {C::LayoutOneUp, C::ToggleToolbar, C::ToggleStatus}},
        {"4-up, fitted",
         [](AppState& s) {
             s.layout = Layout::FourUp;
             s.fitToWindow = true;
         },
         {true, true},
         {C::LayoutFourUp, C::FitToWindow, C::ToggleToolbar, C::ToggleStatus}},
        {"16-up in preview, bars hidden",
         [](AppState& s) {
             s.layout = Layout::SixteenUp;
             s.previewMode = true;
         },
         {false, false},
         {C::LayoutSixteenUp, C::Preview}},
        // Greyed entries still show where things stand.
        {"print busy",
         [](AppState& s) { s.printBusy = true; },
         {false, true},
         {C::LayoutOneUp, C::ToggleStatus}},
    };
    for (const Case& c : cases) {
        AppState state = albumWith(2);
        c.setUp(state);
        for (CommandId id : kAllCommands)
            EXPECT_EQ(commandState(id, state, c.view).checked, c.checked.contains(id))
                << c.name << ": command " << commandNumber(id);
    }
}

TEST(CommandState, OnlyTheServiceKeysNeedDebugMode) {
    const std::set<CommandId> service = {C::ImageQuality, C::PrinterSetup, C::MediaRankTable,
                                         C::Adjuster, C::RasterFileOutput};
    for (CommandId id : kAllCommands)
        EXPECT_EQ(isDebugOnly(id), service.contains(id)) << commandNumber(id);
}

} // namespace
} // namespace kv::shell
