#include "render/print_proof.h"

#include "platform/atomic_file.h"
#include "platform/numbers.h"
#include "platform/png_encoder.h"
#include "render/colour_tables.h"
#include "render/print_preparation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>
#include <thread>
#include <utility>

namespace kv::render {

namespace {

enum PairIndex { kRg, kRb, kGr, kGb, kBr, kBg };
enum Channel { kRed, kGreen, kBlue };

// A 256-entry table read at a real input in [0, 255], linear between entries.
double lerp(const std::array<double, 256>& table, double x) {
    const int i = std::min(static_cast<int>(x), 254);
    const double f = x - i;
    return table[i] + f * (table[i + 1] - table[i]);
}

// The slope of such a table at x: that of the segment x lies in.
double slope(const std::array<double, 256>& table, double x) {
    const int i = std::min(static_cast<int>(x), 254);
    return table[i + 1] - table[i];
}

// Newton's steps on the three levels at once, from inputs already near: where the
// curves and the cross-colour terms are smooth around the answer this meets the
// levels in two or three steps, where the channel sweeps need several exact solves
// each. True, inputs set, when every level is met within `met`; false, inputs
// untouched, when a step leaves the inputs' range or the levels are not met.
bool newtonSolve(const ExposureTables& t, const double want[3], double met, double& r, double& g,
                 double& b) {
    constexpr int kSteps = 4;
    double x[3] = {r, g, b};
    for (int step = 0; step <= kSteps; ++step) {
        const double dRg = lerp(t.disturbance[kRg], x[1]) * t.ovRg,
                     dRb = lerp(t.disturbance[kRb], x[2]),
                     dGb = lerp(t.disturbance[kGb], x[2]) * t.ovGb,
                     dGr = lerp(t.disturbance[kGr], x[0]), dBr = lerp(t.disturbance[kBr], x[0]),
                     dBg = lerp(t.disturbance[kBg], x[1]) * t.ovBg;
        const double lRg = lerp(t.lambda[kRg], x[0]), lRb = lerp(t.lambda[kRb], x[0]),
                     lGb = lerp(t.lambda[kGb], x[1]), lGr = lerp(t.lambda[kGr], x[1]),
                     lBr = lerp(t.lambda[kBr], x[2]), lBg = lerp(t.lambda[kBg], x[2]);
        const double f[3] = {1 - lRg * dRg - lRb * dRb, 1 - lGb * dGb - lGr * dGr,
                             1 - lBr * dBr - lBg * dBg};
        const double curve[3] = {lerp(t.gamma[kRed], x[0]), lerp(t.gamma[kGreen], x[1]),
                                 lerp(t.gamma[kBlue], x[2])};
        double miss[3], worst = 0;
        for (int ch = 0; ch < 3; ++ch) {
            miss[ch] = curve[ch] * f[ch] - want[ch];
            worst = std::max(worst, std::abs(miss[ch]));
        }
        if (worst < met) {
            r = x[0], g = x[1], b = x[2];
            return true;
        }
        if (step == kSteps)
            return false;
        // The Jacobian, row per level (red, green, blue), column per input.
        const double j[3][3] = {
            {slope(t.gamma[kRed], x[0]) * f[0] -
                 curve[0] * (slope(t.lambda[kRg], x[0]) * dRg + slope(t.lambda[kRb], x[0]) * dRb),
             -curve[0] * lRg * slope(t.disturbance[kRg], x[1]) * t.ovRg,
             -curve[0] * lRb * slope(t.disturbance[kRb], x[2])},
            {-curve[1] * lGr * slope(t.disturbance[kGr], x[0]),
             slope(t.gamma[kGreen], x[1]) * f[1] -
                 curve[1] * (slope(t.lambda[kGb], x[1]) * dGb + slope(t.lambda[kGr], x[1]) * dGr),
             -curve[1] * lGb * slope(t.disturbance[kGb], x[2]) * t.ovGb},
            {-curve[2] * lBr * slope(t.disturbance[kBr], x[0]),
             -curve[2] * lBg * slope(t.disturbance[kBg], x[1]) * t.ovBg,
             slope(t.gamma[kBlue], x[2]) * f[2] -
                 curve[2] * (slope(t.lambda[kBr], x[2]) * dBr + slope(t.lambda[kBg], x[2]) * dBg)}};
        const double det = j[0][0] * (j[1][1] * j[2][2] - j[1][2] * j[2][1]) -
                           j[0][1] * (j[1][0] * j[2][2] - j[1][2] * j[2][0]) +
                           j[0][2] * (j[1][0] * j[2][1] - j[1][1] * j[2][0]);
        if (!(std::abs(det) > 1e-9))
            return false;
        // Cramer's rule for j * dx = miss.
        double dx[3];
        for (int col = 0; col < 3; ++col) {
            double m[3][3];
            for (int row = 0; row < 3; ++row)
                for (int c = 0; c < 3; ++c)
                    m[row][c] = c == col ? miss[row] : j[row][c];
            dx[col] = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) /
                      det;
        }
        for (int ch = 0; ch < 3; ++ch) {
            x[ch] -= dx[ch];
            if (!(x[ch] >= 0 && x[ch] <= 255))
                return false;
        }
    }
    return false;
}

std::uint8_t roundToByte(double v) {
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return static_cast<std::uint8_t>(v + 0.5);
}

// The levels' distance from what the real-valued conversion gives, above which
// they count as out of reach: the conversion rounds to whole levels.
constexpr double kReachTolerance = 0.5;
// The pre-image is taken as found when no input moves further than this in a sweep.
constexpr double kSettled = 1e-6;
// How far a neighbour's input may lie from one that gives the level and still be
// followed: a few steps, as far as edge enhancement moves a level.
constexpr double kNeighbourReach = 4;
// How many levels edge enhancement moves a smooth picture's pixel (-1..+2 on a ramp,
// more only at edges): a neighbour's input that prints this close is kept where the
// exact one lies far away. The few levels are invisible on paper, the jump is not.
constexpr double kEdgeJitter = 3;
// As far as a neighbour's stretch is followed where the curve rises slowly.
constexpr double kNeighbourFar = 16;
// How much farther from the meeting point a neighbour's stretch may be and still win.
constexpr double kTieMargin = 16;
// Or when every level is met this closely: far below the conversion's rounding.
constexpr double kMet = 1e-3;
constexpr int kMaxSweeps = 100;
constexpr int kStartSteps = 2;

std::uint32_t fnv1a(const void* data, std::size_t size, std::uint32_t hash = 2166136261u) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

// The full conversion of one 8-bit colour, as fullExposure does it.
Levels levelsOf(const ExposureTables& t, int r, int g, int b) {
    const auto level = [](double v) -> std::int16_t {
        if (!(v > 0))
            return 0;
        if (v >= 32767)
            return 32767;
        const int whole = static_cast<int>(v); // half up, as the conversion rounds
        return static_cast<std::int16_t>(v - whole >= 0.5 ? whole + 1 : whole);
    };
    return {level(t.gamma[kBlue][b] * (1 - t.lambda[kBr][b] * t.disturbance[kBr][r] -
                                       t.lambda[kBg][b] * t.disturbance[kBg][g] * t.ovBg)),
            level(t.gamma[kGreen][g] * (1 - t.lambda[kGb][g] * t.disturbance[kGb][b] * t.ovGb -
                                        t.lambda[kGr][g] * t.disturbance[kGr][r])),
            level(t.gamma[kRed][r] * (1 - t.lambda[kRg][r] * t.disturbance[kRg][g] * t.ovRg -
                                      t.lambda[kRb][r] * t.disturbance[kRb][b]))};
}

// A level's factor as a function of its own input x, the disturbances of the two
// pairs given: the weights are straight lines in x, so the factor is k0 - k1 * x.
std::pair<double, double> ownFactor(const ExposureTables& t, int first, int second,
                                    double disturbFirst, double disturbSecond) {
    const auto& a = t.lambda[first];
    const auto& b = t.lambda[second];
    const double slopeA = (a[255] - a[0]) / 255, slopeB = (b[255] - b[0]) / 255;
    return {1 - a[0] * disturbFirst - b[0] * disturbSecond,
            slopeA * disturbFirst + slopeB * disturbSecond};
}

// A curve's lowest and highest entry over each run of kBlock segments, so that the
// search for a level passes over runs that cannot reach it at once.
constexpr int kBlock = 8;
struct CurveBlocks {
    std::array<double, 255 / kBlock + 1> low{}, high{};
};
CurveBlocks blocksOf(const std::array<double, 256>& curve) {
    CurveBlocks blocks;
    for (int b = 0; b * kBlock < 255; ++b) {
        const auto first = curve.begin() + b * kBlock;
        const auto last = curve.begin() + std::min(255, (b + 1) * kBlock) + 1;
        blocks.low[b] = *std::min_element(first, last);
        blocks.high[b] = *std::max_element(first, last);
    }
    return blocks;
}

// The input x in [0, 255] with curve(x) * (k0 - k1 * x) = level nearest to `near`. On
// each curve segment this is a quadratic. Without any, the input that comes closest.
double solveOwnInput(const std::array<double, 256>& curve, const CurveBlocks& blocks, double level,
                     double k0, double k1, double near) {
    double best = near, bestDistance = 1e300;
    // Whether no segment of segment k's run can give the level: both factors are
    // straight and not negative there, so the product stays within the bounds'
    // products (widened a little, so rounding never hides a root a segment finds).
    const auto outOfReach = [&](int k) {
        const int b = k / kBlock;
        const double f0 = k0 - k1 * (b * kBlock), f1 = k0 - k1 * std::min(255, (b + 1) * kBlock);
        const double fLow = std::min(f0, f1), fHigh = std::max(f0, f1);
        if (blocks.low[b] < 0 || fLow < 0)
            return false;
        const double slack = 1e-9 * (1 + std::abs(level));
        return level < blocks.low[b] * fLow - slack || level > blocks.high[b] * fHigh + slack;
    };
    // Adds the roots in segment k; with `closest`, its nearest approach to the level.
    const auto segment = [&](int k) {
        // x = k + u, u in [0, 1]: (a + d u)(e - k1 u) = level.
        const double a = curve[k], d = curve[k + 1] - curve[k], e = k0 - k1 * k;
        // Both factors are straight and not negative here: the product stays within
        // their extremes' products, and a level outside has no root in the segment.
        const double tLow = std::min(a, a + d), fLow = std::min(e, e - k1);
        if (tLow >= 0 && fLow >= 0 &&
            (level < tLow * fLow || level > std::max(a, a + d) * std::max(e, e - k1)))
            return;
        const double qa = -d * k1, qb = d * e - a * k1, qc = a * e - level;
        double roots[2];
        int n = 0;
        if (std::abs(qa) < 1e-12) {
            if (std::abs(qb) > 1e-12)
                roots[n++] = -qc / qb;
            else if (std::abs(qc) < 1e-9)
                roots[n++] = std::clamp(near - k, 0.0, 1.0); // level all along
        } else if (const double disc = qb * qb - 4 * qa * qc; disc >= 0) {
            const double q = -0.5 * (qb + std::copysign(std::sqrt(disc), qb));
            roots[n++] = q / qa;
            if (q != 0)
                roots[n++] = qc / q;
        }
        for (int i = 0; i < n; ++i)
            if (roots[i] >= -1e-9 && roots[i] <= 1 + 1e-9) {
                const double x = k + std::clamp(roots[i], 0.0, 1.0);
                if (std::abs(x - near) < bestDistance)
                    best = x, bestDistance = std::abs(x - near);
            }
    };
    // Outwards from the segment of `near`; stops once no farther segment can be nearer.
    const int start = std::clamp(static_cast<int>(near), 0, 254);
    for (int d = 0; d < 255; ++d) {
        const int below = start - d, above = start + d;
        if (below < 0 && above > 254)
            break;
        const double gapBelow = below >= 0 ? near - (below + 1) : 1e300;
        const double gapAbove = above <= 254 ? above - near : 1e300;
        if (std::min(gapBelow, gapAbove) > bestDistance)
            break;
        const bool skipBelow = below < 0 || outOfReach(below);
        const bool skipAbove = above > 254 || outOfReach(above);
        if (!skipBelow)
            segment(below);
        if (d > 0 && !skipAbove)
            segment(above);
        if (skipBelow && skipAbove) {
            // Neither run can give the level: on to where one of them ends. The gaps only
            // grow meanwhile, so the stop above is met no later than before.
            const int belowLeft = below < 0 ? 255 : below % kBlock;
            const int aboveLeft = above > 254 ? 255 : kBlock - 1 - above % kBlock;
            d += std::min(belowLeft, aboveLeft);
        }
    }
    if (bestDistance < 1e300)
        return best;
    // No input reaches the level: the one that comes closest, at a segment's end or
    // where its product turns; of equal ones the nearest.
    double closest = near, closestMiss = 1e300;
    const auto consider = [&](double x) {
        const double miss = std::abs(lerp(curve, x) * (k0 - k1 * x) - level);
        if (miss < closestMiss - 1e-12 ||
            (miss <= closestMiss + 1e-12 && std::abs(x - near) < std::abs(closest - near)))
            closest = x, closestMiss = miss;
    };
    for (int k = 0; k < 255; ++k) {
        consider(k);
        const double a = curve[k], d = curve[k + 1] - curve[k], e = k0 - k1 * k;
        if (const double qa = -d * k1; std::abs(qa) >= 1e-12)
            if (const double vertex = -(d * e - a * k1) / (2 * qa); vertex > 0 && vertex < 1)
                consider(k + vertex);
    }
    consider(255);
    return closest;
}
} // namespace

