#include "albums/album_messages.h"
#include "albums/album_name_dialog.h"
#include "albums/album_store.h"
#include "albums/album_window.h"
#include "albums/album_window_host.h"
#include "albums/thumbnail_grid.h"
#include "albums/thumbnail_window.h"
#include "platform/recording_ui.h"
#include "shell/app_state.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv::albums {
namespace {

namespace fs = std::filesystem;
using Answer = platform::Ui::Answer;
using Icon = platform::Ui::Icon;
using test::readBytes;
using test::writeBytes;

struct FakeHost : AlbumWindowHost {
    shell::AppState* app = nullptr;
    QWidget* print = nullptr;
    int displays = 0;
    int refreshes = 0;
    std::vector<QPoint> placed;
    // As the program's display does: the picture shown becomes the loaded one.
    void displaySelectedPicture() override {
        ++displays;
        app->albums.setLoaded(app->albums.selectedPicture());
    }
    QWidget* printWindow() override { return print; }
    void placeOnSheet(QPoint pos) override { placed.push_back(pos); }
    void refreshViews() override { ++refreshes; }
};

// Runs `action` on the next modal dialog as soon as it shows; stops with the test.
class ModalDriver {
  public:
    ModalDriver() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            m_timer.stop();
            ++m_seen;
            auto action = std::move(m_action);
            action(dialog);
        });
    }
    void onNext(std::function<void(QDialog*)> action) {
        m_action = std::move(action);
        m_timer.start();
    }
    int seen() const { return m_seen; }

  private:
    QTimer m_timer;
    std::function<void(QDialog*)> m_action;
    int m_seen = 0;
};

// Key presses carrying each character, as a keyboard layout with umlauts sends
// them (QTest::keyClicks knows ASCII only).
void typeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(widget, &release);
    }
}

void typeAndPress(QDialog* dialog, const QString& text, const char* button) {
    typeText(dialog->findChild<QLineEdit*>("AlbumNameEdit"), text);
    QTest::mouseClick(dialog->findChild<QPushButton*>(button), Qt::LeftButton);
}

platform::Bitmap24 solid(int width, int height, QRgb top, QRgb bottom) {
    platform::Bitmap24 b = platform::Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y) {
        const QRgb c = y >= height / 2 ? top : bottom; // rows counted from the bottom
        for (int x = 0; x < width; ++x) {
            b.at(x, y)[0] = static_cast<std::uint8_t>(qBlue(c));
            b.at(x, y)[1] = static_cast<std::uint8_t>(qGreen(c));
            b.at(x, y)[2] = static_cast<std::uint8_t>(qRed(c));
        }
    }
    return b;
}

// The album windows as the main window arranges them, over a fresh program folder
// whose album.dat lists My_Album, Ferien and Zoo.
struct Scene {
    test::TempDir dir;
    shell::AppState app;
    platform::RecordingUi ui;
    AlbumStore store{app.albums, ui, dir.path()};
    FakeHost host;
    ModalDriver modal;
    std::unique_ptr<QWidget> top;
    AlbumWindow* albumWindow = nullptr;
    ThumbnailWindow* thumbs = nullptr;

