#include "render/colour_pipeline.h"

#include "adjust/camera_noise_filter.h"
#include "platform/numbers.h"
#include "render/colour_messages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

namespace kv::render {

namespace {

using adjust::PictureAdjustSettings;

// The print formulas' "round": truncate toward zero, then add 1 when the dropped
// fraction is at least 0.5 (negative values are only truncated).
double roundHalfUp(double v) {
    double whole = std::trunc(v);
    if (v - whole >= 0.5)
        whole += 1;
    return whole;
}
// The same for a value known to lie well inside the int range; the conversion
// truncates without a library call.
int roundHalfUpInt(double v) {
    const int whole = static_cast<int>(v);
    return v - whole >= 0.5 ? whole + 1 : whole;
}

// A component value clamped to 0..255 and rounded; NaN never reaches a byte.
std::uint8_t toByte(double v) {
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return static_cast<std::uint8_t>(roundHalfUpInt(v));
}

// A print level: negative (or NaN) is 0; a value past the 16-bit range stops at
// its top instead of wrapping, so the final clamp still brings it to the curve top.
std::int16_t toLevel(double v) {
    constexpr int kTop = std::numeric_limits<std::int16_t>::max();
    if (!(v > 0))
        return 0;
    if (v >= kTop)
        return kTop;
    return static_cast<std::int16_t>(roundHalfUpInt(v));
}

bool frameFits(int width, int height) {
    return width > 0 && height > 0 && width <= PrintImage::kSide && height <= PrintImage::kSide;
}

template <typename F> void forEachPicturePixel(PrintImage& image, F f) {
    for (int row = 0; row < kFrameHeight; ++row) {
        std::uint8_t* p = image.pixel(row, 0);
        for (int column = 0; column < kFrameWidth; ++column, p += 3)
            f(row, column, p);
    }
}

// Colour matching: lattice index, next index and single-precision fraction of
// every component value.
struct LatticeStep {
    int index;
    int next;
    float fraction;
};
std::array<LatticeStep, 256> latticeSteps() {
    std::array<LatticeStep, 256> steps{};
    for (int v = 0; v < 256; ++v) {
        const int i = v <= 6 ? 0 : (v + 1) / 8;
        const float span = i == 0 ? 7.0f : 8.0f;
        steps[v] = {i, i < kLatticeSide - 1 ? i + 1 : i,
                    static_cast<float>(v - latticeLevel(i)) / span};
    }
    return steps;
}

// Exposure conversion: channel r, g, b is dye C, M, Y; index 0, 1, 2 for both.
struct Pair {
    int x; // corrected channel
    int y; // disturbing channel
    BaseValue p, q, r;
};
constexpr Pair kPairs[6] = {
    {0, 1, BaseValue::Prg, BaseValue::Qrg, BaseValue::Rrg},
    {0, 2, BaseValue::Prb, BaseValue::Qrb, BaseValue::Rrb},
    {1, 0, BaseValue::Pgr, BaseValue::Qgr, BaseValue::Rgr},
    {1, 2, BaseValue::Pgb, BaseValue::Qgb, BaseValue::Rgb},
    {2, 0, BaseValue::Pbr, BaseValue::Qbr, BaseValue::Rbr},
    {2, 1, BaseValue::Pbg, BaseValue::Qbg, BaseValue::Rbg},
};
enum PairIndex { kRg, kRb, kGr, kGb, kBr, kBg };
constexpr std::string_view kDensityNames[2][3] = {{"TDTC", "TDTM", "TDTY"},
                                                  {"TDBC", "TDBM", "TDBY"}};
constexpr std::string_view kSensitivityNames[3] = {"sensC", "sensM", "sensY"};
constexpr std::string_view kDyeLetters[3] = {"C", "M", "Y"};
constexpr BaseValue kBase32[3] = {BaseValue::RBase32, BaseValue::GBase32, BaseValue::BBase32};
constexpr BaseValue kBase224[3] = {BaseValue::RBase224, BaseValue::GBase224, BaseValue::BBase224};

bool usableLogBase(double v) {
    return std::isfinite(v) && v > 0 && v != 1;
}

template <std::size_t N> bool allFinite(const std::array<double, N>& values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

std::string baseProblem(const ExposureBaseMedia& base, BaseValue v) {
    return std::string(base.name(v)) + " = " + base.textOf(v);
}

// Why the curve of channel c cannot be used, or empty.
std::string gammaProblem(const media::GammaCurves& gamma, int c) {
    const auto& t = gamma.table[c];
    const std::string name(kGammaCurveNames[c]);
    for (int w = 0; w < 256; ++w) {
        // log(T[w] + 1) below level 32, log(T[w]) from 32 on.
        if (w < 32 ? t[w] + 1 <= 0 : t[w] <= 0)
            return platform::formatC("%s, Eintrag %d = %d", name.c_str(), w, t[w]);
    }
    if (t[32] == 1)
        return name + ", Eintrag 32 = 1";
    if (t[32] == t[224])
        return platform::formatC("%s, Eintrag 32 = Eintrag 224 = %d", name.c_str(), t[32]);
    return {};
}

ExposurePlan refuse(std::string problem) {
    return {std::nullopt, std::move(problem)};
}

} // namespace

bool cameraNoiseStage(const PictureAdjustSettings& settings, PrintImage& image, int width,
                      int height, platform::Ui& ui) {
    if (!settings.noiseFilterOn())
        return true;
    for (int pass = 0; pass < 3; ++pass)
        if (!adjust::cameraNoiseFilter(std::span(image.bytes), width, height, ui))
            return false;
    return true;
}

void applyColourMatching(const ColourMatchingTable& table, PrintImage& image, int width,
                         int height) {
    if (!frameFits(width, height) || table.lattice.size() != kLatticeBytes)
        return;
    static const std::array<LatticeStep, 256> steps = latticeSteps();
    for (int row = 0; row < height; ++row) {
        std::uint8_t* p = image.pixel(row, 0);
        for (int column = 0; column < width; ++column, p += 3) {
            const LatticeStep& r = steps[p[2]];
            const LatticeStep& g = steps[p[1]];
            const LatticeStep& b = steps[p[0]];
            const double fr = r.fraction, fg = g.fraction, fb = b.fraction;
            const std::uint8_t* c000 = table.at(r.index, g.index, b.index);
            const std::uint8_t* c001 = table.at(r.index, g.index, b.next);
            const std::uint8_t* c010 = table.at(r.index, g.next, b.index);
            const std::uint8_t* c011 = table.at(r.index, g.next, b.next);
            const std::uint8_t* c100 = table.at(r.next, g.index, b.index);
            const std::uint8_t* c101 = table.at(r.next, g.index, b.next);
            const std::uint8_t* c110 = table.at(r.next, g.next, b.index);
            const std::uint8_t* c111 = table.at(r.next, g.next, b.next);
            for (int ch = 0; ch < 3; ++ch) {
                const auto lerp = [](double a, double z, double f) { return a + (z - a) * f; };
                const double c00 = lerp(c000[ch], c001[ch], fb);
                const double c01 = lerp(c010[ch], c011[ch], fb);
                const double c10 = lerp(c100[ch], c101[ch], fb);
                const double c11 = lerp(c110[ch], c111[ch], fb);
                const double v = lerp(lerp(c00, c01, fg), lerp(c10, c11, fg), fr);
                // The weights keep v within 0..255; the conversion truncates.
                p[ch] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(v), 0, 255));
            }
        }
    }
}

