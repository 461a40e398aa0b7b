// A camera raw sent to the printer application (as image/tiff, which a DNG also
// is) prints its developed sensor data, as the window prints it, not its preview.
#include "platform/imagelib/image_library.h"
#include "printer_app/document_sheet.h"
#include "support/dng_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace kv::printer_app {
namespace {

namespace fs = std::filesystem;
namespace lib = platform::imagelib;

std::vector<std::uint8_t> pixelsOf(const fs::path& file) {
    lib::DecodedImage decoded;
    platform::Bitmap24 bitmap;
    EXPECT_EQ(lib::ScaleCD(file, decoded), 1);
    EXPECT_TRUE(lib::ConvertTo24(decoded, bitmap));
    return bitmap.pixels;
}

TEST(DocumentSheetRaw, TurnedOrUncroppedTheSheetHoldsTheDevelopedRaw) {
    test::TempDir dir;
    const std::string raw = test::dng::dngFile({.orientation = 6});
    test::writeBytes(dir / "kamera.dng", raw);
    lib::DecodedImage developed;
    ASSERT_EQ(
        lib::developRaw({reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()}, developed),
        lib::DecodeResult::Ok);
    platform::Bitmap24 upright;
    ASSERT_TRUE(lib::ConvertTo24(developed, upright));

    // Smaller than the sheet and left unscaled: the developed pixels themselves;
    // turned half round: those turned.
    const struct {
        SheetRequest request;
        platform::Bitmap24 expected;
    } cases[] = {
        {{.scaling = Scaling::None}, upright},
        {{.scaling = Scaling::None, .quarterTurns = 2}, platform::turnBitmap(upright, 2)},
    };
    for (const auto& c : cases) {
        const SheetSource sheet = prepareDocumentSheet(dir / "kamera.dng", c.request, dir.path());
        ASSERT_EQ(sheet.failure, "");
        EXPECT_TRUE(pixelsOf(sheet.file) == c.expected.pixels);
    }
}

} // namespace
} // namespace kv::printer_app