    explicit Scene(int pictures, const std::string& list = "3\r\nMy_Album\r\nFerien\r\nZoo\r\n") {
        writeBytes(dir / "album.dat", list);
        store.readAlbumList("My_Album");
        store.loadAlbum(0);
        for (int i = 0; i < pictures; ++i)
            addPicture("bild" + std::to_string(i) + ".jpg", i % 2 ? 75 : 100, i % 2 ? 100 : 75);
        ui.clear();

        top = std::make_unique<QWidget>();
        top->resize(600, 400);
        host.app = &app;
        host.print = new QWidget(top.get());
        host.print->setGeometry(260, 1, 330, 390);
        albumWindow = new AlbumWindow(app, store, ui, host, top.get());
        albumWindow->setGeometry(0, 0, 251, AlbumWindow::kHeight);
        thumbs = new ThumbnailWindow(app, store, ui, host, *albumWindow, top.get());
        thumbs->setGeometry(0, 27, 251, 300);
        top->show();
        top->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(top.get()));
    }

    void addPicture(const std::string& name, int width, int height) {
        AlbumState& albums = app.albums;
        PictureRow& row = albums.pictures[static_cast<std::size_t>(albums.pictureCount)];
        row.fullPath = (dir / name).string();
        row.displayName = name;
        row.thumbnail = solid(width, height, qRgb(255, 0, 0), qRgb(0, 160, 0));
        writeBytes(dir / name, std::string(1000 + albums.pictureCount, 'x'));
        ++albums.pictureCount;
        ASSERT_EQ(store.appendPicture(), StoreResult::Done);
    }

    QTabBar* tabs() const { return top->findChild<QTabBar*>("AlbumTabs"); }
    QStringList tabTexts() const {
        QStringList texts;
        for (int i = 0; i < tabs()->count(); ++i)
            texts << tabs()->tabText(i);
        return texts;
    }
    QToolButton* button(const char* name) const { return top->findChild<QToolButton*>(name); }
    QWidget* viewport() const { return thumbs->viewport(); }
    QPoint cell(int index) const {
        const grid::Box f = grid::frameBox(index, 2);
        return QPoint((f.left + f.right) / 2, (f.top + f.bottom) / 2);
    }
    QPoint tabCentre(int index) const {
        return tabs()->mapToGlobal(tabs()->tabRect(index).center());
    }
    void clickTab(int index) const {
        QTest::mouseClick(tabs(), Qt::LeftButton, {}, tabs()->tabRect(index).center());
    }
    // Press on a picture, move, and release over a screen point.
    void drag(int index, QPoint globalTarget, Qt::KeyboardModifiers modifiers = {}) const {
        const QPoint start = cell(index);
        const QPoint end = viewport()->mapFromGlobal(globalTarget);
        QTest::mousePress(viewport(), Qt::LeftButton, modifiers, start);
        QTest::mouseMove(viewport(), start + QPoint(4, 4));
        QTest::mouseMove(viewport(), end);
        QTest::mouseRelease(viewport(), Qt::LeftButton, modifiers, end);
    }
    std::string file(const std::string& name) const {
        return fs::exists(dir / name) ? readBytes(dir / name) : std::string("<none>");
    }
};

TEST(AlbumNameDialogTest, EditsRefuseTheFiftiethByte) {
    const QString a47(47, 'a'), a48(48, 'a'), a49(49, 'a');
    const struct {
        AlbumNameDialog::Kind kind;
        QString typed;
        QString kept;
    } cases[] = {
        {AlbumNameDialog::Kind::NewAlbum, a49 + "b", a49},
        {AlbumNameDialog::Kind::RenameAlbum, a49 + "b", a49},
        {AlbumNameDialog::Kind::NewAlbum, a47 + "ä", a47 + "ä"},     // 49 bytes
        {AlbumNameDialog::Kind::RenameAlbum, a48 + "äb", a48 + "b"}, // ä would make 50
    };
    for (const auto& c : cases) {
        AlbumNameDialog dialog(c.kind);
        auto* edit = dialog.findChild<QLineEdit*>("AlbumNameEdit");
        ASSERT_TRUE(edit);
        EXPECT_TRUE(edit->text().isEmpty());
        typeText(edit, c.typed);
        EXPECT_EQ(edit->text(), c.kept);
    }
}

TEST(AlbumNameDialogTest, CaptionsOfBothDialogs) {
    AlbumNameDialog add(AlbumNameDialog::Kind::NewAlbum);
    AlbumNameDialog rename(AlbumNameDialog::Kind::RenameAlbum);
    EXPECT_EQ(add.windowTitle(), "Hinzufuegen eines neuen Albums");
    EXPECT_EQ(rename.windowTitle(), "Umbenennen des Albums");
    EXPECT_EQ(add.findChild<QLabel*>()->text(), "Albumname");
    EXPECT_EQ(rename.findChild<QLabel*>()->text(), "Der neue Name :");
    EXPECT_EQ(add.findChild<QPushButton*>("OkButton")->text(), "OK");
    EXPECT_EQ(add.findChild<QPushButton*>("CancelButton")->text(), "Abbrechen");
}

