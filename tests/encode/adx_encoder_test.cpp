// The ADX encoder's stream layout, decoded with the shared frame decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "adx_frame.h"
#include "host/encode/adx_encoder.h"
#include "test_signals.h"

namespace fogbell::test {
namespace {

using encode::AdxEncoder;
using encode::AdxFormat;
using encode::EncodeStatus;

std::uint32_t U32BE(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}
std::uint32_t U16BE(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 8) | b[at + 1];
}

// Decodes every frame group of an encoded stream (up to the end frame) with the coefficients.
std::vector<std::int16_t> Decode(const std::vector<std::uint8_t>& stream, std::uint32_t channels,
                                 adx::Coefficients coefficients) {
    std::vector<std::int16_t> out;
    adx::History history[2];
    std::size_t at = encode::kAdxFirstFrame;
    while (at + adx::kFrameSize * channels <= stream.size() && !adx::IsEndMarker(&stream[at])) {
        const std::size_t base = out.size();
        out.resize(base + 32 * channels);
        for (std::uint32_t c = 0; c < channels; ++c) {
            adx::DecodeFrame(&stream[at], history[c], coefficients, &out[base + c], channels);
            at += adx::kFrameSize;
        }
    }
    return out;
}

TEST(AdxEncoder, WritesTheHeaderOtherPlayersRead) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kChord, 32000, 2, 1000);
    const std::vector<std::uint8_t> s = encode::EncodeAdx({2, 32000, 700}, pcm.data(), 1000);
    ASSERT_GE(s.size(), encode::kAdxFirstFrame);
    EXPECT_EQ(s[0], 0x80);
    EXPECT_EQ(s[1], 0x00);
    EXPECT_EQ(U16BE(s, 2), 32u);  // header offset
    EXPECT_EQ(s[4], 3);           // fixed-coefficient ADPCM
    EXPECT_EQ(s[5], 18);          // frame size
    EXPECT_EQ(s[6], 4);           // bits per sample
    EXPECT_EQ(s[7], 2);           // channels
    EXPECT_EQ(U32BE(s, 8), 32000u);
    EXPECT_EQ(U32BE(s, 12), 1000u);  // samples per channel
    EXPECT_EQ(U16BE(s, 16), 700u);   // cutoff
    EXPECT_EQ(s[18], 3);             // version
    EXPECT_EQ(std::memcmp(&s[30], "(c)CRI", 6), 0);
    // 1000 samples: 32 groups (the last padded), 2 frames each, then the end frame.
    EXPECT_EQ(s.size(), 36u + 32 * 2 * 18 + 18);
    const std::size_t end = s.size() - 18;
    EXPECT_EQ(U16BE(s, end), 0x8001u);
    EXPECT_EQ(U16BE(s, end + 2), 0x000Eu);
    for (std::size_t i = end + 4; i < s.size(); ++i) {
        EXPECT_EQ(s[i], 0) << i;
    }
}

TEST(AdxEncoder, NoSoundIsAHeaderAndTheEndFrame) {
    AdxEncoder encoder(AdxFormat{1, 44100, 500});
    const std::vector<std::uint8_t> s = encoder.Finish();
    ASSERT_EQ(s.size(), 36u + 18);
    EXPECT_EQ(U32BE(s, 12), 0u);
    EXPECT_TRUE(adx::IsEndMarker(&s[36]));
}

TEST(AdxEncoder, FramesFollowTheCutoffsCoefficients) {
    // Decoded with the pair the header's cutoff and rate give, the sound is close; with the
    // fixed pair of 44100 Hz / 500 Hz it is not: the encoder predicted with the former.
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kVoice, 22050, 1, 22050);
    const std::vector<std::uint8_t> s = encode::EncodeAdx({1, 22050, 900}, pcm.data(), 22050);
    const double matched = SnrDb(pcm, Decode(s, 1, adx::CoefficientsFor(22050, 900)));
    const double fixed = SnrDb(pcm, Decode(s, 1, adx::kStandardCoefficients));
    EXPECT_GT(matched, 25.0);
    EXPECT_LT(fixed, matched - 10.0);
}

TEST(AdxEncoder, PiecesMakeTheSameStreamAsTheWhole) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kSweep, 44100, 2, 5000);
    const std::vector<std::uint8_t> whole = encode::EncodeAdx({2, 44100, 500}, pcm.data(), 5000);
    AdxEncoder encoder(AdxFormat{2, 44100, 500});
    std::size_t done = 0;
    for (std::size_t piece : {1u, 31u, 33u, 700u, 1u, 64u}) {
        ASSERT_EQ(encoder.Append(&pcm[done * 2], piece), EncodeStatus::kOk);
        done += piece;
    }
    ASSERT_EQ(encoder.Append(&pcm[done * 2], 5000 - done), EncodeStatus::kOk);
    EXPECT_EQ(encoder.Finish(), whole);
}

