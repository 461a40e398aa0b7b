#include "shell/session.h"

#include "platform/leftovers.h"
#include "platform/paths.h"
#include "shell/shell_messages.h"

#include <algorithm>
#include <iostream>
#include <utility>

namespace kv::shell {

Session::Session(AppState& state, platform::Ui& ui, albums::AlbumEvents* events,
                 std::function<void()> pump)
    : m_state(state), m_ui(ui), m_events(events),
      m_clock(std::move(pump), [this] { return m_cleanedUp; }),
      m_portLibrary(std::make_unique<printer::PortLibrary>()),
      m_printerLink(std::make_unique<printer::PrinterLink>(m_portLibrary->api(), m_clock, m_ui,
                                                           nullptr, platform::systemDirectory())) {}

Session::~Session() = default;

bool Session::create(const std::filesystem::path& shippedDataDir, FirstReset firstReset) {
    if (!m_printBuffer.reserve())
        m_ui.message(kMsgPrintBufferReserve, platform::Ui::Icon::Information);

    if (!openProgramDirectory(shippedDataDir)) {
        // Without the album list there is nothing the window could show or keep.
        m_ui.message(std::string(kMsgAlbumListUnusable) +
                         (m_state.programDirectory / "album.dat").string() +
                         std::string(kMsgAlbumListUnusableTail),
                     platform::Ui::Icon::Stop);
        return false;
    }
    m_albumStore->loadAlbum(0, albums::AlbumChangeMode::Switching);
    m_state.clearPicture();

    loadAdjustmentSettings();
    loadMediaCalibration();
    loadPortLibrary(firstReset);
    return true;
}

bool Session::openProgramDirectory(const std::filesystem::path& shippedDataDir) {
    m_state.programDirectory = platform::programDirectory();
    // What interrupted runs of the program or the command line left behind.
    for (const std::filesystem::path& folder :
         {m_state.programDirectory, platform::systemDirectory(), platform::driveC()})
        platform::removeStaleLeftovers(folder);
    platform::installShippedData(shippedDataDir, m_state.programDirectory);

    m_albumStore = std::make_unique<albums::AlbumStore>(m_state.albums, m_ui,
                                                        m_state.programDirectory, m_events);
    return m_albumStore->readAlbumList(kDefaultAlbumName);
}

void Session::loadAdjustmentSettings() {
    m_pictureSettings = adjust::loadPictureAdjustSettings(m_state.programDirectory);
}

void Session::loadMediaCalibration() {
    media::loadMediaAtStart(m_state.programDirectory, m_mediaState, m_ledTable, m_ui);
}

media::MediaContext Session::mediaContext() {
    return {*m_printerLink, m_mediaState, m_ledTable, m_state.programDirectory,
            platform::systemDirectory()};
}

void Session::setPortLibraryFolder(std::filesystem::path folder) {
    m_portLibrary->setProgramFolder(std::move(folder));
}

bool Session::loadPortLibrary(FirstReset firstReset) {
    printer::PortLibraryStatus status;
    if (firstReset == FirstReset::AtCreation) {
        status = printer::bindPortLibrary(*m_portLibrary, *m_printerLink);
    } else {
        // What bindPortLibrary does, short of the reset and its waits.
        status = m_portLibrary->load();
        printer::reportPortLibraryStatus(status, m_ui);
        m_firstResetPending = status == printer::PortLibraryStatus::Loaded;
    }
    if (status == printer::PortLibraryStatus::Loaded)
        return true;
    std::cerr << m_portLibrary->location().string() << ": " << m_portLibrary->error() << '\n';
    return false;
}

void Session::unloadPortLibrary() {
    m_portLibrary->unload();
}

void Session::resetAfterBinding() {
    // Unloaded since (the run ended) is no reason to reset now.
    if (std::exchange(m_firstResetPending, false) && m_portLibrary->loaded())
        m_printerLink->resetAfterBinding();
}

void Session::setUpPrinterPort() {
    resetAfterBinding();
    // The missing library was reported at creation; a search now would only add
    // messages and overwrite the stored port address.
    if (!m_portLibrary->loaded()) {
        m_state.printerFound = false;
        return;
    }
    m_state.printerFound = m_printerLink->findPrinter();
}

void Session::checkPortLibrary() {
    printer::reportPortLibraryStatus(m_portLibrary->checkVersion().status, m_ui);
}

void Session::releasePrintBuffer() {
    if (!m_printBuffer.held())
        return;
    const platform::PrintBuffer::ReleaseOutcome outcome = m_printBuffer.release();
    if (!outcome.decommitted)
        m_ui.message(kMsgPrintBufferDecommit, platform::Ui::Icon::Information);
    if (!outcome.released)
        m_ui.message(kMsgPrintBufferRelease, platform::Ui::Icon::Information);
}

void Session::cleanUp(CleanupReason reason) {
    if (m_cleanedUp)
        return;
    m_cleanedUp = true;
    unloadPortLibrary();
    releasePrintBuffer();
    m_state.displayedPicture.reset();
    cleanUpTempDirectory(platform::driveC(), reason, m_ui);
}

} // namespace kv::shell
