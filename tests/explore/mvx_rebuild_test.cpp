// Laying out a rebuilt MVX archive (mvx::Rebuild) over bytes.
#include <gtest/gtest.h>

#include "byte_writer.h"
#include "layout_reader.h"
#include "mvx_archive.h"
#include "mvx_builder.h"

namespace fogbell::mvx {
namespace {

using test::MvxBuilder;
using test::Pattern;
using test::PutU32LE;
using Bytes = std::vector<std::uint8_t>;

TEST(MvxRebuild, TracksGoBackToBackAndTheNameBlockEndsTheArchive) {
    auto built = MvxBuilder()
                     .Add("a.xmd", Pattern(30, 1), 4)
                     .Add("b.xmd", Pattern(40, 2), 9)
                     .Add("c.xmd", Pattern(50, 3))
                     .Build();
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    const Bytes replacement = Pattern(400, 9);
    plugin::RebuiltContainer out;
    std::string error;
    ASSERT_TRUE(Rebuild(archive, archive.tracks[0], replacement.data(), 400, out, error)) << error;
    const Bytes bytes = out.Flatten();
    const auto read = test::layout::ReadMvx(bytes);
    ASSERT_EQ(read.members.size(), 3u);
    EXPECT_EQ(read.members[0].bytes, replacement);
    EXPECT_EQ(read.members[1].bytes, Pattern(40, 2));
    EXPECT_EQ(read.members[2].bytes, Pattern(50, 3));
    EXPECT_EQ(read.members[1].name, "b.xmd");
    EXPECT_EQ(read.members[0].offset, built.offsets[0]);
    EXPECT_EQ(bytes.size(), built.offsets[0] + 400u + 40u + 50u + 16u * 3);
}

TEST(MvxRebuild, RefusesResultsPast32BitsTracksOutsideAndATrackInTheTable) {
    auto built = MvxBuilder().Add("a.xmd", Pattern(30, 1)).Add("b.xmd", Pattern(40, 2)).Build();
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    plugin::RebuiltContainer out;
    std::string error;
    EXPECT_FALSE(Rebuild(archive, archive.tracks[0], built.bytes.data(), 0xFFFFFFF0u, out, error));
    EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;

    Bytes outside = built.bytes;
    PutU32LE(outside, MvxBuilder::PairOffset(1) + 4, 1000000);
    Archive damaged;
    ASSERT_EQ(Parse(outside.data(), static_cast<std::uint32_t>(outside.size()), damaged),
              Status::kOk);
    EXPECT_FALSE(Rebuild(damaged, damaged.tracks[0], built.bytes.data(), 4, out, error));
    EXPECT_NE(error.find("b.xmd lies outside"), std::string::npos) << error;

    Bytes inTable = built.bytes;
    PutU32LE(inTable, MvxBuilder::PairOffset(0), 4);
    Archive early;
    ASSERT_EQ(Parse(inTable.data(), static_cast<std::uint32_t>(inTable.size()), early),
              Status::kOk);
    EXPECT_FALSE(Rebuild(early, early.tracks[1], built.bytes.data(), 4, out, error));
    EXPECT_NE(error.find("inside its table"), std::string::npos) << error;
}

}  // namespace
}  // namespace fogbell::mvx
