#pragma once

#include "adjust/picture_adjust_settings.h"
#include "albums/album_store.h"
#include "media/media_service.h"
#include "media/media_state.h"
#include "platform/clock.h"
#include "platform/print_buffer.h"
#include "platform/ui.h"
#include "printer/led_table.h"
#include "printer/port_library.h"
#include "printer/printer_link.h"
#include "shell/app_state.h"
#include "shell/temp_directory.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace kv::shell {

// What the main window owns for the run, and the steps it takes when it is
// created and when the run ends. No windows here: the main window calls in.
class Session {
  public:
    // `pump` runs between the slices of every printer wait (repaints, no input).
    Session(AppState& state, platform::Ui& ui, albums::AlbumEvents* events = nullptr,
            std::function<void()> pump = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // When the printer's first reset after binding the port library runs: at once,
    // or with setUpPrinterPort() (a window paints first; the reset waits 300 ms).
    enum class FirstReset { AtCreation, WithPortSetUp };

    // The main window's creation steps: printer buffer, program directory and its
    // shipped data, album list and album 0, settings, port library. Returns false
    // when the window cannot be created (the album list cannot be read or made).
    bool create(const std::filesystem::path& shippedDataDir,
                FirstReset firstReset = FirstReset::AtCreation);

    // The creation steps a front end without windows takes one by one. The program
    // directory with its shipped data and the album list (album.dat is made at the
    // first start); false when the list cannot be read or made.
    bool openProgramDirectory(const std::filesystem::path& shippedDataDir);
    // The picture adjustment settings of kvx00.ini; before the media calibration.
    void loadAdjustmentSettings();
    // Rank table, media selection, base media and gamma curves, in start-up order.
    void loadMediaCalibration();
    // Binds the port library and resets the printer; false (told) when it cannot be bound.
    bool loadPortLibrary(FirstReset firstReset = FirstReset::AtCreation);

    // The first reset that creation left for later (FirstReset::WithPortSetUp).
    // Nothing when it has run or the port library is gone.
    void resetAfterBinding();
    // Finds the printer's parallel port and sets the printer-found flag. Without
    // the port library the flag stays clear and nothing more is said. A first reset
    // still left for later runs before the search.
    void setUpPrinterPort();

    // Where the port library is looked for first (the program's folder).
    void setPortLibraryFolder(std::filesystem::path folder);
    // Ctrl+X: loads the port library anew and asks its version; only failures show.
    void checkPortLibrary();

    // Releases what the run holds and removes the temporary directory. Runs once;
    // later calls do nothing, so a session end followed by the window's
    // destruction tells the user at most once.
    void cleanUp(CleanupReason reason);
    bool cleanedUp() const { return m_cleanedUp; }

    albums::AlbumStore* albumStore() { return m_albumStore.get(); }
    bool printBufferHeld() const { return m_printBuffer.held(); }
    // Everything that talks to the printer goes through this link. Its calls are
    // refused safely (no port touched) while the port library is not bound.
    printer::PrinterLink& printerLink() { return *m_printerLink; }
    printer::PortLibrary& portLibrary() { return *m_portLibrary; }
    // The run's media records and the LED table state the uploads use.
    media::MediaState& mediaState() { return m_mediaState; }
    // The one picture adjustment record of the run: the quality dialogs change it,
    // every print job reads it.
    adjust::PictureAdjustSettings& pictureSettings() { return m_pictureSettings; }
    printer::LedTable& ledTable() { return m_ledTable; }
    // What the media type dialog and the print-time media check work on.
    media::MediaContext mediaContext();

  private:
    void unloadPortLibrary();
    void releasePrintBuffer();

    AppState& m_state;
    platform::Ui& m_ui;
    albums::AlbumEvents* m_events;
    platform::PrintBuffer m_printBuffer;
    std::unique_ptr<albums::AlbumStore> m_albumStore;
    // Real time with the pump between slices until the run has ended. The port library
    // is gone then and every port call is refused, so what is left of a wait passes at
    // once: a window closed during the port set-up ends without the set-up's seconds.
    platform::SystemClock m_clock;
    std::unique_ptr<printer::PortLibrary> m_portLibrary;
    std::unique_ptr<printer::PrinterLink> m_printerLink;
    media::MediaState m_mediaState;
    adjust::PictureAdjustSettings m_pictureSettings;
    printer::LedTable m_ledTable;
    bool m_firstResetPending = false;
    bool m_cleanedUp = false;
};

} // namespace kv::shell