TEST(AlbumWindowTest, TabsMirrorTheAlbumListAndDeleteNeedsTwoAlbums) {
    Scene three(0);
    EXPECT_EQ(three.tabTexts(), QStringList({"My_Album", "Ferien", "Zoo"}));
    EXPECT_EQ(three.tabs()->currentIndex(), 0);
    EXPECT_TRUE(three.button("DeleteAlbumButton")->isEnabled());
    EXPECT_EQ(three.button("NewAlbumButton")->toolTip(), "Neu");
    EXPECT_EQ(three.button("DeleteAlbumButton")->toolTip(), "Löschen");

    Scene one(0, "1\r\nMy_Album\r\n");
    EXPECT_FALSE(one.button("DeleteAlbumButton")->isEnabled());
}

TEST(AlbumWindowTest, NamesShowAsTypedAndTheCurrentTabStaysInSight) {
    const std::string longName(49, 'x');
    Scene s(0, "4\r\nMy_Album\r\nTom & Jerry\r\nFerien\r\n" + longName + "\r\n");
    // "&" is text, not an access key.
    EXPECT_EQ(s.tabs()->tabText(1), "Tom && Jerry");
    EXPECT_EQ(s.tabs()->tabToolTip(1), "Tom & Jerry");
    EXPECT_EQ(s.tabs()->tabToolTip(3), QString::fromStdString(longName));
    for (int album : {3, 1, 3, 0}) {
        // As after adding, deleting or switching: the current tab is scrolled to.
        s.app.albums.currentAlbum = album;
        s.albumWindow->syncTabs();
        QTest::qWait(1);
        const QRect tab = s.tabs()->tabRect(album);
        EXPECT_TRUE(s.tabs()->rect().intersects(tab)) << album;
        EXPECT_GE(tab.left(), 0) << album;
    }
}

TEST(AlbumWindowTest, NewAlbumThroughTheDialog) {
    const std::string list = "3\r\nMy_Album\r\nFerien\r\nZoo\r\n";
    const struct {
        QString typed;
        const char* press;
        std::vector<std::string> messages;
        QStringList tabs;
        int current;
        std::string file;
    } cases[] = {
        {"Urlaub",
         "OkButton",
         {},
         {"My_Album", "Ferien", "Zoo", "Urlaub"},
         3,
         "4\r\nMy_Album\r\nFerien\r\nZoo\r\nUrlaub\r\n"},
        {"ferien",
         "OkButton",
         {std::string(msg::kNameExists)},
         {"My_Album", "Ferien", "Zoo"},
         0,
         list},
        {"Album",
         "OkButton",
         {std::string(msg::kNameReserved)},
         {"My_Album", "Ferien", "Zoo"},
         0,
         list},
        {"Urlaub", "CancelButton", {}, {"My_Album", "Ferien", "Zoo"}, 0, list},
    };
    for (const auto& c : cases) {
        Scene s(2);
        s.app.adjustedPicturePresent = true;
        s.modal.onNext([&](QDialog* d) { typeAndPress(d, c.typed, c.press); });
        QTest::mouseClick(s.button("NewAlbumButton"), Qt::LeftButton);
        EXPECT_EQ(s.modal.seen(), 1);
        EXPECT_EQ(s.ui.texts(), c.messages) << c.typed.toStdString();
        EXPECT_EQ(s.tabTexts(), c.tabs);
        EXPECT_EQ(s.tabs()->currentIndex(), c.current);
        EXPECT_EQ(s.app.albums.currentAlbum, c.current);
        EXPECT_EQ(s.file("album.dat"), c.file);
        EXPECT_FALSE(s.app.adjustedPicturePresent);
        if (c.current == 3) {
            EXPECT_EQ(s.app.albums.pictureCount, 0);
        }
    }
}

