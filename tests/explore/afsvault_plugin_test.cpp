// afsvault loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "afs_builder.h"
#include "byte_writer.h"
#include "explorer_test.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

class AfsVault : public ExplorerTest {
  protected:
    AfsVault() : ExplorerTest("afsvault", "sample.afs") {}

    static AfsBuilder Sample() {
        AfsBuilder b;
        b.Add("bgm01.adx", Pattern(100, 1), 28)
            .Add("Voice.ADX", Pattern(7, 2), 9)
            .Add("last.wav", Pattern(50, 3), 14);
        return b;
    }
};

TEST_F(AfsVault, ExportsTheExplorerEntryPointsWithoutBitrate) {
    EXPECT_NE(api.ReplaceFile, nullptr);
    EXPECT_NE(api.ReplaceFileMemory, nullptr);
    EXPECT_EQ(api.GetBitrate, nullptr);
    const char* const* extensions = api.GetSupportExt();
    ASSERT_NE(extensions, nullptr);
    EXPECT_STREQ(extensions[0], "AFS");
    EXPECT_EQ(extensions[1], nullptr);
}

TEST_F(AfsVault, OpensFromPathAndMemoryAndListsStoredNames) {
    auto built = Sample().Build();
    const int fromPath = api.LoadFile(Save(built.bytes).c_str());
    ASSERT_NE(fromPath, -1) << api.Error();
    EXPECT_EQ(api.Error(), "OK");
    const int fromMemory = Open(built.bytes);
    ASSERT_NE(fromMemory, -1) << api.Error();
    const std::vector<std::string> expected{"bgm01.adx", "Voice.ADX", "last.wav"};
    EXPECT_EQ(Names(fromPath), expected);
    EXPECT_EQ(Names(fromMemory), expected);
    EXPECT_EQ(api.CloseFile(fromPath), 1);
    EXPECT_EQ(api.CloseFile(fromMemory), 1);
    EXPECT_EQ(built.bytes, Sample().Build().bytes);  // the caller's bytes were never touched
}

TEST_F(AfsVault, ListingTwiceGivesAFreshListEachTime) {
    auto built = Sample().Build();
    const int h = Open(built.bytes);
    char** first = api.GetListFiles(h);
    ASSERT_NE(first, nullptr);
    char** second = api.GetListFiles(h);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second[2], "last.wav");
    EXPECT_EQ(second[3], nullptr);
    api.CloseFile(h);
}

