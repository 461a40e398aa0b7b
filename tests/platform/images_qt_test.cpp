#include "platform/images_qt.h"

#include <gtest/gtest.h>

#include <QImage>

namespace kv::platform {
namespace {

int opaquePixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) == 255;
    return n;
}

TEST(ProgramImages, EveryImageRendersAtItsSizeOnATransparentGround) {
    const struct {
        const char* name;
        QSize size;
    } images[] = {
        {"toolbar-open", {33, 32}},   {"toolbar-save", {33, 32}},    {"toolbar-rotate", {33, 32}},
        {"toolbar-colour", {33, 32}}, {"toolbar-16up", {33, 32}},    {"toolbar-4up", {33, 32}},
        {"toolbar-1up", {33, 32}},    {"toolbar-preview", {33, 32}}, {"toolbar-print", {33, 32}},
        {"toolbar-batch", {33, 32}},  {"toolbar-help", {33, 32}},    {"album-new", {20, 20}},
        {"album-delete", {20, 20}},   {"cursor-drag", {32, 32}},     {"cursor-no-drop", {32, 32}},
        {"app-icon", {48, 48}},       {"app-icon", {256, 256}},
    };
    for (const auto& image : images) {
        SCOPED_TRACE(image.name);
        const QPixmap pixmap = programImage(image.name, image.size);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.size(), image.size);
        const QImage pixels = pixmap.toImage();
        const int area = image.size.width() * image.size.height();
        EXPECT_GT(opaquePixels(pixels), area / 10);
        EXPECT_EQ(qAlpha(pixels.pixel(0, image.size.height() - 1)), 0); // a corner stays clear
    }
}

TEST(ProgramImages, UnknownNameGivesNullPixmap) {
    EXPECT_TRUE(programImage("no-such-image", {16, 16}).isNull());
    EXPECT_TRUE(programImage("", {16, 16}).isNull());
}

TEST(ProgramImages, DragCursorsPointWithTheArrowTip) {
    for (const QCursor& cursor : {dragCursor(), noDropCursor()}) {
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor.hotSpot(), QPoint(1, 1));
        const QImage pixels = cursor.pixmap().toImage();
        ASSERT_EQ(pixels.size(), QSize(32, 32));
        EXPECT_GT(qAlpha(pixels.pixel(1, 1)), 0) << "the tip is drawn at the hot spot";
        EXPECT_EQ(qAlpha(pixels.pixel(0, 31)), 0);
    }
}

TEST(ProgramImages, BitmapRowsTurnUprightAndPaddingIsSkipped) {
    // 75 pixels wide: 225 bytes a row, 3 of them padding. Rows count from the bottom.
    Bitmap24 b = Bitmap24::make(75, 2);
    for (int x = 0; x < 75; ++x) {
        std::uint8_t* bottom = b.at(x, 0);
        std::uint8_t* top = b.at(x, 1);
        bottom[0] = 60, bottom[1] = 50, bottom[2] = 40;
        top[0] = 30, top[1] = 20, top[2] = 10;
    }
    const QImage image = toQImage(b);
    ASSERT_EQ(image.size(), QSize(75, 2));
    EXPECT_EQ(image.pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(image.pixel(74, 0), qRgb(10, 20, 30));
    EXPECT_EQ(image.pixel(74, 1), qRgb(40, 50, 60));
    b.pixels.resize(b.pixels.size() - 1);
    EXPECT_TRUE(toQImage(b).isNull());
    EXPECT_TRUE(toQImage(Bitmap24{}).isNull());
}

} // namespace
} // namespace kv::platform
