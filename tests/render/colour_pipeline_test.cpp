#include "render/colour_pipeline.h"

#include "media/gamma_curves.h"
#include "platform/recording_ui.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace kv::render {
namespace {

using adjust::PictureAdjustSettings;
using Rgb = std::array<int, 3>;

void setRgb(PrintImage& image, int row, int column, Rgb rgb) {
    std::uint8_t* p = image.pixel(row, column);
    p[2] = static_cast<std::uint8_t>(rgb[0]);
    p[1] = static_cast<std::uint8_t>(rgb[1]);
    p[0] = static_cast<std::uint8_t>(rgb[2]);
}
Rgb rgbAt(const PrintImage& image, int row, int column) {
    const std::uint8_t* p = image.pixel(row, column);
    return {p[2], p[1], p[0]};
}

// Curves rising 16 per control point up to `top`, spread the gamma editor's way.
media::GammaCurves risingCurves(int top) {
    media::GammaCurves gamma;
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < media::kGammaPoints; ++k)
            gamma.table[c][4 * k] = static_cast<std::int16_t>(std::min(16 * k, top));
    media::expandPointsCut(gamma);
    return gamma;
}

TEST(ColourPipeline, ToneModes) {
    PictureAdjustSettings s;
    auto curve = toneCurve(s);
    for (int v = 0; v < 256; ++v)
        ASSERT_EQ(curve[v], v);

    s.contrast = adjust::kToneManual; // default points (30, 20), (210, 230)
    curve = toneCurve(s);
    const std::pair<int, int> manual[] = {{0, 0},     {1, 1},     {29, 19},   {30, 20},
                                          {209, 229}, {210, 230}, {254, 254}, {255, 255}};
    for (const auto& [in, out] : manual)
        EXPECT_EQ(curve[in], out) << in;
    for (int v = 1; v < 256; ++v)
        EXPECT_GE(curve[v], curve[v - 1]) << v;

    // A last knee at the right edge, and points edited outside 0..255.
    s.tonePoints = {100, 50, 255, 200};
    EXPECT_EQ(toneCurve(s)[255], 200);
    EXPECT_EQ(toneCurve(s)[254], 199);
    s.tonePoints = {100, 300, 200, -40};
    curve = toneCurve(s);
    EXPECT_EQ(curve[99], 255);
    EXPECT_EQ(curve[201], 0);

    s.contrast = adjust::kToneFixed;
    curve = toneCurve(s);
    for (int v = 0; v <= 25; ++v)
        EXPECT_EQ(curve[v], 0) << v;
    for (int v = 229; v <= 255; ++v)
        EXPECT_EQ(curve[v], 255) << v;
    EXPECT_EQ(curve[26], 1);    // 1.25
    EXPECT_EQ(curve[27], 3);    // 2.5 rounds up
    EXPECT_EQ(curve[228], 254); // 253.75

    // Only the picture columns go through it.
    PrintImage image;
    setRgb(image, 0, 0, {30, 100, 228});
    setRgb(image, 0, 640, {30, 100, 228});
    applyToneCurve(s, image);
    EXPECT_EQ(rgbAt(image, 0, 0), (Rgb{6, 94, 254}));
    EXPECT_EQ(rgbAt(image, 0, 640), (Rgb{30, 100, 228}));
}

