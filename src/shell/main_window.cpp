#include "shell/main_window.h"
#include "platform/qt_text.h"

#include "adjust/colour_adjust_dialog.h"
#include "adjust/quality_dialog.h"
#include "albums/album_window.h"
#include "albums/thumbnail_window.h"
#include "intake/acquisition.h"
#include "intake/intake_dialogs.h"
#include "intake/intake_messages.h"
#include "intake/open_files_dialog.h"
#include "intake/picture_intake.h"
#include "jobs/adjuster_dialog.h"
#include "jobs/status_window.h"
#include "media/media_type_dialog.h"
#include "media/printer_setup_dialog.h"
#include "media/rank_table_dialog.h"
#include "platform/font_warm_up.h"
#include "platform/images_qt.h"
#include "platform/paths.h"
#include "platform/scanner/sane_scanner.h"
#include "platform/window_activation_qt.h"
#include "printer/port_backend.h"
#include "render/layout_composition.h"
#include "render/print_preparation.h"
#include "render/print_window.h"
#include "shell/child_layout.h"
#include "shell/help_window.h"
#include "shell/shell_messages.h"
#include "shell/startup.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace kv::shell {

namespace {

using Icon = platform::Ui::Icon;

using platform::qs;

// Writes of another program come in bursts (a file, its partner, the journal).
constexpr int kDiskSyncDelayMs = 150;

QRect toQRect(const Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

void place(QWidget* widget, const Rect& rect, bool visible) {
    if (!widget)
        return;
    widget->setGeometry(toQRect(rect));
    widget->setVisible(visible);
}

// Local files only: what the intake can read.
QStringList droppedFiles(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

// The commands that talk to the printer (or rebind its library): none may start
// while a port wait of the window lets input in.
bool talksToPrinter(CommandId id) {
    switch (id) {
    case CommandId::PrintCurrent:
    case CommandId::BatchPrint:
    case CommandId::RasterFileOutput:
    case CommandId::PrinterReset:
    case CommandId::PortLibraryCheck:
    case CommandId::MediaType:
    case CommandId::PrinterSetup:
    case CommandId::Adjuster:
        return true;
    default:
        return false;
    }
}

struct ToolbarButton {
    CommandId id;
    const char* image;
    std::string_view tip;
};

} // namespace

MainWindow::MainWindow(AppState& state, platform::Ui* ui, QWidget* parent)
    : QMainWindow(parent), m_state(state),
      m_ownUi(ui ? nullptr : std::make_unique<platform::QtUi>(this)), m_ui(ui ? ui : m_ownUi.get()),
      m_session(state, *m_ui, this,
                [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }) {
    m_session.setPortLibraryFolder(QCoreApplication::applicationDirPath().toStdString());
    setObjectName(qs(kWindowClass));
    setWindowTitle(qs(kWindowTitle));
    setContextMenuPolicy(Qt::NoContextMenu);
    QIcon icon;
    for (int size : {16, 32, 48}) {
        const QPixmap image = platform::programImage("app-icon", QSize(size, size));
        if (!image.isNull())
            icon.addPixmap(image);
    }
    if (!icon.isNull())
        setWindowIcon(icon);

    m_jobTimer.setSingleShot(true);
    m_jobTimer.setInterval(100);
    connect(&m_jobTimer, &QTimer::timeout, this, &MainWindow::jobStep);

    buildMenus();
    buildToolbar();
    buildKeyCommands();
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("FrameClient"));
    m_client->installEventFilter(this);
    setCentralWidget(m_client);
    updateCommandStates();
    placeCentred();
}

MainWindow::~MainWindow() {
    // The album windows use the session's album store: they go before it does.
    m_session.printerLink().setProgress(nullptr);
    delete m_helpWindow;
    delete m_client;
    m_client = nullptr;
    m_session.cleanUp(CleanupReason::WindowDestroyed);
}

bool MainWindow::create(const std::filesystem::path& shippedDataDir,
                        Session::FirstReset firstReset) {
    if (!m_session.create(shippedDataDir, firstReset))
        return false;
    // The tab bar measures the first text.
    platform::finishFontWarmUp();
    createChildren();
    // The program's own start watches once its window is on the screen (startWatching):
    // a window closed before that never had a watch to take down, which costs the
    // kernel a grace period of several milliseconds at exit.
    if (firstReset == Session::FirstReset::AtCreation)
        watchProgramDirectory();
    printer::PrinterLink& link = m_session.printerLink();
    link.setProgress(m_statusWindow);
    link.setPortWaitNotice([this](bool waiting) { return !waiting || portWaitLook(); });
    link.setPortWaitEnd([this](printer::PrinterLink::PortWaitEnd end) { portWaitOver(end); });
    link.setStopRequest([this] { return m_portStop || m_session.cleanedUp(); });
    // Another program's album change keeps the window painted; no input is taken, as
    // the change waiting here must not meet another one of the window's.
    m_session.albumStore()->setLockPump(
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    m_printJob = std::make_unique<jobs::PrintJob>(
        jobs::JobContext{m_state, *m_ui, m_session.printerLink(), m_session.mediaContext(),
                         m_session.pictureSettings(), platform::tempDirectory(),
                         render::defaultBmxFile()},
        static_cast<jobs::JobHost&>(*this));
    updateCommandStates();
    return true;
}

void MainWindow::createChildren() {
    m_statusWindow = new jobs::StatusWindow(m_state, m_client);
    m_printWindow = new render::PrintWindow(m_state, m_client);
    m_printWindow->setProofSource(
        [this] {
            const media::MediaContext media = m_session.mediaContext();
            return render::ProofInputs{m_session.pictureSettings(), media.media.calibration,
                                       media.media.gamma, media.programDir};
        },
        platform::tempDirectory());
    albums::AlbumStore& store = *m_session.albumStore();
    // The thumbnail window talks to the tab bar, so the album window comes first.
    m_albumWindow = new albums::AlbumWindow(m_state, store, *m_ui, *this, m_client);
    m_thumbnailWindow =
        new albums::ThumbnailWindow(m_state, store, *m_ui, *this, *m_albumWindow, m_client);
    connect(m_albumWindow, &albums::AlbumWindow::albumShown, this,
            &MainWindow::updateCommandStates);
    layoutChildren();
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(kDiskSyncDelayMs);
    connect(&m_syncTimer, &QTimer::timeout, this, &MainWindow::syncFromDisk);
    connect(&m_directoryWatcher, &QFileSystemWatcher::directoryChanged, this,
            [this] { m_syncTimer.start(); });
}

void MainWindow::watchProgramDirectory() {
    // Every album file is written beside its place and renamed into it, so the
    // folder itself changes with every write of any program.
    m_directoryWatcher.addPath(QString::fromStdString(m_state.programDirectory.string()));
}

void MainWindow::startWatching() {
    if (!m_directoryWatcher.directories().isEmpty())
        return;
    watchProgramDirectory();
    // What other programs changed since the album was read.
    m_syncTimer.start();
}

void MainWindow::syncFromDisk() {
    albums::AlbumStore* store = m_session.albumStore();
    if (!store)
        return;
    // Not while a job reads the album, a dialog of ours is open or an album change
    // waits for its lock: later.
    if (m_state.printBusy || QApplication::activeModalWidget() || store->busy()) {
        m_syncTimer.start();
        return;
    }
    store->syncFromDisk();
}

QAction* MainWindow::makeCommand(CommandId id, std::string_view caption) {
    auto* action = new QAction(qs(caption), this);
    action->setObjectName(QStringLiteral("cmd%1").arg(commandNumber(id)));
    action->setData(commandNumber(id));
    connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
    m_actions[id] = action;
    return action;
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();

    QMenu* file = bar->addMenu(qs(kMenuFile));
    file->addAction(makeCommand(CommandId::Open, kMenuOpen));
    file->addAction(makeCommand(CommandId::DeletePhoto, kMenuDelete));
    file->addAction(makeCommand(CommandId::SaveAs, kMenuSaveAs));
    file->addSeparator();
    QMenu* import = file->addMenu(qs(kMenuImport));
    import->addAction(makeCommand(CommandId::Acquire, kMenuAcquire));
    import->addAction(makeCommand(CommandId::SelectSource, kMenuSelectSource));
    file->addSeparator();
    file->addAction(makeCommand(CommandId::Exit, kMenuExit));

    QMenu* tools = bar->addMenu(qs(kMenuTools));
    tools->addAction(makeCommand(CommandId::LayoutOneUp, kMenuOneUp));
    tools->addAction(makeCommand(CommandId::LayoutFourUp, kMenuFourUp));
    tools->addAction(makeCommand(CommandId::LayoutSixteenUp, kMenuSixteenUp));
    tools->addSeparator();
    tools->addAction(makeCommand(CommandId::PrintCurrent, kMenuPrintCurrent));
    tools->addAction(makeCommand(CommandId::BatchPrint, kMenuBatchPrint));
    tools->addSeparator();
    tools->addAction(makeCommand(CommandId::ColourAdjust, kMenuColour));
    tools->addSeparator();
    tools->addAction(makeCommand(CommandId::PrintQuality, kMenuPrintQuality));
    tools->addAction(makeCommand(CommandId::MediaType, kMenuMediaType));

    QMenu* view = bar->addMenu(qs(kMenuView));
    view->addAction(makeCommand(CommandId::ToggleToolbar, kMenuToolbar));
    view->addAction(makeCommand(CommandId::ToggleStatus, kMenuStatusBar));
    view->addSeparator();
    view->addAction(makeCommand(CommandId::Rotate, kMenuRotate));
    view->addAction(makeCommand(CommandId::FitToWindow, kMenuFitToWindow));
    view->addAction(makeCommand(CommandId::Preview, kMenuPreview));
    view->addSeparator();
    m_proofAction = view->addAction(qs(kMenuProofView));
    m_proofAction->setObjectName(QStringLiteral("ProofViewAction"));
    m_proofAction->setCheckable(true);
    connect(m_proofAction, &QAction::toggled, this, [this](bool on) {
        m_state.proofView = on;
        m_markUnprintableAction->setEnabled(on);
        if (m_printWindow)
            m_printWindow->proofOptionsChanged();
    });
    m_markUnprintableAction = view->addAction(qs(kMenuMarkUnprintable));
    m_markUnprintableAction->setObjectName(QStringLiteral("MarkUnprintableAction"));
    m_markUnprintableAction->setCheckable(true);
    m_markUnprintableAction->setEnabled(false);
    connect(m_markUnprintableAction, &QAction::toggled, this, [this](bool on) {
        m_state.markUnprintable = on;
        if (m_printWindow)
            m_printWindow->proofOptionsChanged();
    });

    QMenu* help = bar->addMenu(qs(kMenuHelp));
    help->addAction(makeCommand(CommandId::HelpTopics, kMenuHelpTopics));
    help->addSeparator();
    help->addAction(makeCommand(CommandId::About, kMenuAbout));

    for (CommandId id : {CommandId::LayoutOneUp, CommandId::LayoutFourUp,
                         CommandId::LayoutSixteenUp, CommandId::ToggleToolbar,
                         CommandId::ToggleStatus, CommandId::FitToWindow, CommandId::Preview})
        m_actions[id]->setCheckable(true);
    for (QMenu* menu : {file, import, tools, view, help})
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateCommandStates);

    m_actions[CommandId::Open]->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_actions[CommandId::DeletePhoto]->setShortcut(QKeySequence(Qt::Key_Delete));
}

void MainWindow::buildToolbar() {
    static const ToolbarButton kButtons[] = {
        {CommandId::Open, "toolbar-open", kTipOpen},
        {CommandId::SaveAs, "toolbar-save", kTipSave},
        {CommandId::Rotate, "toolbar-rotate", kTipRotate},
        {CommandId::ColourAdjust, "toolbar-colour", kTipColour},
        {CommandId::LayoutSixteenUp, "toolbar-16up", kTipSixteenUp},
        {CommandId::LayoutFourUp, "toolbar-4up", kTipFourUp},
        {CommandId::LayoutOneUp, "toolbar-1up", kTipOneUp},
        {CommandId::Preview, "toolbar-preview", kTipPreview},
        {CommandId::PrintCurrent, "toolbar-print", kTipPrintCurrent},
        {CommandId::BatchPrint, "toolbar-batch", kTipBatchPrint},
        {CommandId::HelpTopics, "toolbar-help", kTipHelp},
    };
    const QSize imageSize(33, 32);

    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    m_toolBar->setIconSize(imageSize);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The child layout keeps exactly this much room for the toolbar.
    m_toolBar->setFixedHeight(kToolbarHeight);
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    for (const ToolbarButton& button : kButtons) {
        QAction* action = m_actions.at(button.id);
        action->setToolTip(qs(button.tip));
        const QPixmap image = platform::programImage(button.image, imageSize);
        if (!image.isNull())
            action->setIcon(QIcon(image));
        // The menus stay plain text, as the toolbar's pictures are its own.
        action->setIconVisibleInMenu(false);
        m_toolBar->addAction(action);
        // Groups: open/save | rotate/colour | layouts | preview/printing | help.
        if (button.id == CommandId::SaveAs || button.id == CommandId::ColourAdjust ||
            button.id == CommandId::LayoutOneUp || button.id == CommandId::BatchPrint)
            m_toolBar->addSeparator();
    }
}

void MainWindow::buildKeyCommands() {
    struct Key {
        CommandId id;
        QList<QKeySequence> keys;
    };
    const Key keys[] = {
        {CommandId::PrinterReset, {QKeySequence(Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_F4)}},
        {CommandId::PortLibraryCheck,
         {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
        {CommandId::ImageQuality, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F5)}},
        {CommandId::PrinterSetup, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F7)}},
        {CommandId::MediaRankTable, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F8)}},
        {CommandId::Adjuster, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F9)}},
        {CommandId::RasterFileOutput, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F10)}},
    };
    for (const Key& key : keys) {
        QAction* action = makeCommand(key.id, {});
        action->setShortcuts(key.keys);
        // Not in any menu: the window itself carries the keys.
        addAction(action);
    }
}

