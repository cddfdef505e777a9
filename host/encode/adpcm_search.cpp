#include "host/encode/adpcm_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fogbell::encode {
namespace {

constexpr int kShift = 14;
constexpr double kUnit = 1 << kShift;
constexpr std::int32_t kMinNibble = -8;
constexpr std::int32_t kMaxNibble = 7;
constexpr std::int64_t kNoBound = std::numeric_limits<std::int64_t>::max();

// Scales tried per frame, as factors of the scale that just covers the largest residual of the
// frame predicted from the source itself. Quantising with a smaller scale and letting the
// biggest steps saturate often wins; a larger one helps where the closed loop drifts from the
// source. Ordered so that the likeliest winners come first (which makes the bound bite early).
constexpr std::array<double, kMaxScales> kScaleFactors{
    1.00, 0.90, 1.10, 0.80, 0.72, 1.22, 0.64, 0.57, 1.36, 0.50, 0.44, 1.55,
    0.95, 0.85, 1.05, 0.76, 0.68, 1.16, 0.60, 0.53, 1.29, 0.47, 0.40, 1.75};

// The prediction c1 * h1 - c2 * h2 (exact; h1 may exceed 16 bits when the decoder wraps).
inline std::int64_t Prediction(const DecoderState& s, Predictor p) {
    return std::int64_t{p.first} * s.latest - std::int64_t{p.second} * s.previous;
}

// The decoder's arithmetic for one nibble: returns the output and sets next to the value that
// becomes the latest history. The sum wraps at 32 bits exactly as the decoder's does.
template <Rule kRule>
inline std::int32_t Step(std::int32_t nibble, std::uint32_t scale, std::int64_t prediction,
                         std::int32_t& next) {
    const std::uint32_t sum = static_cast<std::uint32_t>(nibble) * scale * (1u << kShift) +
                              static_cast<std::uint32_t>(static_cast<std::uint64_t>(prediction));
    const std::int32_t v = static_cast<std::int32_t>(sum) >> kShift;
    if constexpr (kRule == Rule::kClamp) {
        next = std::clamp<std::int32_t>(v, -32768, 32767);
        return next;
    } else {
        next = v;
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
    }
}

inline std::int64_t Squared(std::int32_t difference) {
    return std::int64_t{difference} * difference;
}

// What the decoder makes of a value v: the output sample, and in next the latest history.
template <Rule kRule>
inline std::int32_t Emit(std::int32_t v, std::int32_t& next) {
    if constexpr (kRule == Rule::kClamp) {
        next = std::clamp<std::int32_t>(v, -32768, 32767);
        return next;
    } else {
        next = v;
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
    }
}

// The two nibbles that bracket the ideal value at one step, with what the decoder outputs for
// each. While the 32-bit sum cannot wrap, (n * S * 16384 + P) >> 14 is exactly n * S + (P >> 14),
// which the fast path uses; near the edge of the 32-bit range it falls back to the decoder's own
// wrapping arithmetic.
struct Bracket {
    std::int32_t nibble[2];
    std::int32_t out[2];
    std::int32_t next[2];
    int count;  // 1 when both nibbles would be equal
};

// One scale, prepared for the steps of a frame.
struct Quantiser {
    std::uint32_t scale;
    float inverse;       // 1 / scale, or 0
    std::int64_t limit;  // |P| below this cannot make the sum wrap for any nibble

    explicit Quantiser(std::uint32_t s)
        : scale(s),
          inverse(s == 0 ? 0.0f : 1.0f / static_cast<float>(s)),
          limit((std::int64_t{1} << 31) - std::int64_t{8} * s * (1 << kShift)) {}

    template <Rule kRule>
    inline void Step(std::int32_t target, std::int64_t prediction, Bracket& b) const {
        const bool fast = prediction < limit && prediction > -limit;
        const auto base = static_cast<std::int32_t>(prediction >> kShift);  // floor
        const float ideal = std::clamp(static_cast<float>(target - base) * inverse, -9.0f, 8.0f);
        constexpr float kOffset = 16.0f;  // makes truncation round down
        const std::int32_t floor = static_cast<std::int32_t>(ideal + kOffset) - 16;
        b.nibble[0] = std::clamp(floor, kMinNibble, kMaxNibble);
        b.nibble[1] = std::clamp(floor + 1, kMinNibble, kMaxNibble);
        if constexpr (kRule == Rule::kWrap) {
            if (fast) {
                KeepInRange(base, b.nibble);
            }
        }
        b.count = b.nibble[0] == b.nibble[1] ? 1 : 2;
        if (fast) {
            for (int k = 0; k < b.count; ++k) {
                const std::int32_t v = b.nibble[k] * static_cast<std::int32_t>(scale) + base;
                b.out[k] = Emit<kRule>(v, b.next[k]);
            }
        } else {
            for (int k = 0; k < b.count; ++k) {
                b.out[k] = Emit<kRule>(Exact(b.nibble[k], prediction), b.next[k]);
            }
        }
    }

