// The closed-loop search on its own: its decoder model against the decoders' formulas, and its
// choices against what they claim and against plain quantisation.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "adx_builder.h"
#include "adx_frame.h"
#include "host/encode/adpcm_search.h"
#include "test_files.h"
#include "test_signals.h"
#include "xmd_builder.h"

namespace fogbell::test {
namespace {

using encode::DecoderState;
using encode::FrameChoice;
using encode::Predictor;
using encode::Rule;
using encode::SearchSettings;

constexpr Predictor kFixed{29336, 13136};

std::int32_t SignedNibble(std::uint32_t n) {
    return static_cast<std::int32_t>(n ^ 8u) - 8;
}

// Decodes a choice again with DecodeStep: the output samples, and the state after them.
std::vector<std::int32_t> Replay(const FrameChoice& choice, std::size_t count, DecoderState& state,
                                 Predictor predictor, Rule rule) {
    std::vector<std::int32_t> out;
    for (std::size_t i = 0; i < count; ++i) {
        out.push_back(encode::DecodeStep(choice.nibbles[i], choice.scale, state, predictor, rule));
    }
    return out;
}

TEST(AdpcmSearch, ClampRuleDecodesLikeTheAdxFormula) {
    const Bytes frames = AdxFrames(40, 1, 7);
    const std::vector<std::int16_t> reference =
        ReferenceAdx(frames, 1, 40, kFixed.first, kFixed.second);
    DecoderState state;
    for (std::size_t f = 0; f < 40; ++f) {
        const std::uint8_t* frame = &frames[f * adx::kFrameSize];
        const std::uint32_t scale = (std::uint32_t{frame[0]} << 8) | frame[1];
        for (std::size_t i = 0; i < 32; ++i) {
            const std::uint8_t byte = frame[2 + i / 2];
            const std::int32_t nibble = SignedNibble(i % 2 == 0 ? byte >> 4 : byte & 0x0Fu);
            ASSERT_EQ(encode::DecodeStep(nibble, scale, state, kFixed, Rule::kClamp),
                      reference[f * 32 + i])
                << "frame " << f << " sample " << i;
        }
    }
}

TEST(AdpcmSearch, WrapRuleDecodesLikeTheXmdFormula) {
    Bytes frames = XmdFrames(30, 11);
    // A frame whose values run past 16 bits: only their low 16 bits come out.
    const Bytes wraps{0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0};
    frames.insert(frames.end(), wraps.begin(), wraps.end());
    for (std::size_t f = 0; f < 31; ++f) {
        const std::uint8_t* frame = &frames[f * 13];
        const std::vector<std::int16_t> reference = ReferenceXmdFrame(frame);
        DecoderState state{static_cast<std::int16_t>(frame[2] | (frame[3] << 8)),
                           static_cast<std::int16_t>(frame[0] | (frame[1] << 8))};
        const std::uint32_t scale = frame[4] | (std::uint32_t{frame[5]} << 8);
        for (std::size_t i = 0; i < 14; ++i) {
            const std::uint8_t byte = frame[6 + i / 2];
            const std::int32_t nibble = SignedNibble(i % 2 == 0 ? byte & 0x0Fu : byte >> 4);
            ASSERT_EQ(encode::DecodeStep(nibble, scale, state, kFixed, Rule::kWrap),
                      reference[2 + i])
                << "frame " << f << " sample " << i;
        }
    }
}

struct SearchCase {
    const char* name;
    Signal signal;
    Rule rule;
    SearchSettings settings;
};

SearchSettings Greedy() {
    SearchSettings s;
    s.beamWidth = 1;
    return s;
}

SearchSettings EveryFrameBeam() {
    SearchSettings s;
    s.beamShare = 0.0;
    s.beamWidth = 6;
    s.beamScales = 3;
    return s;
}

class Search : public ::testing::TestWithParam<SearchCase> {};

// What the search claims (error, end state) is what the decoder makes of its nibbles.
TEST_P(Search, ClaimsWhatTheDecoderMakesOfItsChoice) {
    const SearchCase& c = GetParam();
    const std::vector<std::int16_t> pcm = MakeSignal(c.signal, 44100, 1, 32 * 200);
    DecoderState state;
    for (std::size_t f = 0; f < 200; ++f) {
        std::vector<std::int32_t> target(pcm.begin() + f * 32, pcm.begin() + f * 32 + 32);
        const std::size_t weighted = f == 199 ? 20 : 32;  // a padded last frame
        const FrameChoice choice = encode::SearchFrame(target.data(), 32, weighted, state, kFixed,
                                                       c.rule, 0x7FFF, c.settings);
        ASSERT_LE(choice.scale, 0x7FFFu);
        DecoderState replayed = state;
        const std::vector<std::int32_t> out = Replay(choice, 32, replayed, kFixed, c.rule);
        std::int64_t error = 0;
        for (std::size_t i = 0; i < weighted; ++i) {
            const std::int64_t d = target[i] - out[i];
            error += d * d;
        }
        ASSERT_EQ(error, choice.squaredError) << "frame " << f;
        ASSERT_EQ(replayed.latest, choice.end.latest);
        ASSERT_EQ(replayed.previous, choice.end.previous);
        state = choice.end;
    }
}

// Frame by frame from the same state, the search against quantising with the scale that just
// covers the residual and the nearest nibble (the plain way): overall clearly better.
TEST_P(Search, BeatsPlainQuantisation) {
    const SearchCase& c = GetParam();
    if (c.signal == Signal::kSilence) {
        GTEST_SKIP() << "silence has no error to beat";
    }
    const std::vector<std::int16_t> pcm = MakeSignal(c.signal, 32000, 1, 32 * 300);
    DecoderState state;
    std::int64_t searched = 0;
    std::int64_t plain = 0;
    for (std::size_t f = 0; f < 300; ++f) {
        std::vector<std::int32_t> target(pcm.begin() + f * 32, pcm.begin() + f * 32 + 32);
        const FrameChoice choice =
            encode::SearchFrame(target.data(), 32, 32, state, kFixed, c.rule, 0x7FFF, c.settings);
        // The plain way: covering scale from the open-loop residual, nearest nibbles.
        double covering = 0;
        DecoderState open = state;
        for (std::int32_t x : target) {
            const double p =
                (double(kFixed.first) * open.latest - double(kFixed.second) * open.previous) /
                16384.0;
            covering = std::fmax(covering, x - p >= 0 ? (x - p) / 7 : (x - p) / -8);
            open.previous = open.latest;
            open.latest = x;
        }
        const auto scale = static_cast<std::uint32_t>(std::fmax(1.0, std::floor(covering)));
        DecoderState closed = state;
        std::int64_t error = 0;
        for (std::int32_t x : target) {
            const double p =
                (double(kFixed.first) * closed.latest - double(kFixed.second) * closed.previous) /
                16384.0;
            const auto n =
                static_cast<std::int32_t>(std::fmax(-8, std::fmin(7, std::round((x - p) / scale))));
            const std::int64_t d = x - encode::DecodeStep(n, scale, closed, kFixed, c.rule);
            error += d * d;
        }
        // Both start each frame from the search's own state, so the comparison is fair.
        searched += choice.squaredError;
        plain += error;
        state = choice.end;
    }
    EXPECT_LT(static_cast<double>(searched), 0.85 * static_cast<double>(plain));
}

// The beam only ever replaces the greedy choice with a better one.
TEST_P(Search, BeamNeverLosesToGreedy) {
    const SearchCase& c = GetParam();
    const std::vector<std::int16_t> pcm = MakeSignal(c.signal, 22050, 1, 32 * 100);
    DecoderState state;
    for (std::size_t f = 0; f < 100; ++f) {
        std::vector<std::int32_t> target(pcm.begin() + f * 32, pcm.begin() + f * 32 + 32);
        const FrameChoice greedy =
            encode::SearchFrame(target.data(), 32, 32, state, kFixed, c.rule, 0x7FFF, Greedy());
        const FrameChoice beam = encode::SearchFrame(target.data(), 32, 32, state, kFixed, c.rule,
                                                     0x7FFF, EveryFrameBeam());
        ASSERT_LE(beam.squaredError, greedy.squaredError) << "frame " << f;
        state = beam.end;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Search,
    ::testing::Values(SearchCase{"ChordClampDefault", Signal::kChord, Rule::kClamp, {}},
                      SearchCase{"VoiceClampDefault", Signal::kVoice, Rule::kClamp, {}},
                      SearchCase{"SquareClampDefault", Signal::kSquare, Rule::kClamp, {}},
                      SearchCase{"SweepWrapDefault", Signal::kSweep, Rule::kWrap, {}},
                      SearchCase{"SquareWrapDefault", Signal::kSquare, Rule::kWrap, {}},
                      SearchCase{"SilenceClampGreedy", Signal::kSilence, Rule::kClamp, Greedy()},
                      SearchCase{"ChordClampBeam", Signal::kChord, Rule::kClamp, EveryFrameBeam()},
                      SearchCase{"VoiceWrapBeam", Signal::kVoice, Rule::kWrap, EveryFrameBeam()}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AdpcmSearch, KeepsScalesBelowTheLimitEvenWhenTheResidualAsksForMore) {
    // From a full-scale state, a jump to the other extreme wants a scale far above 0x7FFF.
    std::vector<std::int32_t> target(32, -32768);
    const DecoderState start{32767, 32767};
    const FrameChoice choice =
        encode::SearchFrame(target.data(), 32, 32, start, kFixed, Rule::kClamp, 0x7FFF, {});
    EXPECT_LE(choice.scale, 0x7FFFu);
    DecoderState replayed = start;
    const std::vector<std::int32_t> out = Replay(choice, 32, replayed, kFixed, Rule::kClamp);
    EXPECT_EQ(out.back(), -32768);  // and still gets there
}

TEST(AdpcmSearch, WrapRuleStaysInsideTheRangeAfterASteepRise) {
    // A clipped rise: predicted on from the slope, the value overshoots full scale by thousands,
    // and an XMD decoder would turn it into a large negative sample.
    const std::int32_t rise[16] = {-14062, -12570, -10197, -6772, -2204, 3483,  10140, 17484,
                                   25121,  32570,  32767,  32767, 32767, 32767, 32767, 32767};
    const DecoderState start{rise[1], rise[0]};
    for (const SearchSettings& settings : {SearchSettings{}, Greedy(), EveryFrameBeam()}) {
        const FrameChoice choice =
            encode::SearchFrame(rise + 2, 14, 14, start, kFixed, Rule::kWrap, 0xFFFF, settings);
        DecoderState state = start;
        const std::vector<std::int32_t> out = Replay(choice, 14, state, kFixed, Rule::kWrap);
        for (std::size_t i = 0; i < 14; ++i) {
            EXPECT_LT(std::abs(out[i] - rise[i + 2]), 4000) << "sample " << i + 2 << " wrapped";
        }
        EXPECT_LT(choice.squaredError, std::int64_t{14} * 2000 * 2000);
    }
}

TEST(AdpcmSearch, PaddingSamplesDoNotCount) {
    std::vector<std::int32_t> target(32, 0);
    for (std::size_t i = 0; i < 10; ++i) {
        target[i] = static_cast<std::int32_t>(1000 * i);
    }
    for (std::size_t i = 10; i < 32; ++i) {
        target[i] = 30000;  // a jump the real samples never make; weightless here
    }
    const FrameChoice weightless =
        encode::SearchFrame(target.data(), 32, 10, {}, kFixed, Rule::kClamp, 0x7FFF, {});
    const FrameChoice weighted =
        encode::SearchFrame(target.data(), 32, 32, {}, kFixed, Rule::kClamp, 0x7FFF, {});
    DecoderState state;
    const std::vector<std::int32_t> out = Replay(weightless, 10, state, kFixed, Rule::kClamp);
    std::int64_t firstTen = 0;
    for (std::size_t i = 0; i < 10; ++i) {
        firstTen += std::int64_t{target[i] - out[i]} * (target[i] - out[i]);
    }
    EXPECT_EQ(weightless.squaredError, firstTen);
    EXPECT_LT(weightless.scale, weighted.scale);  // the jump no longer dictates the scale
}

}  // namespace
}  // namespace fogbell::test
