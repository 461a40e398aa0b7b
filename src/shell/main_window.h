#pragma once

#include "albums/album_store.h"
#include "albums/album_window_host.h"
#include "intake/acquisition.h"
#include "intake/open_files.h"
#include "jobs/print_job.h"
#include "platform/launch_tokens.h"
#include "platform/qt_ui.h"
#include "shell/app_state.h"
#include "shell/commands.h"
#include "shell/help_window.h"
#include "shell/session.h"

#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class QToolBar;

namespace kv::albums {
class AlbumWindow;
class ThumbnailWindow;
} // namespace kv::albums
namespace kv::platform::scanner {
class SaneScanner;
}
namespace kv::jobs {
class StatusWindow;
}
namespace kv::render {
class PrintWindow;
}

namespace kv::shell {

// The program's main frame: menus, toolbar, keys, the child windows and the
// routing of every command to the part of the program that carries it out.
class MainWindow : public QMainWindow,
                   public albums::AlbumEvents,
                   public albums::AlbumWindowHost,
                   private jobs::JobHost {
    Q_OBJECT
  public:
    // `ui` answers the window's prompts; without one the window shows message boxes.
    explicit MainWindow(AppState& state, platform::Ui* ui = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The creation steps, then the child windows; false when the window cannot be made.
    bool create(const std::filesystem::path& shippedDataDir,
                Session::FirstReset firstReset = Session::FirstReset::AtCreation);

    // Watches the program directory for other programs' album changes and looks at
    // the disk once; for a window made with FirstReset::WithPortSetUp, whose watch
    // starts with the rest of the start-up after the first paint. Once only.
    void startWatching();
    // A second launch asked for this window: restore, raise and activate it, with
    // the tokens that launch was given by the desktop.
    void bringToFront(const platform::LaunchTokens& launch = {});
    // Files dropped on the window or named when the program was started: added
    // to the current album in order.
    void addDroppedFiles(const QStringList& paths);

    // The desktop session or a termination request ends the run.
    void endSession();

    // Every menu entry, toolbar button and key ends up here.
    void dispatch(CommandId id);
    // Greys and checks every command from the application state.
    void updateCommandStates();

    QAction* commandAction(CommandId id) const;
    bool toolbarShown() const { return m_toolbarShown; }
    bool statusShown() const { return m_statusShown; }
    HelpWindow* helpWindow() const { return m_helpWindow; }

    platform::Ui& ui() { return *m_ui; }
    Session& session() { return m_session; }

    // The scanner wrote one page; `pagesToCome` more follow.
    void scannerPageTransferred(int pagesToCome, const QString& path);
    // The scanner the application opened for the run; none means no scanner.
    void setScanner(platform::scanner::SaneScanner* scanner) { m_scanner = scanner; }

    // albums::AlbumEvents
    void albumLoaded() override;
    void pictureRotated(int index) override;
    void albumListChanged() override;
    void pictureTableReloaded() override;

    // albums::AlbumWindowHost
    void displaySelectedPicture() override;
    QWidget* printWindow() override;
    void placeOnSheet(QPoint pos) override;
    void refreshViews() override;

    // The print job engine, once the window is created.
    jobs::PrintJob* printJob() { return m_printJob.get(); }

  signals:
    // The window has been painted for the first time (sent once).
    void firstPainted();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // No toolbar on/off menu on a right click: the view menu does that.
    QMenu* createPopupMenu() override { return nullptr; }

  private:
    void placeCentred();
    QAction* makeCommand(CommandId id, std::string_view caption);
    void buildMenus();
    void buildToolbar();
    void buildKeyCommands();
    void createChildren();
    void layoutChildren();
    FrameView frameView() const { return {m_toolbarShown, m_statusShown}; }

    // File menu.
    void openFiles();
    void deletePhoto();
    void saveAs();
    void acquireFromScanner();
    void selectScannerSource();
    // The device chosen with "select source", else the first one found; empty for none.
    std::string scannerDevice();
    // Tools menu.
    void switchLayout(Layout layout);
    void composeSheet();
    void printCurrentPhoto();
    void batchPrint();
    void adjustColour();
    void openColourDialog();
    void openPrintQualityDialog();
    void openMediaTypeDialog();
    // View menu.
    void toggleToolbar();
    void toggleStatusWindow();
    void rotatePhoto();
    void toggleFitToWindow();
    void togglePreview();
    // Help menu.
    void showHelp();
    void showAbout();
    // Keys only.
    void resetPrinter();
    void checkPortLibrary();
    void openImageQualityDialog();
    void openPrinterSetupDialog();
    void openMediaRankDialog();
    void openAdjuster();
    void printToRasterFile();
    // Sent from inside the program.
    void addStagedPicture();
    void jobStep();
    void showAddedPictures();
    void repaintPictureViews();
    // The loaded picture shown again when its row was turned or its file replaced
    // since it was shown (by another program, too): what prints is what is shown.
    void showLoadedAgainIfChanged();
    // kvphoto-cli or another program changed the program directory: the windows
    // show what is on disk now.
    void watchProgramDirectory();
    void syncFromDisk();

    // A wait for the port kept by another program, whoever waits: shown in the status
    // strip, the window takes input meanwhile (the printer commands greyed), ESC stops it.
    bool portWaitLook();
    void portWaitOver(printer::PrinterLink::PortWaitEnd end);
    // ESC is the window's to read while a transfer or a port wait runs.
    void catchEscape();

    // jobs::JobHost
    void armTimer(int ms) override;
    bool pumpOneEvent() override;
    void transferring(bool on) override;
    void batchPictureShown(int index) override;

    AppState& m_state;
    std::unique_ptr<platform::QtUi> m_ownUi;
    platform::Ui* m_ui;
    Session m_session;
    platform::scanner::SaneScanner* m_scanner = nullptr;
    std::string m_scannerDevice;
    QString m_acquireTarget;
    intake::Acquisition m_acquisition;

    std::map<CommandId, QAction*> m_actions;
    QToolBar* m_toolBar = nullptr;
    QWidget* m_client = nullptr; // the area below the toolbar that holds the children
    jobs::StatusWindow* m_statusWindow = nullptr;
    render::PrintWindow* m_printWindow = nullptr;
    QAction* m_proofAction = nullptr;
    QAction* m_markUnprintableAction = nullptr;
    albums::AlbumWindow* m_albumWindow = nullptr;
    albums::ThumbnailWindow* m_thumbnailWindow = nullptr;
    QPointer<HelpWindow> m_helpWindow;
    // The open-files dialog's folder: completes the display name of a staged picture.
    std::filesystem::path m_openFolder;
    // What the open-files dialog keeps between its openings (the type filter).
    intake::OpenFilesMemory m_openFiles;
    // One step of the print job engine per shot; the engine re-arms it.
    QTimer m_jobTimer;
    std::unique_ptr<jobs::PrintJob> m_printJob;
    // During the raster transfer ESC is taken from the window and read by the job.
    bool m_transferring = false;
    bool m_albumChangesLocked = false; // "Neu"/"Löschen" off until the job ends
    bool m_escPressed = false;
    bool m_catchingEscape = false;
    bool m_portWaiting = false;
    bool m_portWaitMadeBusy = false; // the wait is no job's: print busy is the wait's own
    // ESC in a port wait, or a job's wait that gave up (told once): the link's waits
    // end at once until the next command or job step.
    bool m_portStop = false;
    std::uint32_t m_portWaitStart = 0;

    bool m_toolbarShown = true;
    bool m_statusShown = true;
    bool m_placed = false;
    bool m_painted = false;

    QFileSystemWatcher m_directoryWatcher;
    // A change on disk is taken up once the writes around it have ended.
    QTimer m_syncTimer;
};

} // namespace kv::shell