    // A decoder that does not clamp turns a value past the 16-bit range into one of the
    // opposite sign. Nibbles that would go past it move back to the last one inside (the
    // encoder's own clamp), where one exists; the bracket may then hold one nibble twice.
    inline void KeepInRange(std::int32_t base, std::int32_t* nibbles) const {
        if (scale == 0) {
            return;
        }
        const auto step = static_cast<std::int32_t>(scale);
        for (int k = 0; k < 2; ++k) {
            const std::int32_t v = nibbles[k] * step + base;
            if (v > 32767) {
                nibbles[k] = std::max(kMinNibble, FloorDivide(32767 - base, step));
            } else if (v < -32768) {
                nibbles[k] = std::min(kMaxNibble, -FloorDivide(base + 32768, step));
            }
        }
        if (nibbles[0] > nibbles[1]) {
            std::swap(nibbles[0], nibbles[1]);
        }
    }

    static std::int32_t FloorDivide(std::int32_t a, std::int32_t b) {
        const std::int32_t q = a / b;
        return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
    }

    // The decoder's sum, wrapping at 32 bits, shifted with sign.
    inline std::int32_t Exact(std::int32_t nibble, std::int64_t prediction) const {
        const std::uint32_t sum =
            static_cast<std::uint32_t>(nibble) * scale * (1u << kShift) +
            static_cast<std::uint32_t>(static_cast<std::uint64_t>(prediction));
        return static_cast<std::int32_t>(sum) >> kShift;
    }
};

// Greedy quantisation of one frame with one scale: at every step the nibble nearest to the
// ideal value, or, near the edges of the 16-bit range where the decoder clamps or wraps, the
// better of the two that bracket it. Returns the squared error, or kNoBound as soon as it
// reaches bound.
template <Rule kRule>
std::int64_t Greedy(const std::int32_t* target, std::size_t count, std::size_t weighted,
                    DecoderState state, Predictor predictor, std::uint32_t scale,
                    std::int64_t bound, FrameChoice* choice) {
    const Quantiser q(scale);
    const auto step = static_cast<std::int32_t>(scale);
    std::int64_t error = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t prediction = Prediction(state, predictor);
        std::int32_t nibble = 0;
        std::int32_t next = 0;
        std::int32_t out = 0;
        const auto base = static_cast<std::int32_t>(prediction >> kShift);
        const float ideal =
            std::clamp(static_cast<float>(target[i] - base) * q.inverse, -8.0f, 7.0f);
        nibble = static_cast<std::int32_t>(ideal + 16.5f) - 16;  // the nearest
        const std::int32_t v = nibble * step + base;
        if (prediction < q.limit && prediction > -q.limit && v + step <= 32767 &&
            v - step >= -32768) {
            out = v;  // inside the range: the nearest nibble is the best
            next = v;
        } else {
            Bracket b;
            q.Step<kRule>(target[i], prediction, b);
            int pick = 0;
            if (b.count == 2 && Squared(target[i] - b.out[1]) < Squared(target[i] - b.out[0])) {
                pick = 1;
            }
            nibble = b.nibble[pick];
            out = b.out[pick];
            next = b.next[pick];
        }
        if (i < weighted) {
            error += Squared(target[i] - out);
            if (error >= bound) {
                return kNoBound;
            }
        }
        state.previous = state.latest;
        state.latest = next;
        if (choice != nullptr) {
            choice->nibbles[i] = static_cast<std::int8_t>(nibble);
        }
    }
    if (choice != nullptr) {
        choice->scale = scale;
        choice->end = state;
        choice->squaredError = error;
    }
    return error;
}

// One decoder state of the beam: the history it leads to and the error of the path so far.
struct Node {
    DecoderState state;
    std::int64_t cost = 0;
    std::uint8_t parent = 0;
    std::int8_t nibble = 0;
};