TEST_F(AfsVault, PointerAndLengthFindTheFirstNameIgnoringCase) {
    auto built =
        AfsBuilder().Add("Song.adx", Pattern(12, 1)).Add("SONG.ADX", Pattern(30, 2)).Build();
    const int h = Open(built.bytes);
    ASSERT_NE(h, -1);
    std::uint32_t length = 99;
    const void* data = api.GetFilePointer(h, "song.ADX", &length);
    EXPECT_EQ(data, built.bytes.data() + built.offsets[0]);
    EXPECT_EQ(length, 12u);
    EXPECT_EQ(api.GetLengthFile(h, "SONG.adx"), 12u);
    EXPECT_EQ(api.GetFilePointer(h, "song.adx", nullptr), data);

    length = 99;
    EXPECT_EQ(api.GetFilePointer(h, "nothing.adx", &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.Error(), "nothing.adx file not found.");
    EXPECT_EQ(api.GetLengthFile(h, "nothing.adx"), 0u);
    api.CloseFile(h);
}

TEST_F(AfsVault, EveryListedNameReachesItsOwnMemberThroughEveryEntryPoint) {
    const char* stored[] = {"dup.adx", "DUP.ADX", "", "dup.adx"};
    const char* listed[] = {"dup.adx", "DUP (2).ADX", "00002.bin", "dup (3).adx"};
    AfsBuilder builder;
    for (std::size_t i = 0; i < std::size(stored); ++i) {
        builder.Add(stored[i], Pattern(10 + i, static_cast<std::uint32_t>(i + 1)), 8);
    }
    auto built = builder.Build();
    const int h = Open(built.bytes);
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(Names(h), std::vector<std::string>(std::begin(listed), std::end(listed)));
    for (std::size_t i = 0; i < std::size(listed); ++i) {
        const char* name = listed[i];
        std::uint32_t length = 0;
        EXPECT_EQ(api.GetFilePointer(h, name, &length), built.bytes.data() + built.offsets[i])
            << name;
        EXPECT_EQ(length, 10 + i) << name;
        EXPECT_EQ(api.GetLengthFile(h, name), 10 + i) << name;
        const std::string out = dir.File("out" + std::to_string(i));
        ASSERT_EQ(api.ExtractFile(h, name, out.c_str()), 1) << api.Error();
        EXPECT_EQ(ReadFile(out), Pattern(10 + i, static_cast<std::uint32_t>(i + 1))) << name;
        const Bytes replacement = Pattern(18, static_cast<std::uint32_t>(i + 20));
        ASSERT_EQ(Replace(h, name, replacement), 1) << api.Error();
    }
    for (std::size_t i = 0; i < std::size(listed); ++i) {  // each replacement hit its own member
        const auto* at = built.bytes.data() + built.offsets[i];
        EXPECT_EQ(Bytes(at, at + 18), Pattern(18, static_cast<std::uint32_t>(i + 20))) << i;
    }
    EXPECT_EQ(api.GetLengthFile(h, ""), 0u);  // an empty name is never listed, so never found
    EXPECT_EQ(api.CloseFile(h), 1);
}

TEST_F(AfsVault, SuccessfulCallsOtherThanLoadAndReplaceKeepAnEarlierText) {
    auto built = Sample().Build();
    const int h = Open(built.bytes);
    api.GetLengthFile(h, "missing");
    ASSERT_EQ(api.Error(), "missing file not found.");
    EXPECT_NE(api.GetListFiles(h), nullptr);
    EXPECT_EQ(api.GetLengthFile(h, "last.wav"), 50u);
    EXPECT_EQ(api.Error(), "missing file not found.");
    api.CloseFile(h);
}

TEST_F(AfsVault, ExtractsExactlyTheMembersBytes) {
    auto built = Sample().Build();
    const int h = api.LoadFile(Save(built.bytes).c_str());
    const std::string out = dir.File("out.bin");
    EXPECT_EQ(api.ExtractFile(h, "VOICE.adx", out.c_str()), 1);
    EXPECT_EQ(ReadFile(out), Pattern(7, 2));

    const std::string badOut = dir.File("no/such/dir/x.bin");
    EXPECT_EQ(api.ExtractFile(h, "last.wav", badOut.c_str()), 0);
    EXPECT_EQ(api.Error(), "Can't create " + badOut + " file.");
    EXPECT_EQ(api.ExtractFile(h, "absent", out.c_str()), 0);
    EXPECT_EQ(api.Error(), "absent file not found.");
    EXPECT_EQ(api.ExtractFile(h, nullptr, out.c_str()), 0);
    api.CloseFile(h);
}

TEST_F(AfsVault, ReplacementUpToTheRoomSucceedsAndOneByteMoreChangesNothing) {
    auto built = Sample().Build();
    const std::uint32_t room = built.rooms[1];
    const int h = Open(built.bytes);
    ASSERT_NE(h, -1);

    const Bytes tooLong = Pattern(room + 1, 7);
    const Bytes before = built.bytes;
    EXPECT_EQ(Replace(h, "voice.adx", tooLong), 0);
    EXPECT_EQ(api.Error(), "File too long. Maximum size: " + std::to_string(room));
    EXPECT_EQ(built.bytes, before);

    const Bytes exact = Pattern(room, 8);
    EXPECT_EQ(Replace(h, "voice.adx", exact), 1);
    EXPECT_EQ(api.GetLengthFile(h, "voice.adx"), room);
    EXPECT_EQ(Bytes(built.bytes.begin() + built.offsets[1],
                    built.bytes.begin() + built.offsets[1] + room),
              exact);
    // Neighbours are untouched.
    EXPECT_EQ(
        Bytes(built.bytes.begin() + built.offsets[0], built.bytes.begin() + built.offsets[0] + 100),
        Pattern(100, 1));
    EXPECT_EQ(
        Bytes(built.bytes.begin() + built.offsets[2], built.bytes.begin() + built.offsets[2] + 50),
        Pattern(50, 3));
    api.CloseFile(h);
}

TEST_F(AfsVault, ShorterReplacementKeepsTheRestOfTheSlotAndStampsTheDate) {
    auto built = Sample().Build();
    const int h = Open(built.bytes);
    const Bytes shorter = Pattern(10, 9);
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(Replace(h, "bgm01.adx", shorter), 1);

    std::uint32_t length = 0;
    const auto* data =
        static_cast<const std::uint8_t*>(api.GetFilePointer(h, "bgm01.adx", &length));
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(Bytes(data, data + 10), shorter);
    const Bytes old = Pattern(100, 1);
    EXPECT_EQ(Bytes(data + 10, data + 100), Bytes(old.begin() + 10, old.end()));
    EXPECT_EQ(GetU32LE(built.bytes, AfsBuilder::PairOffset(0) + 4), 10u);

    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &before);
#else
    localtime_r(&before, &local);
#endif
    const std::size_t entry = AfsBuilder::NameEntryOffset(built, 0);
    EXPECT_EQ(GetU16LE(built.bytes, entry + 32), local.tm_year + 1900);
    EXPECT_EQ(GetU16LE(built.bytes, entry + 34), local.tm_mon + 1);
    EXPECT_EQ(GetU16LE(built.bytes, entry + 36), local.tm_mday);
    // The other members keep the builder's date.
    EXPECT_EQ(GetU16LE(built.bytes, AfsBuilder::NameEntryOffset(built, 1) + 32), 2001);
    api.CloseFile(h);
}