TEST(AlbumWindowTest, RenameByDoubleClickOnTheSelectedTab) {
    Scene s(0);
    const std::string names = " 1\r\n/bilder/a.jpg\r\na.jpg\r\n";
    const std::string data(12, '\0'); // one 0 x 0 record
    writeBytes(s.dir / "Ferien.dat", names);
    writeBytes(s.dir / "Ferien.dat1", data);
    s.clickTab(1);
    s.modal.onNext([](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Umbenennen des Albums");
        typeAndPress(d, "Reise", "OkButton");
    });
    QTest::mouseDClick(s.tabs(), Qt::LeftButton, {}, s.tabs()->tabRect(1).center());
    EXPECT_EQ(s.modal.seen(), 1);
    EXPECT_EQ(s.tabTexts(), QStringList({"My_Album", "Reise", "Zoo"}));
    EXPECT_EQ(s.file("album.dat"), "3\r\nMy_Album\r\nReise\r\nZoo\r\n");
    EXPECT_EQ(s.file("Reise.dat"), names);
    EXPECT_EQ(s.file("Reise.dat1"), data);
    EXPECT_FALSE(fs::exists(s.dir / "Ferien.dat"));

    // A tab that is not selected: no dialog at all.
    s.modal.onNext([](QDialog* d) { d->reject(); });
    QTest::mouseDClick(s.tabs(), Qt::LeftButton, {}, s.tabs()->tabRect(2).center());
    QTest::qWait(30);
    EXPECT_EQ(s.modal.seen(), 1);

    // The default album keeps its name.
    s.clickTab(0);
    s.modal.onNext([](QDialog* d) { typeAndPress(d, "Neu", "OkButton"); });
    QTest::mouseDClick(s.tabs(), Qt::LeftButton, {}, s.tabs()->tabRect(0).center());
    EXPECT_EQ(s.ui.texts(), std::vector<std::string>{std::string(msg::kCannotRenameDefault)});
    EXPECT_EQ(s.tabTexts(), QStringList({"My_Album", "Reise", "Zoo"}));
}

TEST(AlbumWindowTest, DeleteAsksAndSelectsTheNeighbour) {
    Scene s(0);
    s.clickTab(2);
    s.ui.script(Answer::No);
    QTest::mouseClick(s.button("DeleteAlbumButton"), Qt::LeftButton);
    EXPECT_EQ(s.tabTexts(), QStringList({"My_Album", "Ferien", "Zoo"}));

    s.ui.clear();
    s.ui.script(Answer::Yes);
    const int refreshes = s.host.refreshes;
    QTest::mouseClick(s.button("DeleteAlbumButton"), Qt::LeftButton);
    ASSERT_EQ(s.ui.prompts().size(), 1u);
    EXPECT_EQ(s.ui.prompts()[0].text, "Wollen Sie folgendes Album löschen: Zoo ? ");
    EXPECT_EQ(s.tabTexts(), QStringList({"My_Album", "Ferien"}));
    EXPECT_EQ(s.tabs()->currentIndex(), 1);
    EXPECT_EQ(s.app.albums.currentAlbum, 1);
    EXPECT_EQ(s.host.refreshes, refreshes + 1);
    EXPECT_EQ(s.file("album.dat"), "2\r\nMy_Album\r\nFerien\r\n");

    s.ui.script(Answer::Yes);
    QTest::mouseClick(s.button("DeleteAlbumButton"), Qt::LeftButton);
    EXPECT_EQ(s.tabTexts(), QStringList({"My_Album"}));
    EXPECT_FALSE(s.button("DeleteAlbumButton")->isEnabled());
}

TEST(AlbumWindowTest, SelectingATabLoadsItsAlbum) {
    Scene s(0);
    s.store.loadAlbum(1);
    s.addPicture("a.jpg", 100, 75);
    s.addPicture("b.jpg", 100, 75);
    s.store.loadAlbum(0);
    s.albumWindow->syncTabs();
    s.app.adjustedPicturePresent = true;
    s.app.albums.albumJustChanged = false;

    s.clickTab(1);
    EXPECT_EQ(s.app.albums.currentAlbum, 1);
    EXPECT_EQ(s.app.albums.pictureCount, 2);
    EXPECT_EQ(s.app.albums.pictures[1].displayName, "b.jpg");
    EXPECT_FALSE(s.app.adjustedPicturePresent);
    EXPECT_TRUE(s.app.albums.albumJustChanged);
    EXPECT_EQ(s.host.refreshes, 1);
}

TEST(ThumbnailWindowTest, ClicksSelectAndMissesKeepTheSelection) {
    Scene s(3);
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.cell(1));
    EXPECT_EQ(s.app.albums.selectedPicture(), 1);
    s.app.adjustedPicturePresent = true;
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, QPoint(125, 50)); // between cells
    EXPECT_EQ(s.app.albums.selectedPicture(), 1);
    EXPECT_FALSE(s.app.adjustedPicturePresent); // every button up drops the adjusted copy
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, QPoint(60, 140)); // on the caption
    EXPECT_EQ(s.app.albums.selectedPicture(), 0);
    QTest::keyClick(s.thumbs, Qt::Key_Down);
    EXPECT_EQ(s.app.albums.selectedPicture(), 2);
    EXPECT_EQ(s.host.displays, 0);
}