// Puts candidate among the width cheapest of kept (sorted by cost, size n). A candidate that
// reaches the same decoder state as a kept node replaces it only when cheaper: both would
// decode the rest of the frame alike.
inline void Keep(const Node& candidate, Node* kept, int& n, int width) {
    if (n == width && candidate.cost >= kept[n - 1].cost) {
        return;  // the common case: dearer than every kept path
    }
    int at = n;
    for (int k = 0; k < n; ++k) {
        if (kept[k].state.latest == candidate.state.latest &&
            kept[k].state.previous == candidate.state.previous) {
            if (candidate.cost >= kept[k].cost) {
                return;
            }
            at = k;  // replaces its twin
            break;
        }
    }
    if (at == n) {
        at = n < width ? n++ : n - 1;
    }
    for (; at > 0 && kept[at - 1].cost > candidate.cost; --at) {
        kept[at] = kept[at - 1];
    }
    kept[at] = candidate;
}

// Beam search over nibble paths with one scale. Fills choice and returns its error when it
// beats bound, else kNoBound.
template <Rule kRule>
std::int64_t Beam(const std::int32_t* target, std::size_t count, std::size_t weighted,
                  DecoderState start, Predictor predictor, std::uint32_t scale, int width,
                  std::int64_t bound, FrameChoice& choice) {
    const Quantiser q(scale);
    std::array<std::array<std::uint8_t, kMaxBeamWidth>, kMaxFrameSamples> parents{};
    std::array<std::array<std::int8_t, kMaxBeamWidth>, kMaxFrameSamples> nibbles{};
    Node current[kMaxBeamWidth];
    Node next[kMaxBeamWidth];
    int currentCount = 1;
    current[0] = Node{start, 0, 0, 0};
    for (std::size_t i = 0; i < count; ++i) {
        int nextCount = 0;
        for (int k = 0; k < currentCount; ++k) {
            const Node& node = current[k];
            Bracket b;
            q.Step<kRule>(target[i], Prediction(node.state, predictor), b);
            if (node.cost + (i < weighted ? Squared(target[i] - b.out[0]) : 0) >= bound &&
                (b.count == 1 ||
                 node.cost + (i < weighted ? Squared(target[i] - b.out[1]) : 0) >= bound)) {
                continue;  // no path through this node can beat the bound
            }
            for (int c = 0; c < b.count; ++c) {
                const Node child{{b.next[c], node.state.latest},
                                 node.cost + (i < weighted ? Squared(target[i] - b.out[c]) : 0),
                                 static_cast<std::uint8_t>(k),
                                 static_cast<std::int8_t>(b.nibble[c])};
                Keep(child, next, nextCount, width);
            }
        }
        if (nextCount == 0 || next[0].cost >= bound) {
            return kNoBound;
        }
        for (int k = 0; k < nextCount; ++k) {
            parents[i][static_cast<std::size_t>(k)] = next[k].parent;
            nibbles[i][static_cast<std::size_t>(k)] = next[k].nibble;
            current[k] = next[k];
        }
        currentCount = nextCount;
    }
    choice.scale = scale;
    choice.end = current[0].state;
    choice.squaredError = current[0].cost;
    std::size_t k = 0;
    for (std::size_t i = count; i-- > 0;) {
        choice.nibbles[i] = nibbles[i][k];
        k = parents[i][k];
    }
    return choice.squaredError;
}

// The squared error of quantising the open-loop residuals with a scale: a cheap estimate of what
// the closed loop will give, used to rank the scales before the exact passes.
float EstimateError(const float* residuals, std::size_t count, std::uint32_t scale) {
    const float step = static_cast<float>(scale);
    const float inverse = scale == 0 ? 0.0f : 1.0f / step;
    float error = 0.0f;
    for (std::size_t i = 0; i < count; ++i) {
        const float ideal = std::clamp(residuals[i] * inverse + 16.5f, 8.0f, 23.0f);
        const float nibble = static_cast<float>(static_cast<std::int32_t>(ideal) - 16);
        const float d = residuals[i] - nibble * step;
        error += d * d;
    }
    return error;
}

// The residuals of the frame predicted from the target itself (starting from the decoder's real
// state), and the scale that just covers them: the largest positive residual over 7, the
// largest negative one over 8.
double OpenLoopResiduals(const std::int32_t* target, std::size_t count, DecoderState state,
                         Predictor predictor, float* residuals) {
    double scale = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double residual =
            target[i] - static_cast<double>(Prediction(state, predictor)) / kUnit;
        residuals[i] = static_cast<float>(residual);
        scale = std::max(scale, residual >= 0 ? residual / kMaxNibble : residual / kMinNibble);
        state.previous = state.latest;
        state.latest = target[i];
    }
    return scale;
}