QAction* MainWindow::commandAction(CommandId id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void MainWindow::updateCommandStates() {
    const bool jobGoesOn = m_state.printBusy || (m_printJob && m_printJob->batchActive());
    if (m_albumChangesLocked && !jobGoesOn) {
        m_albumChangesLocked = false;
        if (m_albumWindow)
            m_albumWindow->setAlbumChangesEnabled(true);
    }
    for (const auto& [id, action] : m_actions) {
        const CommandState state = commandState(id, m_state, frameView());
        action->setEnabled(state.enabled && !(m_portWaiting && talksToPrinter(id)));
        if (action->isCheckable())
            action->setChecked(state.checked);
    }
}

void MainWindow::dispatch(CommandId id) {
    if (isDebugOnly(id) && !m_state.debugMode)
        return;
    // A key press queued before the command was greyed must not slip through.
    if (!commandState(id, m_state, frameView()).enabled || (m_portWaiting && talksToPrinter(id))) {
        updateCommandStates();
        return;
    }
    // A stop asked for in an earlier command's port wait is not this command's.
    if (!m_portWaiting)
        m_portStop = false;
    switch (id) {
    case CommandId::Open:
        openFiles();
        break;
    case CommandId::DeletePhoto:
        deletePhoto();
        break;
    case CommandId::SaveAs:
        saveAs();
        break;
    case CommandId::Acquire:
        acquireFromScanner();
        break;
    case CommandId::SelectSource:
        selectScannerSource();
        break;
    case CommandId::Exit:
        close();
        break;
    case CommandId::LayoutOneUp:
        switchLayout(Layout::OneUp);
        break;
    case CommandId::LayoutFourUp:
        switchLayout(Layout::FourUp);
        break;
    case CommandId::LayoutSixteenUp:
        switchLayout(Layout::SixteenUp);
        break;
    case CommandId::PrintCurrent:
        printCurrentPhoto();
        break;
    case CommandId::BatchPrint:
        batchPrint();
        break;
    case CommandId::ColourAdjust:
        adjustColour();
        break;
    case CommandId::PrintQuality:
        openPrintQualityDialog();
        break;
    case CommandId::MediaType:
        openMediaTypeDialog();
        break;
    case CommandId::ToggleToolbar:
        toggleToolbar();
        break;
    case CommandId::ToggleStatus:
        toggleStatusWindow();
        break;
    case CommandId::Rotate:
        rotatePhoto();
        break;
    case CommandId::FitToWindow:
        toggleFitToWindow();
        break;
    case CommandId::Preview:
        togglePreview();
        break;
    case CommandId::HelpTopics:
        showHelp();
        break;
    case CommandId::About:
        showAbout();
        break;
    case CommandId::PrinterReset:
        resetPrinter();
        break;
    case CommandId::PortLibraryCheck:
        checkPortLibrary();
        break;
    case CommandId::ImageQuality:
        openImageQualityDialog();
        break;
    case CommandId::PrinterSetup:
        openPrinterSetupDialog();
        break;
    case CommandId::MediaRankTable:
        openMediaRankDialog();
        break;
    case CommandId::Adjuster:
        openAdjuster();
        break;
    case CommandId::RasterFileOutput:
        printToRasterFile();
        break;
    case CommandId::AddStagedPicture:
        addStagedPicture();
        break;
    case CommandId::DisplaySelected:
        displaySelectedPicture();
        break;
    }
    updateCommandStates();
}

// --- File menu -------------------------------------------------------------

void MainWindow::openFiles() {
    albums::AlbumStore* store = m_session.albumStore();
    if (!store)
        return;
    m_state.adjustedPicturePresent = false;
    const intake::OpenFilesEnvironment environment = intake::OpenFilesEnvironment::program();
    intake::OpenFilesDialog dialog(m_state, *m_ui, m_openFiles, m_openFolder, environment, this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    // The next opening starts where the user left off, also after "Abbrechen".
    m_openFolder = dialog.folder();
    if (!accepted || !dialog.chosen())
        return;
    intake::addOpenedFiles(m_state, *store, *m_ui, m_openFolder, environment, dialog.takePreview());
    showAddedPictures();
}

void MainWindow::deletePhoto() {
    albums::AlbumStore* store = m_session.albumStore();
    if (!store) {
        m_ui->message(kMsgNoPhotoToDelete, Icon::None);
        return;
    }
    const albums::StoreResult result = deleteSelectedPhoto(m_state, *store, *m_ui);
    if (result == albums::StoreResult::Refused || result == albums::StoreResult::Cancelled)
        return;
    if (m_thumbnailWindow)
        m_thumbnailWindow->refresh();
    refreshViews();
}

// The 1-up picture, or the 4-in-1 / 16-in-1 sheet as the print window shows it.
void MainWindow::saveAs() {
    if (!intake::canSaveAs(m_state, *m_ui))
        return;
    const std::optional<std::filesystem::path> target = intake::askSaveTarget(this);
    if (!target)
        return;
    intake::saveAs(m_state, *m_ui, *target, platform::tempDirectory());
    updateCommandStates();
}

void MainWindow::acquireFromScanner() {
    m_state.adjustedPicturePresent = false;
    const std::optional<std::filesystem::path> target =
        intake::askScanTarget(this, m_acquireTarget);
    if (!target || !intake::acquireTargetOk(*m_ui, *target))
        return;
    const std::string device = scannerDevice();
    if (device.empty()) {
        m_ui->message(intake::msg::kNoScanner, Icon::Information);
        return;
    }
    m_acquisition = intake::Acquisition{};
    const platform::scanner::AcquireResult result = intake::scanPages(
        this, *m_ui, *m_scanner, device, *target,
        [this](int pagesToCome, const std::filesystem::path& page) {
            scannerPageTransferred(pagesToCome, QString::fromStdString(page.string()));
        });
    if (result != platform::scanner::AcquireResult::Done)
        m_ui->message(intake::msg::kScanFailed, Icon::Information);
}

std::string MainWindow::scannerDevice() {
    if (!m_scanner || !m_scanner->isInitialised())
        return {};
    if (!m_scannerDevice.empty())
        return m_scannerDevice;
    platform::Ui::WaitCursor wait(*m_ui);
    const std::vector<platform::scanner::Device> devices = m_scanner->devices();
    return devices.empty() ? std::string() : devices.front().name;
}

void MainWindow::selectScannerSource() {
    std::vector<platform::scanner::Device> devices;
    if (m_scanner) {
        platform::Ui::WaitCursor wait(*m_ui);
        devices = m_scanner->devices();
    }
    if (devices.empty()) {
        m_ui->message(intake::msg::kNoScanner, Icon::Information);
        return;
    }
    QStringList items;
    int current = 0;
    for (const platform::scanner::Device& device : devices) {
        if (device.name == m_scannerDevice)
            current = int(items.size());
        items << QStringLiteral("%1 %2 (%3)")
                     .arg(QString::fromStdString(device.vendor),
                          QString::fromStdString(device.model),
                          QString::fromStdString(device.name));
    }
    bool ok = false;
    const QString item =
        QInputDialog::getItem(this, qs(intake::msg::kScannerTitle), qs(intake::msg::kChooseScanner),
                              items, current, false, &ok);
    if (ok && items.contains(item))
        m_scannerDevice = devices[std::size_t(items.indexOf(item))].name;
}

void MainWindow::scannerPageTransferred(int pagesToCome, const QString& path) {
    std::cerr << "No. of Page left " << (pagesToCome & 0xFFFF) << "\nFile " << path.toStdString()
              << " transfer\n";
    albums::AlbumStore* store = m_session.albumStore();
    if (!store)
        return;
    if (m_acquisition.addPage(m_state, *store, *m_ui, path.toStdString(),
                              platform::tempDirectory()) == intake::Acquisition::PageResult::Added)
        showAddedPictures();
}

// --- Tools menu ------------------------------------------------------------

void MainWindow::switchLayout(Layout layout) {
    if (layout == m_state.layout)
        return;
    m_state.layout = layout;
    // A sheet is always shown whole.
    if (layout != Layout::OneUp)
        m_state.fitToWindow = true;
    composeSheet();
    if (m_printWindow)
        m_printWindow->update();
}

// Frees the old sheet; 4-up takes the selected picture, 16-up the album's first 16.
void MainWindow::composeSheet() {
    albums::AlbumStore* store = m_session.albumStore();
    render::composeLayoutSheet(m_state, *m_ui,
                               store ? store->currentNameFile() : std::filesystem::path(),
                               platform::tempDirectory());
}

void MainWindow::printCurrentPhoto() {
    if (!m_printJob)
        return;
    showLoadedAgainIfChanged();
    m_printJob->printCurrent();
    updateCommandStates();
}

void MainWindow::batchPrint() {
    albums::AlbumStore* store = m_session.albumStore();
    if (!m_printJob || !store || store->currentNameFile().empty())
        return;
    m_printJob->batchPrint(store->currentNameFile());
    updateCommandStates();
}

void MainWindow::adjustColour() {
    if (m_state.layout == Layout::OneUp && m_state.albums.selectedPicture() == -1) {
        m_ui->message(kMsgNoPhotoToAdjust, Icon::None);
        return;
    }
    openColourDialog();
}

// "Speichern" in the dialog runs this window's save-as command on the adjusted copy.
void MainWindow::openColourDialog() {
    albums::AlbumStore* store = m_session.albumStore();
    const std::filesystem::path dataFile =
        store ? store->currentDataFile() : std::filesystem::path();
    adjust::ColourAdjustDialog dialog(
        m_state, *m_ui, dataFile, platform::tempDirectory(), [this] { saveAs(); }, this);
    if (dialog.exec() == QDialog::Accepted)
        repaintPictureViews();
}

void MainWindow::openPrintQualityDialog() {
    adjust::QualityDialog dialog(m_session.pictureSettings(),
                                 adjust::QualityDialogKind::PrintQuality, m_state.programDirectory,
                                 platform::systemDirectory(), *m_ui, this);
    dialog.exec();
}

void MainWindow::openMediaTypeDialog() {
    media::MediaTypeDialog dialog(m_session.mediaContext(), this);
    dialog.exec();
    // "OK" searches the printer again.
    m_state.printerFound = m_session.printerLink().printerFound();
}

// --- View menu -------------------------------------------------------------

void MainWindow::toggleToolbar() {
    m_toolbarShown = !m_toolbarShown;
    m_toolBar->setVisible(m_toolbarShown);
    layoutChildren();
}

void MainWindow::toggleStatusWindow() {
    m_statusShown = !m_statusShown;
    layoutChildren();
}

void MainWindow::rotatePhoto() {
    albums::AlbumStore* store = m_session.albumStore();
    if (!store)
        return;
    const albums::StoreResult result = store->rotatePicture(m_state.albums.selectedPicture());
    // The picture on show turns with its thumbnail: a print takes the new turn. (The
    // store keeps the selection on the turned picture when it read the album again.)
    const int turned = m_state.albums.selectedPicture();
    if (result != albums::StoreResult::Refused && turned >= 0 &&
        turned == m_state.albums.loadedPicture() && m_state.layout == Layout::OneUp)
        displaySelectedPicture();
}

void MainWindow::toggleFitToWindow() {
    m_state.fitToWindow = !m_state.fitToWindow;
    if (m_printWindow)
        m_printWindow->update();
}

void MainWindow::togglePreview() {
    if (m_state.layout == Layout::OneUp && m_state.albums.loadedPicture() == -2) {
        m_ui->message(kMsgNoPhotoToPreview, Icon::None);
        return;
    }
    m_state.previewMode = !m_state.previewMode;
    layoutChildren();
    if (m_printWindow)
        m_printWindow->update();
}

// --- Help menu -------------------------------------------------------------

void MainWindow::showHelp() {
    if (!m_helpWindow)
        m_helpWindow = new HelpWindow(this);
    if (!m_helpWindow->showContents(m_state.programDirectory)) {
        m_ui->message(kMsgHelpMissing, Icon::Exclamation);
        return;
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void MainWindow::showAbout() {
    std::string text(kWindowTitle);
    text += '\n';
    text += kAboutVersionPrefix;
    text += KV_VERSION;
    text += '\n';
    text += printer::describeBackend(printer::backendOptionsFromEnvironment());
    m_ui->message(text, Icon::Information);
}

// --- Keys ------------------------------------------------------------------

void MainWindow::resetPrinter() {
    platform::Ui::WaitCursor wait(*m_ui);
    m_session.printerLink().resetPrinter();
}

void MainWindow::checkPortLibrary() {
    m_session.checkPortLibrary();
}

void MainWindow::openImageQualityDialog() {
    adjust::QualityDialog dialog(m_session.pictureSettings(),
                                 adjust::QualityDialogKind::ImageQuality, m_state.programDirectory,
                                 platform::systemDirectory(), *m_ui, this);
    dialog.exec();
}

void MainWindow::openPrinterSetupDialog() {
    media::PrinterSetupDialog dialog(m_session.mediaState(), m_session.ledTable(),
                                     m_session.printerLink(), m_state.programDirectory, *m_ui,
                                     this);
    dialog.exec();
}

void MainWindow::openMediaRankDialog() {
    media::RankTableDialog dialog(m_session.mediaState().rankTable, m_state.programDirectory, *m_ui,
                                  this);
    dialog.exec();
}

void MainWindow::openAdjuster() {
    if (!m_state.printerFound) {
        m_ui->message(kMsgCannotReachPrinter, Icon::Exclamation);
        return;
    }
    jobs::AdjusterDialog dialog(m_session.printerLink(), m_session.ledTable(),
                                m_state.programDirectory, this);
    dialog.exec();
}

void MainWindow::printToRasterFile() {
    if (!m_printJob)
        return;
    showLoadedAgainIfChanged();
    m_printJob->printToBmx();
    updateCommandStates();
}

// --- From inside the program ----------------------------------------------

void MainWindow::addStagedPicture() {
    albums::AlbumStore* store = m_session.albumStore();
    if (!store)
        return;
    const intake::AddResult result =
        intake::addStagedPicture(m_state, *store, *m_ui, m_openFolder, platform::tempDirectory());
    if (result != intake::AddResult::NotAdded)
        showAddedPictures();
}

void MainWindow::addDroppedFiles(const QStringList& paths) {
    albums::AlbumStore* store = m_session.albumStore();
    if (!store)
        return;
    std::vector<std::filesystem::path> files;
    for (const QString& path : paths)
        files.emplace_back(path.toStdString());
    if (intake::addDroppedFiles(m_state, *store, *m_ui, files, platform::tempDirectory()) > 0)
        showAddedPictures();
}

// The intake has set selection and status text; the windows show them. The added
// picture is shown (and so loaded) unless the intake has shown it already.
void MainWindow::showAddedPictures() {
    if (m_thumbnailWindow)
        m_thumbnailWindow->refresh();
    const int selected = m_state.albums.selectedPicture();
    if (m_state.layout == Layout::OneUp && selected >= 0 &&
        selected != m_state.albums.loadedPicture()) {
        displaySelectedPicture();
        return;
    }
    repaintPictureViews();
}

void MainWindow::showLoadedAgainIfChanged() {
    if (m_state.printBusy || m_state.albums.loadedPicture() < 0 || m_state.shownIsCurrent())
        return;
    intake::displayRow(m_state, *m_ui, platform::tempDirectory(), m_state.albums.loadedPicture(),
                       m_state.shownFileChanged());
    if (m_thumbnailWindow)
        m_thumbnailWindow->refresh();
    repaintPictureViews();
}

// The print and status windows show the loaded picture and its status text.
void MainWindow::repaintPictureViews() {
    if (m_printWindow)
        m_printWindow->update();
    if (m_statusWindow)
        m_statusWindow->redraw();
    updateCommandStates();
}

void MainWindow::jobStep() {
    // A step never overlaps itself: it re-arms the timer only when it is done.
    m_jobTimer.stop();
    if (!m_printJob)
        return;
    // Not inside another command's port wait or an album change waiting for its lock:
    // the step follows once they are over.
    const albums::AlbumStore* store = m_session.albumStore();
    if (m_portWaiting || (store && store->busy())) {
        m_jobTimer.start(jobs::PrintJob::kArmMs);
        return;
    }
    m_portStop = false;
    m_printJob->step();
    updateCommandStates();
}

void MainWindow::armTimer(int ms) {
    m_jobTimer.start(ms);
}

bool MainWindow::pumpOneEvent() {
    m_escPressed = false;
    QCoreApplication::processEvents();
    return std::exchange(m_escPressed, false);
}

void MainWindow::catchEscape() {
    const bool on = m_transferring || m_portWaiting;
    if (on == m_catchingEscape)
        return;
    m_catchingEscape = on;
    if (on)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool MainWindow::portWaitLook() {
    printer::PrinterLink& link = m_session.printerLink();
    if (!m_portWaiting) {
        m_portWaiting = true;
        m_portWaitStart = link.clock().tickMs();
        // Outside a job, print busy greys what a job greys, keeps the window open and
        // holds back the album's sync for the wait.
        m_portWaitMadeBusy = !m_state.printBusy;
        m_state.printBusy = true;
        catchEscape();
        updateCommandStates();
    }
    if (m_statusWindow) {
        // The bar fills as the wait runs out.
        const std::uint64_t bound = std::max<std::uint32_t>(link.portLockWaitMs(), 1);
        const std::uint64_t waited =
            std::min<std::uint64_t>(link.clock().tickMs() - m_portWaitStart, bound);
        m_statusWindow->flags.portWaiting = true;
        m_statusWindow->showProgress(
            static_cast<int>(waited * platform::ProgressDisplay::kFullScale / bound));
    }
    // A dialog of ours keeps its input for after the wait: its buttons talk to the printer.
    if (QApplication::activeModalWidget())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    else
        QCoreApplication::processEvents();
    return true;
}

void MainWindow::portWaitOver(printer::PrinterLink::PortWaitEnd end) {
    if (!std::exchange(m_portWaiting, false))
        return;
    if (std::exchange(m_portWaitMadeBusy, false)) {
        m_state.printBusy = false;
        // Each wait outside a job is stopped on its own.
        m_portStop = false;
    } else if (end == printer::PrinterLink::PortWaitEnd::GaveUp) {
        // The user is told once; the rest of the job does not wait again.
        m_portStop = true;
    }
    if (m_statusWindow) {
        m_statusWindow->flags.portWaiting = false;
        m_statusWindow->redraw();
    }
    catchEscape();
    updateCommandStates();
}

void MainWindow::transferring(bool on) {
    m_transferring = on;
    catchEscape();
    // No album may be made or removed while its pictures go to the printer: from
    // the first transfer until the job has ended, also between a batch's sheets.
    if (on)
        m_albumChangesLocked = true;
    if (m_albumWindow)
        m_albumWindow->setAlbumChangesEnabled(!m_albumChangesLocked);
    updateCommandStates();
}

void MainWindow::batchPictureShown(int) {
    if (m_thumbnailWindow)
        m_thumbnailWindow->refresh();
    if (m_printWindow)
        m_printWindow->update();
}

void MainWindow::displaySelectedPicture() {
    const intake::DisplayResult result =
        intake::displayPicture(m_state, *m_ui, platform::tempDirectory());
    if (result == intake::DisplayResult::NoSelection) {
        // Nothing selected is nothing on show: no index may print a hidden picture.
        m_state.clearPicture();
        repaintPictureViews();
        return;
    }
    if (result == intake::DisplayResult::Missing)
        showAddedPictures();
    else
        repaintPictureViews();
}

QWidget* MainWindow::printWindow() {
    return m_printWindow;
}

// The drop's cell is filled here; the display that follows shows the picture's name.
void MainWindow::placeOnSheet(QPoint pos) {
    if (!m_printWindow)
        return;
    render::placeDroppedPicture(m_state, *m_ui, m_printWindow->sheetCellAt(pos),
                                m_state.albums.selectedPicture(), platform::tempDirectory());
    m_printWindow->update();
}

void MainWindow::refreshViews() {
    m_state.statusText.clear();
    if (m_printWindow)
        m_printWindow->update();
    if (m_statusWindow)
        m_statusWindow->redraw();
    updateCommandStates();
}

void MainWindow::albumLoaded() {
    m_state.clearPicture();
    m_state.adjustedPicturePresent = false;
    if (m_thumbnailWindow)
        m_thumbnailWindow->albumChanged();
    refreshViews();
}

void MainWindow::albumListChanged() {
    if (m_albumWindow)
        m_albumWindow->syncTabs();
}

void MainWindow::pictureTableReloaded() {
    // The loaded picture may have gone with its row: nothing on show then. Still
    // there, it may have been turned.
    if (m_state.albums.loadedPicture() < 0 && m_state.displayedPicture)
        m_state.clearPicture();
    if (m_thumbnailWindow)
        m_thumbnailWindow->refresh();
    showLoadedAgainIfChanged();
    repaintPictureViews();
}

void MainWindow::pictureRotated(int index) {
    m_state.adjustedPicturePresent = false;
    if (m_thumbnailWindow)
        m_thumbnailWindow->pictureChanged(index);
}

// --- Window ----------------------------------------------------------------

void MainWindow::layoutChildren() {
    if (!m_client)
        return;
    FrameMetrics frame;
    frame.clientWidth = m_client->width();
    frame.clientHeight = m_client->height() + (m_toolbarShown ? kToolbarHeight : 0);
    frame.toolbarVisible = m_toolbarShown;
    frame.statusVisible = m_statusShown;
    frame.previewMode = m_state.previewMode;
    frame.scrollBarWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const ChildLayout layout = shell::layoutChildren(frame);
    place(m_albumWindow, layout.album, layout.panelVisible);
    place(m_thumbnailWindow, layout.thumbnail, layout.panelVisible);
    place(m_printWindow, layout.print, true);
    place(m_statusWindow, layout.status, layout.statusVisible);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // ESC in this window (not in the question it raises, nor in an open menu) is the
    // transfer's or the port wait's to read.
    if ((m_transferring || m_portWaiting) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            if (m_portWaiting)
                m_portStop = true;
            else
                m_escPressed = true;
            return true;
        }
    }
    if (watched == m_client && event->type() == QEvent::Resize)
        layoutChildren();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::placeCentred() {
    QRect screen(0, 0, 640, 480);
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    const WindowPlacement place = centredMainWindow(screen.width(), screen.height());
    // The 640 x 480 include the frame; its margins are known once the window exists.
    QMargins frame;
    if (const QWindow* handle = windowHandle())
        frame = handle->frameMargins();
    resize(place.width - frame.left() - frame.right(), place.height - frame.top() - frame.bottom());
    move(screen.x() + place.left, screen.y() + place.top);
}

void MainWindow::showEvent(QShowEvent* event) {
    if (!m_placed) {
        m_placed = true;
        placeCentred();
    }
    QMainWindow::showEvent(event);
}

void MainWindow::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (!std::exchange(m_painted, true))
        emit firstPainted();
}

void MainWindow::bringToFront(const platform::LaunchTokens& launch) {
    if (isMinimized())
        showNormal();
    raise();
    platform::activateForLaunch(*this, launch);
}

void MainWindow::endSession() {
    m_session.cleanUp(CleanupReason::SessionEnding);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A running job keeps the window: the printer would be left mid-sheet.
    if (m_state.printBusy) {
        event->ignore();
        return;
    }
    // Clean up while the window can still own the message boxes.
    m_session.cleanUp(CleanupReason::WindowDestroyed);
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        QMainWindow::dragEnterEvent(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QStringList paths = droppedFiles(event->mimeData());
    if (paths.isEmpty()) {
        QMainWindow::dropEvent(event);
        return;
    }
    event->acceptProposedAction();
    addDroppedFiles(paths);
}

} // namespace kv::shell
