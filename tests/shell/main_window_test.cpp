#include "media/media_rank_table.h"
#include "platform/paths.h"
#include "platform/recording_ui.h"
#include "platform/termination_qt.h"
#include "shell/application.h"
#include "shell/child_layout.h"
#include "shell/help_window.h"
#include "shell/main_window.h"
#include "shell/shell_messages.h"
#include "shell/single_instance.h"
#include "shell/startup.h"
#include "support/jpeg_writer.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QUuid>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace kv::shell {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::ScopedProgramFolders;
using test::TempDir;
using test::writeBytes;
using Icon = platform::Ui::Icon;
using Answer = platform::Ui::Answer;

QString uniqueServerName() {
    return "kvtest-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// A shipped rank table: without one, creation says "MEDIA.RTB existiert NICHT.".
void shipRankTable(const TempDir& shipped) {
    writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
}

TEST(MainWindow, CentredPhotoPrinterWindowWithTheDefaultAlbum) {
    ScopedProgramFolders folders;
    TempDir shipped;
    shipRankTable(shipped);
    AppState state;
    MainWindow window(state);
    ASSERT_TRUE(window.create(shipped.path()));
    window.show();

    EXPECT_EQ(window.objectName(), "PhotoPrinter");
    EXPECT_EQ(window.windowTitle(), "Kelvor Photo Viewer");
    const QRect frame = window.frameGeometry();
    EXPECT_EQ(frame.size(), QSize(640, 480));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(frame.left(), screen.left() + (screen.width() - 640) / 2);
    EXPECT_EQ(frame.top(), screen.top() + (screen.height() - 480) / 2);
    EXPECT_EQ(readBytes(folders.home() / "album.dat"), "1\r\nMy_Album\r\n");
}

TEST(MainWindow, ClosingRemovesTheTemporaryDirectory) {
    ScopedProgramFolders folders;
    TempDir shipped;
    shipRankTable(shipped);
    AppState state;
    MainWindow window(state);
    ASSERT_TRUE(window.create(shipped.path()));
    const fs::path kvtemp = folders.driveC() / "kvtemp";
    fs::create_directories(kvtemp);
    std::ofstream(kvtemp / "Prefile.bmp") << "x";
    window.show();

    window.close();
    EXPECT_FALSE(fs::exists(kvtemp));
    EXPECT_TRUE(window.session().cleanedUp());
}

TEST(MainWindow, ASecondLaunchRestoresAMinimisedWindow) {
    ScopedProgramFolders folders;
    AppState state;
    MainWindow window(state);
    window.showMinimized();
    window.bringToFront();
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
}

TEST(SingleInstance, SecondClaimAsksTheFirstToComeForward) {
    const QString name = uniqueServerName();
    SingleInstance first(name);
    ASSERT_TRUE(first.claim());
    QSignalSpy spy(&first, &SingleInstance::activationRequested);

    SingleInstance second(name);
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(spy.count() == 1 || spy.wait(3000));
}

TEST(SingleInstance, ASocketLeftByACrashedCopyDoesNotBlockStart) {
    const QString name = uniqueServerName();
    // What a killed first copy leaves behind: the socket file with nobody listening.
    const QString stale = QDir::temp().filePath(name);
    std::ofstream(stale.toStdString()) << "";

    SingleInstance instance(name);
    EXPECT_TRUE(instance.claim());
    QSignalSpy spy(&instance, &SingleInstance::activationRequested);
    SingleInstance later(name);
    EXPECT_FALSE(later.claim());
    EXPECT_TRUE(spy.count() == 1 || spy.wait(3000));
}

TEST(SingleInstance, FilesReachTheRunningCopyWholeAndInOrder) {
    const QString name = uniqueServerName();
    SingleInstance first(name);
    ASSERT_TRUE(first.claim());
    QSignalSpy raised(&first, &SingleInstance::activationRequested);
    QSignalSpy received(&first, &SingleInstance::filesReceived);

    // Any byte of a Linux file name must arrive as it was.
    const QStringList files{"/a b/Bild \u00e4\u00df.jpg", "/x/100%.jpg", "/y/line\nbreak\ttab.jpg",
                            "/z/open\t.jpg"};
    SingleInstance second(name);
    EXPECT_FALSE(second.claim(files));
    EXPECT_TRUE(second.handedOver());
    ASSERT_TRUE(received.count() == 1 || received.wait(3000));
    EXPECT_EQ(received.at(0).at(0).toStringList(), files);
    EXPECT_EQ(raised.count(), 1);

    // A request in pieces; a cut-off last line is not a path to open.
    QLocalSocket client;
    client.connectToServer(first.serverName());
    ASSERT_TRUE(client.waitForConnected(1000));
    client.write("raise\nopen\t%2Fpi");
    client.flush();
    QTest::qWait(50);
    client.write("ece.jpg\nnext\tline\nopen\t/cut");
    client.flush();
    QTest::qWait(50);
    client.disconnectFromServer();
    ASSERT_TRUE(received.wait(3000));
    EXPECT_EQ(received.at(1).at(0).toStringList(), QStringList{"/piece.jpg"});

    // Too much from one launch: dropped whole, the line cut, and the next one still served.
    QLocalSocket flood;
    flood.connectToServer(first.serverName());
    ASSERT_TRUE(flood.waitForConnected(1000));
    const QByteArray line = "open\t/" + QByteArray(1000, 'f') + "\n";
    flood.write(line.repeated(int(SingleInstance::kMaxRequestBytes / line.size()) + 2));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return flood.state() == QLocalSocket::UnconnectedState; }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(received.count(), 2);
    SingleInstance third(name);
    EXPECT_FALSE(third.claim({"/n.jpg"}));
    ASSERT_TRUE(received.wait(3000));
    EXPECT_EQ(received.at(2).at(0).toStringList(), QStringList{"/n.jpg"});
}

