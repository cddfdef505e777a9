#include "adx_frame.h"

#include <cmath>
#include <initializer_list>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#define FOGBELL_ADX_VECTOR 1
#endif

// The kernels below are small steps of one loop; inlined, the channel state stays in registers
// from step to step and group to group.
#define FOGBELL_ALWAYS_INLINE [[gnu::always_inline]] inline

namespace fogbell::adx {
namespace {

constexpr std::size_t kDataOffset = 2;
constexpr std::size_t kDataBytes = 16;

// One step of the predictor: the wrapped 32-bit sum, shifted with sign, clamped to 16 bits.
inline std::int32_t PredictSample(std::int32_t nibble, std::uint32_t scale, const History& h,
                                  const Coefficients& c) {
    const std::uint32_t sum =
        static_cast<std::uint32_t>(nibble) * scale * (1u << kCoefficientBits) +
        static_cast<std::uint32_t>(c.first) * static_cast<std::uint32_t>(h.latest) -
        static_cast<std::uint32_t>(c.second) * static_cast<std::uint32_t>(h.previous);
    const std::int32_t v = static_cast<std::int32_t>(sum) >> kCoefficientBits;
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

// A four-bit two's-complement value (0..15 as stored) as -8..7.
inline std::int32_t SignedNibble(std::uint32_t nibble) {
    return static_cast<std::int32_t>(nibble ^ 8u) - 8;
}

// The formula as written, for every frame, coefficient pair and history: the reference the
// vector kernels must equal, and the path for what they do not serve.
void DecodeFrameScalar(const std::uint8_t* frame, History& history,
                       const Coefficients& coefficients, std::int16_t* out, std::size_t stride) {
    const std::uint32_t scale = (std::uint32_t{frame[0]} << 8) | frame[1];
    const std::uint8_t* data = frame + kDataOffset;
    for (std::size_t i = 0; i < kDataBytes; ++i) {
        const std::uint32_t byte = data[i];
        for (const std::uint32_t nibble : {byte >> 4, byte & 0x0Fu}) {
            const std::int32_t v =
                PredictSample(SignedNibble(nibble), scale, history, coefficients);
            *out = static_cast<std::int16_t>(v);
            out += stride;
            history.previous = history.latest;
            history.latest = v;
        }
    }
}

#if FOGBELL_ADX_VECTOR

constexpr std::uint8_t kEndBit = 0x80;  // the top bit of the scale's first byte

inline bool FitsWord(std::int32_t v) {
    return v >= -32768 && v <= 32767;
}

// The vector kernels multiply 16-bit operands: the coefficients (the second one negated) and
// both history values of every channel must fit 16 bits. Decoded samples always do, and so does
// every pair CoefficientsFor gives except for a cutoff far below the rate.
bool VectorServes(const Coefficients& c, const History* history, std::size_t channels) {
    const std::int64_t negatedSecond = -std::int64_t{c.second};
    if (!FitsWord(c.first) || negatedSecond < -32768 || negatedSecond > 32767) {
        return false;
    }
    for (std::size_t ch = 0; ch < channels; ++ch) {
        if (!FitsWord(history[ch].latest) || !FitsWord(history[ch].previous)) {
            return false;
        }
    }
    return true;
}

// The vector form of the predictor. A channel's state is two registers whose 16-bit words hold
// its previous and latest sample (word 0 the left or only channel, word 1 the right one). One
// step interleaves them as [previous, latest] word pairs, so that a single multiply-add against
// [-second, first] forms first * s1 - second * s2 exactly in each 32-bit lane; adding the
// nibble's term n * S * 16384 wraps in 32 bits as the formula does, the arithmetic shift rounds
// toward minus infinity, and the saturating pack to 16 bits is the clamp.
struct VectorState {
    __m128i previous;
    __m128i latest;
};

FOGBELL_ALWAYS_INLINE __m128i CoefficientWords(const Coefficients& c) {
    const auto first = static_cast<std::int16_t>(c.first);
    const auto second = static_cast<std::int16_t>(-c.second);
    return _mm_setr_epi16(second, first, second, first, second, first, second, first);
}

// One step: term holds n * S * 16384 for each channel in its 32-bit lane (0 left, 1 right).
// Returns the h = [previous, latest] pair used, before the step moves on.
FOGBELL_ALWAYS_INLINE __m128i Step(VectorState& s, __m128i coefficients, __m128i term) {
    const __m128i pair = _mm_unpacklo_epi16(s.previous, s.latest);
    __m128i v = _mm_add_epi32(_mm_madd_epi16(pair, coefficients), term);
    v = _mm_srai_epi32(v, kCoefficientBits);
    s.previous = s.latest;
    s.latest = _mm_packs_epi32(v, v);
    return pair;
}

// Four of eight nibble words (n * 4096 each; the low four or the high four), each moved to the
// top half of a 32-bit lane, times the word pair [0, S]: n * 4096 * S, which fits 32 bits for S
// below 0x8000. Shifted left by 2 it is the term n * S * 16384, wrapped as the formula wraps.
FOGBELL_ALWAYS_INLINE __m128i Terms(__m128i nibbleWords, __m128i scaleWords, bool high) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lanes =
        high ? _mm_unpackhi_epi16(zero, nibbleWords) : _mm_unpacklo_epi16(zero, nibbleWords);
    return _mm_slli_epi32(_mm_madd_epi16(lanes, scaleWords), 2);
}

// The 16 data bytes split into nibbles: the high nibbles in place and the low nibbles moved up,
// each in the top four bits of its byte.
FOGBELL_ALWAYS_INLINE void SplitNibbles(__m128i bytes, __m128i& high, __m128i& low) {
    const __m128i top = _mm_set1_epi8(static_cast<char>(0xF0));
    high = _mm_and_si128(bytes, top);
    low = _mm_and_si128(_mm_slli_epi16(bytes, 4), top);
}

FOGBELL_ALWAYS_INLINE __m128i LoadData(const std::uint8_t* frame) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + kDataOffset));
}

