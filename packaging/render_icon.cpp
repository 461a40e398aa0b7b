// Renders the program's SVG icon into the PNG sizes of the hicolor icon theme, at
// build time, so no rendered copies are kept in the repository.
//
//   kv_render_icon ICON.svg OUTDIR SIZE...   writes OUTDIR/SIZExSIZE/apps/<icon name>.png

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kIconName[] = "de.kelvor.kvphoto";

bool renderOne(QSvgRenderer& svg, int size, const QString& outDir) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
    }
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
    const QString file = QStringLiteral("%1/%2.png").arg(dir, QLatin1String(kIconName));
    if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
        std::fprintf(stderr, "kv_render_icon: cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

} // namespace

// No QGuiApplication: painting into a QImage needs no platform plugin, and the icon
// has no text that would need the font database.
int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: kv_render_icon ICON.svg OUTDIR SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "kv_render_icon: %s is not a usable SVG file\n", argv[1]);
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (*end != '\0' || size < 1 || size > 4096) {
            std::fprintf(stderr, "kv_render_icon: bad size %s\n", argv[i]);
            return 2;
        }
        if (!renderOne(svg, static_cast<int>(size), outDir))
            return 1;
    }
    return 0;
}