TEST(TerminationWatcher, TurnsSigtermIntoASignal) {
    platform::TerminationWatcher watcher;
    ASSERT_TRUE(watcher.active());
    QSignalSpy spy(&watcher, &platform::TerminationWatcher::terminationRequested);
    std::raise(SIGTERM);
    EXPECT_TRUE(spy.wait(3000));
    EXPECT_EQ(spy.count(), 1);
}

// A created main window over its own program folders, whose prompts are recorded.
struct Frame {
    ScopedProgramFolders folders;
    TempDir shipped;
    platform::RecordingUi ui;
    AppState state;
    std::unique_ptr<MainWindow> window;

    explicit Frame(bool withHelp = true) {
        if (withHelp) {
            fs::create_directories(shipped / "help");
            test::writeBytes(shipped / "help/index.html",
                             "<html><body><h2 id=\"inhalt\">Inhalt</h2></body></html>");
        }
        shipRankTable(shipped);
        window = std::make_unique<MainWindow>(state, &ui);
        EXPECT_TRUE(window->create(shipped.path()));
    }

    QAction* action(int id) const {
        return window->findChild<QAction*>(QStringLiteral("cmd%1").arg(id));
    }
    void trigger(int id) const {
        QAction* a = action(id);
        ASSERT_NE(a, nullptr) << id;
        a->trigger();
    }
    QWidget* child(const char* name) const { return window->findChild<QWidget*>(name); }

    // What the intake does: fill the staging row and let the store write it.
    void addPictures(int n) {
        albums::AlbumStore& store = *window->session().albumStore();
        for (int i = 0; i < n; ++i) {
            albums::PictureRow& row =
                state.albums.pictures[static_cast<std::size_t>(state.albums.pictureCount)];
            row.fullPath = "/pictures/photo" + std::to_string(i) + ".jpg";
            row.displayName = "photo" + std::to_string(i) + ".jpg";
            row.thumbnail = platform::Bitmap24::make(8, 6);
            ++state.albums.pictureCount;
            ASSERT_EQ(store.appendPicture(), albums::StoreResult::Done);
        }
        window->refreshViews();
    }
};