bool colourMatchingStage(const std::filesystem::path& tablePath, PrintImage& image, int width,
                         int height, platform::Ui& ui) {
    const auto table = loadColourMatchingTable(tablePath, ui);
    if (!table)
        return false;
    applyColourMatching(*table, image, width, height);
    return true;
}

std::array<std::uint8_t, 256> toneCurve(const PictureAdjustSettings& settings) {
    std::array<std::uint8_t, 256> map{};
    for (int v = 0; v < 256; ++v)
        map[v] = static_cast<std::uint8_t>(v);
    if (settings.contrast == adjust::kToneFixed) {
        for (int v = 0; v < 256; ++v)
            map[v] = toByte((v - 25) * 1.25); // limited to 0..255, else rounded
    } else if (settings.contrast == adjust::kToneManual) {
        // In doubles: points edited by hand may lie anywhere in the int range.
        const double x1 = settings.tonePoints.left, y1 = settings.tonePoints.bottom;
        const double x2 = settings.tonePoints.right, y2 = settings.tonePoints.top;
        for (int v = 0; v < 256; ++v) {
            double out;
            if (v < x1)
                out = roundHalfUp(v * y1 / x1);
            else if (v < x2)
                out = y1 + roundHalfUp((v - x1) * (y2 - y1) / (x2 - x1));
            else if (x2 < 255) // a last segment of no width adds nothing
                out = y2 + roundHalfUp(double(v - x2) * (255 - y2) / (255 - x2));
            else
                out = y2;
            // Points outside 0..255 must not wrap around.
            map[v] = static_cast<std::uint8_t>(std::clamp(out, 0.0, 255.0));
        }
    }
    return map;
}

