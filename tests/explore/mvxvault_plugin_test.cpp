// mvxvault loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "explorer_test.h"
#include "mvx_builder.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

// An XMD-like track: channel count, rate, then pattern bytes (as much of it as size holds).
Bytes Track(std::uint8_t channels, std::uint16_t rate, std::size_t size, std::uint32_t seed) {
    Bytes bytes = Pattern(size, seed);
    const std::uint8_t header[] = {channels, static_cast<std::uint8_t>(rate),
                                   static_cast<std::uint8_t>(rate >> 8)};
    std::copy_n(header, std::min(size, sizeof header), bytes.begin());
    return bytes;
}

class MvxVault : public ExplorerTest {
  protected:
    MvxVault() : ExplorerTest("mvxvault", "sample.mvx") {}

    static MvxBuilder::Result Sample() {
        return MvxBuilder()
            .Add("bgm01.xmd", Track(2, 44100, 100, 1), 8)
            .Add("Voice.XMD", Track(1, 22050, 1000, 2), 3)
            .Add("empty.xmd", {})
            .Add("last.xmd", Track(2, 32000, 50, 3))
            .Build();
    }
};

TEST_F(MvxVault, ExportsReplacementAndBitrateAndListsMvx) {
    EXPECT_NE(api.ReplaceFile, nullptr);
    EXPECT_NE(api.ReplaceFileMemory, nullptr);
    EXPECT_NE(api.GetBitrate, nullptr);
    const char* const* extensions = api.GetSupportExt();
    ASSERT_NE(extensions, nullptr);
    EXPECT_STREQ(extensions[0], "MVX");
    EXPECT_EQ(extensions[1], nullptr);
}

TEST_F(MvxVault, ListsTheStoredNamesFromAPathOrMemory) {
    auto built = Sample();
    const std::vector<std::string> expected{"bgm01.xmd", "Voice.XMD", "empty.xmd", "last.xmd"};
    const int fromPath = api.LoadFile(Save(built.bytes).c_str());
    ASSERT_NE(fromPath, -1) << api.Error();
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(Names(fromPath), expected);
    const int fromMemory = Open(built.bytes);
    ASSERT_NE(fromMemory, -1) << api.Error();
    EXPECT_EQ(Names(fromMemory), expected);
    EXPECT_EQ(api.CloseFile(fromPath), 1);
    EXPECT_EQ(api.CloseFile(fromMemory), 1);
    EXPECT_EQ(built.bytes, Sample().bytes);  // the caller's bytes were only read

    Bytes none = {'M', 'V', 'X', 0, 0, 0, 0, 0};
    const int empty = Open(none);
    ASSERT_NE(empty, -1) << api.Error();
    char** list = api.GetListFiles(empty);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], nullptr);
    api.CloseFile(empty);
}

