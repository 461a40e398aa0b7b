#pragma once

#include "jobs/status_progress.h"
#include "platform/progress.h"
#include "shell/app_state.h"

#include <QFont>
#include <QWidget>

#include <optional>
#include <string>

namespace kv::jobs {

// `base` made smaller until `text` fits `width` pixels (not below a readable
// size; what still does not fit is elided with "…" when drawn).
QFont fittedFont(const QFont& base, const QString& text, int width);

// The strip along the bottom of the main window: the printer link's progress
// on the left, the loaded picture's status text on the right. The main window
// places it and spans it over its client width.
class StatusWindow : public QWidget, public platform::ProgressDisplay {
    Q_OBJECT
  public:
    static constexpr int kHeight = 28;

    explicit StatusWindow(const shell::AppState& state, QWidget* parent = nullptr);

    // Called from inside long printer waits: both paint before they return.
    void showProgress(int value) override;
    void redraw() override;
    // The text the progress half shows now; empty at rest.
    std::string progressText() const { return m_progress ? m_progress->text : std::string(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const shell::AppState& m_state;
    // Kept until redraw(), so an unrelated repaint does not wipe the progress.
    std::optional<ProgressPlan> m_progress;
};

} // namespace kv::jobs