// Per calibration: each channel's gamma curve cut into pieces that rise, fall or
// stay level, and for every whole level the pieces that pass through it.
struct LevelProof::Inverse {
    struct Piece {
        double x0, x1; // inputs
        double t0, t1; // curve values at x0 and x1; equal on a level stretch
    };
    struct Curve {
        std::vector<Piece> pieces;
        // For the levels in [j, j + 1]: the pieces reaching into them.
        std::vector<std::vector<std::uint16_t>> at;
        double lowest = 0, highest = 0;

        // Every input range giving level t (a single input is a range of one),
        // at most kMaxRanges of them.
        static constexpr int kMaxRanges = 16;
        struct Range {
            double lo, hi;
        };
        int ranges(double t, Range* out) const {
            t = std::clamp(t, lowest, highest);
            const std::size_t j = std::min(static_cast<std::size_t>(t - lowest), at.size() - 1);
            int n = 0;
            for (const std::uint16_t i : at[j]) {
                const Piece& p = pieces[i];
                if (t < std::min(p.t0, p.t1) || t > std::max(p.t0, p.t1) || n == kMaxRanges)
                    continue;
                if (p.t0 == p.t1) {
                    out[n++] = {p.x0, p.x1};
                } else {
                    const double x = p.x0 + (t - p.t0) / (p.t1 - p.t0) * (p.x1 - p.x0);
                    out[n++] = {x, x};
                }
            }
            return n;
        }
    };
    std::array<Curve, 3> curves;
    // Per channel and whole level from the curve's lowest: the input ranges giving
    // it, touching ones joined, at first[j] .. first[j + 1] - 1.
    struct LevelRanges {
        std::vector<Curve::Range> ranges;
        std::vector<std::uint32_t> first;
    };
    std::array<LevelRanges, 3> levels;
    bool crossTalk = false;
    std::array<CurveBlocks, 3> blocks; // of the gamma curves, for the cross-colour search
};