void applyToneCurve(const PictureAdjustSettings& settings, PrintImage& image) {
    if (settings.contrast != adjust::kToneFixed && settings.contrast != adjust::kToneManual)
        return;
    const auto map = toneCurve(settings);
    forEachPicturePixel(image, [&map](int, int, std::uint8_t* p) {
        p[0] = map[p[0]];
        p[1] = map[p[1]];
        p[2] = map[p[2]];
    });
}

namespace {

// The saturated value of a component c whose two others add up to o: the formula
// depends on nothing else, so its 256 x 511 bytes are made once per gain.
struct SaturationTable {
    static constexpr int kOthers = 2 * 255 + 1;
    std::uint64_t gainBits = 0;
    std::vector<std::uint8_t> values;

    const std::uint8_t* forGain(double gain) {
        std::uint64_t bits;
        std::memcpy(&bits, &gain, sizeof bits);
        if (values.empty() || bits != gainBits) {
            values.resize(std::size_t(256) * kOthers);
            for (int c = 0; c < 256; ++c)
                for (int o = 0; o < kOthers; ++o) {
                    const int s = c + o;
                    const double boost = (2 * c - o) * gain; // (2c - others) x gain
                    values[std::size_t(c) * kOthers + o] = toByte((s + boost) / 3);
                }
            gainBits = bits;
        }
        return values.data();
    }
};

} // namespace

void applySaturation(const PictureAdjustSettings& settings, PrintImage& image,
                     LuminanceMap& luminance) {
    static const auto brightness = [] {
        std::array<std::int32_t, 3 * 255 + 1> table{};
        for (int s = 0; s < int(table.size()); ++s)
            table[s] = static_cast<std::int32_t>(roundHalfUp(s * 1.333));
        return table;
    }();
    const bool saturate = settings.saturation != adjust::kSaturationNone;
    // One table per thread: jobs on other threads may use other gains.
    thread_local SaturationTable tables;
    const std::uint8_t* saturated = saturate ? tables.forGain(settings.satValue) : nullptr;
    constexpr int kOthers = SaturationTable::kOthers;
    for (int row = 0; row < kFrameHeight; ++row) {
        std::uint8_t* p = image.pixel(row, 0);
        std::int32_t* l = &luminance.at(row, 0);
        if (saturate) {
            for (int column = 0; column < kFrameWidth; ++column, p += 3) {
                const int b = p[0], g = p[1], r = p[2];
                const int nr = saturated[r * kOthers + g + b];
                const int ng = saturated[g * kOthers + r + b];
                const int nb = saturated[b * kOthers + r + g];
                p[0] = static_cast<std::uint8_t>(nb);
                p[1] = static_cast<std::uint8_t>(ng);
                p[2] = static_cast<std::uint8_t>(nr);
                l[column] = brightness[nb + ng + nr];
            }
        } else {
            for (int column = 0; column < kFrameWidth; ++column, p += 3)
                l[column] = brightness[p[0] + p[1] + p[2]];
        }
    }
}

