#include "adjust/quality_dialog.h"

#include "media/media_rank_table.h"
#include "platform/profile.h"
#include "platform/recording_ui.h"
#include "shell/main_window.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

#include <functional>

namespace kv::adjust {
namespace {

// Runs the command; `act` works in the quality dialog it opens. Returns the
// dialog's title, empty when none opened.
std::string run(shell::MainWindow& window, shell::CommandId id,
                const std::function<void(QualityDialog&)>& act) {
    std::string title;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<QualityDialog*>(QApplication::activeModalWidget())) {
            title = dialog->windowTitle().toStdString();
            act(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    window.dispatch(id);
    QApplication::processEvents();
    return title;
}

void press(QualityDialog& dialog, const char* name) {
    dialog.findChild<QAbstractButton*>(name)->click();
}

TEST(QualityDialogWiring, CommandsEditTheRunsSettings) {
    test::ScopedProgramFolders folders;
    test::TempDir shipped;
    test::writeBytes(shipped / "Media.rtb", media::MediaRankTable::defaults().toBytes());
    shell::AppState state;
    platform::RecordingUi ui;
    shell::MainWindow window(state, &ui);
    ASSERT_TRUE(window.create(shipped.path()));
    window.show();
    const platform::Profile ini(folders.home() / "kvx00.ini");
    const PictureAdjustSettings& settings = window.session().pictureSettings();

    // The service dialog exists only in debug mode.
    EXPECT_EQ(run(window, shell::CommandId::ImageQuality, [](QualityDialog&) {}), "");
    state.debugMode = true;
    EXPECT_EQ(run(window, shell::CommandId::ImageQuality,
                  [&](QualityDialog& dialog) {
                      press(dialog, "EdgeSharp");
                      EXPECT_EQ(settings.edge, kEdgeSharp); // live
                      press(dialog, "CancelButton");
                  }),
              "Bildqualität");
    EXPECT_EQ(settings.edge, kEdgeNormal);
    EXPECT_EQ(ini.readString("Image", "Edge", "<none>"), "<none>");

    EXPECT_EQ(run(window, shell::CommandId::PrintQuality,
                  [](QualityDialog& dialog) {
                      press(dialog, "EdgeSharp");
                      press(dialog, "OkButton");
                  }),
              "Druckqualität");
    EXPECT_EQ(settings.edge, kEdgeSharp);
    EXPECT_EQ(ini.readString("Image", "Edge", "<none>"), "3");

    // Not while a job prints.
    state.printBusy = true;
    EXPECT_EQ(run(window, shell::CommandId::PrintQuality, [](QualityDialog&) {}), "");
}

} // namespace
} // namespace kv::adjust