// Captions of a menu; "-" a separator, "> caption" a submenu.
std::vector<std::string> entries(const QMenu* menu) {
    std::vector<std::string> out;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator())
            out.push_back("-");
        else if (a->menu())
            out.push_back("> " + a->text().toStdString());
        else
            out.push_back(a->text().toStdString());
    }
    return out;
}

TEST(MainFrame, MenusListTheirEntriesInOrder) {
    Frame f;
    const QList<QAction*> menus = f.window->menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"&Datei",
         {"&Offnen", "&Loeschen", "&Speichern unter", "-", "> &Importieren", "-", "&Beenden"}},
        {"&Werkzeuge",
         {"&1  in  1 (1 X 1)", "&4  in  1 (2 X 2)", "1&6 in 1 (4 X 4)", "-",
          "&Aktuelles Photo drucken", "&Stapeldruck", "-", "Farbe &einstellen", "-",
          "Druck&qualität einstellen", "&Medientyp einstellen"}},
        {"An&sicht",
         {"&Werkzeugleiste", "S&tatusleiste", "-", "Um &90 Grad rotieren", "&An Fenster anpassen",
          "&Vorschau", "-", "&Druckansicht (Proof)", "Nicht druckbare &Farben markieren"}},
        {"&Hilfe", {"&Hilfethemen", "-", "Inf&o ..."}},
    };
    for (int i = 0; i < 4; ++i) {
        QMenu* menu = menus[i]->menu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menus[i]->text().toStdString(), expected[i].first);
        // Opening a menu must not add entries of its own.
        emit menu->aboutToShow();
        EXPECT_EQ(entries(menu), expected[i].second) << expected[i].first;
    }
    const QMenu* import = menus[0]->menu()->actions()[4]->menu();
    EXPECT_EQ(entries(import), (std::vector<std::string>{"&Einlesen...", "&Quelle auswaehlen..."}));

    // Each entry carries its command number.
    const std::vector<int> fileIds = {32771, 32836, 32828, 0, 0, 0, 57665};
    const QList<QAction*> file = menus[0]->menu()->actions();
    for (int i = 0; i < file.size(); ++i)
        if (fileIds[i] != 0) {
            EXPECT_EQ(file[i]->data().toInt(), fileIds[i]);
        }
    EXPECT_EQ(import->actions()[0]->objectName(), "cmd32834");
    EXPECT_EQ(import->actions()[1]->objectName(), "cmd32835");
    EXPECT_EQ(menus[2]->menu()->actions()[0]->objectName(), "cmd59392");
    EXPECT_EQ(menus[3]->menu()->actions()[2]->objectName(), "cmd57664");
}

TEST(MainFrame, ToolbarButtonsInOrderWithTheirTips) {
    Frame f;
    auto* toolbar = f.window->findChild<QToolBar*>("ToolBar");
    ASSERT_NE(toolbar, nullptr);
    std::vector<std::string> buttons;
    for (const QAction* a : toolbar->actions())
        buttons.push_back(a->isSeparator()
                              ? "|"
                              : a->objectName().toStdString() + " " + a->toolTip().toStdString());
    EXPECT_EQ(buttons, (std::vector<std::string>{
                           "cmd32771 Datei offnen", "cmd32828 Aktuelle Datei speichern", "|",
                           "cmd32819 Um 90 Grad drehen", "cmd32858 Farbeinstellung", "|",
                           "cmd32816 Foto drucken (16 in 1)", "cmd32818 Foto drucken (4 in 1)",
                           "cmd32815 Foto drucken(1)", "|", "cmd32823 Vorschau des aktuellen Fotos",
                           "cmd32779 Aktuelles Foto drucken", "cmd32832 Stapeldruck", "|",
                           "cmd57670 Hilfe"}));
    EXPECT_FALSE(toolbar->isMovable());
    EXPECT_FALSE(toolbar->isFloatable());
    EXPECT_EQ(toolbar->iconSize(), QSize(33, 32));
    f.window->show();
    EXPECT_EQ(toolbar->height(), kToolbarHeight);
    // The children's area starts right below the toolbar.
    EXPECT_EQ(f.child("FrameClient")->geometry().top(), toolbar->geometry().bottom() + 1);
}