void applyHueSectorCorrection(const PictureAdjustSettings& settings, const ColCorPalam& params,
                              PrintImage& image) {
    if (!settings.hueSectorOn())
        return;

    // Per sector: dominant primary P, the other chroma channel O, the secondary Q,
    // and the differences of their factors and shifts, taken once per job.
    struct Sector {
        int p, o;
        double topDiff, topQ, bottomDiff, bottomQ;
        double shiftDiff[3], shiftQ[3];
    };
    enum { kBlueCyan, kGreenCyan, kBlueMagenta, kRedMagenta, kGreenYellow, kRedYellow };
    const int layout[6][3] = {{2, 1, kHueCyan},    {1, 2, kHueCyan},   {2, 0, kHueMagenta},
                              {0, 2, kHueMagenta}, {1, 0, kHueYellow}, {0, 1, kHueYellow}};
    Sector sectors[6];
    for (int i = 0; i < 6; ++i) {
        const auto [p, o, q] = layout[i];
        Sector& sec = sectors[i];
        sec = {p,
               o,
               params.top[p] - params.top[q],
               params.top[q],
               params.bottom[p] - params.bottom[q],
               params.bottom[q],
               {},
               {}};
        for (int ch = 0; ch < 3; ++ch) {
            sec.shiftDiff[ch] = params.shift[p][ch] - params.shift[q][ch];
            sec.shiftQ[ch] = params.shift[q][ch];
        }
    }
    double over255[256]; // v / 255, looked up rather than divided per pixel
    for (int v = 0; v < 256; ++v)
        over255[v] = v / 255.0;

    // Each row in two sweeps, saturation step then shift step: the divisions of
    // neighbouring pixels then overlap instead of waiting on each other.
    struct Saturated {
        double c1[3];
        int sector; // -1: grey, left alone
    };
    std::array<Saturated, kFrameWidth> rowValues;
    for (int row = 0; row < kFrameHeight; ++row) {
        std::uint8_t* const rowStart = image.pixel(row, 0);
        for (int column = 0; column < kFrameWidth; ++column) {
            const std::uint8_t* px = rowStart + 3 * column;
            Saturated& out = rowValues[column];
            const int c[3] = {px[2], px[1], px[0]}; // r, g, b
            const int s = c[0] + c[1] + c[2];
            const int m = std::min({c[0], c[1], c[2]});
            const int d[3] = {c[0] - m, c[1] - m, c[2] - m};

            if (d[0] == 0) {
                if (d[1] == 0 && d[2] == 0) {
                    out.sector = -1;
                    continue;
                }
                out.sector = d[2] >= d[1] ? kBlueCyan : kGreenCyan;
            } else if (d[1] == 0) {
                out.sector = d[2] >= d[0] ? kBlueMagenta : kRedMagenta;
            } else {
                out.sector = d[1] > d[0] ? kGreenYellow : kRedYellow;
            }
            const Sector& sec = sectors[out.sector];
            const int p = sec.p, o = sec.o;

            const double f = 1 - double(d[o]) / d[p];
            const double top = sec.topDiff * f + sec.topQ;
            const double bottom = sec.bottomDiff * f + sec.bottomQ;
            const double k = (top - bottom) * over255[c[p]] + bottom;
            for (int ch = 0; ch < 3; ++ch)
                out.c1[ch] = ((2 * c[ch] - c[(ch + 1) % 3] - c[(ch + 2) % 3]) * k + s) / 3;
        }
        for (int column = 0; column < kFrameWidth; ++column) {
            const Saturated& in = rowValues[column];
            if (in.sector < 0)
                continue;
            const Sector& sec = sectors[in.sector];
            const double* c1 = in.c1;
            double c2[3] = {c1[0], c1[1], c1[2]};
            const double m1 = std::min({c1[0], c1[1], c1[2]});
            const double dP1 = c1[sec.p] - m1;
            // Without a dominant chroma left there is no hue to shift: the pixel
            // keeps what the saturation step made of it.
            if (dP1 != 0) {
                const double w = dP1 / 255;
                const double f1 = 1 - (c1[sec.o] - m1) / dP1;
                for (int ch = 0; ch < 3; ++ch)
                    c2[ch] = (sec.shiftDiff[ch] * f1 + sec.shiftQ[ch]) * w + c1[ch];
            }
            std::uint8_t* px = rowStart + 3 * column;
            px[2] = toByte(c2[0]);
            px[1] = toByte(c2[1]);
            px[0] = toByte(c2[2]);
        }
    }
}

