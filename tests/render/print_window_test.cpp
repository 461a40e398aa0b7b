#include "render/print_window.h"

#include <QScrollBar>
#include <gtest/gtest.h>

namespace kv::render {
namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);

// Top half red, bottom half blue; rows are stored bottom-up in BGR order.
platform::Bitmap24 twoColourPicture(int width, int height) {
    platform::Bitmap24 bitmap = platform::Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap.at(x, y);
            const bool top = y >= height / 2;
            p[0] = top ? 0 : 255;
            p[1] = 0;
            p[2] = top ? 255 : 0;
        }
    return bitmap;
}

struct Fixture {
    shell::AppState state;
    explicit Fixture(int width, int height) {
        state.albums.pictureCount = 1;
        state.albums.select(0);
        state.displayedPicture = twoColourPicture(width, height);
    }
};

QRgb background(const PrintWindow& window) {
    return window.palette().color(QPalette::Window).rgb();
}

QImage render(PrintWindow& window) {
    return window.grab().toImage();
}

TEST(PrintWindow, PaintsNothingWithoutAPictureToShow) {
    struct Case {
        const char* name;
        int pictureCount, selected;
        shell::Layout layout;
    };
    const Case cases[] = {
        {"empty album", 0, -1, shell::Layout::OneUp},
        {"empty album 4-up", 0, -1, shell::Layout::FourUp},
        {"empty album 16-up", 0, -1, shell::Layout::SixteenUp},
        {"no selection", 1, -1, shell::Layout::OneUp},
    };
    for (const Case& c : cases) {
        Fixture f(100, 100);
        f.state.albums.pictureCount = c.pictureCount;
        f.state.albums.select(c.selected);
        f.state.layout = c.layout;
        for (bool preview : {false, true}) {
            f.state.previewMode = preview;
            PrintWindow window(f.state);
            window.resize(200, 150);
            const QImage image = render(window);
            bool plain = true;
            for (int y = 0; y < image.height(); y += 7)
                for (int x = 0; x < image.width(); x += 7)
                    plain = plain && image.pixel(x, y) == background(window);
            EXPECT_TRUE(plain) << c.name << " preview " << preview;
            EXPECT_TRUE(
                window.findChild<QScrollBar*>("PrintWindowHorizontalScrollBar")->isHidden());
        }
    }
}

TEST(PrintWindow, AlbumJustChangedSkipsOnePaint) {
    Fixture f(100, 100);
    f.state.fitToWindow = true;
    f.state.albums.albumJustChanged = true;
    PrintWindow window(f.state);
    window.resize(600, 400);
    EXPECT_EQ(render(window).pixel(300, 160), background(window));
    EXPECT_FALSE(f.state.albums.albumJustChanged);
    EXPECT_EQ(render(window).pixel(300, 160), kRed);
}

TEST(PrintWindow, FittedSmallPictureIsCentredAtItsOwnSize) {
    Fixture f(100, 100);
    f.state.fitToWindow = true;
    PrintWindow window(f.state);
    window.resize(600, 400);
    const QImage image = render(window);
    const QRgb bg = background(window);
    EXPECT_EQ(image.pixel(250, 150), kRed);
    EXPECT_EQ(image.pixel(349, 249), kBlue);
    EXPECT_EQ(image.pixel(249, 150), bg);
    EXPECT_EQ(image.pixel(350, 249), bg);
    EXPECT_EQ(image.pixel(300, 149), bg);
    EXPECT_EQ(image.pixel(300, 250), bg);
}

TEST(PrintWindow, PreviewShowsPictureOnWhitePaper) {
    Fixture f(640, 480);
    f.state.previewMode = true;
    PrintWindow window(f.state);
    window.resize(800, 600);
    const QImage image = render(window);
    EXPECT_EQ(image.pixel(400, 5), background(window));
    EXPECT_EQ(image.pixel(40, 40), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(400, 100), kRed);
    EXPECT_EQ(image.pixel(400, 500), kBlue);
    EXPECT_EQ(image.pixel(79, 300), qRgb(255, 255, 255));
}

TEST(PrintWindow, OwnSizeScrollsInTwentyPixelSteps) {
    Fixture f(1000, 300);
    PrintWindow window(f.state);
    window.resize(600, 400);
    QImage image = render(window);
    EXPECT_EQ(image.pixel(5, 5), kRed);
    EXPECT_EQ(image.pixel(5, 295), kBlue);
    EXPECT_EQ(image.pixel(5, 305), background(window));

    auto* horizontal = window.findChild<QScrollBar*>("PrintWindowHorizontalScrollBar");
    auto* vertical = window.findChild<QScrollBar*>("PrintWindowVerticalScrollBar");
    EXPECT_FALSE(horizontal->isHidden());
    EXPECT_TRUE(vertical->isHidden());
    EXPECT_EQ(horizontal->maximum(), 400);

    horizontal->setValue(10);
    horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(horizontal->value(), 0);
    horizontal->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(horizontal->value(), 20);
    horizontal->setValue(390);
    horizontal->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(horizontal->value(), 400);

    // Fitting hides the bars again.
    f.state.fitToWindow = true;
    render(window);
    EXPECT_TRUE(horizontal->isHidden());
}

} // namespace
} // namespace kv::render
