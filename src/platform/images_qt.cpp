#include "platform/images_qt.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstring>

namespace kv::platform {

namespace {

// The drag cursors' hot spot: the tip of the arrow.
constexpr int kCursorHotSpot = 1;
constexpr QSize kCursorSize(32, 32);

} // namespace

QPixmap programImage(std::string_view name, QSize size) {
    const QString path = QStringLiteral(":/images/") +
                         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
                         QStringLiteral(".svg");
    if (!QFile::exists(path))
        return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    if (size.isEmpty())
        size = renderer.defaultSize();

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return QPixmap::fromImage(std::move(image));
}

QCursor dragCursor() {
    return QCursor(programImage("cursor-drag", kCursorSize), kCursorHotSpot, kCursorHotSpot);
}

QCursor noDropCursor() {
    return QCursor(programImage("cursor-no-drop", kCursorSize), kCursorHotSpot, kCursorHotSpot);
}

QImage toQImage(const Bitmap24& bitmap) {
    const std::size_t stride = static_cast<std::size_t>(bitmap.stride());
    if (bitmap.empty() || bitmap.pixels.size() < stride * static_cast<std::size_t>(bitmap.height))
        return {};
    QImage image(bitmap.width, bitmap.height, QImage::Format_BGR888);
    if (image.isNull())
        return {};
    for (int y = 0; y < bitmap.height; ++y)
        std::memcpy(image.scanLine(y),
                    bitmap.pixels.data() + std::size_t(bitmap.height - 1 - y) * stride,
                    std::size_t(bitmap.width) * 3);
    return image;
}

} // namespace kv::platform