ExposurePlan planExposure(const media::MediaCalibration& calibration,
                          const media::GammaCurves& gamma, const ExposureBaseMedia& base) {
    const int top[3] = {calibration.tdtc, calibration.tdtm, calibration.tdty};
    const int bottom[3] = {calibration.tdbc, calibration.tdbm, calibration.tdby};
    const double sens[3] = {calibration.sensC, calibration.sensM, calibration.sensY};

    // A density of 1 would make a or b zero, and both divide.
    for (int dye = 0; dye < 3; ++dye)
        for (int end = 0; end < 2; ++end) {
            const int density = end == 0 ? top[dye] : bottom[dye];
            if (density <= 0 || density == 1)
                return refuse(std::string(kDensityNames[end][dye]) + " = " +
                              std::to_string(density));
        }
    for (int dye = 0; dye < 3; ++dye)
        for (const BaseValue v : {kBase32[dye], kBase224[dye]})
            if (!usableLogBase(base.value(v)))
                return refuse(baseProblem(base, v));
    for (int dye = 0; dye < 3; ++dye)
        if (!std::isfinite(sens[dye]))
            return refuse(platform::formatC("%s = %g", kSensitivityNames[dye].data(), sens[dye]));

    double a[3], b[3];
    for (int dye = 0; dye < 3; ++dye) {
        a[dye] = std::log10(double(top[dye])) / std::log10(base.value(kBase32[dye]));
        b[dye] = std::log10(double(bottom[dye])) / std::log10(base.value(kBase224[dye]));
        if (a[dye] - b[dye] + 1 == 0) {
            const std::string d(kDyeLetters[dye]);
            return refuse(
                "a" + d + " - b" + d + " + 1 = 0 aus " + std::string(kDensityNames[0][dye]) + ", " +
                std::string(kDensityNames[1][dye]) + ", " + std::string(base.name(kBase32[dye])) +
                " und " + std::string(base.name(kBase224[dye])));
        }
    }
    for (int c = 0; c < 3; ++c)
        if (std::string problem = gammaProblem(gamma, c); !problem.empty())
            return refuse(std::move(problem));

    ExposureTables t;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            t.gamma[c][v] = gamma.table[c][v];
    for (int i = 0; i < 6; ++i) {
        const Pair& pair = kPairs[i];
        const int dyeD = pair.x;
        const int dyeE = pair.y;
        const double pPrime = (b[dyeE] / a[dyeD]) * sens[dyeE] * base.value(pair.p);
        const double qPrime = (b[dyeE] / b[dyeD]) * base.value(pair.q);
        for (int v = 0; v < 256; ++v)
            t.lambda[i][v] = (qPrime * (v - 32) + pPrime * (224 - v)) / 192;
        if (!allFinite(t.lambda[i]))
            return refuse(baseProblem(base, std::isfinite(pPrime * 224) ? pair.q : pair.p));

        const double k = sens[dyeE] * base.value(pair.r) / (a[dyeE] - b[dyeE] + 1);
        const auto& ty = gamma.table[pair.y];
        const double log32 = std::log10(double(ty[32]));
        const double log224 = std::log10(double(ty[224]));
        for (int w = 0; w < 256; ++w)
            t.disturbance[i][w] =
                w < 32 ? k * std::log10(ty[w] + 1.0) / log32
                       : 1 + (1 - k) * (std::log10(double(ty[w])) - log224) / (log224 - log32);
        if (!allFinite(t.disturbance[i]))
            return refuse(baseProblem(base, pair.r));
    }
    t.ovBg = base.value(BaseValue::OVbg);
    t.ovGb = base.value(BaseValue::OVgb);
    t.ovRg = base.value(BaseValue::OVrg);
    return {std::move(t), {}};
}