TEST(MainFrame, CommandsAndToolbarFollowTheState) {
    Frame f;
    f.window->show();
    auto* toolbar = f.window->findChild<QToolBar*>("ToolBar");
    auto button = [&](int id) { return toolbar->widgetForAction(f.action(id)); };

    // An empty album: nothing to delete, rotate or print.
    f.window->updateCommandStates();
    for (int id : {32836, 32819, 32779, 32832, 32828, 32858, 32818, 32816, 32823})
        EXPECT_FALSE(f.action(id)->isEnabled()) << id;
    EXPECT_FALSE(button(32819)->isEnabled());
    EXPECT_TRUE(f.action(32771)->isEnabled());
    EXPECT_TRUE(f.action(32815)->isChecked());

    f.addPictures(2);
    EXPECT_TRUE(f.action(32819)->isEnabled());
    EXPECT_TRUE(button(32819)->isEnabled());

    // A running job: exit greyed and the window refuses to close.
    f.state.printBusy = true;
    f.window->updateCommandStates();
    for (int id : {57665, 32771, 32836, 32819, 32828, 32815, 32857, 32856, 57670})
        EXPECT_FALSE(f.action(id)->isEnabled()) << id;
    EXPECT_FALSE(f.window->close());
    EXPECT_TRUE(f.window->isVisible());
    f.trigger(57665);
    EXPECT_TRUE(f.window->isVisible());
    EXPECT_FALSE(f.window->session().cleanedUp());

    f.state.printBusy = false;
    f.window->updateCommandStates();
    EXPECT_TRUE(f.action(57665)->isEnabled());
    f.trigger(57665);
    EXPECT_FALSE(f.window->isVisible());
    EXPECT_TRUE(f.ui.prompts().empty());
}