namespace {

LevelProof::Inverse::Curve invertCurve(const std::array<double, 256>& t) {
    LevelProof::Inverse::Curve curve;
    // Neighbouring segments that stay level are one piece, so a long level stretch
    // is looked at once.
    for (int k = 0; k < 255; ++k) {
        if (t[k] == t[k + 1] && !curve.pieces.empty() && curve.pieces.back().t0 == t[k] &&
            curve.pieces.back().t1 == t[k] && curve.pieces.back().x1 == k) {
            curve.pieces.back().x1 = k + 1;
            continue;
        }
        curve.pieces.push_back({double(k), double(k + 1), t[k], t[k + 1]});
    }
    curve.lowest = std::floor(*std::min_element(t.begin(), t.end()));
    curve.highest = std::ceil(*std::max_element(t.begin(), t.end()));
    curve.at.resize(static_cast<std::size_t>(curve.highest - curve.lowest) + 1);
    for (std::size_t i = 0; i < curve.pieces.size(); ++i) {
        const auto& p = curve.pieces[i];
        const double lo = std::min(p.t0, p.t1) - curve.lowest;
        const double hi = std::max(p.t0, p.t1) - curve.lowest;
        const std::size_t first = lo > 1 ? static_cast<std::size_t>(std::ceil(lo)) - 1 : 0;
        const std::size_t last = std::min(static_cast<std::size_t>(hi), curve.at.size() - 1);
        for (std::size_t j = first; j <= last; ++j)
            curve.at[j].push_back(static_cast<std::uint16_t>(i));
    }
    return curve;
}

} // namespace

