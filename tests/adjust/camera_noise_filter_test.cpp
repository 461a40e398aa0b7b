#include "adjust/camera_noise_filter.h"

#include "platform/recording_ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kv::adjust {
namespace {

// A PrintImage-sized store: 650 rows of 1950 bytes.
struct Image {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(650 * 1950);
    std::uint8_t& at(int row, int column, int component) {
        return bytes[std::size_t(row) * kNoiseRowStride + column * 3 + component];
    }
};

Image flat(int width, int height, std::uint8_t blue) {
    Image image;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            image.at(y, x, 0) = blue;
            image.at(y, x, 1) = 40;
            image.at(y, x, 2) = 200;
        }
    return image;
}

TEST(CameraNoiseFilter, FlatPictureMovesOnlyNearTheFrame) {
    const int width = 640, height = 480;
    Image image = flat(width, height, 100);
    image.at(0, width, 0) = 7; // beyond the picture's width
    platform::RecordingUi ui;
    ASSERT_TRUE(cameraNoiseFilter(image.bytes, width, height, ui));

    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int ring = std::min({x, y, width - 1 - x, height - 1 - y});
            const int blue = image.at(y, x, 0);
            if (ring == 0) {
                EXPECT_LT(blue, 100) << x << "," << y; // the black frame pulls it down
            } else if (ring >= 3) {
                ASSERT_EQ(blue, 100) << x << "," << y;
            }
            ASSERT_EQ(image.at(y, x, 1), 40);
            ASSERT_EQ(image.at(y, x, 2), 200);
        }
    EXPECT_EQ(image.at(0, 0, 0), 94);
    EXPECT_EQ(image.at(0, 1, 0), 97);
    EXPECT_EQ(image.at(0, 320, 0), 99);
    EXPECT_EQ(image.at(240, 0, 0), 99);
    EXPECT_EQ(image.at(0, width, 0), 7);
    EXPECT_TRUE(ui.prompts().empty());
}

// Expected values worked out from the pass rules by an independent program.
TEST(CameraNoiseFilter, PassesMatchHandWorkedPictures) {
    struct Case {
        int width, height;
        std::vector<int> in, out;
    };
    const Case cases[] = {
        {6,
         5,
         {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 180,
          100, 100, 100, 100, 100, 100, 100, 20,  100, 100, 100, 100, 100, 100, 100},
         {94,  97,  99, 99, 97,  94,  97,  100, 100, 100, 99, 97, 99, 100, 164,
          100, 100, 95, 97, 100, 100, 101, 36,  96,  94,  97, 99, 95, 96,  90}},
        {5,
         4,
         {10, 200, 30, 40, 250, 0, 255, 255, 1, 128, 77, 3, 99, 180, 60, 255, 0, 255, 0, 255},
         {2, 192, 30, 36, 234, 4, 241, 241, 17, 120, 69, 11, 99, 176, 56, 239, 5, 239, 5, 239}},
    };
    for (const Case& c : cases) {
        Image image;
        for (int i = 0; i < c.width * c.height; ++i)
            image.at(i / c.width, i % c.width, 0) = static_cast<std::uint8_t>(c.in[i]);
        platform::RecordingUi ui;
        ASSERT_TRUE(cameraNoiseFilter(image.bytes, c.width, c.height, ui));
        for (int i = 0; i < c.width * c.height; ++i)
            EXPECT_EQ(image.at(i / c.width, i % c.width, 0), c.out[i]) << c.width << " #" << i;
    }
}

TEST(CameraNoiseFilter, RefusesAPictureLargerThanItsStore) {
    Image image = flat(10, 10, 50);
    const std::vector<std::uint8_t> before = image.bytes;
    platform::RecordingUi ui;
    EXPECT_FALSE(cameraNoiseFilter(image.bytes, 651, 10, ui));
    EXPECT_FALSE(cameraNoiseFilter(image.bytes, 10, 651, ui));
    EXPECT_FALSE(cameraNoiseFilter(std::span(image.bytes).first(1950 * 9), 10, 10, ui));
    EXPECT_EQ(image.bytes, before);
}

} // namespace
} // namespace kv::adjust