TEST(ThumbnailWindowTest, DoubleClickShowsOnlyWhatIsNotShownYet) {
    const struct {
        shell::Layout layout;
        int loaded;
        bool justChanged, rotated;
        int displays;
    } cases[] = {
        {shell::Layout::OneUp, -2, false, false, 1}, {shell::Layout::OneUp, 1, false, false, 0},
        {shell::Layout::OneUp, 1, true, false, 1},   {shell::Layout::OneUp, 1, false, true, 1},
        {shell::Layout::FourUp, -2, true, false, 0}, {shell::Layout::SixteenUp, 0, false, false, 0},
    };
    for (const auto& c : cases) {
        Scene s(3);
        s.app.layout = c.layout;
        s.app.albums.setLoaded(c.loaded);
        s.app.albums.albumJustChanged = c.justChanged;
        s.app.albums.pictureRotated = c.rotated;
        QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.cell(1));
        QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, s.cell(1));
        QTest::mouseRelease(s.viewport(), Qt::LeftButton, {}, s.cell(1));
        EXPECT_EQ(s.host.displays, c.displays) << c.loaded << c.justChanged << c.rotated;
        if (c.displays == 1) {
            EXPECT_EQ(s.app.albums.loadedPicture(), 1);
            EXPECT_FALSE(s.app.albums.albumJustChanged || s.app.albums.pictureRotated);
        }
    }
}