TEST_F(MvxVault, LooksNamesUpIgnoringCase) {
    auto built = Sample();
    const int h = Open(built.bytes);
    std::uint32_t length = 0;
    EXPECT_EQ(api.GetFilePointer(h, "voice.xmd", &length), built.bytes.data() + built.offsets[1]);
    EXPECT_EQ(length, 1000u);
    EXPECT_EQ(api.GetFilePointer(h, "VOICE.xmd", nullptr), built.bytes.data() + built.offsets[1]);
    EXPECT_EQ(api.GetLengthFile(h, "BGM01.XMD"), 100u);
    EXPECT_EQ(api.Error(), "OK");

    length = 9;
    EXPECT_EQ(api.GetFilePointer(h, "missing.xmd", &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.Error(), "File missing.xmd not found.");
    // The length of a missing name is 0 with no text of its own.
    EXPECT_EQ(api.GetLengthFile(h, "missing.xmd"), 0u);
    EXPECT_EQ(api.Error(), "OK");
    api.CloseFile(h);
}

TEST_F(MvxVault, BitrateComesFromTheFirstThreeBytes) {
    auto built = MvxBuilder()
                     .Add("a.xmd", {0x02, 0x44, 0xAC, 0x10, 0, 0, 0})
                     .Add("short.xmd", {0x02, 0x44})
                     .Build();
    const int h = Open(built.bytes);
    EXPECT_EQ(api.GetBitrate(h, "A.XMD"), 44100u * 65536u + 2u);
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(api.GetBitrate(h, "short.xmd"), 0u);
    EXPECT_EQ(api.Error(), "File short.xmd is too short for an XMD header.");
    EXPECT_EQ(api.GetBitrate(h, "nothing"), 0u);
    EXPECT_EQ(api.Error(), "File nothing not found.");
    api.CloseFile(h);
}

TEST_F(MvxVault, ExtractsTracksUnchangedAndEmptyOnesAsAText) {
    auto built = Sample();
    const int h = api.LoadFile(Save(built.bytes).c_str());
    const std::string out = dir.File("voice.bin");  // written exactly there
    ASSERT_EQ(api.ExtractFile(h, "voice.xmd", out.c_str()), 1) << api.Error();
    EXPECT_EQ(ReadFile(out), Track(1, 22050, 1000, 2));

    const std::string empty = dir.File("empty.xmd");
    ASSERT_EQ(api.ExtractFile(h, "EMPTY.xmd", empty.c_str()), 1);
    EXPECT_EQ(ReadFile(empty), BytesOf("Empty Length"));  // 12 bytes, no terminator

    EXPECT_EQ(api.ExtractFile(h, "gone.xmd", out.c_str()), 0);
    EXPECT_EQ(api.Error(), "File gone.xmd not found.");
    EXPECT_EQ(api.ExtractFile(h, "last.xmd", dir.File("no/such/dir/x").c_str()), 0);
    EXPECT_EQ(api.Error(), "Can't create file last.xmd.");  // the track's name, not the path
    EXPECT_EQ(api.ExtractFile(h, "last.xmd", nullptr), 0);
    EXPECT_EQ(api.Error(), "NULL file pointer.");  // as every explorer refuses a null path
    api.CloseFile(h);
}

TEST_F(MvxVault, ReplacementKeepsOrShrinksAndNeverGrows) {
    auto built = Sample();
    const int h = Open(built.bytes);
    EXPECT_EQ(Replace(h, "Voice.XMD", Pattern(1000, 5)), 1);
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(Replace(h, "voice.xmd", Pattern(600, 6)), 1);
    EXPECT_EQ(api.GetLengthFile(h, "voice.xmd"), 600u);
    const Bytes before = built.bytes;
    EXPECT_EQ(Replace(h, "voice.xmd", Pattern(700, 7)), 0);
    EXPECT_EQ(api.Error(), "File too big. Maximum size: 600.");
    EXPECT_EQ(built.bytes, before);
    EXPECT_EQ(Slice(built.bytes, built.offsets[1], 600), Pattern(600, 6));
    EXPECT_EQ(Slice(built.bytes, built.offsets[1] + 600, 400), Slice(Pattern(1000, 5), 600, 400));

    // A missing name fails with the text left "OK".
    EXPECT_EQ(Replace(h, "missing.xmd", Pattern(10, 1)), 0);
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(api.ReplaceFileMemory(h, "last.xmd", nullptr, 10), 0);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
    EXPECT_EQ(built.bytes, before);
    api.CloseFile(h);
}

TEST_F(MvxVault, ReplaceFromAPathChangesTheArchiveOnDisk) {
    auto built = Sample();
    const std::string archive = Save(built.bytes);
    const std::string replacement = dir.File("new.xmd");
    WriteFile(replacement, Pattern(80, 4));
    const int h = api.LoadFile(archive.c_str());
    ASSERT_EQ(api.ReplaceFile(h, "BGM01.xmd", replacement.c_str()), 1) << api.Error();
    EXPECT_EQ(api.Error(), "OK");
    const std::string missing = dir.File("missing.xmd");
    EXPECT_EQ(api.ReplaceFile(h, "bgm01.xmd", missing.c_str()), 0);
    EXPECT_EQ(api.Error(), "Can't open " + missing + " file.");
    EXPECT_EQ(api.ReplaceFile(h, "bgm01.xmd", Save({}, "empty.xmd").c_str()), 0);
    EXPECT_EQ(api.Error(), "Can't open " + dir.File("empty.xmd") + " file.");
    api.CloseFile(h);

    Bytes expected = built.bytes;
    const Bytes data = Pattern(80, 4);
    std::copy(data.begin(), data.end(), expected.begin() + built.offsets[0]);
    PutU32LE(expected, MvxBuilder::PairOffset(0) + 4, 80);
    EXPECT_EQ(ReadFile(archive), expected);
}

TEST_F(MvxVault, RoundTripsThroughExtractAndReplace) {
    auto built = Sample();
    const std::string archive = Save(built.bytes);
    const int h = api.LoadFile(archive.c_str());
    for (const char* name : {"bgm01.xmd", "Voice.XMD", "last.xmd"}) {
        const std::string out = dir.File(std::string(name) + ".out");
        ASSERT_EQ(api.ExtractFile(h, name, out.c_str()), 1);
        ASSERT_EQ(api.ReplaceFile(h, name, out.c_str()), 1) << api.Error();
    }
    EXPECT_EQ(ReadFile(archive), built.bytes);  // unchanged, byte for byte

    // Shrink, then a file longer than the new size is refused.
    const std::string shorter = dir.File("shorter");
    WriteFile(shorter, Pattern(30, 8));
    ASSERT_EQ(api.ReplaceFile(h, "bgm01.xmd", shorter.c_str()), 1);
    const std::string extracted = dir.File("bgm.out");
    ASSERT_EQ(api.ExtractFile(h, "bgm01.xmd", extracted.c_str()), 1);
    EXPECT_EQ(ReadFile(extracted), Pattern(30, 8));
    const std::string longer = dir.File("longer");
    WriteFile(longer, Pattern(31, 9));
    EXPECT_EQ(api.ReplaceFile(h, "bgm01.xmd", longer.c_str()), 0);
    EXPECT_EQ(api.Error(), "File too big. Maximum size: 30.");
    api.CloseFile(h);
}

TEST_F(MvxVault, PathLoadingLooksForASlotFirstAndLetsTheOpenJudgeThePath) {
    EXPECT_EQ(api.LoadFile(nullptr), -1);
    EXPECT_EQ(api.Error(), "NULL file pointer.");
    const std::string missing = dir.File("missing.mvx");
    EXPECT_EQ(api.LoadFile(missing.c_str()), -1);
    EXPECT_EQ(api.Error(), "Unable to open the file: " + missing + "!");
    const std::string empty = Save({}, "empty.mvx");
    EXPECT_EQ(api.LoadFile(empty.c_str()), -1);
    EXPECT_EQ(api.Error(), "Unable to map the file: " + empty + "!");
    EXPECT_EQ(api.LoadFile(Save(BytesOf("not an archive"), "bad.mvx").c_str()), -1);
    EXPECT_EQ(api.Error(), "Is Not MVX file format.");

    auto built = Sample();
    for (int expected = 0; expected < 100; ++expected) {
        ASSERT_EQ(Open(built.bytes), expected);
    }
    EXPECT_EQ(api.LoadFile(missing.c_str()), -1);
    EXPECT_EQ(api.Error(), "Not free handles.");  // before the path is even looked at
    EXPECT_EQ(Open(built.bytes), -1);
    EXPECT_EQ(api.Error(), "Not free handles.");
    EXPECT_EQ(api.CloseFile(37), 1);
    EXPECT_EQ(api.LoadFile(Save(built.bytes).c_str()), 37);
    for (int h = 0; h < 100; ++h) {
        api.CloseFile(h);
    }
}

TEST_F(MvxVault, MemoryLoadingRefusesNullAndDamagedArchives) {
    EXPECT_EQ(api.LoadFileMemory(nullptr, 100), -1);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
    Bytes cut = {'M', 'V', 'X', 0, 1};
    EXPECT_EQ(Open(cut), -1);
    EXPECT_EQ(api.Error(), "Damaged MVX file: the header is cut short.");
    Bytes tooMany = Sample().bytes;
    PutU32LE(tooMany, 4, 0x10000000u);  // 16 x N wraps to 0 in 32 bits
    EXPECT_EQ(Open(tooMany), -1);
    EXPECT_EQ(api.Error(), "Damaged MVX file: the track table runs past the end of the file.");
    Bytes namesTooLong = Sample().bytes;
    PutU32LE(namesTooLong, 4, 100);  // the table fits, the names do not
    EXPECT_EQ(Open(namesTooLong), -1);
    EXPECT_EQ(api.Error(),
              "Damaged MVX file: the name block does not fit between the track table and the end "
              "of the file.");
}

TEST_F(MvxVault, BadHandlesAreRefusedByEveryEntryPoint) {
    std::uint32_t length = 5;
    EXPECT_EQ(api.CloseFile(-1), 0);
    EXPECT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");
    EXPECT_EQ(api.GetListFiles(100), nullptr);
    EXPECT_EQ(api.Error(), "Handle is invalid.[00000064]");
    EXPECT_EQ(api.GetFilePointer(5, "a", &length), nullptr);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.GetLengthFile(5, "a"), 0u);
    EXPECT_EQ(api.GetBitrate(5, "a"), 0u);
    EXPECT_EQ(api.ExtractFile(5, "a", "/tmp/x"), 0);
    EXPECT_EQ(api.ReplaceFile(5, "a", "/tmp/x"), 0);
    EXPECT_EQ(api.ReplaceFileMemory(5, "a", &length, 1), 0);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
}

