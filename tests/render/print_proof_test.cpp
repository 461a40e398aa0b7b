#include "render/print_proof.h"

#include "media/gamma_curves.h"
#include "render/print_preparation.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define KV_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_SANITIZED 1
#endif
#endif

namespace kv::render {
namespace {

namespace fs = std::filesystem;

// The shipped calibration: the nominal rank rows and data/BasMedia.ini, which has
// no cross-colour terms.
struct Calibration {
    media::MediaCalibration media;
    media::GammaCurves gamma;
    ExposureBaseMedia base = readExposureBaseMedia(KV_DATA_DIR);

    Calibration() { media::rebuildGammaCurves(media, gamma); }
    ExposureTables tables() const {
        const ExposurePlan plan = planExposure(media, gamma, base);
        EXPECT_TRUE(plan.tables) << plan.problem;
        return plan.tables.value_or(ExposureTables{});
    }
};

// Every cross-colour term on and large (up to half a level taken away by the other
// two channels), with curves that rise all along.
Calibration strongCrossTalk() {
    Calibration c;
    c.media.tdtm = 150;
    c.media.tdty = 120;
    c.media.sensC = 0.9f;
    c.media.sensM = 1.1f;
    c.media.sensY = 1.2f;
    media::rebuildGammaCurves(c.media, c.gamma);
    const std::pair<const char*, const char*> values[] = {
        {"GBase32", "120"}, {"GBase224", "280"}, {"BBase32", "90"}, {"BBase224", "310"},
        {"Prg", "0.25"},    {"Prb", "0.15"},     {"Pgr", "0.2"},    {"Pgb", "0.3"},
        {"Pbr", "0.1"},     {"Pbg", "0.35"},     {"Qrg", "0.12"},   {"Qrb", "0.2"},
        {"Qgr", "0.08"},    {"Qgb", "0.25"},     {"Qbr", "0.18"},   {"Qbg", "0.1"},
        {"Rrg", "0.5"},     {"Rrb", "0.3"},      {"Rgr", "0.9"},    {"Rgb", "0.6"},
        {"Rbr", "0.4"},     {"Rbg", "0.7"},      {"OVbg", "1.3"},   {"OVgb", "0.8"},
        {"OVrg", "1.2"},
    };
    for (const auto& [key, text] : values)
        c.base.set(key, text);
    return c;
}

void setRgb(PrintImage& image, int row, int column, int r, int g, int b) {
    std::uint8_t* p = image.pixel(row, column);
    p[0] = static_cast<std::uint8_t>(b);
    p[1] = static_cast<std::uint8_t>(g);
    p[2] = static_cast<std::uint8_t>(r);
}

// The conversion and the final clamp, as a job runs them (no edge enhancement).
ExposureImage printed(const Calibration& c, const ExposureTables& tables, const PrintImage& image) {
    ExposureImage exposure;
    fullExposure(tables, image, exposure);
    clampLevels(c.gamma, exposure);
    return exposure;
}

TEST(PrintProof, EveryPrintableLevelTripleComesBackWithinOneLevel) {
#ifdef KV_SANITIZED
    constexpr int kStep = 5; // the whole cube takes minutes under the sanitizers
#else
    constexpr int kStep = 1;
#endif
    for (const Calibration& c : {Calibration(), strongCrossTalk()}) {
        const ExposureTables tables = c.tables();
        const LevelProof proof(tables);
        // The cube a sheet at a time: its levels, their proof, the proof's levels.
        long failures = 0, unreached = 0;
        PrintImage image, back;
        int filled = 0;
        const auto check = [&] {
            const ExposureImage levels = printed(c, tables, image);
            for (int i = 0; i < filled; ++i) {
                const auto colour = proof.colourOf(levels.at(i / kFrameWidth, i % kFrameWidth));
                unreached += colour.reachable ? 0 : 1;
                setRgb(back, i / kFrameWidth, i % kFrameWidth, colour.red, colour.green,
                       colour.blue);
            }
            const ExposureImage again = printed(c, tables, back);
            for (int i = 0; i < filled; ++i)
                for (int l = 0; l < 3; ++l)
                    failures += std::abs(levels.at(i / kFrameWidth, i % kFrameWidth)[l] -
                                         again.at(i / kFrameWidth, i % kFrameWidth)[l]) > 1;
            filled = 0;
        };
        for (int r = 0; r < 256; r += kStep)
            for (int g = 0; g < 256; g += kStep)
                for (int b = 0; b < 256; b += kStep) {
                    setRgb(image, filled / kFrameWidth, filled % kFrameWidth, r, g, b);
                    if (++filled == kFrameWidth * kFrameHeight)
                        check();
                }
        check();
        EXPECT_EQ(failures, 0) << proof.description();
        EXPECT_EQ(unreached, 0) << proof.description();
    }
}

TEST(PrintProof, GreysStayGreyAndLevelsPastTheCurvesAreMarked) {
    // Grey within two steps: where a curve rises slowly, two or three inputs print
    // the same whole level, and the proof cannot tell them apart.
    constexpr int kGreyTolerance = 2;
    const Calibration shipped, strong = strongCrossTalk();
    for (const auto& [proof, calibration] : {std::pair{LevelProof(shipped.tables()), &shipped},
                                             {LevelProof(strong.tables()), &strong},
                                             {LevelProof(), &shipped}}) {
        PrintImage ramp;
        for (int v = 0; v < 256; ++v)
            setRgb(ramp, 0, v, v, v, v);
        ExposureImage levels;
        if (proof.plain())
            plainExposure(ramp, levels);
        else
            levels = printed(*calibration, calibration->tables(), ramp);
        for (int v = 0; v < 256; ++v) {
            const LevelProof::Colour c = proof.colourOf(levels.at(0, v));
            EXPECT_TRUE(c.reachable) << proof.description() << " " << v;
            for (const int channel : {c.red, c.green, c.blue})
                EXPECT_LE(std::abs(channel - v), v == 255 ? 0 : kGreyTolerance)
                    << proof.description() << " grey " << v;
        }
    }
    const LevelProof full(shipped.tables()), plain;
    const struct {
        const LevelProof* proof;
        Levels levels;
        std::array<int, 3> rgb;
        bool reachable;
    } cases[] = {
        // Plain: a quarter of the level, rounded; above 4 x 255 nothing prints it.
        {&plain, {2, 5, 1}, {0, 1, 1}, true},
        {&plain, {1021, 0, 1020}, {255, 0, 255}, false},
        // Full: past the curves' tops, as edge enhancement before a high clamp leaves them.
        {&full, {32767, 32767, 32767}, {255, 255, 255}, false},
        {&full, {32767, 0, 0}, {0, 0, 255}, false},
    };
    for (const auto& k : cases) {
        const LevelProof::Colour c = k.proof->colourOf(k.levels);
        EXPECT_EQ((std::array<int, 3>{c.red, c.green, c.blue}), k.rgb) << k.levels[0];
        EXPECT_EQ(c.reachable, k.reachable) << k.levels[0];
    }
}

TEST(PrintProof, JobSettingsChooseTheConversion) {
    test::TempDir home;
    test::writeBytes(home / "BasMedia.ini",
                     test::readBytes(fs::path(KV_DATA_DIR) / "BasMedia.ini"));
    test::TempDir empty; // no BasMedia.ini: RBase32 reads as 0.0
    const Calibration c;
    const struct {
        int colorControl;
        fs::path programDirectory;
        std::string description; // its start
    } cases[] = {
        {3, home.path(),
         "full: sC=1 sM=1 sY=1 TDTC=72 TDBC=317 TDTM=223 TDBM=510 TDTY=200 TDBY=510 "
         "gamma tops r/g/b="},
        {4, home.path(), "plain (ColorControl 4)"},
        {1, empty.path(), "plain (unusable calibration: RBase32 = 0.0)"},
    };
    for (const auto& k : cases) {
        adjust::PictureAdjustSettings settings;
        settings.colorControl = k.colorControl;
        const LevelProof proof =
            LevelProof::forInputs({settings, false, c.media, c.gamma, k.programDirectory});
        EXPECT_EQ(proof.plain(), k.description.starts_with("plain"));
        EXPECT_TRUE(proof.description().starts_with(k.description)) << proof.description();
    }
    // The line tells calibrations apart even where only a base-media value differs.
    const Calibration other = strongCrossTalk();
    EXPECT_NE(LevelProof(c.tables()).description(), LevelProof(other.tables()).description());
}

// A colour of the given hue (0..1), lightness and saturation as 8-bit red, green, blue.
std::array<int, 3> hls(double hue, double lightness, double saturation) {
    const double m2 = lightness <= 0.5 ? lightness * (1 + saturation)
                                       : lightness + saturation - lightness * saturation;
    const double m1 = 2 * lightness - m2;
    const auto value = [&](double h) {
        h -= std::floor(h);
        const double v = h < 1.0 / 6   ? m1 + (m2 - m1) * h * 6
                         : h < 0.5     ? m2
                         : h < 2.0 / 3 ? m1 + (m2 - m1) * (2.0 / 3 - h) * 6
                                       : m1;
        return static_cast<int>(v * 255);
    };
    return {value(hue + 1.0 / 3), value(hue), value(hue - 1.0 / 3)};
}

TEST(PrintProof, SmoothPicturesStaySmoothUnderEdgeEnhancement) {
    // The shipped curves give some levels from inputs far apart (blue stays on one
    // level for inputs 32..128, green falls there), and edge enhancement moves all
    // three levels of a pixel by a step or two: the proof must not flip between them.
    const Calibration c;
    const adjust::PictureAdjustSettings settings; // edge enhancement on, as shipped
    const struct {
        const char* name;
        std::array<int, 3> (*colour)(int row, int column);
        int maxJump;     // a pixel's step past both neighbours', per channel
        long maxStreaks; // such steps on the sheet
        int maxSpread;   // between a proof pixel's channels; -1: not a grey
    } cases[] = {
        {"grey ramp",
         [](int, int column) {
             const int v = column * 255 / (kFrameWidth - 1);
             return std::array<int, 3>{v, v, v};
         },
         // Where green's curve falls, a level is four inputs: two levels of edge
         // enhancement tint a grey by eight.
         6, 0, 8},
        {"dark hue bands",
         [](int row, int column) {
             return hls(double(column) / kFrameWidth, 0.05 + 0.3 * row / kFrameHeight, 0.9);
         },
         // Dark colours whose green or blue level several stretches give: the proof
         // may switch stretch once in a while, but does not flicker (without the
         // neighbour's inputs kept, some 10000 streaks).
         10, 300, -1},
    };
    for (const auto& k : cases) {
        PrintImage image;
        for (int row = 0; row < kFrameHeight; ++row)
            for (int column = 0; column < kFrameWidth; ++column) {
                const auto [r, g, b] = k.colour(row, column);
                setRgb(image, row, column, r, g, b);
            }
        LuminanceMap luminance;
        applySaturation(settings, image, luminance);
        ExposureImage levels;
        fullExposure(c.tables(), image, levels);
        enhanceEdges(settings, luminance, levels);
        clampLevels(c.gamma, levels);
        const SheetProof sheet = proofOfSheet(LevelProof(c.tables()), levels);
        long jumps = 0, tinted = 0, far = 0;
        for (int row = 0; row < kFrameHeight; ++row)
            for (int column = 0; column < kFrameWidth; ++column) {
                const std::uint8_t* p = &sheet.rgb[(std::size_t(row) * kFrameWidth + column) * 3];
                const auto [r, g, b] = k.colour(row, column);
                if (column > 0 && column + 1 < kFrameWidth) {
                    // A pixel standing out from both neighbours the same way by more
                    // than the picture does: a streak.
                    const auto [lr, lg, lb] = k.colour(row, column - 1);
                    const auto [nr, ng, nb] = k.colour(row, column + 1);
                    for (int ch = 0; ch < 3; ++ch) {
                        const int left = p[ch] - p[ch - 3], right = p[ch] - p[ch + 3];
                        const int slack =
                            k.maxJump + std::max(std::abs(std::array{r - lr, g - lg, b - lb}[ch]),
                                                 std::abs(std::array{r - nr, g - ng, b - nb}[ch]));
                        jumps +=
                            (left > slack && right > slack) || (left < -slack && right < -slack);
                    }
                }
                if (k.maxSpread >= 0)
                    tinted +=
                        std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > k.maxSpread;
                far += sheet.outOfReach[std::size_t(row) * kFrameWidth + column];
            }
        EXPECT_LE(jumps, k.maxStreaks) << k.name;
        EXPECT_EQ(tinted, 0) << k.name;
        EXPECT_EQ(far, 0) << k.name;
    }
}

} // namespace
} // namespace kv::render
