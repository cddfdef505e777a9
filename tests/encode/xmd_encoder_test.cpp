// The XMD encoder's stream layout, decoded with the formula written out in the test builder.
#include <gtest/gtest.h>

#include <vector>

#include "host/encode/xmd_encoder.h"
#include "test_signals.h"
#include "xmd_builder.h"

namespace fogbell::test {
namespace {

using encode::EncodeStatus;

TEST(XmdEncoder, WritesHeaderFramesAndLength) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kChord, 22050, 2, 100);
    const std::vector<std::uint8_t> s = encode::EncodeXmd({2, 22050}, pcm.data(), 100);
    // 100 samples: 7 groups (the last padded) of two 13-byte frames.
    ASSERT_EQ(s.size(), 12u + 7 * 26);
    EXPECT_EQ(s[0], 2);
    EXPECT_EQ(s[1] | (s[2] << 8), 22050);
    EXPECT_EQ(std::uint32_t(s[3] | (s[4] << 8) | (s[5] << 16) | (s[6] << 24)), 7u * 26);
    for (std::size_t i = 7; i < 12; ++i) {
        EXPECT_EQ(s[i], 0);
    }
    // Every frame stores its first two samples as they are.
    for (std::size_t g = 0; g < 6; ++g) {
        for (std::size_t c = 0; c < 2; ++c) {
            const std::uint8_t* frame = &s[12 + g * 26 + c * 13];
            EXPECT_EQ(static_cast<std::int16_t>(frame[0] | (frame[1] << 8)), pcm[(g * 16) * 2 + c]);
            EXPECT_EQ(static_cast<std::int16_t>(frame[2] | (frame[3] << 8)),
                      pcm[(g * 16 + 1) * 2 + c]);
        }
    }
    const std::vector<std::uint8_t> frames(s.begin() + 12, s.end());
    EXPECT_GT(SnrDb(pcm, ReferenceXmd(frames, 2, 7)), 25.0);
}

TEST(XmdEncoder, NoSoundIsTheHeaderAlone) {
    encode::XmdEncoder encoder({1, 44100});
    const std::vector<std::uint8_t> s = encoder.Finish();
    ASSERT_EQ(s.size(), 12u);
    EXPECT_EQ(s[0], 1);
    EXPECT_EQ(s[3] | s[4] | s[5] | s[6], 0);
}

TEST(XmdEncoder, SquaresDoNotWrapAround) {
    // The decoder does not clamp; a careless choice near full scale would come out as the
    // opposite extreme.
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kSquare, 44100, 1, 4410);
    const std::vector<std::uint8_t> s = encode::EncodeXmd({1, 44100}, pcm.data(), 4410);
    const std::vector<std::uint8_t> frames(s.begin() + 12, s.end());
    const std::vector<std::int16_t> out = ReferenceXmd(frames, 1, frames.size() / 13);
    for (std::size_t i = 0; i < pcm.size(); ++i) {
        ASSERT_LT(std::abs(out[i] - pcm[i]), 16384) << "sample " << i;
    }
    EXPECT_GT(SnrDb(pcm, out), 20.0);
}

TEST(XmdEncoder, RefusesFormatsItCannotCarry) {
    EXPECT_EQ(encode::CheckXmdFormat({3, 22050}), EncodeStatus::kBadChannels);
    EXPECT_EQ(encode::CheckXmdFormat({1, 65536}), EncodeStatus::kBadRate);
    EXPECT_EQ(encode::CheckXmdFormat({1, 0}), EncodeStatus::kBadRate);
    EXPECT_EQ(encode::CheckXmdFormat({2, 65535}), EncodeStatus::kOk);
}

}  // namespace
}  // namespace fogbell::test