LevelProof::LevelProof(const ExposureTables& tables) : m_tables(tables) {
    auto inverse = std::make_shared<Inverse>();
    for (int c = 0; c < 3; ++c) {
        const Inverse::Curve& curve = inverse->curves[c] = invertCurve(tables.gamma[c]);
        Inverse::LevelRanges& out = inverse->levels[c];
        Inverse::Curve::Range ranges[Inverse::Curve::kMaxRanges];
        for (std::size_t j = 0; j < curve.at.size(); ++j) {
            out.first.push_back(static_cast<std::uint32_t>(out.ranges.size()));
            const int n = curve.ranges(curve.lowest + double(j), ranges);
            std::sort(ranges, ranges + n, [](const auto& a, const auto& b) { return a.lo < b.lo; });
            for (int i = 0; i < n; ++i) {
                if (out.ranges.size() > out.first.back() &&
                    ranges[i].lo <= out.ranges.back().hi + 1e-9)
                    out.ranges.back().hi = std::max(out.ranges.back().hi, ranges[i].hi);
                else
                    out.ranges.push_back(ranges[i]);
            }
        }
        out.first.push_back(static_cast<std::uint32_t>(out.ranges.size()));
    }
    for (const auto& weights : tables.lambda)
        for (const double w : weights)
            inverse->crossTalk = inverse->crossTalk || w != 0;
    for (int c = 0; c < 3; ++c)
        inverse->blocks[c] = blocksOf(tables.gamma[c]);
    m_inverse = std::move(inverse);
    m_description = platform::formatC("full: tables %08x", unsigned(fnv1a(&tables, sizeof tables)));
}

