#include "render/layout_composition.h"

#include "albums/album_files.h"
#include "intake/temp_bmp.h"
#include "platform/imagelib/image_library.h"
#include "platform/recording_ui.h"
#include "render/layout_messages.h"
#include "render/sheet_loader.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <jpeglib.h>
#include <string>
#include <vector>

namespace kv::render {
namespace {

namespace fs = std::filesystem;
namespace lib = platform::imagelib;
using platform::Bitmap24;
using shell::Layout;

using Colour = std::array<std::uint8_t, 3>; // blue, green, red as stored
constexpr Colour kWhite{255, 255, 255};
constexpr Colour kRed{0, 0, 255};
constexpr Colour kBlue{255, 0, 0};
constexpr Colour kGreen{0, 255, 0};
constexpr Colour kGrey{90, 90, 90};

// A picture of one colour; with `bottom` the lower half has that colour instead.
Bitmap24 picture(int width, int height, Colour top, Colour bottom) {
    Bitmap24 b = Bitmap24::make(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Colour& c = y >= height / 2 ? top : bottom; // rows from the bottom
            std::copy(c.begin(), c.end(), b.at(x, y));
        }
    return b;
}
Bitmap24 picture(int width, int height, Colour c) {
    return picture(width, height, c, c);
}

fs::path save(const fs::path& file, const Bitmap24& b) {
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(lib::WriteBmpFile(file, b));
    return file;
}

// Mid grey, or `top` over `bottom` (blue, green, red as in a Bitmap24).
void writeJpeg(const fs::path& file, int width, int height, Colour top = {128, 128, 128},
               Colour bottom = {128, 128, 128}) {
    FILE* out = std::fopen(file.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * 3);
    for (JSAMPROW rows[] = {row.data()}; c.next_scanline < c.image_height;) {
        const Colour& bgr = c.next_scanline < c.image_height / 2 ? top : bottom;
        for (int x = 0; x < width; ++x)
            std::copy(bgr.rbegin(), bgr.rend(), row.begin() + x * 3);
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
}

// Width and height of a written BMP file.
std::pair<int, int> bmpSize(const fs::path& file) {
    const std::string b = test::readBytes(file);
    const BmpInfo info =
        readBmpHeaders({reinterpret_cast<const std::uint8_t*>(b.data()), b.size()}).info;
    return {info.width, info.height};
}

Colour sheetPixel(const Bitmap24& sheet, int x, int yFromTop) {
    const std::uint8_t* p = sheet.at(x, sheet.height - 1 - yFromTop);
    return {p[0], p[1], p[2]};
}

// The box of non-white pixels inside `cell`, relative to the cell; empty if none.
Rect paintedBox(const Bitmap24& sheet, const Rect& cell) {
    Rect box{cell.width(), cell.height(), 0, 0};
    for (int y = cell.top; y < cell.bottom; ++y)
        for (int x = cell.left; x < cell.right; ++x)
            if (sheetPixel(sheet, x, y) != kWhite) {
                box.left = std::min(box.left, x - cell.left);
                box.top = std::min(box.top, y - cell.top);
                box.right = std::max(box.right, x - cell.left + 1);
                box.bottom = std::max(box.bottom, y - cell.top + 1);
            }
    return box.isEmpty() ? Rect{} : box;
}

void addPicture(shell::AppState& state, const std::string& fullPath,
                const std::string& displayName) {
    albums::PictureRow& row = state.albums.pictures[std::size_t(state.albums.pictureCount++)];
    row.fullPath = fullPath;
    row.displayName = displayName;
}

struct Rig {
    test::TempDir dir;
    fs::path temp = dir / "kvtemp";
    shell::AppState state;
    platform::RecordingUi ui;
};

TEST(LayoutComposition, SixteenUpTakesTheAlbumsNameFileInOrder) {
    Rig r;
    const fs::path big = save(r.dir / "pics/big.bmp", picture(1600, 1200, kRed));
    const fs::path small = save(r.dir / "pics/small.bmp", picture(100, 80, kBlue));
    // Two pictures of one name from two folders: each cell shows its own copy.
    const std::string twinA = (r.dir / "a/same.jpg").string();
    const std::string twinB = (r.dir / "b/same.jpg").string();
    save(intake::temporaryBmpPath(r.temp, twinA, "same.jpg"), picture(156, 117, kGreen));
    save(intake::temporaryBmpPath(r.temp, twinB, "same.jpg"), picture(156, 117, kGrey));
    const std::vector<albums::NameEntry> album = {{big.string(), "big.bmp"},
                                                  {small.string(), "small.bmp"},
                                                  {(r.dir / "gone.bmp").string(), "gone.bmp"},
                                                  {twinA, "same.jpg"},
                                                  {twinB, "same.jpg"}};
    const fs::path nameFile = r.dir / "Urlaub.dat";
    test::writeBytes(nameFile, albums::formatNameFile(album));
    addPicture(r.state, small.string(), "small.bmp"); // the table in memory differs

    r.state.layout = Layout::SixteenUp;
    composeLayoutSheet(r.state, r.ui, nameFile, r.temp);
    const Bitmap24& sheet = r.state.sheet;
    EXPECT_EQ(paintedBox(sheet, kSixteenUpGrid.cell(0)), (Rect{2, 1, 158, 118}));
    EXPECT_EQ(sheetPixel(sheet, 80, 60), kRed);
    EXPECT_EQ(paintedBox(sheet, kSixteenUpGrid.cell(1)), (Rect{30, 20, 130, 100}));
    EXPECT_EQ(paintedBox(sheet, kSixteenUpGrid.cell(2)), Rect{}); // cannot be decoded
    EXPECT_EQ(sheetPixel(sheet, 3 * 160 + 80, 60), kGreen);
    EXPECT_EQ(sheetPixel(sheet, 80, 120 + 60), kGrey);
    for (int cell = 5; cell < 16; ++cell)
        EXPECT_EQ(paintedBox(sheet, kSixteenUpGrid.cell(cell)), Rect{}) << cell;
    EXPECT_TRUE(r.ui.prompts().empty());

    // Without a name file the pictures in memory stand in; none is created.
    fs::remove(nameFile);
    composeLayoutSheet(r.state, r.ui, nameFile, r.temp);
    EXPECT_EQ(paintedBox(r.state.sheet, kSixteenUpGrid.cell(0)), (Rect{30, 20, 130, 100}));
    EXPECT_EQ(paintedBox(r.state.sheet, kSixteenUpGrid.cell(1)), Rect{});
    EXPECT_FALSE(fs::exists(nameFile));

    r.state.layout = Layout::OneUp;
    composeLayoutSheet(r.state, r.ui, nameFile, r.temp);
    EXPECT_TRUE(r.state.sheet.empty());
}

TEST(LayoutComposition, FourUpTurnsTheSelectedPictureIntoEveryQuarter) {
    Rig r;
    // Upright: red on top, blue below. Turned clockwise the top goes to the right.
    const fs::path tall = save(r.dir / "tall.bmp", picture(1200, 1600, kRed, kBlue));
    const fs::path small = save(r.dir / "small.bmp", picture(100, 80, kGreen));
    addPicture(r.state, tall.string(), "tall.bmp");
    addPicture(r.state, small.string(), "small.bmp");
    addPicture(r.state, (r.dir / "gone.bmp").string(), "gone.bmp");
    r.state.layout = Layout::FourUp;

    r.state.albums.select(0);
    composeLayoutSheet(r.state, r.ui, {}, r.temp);
    EXPECT_TRUE(r.ui.prompts().empty());
    for (int cell = 0; cell < 4; ++cell) {
        SCOPED_TRACE(cell);
        const Rect box = kFourUpGrid.cell(cell);
        EXPECT_EQ(paintedBox(r.state.sheet, box), (Rect{4, 3, 316, 237}));
        EXPECT_EQ(sheetPixel(r.state.sheet, box.left + 50, box.top + 120), kBlue);
        EXPECT_EQ(sheetPixel(r.state.sheet, box.left + 270, box.top + 120), kRed);
        EXPECT_EQ(r.state.fourUpSlots[std::size_t(cell)].fullPath, tall.string());
    }

    // A drop fills its quarter white first: nothing of the larger picture stays.
    EXPECT_TRUE(placeDroppedPicture(r.state, r.ui, 3, 1, r.temp));
    EXPECT_EQ(paintedBox(r.state.sheet, kFourUpGrid.cell(3)), (Rect{110, 80, 210, 160}));
    EXPECT_EQ(paintedBox(r.state.sheet, kFourUpGrid.cell(2)), (Rect{4, 3, 316, 237}));
    EXPECT_EQ(r.state.fourUpSlots[3].displayName, "small.bmp");
    // An undecodable drop leaves its quarter white; the display after it tells.
    EXPECT_FALSE(placeDroppedPicture(r.state, r.ui, 0, 2, r.temp));
    EXPECT_EQ(paintedBox(r.state.sheet, kFourUpGrid.cell(0)), Rect{});
    EXPECT_TRUE(r.ui.prompts().empty());

    // Nothing selected, or a picture that cannot be decoded: a white sheet and the message.
    for (int selected : {-1, 2}) {
        r.ui.clear();
        r.state.albums.select(selected);
        composeLayoutSheet(r.state, r.ui, {}, r.temp);
        EXPECT_EQ(r.ui.texts(), std::vector<std::string>{std::string(kMsgNoPhotoForFourUp)});
        EXPECT_EQ(paintedBox(r.state.sheet, Rect{0, 0, 640, 480}), Rect{});
    }
    EXPECT_EQ(r.state.fourUpSlots[0].displayName, "gone.bmp");
}

TEST(LayoutComposition, AJpegDecodedSmallerIsTurnedAsTheWholePicture) {
    // Barely narrower than high, so turned; decoded at an eighth it is 251 x 251.
    Rig r;
    const fs::path tall = r.dir / "tall.jpg";
    writeJpeg(tall, 2001, 2002, kRed, kBlue);
    Bitmap24 sheet = lib::NewImage(640, 480, 255, 255, 255);
    ASSERT_EQ(placePicture(sheet, kSixteenUpGrid, 0, tall), PlaceResult::Placed);
    EXPECT_EQ(paintedBox(sheet, kSixteenUpGrid.cell(0)), (Rect{21, 1, 138, 118}));
    // JPEG's rounding leaves a level or two off.
    const auto near = [](Colour a, Colour b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::abs(a[i] - b[i]) > 4)
                return false;
        return true;
    };
    EXPECT_TRUE(near(sheetPixel(sheet, 40, 60), kBlue));
    EXPECT_TRUE(near(sheetPixel(sheet, 120, 60), kRed));
}

TEST(LayoutComposition, DropsFindTheCellUnderThePoint) {
    EXPECT_EQ(fourUpQuarterAt(50, 39, 100, 80), 1);
    EXPECT_EQ(fourUpQuarterAt(49, 40, 100, 80), 2);
    struct Case {
        Rect sheet;
        int x, y, cell;
    };
    const Case cases[] = {
        {{20, 20, 660, 500}, 181, 141, 5},  {{20, 20, 660, 500}, 659, 499, 15},
        {{20, 20, 660, 500}, 180, 100, -1}, {{20, 20, 660, 500}, 20, 100, -1}, // borders
        {{10, 10, 331, 251}, 90, 70, 0},    {{10, 10, 331, 251}, 91, 71, 5},   // borders at x.25
    };
    for (const Case& c : cases)
        EXPECT_EQ(sixteenUpCellAt(c.sheet, c.x, c.y), c.cell) << c.x << "," << c.y;
}

TEST(LayoutComposition, OneUpSheetFileIsThePictureOrItsResizedCopy) {
    struct Case {
        const char* name;
        int width, height;
        bool jpeg;
        bool asItIs;
        int printedWidth, printedHeight;
    };
    const Case cases[] = {
        {"320x240 doubled", 320, 240, false, false, 640, 480},
        {"240x320 doubled", 240, 320, false, false, 480, 640},
        {"300x200 as it is", 300, 200, false, true, 300, 200},
        {"641x480 reduced", 641, 480, false, false, 640, 479},
        {"2048x1536 jpeg", 2048, 1536, true, false, 640, 480},
        // Decoded at half, 650 x 432, which alone would give 640 x 425.
        {"1300x863 jpeg", 1300, 863, true, false, 640, 424},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r;
        const std::string name = c.jpeg ? "photo.jpg" : "photo.bmp";
        const fs::path file = r.dir / name;
        if (c.jpeg)
            writeJpeg(file, c.width, c.height);
        else
            save(file, picture(c.width, c.height, kRed));
        addPicture(r.state, file.string(), name);
        r.state.albums.setLoaded(0);
        std::vector<int> progress;
        const auto sheet =
            prepareSheetFile(r.state, r.ui, r.temp, [&](int v) { progress.push_back(v); });
        ASSERT_TRUE(sheet);
        EXPECT_EQ(*sheet, c.asItIs ? file : r.temp / "prtfile.bmp");
        EXPECT_EQ(bmpSize(*sheet), std::pair(c.printedWidth, c.printedHeight));
        EXPECT_EQ(progress, c.asItIs ? std::vector<int>{} : (std::vector<int>{0, 400, 600, 800}));
        EXPECT_TRUE(r.ui.prompts().empty());

        // A batch always goes through the resize, whatever the picture's size.
        const auto batch = prepareBatchSheetFile(r.state.albums.pictures[0], r.ui, r.temp);
        ASSERT_TRUE(batch);
        EXPECT_EQ(*batch, r.temp / "prtfile.bmp");
        EXPECT_EQ(bmpSize(*batch), std::pair(c.printedWidth, c.printedHeight));
    }
}

TEST(LayoutComposition, SheetFileSourcesAndFailures) {
    Rig r;
    const fs::path shown = save(r.dir / "shown.bmp", picture(300, 200, kRed));
    addPicture(r.state, shown.string(), "shown.bmp");
    addPicture(r.state, (r.dir / "broken.jpg").string(), "broken.jpg");
    test::writeBytes(r.dir / "broken.jpg", "not a picture");
    r.state.albums.setLoaded(0);

    // The colour-adjusted copy is printed instead of the loaded picture.
    save(r.temp / "Prefile.bmp", picture(320, 240, kBlue));
    r.state.adjustedPicturePresent = true;
    auto sheet = prepareSheetFile(r.state, r.ui, r.temp);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(bmpSize(*sheet), std::pair(640, 480));
    r.state.adjustedPicturePresent = false;

    // The 4-in-1 sheet as it stands.
    r.state.layout = Layout::FourUp;
    r.state.sheet = lib::NewImage(640, 480, 1, 2, 3);
    sheet = prepareSheetFile(r.state, r.ui, r.temp);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(test::readBytes(*sheet).substr(54, 3), "\x03\x02\x01");

    // Failures end the job with their message.
    r.state.layout = Layout::OneUp;
    r.state.albums.setLoaded(1);
    EXPECT_FALSE(prepareSheetFile(r.state, r.ui, r.temp));
    EXPECT_FALSE(prepareBatchSheetFile(r.state.albums.pictures[1], r.ui, r.temp));
    r.state.layout = Layout::SixteenUp;
    const fs::path notAFolder = r.dir / "file";
    test::writeBytes(notAFolder, "x");
    EXPECT_FALSE(prepareSheetFile(r.state, r.ui, notAFolder));
    EXPECT_EQ(r.ui.texts(), (std::vector<std::string>{std::string(kMsgSheetCannotOpen),
                                                      std::string(kMsgSheetCannotOpen),
                                                      std::string(kMsgSheetNotWritten)}));
}

} // namespace
} // namespace kv::render
