#pragma once

#include <QTextBrowser>

#include <filesystem>

namespace kv::shell {

// The program's help: the HTML pages in the program directory's help/ folder,
// shown in a window of their own beside the main window.
class HelpWindow : public QTextBrowser {
    Q_OBJECT
  public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // The contents page of the help in `programDirectory`.
    static std::filesystem::path contentsPage(const std::filesystem::path& programDirectory);

    // Shows the contents page; false when there is no help to show.
    bool showContents(const std::filesystem::path& programDirectory);
};

} // namespace kv::shell