TEST(ThumbnailWindowTest, DropOnThePrintWindow) {
    const struct {
        shell::Layout layout;
        int loaded;
        int displays;
        bool placed;
    } cases[] = {
        {shell::Layout::OneUp, -2, 1, false},
        {shell::Layout::OneUp, 2, 0, false}, // already shown
        {shell::Layout::FourUp, 2, 1, true},
        {shell::Layout::SixteenUp, -2, 1, true},
    };
    for (const auto& c : cases) {
        Scene s(3);
        s.app.layout = c.layout;
        s.app.albums.setLoaded(c.loaded);
        s.app.albums.albumJustChanged = false;
        s.drag(2, s.host.print->mapToGlobal(QPoint(40, 30)));
        EXPECT_EQ(s.host.displays, c.displays);
        EXPECT_EQ(s.app.albums.loadedPicture(), c.displays ? 2 : c.loaded);
        EXPECT_EQ(s.host.placed,
                  c.placed ? std::vector<QPoint>{QPoint(40, 30)} : std::vector<QPoint>{});
        EXPECT_TRUE(s.ui.prompts().empty());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST(ThumbnailWindowTest, DropOnAnotherAlbumsTabCopiesOrMoves) {
    const struct {
        Qt::KeyboardModifiers modifiers;
        Answer answer;
        const char* question;
        int leftHere;
        std::string target;
        int displays;
    } cases[] = {
        {Qt::ControlModifier, Answer::Yes,
         "Wollen Sie die aktuelle Datei in dieses Album kopieren?", 3, " 1\r\n", 0},
        {{},
         Answer::Yes,
         "Wollen Sie die aktuelle Datei in dieses Album verschieben?",
         2,
         " 1\r\n",
         1},
        {{},
         Answer::No,
         "Wollen Sie die aktuelle Datei in dieses Album verschieben?",
         3,
         "<none>",
         0},
    };
    for (const auto& c : cases) {
        Scene s(3);
        s.ui.script(c.answer);
        s.drag(1, s.tabCentre(1), c.modifiers);
        ASSERT_EQ(s.ui.prompts().size(), 1u);
        EXPECT_EQ(s.ui.prompts()[0].text, c.question);
        EXPECT_EQ(s.ui.prompts()[0].icon, Icon::Question);
        EXPECT_EQ(s.app.albums.pictureCount, c.leftHere);
        EXPECT_EQ(s.file("My_Album.dat").substr(0, 4), " " + std::to_string(c.leftHere) + "\r\n");
        EXPECT_EQ(s.file("Ferien.dat").substr(0, c.target.size()), c.target);
        if (c.target != "<none>") {
            EXPECT_NE(s.file("Ferien.dat").find("bild1.jpg"), std::string::npos);
        }
        EXPECT_EQ(s.host.displays, c.displays);
    }
}

TEST(ThumbnailWindowTest, MovingTheLastPictureEmptiesTheViews) {
    Scene s(1);
    s.ui.script(Answer::Yes);
    s.drag(0, s.tabCentre(2));
    EXPECT_EQ(s.app.albums.pictureCount, 0);
    EXPECT_EQ(s.host.refreshes, 1);
    EXPECT_EQ(s.host.displays, 0);
    EXPECT_EQ(s.file("My_Album.dat"), "<none>");
}

TEST(ThumbnailWindowTest, DropsThatDoNothing) {
    Scene s(3);
    s.drag(1, s.tabCentre(0)); // the current album's own tab
    s.drag(1, s.viewport()->mapToGlobal(s.cell(2)));
    s.drag(1, s.top->mapToGlobal(QPoint(100, 380))); // below the thumbnails
    EXPECT_TRUE(s.ui.prompts().empty());
    EXPECT_EQ(s.host.displays, 0);
    EXPECT_EQ(s.app.albums.pictureCount, 3);

    // A Ctrl-drag that ended elsewhere does not make the next drag a copy.
    s.ui.script(Answer::No);
    s.drag(1, s.tabCentre(1));
    ASSERT_EQ(s.ui.prompts().size(), 1u);
    EXPECT_EQ(s.ui.prompts()[0].text, "Wollen Sie die aktuelle Datei in dieses Album verschieben?");
}

TEST(ThumbnailWindowTest, RightClickShowsThePropertiesSheet) {
    Scene s(2);
    QString title, status, size;
    s.modal.onNext([&](QDialog* d) {
        title = d->windowTitle();
        status = d->findChild<QLineEdit*>("PropertyStatus")->text();
        size = d->findChild<QLineEdit*>("PropertySize")->text();
        d->accept();
    });
    QTest::mouseClick(s.viewport(), Qt::RightButton, {}, s.cell(1));
    EXPECT_EQ(title, "Fotodatei (bild1.jpg) Eigenschaften:");
    EXPECT_EQ(status, "Datei einwandfrei geöffnet.");
    EXPECT_EQ(size, "1001 bytes");
    EXPECT_EQ(s.app.albums.selectedPicture(), -1);

    s.modal.onNext([](QDialog* d) { d->accept(); });
    QTest::mouseClick(s.viewport(), Qt::RightButton, {}, QPoint(125, 50));
    QTest::qWait(30);
    EXPECT_EQ(s.modal.seen(), 1);
}

TEST(ThumbnailWindowTest, PaintsThumbnailsUprightWithSelectionAndCaption) {
    Scene s(3);
    EXPECT_FALSE(s.thumbs->verticalScrollBar()->isVisible()); // 284 of 300 pixels
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.cell(0));
    const QImage shot = s.viewport()->grab().toImage();
    const grid::Box thumb = grid::thumbnailBox(0, 2, 100, 75);
    EXPECT_EQ(shot.pixel(thumb.left + 50, thumb.top + 5), qRgb(255, 0, 0)); // top half red
    EXPECT_EQ(shot.pixel(thumb.left + 50, thumb.bottom - 5), qRgb(0, 160, 0));
    EXPECT_EQ(shot.pixel(thumb.left - 1, thumb.top + 10), qRgb(0, 0, 255));
    const grid::Box caption = grid::captionBox(0, 2);
    EXPECT_EQ(shot.pixel(caption.left + 3, caption.top + 3), qRgb(0, 0, 128));
    EXPECT_EQ(shot.pixel(caption.left, caption.top + 3), qRgb(64, 64, 64));
    const grid::Box other = grid::captionBox(1, 2);
    EXPECT_EQ(shot.pixel(other.left + 3, other.top + 3), qRgb(255, 255, 255));

    s.addPicture("d.jpg", 100, 75);
    s.addPicture("e.jpg", 100, 75);
    s.thumbs->refresh();
    QScrollBar* bar = s.thumbs->verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 142);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bar->value(), 142);
    QTest::mouseClick(s.viewport(), Qt::LeftButton, {}, s.cell(0)); // now row 1: picture 2
    EXPECT_EQ(s.app.albums.selectedPicture(), 2);
}

} // namespace
} // namespace kv::albums