// Inserts (error, scale) into the sorted lists of the best n so far.
template <typename Error, std::size_t kSize>
void Rank(Error error, std::uint32_t scale, std::array<Error, kSize>& errors,
          std::array<std::uint32_t, kSize>& scales, std::size_t n) {
    if (n == 0 || error >= errors[n - 1]) {
        return;
    }
    std::size_t at = n - 1;
    for (; at > 0 && errors[at - 1] > error; --at) {
        errors[at] = errors[at - 1];
        scales[at] = scales[at - 1];
    }
    errors[at] = error;
    scales[at] = scale;
}

// Lanes of the greedy pass: kLanes scales quantised side by side, one lane each, so that the
// compiler can run them in vector registers. Exact only while no sum can wrap (every scale at
// most kLaneSafeScale, histories within 16 bits), and it takes the nearest nibble without
// weighing its neighbour at the edges of the range: the lanes rank the scales, and the winners
// are quantised again exactly afterwards. errors[j] receives lane j's squared error.
constexpr std::size_t kLanes = 16;
// 8 * 4095 * 16384 plus the largest prediction (below 2^31 - 2^29) stays below 2^31.
constexpr std::uint32_t kLaneSafeScale = 4095;
// Coefficients of a second-order high-pass stay below these (2 and 1 in 14-bit fixed point), so
// that the lanes' 32-bit predictions cannot overflow.
constexpr std::int32_t kLaneMaxFirst = 1 << 15;
constexpr std::int32_t kLaneMaxSecond = 1 << 14;

// XMD keeps unclamped values as history; the lanes bound them here so that their 32-bit
// predictions cannot overflow (only paths far outside the 16-bit range reach the bound, and the
// exact passes judge those).
constexpr std::int32_t kLaneHistoryBound = 40000;

template <Rule kRule>
[[gnu::always_inline]] inline void LanesBody(const std::int32_t* target, std::size_t count,
                                             std::size_t weighted, DecoderState start,
                                             Predictor predictor, const std::uint32_t* scales,
                                             float* errors) {
    alignas(32) std::int32_t h1[kLanes];
    alignas(32) std::int32_t h2[kLanes];
    alignas(32) std::int32_t step[kLanes];
    alignas(32) float inverse[kLanes];
    alignas(32) float error[kLanes];
    const std::int32_t startLatest =
        std::clamp(start.latest, -kLaneHistoryBound, kLaneHistoryBound);
    const std::int32_t startPrevious =
        std::clamp(start.previous, -kLaneHistoryBound, kLaneHistoryBound);
    for (std::size_t j = 0; j < kLanes; ++j) {
        h1[j] = startLatest;
        h2[j] = startPrevious;
        step[j] = static_cast<std::int32_t>(scales[j]);
        inverse[j] = scales[j] == 0 ? 0.0f : 1.0f / static_cast<float>(scales[j]);
        error[j] = 0.0f;
    }
    const std::int32_t c1 = predictor.first;
    const std::int32_t c2 = predictor.second;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t x = target[i];
        const float weight = i < weighted ? 1.0f : 0.0f;
        for (std::size_t j = 0; j < kLanes; ++j) {
            // Branch-free, so that the lanes vectorise: rounding by truncation after an offset
            // is exact from -16.5 up, and anything below clamps to -8 anyway.
            const std::int32_t base = (c1 * h1[j] - c2 * h2[j]) >> kShift;
            const float ideal = static_cast<float>(x - base) * inverse[j];
            std::int32_t nibble = std::min(
                std::max(static_cast<std::int32_t>(ideal + 16.5f) - 16, kMinNibble), kMaxNibble);
            if constexpr (kRule == Rule::kWrap) {
                // Stay inside the 16-bit range where a nibble can (see KeepInRange). With the
                // histories bounded, |base| stays below 2^17, so the offset keeps truncation a
                // floor and every value converts exactly enough for ranking.
                constexpr float kFloorOffset = 262144.0f;
                constexpr std::int32_t kOffset = 262144;
                const std::int32_t highest =
                    static_cast<std::int32_t>(static_cast<float>(32767 - base) * inverse[j] +
                                              kFloorOffset) -
                    kOffset;
                const std::int32_t lowest =
                    kOffset - static_cast<std::int32_t>(
                                  static_cast<float>(base + 32768) * inverse[j] + kFloorOffset);
                nibble = std::min(std::max(std::min(std::max(nibble, lowest), highest), kMinNibble),
                                  kMaxNibble);
            }
            const std::int32_t v = nibble * step[j] + base;
            std::int32_t out = 0;
            if constexpr (kRule == Rule::kClamp) {
                out = std::min(std::max(v, -32768), 32767);
                h2[j] = h1[j];
                h1[j] = out;
            } else {
                out = static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xFFFF));
                h2[j] = h1[j];
                h1[j] = std::min(std::max(v, -kLaneHistoryBound), kLaneHistoryBound);
            }
            const auto d = static_cast<float>(x - out);
            error[j] += weight * d * d;
        }
    }
    for (std::size_t j = 0; j < kLanes; ++j) {
        errors[j] = error[j];
    }
}