TEST(ColourPipeline, SaturationAndLuminance) {
    PictureAdjustSettings s;
    PrintImage image;
    LuminanceMap luminance;
    setRgb(image, 0, 0, {200, 100, 50});
    setRgb(image, 0, 1, {250, 0, 0});
    setRgb(image, 479, 639, {255, 255, 255});

    applySaturation(s, image, luminance); // off: only the brightness
    EXPECT_EQ(rgbAt(image, 0, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(luminance.at(0, 0), 467);      // 350 * 1.333 = 466.55
    EXPECT_EQ(luminance.at(479, 639), 1020); // 1019.745

    s.saturation = adjust::kSaturationManual;
    s.satValue = 2.0f;
    applySaturation(s, image, luminance);
    // (350 + 250 * 2) / 3 = 283.3, (350 - 50 * 2) / 3 = 83.3, (350 - 200 * 2) / 3 < 0
    EXPECT_EQ(rgbAt(image, 0, 0), (Rgb{255, 83, 0}));
    EXPECT_EQ(rgbAt(image, 0, 1), (Rgb{255, 0, 0}));
    EXPECT_EQ(luminance.at(0, 0), 451); // 338 * 1.333 = 450.55
    EXPECT_EQ(luminance.at(0, 1), 340); // 255 * 1.333 = 339.9
}

// The saturated values are tabulated per gain: a changed gain must not find the
// last job's table.
TEST(ColourPipeline, SaturationFollowsTheGain) {
    PictureAdjustSettings s;
    s.saturation = adjust::kSaturationManual;
    PrintImage image;
    LuminanceMap luminance;
    const std::pair<float, Rgb> runs[] = {
        {2.0f, {255, 83, 0}}, {0.5f, {158, 108, 83}}, {2.0f, {255, 83, 0}}};
    for (const auto& [gain, expected] : runs) {
        setRgb(image, 0, 0, {200, 100, 50}); // (350 + (250, -50, -200) x gain) / 3
        s.satValue = gain;
        applySaturation(s, image, luminance);
        EXPECT_EQ(rgbAt(image, 0, 0), expected) << gain;
    }
}

TEST(ColourPipeline, HueSectorCorrection) {
    test::TempDir home;
    test::writeBytes(home / "kvx00.ini",
                     "[ColCorPalam]\r\nSrt=1.5\r\nSrb=1.0\r\nSmt=0.5\r\nSmb=2.0\r\nSyt=1.2\r\n"
                     "Syb=0.8\r\nRr=10\r\nRg=-4\r\nRb=2\r\nMr=50\r\nMg=60\r\nMb=70\r\n"
                     "Yr=-6\r\nYg=3\r\nYb=9\r\n");
    const ColCorPalam params = readColCorPalam(home.path());
    PictureAdjustSettings s;
    s.colorControl = 1;

    // Worked by hand from the sector rules.
    struct Case {
        Rgb in, out;
    };
    const Case cases[] = {
        // Pure red: red-magenta with f = 1, so magenta's values have no weight.
        {{200, 50, 50}, {247, 27, 32}},
        // Orange: red-yellow with f = 1 - 70 / 150.
        {{200, 120, 50}, {222, 119, 35}},
        {{90, 90, 90}, {90, 90, 90}}, // grey never changes
        {{0, 0, 0}, {0, 0, 0}},
    };
    PrintImage image;
    for (int i = 0; i < 4; ++i)
        setRgb(image, 10, i, cases[i].in);
    applyHueSectorCorrection(s, params, image);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(rgbAt(image, 10, i), cases[i].out) << i;

    // Colour control 3 and 4 skip the stage.
    for (const int control : {3, 4}) {
        s.colorControl = control;
        setRgb(image, 10, 0, {200, 50, 50});
        applyHueSectorCorrection(s, params, image);
        EXPECT_EQ(rgbAt(image, 10, 0), (Rgb{200, 50, 50})) << control;
    }

    // A saturation factor of 0 leaves no chroma to shift: the pixel keeps the
    // grey the saturation step made, whatever the shifts say.
    ColCorPalam flat = params;
    flat.top[kHueRed] = flat.bottom[kHueRed] = 0;
    s.colorControl = 2;
    setRgb(image, 10, 0, {200, 50, 50});
    applyHueSectorCorrection(s, flat, image);
    EXPECT_EQ(rgbAt(image, 10, 0), (Rgb{100, 100, 100}));
}

// A calibration whose exposure conversion is defined everywhere.
struct Calibration {
    media::MediaCalibration media;
    media::GammaCurves gamma;
    ExposureBaseMedia base;

    Calibration() {
        media.sensC = 0.95f;
        media.sensM = 1.05f;
        media.sensY = 1.1f;
        media::rebuildGammaCurves(media, gamma);
        const std::pair<const char*, const char*> values[] = {
            {"RBase32", "100"}, {"RBase224", "300"}, {"GBase32", "120"}, {"GBase224", "280"},
            {"BBase32", "90"},  {"BBase224", "310"}, {"Prg", "0.10"},    {"Prb", "0.05"},
            {"Pgr", "0.08"},    {"Pgb", "0.12"},     {"Pbr", "0.03"},    {"Pbg", "0.2"},
            {"Qrg", "0.04"},    {"Qrb", "0.06"},     {"Qgr", "0.02"},    {"Qgb", "0.09"},
            {"Qbr", "0.07"},    {"Qbg", "0.01"},     {"Rrg", "0.5"},     {"Rrb", "0.3"},
            {"Rgr", "0.9"},     {"Rgb", "0.6"},      {"Rbr", "0.4"},     {"Rbg", "0.7"},
            {"OVbg", "1.1"},    {"OVgb", "0.9"},     {"OVrg", "1.0"},
        };
        for (const auto& [key, text] : values)
            base.set(key, text);
    }
};

double roundHalfUp(double v) {
    double whole = std::trunc(v);
    return v - whole >= 0.5 ? whole + 1 : whole;
}

// The conversion of one pixel evaluated straight from the formulas, logarithms
// and all, for comparison with the table-driven stage.
Levels directLevels(const Calibration& c, Rgb px) {
    const double sens[3] = {c.media.sensC, c.media.sensM, c.media.sensY};
    const double top[3] = {double(c.media.tdtc), double(c.media.tdtm), double(c.media.tdty)};
    const double bottom[3] = {double(c.media.tdbc), double(c.media.tdbm), double(c.media.tdby)};
    const char* base32[3] = {"RBase32", "GBase32", "BBase32"};
    const char* base224[3] = {"RBase224", "GBase224", "BBase224"};
    const auto value = [&c](std::string key) {
        for (int i = 0; i < kBaseValueCount; ++i)
            if (kBaseValueKeys[i] == key)
                return c.base.value(static_cast<BaseValue>(i));
        ADD_FAILURE() << key;
        return 0.0;
    };
    double a[3], b[3];
    for (int d = 0; d < 3; ++d) {
        a[d] = std::log10(top[d]) / std::log10(value(base32[d]));
        b[d] = std::log10(bottom[d]) / std::log10(value(base224[d]));
    }
    const char letters[3] = {'r', 'g', 'b'};
    const auto lambda = [&](int x, int y) {
        const std::string pair{letters[x], letters[y]};
        const double p = (b[y] / a[x]) * sens[y] * value("P" + pair);
        const double q = (b[y] / b[x]) * value("Q" + pair);
        const int v = px[x];
        return (q * (v - 32) + p * (224 - v)) / 192;
    };
    const auto g = [&](int x, int y) {
        const std::string pair{letters[x], letters[y]};
        const double k = sens[y] * value("R" + pair) / (a[y] - b[y] + 1);
        const auto& t = c.gamma.table[y];
        const int w = px[y];
        if (w < 32)
            return k * std::log10(t[w] + 1.0) / std::log10(double(t[32]));
        return 1 + (1 - k) * (std::log10(double(t[w])) - std::log10(double(t[224]))) /
                       (std::log10(double(t[224])) - std::log10(double(t[32])));
    };
    const auto level = [](double v) { return std::int16_t(v < 0 ? 0 : roundHalfUp(v)); };
    const auto& tr = c.gamma.table[0];
    const auto& tg = c.gamma.table[1];
    const auto& tb = c.gamma.table[2];
    const int r = px[0], gr = px[1], bl = px[2];
    return {level(tb[bl] * (1 - lambda(2, 0) * g(2, 0) - lambda(2, 1) * g(2, 1) * value("OVbg"))),
            level(tg[gr] * (1 - lambda(1, 2) * g(1, 2) * value("OVgb") - lambda(1, 0) * g(1, 0))),
            level(tr[r] * (1 - lambda(0, 1) * g(0, 1) * value("OVrg") - lambda(0, 2) * g(0, 2)))};
}

TEST(ColourPipeline, TableDrivenExposureEqualsTheFormulas) {
    const Calibration c;
    PictureAdjustSettings s; // colour control 3: the full conversion
    const Rgb pixels[] = {{0, 0, 0},       {31, 32, 33},  {224, 255, 128}, {10, 200, 90},
                          {255, 255, 255}, {32, 224, 31}, {100, 150, 200}, {1, 254, 2}};
    PrintImage image;
    for (int i = 0; i < 8; ++i)
        setRgb(image, 7, 100 + i, pixels[i]);
    ExposureImage exposure;
    platform::RecordingUi ui;
    ASSERT_EQ(convertToExposure(s, c.media, c.gamma, c.base, image, exposure, ui),
              ExposureMode::Full);
    EXPECT_TRUE(ui.prompts().empty());
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(exposure.at(7, 100 + i), directLevels(c, pixels[i])) << i;
    // The cross-colour terms do change the levels.
    EXPECT_NE(exposure.at(7, 103),
              (Levels{c.gamma.table[2][90], c.gamma.table[1][200], c.gamma.table[0][10]}));
    for (int column = 640; column < 645; ++column)
        EXPECT_EQ(exposure.at(7, column), (Levels{1019, 1019, 1019}));
}

TEST(ColourPipeline, UnusableCalibrationFallsBackToPlainLevels) {
    // Read from a BasMedia.ini without RBase32: the conversion's default "0.0".
    test::TempDir home;
    test::writeBytes(home / "basmedia.INI", "[BaseMedia]\r\nRBase224=300\r\nGBase32=120\r\n");
    const ExposureBaseMedia fromFile = readExposureBaseMedia(home.path());
    EXPECT_EQ(fromFile.textOf(BaseValue::RBase224), "300");
    EXPECT_EQ(fromFile.textOf(BaseValue::RBase32), "0.0");

    const Calibration good;
    PictureAdjustSettings s;
    PrintImage image;
    setRgb(image, 0, 0, {10, 20, 30});
    setRgb(image, 479, 639, {255, 128, 1});
    ExposureImage exposure;
    platform::RecordingUi ui;
    EXPECT_EQ(convertToExposure(s, good.media, good.gamma, fromFile, image, exposure, ui),
              ExposureMode::Fallback);
    EXPECT_EQ(ui.texts(),
              std::vector<std::string>{"Die Kalibrierung ist ungültig (RBase32 = 0.0). Es wird "
                                       "ohne Farbkorrektur gedruckt."});
    EXPECT_EQ(exposure.at(0, 0), (Levels{120, 80, 40}));
    EXPECT_EQ(exposure.at(479, 639), (Levels{4, 512, 1020}));
    EXPECT_EQ(exposure.at(479, 644), (Levels{1019, 1019, 1019}));

    // Each way the formulas break, named in the message.
    struct Case {
        const char* named;
        std::function<void(Calibration&)> spoil;
    };
    const Case cases[] = {
        {"TDTC = 0", [](Calibration& c) { c.media.tdtc = 0; }},
        {"TDBM = 1", [](Calibration& c) { c.media.tdbm = 1; }},
        {"GBase224 = 1", [](Calibration& c) { c.base.set("GBase224", "1"); }},
        {"BBase32 = -5", [](Calibration& c) { c.base.set("BBase32", "-5"); }},
        {"sensM = nan", [](Calibration& c) { c.media.sensM = std::nanf(""); }},
        {"Gammakurve Grün, Eintrag 40 = 0", [](Calibration& c) { c.gamma.table[1][40] = 0; }},
        {"Gammakurve Rot, Eintrag 10 = -1", [](Calibration& c) { c.gamma.table[0][10] = -1; }},
        {"Gammakurve Blau, Eintrag 32 = Eintrag 224 = 300",
         [](Calibration& c) { c.gamma.table[2][32] = c.gamma.table[2][224] = 300; }},
        {"aC - bC + 1 = 0 aus TDTC, TDBC, RBase32 und RBase224",
         [](Calibration& c) {
             c.media.tdtc = 10;  // a = 1
             c.media.tdbc = 100; // b = 2
             c.base.set("RBase32", "10");
             c.base.set("RBase224", "10");
         }},
        {"Prg = 1e308", [](Calibration& c) { c.base.set("Prg", "1e308"); }},
        {"Qgb = -1e308", [](Calibration& c) { c.base.set("Qgb", "-1e308"); }},
        {"Rbg = 1e308", [](Calibration& c) { c.base.set("Rbg", "1e308"); }},
    };
    for (const Case& k : cases) {
        Calibration c;
        k.spoil(c);
        const ExposurePlan plan = planExposure(c.media, c.gamma, c.base);
        EXPECT_FALSE(plan.tables.has_value()) << k.named;
        EXPECT_EQ(plan.problem, k.named);
    }
}

TEST(ColourPipeline, EdgesAndClampKeepLevelsInRangeAndMarginsAlone) {
    PictureAdjustSettings s; // edge 2, ratio 0.4
    const media::GammaCurves gamma = risingCurves(1000);
    ASSERT_EQ(gamma.table[0][256], 1000);
    ExposureImage exposure;
    for (int row = 0; row < kFrameHeight; ++row) {
        for (int column = 0; column < kFrameWidth; ++column)
            exposure.at(row, column) = {900, 300, 600};
        for (int column = kFrameWidth; column < kLevelColumns; ++column)
            exposure.at(row, column) = {1019, 1019, 1019};
    }
    LuminanceMap luminance;
    luminance.at(5, 5) = 1000;   // lap 4000: +1600
    luminance.at(5, 638) = 1000; // beside the margin
    luminance.at(0, 100) = 1000; // border row: never enhanced itself
    enhanceEdges(s, luminance, exposure);
    EXPECT_EQ(exposure.at(5, 5), (Levels{2500, 1900, 2200}));
    // -1000 * 0.4 + 0.5 = -399.5, truncated to -399.
    EXPECT_EQ(exposure.at(4, 5), (Levels{501, 0, 201}));
    EXPECT_EQ(exposure.at(0, 100), (Levels{900, 300, 600}));
    EXPECT_EQ(exposure.at(1, 100), (Levels{501, 0, 201}));

    clampLevels(gamma, exposure);
    EXPECT_EQ(exposure.at(5, 5), (Levels{1000, 1000, 1000}));
    EXPECT_EQ(exposure.at(4, 5), (Levels{501, 0, 201}));
    for (int row = 0; row < kFrameHeight; ++row)
        for (int column = kFrameWidth; column < kLevelColumns; ++column)
            ASSERT_EQ(exposure.at(row, column), (Levels{1019, 1019, 1019})) << row << "," << column;

    s.edge = adjust::kEdgeNone;
    exposure.at(4, 5) = {10, 10, 10};
    enhanceEdges(s, luminance, exposure);
    EXPECT_EQ(exposure.at(4, 5), (Levels{10, 10, 10}));
}

TEST(ColourPipeline, ColourControlTwoAndFourGivePlainLevels) {
    Calibration c;
    c.gamma = risingCurves(1020);
    ColCorPalam colCor;
    colCor.top[kHueRed] = 2.0;
    for (const int control : {2, 4}) {
        PictureAdjustSettings s;
        s.colorControl = control;
        s.edge = adjust::kEdgeNone;
        PrintImage image;
        setRgb(image, 3, 3, {200, 50, 50});
        LuminanceMap luminance;
        ExposureImage exposure;
        platform::RecordingUi ui;
        std::vector<ColourStage> stages;
        const ColourJob job{s, c.media, c.gamma, colCor, c.base};
        EXPECT_EQ(runColourStages(job, image, luminance, exposure, ui,
                                  [&stages](ColourStage st) { stages.push_back(st); }),
                  ExposureMode::Plain);
        EXPECT_EQ(stages,
                  (std::vector{ColourStage::Tone, ColourStage::Saturation, ColourStage::HueSector,
                               ColourStage::Exposure, ColourStage::Edge, ColourStage::Clamp}));
        // 2 keeps the hue-sector stage (k = 1.78: red grows), 4 skips it; both
        // give plain 4 x v.
        const Rgb expected = control == 2 ? Rgb{255, 11, 11} : Rgb{200, 50, 50};
        EXPECT_EQ(rgbAt(image, 3, 3), expected) << control;
        EXPECT_EQ(exposure.at(3, 3),
                  (Levels{std::int16_t(4 * expected[2]), std::int16_t(4 * expected[1]),
                          std::int16_t(4 * expected[0])}));
        EXPECT_EQ(exposure.at(3, 642), (Levels{1019, 1019, 1019}));
        EXPECT_TRUE(ui.prompts().empty());
    }
}

} // namespace
} // namespace kv::render