TEST_F(AfsVault, LastMembersRoomEndsAtTheNameTable) {
    for (auto where :
         {AfsBuilder::NameTable::kBeforeFirstMember, AfsBuilder::NameTable::kAfterOffsetTable}) {
        auto built = Sample().Place(where).Build();
        const std::uint32_t room = built.nameTableOffset - built.offsets[2];
        const int h = Open(built.bytes);
        const Bytes fits = Pattern(room, 4);
        const Bytes over = Pattern(room + 1, 4);
        EXPECT_EQ(Replace(h, "last.wav", over), 0);
        EXPECT_EQ(Replace(h, "last.wav", fits), 1);
        EXPECT_STREQ(api.GetListFiles(h)[2], "last.wav");  // the name table is intact
        api.CloseFile(h);
    }
}

TEST_F(AfsVault, ReplaceFromAPathChangesTheArchiveOnDisk) {
    auto built = Sample().Build();
    const std::string archive = Save(built.bytes);
    const std::string replacement = dir.File("new.adx");
    WriteFile(replacement, Pattern(30, 5));
    const int h = api.LoadFile(archive.c_str());
    api.GetLengthFile(h, "missing");  // leaves a text that the replacement resets
    ASSERT_EQ(api.ReplaceFile(h, "BGM01.adx", replacement.c_str()), 1) << api.Error();
    EXPECT_EQ(api.Error(), "OK");
    api.CloseFile(h);

    const Bytes disk = ReadFile(archive);
    EXPECT_EQ(GetU32LE(disk, AfsBuilder::PairOffset(0) + 4), 30u);
    EXPECT_EQ(Bytes(disk.begin() + built.offsets[0], disk.begin() + built.offsets[0] + 30),
              Pattern(30, 5));

    const int again = api.LoadFile(archive.c_str());
    EXPECT_EQ(api.ReplaceFile(again, "bgm01.adx", dir.File("missing.adx").c_str()), 0);
    EXPECT_EQ(api.Error(), "Can't open " + dir.File("missing.adx") + " file.");
    api.CloseFile(again);
}

TEST_F(AfsVault, LoadFailuresGiveTheirTexts) {
    EXPECT_EQ(api.LoadFile(""), -1);
    EXPECT_EQ(api.Error(), "Empty file name.");
    EXPECT_EQ(api.LoadFile(nullptr), -1);
    EXPECT_EQ(api.Error(), "NULL file pointer.");
    const std::string missing = dir.File("missing.afs");
    EXPECT_EQ(api.LoadFile(missing.c_str()), -1);
    EXPECT_EQ(api.Error(), "File " + missing + " not exists.");

    api.GetLengthFile(-1, "x");  // any text
    EXPECT_EQ(api.LoadFile(Save({}, "empty.afs").c_str()), -1);
    EXPECT_EQ(api.Error(), "OK");  // an empty file fails without a text of its own

    EXPECT_EQ(api.LoadFile(Save(BytesOf("not an archive"), "bad.afs").c_str()), -1);
    EXPECT_EQ(api.Error(), "Is not AFS file.");
    const Bytes noMembers = {'A', 'F', 'S', 0, 0, 0, 0, 0};
    EXPECT_EQ(api.LoadFileMemory(noMembers.data(), 8), -1);
    EXPECT_EQ(api.Error(), "Is not AFS file, or file is empty");
    EXPECT_EQ(api.LoadFileMemory(nullptr, 8), -1);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
}

