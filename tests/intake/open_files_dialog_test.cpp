#include "intake/open_files_dialog.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace kv::intake {
namespace {

namespace fs = std::filesystem;

// A folder of pictures and a dialog opened on it; the machine has one drive.
struct Scene {
    test::TempDir dir;
    shell::AppState state;
    platform::RecordingUi ui;
    OpenFilesMemory memory;

    Scene() {
        for (const char* name : {"a.bmp", "b.bmp"})
            EXPECT_TRUE(
                platform::imagelib::WriteBmpFile(dir / name, platform::Bitmap24::make(8, 6)));
        test::writeBytes(dir / "c.jpg", "x");
        fs::create_directories(dir / "sub");
    }
    std::unique_ptr<OpenFilesDialog> open() {
        OpenFilesEnvironment environment{dir / "kvtemp",
                                         [] { return std::optional<std::uint64_t>(1'000'000'000); },
                                         [] {
                                             return std::vector<Drive>{{"/", DriveIcon::Fixed}};
                                         }};
        auto dialog = std::make_unique<OpenFilesDialog>(state, ui, memory, dir.path(), environment);
        dialog->show();
        return dialog;
    }
};

template <typename T> T* child(QWidget* dialog, const char* name) {
    T* widget = dialog->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

QStringList texts(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void select(QListWidget* files, const QStringList& names) {
    files->clearSelection();
    for (const QString& name : names)
        files->findItems(name, Qt::MatchExactly).front()->setSelected(true);
}

TEST(OpenFilesDialog, TypeComboRemembersTheLastChoice) {
    Scene scene;
    {
        auto dialog = scene.open();
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("Dateien öffnen"));
        auto* types = child<QComboBox>(dialog.get(), "TypeCombo");
        ASSERT_EQ(types->count(), 14);
        EXPECT_EQ(types->itemText(0), "*.*");
        EXPECT_EQ(types->itemText(13), "Supported Format");
        EXPECT_EQ(types->currentIndex(), 13);
        auto* files = child<QListWidget>(dialog.get(), "FileList");
        EXPECT_EQ(texts(files), (QStringList{"a.bmp", "b.bmp", "c.jpg"}));
        types->setCurrentIndex(3);
        EXPECT_EQ(texts(files), QStringList{"c.jpg"});
    }
    auto dialog = scene.open();
    EXPECT_EQ(child<QComboBox>(dialog.get(), "TypeCombo")->currentIndex(), 3);
}

TEST(OpenFilesDialog, SeveralFilesCannotBeTurnedAndAreStagedOnLaden) {
    Scene scene;
    auto dialog = scene.open();
    auto* files = child<QListWidget>(dialog.get(), "FileList");
    auto* rotate = child<QPushButton>(dialog.get(), "RotateButton");
    auto* load = child<QPushButton>(dialog.get(), "LoadButton");
    EXPECT_EQ(rotate->text(), "&Rotieren");
    EXPECT_FALSE(load->isEnabled());

    select(files, {"a.bmp"});
    EXPECT_TRUE(rotate->isEnabled());
    EXPECT_TRUE(load->isEnabled());
    select(files, {});
    EXPECT_FALSE(load->isEnabled()); // nothing to load
    select(files, {"a.bmp", "b.bmp"});
    EXPECT_FALSE(rotate->isEnabled());
    EXPECT_TRUE(load->isEnabled());

    QTest::mouseClick(load, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(dialog->chosen());
    EXPECT_EQ(dialog->folder(), scene.dir.path());
    EXPECT_TRUE(scene.state.multiFileLoad);
    EXPECT_EQ(scene.state.multiFileCount, 2);
    EXPECT_EQ(scene.state.albums.pictureCount, 2);
    EXPECT_EQ(scene.state.albums.pictures[1].displayName, "b.bmp");
    EXPECT_EQ(scene.state.albums.pictures[1].fullPath, (scene.dir / "b.bmp").string());
    EXPECT_TRUE(scene.ui.texts().empty());
}

TEST(OpenFilesDialog, EnterOpensAFolderLineOrLoadsTheFile) {
    Scene scene;
    test::writeBytes(scene.dir / "sub/in-sub.bmp", "x");
    auto dialog = scene.open();
    auto* folders = child<QListWidget>(dialog.get(), "FolderList");
    auto* files = child<QListWidget>(dialog.get(), "FileList");
    folders->setCurrentItem(folders->item(folders->count() - 1));
    select(files, {"a.bmp"});
    QTest::keyClick(folders, Qt::Key_Return);
    EXPECT_EQ(dialog->folder(), scene.dir / "sub");
    EXPECT_EQ(texts(files), QStringList{"in-sub.bmp"});
    EXPECT_FALSE(child<QPushButton>(dialog.get(), "LoadButton")->isEnabled());
    EXPECT_TRUE(dialog->isVisible());

    folders->setCurrentItem(folders->findItems("sub", Qt::MatchEndsWith).front());
    folders->setCurrentRow(folders->currentRow() - 1); // the line above opens the parent
    QTest::keyClick(folders, Qt::Key_Return);
    EXPECT_EQ(dialog->folder(), scene.dir.path());
    select(files, {"a.bmp"});
    QTest::keyClick(files, Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(scene.state.multiFileLoad);
    EXPECT_EQ(scene.state.albums.pictures[0].displayName, "a.bmp");
    EXPECT_EQ(dialog->takePreview().width, 8);
}

} // namespace
} // namespace kv::intake
