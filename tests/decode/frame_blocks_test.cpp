// One-second blocks with the carry of the last frame group, on a counting stream.
#include "frame_blocks.h"

#include <gtest/gtest.h>

#include <vector>

#include "adx_builder.h"

namespace fogbell::plugin {
namespace {

// groups groups of size samples each, the samples counting up from 0.
struct CountingStream {
    std::size_t groups;
    std::size_t size;
    std::size_t decoded = 0;
    std::int16_t next = 0;

    std::size_t DecodeGroup(std::int16_t* out) {
        if (decoded == groups) {
            return 0;
        }
        for (std::size_t i = 0; i < size; ++i) {
            out[i] = next++;
        }
        ++decoded;
        return size;
    }
};

struct Drained {
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint32_t> carries;
    std::vector<std::int16_t> samples;
};

Drained Drain(FrameBlockBuffer& blocks, CountingStream& stream) {
    Drained run;
    for (int guard = 0; guard < 100000; ++guard) {
        const std::uint32_t length = blocks.Next(stream);
        if (length == 0) {
            return run;
        }
        run.sizes.push_back(length);
        run.carries.push_back(blocks.Carry());
        const auto s = test::Samples(blocks.Data(), length);
        run.samples.insert(run.samples.end(), s.begin(), s.end());
    }
    ADD_FAILURE() << "no end";
    return run;
}

TEST(FrameBlocks, CutsSecondsAndCarriesTheRestOfTheLastGroup) {
    struct Case {
        const char* what;
        std::uint32_t second;
        std::size_t groupSamples, groups;
        std::vector<std::uint32_t> sizes;
        std::uint32_t firstCarry;
    };
    const Case cases[] = {
        // 1379 groups of 64 bytes = 88256 bytes for a second of 88200: carry 56.
        {"mono 44100 ADX", 88200, 32, 1379 * 2 + 10, {88200, 88200, 64 * 10 + 112}, 56},
        // 1379 groups of 32 bytes = 44128 for a second of 44100: carry 28.
        {"mono 22050 XMD", 44100, 16, 1380, {44100, 60}, 28},
        // A second that groups fill exactly still decodes one group more.
        {"exact fit", 256, 32, 5, {256, 64}, 64},
        {"one short group", 88200, 32, 1, {64}, 0},
    };
    for (const Case& c : cases) {
        FrameBlockBuffer blocks;
        blocks.Allocate(c.second, static_cast<std::uint32_t>(c.groupSamples * 2));
        CountingStream stream{c.groups, c.groupSamples};
        const Drained run = Drain(blocks, stream);
        EXPECT_EQ(run.sizes, c.sizes) << c.what;
        ASSERT_FALSE(run.carries.empty());
        EXPECT_EQ(run.carries[0], c.firstCarry) << c.what;
        ASSERT_EQ(run.samples.size(), c.groups * c.groupSamples) << c.what;
        for (std::size_t i = 0; i < run.samples.size(); ++i) {
            ASSERT_EQ(run.samples[i], static_cast<std::int16_t>(i)) << c.what << " sample " << i;
        }
        EXPECT_EQ(blocks.Next(stream), 0u) << "still ended";
    }
}

// A second shorter than a group (a rate of a few hertz): the carry stays within one group and
// the buffer of one second plus one group is never overrun (the sanitizer build checks).
TEST(FrameBlocks, ASecondShorterThanAGroupNeverGrowsTheCarry) {
    for (std::uint32_t second : {2u, 4u, 6u, 62u, 64u, 66u}) {
        FrameBlockBuffer blocks;
        blocks.Allocate(second, 128);
        CountingStream stream{7, 64};
        const Drained run = Drain(blocks, stream);
        for (std::uint32_t carry : run.carries) {
            ASSERT_LE(carry, 128u) << second;
        }
        ASSERT_EQ(run.samples.size(), 7u * 64u) << second;
        for (std::size_t i = 0; i < run.samples.size(); ++i) {
            ASSERT_EQ(run.samples[i], static_cast<std::int16_t>(i)) << second;
        }
    }
}

TEST(FrameBlocks, RewindDropsTheCarry) {
    FrameBlockBuffer blocks;
    blocks.Allocate(88200, 64);
    CountingStream stream{2000, 32};
    ASSERT_EQ(blocks.Next(stream), 88200u);
    ASSERT_EQ(blocks.Carry(), 56u);
    blocks.Rewind();
    stream = CountingStream{2000, 32};
    ASSERT_EQ(blocks.Next(stream), 88200u);
    EXPECT_EQ(test::Samples(blocks.Data(), 2)[0], 0);
}

}  // namespace
}  // namespace fogbell::plugin