LevelProof LevelProof::forJob(const adjust::PictureAdjustSettings& settings,
                              const media::MediaCalibration& calibration,
                              const media::GammaCurves& gamma, const ExposureBaseMedia& base) {
    LevelProof proof;
    if (settings.plainExposure()) {
        proof.m_description = platform::formatC("plain (ColorControl %d)", settings.colorControl);
        return proof;
    }
    const ExposurePlan plan = planExposure(calibration, gamma, base);
    if (!plan.tables) {
        // The conversion prints such a calibration as 4 x v.
        proof.m_description = "plain (unusable calibration: " + plan.problem + ")";
        return proof;
    }
    proof = LevelProof(*plan.tables);
    proof.m_description = platform::formatC(
        "full: sC=%g sM=%g sY=%g TDTC=%d TDBC=%d TDTM=%d TDBM=%d TDTY=%d TDBY=%d "
        "gamma tops r/g/b=%d/%d/%d tables %08x",
        double(calibration.sensC), double(calibration.sensM), double(calibration.sensY),
        calibration.tdtc, calibration.tdbc, calibration.tdtm, calibration.tdbm, calibration.tdty,
        calibration.tdby, gamma.table[0][256], gamma.table[1][256], gamma.table[2][256],
        unsigned(fnv1a(&*plan.tables, sizeof *plan.tables)));
    return proof;
}

LevelProof LevelProof::forInputs(const PrintInputs& inputs) {
    return forJob(inputs.settings, inputs.calibration, inputs.gamma,
                  readExposureBaseMedia(inputs.programDirectory));
}

std::string LevelProof::description() const {
    return m_description.empty() ? std::string(m_tables ? "full" : "plain") : m_description;
}