// The AVX2 clone is chosen by an ifunc resolver while the program is being relocated, before
// ThreadSanitizer's run time is up; an instrumented resolver crashes there, so TSan builds keep
// the one default version.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define FOGBELL_LANES_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define FOGBELL_LANES_CLONES
#endif

FOGBELL_LANES_CLONES void GreedyLanesClamp(const std::int32_t* target, std::size_t count,
                                           std::size_t weighted, DecoderState start,
                                           Predictor predictor, const std::uint32_t* scales,
                                           float* errors) {
    LanesBody<Rule::kClamp>(target, count, weighted, start, predictor, scales, errors);
}

FOGBELL_LANES_CLONES void GreedyLanesWrap(const std::int32_t* target, std::size_t count,
                                          std::size_t weighted, DecoderState start,
                                          Predictor predictor, const std::uint32_t* scales,
                                          float* errors) {
    LanesBody<Rule::kWrap>(target, count, weighted, start, predictor, scales, errors);
}

template <Rule kRule>
void GreedyLanes(const std::int32_t* target, std::size_t count, std::size_t weighted,
                 DecoderState start, Predictor predictor, const std::uint32_t* scales,
                 float* errors) {
    if constexpr (kRule == Rule::kClamp) {
        GreedyLanesClamp(target, count, weighted, start, predictor, scales, errors);
    } else {
        GreedyLanesWrap(target, count, weighted, start, predictor, scales, errors);
    }
}

