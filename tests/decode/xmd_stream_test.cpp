// XMD frames against the worked examples and a reference of the formula; the header and stream.
#include "xmd_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "byte_writer.h"
#include "xmd_builder.h"

namespace fogbell::xmd {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pcm = std::vector<std::int16_t>;

Pcm Decode(const Bytes& frame) {
    Pcm out(kSamplesPerFrame);
    DecodeFrame(frame.data(), out.data(), 1);
    return out;
}

TEST(XmdFrame, DecodesTheWorkedExamples) {
    EXPECT_EQ(
        Decode({0x64, 0x00, 0xC8, 0x00, 0x01, 0x00, 0x07, 0, 0, 0, 0, 0, 0}),
        (Pcm{100, 200, 284, 348, 395, 428, 449, 460, 463, 460, 452, 440, 425, 408, 389, 369}));
    // Predictions run on unclamped; only their low 16 bits come out.
    EXPECT_EQ(Decode({0x00, 0x00, 0xFF, 0x7F, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0}),
              (Pcm{0, 32767, -6866, 13243, 28480, -25896, -18130, -13172, -10521, -9750, -10495,
                   -12447, -15345, -18969, -23134, -27686}));
}

TEST(XmdFrame, MatchesTheReferenceOnRandomFrames) {
    for (std::uint32_t seed = 0; seed < 500; ++seed) {
        const Bytes frame = test::XmdFrames(1, seed);
        ASSERT_EQ(Decode(frame), test::ReferenceXmdFrame(frame.data())) << "seed " << seed;
    }
}

TEST(XmdFrame, TakesTheLowNibbleFirstAndAStride) {
    Pcm out(32, 0);
    const Bytes frame = {0, 0, 0, 0, 0x01, 0x00, 0xF1, 0, 0, 0, 0, 0, 0};  // +1, then -1
    DecodeFrame(frame.data(), out.data() + 1, 2);
    EXPECT_EQ(out[5], 1);  // sample 2: 16384 * 1 >> 14
    EXPECT_EQ(out[7], 0);  // sample 3: (-16384 + 29336) >> 14
    EXPECT_EQ(out[0], 0);  // the other channel's places are untouched
    EXPECT_EQ(out[4], 0);
}

TEST(XmdHeader, ReadsTheFieldsAndRefusesShortOrEmptyHeaders) {
    const Bytes bytes = test::BuildXmd(2, 22050, 0x01020304, {});
    Header h;
    ASSERT_EQ(ReadHeader(bytes.data(), 12, h), HeaderStatus::kOk);
    EXPECT_EQ(h.channels, 2u);
    EXPECT_EQ(h.sampleRate, 22050u);
    EXPECT_EQ(h.dataLength, 0x01020304u);
    for (std::uint32_t size = 0; size < kHeaderSize; ++size) {
        const Bytes exact(bytes.begin(), bytes.begin() + size);
        EXPECT_EQ(ReadHeader(exact.data(), size, h), HeaderStatus::kTooShort) << size;
    }
    const Bytes none = test::BuildXmd(0, 22050, 13, {});
    EXPECT_EQ(ReadHeader(none.data(), 12, h), HeaderStatus::kNoChannels);
    EXPECT_STREQ(StatusText(HeaderStatus::kTooShort),
                 "XMD file is shorter than its 12-byte header.");
    EXPECT_STREQ(StatusText(HeaderStatus::kNoChannels), "XMD file has no channels.");
}

struct Decoded {
    Pcm samples;
    std::vector<std::uint32_t> positions;  // after each group
    std::uint32_t end = 0;                 // once the stream found its end
};

Decoded DecodeAll(const Bytes& bytes) {
    Header h;
    EXPECT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h),
              HeaderStatus::kOk);
    FrameStream stream;
    stream.Attach(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
    Decoded run;
    std::int16_t group[kMaxGroupSamples];
    for (int guard = 0; guard < 100000; ++guard) {
        const std::size_t n = stream.DecodeGroup(group);
        if (n == 0) {
            break;
        }
        run.samples.insert(run.samples.end(), group, group + n);
        run.positions.push_back(stream.Position());
    }
    run.end = stream.Position();
    return run;
}

TEST(XmdFrameStream, LayoutsAndHowTheLengthCountsDown) {
    struct Case {
        const char* what;
        std::uint8_t channels;
        std::uint32_t length;
        std::size_t frames, groups;
        std::vector<std::uint32_t> positions;
        std::uint32_t end;
    };
    const Case cases[] = {
        {"mono, one frame", 1, 13, 1, 1, {13}, 13},
        {"stereo, two groups", 2, 52, 4, 2, {26, 52}, 52},
        {"mono, the last frame decoded whole", 1, 14, 2, 2, {13, 26}, 26},
        {"three channels decode as stereo, counting 39 a group", 3, 78, 4, 2, {39, 78}, 78},
        {"bytes end before the length: the position reaches it", 1, 1000, 3, 3, {13, 26, 39}, 1000},
    };
    for (const Case& c : cases) {
        const Bytes frames = test::XmdFrames(c.frames, c.channels);
        const Decoded run = DecodeAll(test::BuildXmd(c.channels, 8000, c.length, frames));
        EXPECT_EQ(run.samples, test::ReferenceXmd(frames, c.channels == 1 ? 1 : 2, c.groups))
            << c.what;
        EXPECT_EQ(run.positions, c.positions) << c.what;
        EXPECT_EQ(run.end, c.end) << c.what;
    }
}

TEST(XmdFrameStream, BytesThatEndMidGroupEndAtTheLastWholeGroup) {
    const Bytes frames = test::XmdFrames(6, 7);
    const Bytes full = test::BuildXmd(2, 8000, 1000, frames);
    for (std::size_t cut = 1; cut < 26; ++cut) {
        const Bytes exact(full.begin(), full.end() - static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(DecodeAll(exact).samples, test::ReferenceXmd(frames, 2, 2)) << cut;
    }
}

}  // namespace
}  // namespace fogbell::xmd
