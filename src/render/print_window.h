#pragma once

#include "platform/recording_ui.h"
#include "render/print_geometry.h"
#include "render/sheet_proof.h"
#include "shell/app_state.h"

#include <QImage>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QScrollBar;

namespace kv::render {

// The large pane right of the album panel: the selected picture at its own size
// with scroll bars or fitted to the window, the 4-in-1 or 16-in-1 sheet, and the
// page preview on white paper. Everything it shows is painted from the
// application state.
class PrintWindow : public QWidget {
    Q_OBJECT
  public:
    // Painting clears the state's album-just-changed flag, hence the mutable state.
    explicit PrintWindow(shell::AppState& state, QWidget* parent = nullptr);
    ~PrintWindow() override;

    // What a job would print with now, for the proof view; and the jobs' temporary
    // folder (the view writes its sheet file into a folder of its own inside).
    void setProofSource(std::function<ProofInputs()> inputs, std::filesystem::path tempDir);
    // The state's proofView or markUnprintable changed.
    void proofOptionsChanged();
    // Looks whether the sheet or anything a print depends on changed since the last
    // proof, and starts a new one if so. The view also looks by itself while it shows.
    void refreshProof();
    // The last finished proof, 640 x 480, without marks; null before the first.
    const QImage& proofImage() const { return m_proof; }
    // A proof is being made or waits to be.
    bool proofPending() const { return m_proofRunning || m_proofAgain; }

    // The 4-in-1 quarter or 16-in-1 cell a drop at `pos` goes into, as the sheet
    // is drawn now; -1 for none (1-in-1, or between the 16-in-1 cells).
    int sheetCellAt(QPoint pos) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void paintOneUp(QPainter& painter, const platform::Bitmap24& bitmap, std::uint64_t version);
    void paintSheet(QPainter& painter);
    Rect drawnSheet() const;
    void placeScrollBars(const ScrollPlan& plan);
    void stepScrollBar(QScrollBar* bar, int action);
    void scrollContent();
    const QImage& pictureImage(const platform::Bitmap24& bitmap, std::uint64_t version);
    void paintProof(QPainter& painter);
    std::string sheetKey() const;
    void proofDone(const std::string& key, QImage proof, QImage marked);

    std::function<ProofInputs()> m_proofInputs;
    std::filesystem::path m_tempDir;
    std::filesystem::path m_proofFolder;
    platform::RecordingUi m_quietUi; // the sheet file's messages are the print's to tell
    QThreadPool m_proofPool;
    QTimer m_proofLook;
    bool m_proofRunning = false;
    bool m_proofAgain = false;
    std::string m_proofKey; // what the shown or running proof was made from
    QImage m_proof;
    QImage m_proofMarked; // the proof with the unprintable pixels hatched

    shell::AppState& m_state;
    QScrollBar* m_horizontal = nullptr;
    QScrollBar* m_vertical = nullptr;
    int m_shownX = 0; // scroll position the window content was last drawn at
    int m_shownY = 0;
    QRect m_scrollArea; // the own-size picture's client area beside the bars
    bool m_painting = false;

    QImage m_picture;
    std::uint64_t m_pictureVersion = 0; // the displayed picture m_picture was made from
};

} // namespace kv::render
