// The ADX frame decoder's fast paths (DecodeGroups, and DecodeFrame with any stride) against a
// plain decode written out from the formula, across random frames, scales up to the largest,
// coefficient pairs (including those the vector kernels cannot take), histories, channel counts
// and end markers. Any difference in any bit of any sample or of the history fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "adx_frame.h"

namespace fogbell::adx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pcm = std::vector<std::int16_t>;

// One frame of one channel from the formula: 64-bit products, the sum wrapped to 32 bits, the
// shift as a floor division, the clamp as comparisons.
void ReferenceFrame(const std::uint8_t* frame, History& h, Coefficients c, Pcm& out, std::size_t at,
                    std::size_t stride) {
    const std::int64_t scale = frame[0] * 256 + frame[1];
    for (int i = 0; i < 32; ++i) {
        const int byte = frame[2 + i / 2];
        int n = i % 2 == 0 ? byte / 16 : byte % 16;
        if (n >= 8) {
            n -= 16;
        }
        const std::int64_t wide = n * scale * 16384 + std::int64_t{c.first} * h.latest -
                                  std::int64_t{c.second} * h.previous;
        std::int64_t wrapped = wide % 4294967296LL;
        if (wrapped < 0) {
            wrapped += 4294967296LL;
        }
        if (wrapped >= 2147483648LL) {
            wrapped -= 4294967296LL;
        }
        std::int64_t v = wrapped >= 0 ? wrapped / 16384 : -((-wrapped + 16383) / 16384);
        v = std::clamp<std::int64_t>(v, -32768, 32767);
        out[at + static_cast<std::size_t>(i) * stride] = static_cast<std::int16_t>(v);
        h.previous = h.latest;
        h.latest = static_cast<std::int32_t>(v);
    }
}

struct Decoded {
    std::size_t groups = 0;
    Pcm samples;
    History history[2];
};

// Groups up to the first that holds an end marker, each channel's frame by the formula.
Decoded ReferenceGroups(const Bytes& bytes, std::size_t count, std::size_t channels,
                        const History* start, Coefficients c) {
    Decoded d;
    std::copy(start, start + channels, d.history);
    d.samples.assign(count * channels * 32, 0);
    for (; d.groups < count; ++d.groups) {
        const std::uint8_t* group = bytes.data() + d.groups * channels * 18;
        bool end = false;
        for (std::size_t ch = 0; ch < channels; ++ch) {
            end = end || (group[ch * 18] & 0x80) != 0;
        }
        if (end) {
            break;
        }
        for (std::size_t ch = 0; ch < channels; ++ch) {
            ReferenceFrame(group + ch * 18, d.history[ch], c, d.samples,
                           d.groups * channels * 32 + ch, channels);
        }
    }
    d.samples.resize(d.groups * channels * 32);
    return d;
}

Decoded Fast(const Bytes& bytes, std::size_t count, std::size_t channels, const History* start,
             Coefficients c) {
    Decoded d;
    std::copy(start, start + channels, d.history);
    d.samples.assign(count * channels * 32, 0);
    d.groups = DecodeGroups(bytes.data(), count, channels, d.history, c, d.samples.data());
    d.samples.resize(d.groups * channels * 32);
    return d;
}

// A scale drawn to cover quiet frames, loud ones that clamp and the largest that wrap.
std::uint16_t RandomScale(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0:
            return static_cast<std::uint16_t>(rng() % 16);
        case 1:
            return static_cast<std::uint16_t>(rng() % 0x800);
        case 2:
            return static_cast<std::uint16_t>(0x7FF0 + rng() % 16);
        default:
            return static_cast<std::uint16_t>(rng() % 0x8000);
    }
}

Bytes RandomFrames(std::mt19937& rng, std::size_t frames) {
    Bytes bytes(frames * 18);
    for (std::size_t f = 0; f < frames; ++f) {
        const std::uint16_t scale = RandomScale(rng);
        bytes[f * 18] = static_cast<std::uint8_t>(scale >> 8);
        bytes[f * 18 + 1] = static_cast<std::uint8_t>(scale);
        for (std::size_t i = 2; i < 18; ++i) {
            bytes[f * 18 + i] = static_cast<std::uint8_t>(rng());
        }
    }
    return bytes;
}

// Pairs the decoders meet, pairs at the edges of 16 bits, and pairs past them.
const Coefficients kPairs[] = {
    kStandardCoefficients,
    CoefficientsFor(48000, 500),
    CoefficientsFor(22050, 500),
    CoefficientsFor(8000, 3999),
    {32767, -32767},
    {-32768, 32768},
    {0, 0},
    {32768, 13136},   // first past 16 bits
    {29336, -32768},  // second negated past 16 bits
    {-70000, 90000},
};

History RandomHistory(std::mt19937& rng, bool wide) {
    if (wide && rng() % 2 == 0) {  // outside 16 bits: only a caller's own history can be
        return {static_cast<std::int32_t>(rng() % 200000) - 100000,
                static_cast<std::int32_t>(rng() % 200000) - 100000};
    }
    return {static_cast<std::int16_t>(rng()), static_cast<std::int16_t>(rng())};
}

