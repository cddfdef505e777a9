// ADX frame decoding against worked examples and against a plain reference of the formula.
#include "adx_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "byte_writer.h"

namespace fogbell::adx {
namespace {

using Frame = std::array<std::uint8_t, kFrameSize>;

Frame MakeFrame(std::uint16_t scale, std::vector<std::uint8_t> data) {
    Frame frame{};
    frame[0] = static_cast<std::uint8_t>(scale >> 8);
    frame[1] = static_cast<std::uint8_t>(scale);
    for (std::size_t i = 0; i < data.size() && i < 16; ++i) {
        frame[2 + i] = data[i];
    }
    return frame;
}

std::vector<std::int16_t> Decode(const Frame& frame, History& history,
                                 Coefficients c = kStandardCoefficients) {
    std::vector<std::int16_t> out(kSamplesPerFrame);
    DecodeFrame(frame.data(), history, c, out.data(), 1);
    return out;
}

// The formula written out with 64-bit intermediates, wrapped to 32 bits at the end.
std::vector<std::int16_t> Reference(const Frame& frame, History& h, Coefficients c) {
    std::vector<std::int16_t> out;
    const std::int64_t scale = (frame[0] << 8) | frame[1];
    for (int i = 0; i < 32; ++i) {
        const int byte = frame[2 + static_cast<std::size_t>(i / 2)];
        int n = (i % 2 == 0) ? (byte >> 4) : (byte & 15);
        if (n >= 8) {
            n -= 16;
        }
        const std::int64_t wide = n * scale * 16384 + std::int64_t{c.first} * h.latest -
                                  std::int64_t{c.second} * h.previous;
        const auto wrapped =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(wide & 0xFFFFFFFF));
        std::int32_t v = wrapped >= 0 ? wrapped / 16384
                                      : -((-static_cast<std::int64_t>(wrapped) + 16383) / 16384);
        v = std::max(-32768, std::min(32767, v));
        out.push_back(static_cast<std::int16_t>(v));
        h.previous = h.latest;
        h.latest = v;
    }
    return out;
}

TEST(AdxFrame, DecodesTheWorkedExample) {
    History history;
    const auto out = Decode(MakeFrame(1, {0x70}), history);
    const std::vector<std::int16_t> first12(out.begin(), out.begin() + 12);
    EXPECT_EQ(first12, (std::vector<std::int16_t>{7, 12, 15, 17, 18, 18, 17, 16, 15, 14, 13, 12}));
    EXPECT_EQ(history.latest, out[31]);
    EXPECT_EQ(history.previous, out[30]);
}

TEST(AdxFrame, ShiftRoundsTowardMinusInfinity) {
    History history{-1, 0};
    const auto out = Decode(MakeFrame(0, {}), history);
    EXPECT_EQ(out[0], -2);
}

TEST(AdxFrame, ClampsToSixteenBits) {
    History up;
    EXPECT_EQ(Decode(MakeFrame(8192, {0x70}), up)[0], 32767);
    History down;
    EXPECT_EQ(Decode(MakeFrame(8192, {0x80}), down)[0], -32768);
}

TEST(AdxFrame, MatchesTheReferenceOnRandomFramesAndHistories) {
    const Coefficients pairs[] = {kStandardCoefficients, CoefficientsFor(48000, 500),
                                  CoefficientsFor(22050, 500)};
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        const auto noise = test::Pattern(24, seed);
        Frame frame{};
        std::copy(noise.begin(), noise.begin() + 18, frame.begin());
        frame[0] &= 0x7F;
        const auto h1 = static_cast<std::int16_t>(noise[18] << 8 | noise[19]);
        const auto h2 = static_cast<std::int16_t>(noise[20] << 8 | noise[21]);
        const Coefficients c = pairs[seed % 3];
        History a{h1, h2}, b{h1, h2};
        ASSERT_EQ(Decode(frame, a, c), Reference(frame, b, c)) << "seed " << seed;
        EXPECT_EQ(a.latest, b.latest);
        EXPECT_EQ(a.previous, b.previous);
    }
}

TEST(AdxFrame, InterleavesWithAStride) {
    History left, right;
    std::vector<std::int16_t> out(64, 0);
    DecodeFrame(MakeFrame(1, {0x70}).data(), left, kStandardCoefficients, out.data(), 2);
    DecodeFrame(MakeFrame(2, {0x70}).data(), right, kStandardCoefficients, out.data() + 1, 2);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[2], 12);
    EXPECT_EQ(out[1], 14);
}

TEST(AdxFrame, EndMarkerIsAScaleWithItsTopBitSet) {
    EXPECT_TRUE(IsEndMarker(MakeFrame(0x8001, {}).data()));
    EXPECT_TRUE(IsEndMarker(MakeFrame(0xFFFF, {}).data()));
    EXPECT_FALSE(IsEndMarker(MakeFrame(0x7FFF, {}).data()));
    EXPECT_FALSE(IsEndMarker(MakeFrame(0, {}).data()));
}

TEST(AdxCoefficients, FixedPairForTheUsualStreamAndComputedOtherwise) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t cutoff;
        std::int32_t first, second;
    };
    const Case cases[] = {
        {44100, 500, 29336, 13136},  // the usual stream keeps the fixed pair exactly
        {48000, 500, 29601, 13370}, {32000, 500, 28138, 12081}, {22050, 500, 26277, 10536},
        {44100, 400, 29992, 13726}, {44100, 0, 29336, 13136},  // no cutoff: fixed pair
        {8000, 4001, 29336, 13136},                            // above half the rate: fixed pair
        {0, 500, 29336, 13136},                                // no rate: fixed pair
    };
    for (const Case& c : cases) {
        const Coefficients got = CoefficientsFor(c.rate, c.cutoff);
        EXPECT_EQ(got.first, c.first) << c.rate << "/" << c.cutoff;
        EXPECT_EQ(got.second, c.second) << c.rate << "/" << c.cutoff;
    }
}

}  // namespace
}  // namespace fogbell::adx
