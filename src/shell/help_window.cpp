#include "shell/help_window.h"

#include "shell/shell_messages.h"

#include <QScrollBar>
#include <QUrl>

namespace kv::shell {

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("HelpWindow"));
    // A window of its own, so the user can read beside the pictures.
    setWindowFlag(Qt::Window);
    setWindowTitle(QString::fromUtf8(kHelpTitle.data(), kHelpTitle.size()));
    // Links to web pages belong in the user's browser, not in the help window.
    setOpenExternalLinks(true);
    resize(560, 480);
}

std::filesystem::path HelpWindow::contentsPage(const std::filesystem::path& programDirectory) {
    return programDirectory / "help" / "index.html";
}

bool HelpWindow::showContents(const std::filesystem::path& programDirectory) {
    const std::filesystem::path page = contentsPage(programDirectory);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(page, ec))
        return false;
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(page.string()));
    setSource(url);
    // Asked again while open: back to the top of the contents.
    verticalScrollBar()->setValue(0);
    return true;
}

} // namespace kv::shell