void plainExposure(const PrintImage& image, ExposureImage& exposure) {
    for (int row = 0; row < kFrameHeight; ++row) {
        const std::uint8_t* p = image.pixel(row, 0);
        for (int column = 0; column < kFrameWidth; ++column, p += 3)
            exposure.at(row, column) = {std::int16_t(4 * p[0]), std::int16_t(4 * p[1]),
                                        std::int16_t(4 * p[2])};
        for (int column = kFrameWidth; column < kLevelColumns; ++column)
            exposure.at(row, column) = {kMarginLevel, kMarginLevel, kMarginLevel};
    }
}

void fullExposure(const ExposureTables& t, const PrintImage& image, ExposureImage& exposure) {
    const auto& tr = t.gamma[0];
    const auto& tg = t.gamma[1];
    const auto& tb = t.gamma[2];
    for (int row = 0; row < kFrameHeight; ++row) {
        const std::uint8_t* p = image.pixel(row, 0);
        for (int column = 0; column < kFrameWidth; ++column, p += 3) {
            const int b = p[0], g = p[1], r = p[2];
            const double yellow = tb[b] * (1 - t.lambda[kBr][b] * t.disturbance[kBr][r] -
                                           t.lambda[kBg][b] * t.disturbance[kBg][g] * t.ovBg);
            const double magenta = tg[g] * (1 - t.lambda[kGb][g] * t.disturbance[kGb][b] * t.ovGb -
                                            t.lambda[kGr][g] * t.disturbance[kGr][r]);
            const double cyan = tr[r] * (1 - t.lambda[kRg][r] * t.disturbance[kRg][g] * t.ovRg -
                                         t.lambda[kRb][r] * t.disturbance[kRb][b]);
            exposure.at(row, column) = {toLevel(yellow), toLevel(magenta), toLevel(cyan)};
        }
        for (int column = kFrameWidth; column < kLevelColumns; ++column)
            exposure.at(row, column) = {kMarginLevel, kMarginLevel, kMarginLevel};
    }
}

ExposureMode convertToExposure(const PictureAdjustSettings& settings,
                               const media::MediaCalibration& calibration,
                               const media::GammaCurves& gamma, const ExposureBaseMedia& base,
                               const PrintImage& image, ExposureImage& exposure, platform::Ui& ui) {
    if (settings.plainExposure()) {
        plainExposure(image, exposure);
        return ExposureMode::Plain;
    }
    const ExposurePlan plan = planExposure(calibration, gamma, base);
    if (!plan.tables) {
        ui.message(calibrationInvalidMessage(plan.problem), platform::Ui::Icon::Exclamation);
        plainExposure(image, exposure);
        return ExposureMode::Fallback;
    }
    fullExposure(*plan.tables, image, exposure);
    return ExposureMode::Full;
}

namespace {

// The level change of a Laplacian value.
int edgeDelta(int lap, double ratio) {
    // A ratio from a hand-edited file must not overflow the levels.
    const double e = std::clamp(lap * ratio + 0.5, -65536.0, 65536.0);
    return std::isnan(e) ? 0 : static_cast<int>(e); // truncated toward zero
}

} // namespace

