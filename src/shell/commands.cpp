#include "shell/commands.h"

#include "shell/shell_messages.h"

namespace kv::shell {

bool isDebugOnly(CommandId id) {
    switch (id) {
    case CommandId::ImageQuality:
    case CommandId::PrinterSetup:
    case CommandId::MediaRankTable:
    case CommandId::Adjuster:
    case CommandId::RasterFileOutput:
        return true;
    default:
        return false;
    }
}

CommandState commandState(CommandId id, const AppState& state, FrameView view) {
    const bool preview = state.previewMode;
    const bool busy = state.printBusy;
    const bool noPictures = state.albums.pictureCount == 0;
    const Layout layout = state.layout;

    switch (id) {
    case CommandId::Open:
    case CommandId::LayoutOneUp:
        return {!(preview || busy), id == CommandId::LayoutOneUp && layout == Layout::OneUp};
    case CommandId::DeletePhoto:
    case CommandId::Rotate:
    case CommandId::BatchPrint:
        return {!(preview || noPictures || busy), false};
    case CommandId::SaveAs:
    case CommandId::PrintCurrent:
        return {!(noPictures || busy), false};
    case CommandId::ColourAdjust:
        return {!(preview || noPictures || layout != Layout::OneUp || busy), false};
    case CommandId::LayoutFourUp:
        return {!(preview || noPictures || busy), layout == Layout::FourUp};
    case CommandId::LayoutSixteenUp:
        return {!(preview || noPictures || busy), layout == Layout::SixteenUp};
    case CommandId::Preview:
        return {!(noPictures || busy), preview};
    case CommandId::FitToWindow:
        return {true, state.fitToWindow};
    case CommandId::ToggleToolbar:
        return {true, view.toolbarVisible};
    case CommandId::ToggleStatus:
        return {true, view.statusVisible};
    // Closing the window mid-job would cut the printer off in the middle of a sheet.
    case CommandId::Exit:
    case CommandId::HelpTopics:
    case CommandId::Acquire:
    case CommandId::SelectSource:
    case CommandId::PrintQuality:
    case CommandId::MediaType:
    // A reset in the middle of a sheet would lose the page without a word.
    case CommandId::PrinterReset:
        return {!busy, false};
    default:
        return {true, false};
    }
}

albums::StoreResult deleteSelectedPhoto(AppState& state, albums::AlbumStore& store,
                                        platform::Ui& ui) {
    using Icon = platform::Ui::Icon;
    albums::AlbumState& albums = state.albums;
    if (albums.selectedPicture() < 0 || albums.selectedPicture() >= albums.pictureCount) {
        ui.message(kMsgNoPhotoToDelete, Icon::None);
        return albums::StoreResult::Refused;
    }
    if (ui.ask(kAskDeletePhoto, platform::Ui::Buttons::YesNo, Icon::Question) !=
        platform::Ui::Answer::Yes)
        return albums::StoreResult::Cancelled;
    const albums::StoreResult result = store.deletePicture(albums.selectedPicture());
    if (result == albums::StoreResult::Refused)
        return result;
    albums.pictureDeleted = true;
    // The picture on show may be the one just deleted.
    state.clearPicture();
    state.adjustedPicturePresent = false;
    return result;
}

} // namespace kv::shell
