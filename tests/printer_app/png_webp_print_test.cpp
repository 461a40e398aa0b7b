// PNG and WebP documents through the built server: typed or untyped, each prints
// the very page that the same picture prints as a BMP, transparency as white paper.
#include "print_server.h"

#include <gtest/gtest.h>

#include <webp/encode.h>

namespace kv::print_server {
namespace {

constexpr int kWidth = 120, kHeight = 90;

// Every pixel's colour and opacity; a band of full and half transparency.
QRgb pixelAt(int x, int y) {
    const int alpha = y < 30 ? 255 : y < 60 ? (x % 2 ? 0 : 128) : 255;
    return qRgba(x * 2, y * 2, (x + y) % 256, alpha);
}

int onWhite(int value, int alpha) {
    return (value * alpha + 255 * (255 - alpha) + 127) / 255;
}

std::string saved(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

std::string losslessWebp() {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb p = pixelAt(x, y);
            rgba.insert(rgba.end(), {std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)),
                                     std::uint8_t(qBlue(p)), std::uint8_t(qAlpha(p))});
        }
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), kWidth, kHeight, kWidth * 4, &out);
    std::string file(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    return file;
}

TEST(PngWebpPrint, EachPrintsThePageOfTheSamePictureAsBmp) {
    PrintServer server;
    ASSERT_TRUE(server.running()) << server.log();
    QImage withAlpha(kWidth, kHeight, QImage::Format_ARGB32);
    QImage onPaper(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QRgb p = pixelAt(x, y);
            withAlpha.setPixel(x, y, p);
            onPaper.setPixel(x, y,
                             qRgb(onWhite(qRed(p), qAlpha(p)), onWhite(qGreen(p), qAlpha(p)),
                                  onWhite(qBlue(p), qAlpha(p))));
        }
    const std::string webp = losslessWebp();
    const struct {
        const char* name;
        std::string bytes;
        const char* format;
    } documents[] = {
        {"bild.bmp", saved(onPaper, "BMP"), "image/bmp"},
        {"bild.png", saved(withAlpha, "PNG"), "image/png"},
        {"bild-ohne-typ.png", saved(withAlpha, "PNG"), "application/octet-stream"},
        {"bild.webp", webp, "image/webp"},
        {"bild-ohne-typ.webp", webp, "application/octet-stream"},
    };
    for (const auto& d : documents) {
        SCOPED_TRACE(d.name);
        const fs::path file = server.root() / "pics" / d.name;
        fs::create_directories(file.parent_path());
        test::writeBytes(file, d.bytes);
        const int id = server.submit(file, d.format);
        ASSERT_NE(id, 0) << server.lastSubmit();
        const Attributes done = server.finish(id);
        EXPECT_EQ(at(done, "job-state"), "completed") << at(done, "job-state-message");
    }
    ASSERT_EQ(server.pages(), 5);
    const std::string bmpPage = test::readBytes(server.page(1));
    for (int n = 2; n <= 5; ++n)
        EXPECT_TRUE(test::readBytes(server.page(n)) == bmpPage) << "page " << n;
}

} // namespace
} // namespace kv::print_server