TEST(AdxGroups, MatchTheFormulaAcrossFramesScalesPairsHistoriesAndChannels) {
    std::mt19937 rng(11);
    for (int run = 0; run < 3000; ++run) {
        const std::size_t channels = 1 + rng() % 2;
        const std::size_t count = 1 + rng() % 24;
        const Coefficients c = kPairs[rng() % std::size(kPairs)];
        const Bytes bytes = RandomFrames(rng, count * channels);  // exactly sized
        const History start[2] = {RandomHistory(rng, run % 10 == 0),
                                  RandomHistory(rng, run % 10 == 0)};
        const Decoded want = ReferenceGroups(bytes, count, channels, start, c);
        const Decoded got = Fast(bytes, count, channels, start, c);
        ASSERT_EQ(got.groups, count) << "run " << run;
        ASSERT_EQ(got.samples, want.samples) << "run " << run;
        for (std::size_t ch = 0; ch < channels; ++ch) {
            ASSERT_EQ(got.history[ch].latest, want.history[ch].latest) << "run " << run;
            ASSERT_EQ(got.history[ch].previous, want.history[ch].previous) << "run " << run;
        }
    }
}

TEST(AdxGroups, StopBeforeTheFirstGroupWithAnEndMarkerInEitherFrame) {
    std::mt19937 rng(12);
    for (int run = 0; run < 600; ++run) {
        const std::size_t channels = 1 + rng() % 2;
        const std::size_t count = 1 + rng() % 12;
        Bytes bytes = RandomFrames(rng, count * channels);
        const std::size_t marked = rng() % count;
        const std::size_t frame = marked * channels + rng() % channels;
        // 0x8001 is the usual footer; any scale with its top bit set ends the audio.
        bytes[frame * 18] = static_cast<std::uint8_t>(run % 2 == 0 ? 0x80 : 0x80 | rng());
        bytes[frame * 18 + 1] = run % 2 == 0 ? 0x01 : static_cast<std::uint8_t>(rng());
        const History start[2] = {RandomHistory(rng, false), RandomHistory(rng, false)};
        const Coefficients c = kPairs[rng() % std::size(kPairs)];
        const Decoded want = ReferenceGroups(bytes, count, channels, start, c);
        const Decoded got = Fast(bytes, count, channels, start, c);
        ASSERT_EQ(want.groups, marked);
        ASSERT_EQ(got.groups, marked) << "run " << run;
        ASSERT_EQ(got.samples, want.samples) << "run " << run;
        for (std::size_t ch = 0; ch < channels; ++ch) {
            ASSERT_EQ(got.history[ch].latest, want.history[ch].latest) << "run " << run;
            ASSERT_EQ(got.history[ch].previous, want.history[ch].previous) << "run " << run;
        }
    }
}

TEST(AdxGroups, NoGroupsWriteNothing) {
    const Bytes bytes = {0x80, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    History history[1] = {{5, 6}};
    Pcm out(32, 99);
    EXPECT_EQ(DecodeGroups(bytes.data(), 0, 1, history, kStandardCoefficients, out.data()), 0u);
    EXPECT_EQ(DecodeGroups(bytes.data(), 1, 1, history, kStandardCoefficients, out.data()), 0u);
    EXPECT_EQ(out, Pcm(32, 99));
    EXPECT_EQ(history[0].latest, 5);
    EXPECT_EQ(history[0].previous, 6);
}

// DecodeFrame decodes any frame, an end marker's too, with any stride, touching nothing between
// its samples.
TEST(AdxGroups, DecodeFrameMatchesTheFormulaWithAnyStride) {
    std::mt19937 rng(13);
    for (int run = 0; run < 2000; ++run) {
        Bytes frame = RandomFrames(rng, 1);
        if (run % 5 == 0) {
            frame[0] |= 0x80;  // scales up to 0xFFFF
        }
        const std::size_t stride = 1 + rng() % 3;
        const Coefficients c = kPairs[rng() % std::size(kPairs)];
        const History start = RandomHistory(rng, run % 10 == 0);
        History want = start;
        History got = start;
        Pcm expected(32 * stride, 77);
        Pcm actual(32 * stride, 77);
        ReferenceFrame(frame.data(), want, c, expected, 0, stride);
        DecodeFrame(frame.data(), got, c, actual.data(), stride);
        ASSERT_EQ(actual, expected) << "run " << run;
        ASSERT_EQ(got.latest, want.latest) << "run " << run;
        ASSERT_EQ(got.previous, want.previous) << "run " << run;
    }
}

// The worked examples through the group decoder, mono and as both channels of a stereo group.
TEST(AdxGroups, WorkedExamplesHoldInGroups) {
    Bytes frame(18, 0);
    frame[1] = 1;
    frame[2] = 0x70;
    const Pcm first12 = {7, 12, 15, 17, 18, 18, 17, 16, 15, 14, 13, 12};
    History mono[1];
    Pcm out(32);
    ASSERT_EQ(DecodeGroups(frame.data(), 1, 1, mono, kStandardCoefficients, out.data()), 1u);
    EXPECT_EQ(Pcm(out.begin(), out.begin() + 12), first12);

    Bytes group = frame;
    group.insert(group.end(), frame.begin(), frame.end());
    group[18 + 1] = 0;  // the right frame: scale 0, history -1, 0
    History stereo[2] = {{}, {-1, 0}};
    Pcm pairs(64);
    ASSERT_EQ(DecodeGroups(group.data(), 1, 2, stereo, kStandardCoefficients, pairs.data()), 1u);
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(pairs[2 * i], first12[i]) << i;
    }
    EXPECT_EQ(pairs[1], -2);  // the shift rounds toward minus infinity

    // Scale 8192 at zero history clamps: nibble 7 on the left, -8 on the right.
    Bytes loud(36, 0);
    loud[0] = 0x20;
    loud[2] = 0x70;
    loud[18] = 0x20;
    loud[20] = 0x80;
    History h[2];
    ASSERT_EQ(DecodeGroups(loud.data(), 1, 2, h, kStandardCoefficients, pairs.data()), 1u);
    EXPECT_EQ(pairs[0], 32767);
    EXPECT_EQ(pairs[1], -32768);
}

}  // namespace
}  // namespace fogbell::adx