TEST_F(MvxVault, DamagedTracksAreRefusedWhileTheOthersWork) {
    auto built = Sample();
    PutU32LE(built.bytes, MvxBuilder::PairOffset(1) + 4, 0xFFFFFFF0u);
    PutU32LE(built.bytes, MvxBuilder::PairOffset(3), built.nameBlock);  // over the names
    const Bytes before = built.bytes;
    const int h = Open(built.bytes);
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(Names(h).size(), 4u);
    const std::string text = "Damaged MVX file: voice.xmd lies outside the archive.";
    std::uint32_t length = 1;
    EXPECT_EQ(api.GetFilePointer(h, "voice.xmd", &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.GetBitrate(h, "voice.xmd"), 0u);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.ExtractFile(h, "voice.xmd", dir.File("v").c_str()), 0);
    EXPECT_EQ(api.Error(), text);
    EXPECT_FALSE(FileExists(dir.File("v")));
    EXPECT_EQ(Replace(h, "voice.xmd", Pattern(4, 1)), 0);
    EXPECT_EQ(api.Error(), text);
    // A track placed over the name block can be read but never written.
    EXPECT_NE(api.GetFilePointer(h, "last.xmd", &length), nullptr);
    EXPECT_EQ(Replace(h, "last.xmd", Pattern(4, 1)), 0);
    EXPECT_EQ(api.Error(), "Can't replace last.xmd: its place in the archive is damaged.");
    EXPECT_EQ(built.bytes, before);
    EXPECT_EQ(Names(h)[3], "last.xmd");
    EXPECT_NE(api.GetFilePointer(h, "bgm01.xmd", &length), nullptr);
    EXPECT_EQ(length, 100u);
    api.CloseFile(h);
}