FOGBELL_ALWAYS_INLINE std::uint32_t ScaleOf(const std::uint8_t* frame) {
    return (std::uint32_t{frame[0]} << 8) | frame[1];
}

// Four steps of a mono frame from the terms of samples k..k+3. The pair formed at an even step
// k holds samples k-2 and k-1, which are stored there (store is false for the frame's first
// group of four, whose first pair is the history).
template <bool kStore>
FOGBELL_ALWAYS_INLINE void MonoFour(VectorState& s, __m128i c, __m128i terms, std::int16_t* out) {
    __m128i pair = Step(s, c, terms);
    if constexpr (kStore) {
        _mm_storeu_si32(out - 2, pair);
    }
    Step(s, c, _mm_shuffle_epi32(terms, 0x55));
    pair = Step(s, c, _mm_shuffle_epi32(terms, 0xAA));
    _mm_storeu_si32(out, pair);
    Step(s, c, _mm_shuffle_epi32(terms, 0xFF));
}

// One mono frame (scale below 0x8000) into out[0..31].
FOGBELL_ALWAYS_INLINE void MonoFrame(const std::uint8_t* frame, VectorState& s, __m128i c,
                                     std::int16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const auto scale = static_cast<std::int16_t>(ScaleOf(frame));
    const __m128i scaleWords = _mm_setr_epi16(0, scale, 0, scale, 0, scale, 0, scale);
    __m128i high;
    __m128i low;
    SplitNibbles(LoadData(frame), high, low);
    // Samples in order, each nibble in the top four bits of a 16-bit word.
    const __m128i first16 = _mm_unpacklo_epi8(high, low);
    const __m128i last16 = _mm_unpackhi_epi8(high, low);
    const __m128i words[4] = {_mm_unpacklo_epi8(zero, first16), _mm_unpackhi_epi8(zero, first16),
                              _mm_unpacklo_epi8(zero, last16), _mm_unpackhi_epi8(zero, last16)};
    MonoFour<false>(s, c, Terms(words[0], scaleWords, false), out);
    MonoFour<true>(s, c, Terms(words[0], scaleWords, true), out + 4);
#pragma GCC unroll 3
    for (std::size_t w = 1; w < 4; ++w) {
        MonoFour<true>(s, c, Terms(words[w], scaleWords, false), out + 8 * w);
        MonoFour<true>(s, c, Terms(words[w], scaleWords, true), out + 8 * w + 4);
    }
    _mm_storeu_si32(out + 30, _mm_unpacklo_epi16(s.previous, s.latest));
}