LevelProof::Colour LevelProof::colourOf(const Levels& levels, const Colour* neighbour) const {
    if (!m_tables) {
        Colour colour;
        const auto channel = [&colour](int level) {
            if (level < 0 || level > 4 * 255)
                colour.reachable = false;
            return roundToByte(level / 4.0);
        };
        colour.blue = channel(levels[kYellow]);
        colour.green = channel(levels[kMagenta]);
        colour.red = channel(levels[kCyan]);
        return colour;
    }
    const ExposureTables& t = *m_tables;
    const Inverse& inv = *m_inverse;
    const double y = levels[kYellow], m = levels[kMagenta], c = levels[kCyan];

    // Each level is its own channel's curve times a factor near 1 that the other
    // two channels (and its own weight) set: start from the curves alone, then
    // divide the factors out until the inputs stand still.
    const auto factors = [&t](double r, double g, double b) {
        return std::array<double, 3>{
            1 - lerp(t.lambda[kRg], r) * lerp(t.disturbance[kRg], g) * t.ovRg -
                lerp(t.lambda[kRb], r) * lerp(t.disturbance[kRb], b),
            1 - lerp(t.lambda[kGb], g) * lerp(t.disturbance[kGb], b) * t.ovGb -
                lerp(t.lambda[kGr], g) * lerp(t.disturbance[kGr], r),
            1 - lerp(t.lambda[kBr], b) * lerp(t.disturbance[kBr], r) -
                lerp(t.lambda[kBg], b) * lerp(t.disturbance[kBg], g) * t.ovBg};
    };
    // Where a curve gives a level from several inputs (it falls back or stays level
    // somewhere), the input nearest the channels whose level has one input (or a
    // short stretch) is taken: a grey stays grey. Without such a channel every end
    // of a range is tried as the meeting point, and the closest meeting taken.
    // A level outside a curve's range takes the input where the curve comes closest.
    using Range = Inverse::Curve::Range;
    const double want[3] = {c, m, y};
    const Range* ranges[3];
    int counts[3];
    for (int ch = 0; ch < 3; ++ch) {
        const Inverse::Curve& curve = inv.curves[ch];
        const auto j = static_cast<std::size_t>(std::clamp(want[ch], curve.lowest, curve.highest) -
                                                curve.lowest);
        const Inverse::LevelRanges& lr = inv.levels[ch];
        ranges[ch] = lr.ranges.data() + lr.first[j];
        counts[ch] = static_cast<int>(lr.first[j + 1] - lr.first[j]);
    }
    const auto nearestIn = [&](int ch, double at) {
        double best = at, distance = 1e300;
        for (int i = 0; i < counts[ch]; ++i) {
            const double x = std::clamp(at, ranges[ch][i].lo, ranges[ch][i].hi);
            if (std::abs(x - at) < distance)
                best = x, distance = std::abs(x - at);
        }
        return best;
    };
    // Where no stretch giving this level lies near the neighbour's input, but an input
    // within a few steps of it prints within a few levels of this one, that input is
    // kept: the curve stays level or turns there, and edge enhancement moved the level
    // by a step or two. Keeping inputs per channel (rather than modelling the
    // enhancement's common offset) leaves the channels whose levels have one input
    // exact, so the proof still shows the edges.
    const double near[3] = {neighbour ? double(neighbour->red) : 0,
                            neighbour ? double(neighbour->green) : 0,
                            neighbour ? double(neighbour->blue) : 0};
    const Range* nearest[3] = {nullptr, nullptr, nullptr};
    double nearestDistance[3] = {1e300, 1e300, 1e300}, moved[3] = {1e300, 1e300, 1e300};
    bool keepOwn[3] = {false, false, false};
    double kept[3] = {0, 0, 0};
    if (neighbour)
        for (int ch = 0; ch < 3; ++ch) {
            for (int i = 0; i < counts[ch]; ++i) {
                const Range& range = ranges[ch][i];
                const double d = std::abs(std::clamp(near[ch], range.lo, range.hi) - near[ch]);
                if (d < nearestDistance[ch])
                    nearest[ch] = &range, nearestDistance[ch] = d;
            }
            if (!inv.crossTalk)
                moved[ch] = std::abs(lerp(t.gamma[ch], near[ch]) - want[ch]);
            if (inv.crossTalk || nearestDistance[ch] <= kNeighbourReach)
                continue;
            // No input near gives the level, so the curve stays on one side of it there:
            // it comes closest at a whole input or at the window's end.
            const double lo = std::max(0.0, near[ch] - kNeighbourReach);
            const double hi = std::min(255.0, near[ch] + kNeighbourReach);
            double closestMiss = 1e300;
            const auto consider = [&](double x) {
                const double miss = std::abs(lerp(t.gamma[ch], x) - want[ch]);
                if (miss < closestMiss - 1e-9 ||
                    (miss <= closestMiss + 1e-9 &&
                     std::abs(x - near[ch]) < std::abs(kept[ch] - near[ch])))
                    kept[ch] = x, closestMiss = miss;
            };
            consider(lo);
            for (double x = std::ceil(lo); x <= hi; ++x)
                consider(x);
            consider(hi);
            keepOwn[ch] = closestMiss <= kEdgeJitter;
        }
    constexpr double kShortStretch = 2;
    double sure = 0;
    int sures = 0;
    for (int ch = 0; ch < 3; ++ch)
        if (keepOwn[ch] ||
            (counts[ch] == 1 && ranges[ch][0].hi - ranges[ch][0].lo <= kShortStretch)) {
            sure += keepOwn[ch] ? kept[ch] : (ranges[ch][0].lo + ranges[ch][0].hi) / 2;
            ++sures;
        }
    double meet = sures > 0 ? sure / sures : 127.5;
    if (sures == 0) {
        double spread = 1e300;
        for (int from = 0; from < 3; ++from)
            for (int i = 0; i < counts[from]; ++i)
                for (const double at : {ranges[from][i].lo, ranges[from][i].hi}) {
                    double sum = 0;
                    for (int ch = 0; ch < 3; ++ch)
                        sum += std::abs(nearestIn(ch, at) - at);
                    if (sum < spread)
                        meet = at, spread = sum;
                }
    }
    double x[3];
    for (int ch = 0; ch < 3; ++ch)
        x[ch] = keepOwn[ch] ? kept[ch] : nearestIn(ch, meet);
    // Where the meeting point finds two stretches of a curve about as near, the
    // neighbour's decides: the one its input lies on (or within a few steps of, or
    // further where the curve rises slowly and its input prints within two levels of
    // this one). So a level moved by a step does not flip between stretches far apart.
    // Where the other stretch meets the other channels, a few steps tip it: else a
    // grey ramp that once took the short stretch beside a curve's peak stays on it.
    for (int ch = 0; ch < 3; ++ch)
        if (!keepOwn[ch] && nearest[ch] &&
            (nearestDistance[ch] <= kNeighbourReach ||
             (moved[ch] <= 2 && nearestDistance[ch] <= kNeighbourFar))) {
            const double own = std::clamp(meet, nearest[ch]->lo, nearest[ch]->hi);
            const double best = std::abs(x[ch] - meet);
            if (std::abs(own - meet) <= best + std::min(kTieMargin, kNeighbourReach + 3 * best))
                x[ch] = own;
        }
    if (!inv.crossTalk && sures == 3 && counts[0] + counts[1] + counts[2] == 3 && !keepOwn[0] &&
        !keepOwn[1] && !keepOwn[2]) {
        // Each level straight from its own curve: met exactly when inside the curves.
        bool inside = true;
        for (int ch = 0; ch < 3; ++ch)
            inside =
                inside && want[ch] >= inv.curves[ch].lowest && want[ch] <= inv.curves[ch].highest;
        if (inside)
            return {roundToByte(x[kRed]), roundToByte(x[kGreen]), roundToByte(x[kBlue]), true};
    }
    double r = x[kRed], g = x[kGreen], b = x[kBlue];
    if (inv.crossTalk) {
        // The curves alone start the inputs far from where the factors put them: two
        // cheap steps, each level divided by the factors at the inputs so far and
        // looked up on its own curve, bring them near, and the sweeps below mostly
        // settle in one.
        for (int step = 0; step < kStartSteps; ++step) {
            const auto f = factors(r, g, b);
            double* inputs[3] = {&r, &g, &b};
            for (int ch = 0; ch < 3; ++ch) {
                if (!(f[ch] > 0))
                    continue;
                const Inverse::Curve& curve = inv.curves[ch];
                const Inverse::LevelRanges& lr = inv.levels[ch];
                const auto j = static_cast<std::size_t>(
                    std::clamp(want[ch] / f[ch], curve.lowest, curve.highest) - curve.lowest);
                double best = *inputs[ch], distance = 1e300;
                for (std::uint32_t i = lr.first[j]; i < lr.first[j + 1]; ++i) {
                    const double at = std::clamp(*inputs[ch], lr.ranges[i].lo, lr.ranges[i].hi);
                    if (std::abs(at - *inputs[ch]) < distance)
                        best = at, distance = std::abs(at - *inputs[ch]);
                }
                *inputs[ch] = best;
            }
        }
        // Channel by channel, each level solved exactly for its own input with the
        // other two held, until all three levels are met.
        const bool solved = newtonSolve(t, want, kMet, r, g, b);
        for (int sweep = 0; sweep < kMaxSweeps && !solved; ++sweep) {
            const double before[3] = {r, g, b};
            const auto [k0b, k1b] = ownFactor(t, kBr, kBg, lerp(t.disturbance[kBr], r),
                                              lerp(t.disturbance[kBg], g) * t.ovBg);
            b = solveOwnInput(t.gamma[kBlue], inv.blocks[kBlue], y, k0b, k1b, b);
            const auto [k0g, k1g] = ownFactor(t, kGb, kGr, lerp(t.disturbance[kGb], b) * t.ovGb,
                                              lerp(t.disturbance[kGr], r));
            g = solveOwnInput(t.gamma[kGreen], inv.blocks[kGreen], m, k0g, k1g, g);
            const auto [k0r, k1r] = ownFactor(t, kRg, kRb, lerp(t.disturbance[kRg], g) * t.ovRg,
                                              lerp(t.disturbance[kRb], b));
            r = solveOwnInput(t.gamma[kRed], inv.blocks[kRed], c, k0r, k1r, r);
            if (std::max({std::abs(r - before[0]), std::abs(g - before[1]),
                          std::abs(b - before[2])}) < kSettled)
                break;
            // Where a curve is nearly level the inputs wander long after the levels
            // are met: red was solved last, so yellow and magenta tell.
            const auto f = factors(r, g, b);
            if (std::abs(lerp(t.gamma[kBlue], b) * f[kBlue] - y) < kMet &&
                std::abs(lerp(t.gamma[kGreen], g) * f[kGreen] - m) < kMet)
                break;
        }
    }

    // Reached when the real-valued conversion of the pre-image rounds to the levels;
    // the level 0 also stands for every negative value.
    const auto f = factors(r, g, b);
    const double reached[3] = {lerp(t.gamma[kBlue], b) * f[kBlue],
                               lerp(t.gamma[kGreen], g) * f[kGreen],
                               lerp(t.gamma[kRed], r) * f[kRed]};
    bool met = true;
    for (int i = 0; i < 3; ++i) {
        const double want = levels[i];
        met = met && (want == 0 ? reached[i] <= kReachTolerance
                                : std::abs(reached[i] - want) <= kReachTolerance);
    }
    Colour colour{roundToByte(r), roundToByte(g), roundToByte(b), met};
    // Where the cross-colour terms change steeply, or a curve stays on one level for
    // a few inputs, rounding can move a level by more than one: then the neighbour of
    // the rounded colour that prints closest is taken.
    const auto miss = [&](int red, int green, int blue) {
        const Levels back = levelsOf(t, red, green, blue);
        int worst = 0;
        for (int i = 0; i < 3; ++i)
            worst = std::max(worst, std::abs(back[i] - levels[i]));
        return worst;
    };
    int worst = miss(colour.red, colour.green, colour.blue);
    if (worst > 1 && inv.crossTalk) {
        const int r0 = colour.red, g0 = colour.green, b0 = colour.blue;
        for (int dr = -1; dr <= 1; ++dr)
            for (int dg = -1; dg <= 1; ++dg)
                for (int db = -1; db <= 1; ++db) {
                    const int cr = r0 + dr, cg = g0 + dg, cb = b0 + db;
                    if (cr < 0 || cr > 255 || cg < 0 || cg > 255 || cb < 0 || cb > 255)
                        continue;
                    if (const int w = miss(cr, cg, cb); w < worst) {
                        worst = w;
                        colour.red = std::uint8_t(cr), colour.green = std::uint8_t(cg),
                        colour.blue = std::uint8_t(cb);
                    }
                }
    }
    // A colour that prints within a level of them reaches them too. A neighbour's
    // input kept for smoothness says nothing about reach: the exact proof tells.
    colour.reachable = colour.reachable || worst <= 1;
    if (!colour.reachable && neighbour)
        colour.reachable = colourOf(levels).reachable;
    return colour;
}

