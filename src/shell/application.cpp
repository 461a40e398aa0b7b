#include "shell/application.h"

#include "media/media_service.h"
#include "media/media_type_dialog.h"
#include "platform/paths.h"
#include "platform/qt_ui.h"
#include "platform/scanner/sane_scanner.h"
#include "platform/termination_qt.h"
#include "printer/port_backend.h"
#include "shell/main_window.h"
#include "shell/shell_messages.h"
#include "shell/single_instance.h"
#include "shell/startup.h"
#include "shell/temp_directory.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

#include <iostream>
#include <utility>

namespace kv::shell {

namespace {

// How long the port set-up waits for the window's first paint at most.
constexpr int kFirstPaintWaitMs = 2000;
// Files that arrive while a dialog is open or a job prints are tried again after this.
constexpr int kOpenRetryMs = 500;

QString userName() {
    for (const char* var : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(var);
        if (!name.isEmpty())
            return name;
    }
    return QDir::home().dirName();
}

} // namespace

Application::Application() {
    m_openRetry.setSingleShot(true);
    m_openRetry.setInterval(kOpenRetryMs);
    connect(&m_openRetry, &QTimer::timeout, this, &Application::openPendingFiles);
}

Application::~Application() = default;

bool Application::start(const CommandLine& commandLine, const platform::LaunchTokens& launch) {
    // Watch for termination first: a request at any later point must still clean up.
    m_termination = std::make_unique<platform::TerminationWatcher>();
    connect(m_termination.get(), &platform::TerminationWatcher::terminationRequested, this,
            &Application::endRun);

    useUserLocale();
    QGuiApplication::setDesktopFileName(
        QString::fromUtf8(kDesktopFileName.data(), qsizetype(kDesktopFileName.size())));
    // The program speaks German; so do Qt's own buttons and dialogs ("Ja", "Nein",
    // "Abbrechen", the save dialog) where the system has Qt's German texts.
    m_qtTexts = std::make_unique<QTranslator>();
    if (m_qtTexts->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(m_qtTexts.get());

    const std::string server =
        instanceServerName(userName().toStdString(), platform::programDirectory());
    m_instance = std::make_unique<SingleInstance>(QString::fromStdString(server));
    QStringList files;
    for (const std::string& file : commandLine.files)
        files << QFile::decodeName(QByteArray::fromStdString(file));
    if (!m_instance->claim(files, launch)) {
        if (!files.isEmpty() && !m_instance->handedOver()) {
            std::cerr << "Das laufende Programm hat die Dateien nicht angenommen." << std::endl;
            m_exitCode = 1;
        }
        if (!commandLine.refused.empty()) {
            platform::QtUi ui;
            reportRefusedArguments(commandLine.refused, ui);
        }
        return false;
    }
    m_pendingFiles = files;
    m_refusedArguments = commandLine.refused;
    connect(m_instance.get(), &SingleInstance::filesReceived, this,
            [this](const QStringList& more) {
                m_pendingFiles += more;
                openPendingFiles();
            });

    // Which port the printer is driven through, for whoever reads the log.
    std::cerr << printer::describeBackend(printer::backendOptionsFromEnvironment()) << std::endl;

    prepareTempDirectory(platform::driveC());
    m_window = std::make_unique<MainWindow>(m_state);
    connect(m_instance.get(), &SingleInstance::activationRequested, m_window.get(),
            &MainWindow::bringToFront);
    const std::filesystem::path exeDir = QCoreApplication::applicationDirPath().toStdString();
    if (!m_window->create(shippedDataDirectory(exeDir), Session::FirstReset::WithPortSetUp)) {
        m_exitCode = 1;
        return false;
    }
    connect(qApp, &QGuiApplication::commitDataRequest, m_window.get(), &MainWindow::endSession);
    connect(qApp, &QCoreApplication::aboutToQuit, m_window.get(), &MainWindow::endSession);

    m_window->show();

    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && !reportDisplayDepth(screen->depth(), m_window->ui())) {
        m_exitCode = 1;
        return false;
    }

    const auto once = Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection);
    // For start-up measurements: the window is closed the normal way once it is
    // painted, before the port set-up (which then has nothing left to do).
    if (qEnvironmentVariableIntValue("KVPR_EXIT_AFTER_FIRST_PAINT") == 1)
        connect(m_window.get(), &MainWindow::firstPainted, m_window.get(), &QWidget::close, once);
    // The port's waits (the reset's settling, the search) start once the window is
    // on the screen; it repaints while they run. Queued: the paint is flushed first.
    // A window that is not painted (started minimised) does not hold them up for long.
    connect(m_window.get(), &MainWindow::firstPainted, this, &Application::finishStart, once);
    QTimer::singleShot(kFirstPaintWaitMs, this, &Application::finishStart);

    m_state.debugMode = commandLine.debug;
    return true;
}

// The rest of the start-up in its old order: the binding's reset, the scanner, the
// port search, the media question, dropped files. A run that has ended meanwhile
// (closed, terminated) has released the port library: nothing is left to set up.
void Application::finishStart() {
    if (std::exchange(m_startFinished, true))
        return;
    const auto ended = [this] { return m_terminating || m_window->session().cleanedUp(); };
    if (ended())
        return;
    m_window->startWatching();
    Session& session = m_window->session();
    session.resetAfterBinding();
    if (ended())
        return;
    initialiseScanner();
    session.setUpPrinterPort();
    if (ended())
        return;
    promptForMedia();
    if (ended())
        return;
    m_window->setAcceptDrops(true);
    openPendingFiles();
}

// SANE stays open for the run; destroying the application closes it after the
// message loop has ended. Without SANE the scanner commands say there is no scanner.
void Application::initialiseScanner() {
    m_scanner = std::make_unique<platform::scanner::SaneScanner>();
    if (m_scanner->initialise()) {
        m_window->setScanner(m_scanner.get());
        std::cerr << "Scanner initialised" << std::endl;
    }
}

void Application::promptForMedia() {
    if (!media::mediaPromptAtStart(m_state.programDirectory, m_state.printerFound))
        return;
    Session& session = m_window->session();
    media::MediaTypeDialog dialog(session.mediaContext(), m_window.get());
    dialog.exec();
    // "OK" searches the printer again.
    m_state.printerFound = session.printerLink().printerFound();
}

void Application::openPendingFiles() {
    if (!m_window || !m_window->acceptDrops())
        return;
    if (m_terminating || m_window->session().cleanedUp()) {
        m_pendingFiles.clear();
        return;
    }
    // As for a change on disk: not while a job reads the album, a dialog is open or an
    // album change waits for its lock.
    const albums::AlbumStore* store = m_window->session().albumStore();
    if (m_state.printBusy || QApplication::activeModalWidget() || (store && store->busy())) {
        m_openRetry.start();
        return;
    }
    reportRefusedArguments(std::exchange(m_refusedArguments, {}), m_window->ui());
    const QStringList files = std::exchange(m_pendingFiles, {});
    if (!files.isEmpty())
        m_window->addDroppedFiles(files);
}

void Application::endRun() {
    m_terminating = true;
    if (m_window)
        m_window->endSession();
    QCoreApplication::exit(0);
}

} // namespace kv::shell
