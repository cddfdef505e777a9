// Laying out a rebuilt AFS archive (afs::Rebuild) over bytes: the alignment it keeps, the
// tables it rewrites, the 32-bit limit and the archives it refuses.
#include <gtest/gtest.h>

#include "afs_archive.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "layout_reader.h"

namespace fogbell::afs {
namespace {

using test::AfsBuilder;
using test::GetU32LE;
using test::Pattern;
using test::PutU32LE;
using Bytes = std::vector<std::uint8_t>;

constexpr Date kStamp = {2030, 6, 7, 8, 9, 10};

Status ParseAll(Bytes& bytes, Archive& archive) {
    return Parse(bytes.data(), static_cast<std::uint32_t>(bytes.size()), archive);
}

TEST(AfsAlignment, IsTheLargestPowerOfTwoUpTo2048ThatEveryMemberOffsetShares) {
    for (const std::uint32_t align : {1u, 4u, 16u, 512u, 2048u, 4096u}) {
        Bytes bytes = AfsBuilder()
                          .Align(align)
                          .Add("a", Pattern(3, 1))
                          .Add("b", Pattern(5, 2))
                          .Add("c", Pattern(7, 3))
                          .Build()
                          .bytes;
        Archive archive;
        ASSERT_EQ(ParseAll(bytes, archive), Status::kOk);
        const std::uint32_t alignment = Alignment(archive);
        EXPECT_GE(alignment, std::min(align, kLargestAlignment)) << align;
        EXPECT_LE(alignment, kLargestAlignment);
        for (const Entry& entry : archive.entries) {
            EXPECT_EQ(entry.offset % alignment, 0u);
        }
    }
}

TEST(AfsAlignment, AnEmptyMemberDoesNotLowerIt) {
    auto built = AfsBuilder()
                     .Align(64)
                     .Add("a", Pattern(64, 1))
                     .Add("b", {})
                     .Add("c", Pattern(9, 2))
                     .Build();
    PutU32LE(built.bytes, AfsBuilder::PairOffset(1), 3);  // an empty member anywhere
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    EXPECT_EQ(Alignment(archive), 64u);
}

TEST(AfsRebuild, RewritesOffsetsSizesAndTheNameTableAndBorrowsEverythingElse) {
    auto built = AfsBuilder()
                     .Align(32)
                     .Add("one.adx", Pattern(40, 1))
                     .Add("two.adx", Pattern(20, 2))
                     .Add("three.adx", Pattern(60, 3))
                     .Build();
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    const Bytes replacement = Pattern(100, 9);
    plugin::RebuiltContainer out;
    std::string error;
    ASSERT_TRUE(Rebuild(archive, archive.entries[1], replacement.data(), 100, kStamp, out, error))
        << error;
    const Bytes bytes = out.Flatten();
    EXPECT_EQ(bytes.size(), out.Length());
    const auto read = test::layout::ReadAfs(bytes);
    ASSERT_EQ(read.members.size(), 3u);
    EXPECT_EQ(read.members[0].bytes, Pattern(40, 1));
    EXPECT_EQ(read.members[1].bytes, replacement);
    EXPECT_EQ(read.members[2].bytes, Pattern(60, 3));
    EXPECT_EQ(read.members[1].date, kStamp);
    EXPECT_EQ(read.members[0].date[0], 2001);
    EXPECT_EQ(read.members[0].offset, built.offsets[0]);
    EXPECT_EQ(read.members[1].offset, built.offsets[1]);        // 40 bytes still end before it
    EXPECT_EQ(read.members[2].offset, built.offsets[1] + 128);  // 100 bytes, up to 32's
    // The open archive is not touched.
    EXPECT_EQ(GetU32LE(built.bytes, AfsBuilder::PairOffset(1) + 4), 20u);
}

TEST(AfsRebuild, AResultPast32BitOffsetsIsRefused) {
    auto built = AfsBuilder().Add("a", Pattern(40, 1)).Add("b", Pattern(20, 2)).Build();
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    plugin::RebuiltContainer out;
    std::string error;
    // The length alone decides: the bytes are only borrowed, never read, when it is refused.
    EXPECT_FALSE(
        Rebuild(archive, archive.entries[0], built.bytes.data(), 0xFFFFFFF0u, kStamp, out, error));
    EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
    EXPECT_EQ(out.Length(), 0u);
}

TEST(AfsRebuild, RefusesAMemberOutsideTheArchiveAndAFirstMemberInsideTheTables) {
    auto built = AfsBuilder().Add("a", Pattern(40, 1)).Add("b", Pattern(20, 2)).Build();
    Bytes outside = built.bytes;
    PutU32LE(outside, AfsBuilder::PairOffset(1) + 4, 100000);
    Archive archive;
    ASSERT_EQ(ParseAll(outside, archive), Status::kOk);
    plugin::RebuiltContainer out;
    std::string error;
    const Bytes replacement = Pattern(10, 3);
    EXPECT_FALSE(Rebuild(archive, archive.entries[0], replacement.data(), 10, kStamp, out, error));
    EXPECT_NE(error.find("b lies outside"), std::string::npos) << error;
    // The member being replaced may lie outside: its bytes are not kept.
    error.clear();
    EXPECT_TRUE(Rebuild(archive, archive.entries[1], replacement.data(), 10, kStamp, out, error))
        << error;

    Bytes inside = built.bytes;
    PutU32LE(inside, AfsBuilder::PairOffset(0), 12);
    Archive damaged;
    ASSERT_EQ(ParseAll(inside, damaged), Status::kOk);
    plugin::RebuiltContainer none;
    EXPECT_FALSE(Rebuild(damaged, damaged.entries[1], replacement.data(), 10, kStamp, none, error));
    EXPECT_NE(error.find("inside its tables"), std::string::npos) << error;
}

}  // namespace
}  // namespace fogbell::afs
