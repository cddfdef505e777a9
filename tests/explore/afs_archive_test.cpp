// Reading AFS archives: both name-table places, rooms, lookups, and damaged archives.
#include "afs_archive.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "afs_builder.h"
#include "byte_writer.h"

namespace fogbell::afs {
namespace {

using test::AfsBuilder;
using test::Pattern;
using test::PutU32LE;

AfsBuilder ThreeMembers() {
    AfsBuilder b;
    b.Add("bgm01.adx", Pattern(40, 1), 8)
        .Add("voice.adx", Pattern(17, 2))
        .Add("last.bin", Pattern(33, 3), 100);
    return b;
}

TEST(AfsParse, FindsTheNameTableInEitherPlaceAndComputesTheLayoutRooms) {
    for (auto where :
         {AfsBuilder::NameTable::kBeforeFirstMember, AfsBuilder::NameTable::kAfterOffsetTable}) {
        auto built = ThreeMembers().Place(where).Build();
        Archive archive;
        ASSERT_EQ(
            Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
            Status::kOk);
        ASSERT_TRUE(archive.hasNameTable);
        EXPECT_EQ(archive.nameTableOffset, built.nameTableOffset);
        ASSERT_EQ(archive.entries.size(), 3u);
        const char* names[] = {"bgm01.adx", "voice.adx", "last.bin"};
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_STREQ(archive.entries[i].name, names[i]);
            EXPECT_EQ(archive.entries[i].offset, built.offsets[i]);
            EXPECT_EQ(archive.entries[i].room, built.rooms[i]) << i;
            EXPECT_EQ(archive.entries[i].date[0], 2001);
            EXPECT_EQ(archive.entries[i].date[5], 6);
        }
    }
}

TEST(AfsParse, PrefersTheWordBeforeTheFirstMember) {
    auto built = ThreeMembers().Place(AfsBuilder::NameTable::kBeforeFirstMember).Build();
    // A stale value after the offset table must not be used while the preferred word is set.
    PutU32LE(built.bytes, 8 + 8 * 3, 12);
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    EXPECT_EQ(archive.nameTableOffset, built.nameTableOffset);
}

TEST(AfsParse, NameOfExactly32CharactersHasNoTerminatorInTheArchive) {
    const std::string longName = "abcdefghijklmnopqrstuvwxyz012345";
    ASSERT_EQ(longName.size(), 32u);
    auto built = AfsBuilder().Add(longName, Pattern(4, 1)).Add("b", Pattern(4, 2)).Build();
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    EXPECT_EQ(archive.entries[0].name, longName);
    EXPECT_STREQ(archive.entries[1].name, "b");
}

TEST(AfsParse, LookupIgnoresCaseAndTakesTheFirstMatch) {
    auto built = AfsBuilder().Add("Song.adx", Pattern(4, 1)).Add("SONG.ADX", Pattern(4, 2)).Build();
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    EXPECT_EQ(FindEntry(archive, "song.adx"), &archive.entries[0]);
    EXPECT_EQ(FindEntry(archive, "SONG.ADX"), &archive.entries[0]);
    EXPECT_EQ(FindEntry(archive, "song"), nullptr);
}

TEST(AfsParse, EveryMemberOfALargeArchiveIsFoundByItsNameInAnyCase) {
    constexpr int kMembers = 3000;  // enough for names that share their slot
    AfsBuilder builder;
    for (int i = 0; i < kMembers; ++i) {
        builder.Add("Voice_" + std::to_string(i) + ".adx", Pattern(1, 1));
    }
    builder.Add("VOICE_7.ADX", Pattern(1, 2)).Add("\xC4x", Pattern(1, 3));
    auto built = builder.Build();
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    for (int i = 0; i < kMembers; ++i) {
        const std::string name = "voice_" + std::to_string(i) + ".ADX";
        ASSERT_EQ(FindEntry(archive, name.c_str()), &archive.entries[i]) << name;
    }
    EXPECT_EQ(FindEntry(archive, "\xC4X"), &archive.entries[kMembers + 1]);
    EXPECT_EQ(FindEntry(archive, "\xE4x"), nullptr);  // bytes above ASCII compare exactly
    EXPECT_EQ(FindEntry(archive, "voice_3000.adx"), nullptr);
    EXPECT_EQ(FindEntry(archive, ""), nullptr);
}

struct ListedNamesCase {
    const char* what;
    std::vector<std::string> stored;
    std::vector<std::string> listed;
};

class AfsListedNames : public ::testing::TestWithParam<ListedNamesCase> {};

TEST_P(AfsListedNames, EveryMemberIsListedAndFoundUnderANameOfItsOwn) {
    const ListedNamesCase& c = GetParam();
    AfsBuilder builder;
    for (std::size_t i = 0; i < c.stored.size(); ++i) {
        builder.Add(c.stored[i], Pattern(4, static_cast<std::uint8_t>(i + 1)));
    }
    auto built = builder.Build();
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    ASSERT_EQ(archive.entries.size(), c.listed.size());
    for (std::size_t i = 0; i < c.listed.size(); ++i) {
        EXPECT_EQ(ListedName(archive, i), c.listed[i]) << i;
        EXPECT_EQ(StoredName(archive, i), c.stored[i]) << i;
        EXPECT_EQ(FindEntry(archive, c.listed[i].c_str()), &archive.entries[i]) << c.listed[i];
    }
}

const std::string k32 = "abcdefghijklmnopqrstuvwxyz01.adx";

INSTANTIATE_TEST_SUITE_P(
    Names, AfsListedNames,
    ::testing::Values(
        ListedNamesCase{
            "repeated", {"a.adx", "dup.adx", "dup.adx"}, {"a.adx", "dup.adx", "dup (2).adx"}},
        ListedNamesCase{"empty", {"a.adx", "", "b.adx"}, {"a.adx", "00001.bin", "b.adx"}},
        ListedNamesCase{"spaces only", {"  ", "x"}, {"00000.bin", "x"}},
        ListedNamesCase{"a later member keeps its stored name",
                        {"dup.adx", "dup.adx", "dup (2).adx"},
                        {"dup.adx", "dup (3).adx", "dup (2).adx"}},
        ListedNamesCase{"case",
                        {"Song.adx", "SONG.ADX", "song.adx"},
                        {"Song.adx", "SONG (2).ADX", "song (3).adx"}},
        ListedNamesCase{"a stand-in comes after repeated names",
                        {"", "00000.bin", "00000.bin"},
                        {"00000 (3).bin", "00000.bin", "00000 (2).bin"}},
        ListedNamesCase{"no extension", {"n", "n", ".h", ".h"}, {"n", "n (2)", ".h", ".h (2)"}},
        ListedNamesCase{"32 characters", {k32, k32}, {k32, k32.substr(0, 28) + " (2).adx"}}),
    [](const ::testing::TestParamInfo<ListedNamesCase>& param) {
        std::string name = param.param.what;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST(AfsParse, RefusesArchivesWhoseHeaderOrTableIsDamaged) {
    const auto good = ThreeMembers().Build().bytes;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        Status status;
    };
    auto withCount = [&](std::uint32_t count) {
        auto bytes = good;
        PutU32LE(bytes, 4, count);
        return bytes;
    };
    auto badMagic = good;
    badMagic[2] = 'X';
    const Case cases[] = {
        {"empty", {}, Status::kNotAfs},
        {"three bytes", {'A', 'F', 'S'}, Status::kNotAfs},
        {"magic only", {'A', 'F', 'S', 0}, Status::kTruncated},
        {"magic and half a count", {'A', 'F', 'S', 0, 1, 0}, Status::kTruncated},
        {"wrong magic", badMagic, Status::kNotAfs},
        {"count zero", withCount(0), Status::kEmpty},
        {"count past the end", withCount(1000), Status::kTableOutside},
        {"count overflowing", withCount(0xFFFFFFFFu), Status::kTableOutside},
        {"count 0x20000000 (8 x N wraps in 32 bits)", withCount(0x20000000u),
         Status::kTableOutside},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = c.bytes;  // exactly sized: the sanitizer sees overreads
        Archive archive;
        EXPECT_EQ(Parse(bytes.data(), static_cast<std::uint32_t>(bytes.size()), archive), c.status)
            << c.what;
    }
}

TEST(AfsParse, KeepsMembersOutsideTheArchiveListedButUnusable) {
    // The name table's pointer after the offset table does not depend on member 0's offset.
    auto built = ThreeMembers().Place(AfsBuilder::NameTable::kAfterOffsetTable).Build();
    auto& bytes = built.bytes;
    PutU32LE(bytes, AfsBuilder::PairOffset(0), 0xFFFFFFF0u);      // offset past the end
    PutU32LE(bytes, AfsBuilder::PairOffset(1) + 4, 0xFFFFFFF0u);  // offset + size overflows 32 bits
    Archive archive;
    ASSERT_EQ(Parse(bytes.data(), static_cast<std::uint32_t>(bytes.size()), archive), Status::kOk);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    EXPECT_FALSE(archive.entries[0].InsideOf(length));
    EXPECT_FALSE(archive.entries[1].InsideOf(length));
    EXPECT_TRUE(archive.entries[2].InsideOf(length));
    EXPECT_EQ(archive.entries[0].room, kNoRoom);
    EXPECT_EQ(archive.entries[1].room, kNoRoom);
    EXPECT_EQ(archive.entries[2].room, built.rooms[2]);
}

TEST(AfsParse, MissingNameTableGivesNamesThatTellTheMembersApart) {
    std::vector<std::uint8_t> nested = {'A', 'F', 'S', 0, 0, 0, 0, 0};
    auto built = AfsBuilder()
                     .Place(AfsBuilder::NameTable::kNone)
                     .Add("", test::AdxSignatureBytes(64))
                     .Add("", Pattern(20, 9))
                     .Add("", nested)
                     .Build();
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    EXPECT_FALSE(archive.hasNameTable);
    EXPECT_STREQ(archive.entries[0].name, "00000.adx");
    EXPECT_STREQ(archive.entries[1].name, "00001.bin");
    EXPECT_STREQ(archive.entries[2].name, "00002.afs");
    EXPECT_EQ(archive.entries[0].nameEntry, nullptr);
    // Without a name table the last member's room ends at the archive's end.
    EXPECT_EQ(archive.entries[2].room,
              static_cast<std::int64_t>(built.bytes.size() - built.offsets[2]));
}

TEST(AfsParse, NameTableOutOfRangeIsTreatedAsMissing) {
    for (std::uint32_t tableOffset : {0xFFFFFF00u, 0u}) {
        auto built = ThreeMembers().Place(AfsBuilder::NameTable::kAfterOffsetTable).Build();
        PutU32LE(built.bytes, 8 + 8 * 3, tableOffset);
        Archive archive;
        ASSERT_EQ(
            Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
            Status::kOk);
        EXPECT_FALSE(archive.hasNameTable) << tableOffset;
        EXPECT_STREQ(archive.entries[1].name, "00001.bin");
    }
    // A table that starts inside the archive but runs past its end.
    auto built = ThreeMembers().Build();
    built.bytes.resize(built.bytes.size() - 1);
    Archive archive;
    ASSERT_EQ(Parse(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()), archive),
              Status::kOk);
    EXPECT_FALSE(archive.hasNameTable);
}

TEST(AfsParse, RoomNeverCoversAnotherMemberOrTheNameTable) {
    auto built = ThreeMembers().Build();
    auto& bytes = built.bytes;
    const auto length = static_cast<std::uint32_t>(bytes.size());
    // Member 0's layout room would reach up to member 2 when member 1 is listed after it.
    PutU32LE(bytes, AfsBuilder::PairOffset(1), built.offsets[2]);
    PutU32LE(bytes, AfsBuilder::PairOffset(2), built.offsets[1]);
    Archive archive;
    ASSERT_EQ(Parse(bytes.data(), length, archive), Status::kOk);
    EXPECT_EQ(archive.entries[0].room, built.offsets[1] - built.offsets[0]);
    // Member 2 now lies before member 1: its layout room (to the name table) is cut at member 1.
    EXPECT_EQ(archive.entries[2].room, built.offsets[2] - built.offsets[1]);
    // Member 1 (at the old offset of 2) has a negative layout room: never replaceable.
    EXPECT_EQ(archive.entries[1].room, kNoRoom);

    // Two members sharing their first byte can never be replaced.
    auto shared = ThreeMembers().Build();
    PutU32LE(shared.bytes, AfsBuilder::PairOffset(1), shared.offsets[0]);
    Archive sharedArchive;
    ASSERT_EQ(
        Parse(shared.bytes.data(), static_cast<std::uint32_t>(shared.bytes.size()), sharedArchive),
        Status::kOk);
    EXPECT_EQ(sharedArchive.entries[0].room, kNoRoom);
    EXPECT_EQ(sharedArchive.entries[1].room, kNoRoom);

    // A member placed over the header can never be replaced.
    auto overHeader = ThreeMembers().Build();
    PutU32LE(overHeader.bytes, AfsBuilder::PairOffset(2), 4);
    PutU32LE(overHeader.bytes, AfsBuilder::PairOffset(2) + 4, 4);
    Archive headerArchive;
    ASSERT_EQ(Parse(overHeader.bytes.data(), static_cast<std::uint32_t>(overHeader.bytes.size()),
                    headerArchive),
              Status::kOk);
    EXPECT_EQ(headerArchive.entries[2].room, kNoRoom);
}

TEST(AfsGuessExtension, RecognisesEachKindByItsFirstBytes) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* extension;
    };
    auto adxWithoutSignature = test::AdxSignatureBytes(40);
    adxWithoutSignature[31] = '?';
    auto adxOffsetTooLarge = test::AdxSignatureBytes(40);
    adxOffsetTooLarge[3] = 0xF0;
    const Case cases[] = {
        {test::AdxSignatureBytes(40), "adx"},
        {adxWithoutSignature, "bin"},
        {adxOffsetTooLarge, "bin"},
        {{0x80, 0, 0, 1}, "bin"},  // header offset 1: the signature would start before the file
        {{'A', 'I', 'X', 'F', 0}, "aix"},
        {{'R', 'I', 'F', 'F'}, "wav"},
        {{'S', 'D', 'P', 'A'}, "pac"},
        {{'M', 'V', 'X', 0}, "mvx"},
        {{'A', 'F', 'S', 0}, "afs"},
        {{'A', 'F', 'S'}, "bin"},
        {{}, "bin"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = c.bytes;
        EXPECT_STREQ(GuessExtension(bytes.data(), static_cast<std::uint32_t>(bytes.size())),
                     c.extension);
    }
}

}  // namespace
}  // namespace fogbell::afs