void enhanceEdges(const PictureAdjustSettings& settings, const LuminanceMap& l,
                  ExposureImage& exposure) {
    if (settings.edge == adjust::kEdgeNone)
        return;
    const double ratio = settings.edgeEnhanceR;
    // Brightness 0..1020 gives Laplacians within +-4080: their changes looked up.
    constexpr int kMaxLap = 4 * 1020;
    std::array<int, 2 * kMaxLap + 1> deltaOf;
    for (int lap = -kMaxLap; lap <= kMaxLap; ++lap)
        deltaOf[lap + kMaxLap] = edgeDelta(lap, ratio);
    static_assert(sizeof(Levels) == 3 * sizeof(std::int16_t));
    constexpr int kInner = kFrameWidth - 2;
    std::array<int, 3 * kInner> deltas; // per level of columns 1..638
    for (int i = 1; i < kFrameHeight - 1; ++i) {
        const std::int32_t* mid = l.values.data() + std::size_t(i) * kFrameWidth + 1;
        const std::int32_t* up = mid - kFrameWidth;
        const std::int32_t* down = mid + kFrameWidth;
        std::array<int, kInner> laps;
        for (int j = 0; j < kInner; ++j)
            laps[j] = 4 * mid[j] - up[j] - down[j] - mid[j - 1] - mid[j + 1];
        for (int j = 0; j < kInner; ++j) {
            const int lap = laps[j];
            const int delta =
                lap >= -kMaxLap && lap <= kMaxLap ? deltaOf[lap + kMaxLap] : edgeDelta(lap, ratio);
            deltas[3 * j] = deltas[3 * j + 1] = deltas[3 * j + 2] = delta;
        }
        std::int16_t* levels = exposure.at(i, 1).data();
        for (int k = 0; k < 3 * kInner; ++k)
            levels[k] = static_cast<std::int16_t>(std::clamp<int>(
                levels[k] + deltas[k], 0, std::numeric_limits<std::int16_t>::max()));
    }
}

void clampLevels(const media::GammaCurves& gamma, ExposureImage& exposure) {
    // Level order yellow, magenta, cyan comes from the blue, green, red curves.
    std::array<std::int16_t, 3 * kFrameWidth> tops; // the three tops repeated along a row
    for (int column = 0; column < kFrameWidth; ++column) {
        tops[3 * column] = gamma.table[2][256];
        tops[3 * column + 1] = gamma.table[1][256];
        tops[3 * column + 2] = gamma.table[0][256];
    }
    for (int row = 0; row < kFrameHeight; ++row) {
        std::int16_t* levels = exposure.at(row, 0).data();
        for (int k = 0; k < 3 * kFrameWidth; ++k)
            levels[k] = std::min(levels[k], tops[k]);
    }
}

ExposureMode runColourStages(const ColourJob& job, PrintImage& image, LuminanceMap& luminance,
                             ExposureImage& exposure, platform::Ui& ui,
                             const std::function<void(ColourStage)>& progress) {
    const auto done = [&progress](ColourStage stage) {
        if (progress)
            progress(stage);
    };
    applyToneCurve(job.settings, image);
    done(ColourStage::Tone);
    applySaturation(job.settings, image, luminance);
    done(ColourStage::Saturation);
    applyHueSectorCorrection(job.settings, job.colCor, image);
    done(ColourStage::HueSector);
    const ExposureMode mode = convertToExposure(job.settings, job.calibration, job.gamma,
                                                job.baseMedia, image, exposure, ui);
    done(ColourStage::Exposure);
    enhanceEdges(job.settings, luminance, exposure);
    done(ColourStage::Edge);
    clampLevels(job.gamma, exposure);
    done(ColourStage::Clamp);
    return mode;
}

} // namespace kv::render