SheetProof proofOfSheet(const LevelProof& proof, const ExposureImage& exposure) {
    SheetProof sheet;
    // The first column down, each pixel following the one above: the rows then
    // depend only on it, so they can run on several threads and come out the same
    // however they are shared.
    std::vector<LevelProof::Colour> rowStarts(SheetProof::kHeight);
    for (int row = 0; row < SheetProof::kHeight; ++row) {
        const Levels& levels = exposure.at(row, 0);
        rowStarts[row] = row > 0 && levels == exposure.at(row - 1, 0)
                             ? rowStarts[row - 1]
                             : proof.colourOf(levels, row > 0 ? &rowStarts[row - 1] : nullptr);
    }
    const auto proofRows = [&](int firstRow, int endRow) {
        for (int row = firstRow; row < endRow; ++row) {
            LevelProof::Colour colour = rowStarts[row];
            Levels last = exposure.at(row, 0);
            std::uint8_t* rgb = sheet.rgb.data() + std::size_t(row) * SheetProof::kWidth * 3;
            std::uint8_t* outOfReach =
                sheet.outOfReach.data() + std::size_t(row) * SheetProof::kWidth;
            for (int column = 0; column < SheetProof::kWidth; ++column, rgb += 3, ++outOfReach) {
                const Levels& levels = exposure.at(row, column);
                // Each pixel follows the one before it; flat areas repeat their levels.
                if (levels != last) {
                    colour = proof.colourOf(levels, &colour);
                    last = levels;
                }
                rgb[0] = colour.red;
                rgb[1] = colour.green;
                rgb[2] = colour.blue;
                *outOfReach = colour.reachable ? 0 : 1;
            }
        }
    };
    // With cross-colour terms a sheet takes some 50 ms of one core: a thread a core.
    const int threads =
        proof.plain() ? 1 : std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
    std::vector<std::thread> workers;
    const int band = (SheetProof::kHeight + threads - 1) / threads;
    int started = 1;
    try {
        for (; started < threads; ++started)
            workers.emplace_back(proofRows, started * band,
                                 std::min(SheetProof::kHeight, (started + 1) * band));
    } catch (const std::system_error&) {
        // No thread to be had: the rows not handed out are done here.
    }
    proofRows(0, std::min(SheetProof::kHeight, band));
    proofRows(std::min(SheetProof::kHeight, started * band), SheetProof::kHeight);
    for (std::thread& worker : workers)
        worker.join();
    return sheet;
}

bool writeProofPng(const std::filesystem::path& file, const SheetProof& proof) {
    const std::string bytes =
        platform::encodeRgbPng(SheetProof::kWidth, SheetProof::kHeight, proof.rgb.data());
    return !bytes.empty() && platform::writeFileAtomic(file, bytes);
}

} // namespace kv::render