TEST(AdxEncoder, FullScaleSquaresNeverWriteAnEndMarkerScale) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kSquare, 48000, 2, 9600);
    const std::vector<std::uint8_t> s = encode::EncodeAdx({2, 48000, 500}, pcm.data(), 9600);
    const std::size_t frames = (s.size() - 36) / 18;
    for (std::size_t f = 0; f + 1 < frames; ++f) {
        ASSERT_FALSE(adx::IsEndMarker(&s[36 + f * 18])) << "frame " << f;
    }
    EXPECT_GT(SnrDb(pcm, Decode(s, 2, adx::CoefficientsFor(48000, 500))), 20.0);
}

TEST(AdxEncoder, RefusesFormatsItCannotCarry) {
    EXPECT_EQ(encode::CheckAdxFormat({0, 44100, 500}), EncodeStatus::kBadChannels);
    EXPECT_EQ(encode::CheckAdxFormat({3, 44100, 500}), EncodeStatus::kBadChannels);
    EXPECT_EQ(encode::CheckAdxFormat({1, 0, 500}), EncodeStatus::kBadRate);
    EXPECT_EQ(encode::CheckAdxFormat({2, 96000, 500}), EncodeStatus::kOk);
    EXPECT_STRNE(encode::StatusText(EncodeStatus::kBadChannels), "OK");
}

TEST(AdxEncoder, ALoopFillsTheVersion3LoopBlockBeforeAGrownHeaderOffset) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kChord, 22050, 2, 3000);
    AdxEncoder encoder(AdxFormat{2, 22050, 500}, encode::AdxLoop{70, 2000});
    encoder.Append(pcm.data(), 3000);
    const std::vector<std::uint8_t> s = encoder.Finish();
    EXPECT_EQ((s[2] << 8) | s[3], 46);
    EXPECT_EQ(std::memcmp(&s[44], "(c)CRI", 6), 0);
    EXPECT_EQ(s[18], 3);
    EXPECT_EQ(U32BE(s, 24), 1u);
    EXPECT_EQ(U32BE(s, 28), 70u);
    EXPECT_EQ(U32BE(s, 32), 50u + 2 * 36);  // the group of sample 70
    EXPECT_EQ(U32BE(s, 36), 2000u);
    EXPECT_EQ(U32BE(s, 40), 50u + 63 * 36);  // past the group of sample 1999
    EXPECT_EQ(s.size(), 50u + 94 * 36 + 18);
    // A loop past the stream's end is not written.
    AdxEncoder past(AdxFormat{1, 22050, 500}, encode::AdxLoop{0, 3001});
    past.Append(pcm.data(), 3000);
    EXPECT_EQ(U32BE(past.Finish(), 24), 0u);
    EXPECT_EQ(encode::CheckAdxLoop({5, 5}, 10), EncodeStatus::kBadLoop);
}

TEST(AdxEncoder, ALoopSetLaterGrowsTheHeaderAsTheEncoderWritesIt) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kChord, 22050, 2, 3000);
    const encode::AdxLoop loop{70, 2000};
    AdxEncoder looped(AdxFormat{2, 22050, 500}, loop);
    looped.Append(pcm.data(), 3000);
    const std::vector<std::uint8_t> expected = looped.Finish();
    const std::vector<std::uint8_t> plain = encode::EncodeAdx(AdxFormat{2, 22050, 500}, pcm.data(), 3000);
    const auto grown = encode::WithAdxLoop(plain.data(), plain.size(), loop);
    ASSERT_TRUE(grown.has_value());
    EXPECT_EQ(*grown, expected);
    // Cleared, the block is zeros in a header of the same size; set again, it is as before.
    const auto cleared = encode::WithAdxLoop(grown->data(), grown->size(), std::nullopt);
    ASSERT_TRUE(cleared.has_value());
    EXPECT_FALSE(encode::ReadAdxHeader(cleared->data(), cleared->size())->loop.has_value());
    EXPECT_EQ(encode::WithAdxLoop(cleared->data(), cleared->size(), loop), expected);
    EXPECT_FALSE(encode::WithAdxLoop(plain.data(), plain.size(), encode::AdxLoop{0, 3001}));
    EXPECT_FALSE(encode::WithAdxLoop(plain.data(), 20, loop));  // "(c)CRI" past the bytes
}

TEST(AdxEncoder, RefusesMoreSamplesThanTheHeaderCounts) {
    AdxEncoder encoder(AdxFormat{1, 44100, 500});
    const std::int16_t sample = 0;
    // Only the count is checked before anything is read: no 4 GiB buffer is needed.
    EXPECT_EQ(encoder.Append(&sample, std::size_t{1} << 32), EncodeStatus::kTooLong);
    EXPECT_EQ(encoder.TotalSamples(), 0u);
}

}  // namespace
}  // namespace fogbell::test