TEST(MainFrame, ServiceKeysDoNothingWithoutDebugMode) {
    Frame f;
    f.window->show();
    QApplication::setActiveWindow(f.window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
    struct Key {
        int id;
        Qt::Key key;
    };
    const Key keys[] = {{32800, Qt::Key_F5},
                        {32854, Qt::Key_F7},
                        {32855, Qt::Key_F8},
                        {145, Qt::Key_F9},
                        {32860, Qt::Key_F10}};
    for (const Key& k : keys) {
        ASSERT_NE(f.action(k.id), nullptr) << k.id;
        EXPECT_EQ(f.action(k.id)->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | k.key)) << k.id;
        QTest::keyClick(f.window.get(), k.key, Qt::ControlModifier | Qt::ShiftModifier);
        f.trigger(k.id);
    }
    EXPECT_TRUE(f.ui.prompts().empty());

    // With "/debug" the adjuster key says when there is no printer to adjust.
    f.state.debugMode = true;
    QTest::keyClick(f.window.get(), Qt::Key_F9, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(f.ui.texts(), std::vector<std::string>{std::string(kMsgCannotReachPrinter)});
}

TEST(MainFrame, PrinterResetAndLibraryCheckKeysWorkInEveryMode) {
    Frame f;
    const std::pair<int, QList<QKeySequence>> keys[] = {
        {32847, {QKeySequence(Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_F4)}},
        {57635, {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
        {32771, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {32836, {QKeySequence(Qt::Key_Delete)}},
    };
    for (const auto& [id, sequences] : keys) {
        ASSERT_NE(f.action(id), nullptr) << id;
        EXPECT_EQ(f.action(id)->shortcuts(), sequences) << id;
    }
    for (bool debug : {false, true}) {
        f.state.debugMode = debug;
        f.trigger(32847);
        f.trigger(57635);
    }
    EXPECT_TRUE(f.ui.prompts().empty());
}

TEST(MainFrame, ChildrenFillTheAreaForEveryBarCombination) {
    Frame f;
    f.window->resize(700, 500);
    f.window->show();
    QWidget* client = f.child("FrameClient");
    QWidget* thumbnails = f.child("ThumbNail");
    QWidget* album = f.child("PhotoAlbum");
    QWidget* print = f.child("PrintWindow");
    QWidget* status = f.child("StatusWindow");
    ASSERT_TRUE(client && thumbnails && album && print && status);
    const int w = f.window->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 236;

    struct Case {
        bool toolbar;
        bool status;
    };
    for (const Case c :
         {Case{true, true}, Case{true, false}, Case{false, false}, Case{false, true}}) {
        if (f.window->toolbarShown() != c.toolbar)
            f.trigger(59392);
        if (f.window->statusShown() != c.status)
            f.trigger(59393);
        QCoreApplication::processEvents();
        const std::string name =
            std::string(c.toolbar ? "toolbar" : "-") + "/" + (c.status ? "status" : "-");
        EXPECT_EQ(f.action(59392)->isChecked(), c.toolbar) << name;
        EXPECT_EQ(f.action(59393)->isChecked(), c.status) << name;
        const int bottom = client->height() - (c.status ? kStatusHeight : 0);
        EXPECT_EQ(album->geometry(), QRect(0, 0, w, 27)) << name;
        EXPECT_EQ(thumbnails->geometry(), QRect(0, 27, w, bottom - 27)) << name;
        EXPECT_EQ(print->geometry(), QRect(w + 1, 1, client->width() - 2 - (w + 1), bottom - 1))
            << name;
        EXPECT_EQ(status->isVisible(), c.status) << name;
        if (c.status) {
            EXPECT_EQ(status->geometry(), QRect(0, bottom, client->width(), 28)) << name;
        }
    }

    // Preview: the panel goes, the print window takes the width.
    f.addPictures(1);
    f.state.albums.setLoaded(0);
    f.trigger(32823);
    EXPECT_TRUE(f.state.previewMode);
    EXPECT_TRUE(f.action(32823)->isChecked());
    EXPECT_FALSE(thumbnails->isVisible());
    EXPECT_FALSE(album->isVisible());
    EXPECT_EQ(print->geometry(),
              QRect(0, 1, client->width() - 2, client->height() - kStatusHeight - 1));
    f.trigger(32823);
    EXPECT_FALSE(f.state.previewMode);
    EXPECT_TRUE(thumbnails->isVisible());
    EXPECT_EQ(print->geometry().left(), w + 1);
}

TEST(MainFrame, CommandMessagesOfTheFrame) {
    Frame f;
    f.addPictures(2);

    f.trigger(32858); // 1-up, nothing selected
    f.trigger(32823); // 1-up, nothing loaded
    EXPECT_EQ(f.ui.texts(), (std::vector<std::string>{std::string(kMsgNoPhotoToAdjust),
                                                      std::string(kMsgNoPhotoToPreview)}));
    EXPECT_FALSE(f.state.previewMode);
    f.ui.clear();

    // A sheet layout is always fitted, and colour adjustment is greyed for it.
    for (const auto& [id, layout] :
         {std::pair{32818, Layout::FourUp}, std::pair{32816, Layout::SixteenUp}}) {
        f.state.fitToWindow = false;
        f.trigger(id);
        EXPECT_EQ(f.state.layout, layout);
        EXPECT_TRUE(f.state.fitToWindow);
        EXPECT_TRUE(f.action(id)->isChecked());
        EXPECT_FALSE(f.action(32815)->isChecked());
        EXPECT_FALSE(f.action(32858)->isEnabled());
        f.trigger(32858);
    }
    // Only 4-up says that no picture is selected for its sheet.
    EXPECT_EQ(f.ui.texts(),
              std::vector<std::string>{"Kein Foto für die Erstellung des 4in1-Bildes ausgewählt!"});
    f.ui.clear();
    f.trigger(32815);
    EXPECT_EQ(f.state.layout, Layout::OneUp);
    EXPECT_TRUE(f.state.fitToWindow);
    f.trigger(32775);
    EXPECT_FALSE(f.state.fitToWindow);
    EXPECT_FALSE(f.action(32775)->isChecked());

    f.trigger(57664);
    ASSERT_EQ(f.ui.prompts().size(), 1u);
    EXPECT_EQ(f.ui.prompts()[0].text, "Kelvor Photo Viewer\nVersion " KV_TEST_VERSION
                                      "\nDruckeranschluss: virtueller Drucker (sim)");
    EXPECT_EQ(f.ui.prompts()[0].icon, Icon::Information);
}

TEST(MainFrame, DeleteAsksAndRemovesThePictureFromTheAlbumFiles) {
    Frame f;
    f.addPictures(3);
    const fs::path nameFile = f.folders.home() / "My_Album.dat";
    ASSERT_NE(readBytes(nameFile).find("photo1.jpg"), std::string::npos);

    f.trigger(32836);
    ASSERT_EQ(f.ui.prompts().size(), 1u);
    EXPECT_EQ(f.ui.prompts()[0].text, kMsgNoPhotoToDelete);
    EXPECT_FALSE(f.ui.prompts()[0].question);
    f.ui.clear();

    f.state.albums.select(1);
    f.ui.script(Answer::No);
    f.trigger(32836);
    ASSERT_EQ(f.ui.prompts().size(), 1u);
    EXPECT_EQ(f.ui.prompts()[0].text, kAskDeletePhoto);
    EXPECT_TRUE(f.ui.prompts()[0].question);
    EXPECT_EQ(f.ui.prompts()[0].buttons, platform::Ui::Buttons::YesNo);
    EXPECT_EQ(f.state.albums.pictureCount, 3);
    EXPECT_FALSE(f.state.albums.pictureDeleted);
    f.ui.clear();

    f.state.albums.setLoaded(1);
    f.state.statusText = "photo1.jpg [8X6]";
    f.state.adjustedPicturePresent = true;
    f.ui.script(Answer::Yes);
    f.trigger(32836);
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{std::string(kAskDeletePhoto)});
    EXPECT_EQ(f.state.albums.pictureCount, 2);
    EXPECT_TRUE(f.state.albums.pictureDeleted);
    EXPECT_EQ(f.state.albums.selectedPicture(), -1);
    EXPECT_EQ(f.state.albums.loadedPicture(), -2);
    EXPECT_TRUE(f.state.statusText.empty());
    EXPECT_FALSE(f.state.adjustedPicturePresent);
    const std::string names = readBytes(nameFile);
    EXPECT_EQ(names.find("photo1.jpg"), std::string::npos);
    EXPECT_NE(names.find("photo0.jpg"), std::string::npos);
    EXPECT_NE(names.find("photo2.jpg"), std::string::npos);
}

TEST(MainFrame, RotateTurnsTheSelectedPictureOnly) {
    Frame f;
    f.addPictures(2);
    f.state.adjustedPicturePresent = true;
    f.trigger(32819);
    EXPECT_EQ(f.ui.prompts().size(), 1u); // the store's "nothing selected"
    EXPECT_TRUE(f.state.adjustedPicturePresent);

    f.ui.clear();
    f.state.albums.select(1);
    f.trigger(32819);
    EXPECT_TRUE(f.ui.prompts().empty());
    EXPECT_EQ(f.state.albums.pictures[1].rotation, 1);
    EXPECT_EQ(f.state.albums.pictures[0].rotation, 0);
    EXPECT_FALSE(f.state.adjustedPicturePresent);
}

TEST(MainFrame, HelpOpensOneWindowAtTheContentsPage) {
    Frame f;
    f.trigger(57670);
    HelpWindow* help = f.window->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    EXPECT_TRUE(help->source().toLocalFile().endsWith("help/index.html"));
    EXPECT_TRUE(help->toPlainText().contains("Inhalt"));
    f.trigger(57670);
    EXPECT_EQ(f.window->findChildren<HelpWindow*>().size(), 1);
    EXPECT_TRUE(f.ui.prompts().empty());
}

TEST(MainFrame, MissingHelpIsToldNotShownEmpty) {
    Frame f(false);
    f.trigger(57670);
    EXPECT_EQ(f.ui.texts(), std::vector<std::string>{std::string(kMsgHelpMissing)});
    EXPECT_TRUE(f.window->helpWindow() == nullptr || !f.window->helpWindow()->isVisible());
}

TEST(MainFrame, PrinterKeysAndStartUpWithAndWithoutThePortLibrary) {
    struct Case {
        const char* library; // KVPR_PORT_LIBRARY; null: the one the test environment names
        std::vector<std::string> atCreation;
        std::vector<std::string> onKeys;
        bool found;
    };
    const std::string noDll = "Dll kann nicht geladen werden.";
    const Case cases[] = {
        {nullptr, {}, {}, true},
        {"/nonexistent/liblptcore.so", {noDll}, {noDll, noDll}, false},
    };
    for (const Case& c : cases) {
        const char* old = std::getenv("KVPR_PORT_LIBRARY");
        const std::string saved = old ? old : "";
        if (c.library)
            setenv("KVPR_PORT_LIBRARY", c.library, 1);
        setenv("KVPR_PORT", "sim", 1);
        {
            Frame f;
            EXPECT_EQ(f.ui.texts(), c.atCreation);
            for (const auto& prompt : f.ui.prompts())
                EXPECT_EQ(prompt.icon, Icon::Stop);
            f.window->session().setUpPrinterPort();
            EXPECT_EQ(f.state.printerFound, c.found);
            EXPECT_EQ(f.ui.texts(), c.atCreation) << "start-up step 8 adds nothing";
            f.ui.clear();

            f.window->dispatch(CommandId::PrinterReset);
            f.window->dispatch(CommandId::PortLibraryCheck);
            EXPECT_EQ(f.ui.texts(), c.onKeys);
            EXPECT_EQ(f.ui.waitDepth(), 0);
        }
        if (old)
            setenv("KVPR_PORT_LIBRARY", saved.c_str(), 1);
        else
            unsetenv("KVPR_PORT_LIBRARY");
    }
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// One start-up on the virtual printer with its own port trace; what reached the port.
// The library is unloaded when the run ends, which closes the trace.
std::string
portTrace(const std::function<void(const ScopedProgramFolders&, const fs::path& trace)>& start) {
    ScopedProgramFolders folders;
    TempDir out;
    setenv("KVPR_PORT_TRACE", (out / "port.trace").c_str(), 1);
    setenv("KVPR_SIM_OUT", (out / "sim/").c_str(), 1);
    setenv("KVPR_SIM_WARMUP_MS", "0", 1);
    // No media question at start: it would wait for an answer.
    fs::create_directories(folders.home());
    test::writeBytes(folders.home() / "Kvx00.ini", "[SetMediaID]\r\nDisplayAtStartup=0\r\n");
    start(folders, out / "port.trace");
    for (const char* var : {"KVPR_PORT_TRACE", "KVPR_SIM_OUT", "KVPR_SIM_WARMUP_MS"})
        unsetenv(var);
    return fs::exists(out / "port.trace") ? readBytes(out / "port.trace") : "<no trace>";
}

// The program's port set-up (the binding's reset, then the search) waits for the
// window's first paint, and then reaches the port exactly as it did before it.
TEST(Application, PortSetUpComesAfterTheFirstPaintInTheSameOrder) {
    const fs::path shipped =
        shippedDataDirectory(QCoreApplication::applicationDirPath().toStdString());
    const std::string before = portTrace([&](const ScopedProgramFolders&, const fs::path&) {
        AppState state;
        platform::RecordingUi ui;
        MainWindow window(state, &ui);
        ASSERT_TRUE(window.create(shipped));
        window.session().setUpPrinterPort();
        EXPECT_TRUE(state.printerFound);
        EXPECT_TRUE(ui.texts().empty());
    });
    ASSERT_NE(before.find("out 0x378 0xff"), std::string::npos) << before;

    bool portIdleAtPaint = false;
    const std::string after = portTrace([&](const ScopedProgramFolders& folders,
                                            const fs::path& trace) {
        Application application;
        ASSERT_TRUE(application.start({}));
        ASSERT_NE(application.mainWindow(), nullptr);
        EXPECT_FALSE(application.state().printerFound);
        QObject::connect(application.mainWindow(), &MainWindow::firstPainted, [&] {
            portIdleAtPaint = !fs::exists(trace) && !application.state().printerFound;
        });
        // Dropped files are taken once the start-up is over.
        EXPECT_FALSE(application.mainWindow()->acceptDrops());
        ASSERT_TRUE(waitUntil([&] { return application.mainWindow()->acceptDrops(); }, 20000));
        EXPECT_TRUE(application.state().printerFound);
        EXPECT_EQ(readBytes(folders.system() / "kvprn.ini"), "[LPT PORT]\r\nLPT_ADDRESS=888\r\n");
    });
    EXPECT_TRUE(portIdleAtPaint);
    EXPECT_EQ(after, before);
}

// Files of the command line, and those a later launch hands over during the
// start-up's media question, come in as drops once the start-up is over, in that order.
TEST(Application, StartFilesAndHandedOverFilesAreAddedAfterTheStartUp) {
    ScopedProgramFolders folders;
    TempDir pictures;
    for (const char* name : {"eins.jpg", "zwei.jpg"})
        writeBytes(pictures / name, test::encodeJpeg(24, 16, [](int, JSAMPLE* row) {
                       std::fill(row, row + 24 * 3, JSAMPLE(128));
                   }));
    const QString zwei = QString::fromStdString((pictures / "zwei.jpg").string());
    setenv("KVPR_SIM_WARMUP_MS", "0", 1);

    Application application;
    CommandLine line;
    line.files = {(pictures / "eins.jpg").string()};
    ASSERT_TRUE(application.start(line));
    const AppState& state = application.state();
    // The name the application listens on, as a later launch of the same user finds it.
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME");
    if (user.isEmpty())
        user = QDir::home().dirName();
    SingleInstance later(QString::fromStdString(
        instanceServerName(user.toStdString(), platform::programDirectory())));

    // The media question comes once the virtual printer is found; the later launch
    // hands its file over while it is open.
    int countDuringQuestion = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        EXPECT_FALSE(later.claim({zwei}));
        EXPECT_TRUE(later.handedOver());
        QTest::qWait(700);
        countDuringQuestion = state.albums.pictureCount;
        dialog->reject();
    });
    poll.start(20);
    ASSERT_TRUE(waitUntil([&] { return state.albums.pictureCount == 2; }, 20000));
    EXPECT_EQ(countDuringQuestion, 0);
    EXPECT_EQ(state.albums.pictures[0].displayName, "eins.jpg");
    EXPECT_EQ(state.albums.pictures[1].displayName, "zwei.jpg");
    EXPECT_EQ(state.albums.pictures[1].fullPath, zwei.toStdString());
    unsetenv("KVPR_SIM_WARMUP_MS");
}

} // namespace
} // namespace kv::shell
