#include "jobs/status_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>

namespace kv::jobs {
namespace {

const QColor kFace(192, 192, 192);
const QColor kNavy(0, 0, 128);
const QColor kRed(255, 0, 0);

// A 640 x 28 strip on a known button face: the progress box runs from x 10 to
// 249 and y 2 to 25, its inside from 11 to 248 and 3 to 24.
class StatusWindowTest : public ::testing::Test {
  protected:
    StatusWindowTest() : window(state) {
        QPalette pal = window.palette();
        pal.setColor(QPalette::Button, kFace);
        window.setPalette(pal);
        window.resize(640, StatusWindow::kHeight);
    }

    QImage shown() { return window.grab().toImage(); }

    // Text is antialiased, so its pixels are counted by their leaning hue.
    static int count(const QImage& image, const QRect& area, const QColor& colour) {
        const auto leansTo = [&colour](QColor c) {
            if (colour == kNavy)
                return c.blue() > c.red() + 40 && c.blue() > c.green() + 40;
            if (colour == kRed)
                return c.red() > c.blue() + 40 && c.red() > c.green() + 40;
            return c == colour;
        };
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += leansTo(image.pixelColor(x, y));
        return n;
    }

    shell::AppState state;
    StatusWindow window;
};

struct Expected {
    int x, y;
    QColor colour;
};

void expectPixels(const QImage& image, std::initializer_list<Expected> points) {
    for (const auto& p : points)
        EXPECT_EQ(image.pixelColor(p.x, p.y), p.colour) << "at " << p.x << "," << p.y;
}

TEST_F(StatusWindowTest, RestingLookShowsPanelsAndStatusText) {
    EXPECT_EQ(window.objectName(), "StatusWindow");
    EXPECT_EQ(window.windowTitle(), "Main Window Status");
    EXPECT_EQ(window.height(), 28);

    const QRect statusText(326, 5, 311, 21);
    EXPECT_EQ(count(shown(), statusText, kNavy), 0);

    state.statusText = "Urlaub.bmp [640X480]";
    const QImage image = shown();
    // Top line; button face around; left panel frame; the gap; right panel frame.
    expectPixels(image, {{0, 0, Qt::black},
                         {639, 0, Qt::black},
                         {1, 10, kFace},
                         {100, 1, kFace},
                         {100, 27, kFace},
                         {3, 10, Qt::black},
                         {100, 2, Qt::black},
                         {315, 10, Qt::white},
                         {100, 26, Qt::white},
                         {100, 14, kFace},
                         {320, 14, kFace},
                         {325, 10, Qt::black},
                         {330, 2, Qt::black},
                         {637, 10, Qt::white},
                         {330, 26, Qt::white},
                         {638, 10, kFace}});
    EXPECT_GT(count(image, statusText, kNavy), 10);
    EXPECT_EQ(count(image, QRect(0, 0, 320, 28), kNavy), 0);
}

TEST_F(StatusWindowTest, TransferDrawsNavyBarInsideTheBoxWithHintAndPercentage) {
    const QRect percentageArea(265, 4, 35, 20);

    window.showProgress(0);
    QImage image = shown();
    expectPixels(image, {{10, 14, Qt::black},
                         {249, 14, Qt::black},
                         {100, 2, Qt::black},
                         {100, 25, Qt::black},
                         {11, 3, Qt::white},
                         {248, 24, Qt::white}});
    EXPECT_EQ(count(image, QRect(11, 3, 238, 22), kNavy), 0);
    EXPECT_GT(count(image, QRect(11, 5, 238, 20), kRed), 10); // the ESC hint
    const int zeroPercent = count(image, percentageArea, kNavy);
    EXPECT_GT(zeroPercent, 5);

    window.showProgress(865);
    image = shown();
    expectPixels(image, {{11, 3, kNavy},
                         {248, 24, kNavy},
                         {11, 24, kNavy},
                         {248, 3, kNavy},
                         {10, 14, Qt::black},
                         {249, 14, Qt::black},
                         {250, 14, kFace}});
    EXPECT_GT(count(image, QRect(11, 5, 238, 20), kRed), 10);
    EXPECT_GT(count(image, percentageArea, kNavy), zeroPercent); // "100%" is wider
}

TEST_F(StatusWindowTest, FlaggedPhaseDrawsFullHeightRedBar) {
    window.flags.warmingUp = true;
    window.flags.preparingData = true;
    window.showProgress(432); // bar to x 128
    const QImage image = shown();
    expectPixels(image, {{10, 2, kRed},
                         {128, 25, kRed},
                         {128, 3, kRed},
                         {129, 3, Qt::white},
                         {249, 14, Qt::black}});
    // Warm-up shows no percentage, even with the preparing flag set.
    EXPECT_EQ(count(image, QRect(250, 3, 70, 23), kNavy), 0);
}

TEST_F(StatusWindowTest, TextsFitTheirBoxAndStayReadableOnTheirBar) {
    // Wider fonts than the strip was drawn for are made smaller to fit.
    const QString hint = QString::fromUtf8("Drücken Sie ESC, um den Druck anzuhalten");
    for (qreal points : {9.0, 12.0, 16.0}) {
        QFont base = window.font();
        base.setPointSizeF(points);
        EXPECT_LE(QFontMetrics(fittedFont(base, hint, 239)).horizontalAdvance(hint), 239) << points;
    }
    // Red text on the full red warm-up bar: white where it crosses the bar (the
    // bar and red text have no green at all).
    window.flags.warmingUp = true;
    window.showProgress(865);
    const QImage image = shown();
    int light = 0;
    for (int y = 6; y < 24; ++y)
        for (int x = 11; x < 249; ++x)
            light += image.pixelColor(x, y).green() > 128;
    EXPECT_GT(light, 50);
}

TEST_F(StatusWindowTest, RedrawReturnsToTheRestingLook) {
    window.showProgress(865);
    window.redraw();
    const QImage image = shown();
    expectPixels(image, {{11, 3, kFace}, {248, 24, kFace}, {100, 2, Qt::black}});
    EXPECT_EQ(count(image, QRect(0, 0, 320, 28), kNavy), 0);
    EXPECT_EQ(count(image, QRect(0, 0, 320, 28), kRed), 0);
}

// Progress comes from inside busy waits that run no event loop, so the strip
// must paint before showProgress and redraw return.
TEST_F(StatusWindowTest, PaintsBeforeReturning) {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    window.show();
    QApplication::processEvents();
    window.installEventFilter(&counter);

    window.showProgress(100);
    EXPECT_EQ(counter.paints, 1);
    window.redraw();
    EXPECT_EQ(counter.paints, 2);
    window.removeEventFilter(&counter);
}

} // namespace
} // namespace kv::jobs
