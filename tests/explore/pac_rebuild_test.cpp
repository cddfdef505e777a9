// Laying out a rebuilt PAC container (pac::Rebuild, pac::MeasureReplacement) over bytes.
#include <gtest/gtest.h>

#include "byte_writer.h"
#include "layout_reader.h"
#include "pac_builder.h"
#include "pac_container.h"
#include "wave_builder.h"

namespace fogbell::pac {
namespace {

using test::GetU32LE;
using test::PacBuilder;
using test::Pattern;
using Bytes = std::vector<std::uint8_t>;

Bytes Wave(std::size_t samples, std::uint32_t seed) {
    test::WaveOptions options;
    options.channels = 1;
    options.rate = 11025;
    return test::BuildWave(options, Pattern(samples, seed));
}

TEST(PacMeasure, TheRewrittenHeaderCountsTwoBytesMoreForA44ByteHeader) {
    const Bytes wave = Wave(100, 1);
    std::uint64_t needed = 0;
    ASSERT_TRUE(MeasureReplacement(wave.data(), static_cast<std::uint32_t>(wave.size()), needed));
    EXPECT_EQ(needed, wave.size() + 2);
    EXPECT_FALSE(MeasureReplacement(wave.data(), 31, needed));  // below the smallest replacement
    const Bytes junk = Pattern(100, 2);
    EXPECT_FALSE(MeasureReplacement(junk.data(), 100, needed));
}

TEST(PacRebuild, TracksGoBackToBackWithTheirThirdWordKept) {
    auto built = PacBuilder().Add(Wave(50, 1), 10).Add(Wave(60, 2), 3).Add(Wave(70, 3)).Build();
    Container container;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), container),
              Status::kOk);
    const Bytes wave = Wave(500, 9);
    plugin::RebuiltContainer out;
    std::string error;
    ASSERT_TRUE(Rebuild(container, container.tracks[1], wave.data(),
                        static_cast<std::uint32_t>(wave.size()), out, error))
        << error;
    const Bytes bytes = out.Flatten();
    const auto read = test::layout::ReadPac(bytes);
    ASSERT_EQ(read.members.size(), 3u);
    EXPECT_EQ(read.members[0].bytes, Wave(50, 1));
    EXPECT_EQ(read.members[2].bytes, Wave(70, 3));
    EXPECT_EQ(read.members[1].size, wave.size() + 2);
    EXPECT_EQ(read.members[0].offset, built.offsets[0]);
    EXPECT_EQ(read.members[1].offset, read.members[0].offset + read.members[0].size);
    EXPECT_EQ(read.members[2].offset, read.members[1].offset + read.members[1].size);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(GetU32LE(bytes, PacBuilder::EntryOffset(i) + 8), PacBuilder::UnusedField(i));
    }
    EXPECT_EQ(bytes.size(), read.members[2].offset + read.members[2].size);
}

TEST(PacRebuild, RefusesAReplacementThatIsNoWave) {
    auto built = PacBuilder().Add(Wave(50, 1)).Build();
    Container container;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), container),
              Status::kOk);
    plugin::RebuiltContainer out;
    std::string error;
    const Bytes junk = Pattern(100, 2);
    EXPECT_FALSE(Rebuild(container, container.tracks[0], junk.data(), 100, out, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(out.Length(), 0u);
}

TEST(PacRebuild, AReplacedTrackOutsideTheContainerIsPlacedAfresh) {
    auto built = PacBuilder().Add(Wave(50, 1)).Add(Wave(60, 2)).Build();
    test::PutU32LE(built.bytes, PacBuilder::EntryOffset(1) + 4, 900000);
    Container container;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), container),
              Status::kOk);
    const Bytes wave = Wave(80, 4);
    plugin::RebuiltContainer out;
    std::string error;
    ASSERT_TRUE(Rebuild(container, container.tracks[1], wave.data(),
                        static_cast<std::uint32_t>(wave.size()), out, error))
        << error;
    const auto read = test::layout::ReadPac(out.Flatten());
    EXPECT_EQ(read.members[0].bytes, Wave(50, 1));
    EXPECT_EQ(read.members[1].size, wave.size() + 2);
    // Track 0 lying outside is refused: its bytes could not be kept.
    EXPECT_FALSE(Rebuild(container, container.tracks[0], wave.data(),
                         static_cast<std::uint32_t>(wave.size()), out, error));
    EXPECT_NE(error.find("Track 1.wav lies outside"), std::string::npos) << error;
}

TEST(PacRebuild, RefusesAFirstTrackInsideTheTable) {
    auto built = PacBuilder().Add(Wave(50, 1)).Add(Wave(60, 2)).Build();
    test::PutU32LE(built.bytes, PacBuilder::EntryOffset(0), 4);
    Container container;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), container),
              Status::kOk);
    const Bytes wave = Wave(80, 4);
    plugin::RebuiltContainer out;
    std::string error;
    EXPECT_FALSE(Rebuild(container, container.tracks[1], wave.data(),
                         static_cast<std::uint32_t>(wave.size()), out, error));
    EXPECT_NE(error.find("inside its table"), std::string::npos) << error;
    EXPECT_EQ(out.Length(), 0u);
}

}  // namespace
}  // namespace fogbell::pac