// Two steps of a stereo group from terms [left k, right k, left k+1, right k+1]; each step's
// packed result is the interleaved pair it writes.
FOGBELL_ALWAYS_INLINE void StereoTwo(VectorState& s, __m128i c, __m128i terms, std::int16_t* out) {
    Step(s, c, terms);
    _mm_storeu_si32(out, s.latest);
    Step(s, c, _mm_unpackhi_epi64(terms, terms));
    _mm_storeu_si32(out + 2, s.latest);
}

// Eight byte pairs [left j, right j] of a stereo group: the nibbles of four data bytes per
// channel (16 steps) as terms, two steps at a time.
FOGBELL_ALWAYS_INLINE void StereoEight(VectorState& s, __m128i c, __m128i bytePairs,
                                       __m128i scaleWords, std::int16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    __m128i high;
    __m128i low;
    SplitNibbles(bytePairs, high, low);
    // Bytes [high left j, high right j, low left j, low right j] for j = 0..3, then 4..7.
    const __m128i quads[2] = {_mm_unpacklo_epi16(high, low), _mm_unpackhi_epi16(high, low)};
#pragma GCC unroll 2
    for (std::size_t q = 0; q < 2; ++q) {
        const __m128i first = _mm_unpacklo_epi8(zero, quads[q]);
        const __m128i second = _mm_unpackhi_epi8(zero, quads[q]);
        std::int16_t* at = out + 16 * q;
        StereoTwo(s, c, Terms(first, scaleWords, false), at);
        StereoTwo(s, c, Terms(first, scaleWords, true), at + 4);
        StereoTwo(s, c, Terms(second, scaleWords, false), at + 8);
        StereoTwo(s, c, Terms(second, scaleWords, true), at + 12);
    }
}

// One stereo group (both scales below 0x8000) into out[0..63], interleaved.
FOGBELL_ALWAYS_INLINE void StereoGroup(const std::uint8_t* left, const std::uint8_t* right,
                                       VectorState& s, __m128i c, std::int16_t* out) {
    const auto scaleLeft = static_cast<std::int16_t>(ScaleOf(left));
    const auto scaleRight = static_cast<std::int16_t>(ScaleOf(right));
    const __m128i scaleWords =
        _mm_setr_epi16(0, scaleLeft, 0, scaleRight, 0, scaleLeft, 0, scaleRight);
    const __m128i l = LoadData(left);
    const __m128i r = LoadData(right);
    StereoEight(s, c, _mm_unpacklo_epi8(l, r), scaleWords, out);
    StereoEight(s, c, _mm_unpackhi_epi8(l, r), scaleWords, out + 32);
}

VectorState LoadState(const History* history, std::size_t channels) {
    const History right = channels == 2 ? history[1] : History{};
    return {_mm_setr_epi16(static_cast<std::int16_t>(history[0].previous),
                           static_cast<std::int16_t>(right.previous), 0, 0, 0, 0, 0, 0),
            _mm_setr_epi16(static_cast<std::int16_t>(history[0].latest),
                           static_cast<std::int16_t>(right.latest), 0, 0, 0, 0, 0, 0)};
}

