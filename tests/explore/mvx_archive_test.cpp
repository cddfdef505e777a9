// Reading MVX archives and replacing their tracks: the name block, lookups, the room of a
// track and damaged archives.
#include "mvx_archive.h"

#include <gtest/gtest.h>

#include "byte_writer.h"
#include "mvx_builder.h"

namespace fogbell::mvx {
namespace {

using plugin::kNoRoom;
using test::GetU32LE;
using test::MvxBuilder;
using test::Pattern;
using test::PutU32LE;
using test::Slice;
using Bytes = std::vector<std::uint8_t>;

Status ParseAll(Bytes& bytes, Archive& archive) {
    return Parse(bytes.data(), static_cast<std::uint32_t>(bytes.size()), archive);
}

MvxBuilder::Result ThreeTracks() {
    return MvxBuilder()
        .Add("bgm01.xmd", Pattern(100, 1), 12)
        .Add("Voice.XMD", Pattern(1000, 2), 5)
        .Add("last.xmd", Pattern(40, 3))
        .Build();
}

TEST(MvxParse, TakesTheNamesFromTheEndOfTheArchive) {
    auto built = MvxBuilder().Add("first", Pattern(20, 1)).Add("second", Pattern(30, 2)).Build();
    const std::size_t length = built.bytes.size();
    ASSERT_EQ(built.nameBlock, length - 32);
    // The fields at L - 32 and L - 16 are what the names are.
    std::copy_n("ALPHA", 6, built.bytes.begin() + static_cast<std::ptrdiff_t>(length - 32));
    std::copy_n("BETA", 5, built.bytes.begin() + static_cast<std::ptrdiff_t>(length - 16));
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    ASSERT_EQ(archive.tracks.size(), 2u);
    EXPECT_STREQ(archive.tracks[0].name, "ALPHA");
    EXPECT_STREQ(archive.tracks[1].name, "BETA");
    EXPECT_EQ(archive.tracks[1].offset, built.offsets[1]);
    EXPECT_EQ(archive.tracks[1].Size(), 30u);
}

TEST(MvxParse, RepeatedAndEmptyNamesAreListedUnderNamesOfTheirOwn) {
    auto built = MvxBuilder()
                     .Add("a.xmd", Pattern(4, 1))
                     .Add("A.XMD", Pattern(5, 2))
                     .Add("", Pattern(6, 3))
                     .Add("exactly16chars.x", Pattern(7, 4))
                     .Add("exactly16chars.x", Pattern(8, 5))
                     .Build();
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    const char* listed[] = {"a.xmd", "A (2).XMD", "00002.xmd", "exactly16chars.x",
                            "exactly16chars (2).x"};
    for (std::size_t i = 0; i < std::size(listed); ++i) {
        EXPECT_STREQ(ListedName(archive, i), listed[i]);
        EXPECT_EQ(FindTrack(archive, listed[i]), &archive.tracks[i]) << listed[i];
    }
    EXPECT_STREQ(StoredName(archive, 1), "A.XMD");
    EXPECT_STREQ(StoredName(archive, 2), "");
    EXPECT_EQ(FindTrack(archive, ""), nullptr);
}

TEST(MvxParse, ANameFieldWithoutATerminatorGivesSixteenCharacters) {
    auto built = MvxBuilder()
                     .Add("exactly16chars.x", Pattern(4, 1))
                     .Add("longer than sixteen.xmd", Pattern(4, 2))
                     .Add("b", Pattern(4, 3))
                     .Build();
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    EXPECT_STREQ(archive.tracks[0].name, "exactly16chars.x");
    EXPECT_STREQ(archive.tracks[1].name, "longer than sixt");
    EXPECT_STREQ(archive.tracks[2].name, "b");
}

TEST(MvxParse, AcceptsAnArchiveWithoutTracks) {
    Bytes bytes = {'M', 'V', 'X', 0, 0, 0, 0, 0};
    Archive archive;
    EXPECT_EQ(ParseAll(bytes, archive), Status::kOk);
    EXPECT_TRUE(archive.tracks.empty());
}

TEST(MvxParse, RefusesArchivesWhoseHeaderTableOrNamesDoNotFit) {
    const Bytes good = ThreeTracks().bytes;
    const auto length = static_cast<std::uint32_t>(good.size());
    auto withCount = [&](std::uint32_t count) {
        Bytes bytes = good;
        PutU32LE(bytes, 4, count);
        return bytes;
    };
    Bytes badMagic = good;
    badMagic[3] = '!';
    struct Case {
        const char* what;
        Bytes bytes;
        Status status;
    };
    const Case cases[] = {
        {"empty", {}, Status::kNotMvx},
        {"three bytes", {'M', 'V', 'X'}, Status::kNotMvx},
        {"wrong magic", badMagic, Status::kNotMvx},
        {"magic only", {'M', 'V', 'X', 0}, Status::kTruncated},
        {"magic and three bytes of the count", {'M', 'V', 'X', 0, 0, 0, 0}, Status::kTruncated},
        {"table past the end", withCount((length - 8) / 8 + 1), Status::kTableOutside},
        {"count 0xFFFFFFFF", withCount(0xFFFFFFFFu), Status::kTableOutside},
        // 8 x N wraps to 0 in 32-bit arithmetic.
        {"count 0x20000000", withCount(0x20000000u), Status::kTableOutside},
        // The table fits but the names would reach back into it.
        {"names over the table", withCount((length - 8) / 24 + 1), Status::kNamesOutside},
        {"names larger than the archive", withCount((length - 8) / 8), Status::kNamesOutside},
        {"names ending exactly at the table", withCount((length - 8) / 24), Status::kOk},
    };
    for (const Case& c : cases) {
        Bytes bytes = c.bytes;  // exactly sized: the sanitizer sees overreads
        Archive archive;
        EXPECT_EQ(ParseAll(bytes, archive), c.status) << c.what;
    }
    EXPECT_STREQ(StatusText(Status::kNotMvx), "Is Not MVX file format.");
}

TEST(MvxParse, KeepsTracksOutsideTheArchiveListedButUnusable) {
    auto built = ThreeTracks();
    auto& bytes = built.bytes;
    const auto length = static_cast<std::uint32_t>(bytes.size());
    PutU32LE(bytes, MvxBuilder::PairOffset(0), 0xFFFFFFF0u);      // starts past the end
    PutU32LE(bytes, MvxBuilder::PairOffset(1) + 4, 0xFFFFFFF0u);  // offset + size wraps
    Archive archive;
    ASSERT_EQ(ParseAll(bytes, archive), Status::kOk);
    EXPECT_FALSE(archive.tracks[0].InsideOf(length));
    EXPECT_FALSE(archive.tracks[1].InsideOf(length));
    EXPECT_TRUE(archive.tracks[2].InsideOf(length));
    EXPECT_EQ(archive.tracks[0].Room(), kNoRoom);
    const Bytes before = bytes;
    EXPECT_EQ(Replace(archive, archive.tracks[1], Pattern(1, 1).data(), 1),
              ReplaceStatus::kNoPlace);
    EXPECT_EQ(bytes, before);
}

TEST(MvxParse, RoomStopsAtTheNextTrackAndNeverCoversTheTableOrTheNames) {
    auto built = ThreeTracks();
    auto& bytes = built.bytes;
    // The last track's size reaches into the name block; the first's over the second.
    PutU32LE(bytes, MvxBuilder::PairOffset(2) + 4, built.nameBlock - built.offsets[2] + 8);
    PutU32LE(bytes, MvxBuilder::PairOffset(0) + 4, 300);
    Archive archive;
    ASSERT_EQ(ParseAll(bytes, archive), Status::kOk);
    EXPECT_EQ(archive.tracks[2].Room(), built.nameBlock - built.offsets[2]);
    EXPECT_EQ(archive.tracks[0].Room(), built.offsets[1] - built.offsets[0]);
    // Track 1 starts inside the bytes track 0 claims: writing it would overwrite track 0.
    EXPECT_EQ(archive.tracks[1].Room(), kNoRoom);

    auto overTable = ThreeTracks();
    PutU32LE(overTable.bytes, MvxBuilder::PairOffset(1), 4);
    PutU32LE(overTable.bytes, MvxBuilder::PairOffset(2), overTable.nameBlock + 2);
    PutU32LE(overTable.bytes, MvxBuilder::PairOffset(2) + 4, 4);
    Archive damaged;
    ASSERT_EQ(ParseAll(overTable.bytes, damaged), Status::kOk);
    EXPECT_EQ(damaged.tracks[1].Room(), kNoRoom);
    EXPECT_EQ(damaged.tracks[2].Room(), kNoRoom);
}

TEST(MvxFindTrack, FirstNameEqualWithoutRegardToCase) {
    auto built = MvxBuilder()
                     .Add("Song.xmd", Pattern(4, 1))
                     .Add("SONG.XMD", Pattern(4, 2))
                     .Add("other", Pattern(4, 3))
                     .Build();
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    EXPECT_EQ(FindTrack(archive, "song.xmd"), &archive.tracks[0]);
    EXPECT_EQ(FindTrack(archive, "SONG.xmd"), &archive.tracks[0]);
    EXPECT_EQ(FindTrack(archive, "OTHER"), &archive.tracks[2]);
    EXPECT_EQ(FindTrack(archive, "song"), nullptr);
    EXPECT_EQ(FindTrack(archive, ""), nullptr);
}

TEST(MvxBitrate, RateFromBytesOneAndTwoChannelsFromByteZero) {
    const Bytes track = {0x02, 0x44, 0xAC};
    EXPECT_EQ(Bitrate(track.data()), 44100u * 65536u + 2u);
    const Bytes mono = {0x01, 0x22, 0x56};
    EXPECT_EQ(Bitrate(mono.data()), 22050u * 65536u + 1u);
}

TEST(MvxReplace, KeepsOrShrinksButNeverGrows) {
    auto built = ThreeTracks();
    const Bytes original = built.bytes;
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    Track& voice = archive.tracks[1];
    const std::uint32_t at = built.offsets[1];

    const Bytes same = Pattern(1000, 7);
    EXPECT_EQ(Replace(archive, voice, same.data(), 1000), ReplaceStatus::kOk);
    EXPECT_EQ(Slice(built.bytes, at, 1000), same);
    const Bytes shorter = Pattern(600, 8);
    EXPECT_EQ(Replace(archive, voice, shorter.data(), 600), ReplaceStatus::kOk);
    EXPECT_EQ(voice.Size(), 600u);
    EXPECT_EQ(GetU32LE(built.bytes, MvxBuilder::PairOffset(1) + 4), 600u);
    EXPECT_EQ(Slice(built.bytes, at + 600, 400), Slice(same, 600, 400));  // old bytes stay
    const Bytes longer = Pattern(700, 9);
    const Bytes before = built.bytes;
    EXPECT_EQ(Replace(archive, voice, longer.data(), 700), ReplaceStatus::kTooBig);
    EXPECT_EQ(voice.Room(), 600);
    EXPECT_EQ(built.bytes, before);

    // Outside the track's first 1,000 bytes and its size field nothing ever changed.
    const std::size_t sizeField = MvxBuilder::PairOffset(1) + 4;
    for (std::size_t i = 0; i < original.size(); ++i) {
        if ((i < at || i >= at + 1000) && (i < sizeField || i >= sizeField + 4)) {
            ASSERT_EQ(built.bytes[i], original[i]) << i;
        }
    }
}

TEST(MvxReplace, TheTracksOwnBytesOrNoneAtAll) {
    auto built = ThreeTracks();
    const Bytes original = built.bytes;
    Archive archive;
    ASSERT_EQ(ParseAll(built.bytes, archive), Status::kOk);
    Track& voice = archive.tracks[1];
    EXPECT_EQ(Replace(archive, voice, built.bytes.data() + built.offsets[1], 1000),
              ReplaceStatus::kOk);
    EXPECT_EQ(built.bytes, original);
    // A later part of the track moved to its start.
    EXPECT_EQ(Replace(archive, voice, built.bytes.data() + built.offsets[1] + 10, 990),
              ReplaceStatus::kOk);
    EXPECT_EQ(Slice(built.bytes, built.offsets[1], 990),
              Slice(original, built.offsets[1] + 10, 990));
    EXPECT_EQ(Replace(archive, voice, nullptr, 0), ReplaceStatus::kOk);
    EXPECT_EQ(voice.Size(), 0u);
}

}  // namespace
}  // namespace fogbell::mvx