template <Rule kRule>
FrameChoice Search(const std::int32_t* target, std::size_t count, std::size_t weighted,
                   DecoderState start, Predictor predictor, std::uint32_t maxScale,
                   const SearchSettings& settings, std::int64_t beamFloor) {
    // 1. Candidate scales around the covering one, ranked by the open-loop estimate.
    const std::size_t scored = std::max<std::size_t>(weighted, 1);
    std::array<float, kMaxFrameSamples> residuals{};
    const double covering = OpenLoopResiduals(target, scored, start, predictor, residuals.data());
    const auto scaleCount =
        static_cast<std::size_t>(std::clamp(settings.scaleCount, 1, kMaxScales));
    std::array<std::uint32_t, kMaxScales> tried{};
    std::size_t distinct = 0;
    std::uint32_t largest = 0;
    for (std::size_t s = 0; s < scaleCount; ++s) {
        const double wanted = std::ceil(covering * kScaleFactors[s]);
        const auto scale =
            static_cast<std::uint32_t>(std::clamp(wanted, 0.0, static_cast<double>(maxScale)));
        if (std::find(tried.begin(), tried.begin() + distinct, scale) == tried.begin() + distinct) {
            tried[distinct++] = scale;
            largest = std::max(largest, scale);
        }
    }

    // 2. The closed loop, greedily: ranks the scales (the best few go on).
    constexpr std::size_t kMaxRefined = 4;
    const auto refined =
        static_cast<std::size_t>(std::clamp(settings.beamScales, 1, static_cast<int>(kMaxRefined)));
    std::array<std::int64_t, kMaxRefined> bestErrors{};
    std::array<std::uint32_t, kMaxRefined> bestScales{};
    bestErrors.fill(kNoBound);
    if (largest <= kLaneSafeScale && distinct <= kLanes && predictor.first <= kLaneMaxFirst &&
        predictor.second <= kLaneMaxSecond) {
        std::array<std::uint32_t, kLanes> laneScales{};
        std::array<float, kLanes> laneErrors{};
        laneScales.fill(tried[0]);
        std::copy(tried.begin(), tried.begin() + distinct, laneScales.begin());
        GreedyLanes<kRule>(target, count, weighted, start, predictor, laneScales.data(),
                           laneErrors.data());
        for (std::size_t s = 0; s < distinct; ++s) {
            Rank(static_cast<std::int64_t>(laneErrors[s]), tried[s], bestErrors, bestScales,
                 refined);
        }
        if (settings.fineScales) {
            // A second, finer round around the winner: the neighbouring scales just above and
            // below it, which the coarse grid steps over.
            const std::uint32_t centre = bestScales[0];
            const std::uint32_t spacing = std::max<std::uint32_t>(1, centre / 64);
            std::size_t fine = 0;
            for (std::int32_t k = -8; k <= 8 && fine < kLanes; ++k) {
                const std::int64_t scale = std::int64_t{centre} + k * std::int64_t{spacing};
                if (k != 0 && scale >= 0 && scale <= kLaneSafeScale &&
                    std::find(tried.begin(), tried.begin() + distinct,
                              static_cast<std::uint32_t>(scale)) == tried.begin() + distinct) {
                    laneScales[fine++] = static_cast<std::uint32_t>(scale);
                }
            }
            std::fill(laneScales.begin() + static_cast<std::ptrdiff_t>(fine), laneScales.end(),
                      centre);
            GreedyLanes<kRule>(target, count, weighted, start, predictor, laneScales.data(),
                               laneErrors.data());
            for (std::size_t s = 0; s < fine; ++s) {
                Rank(static_cast<std::int64_t>(laneErrors[s]), laneScales[s], bestErrors,
                     bestScales, refined);
            }
        }
    } else {
        // Ranked first by the open-loop estimate, then the best-ranked in the closed loop.
        const auto exactCount = static_cast<std::size_t>(
            std::clamp(settings.exactScales, 1, static_cast<int>(distinct)));
        std::array<float, kMaxScales> ranked{};
        std::array<std::uint32_t, kMaxScales> rankedScales{};
        ranked.fill(std::numeric_limits<float>::max());
        for (std::size_t s = 0; s < distinct; ++s) {
            Rank(EstimateError(residuals.data(), scored, tried[s]), tried[s], ranked, rankedScales,
                 exactCount);
        }
        for (std::size_t s = 0; s < exactCount; ++s) {
            const std::uint32_t scale = rankedScales[s];
            const std::int64_t e = Greedy<kRule>(target, count, weighted, start, predictor, scale,
                                                 bestErrors[refined - 1], nullptr);
            Rank(e, scale, bestErrors, bestScales, refined);
        }
    }
    FrameChoice choice;
    Greedy<kRule>(target, count, weighted, start, predictor, bestScales[0], kNoBound, &choice);

    // 3. The beam search over nibble paths on the best few.
    const int width = std::clamp(settings.beamWidth, 1, kMaxBeamWidth);
    if (width > 1 && choice.squaredError > beamFloor) {
        for (std::size_t s = 0; s < refined && bestErrors[s] != kNoBound; ++s) {
            FrameChoice candidate;
            if (Beam<kRule>(target, count, weighted, start, predictor, bestScales[s], width,
                            choice.squaredError, candidate) < choice.squaredError) {
                choice = candidate;
            }
        }
    }
    return choice;
}

}  // namespace

FrameChoice SearchFrame(const std::int32_t* target, std::size_t count, std::size_t weighted,
                        DecoderState start, Predictor predictor, Rule rule, std::uint32_t maxScale,
                        const SearchSettings& settings, std::int64_t beamFloor) {
    count = std::clamp<std::size_t>(count, 1, kMaxFrameSamples);
    weighted = std::min(weighted, count);
    return rule == Rule::kClamp ? Search<Rule::kClamp>(target, count, weighted, start, predictor,
                                                       maxScale, settings, beamFloor)
                                : Search<Rule::kWrap>(target, count, weighted, start, predictor,
                                                      maxScale, settings, beamFloor);
}

std::int32_t DecodeStep(std::int32_t nibble, std::uint32_t scale, DecoderState& state,
                        Predictor predictor, Rule rule) {
    const std::int64_t prediction = Prediction(state, predictor);
    std::int32_t next = 0;
    const std::int32_t out = rule == Rule::kClamp
                                 ? Step<Rule::kClamp>(nibble, scale, prediction, next)
                                 : Step<Rule::kWrap>(nibble, scale, prediction, next);
    state.previous = state.latest;
    state.latest = next;
    return out;
}

}  // namespace fogbell::encode