void StoreState(const VectorState& s, History* history, std::size_t channels) {
    for (std::size_t ch = 0; ch < channels; ++ch) {
        const int lane = static_cast<int>(ch);
        history[ch].previous = static_cast<std::int16_t>(
            _mm_extract_epi16(lane == 0 ? s.previous : _mm_srli_si128(s.previous, 2), 0));
        history[ch].latest = static_cast<std::int16_t>(
            _mm_extract_epi16(lane == 0 ? s.latest : _mm_srli_si128(s.latest, 2), 0));
    }
}

#endif  // FOGBELL_ADX_VECTOR

}  // namespace

Coefficients CoefficientsFor(std::uint32_t sampleRate, std::uint16_t cutoff) {
    if ((sampleRate == kStandardRate && cutoff == kStandardCutoff) || cutoff == 0 ||
        sampleRate == 0 || std::uint64_t{cutoff} * 2 > sampleRate) {
        return kStandardCoefficients;
    }
    const double a = std::numbers::sqrt2 - std::cos(2.0 * std::numbers::pi * cutoff / sampleRate);
    const double b = std::numbers::sqrt2 - 1.0;
    const double c = (a - std::sqrt((a + b) * (a - b))) / b;
    const double unit = 1 << kCoefficientBits;
    return {static_cast<std::int32_t>(std::lround(2.0 * c * unit)),
            static_cast<std::int32_t>(std::lround(c * c * unit))};
}

void DecodeFrame(const std::uint8_t* frame, History& history, const Coefficients& coefficients,
                 std::int16_t* out, std::size_t stride) {
#if FOGBELL_ADX_VECTOR
    if (!IsEndMarker(frame) && VectorServes(coefficients, &history, 1)) {
        VectorState state = LoadState(&history, 1);
        const __m128i c = CoefficientWords(coefficients);
        if (stride == 1) {
            MonoFrame(frame, state, c, out);
        } else {
            std::int16_t samples[kSamplesPerFrame];
            MonoFrame(frame, state, c, samples);
            for (std::size_t i = 0; i < kSamplesPerFrame; ++i) {
                out[i * stride] = samples[i];
            }
        }
        StoreState(state, &history, 1);
        return;
    }
#endif
    DecodeFrameScalar(frame, history, coefficients, out, stride);
}

std::size_t DecodeGroups(const std::uint8_t* groups, std::size_t count, std::size_t channels,
                         History* history, const Coefficients& coefficients, std::int16_t* out) {
    const std::size_t groupSize = channels * kFrameSize;
    const std::size_t groupSamples = channels * kSamplesPerFrame;
    std::size_t g = 0;
#if FOGBELL_ADX_VECTOR
    if (VectorServes(coefficients, history, channels)) {
        const __m128i c = CoefficientWords(coefficients);
        VectorState state = LoadState(history, channels);
        if (channels == 1) {
            for (; g < count && !IsEndMarker(groups + g * kFrameSize); ++g) {
                MonoFrame(groups + g * kFrameSize, state, c, out + g * kSamplesPerFrame);
            }
        } else {
            for (; g < count; ++g) {
                const std::uint8_t* left = groups + g * groupSize;
                const std::uint8_t* right = left + kFrameSize;
                if (((left[0] | right[0]) & kEndBit) != 0) {
                    break;
                }
                StereoGroup(left, right, state, c, out + g * groupSamples);
            }
        }
        StoreState(state, history, channels);
        return g;
    }
#endif
    for (; g < count; ++g) {
        const std::uint8_t* group = groups + g * groupSize;
        for (std::size_t ch = 0; ch < channels; ++ch) {
            if (IsEndMarker(group + ch * kFrameSize)) {
                return g;
            }
        }
        for (std::size_t ch = 0; ch < channels; ++ch) {
            DecodeFrameScalar(group + ch * kFrameSize, history[ch], coefficients,
                              out + g * groupSamples + ch, channels);
        }
    }
    return g;
}

}  // namespace fogbell::adx
