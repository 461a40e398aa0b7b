#pragma once

#include "albums/album_store.h"
#include "platform/ui.h"
#include "shell/app_state.h"

#include <array>

namespace kv::shell {

// Every command the main window routes, numbered as the menu, toolbar and
// accelerator resources number them.
enum class CommandId : int {
    Open = 32771,
    DeletePhoto = 32836,
    SaveAs = 32828,
    Acquire = 32834,
    SelectSource = 32835,
    Exit = 57665,
    LayoutOneUp = 32815,
    LayoutFourUp = 32818,
    LayoutSixteenUp = 32816,
    PrintCurrent = 32779,
    BatchPrint = 32832,
    ColourAdjust = 32858,
    PrintQuality = 32857,
    MediaType = 32856,
    ToggleToolbar = 59392,
    ToggleStatus = 59393,
    Rotate = 32819,
    FitToWindow = 32775,
    Preview = 32823,
    HelpTopics = 57670,
    About = 57664,
    PrinterReset = 32847,
    PortLibraryCheck = 57635,
    ImageQuality = 32800,
    PrinterSetup = 32854,
    MediaRankTable = 32855,
    Adjuster = 145,
    RasterFileOutput = 32860,
    AddStagedPicture = 1124,
    DisplaySelected = 1157,
};

inline constexpr std::array kAllCommands = {
    CommandId::Open,
    CommandId::DeletePhoto,
    CommandId::SaveAs,
    CommandId::Acquire,
    CommandId::SelectSource,
    CommandId::Exit,
    CommandId::LayoutOneUp,
    CommandId::LayoutFourUp,
    CommandId::LayoutSixteenUp,
    CommandId::PrintCurrent,
    CommandId::BatchPrint,
    CommandId::ColourAdjust,
    CommandId::PrintQuality,
    CommandId::MediaType,
    CommandId::ToggleToolbar,
    CommandId::ToggleStatus,
    CommandId::Rotate,
    CommandId::FitToWindow,
    CommandId::Preview,
    CommandId::HelpTopics,
    CommandId::About,
    CommandId::PrinterReset,
    CommandId::PortLibraryCheck,
    CommandId::ImageQuality,
    CommandId::PrinterSetup,
    CommandId::MediaRankTable,
    CommandId::Adjuster,
    CommandId::RasterFileOutput,
    CommandId::AddStagedPicture,
    CommandId::DisplaySelected,
};

constexpr int commandNumber(CommandId id) {
    return static_cast<int>(id);
}

// The service commands: they do nothing unless the program runs with "/debug".
bool isDebugOnly(CommandId id);

// What the frame shows of itself; the toggles' check marks follow it.
struct FrameView {
    bool toolbarVisible = true;
    bool statusVisible = true;
};

struct CommandState {
    bool enabled = true;
    bool checked = false;
    friend bool operator==(const CommandState&, const CommandState&) = default;
};

// Whether a command can be given now and whether its menu entry carries a check
// mark, read from the application state alone.
CommandState commandState(CommandId id, const AppState& state, FrameView view);

// "Löschen" (32836): asks, then deletes the selected picture from the current
// album; the selection, the displayed picture and the colour-adjusted copy go with
// it. Refused (told) when nothing is selected; Cancelled when not confirmed.
albums::StoreResult deleteSelectedPhoto(AppState& state, albums::AlbumStore& store,
                                        platform::Ui& ui);

} // namespace kv::shell