TEST_F(AfsVault, HundredHandlesThenTheLowestClosedSlotIsReused) {
    auto built = Sample().Build();
    const auto size = static_cast<std::uint32_t>(built.bytes.size());
    for (int expected = 0; expected < 100; ++expected) {
        ASSERT_EQ(api.LoadFileMemory(built.bytes.data(), size), expected);
    }
    EXPECT_EQ(api.LoadFileMemory(built.bytes.data(), size), -1);
    EXPECT_EQ(api.Error(), "Not free handle");
    EXPECT_EQ(api.LoadFile(Save(built.bytes).c_str()), -1);
    EXPECT_EQ(api.Error(), "Not free handle");
    EXPECT_EQ(api.CloseFile(37), 1);
    EXPECT_EQ(api.LoadFileMemory(built.bytes.data(), size), 37);
    for (int h = 0; h < 100; ++h) {
        api.CloseFile(h);
    }
}

TEST_F(AfsVault, BadHandlesAreRefusedByEveryEntryPoint) {
    std::uint32_t length = 5;
    EXPECT_EQ(api.CloseFile(-1), 0);
    EXPECT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");
    EXPECT_EQ(api.GetListFiles(100), nullptr);
    EXPECT_EQ(api.Error(), "Handle is invalid.[00000064]");
    EXPECT_EQ(api.GetFilePointer(5, "a", &length), nullptr);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.GetLengthFile(5, "a"), 0u);
    EXPECT_EQ(api.ExtractFile(5, "a", "/tmp/x"), 0);
    EXPECT_EQ(api.ReplaceFile(5, "a", "/tmp/x"), 0);
    EXPECT_EQ(api.ReplaceFileMemory(5, "a", &length, 1), 0);
    EXPECT_EQ(api.Error(), "NULL pointer struct");

    auto built = Sample().Build();
    const int h = Open(built.bytes);
    EXPECT_EQ(api.CloseFile(h), 1);
    EXPECT_EQ(api.CloseFile(h), 0);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
}

TEST_F(AfsVault, DamagedMembersAreRefusedWhileTheOthersStayUsable) {
    auto built = Sample().Build();
    PutU32LE(built.bytes, AfsBuilder::PairOffset(1), 0xFFFFFFF0u);
    const int h = Open(built.bytes);
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(Names(h).size(), 3u);
    std::uint32_t length = 1;
    EXPECT_EQ(api.GetFilePointer(h, "voice.adx", &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.Error(), "Damaged AFS file: voice.adx lies outside the archive.");
    EXPECT_EQ(api.ExtractFile(h, "voice.adx", dir.File("v").c_str()), 0);
    EXPECT_FALSE(FileExists(dir.File("v")));
    const Bytes one = {1};
    EXPECT_EQ(Replace(h, "voice.adx", one), 0);
    EXPECT_EQ(api.Error(), "Can't replace voice.adx: its place in the archive is damaged.");
    EXPECT_NE(api.GetFilePointer(h, "last.wav", &length), nullptr);
    EXPECT_EQ(length, 50u);
    api.CloseFile(h);
}

// Every truncation and many single-byte changes of a valid archive: the plug-in must never read
// or write outside the bytes it was given (the sanitizer build checks this), crash or hang.
TEST_F(AfsVault, SurvivesTruncatedAndCorruptedArchives) {
    const Bytes good = Sample().Build().bytes;
    std::vector<Bytes> variants;
    for (std::size_t size = 0; size < good.size(); ++size) {
        variants.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    }
    for (std::uint32_t seed = 0; seed < 400; ++seed) {
        Bytes bytes = good;
        const Bytes noise = Pattern(8, seed);
        const std::size_t at = noise[0] % 48;  // the header, the table and the pointers
        bytes[at] = noise[1];
        bytes[(at + noise[2]) % bytes.size()] ^= noise[3];
        variants.push_back(bytes);
    }
    const Bytes replacement = Pattern(64, 1);
    for (Bytes& bytes : variants) {
        Bytes exact(bytes);  // exactly sized heap block
        const int h = Open(exact);
        if (h == -1) {
            continue;
        }
        char** list = api.GetListFiles(h);
        ASSERT_NE(list, nullptr);
        std::vector<std::string> names;
        for (char** p = list; *p; ++p) {
            names.emplace_back(*p);
        }
        for (const std::string& name : names) {
            std::uint32_t length = 0;
            const auto* data =
                static_cast<const std::uint8_t*>(api.GetFilePointer(h, name.c_str(), &length));
            if (data != nullptr) {
                ASSERT_GE(data, exact.data());
                ASSERT_LE(data + length, exact.data() + exact.size());
            }
            api.ExtractFile(h, name.c_str(), dir.File("x").c_str());
            Replace(h, name.c_str(), replacement);
        }
        EXPECT_EQ(api.CloseFile(h), 1);
    }
}

}  // namespace
}  // namespace fogbell::test
