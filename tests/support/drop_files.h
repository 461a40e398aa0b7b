#pragma once

// Files dropped from the desktop onto a window, as the file manager drops them.
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <vector>

namespace kv::test {

inline void dropFiles(QWidget& window, const std::vector<std::filesystem::path>& files) {
    QList<QUrl> urls;
    for (const std::filesystem::path& file : files)
        urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
    QMimeData mime;
    mime.setUrls(urls);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // Straight to the window: without a drag in progress the application would
    // not route a drop at all.
    static_cast<QObject&>(window).event(&event);
}

} // namespace kv::test