// Every truncation and many byte changes of the header, the table and the name block: the
// plug-in must never read or write outside the bytes it was given (the sanitizer build checks
// this), crash or hang.
TEST_F(MvxVault, SurvivesTruncatedAndCorruptedArchives) {
    const Bytes good = MvxBuilder()
                           .Add("a.xmd", Track(2, 44100, 30, 1))
                           .Add("b.xmd", Track(1, 8000, 2, 2))
                           .Add("sixteen-chars.xm", Track(1, 8000, 9, 3))
                           .Build()
                           .bytes;
    std::vector<Bytes> variants;
    for (std::size_t size = 0; size < good.size(); ++size) {
        variants.push_back(Slice(good, 0, size));
    }
    for (std::uint32_t seed = 0; seed < 400; ++seed) {
        Bytes bytes = good;
        const Bytes noise = Pattern(8, seed);
        const std::size_t at = noise[4] & 1 ? noise[0] % 32                      // header, table
                                            : bytes.size() - 1 - noise[0] % 48;  // names
        bytes[at] = noise[1];
        bytes[(at + noise[2]) % bytes.size()] ^= noise[3];
        if (noise[5] & 1) {
            bytes[(at | 3) % bytes.size()] = 0xFF;  // large values
        }
        variants.push_back(bytes);
    }
    const Bytes replacement = Pattern(5, 4);
    for (Bytes& bytes : variants) {
        Bytes exact(bytes);  // exactly sized heap block
        const int h = Open(exact);
        if (h == -1) {
            continue;
        }
        const std::vector<std::string> names = Names(h);
        for (const std::string& name : names) {
            std::uint32_t length = 0;
            const auto* data =
                static_cast<const std::uint8_t*>(api.GetFilePointer(h, name.c_str(), &length));
            if (data != nullptr) {
                ASSERT_GE(data, exact.data());
                ASSERT_LE(data + length, exact.data() + exact.size());
            }
            api.GetBitrate(h, name.c_str());
            api.GetLengthFile(h, name.c_str());
            api.ExtractFile(h, name.c_str(), dir.File("x").c_str());
            Replace(h, name.c_str(), replacement);
        }
        EXPECT_EQ(api.CloseFile(h), 1);
    }
}

}  // namespace
}  // namespace fogbell::test
