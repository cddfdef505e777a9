// pacvault loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "explorer_test.h"
#include "pac_builder.h"
#include "riff_wave_builder.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

using Layout = RiffWaveBuilder::Layout;

class PacVault : public ExplorerTest {
  protected:
    PacVault() : ExplorerTest("pacvault", "sample.pac") {}

    // Track 0: stereo 44100 Hz, 1044 bytes; track 1: mono 22050 Hz, 2000 bytes.
    static PacBuilder::Result Sample() {
        return PacBuilder()
            .Add(RiffWaveBuilder().Build(Pattern(1000, 1)), 12)
            .Add(RiffWaveBuilder().Format(1, 22050).Build(Pattern(1956, 2)))
            .Build();
    }
};

TEST_F(PacVault, ExportsReplacementAndBitrateAndListsPac) {
    EXPECT_NE(api.ReplaceFile, nullptr);
    EXPECT_NE(api.ReplaceFileMemory, nullptr);
    EXPECT_NE(api.GetBitrate, nullptr);
    const char* const* extensions = api.GetSupportExt();
    ASSERT_NE(extensions, nullptr);
    EXPECT_STREQ(extensions[0], "PAC");
    EXPECT_EQ(extensions[1], nullptr);
}

TEST_F(PacVault, NamesTracksByNumberAndRefusesNumbersNotBelowTheCount) {
    auto built = Sample();
    const int h = api.LoadFile(Save(built.bytes).c_str());
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(Names(h), (std::vector<std::string>{"Track 0.wav", "Track 1.wav"}));

    const std::string text = "Track 2.wav file not found.";
    std::uint32_t length = 7;
    EXPECT_EQ(api.GetFilePointer(h, "Track 2.wav", &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.GetLengthFile(h, "Track 2.wav"), 0u);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.GetBitrate(h, "Track 2.wav"), 0u);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.ExtractFile(h, "Track 2.wav", dir.File("x.wav").c_str()), 0);
    EXPECT_EQ(api.Error(), text);
    EXPECT_FALSE(FileExists(dir.File("x.wav")));
    const Bytes file = RiffWaveBuilder().Build(Pattern(10, 1));
    EXPECT_EQ(Replace(h, "Track 2.wav", file), 0);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.GetLengthFile(h, nullptr), 0u);
    EXPECT_EQ(api.Error(), "NULL file name.");
    EXPECT_EQ(api.CloseFile(h), 1);
}

TEST_F(PacVault, PointerAndLengthLeadToTheTracksBytes) {
    auto built = Sample();
    const int h = Open(built.bytes);
    ASSERT_NE(h, -1) << api.Error();
    std::uint32_t length = 0;
    EXPECT_EQ(api.GetFilePointer(h, "Track 1.wav", &length), built.bytes.data() + built.offsets[1]);
    EXPECT_EQ(length, 2000u);
    EXPECT_EQ(api.GetFilePointer(h, "Track 1.wav", nullptr), built.bytes.data() + built.offsets[1]);
    EXPECT_EQ(api.GetLengthFile(h, "Track 0.wav"), 1044u);
    EXPECT_EQ(api.Error(), "OK");
    // A name without a number reads as track 0.
    EXPECT_EQ(api.GetFilePointer(h, "Song.wav", &length), built.bytes.data() + built.offsets[0]);
    EXPECT_EQ(length, 1044u);
    api.CloseFile(h);
}

TEST_F(PacVault, BitratePacksRateAndChannels) {
    auto built = Sample();
    const int h = Open(built.bytes);
    EXPECT_EQ(api.GetBitrate(h, "Track 1.wav"), 22050u * 65536u + 1u);
    EXPECT_EQ(api.GetBitrate(h, "Track 0.wav"), 44100u * 65536u + 2u);
    EXPECT_EQ(api.Error(), "OK");
    api.CloseFile(h);

    // A track too short to hold the two fields.
    auto tiny = PacBuilder().Add(Pattern(27, 1)).Build();
    const int t = Open(tiny.bytes);
    EXPECT_EQ(api.GetBitrate(t, "Track 0.wav"), 0u);
    EXPECT_EQ(api.Error(), "Track 0.wav is too short for a WAVE header.");
    api.CloseFile(t);
}

TEST_F(PacVault, ExtractsExactlyTheTrackToAWavPath) {
    auto built = Sample();
    const int h = api.LoadFile(Save(built.bytes).c_str());
    const std::string wav = dir.File("Track 0.wav");
    ASSERT_EQ(api.ExtractFile(h, "Track 0.wav", wav.c_str()), 1) << api.Error();
    const Bytes extracted = ReadFile(wav);
    EXPECT_EQ(extracted.size(), 1044u);
    EXPECT_EQ(Slice(extracted, 0, 4), BytesOf("RIFF"));
    EXPECT_EQ(extracted, Slice(built.bytes, built.offsets[0], 1044));

    // Another extension is replaced by ".wav"; none gets ".wav" appended.
    EXPECT_EQ(api.ExtractFile(h, "Track 1.wav", dir.File("second.bin").c_str()), 1);
    EXPECT_FALSE(FileExists(dir.File("second.bin")));
    EXPECT_EQ(ReadFile(dir.File("second.wav")).size(), 2000u);
    EXPECT_EQ(api.ExtractFile(h, "Track 1.wav", dir.File("third").c_str()), 1);
    EXPECT_TRUE(FileExists(dir.File("third.wav")));

    const std::string bad = dir.File("no/such/dir/x.bin");
    EXPECT_EQ(api.ExtractFile(h, "Track 0.wav", bad.c_str()), 0);
    EXPECT_EQ(api.Error(), "Can't create " + bad + " file.");  // the path as passed
    EXPECT_EQ(api.ExtractFile(h, "Track 0.wav", nullptr), 0);
    EXPECT_EQ(api.Error(), "NULL file pointer.");
    api.CloseFile(h);
}

TEST_F(PacVault, ReplacementTextsAndResults) {
    auto built = Sample();
    const Bytes before = built.bytes;
    const int h = Open(built.bytes);

    EXPECT_EQ(api.ReplaceFileMemory(h, "Track 1.wav", Pattern(31, 1).data(), 31), 0);
    EXPECT_EQ(api.Error(), "Error size file.");
    EXPECT_EQ(api.ReplaceFileMemory(h, "Track 1.wav", nullptr, 100), 0);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
    Bytes fmt20 = RiffWaveBuilder().Build(Pattern(100, 1));
    PutU32LE(fmt20, 16, 20);
    EXPECT_EQ(Replace(h, "Track 1.wav", fmt20), 0);
    EXPECT_EQ(api.Error(), "Unknown waveformat.");
    EXPECT_EQ(built.bytes, before);

    // Exactly the track's size: no "File too long".
    const Bytes exact = RiffWaveBuilder().Use(Layout::kFmt18Data).Build(Pattern(1954, 3));
    EXPECT_EQ(Replace(h, "Track 1.wav", exact), 1);
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(api.GetLengthFile(h, "Track 1.wav"), 2000u);

    // Longer: cut to the size and still a success, with the text.
    const Bytes longer = RiffWaveBuilder().Build(Pattern(3000, 4));
    EXPECT_EQ(Replace(h, "Track 1.wav", longer), 1);
    EXPECT_EQ(api.Error(), "File too long. Maximum size: 2000");
    EXPECT_EQ(api.GetLengthFile(h, "Track 1.wav"), 2000u);
    EXPECT_EQ(Slice(built.bytes, built.offsets[1] + 46, 1954), Slice(Pattern(3000, 4), 0, 1954));
    // Track 0 and the container's header are untouched.
    EXPECT_EQ(Slice(built.bytes, 0, built.offsets[1]), Slice(before, 0, built.offsets[1]));
    api.CloseFile(h);
}

TEST_F(PacVault, WorkedExampleThroughAFileOnDisk) {
    auto built = PacBuilder()
                     .Add(RiffWaveBuilder().Build(Pattern(1956, 1)))
                     .Add(RiffWaveBuilder().Build(Pattern(500, 2)))
                     .Build();
    const std::string container = Save(built.bytes);
    const Bytes samples = Pattern(1000, 3);
    const std::string replacement = dir.File("new.wav");
    WriteFile(replacement, RiffWaveBuilder().Build(samples));  // 1,044 bytes
    const int h = api.LoadFile(container.c_str());
    ASSERT_EQ(api.ReplaceFile(h, "Track 0.wav", replacement.c_str()), 1) << api.Error();
    EXPECT_EQ(api.Error(), "OK");
    api.CloseFile(h);

    Bytes expected = built.bytes;
    const std::uint32_t at = built.offsets[0];
    Bytes header;
    ByteWriter(header)
        .Text("RIFF")
        .U32LE(1000)
        .Text("WAVE")
        .Text("fmt ")
        .U32LE(18)
        .U16LE(1)
        .U16LE(2)
        .U32LE(44100)
        .U32LE(176400)
        .U16LE(4)
        .U16LE(16)
        .U16LE(0)
        .Text("data")
        .U32LE(958);
    std::copy(header.begin(), header.end(), expected.begin() + at);
    std::copy(samples.begin(), samples.end(), expected.begin() + at + 46);
    PutU32LE(expected, PacBuilder::EntryOffset(0) + 4, 1044);
    EXPECT_EQ(ReadFile(container), expected);
}

TEST_F(PacVault, ReplaceFileTexts) {
    auto built = Sample();
    const int h = api.LoadFile(Save(built.bytes).c_str());
    const std::string small = dir.File("small.wav");
    WriteFile(small, Pattern(31, 1));
    EXPECT_EQ(api.ReplaceFile(h, "Track 0.wav", small.c_str()), 0);
    EXPECT_EQ(api.Error(), "Error size " + small + " file.");
    const std::string missing = dir.File("missing.wav");
    EXPECT_EQ(api.ReplaceFile(h, "Track 0.wav", missing.c_str()), 0);
    EXPECT_EQ(api.Error(), "File " + missing + " not exists.");
    EXPECT_EQ(api.ReplaceFile(h, "Track 0.wav", ""), 0);
    EXPECT_EQ(api.Error(), "Empty file name.");

    const std::string longer = dir.File("long.wav");
    WriteFile(longer, RiffWaveBuilder().Build(Pattern(5000, 2)));
    EXPECT_EQ(api.ReplaceFile(h, "Track 0.wav", longer.c_str()), 1);
    EXPECT_EQ(api.Error(), "File too long. Maximum size: 1044");
    EXPECT_EQ(api.GetLengthFile(h, "Track 0.wav"), 1044u);
    api.CloseFile(h);
}

// Extract a track and put the extracted file back: what changes depends on the track's header.
TEST_F(PacVault, RoundTripsThroughExtractAndReplace) {
    // A standard 46-byte header has RIFF length = size - 8 and data length = size - 46.
    const Bytes standard = RiffWaveBuilder().Use(Layout::kFmt18Data).Build(Pattern(954, 1));
    // The same track as a replacement writes it: the lengths biased by 44 and 86.
    Bytes biased = standard;
    PutU32LE(biased, 4, 1000 - 44);
    PutU32LE(biased, 42, 1000 - 86);
    const Bytes canonical = RiffWaveBuilder().Build(Pattern(956, 2));
    auto built = PacBuilder().Add(biased).Add(standard).Add(canonical).Build();
    const std::string container = Save(built.bytes);
    const int h = api.LoadFile(container.c_str());
    ASSERT_NE(h, -1);
    for (const char* name : {"Track 0.wav", "Track 1.wav", "Track 2.wav"}) {
        const std::string out = dir.File(std::string(name));
        ASSERT_EQ(api.ExtractFile(h, name, out.c_str()), 1);
        ASSERT_EQ(api.ReplaceFile(h, name, out.c_str()), 1) << api.Error();
        EXPECT_EQ(api.Error(), "OK");
    }
    api.CloseFile(h);

    const Bytes disk = ReadFile(container);
    // Track 0 comes back unchanged: the container is byte for byte the same there.
    EXPECT_EQ(Slice(disk, built.offsets[0], 1000), biased);
    // Track 1: only its two length fields take the biased values.
    EXPECT_EQ(Slice(disk, built.offsets[1], 1000), biased);
    // Track 2: the header grows to 46 bytes; the samples move by two and the last two, which
    // no longer fit in the track's 1,000 bytes, are dropped.
    const std::uint32_t at = built.offsets[2];
    EXPECT_EQ(GetU32LE(disk, at + 16), 18u);
    EXPECT_EQ(Slice(disk, at + 46, 954), Slice(Pattern(956, 2), 0, 954));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(GetU32LE(disk, PacBuilder::EntryOffset(i) + 4), 1000u);
    }
    // The header and the table are as they were.
    EXPECT_EQ(Slice(disk, 0, built.offsets[0]), Slice(built.bytes, 0, built.offsets[0]));
}

TEST_F(PacVault, ShrinkingKeepsTheTailAndLowersTheRoom) {
    auto built = Sample();
    const int h = Open(built.bytes);
    const Bytes old = Slice(built.bytes, built.offsets[1], 2000);
    const Bytes shorter = RiffWaveBuilder().Use(Layout::kFmt18Data).Build(Pattern(554, 5));
    ASSERT_EQ(Replace(h, "Track 1.wav", shorter), 1);
    EXPECT_EQ(api.GetLengthFile(h, "Track 1.wav"), 600u);
    EXPECT_EQ(Slice(built.bytes, built.offsets[1] + 600, 1400), Slice(old, 600, 1400));
    // The track's room is now its new size.
    const Bytes again = RiffWaveBuilder().Use(Layout::kFmt18Data).Build(Pattern(654, 6));
    EXPECT_EQ(Replace(h, "Track 1.wav", again), 1);
    EXPECT_EQ(api.Error(), "File too long. Maximum size: 600");
    EXPECT_EQ(Slice(built.bytes, built.offsets[1] + 600, 1400), Slice(old, 600, 1400));
    api.CloseFile(h);
}

TEST_F(PacVault, TrackSmallerThanAWaveHeaderCannotBeReplaced) {
    auto built = PacBuilder().Add(Pattern(45, 1)).Add(Pattern(100, 2)).Build();
    const Bytes before = built.bytes;
    const int h = Open(built.bytes);
    EXPECT_EQ(Replace(h, "Track 0.wav", RiffWaveBuilder().Build(Pattern(1, 3))), 0);
    EXPECT_EQ(api.Error(), "Can't replace Track 0.wav: the track is smaller than a WAVE header.");
    EXPECT_EQ(built.bytes, before);
    api.CloseFile(h);
}

TEST_F(PacVault, LoadFailuresGiveTheirTexts) {
    EXPECT_EQ(api.LoadFile(""), -1);
    EXPECT_EQ(api.Error(), "Empty file name.");
    EXPECT_EQ(api.LoadFile(nullptr), -1);
    EXPECT_EQ(api.Error(), "NULL file pointer.");
    const std::string missing = dir.File("missing.pac");
    EXPECT_EQ(api.LoadFile(missing.c_str()), -1);
    EXPECT_EQ(api.Error(), "File " + missing + " not exists.");
    api.GetLengthFile(-1, "x");  // any text
    EXPECT_EQ(api.LoadFile(Save({}, "empty.pac").c_str()), -1);
    EXPECT_EQ(api.Error(), "OK");

    EXPECT_EQ(api.LoadFile(Save(BytesOf("RIFF...."), "bad.pac").c_str()), -1);
    EXPECT_EQ(api.Error(), "Is not Audio format.");
    EXPECT_EQ(api.LoadFileMemory(nullptr, 8), -1);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
    Bytes cut = {'S', 'D', 'P', 'A', 2, 0};
    EXPECT_EQ(Open(cut), -1);
    EXPECT_EQ(api.Error(), "Damaged PAC file: the header is cut short.");
    Bytes tooMany = Sample().bytes;
    PutU32LE(tooMany, 4, 0x40000000u);
    EXPECT_EQ(Open(tooMany), -1);
    EXPECT_EQ(api.Error(), "Damaged PAC file: the track table runs past the end of the file.");
    Bytes none = {'S', 'D', 'P', 'A', 0, 0, 0, 0};
    const int h = Open(none);
    ASSERT_NE(h, -1);
    char** list = api.GetListFiles(h);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], nullptr);
    api.CloseFile(h);
}

TEST_F(PacVault, HundredHandlesThenTheLowestClosedSlotIsReused) {
    auto built = Sample();
    for (int expected = 0; expected < 100; ++expected) {
        ASSERT_EQ(Open(built.bytes), expected);
    }
    EXPECT_EQ(Open(built.bytes), -1);
    EXPECT_EQ(api.Error(), "Not free handles.");
    EXPECT_EQ(api.LoadFile(Save(built.bytes).c_str()), -1);
    EXPECT_EQ(api.Error(), "Not free handles.");
    EXPECT_EQ(api.CloseFile(37), 1);
    EXPECT_EQ(Open(built.bytes), 37);
    for (int h = 0; h < 100; ++h) {
        api.CloseFile(h);
    }
}

TEST_F(PacVault, BadHandlesAreRefusedByEveryEntryPoint) {
    std::uint32_t length = 5;
    EXPECT_EQ(api.CloseFile(-1), 0);
    EXPECT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");
    EXPECT_EQ(api.GetListFiles(100), nullptr);
    EXPECT_EQ(api.Error(), "Handle is invalid.[00000064]");
    EXPECT_EQ(api.GetFilePointer(5, "Track 0.wav", &length), nullptr);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.GetLengthFile(5, "Track 0.wav"), 0u);
    EXPECT_EQ(api.GetBitrate(5, "Track 0.wav"), 0u);
    EXPECT_EQ(api.ExtractFile(5, "Track 0.wav", "/tmp/x"), 0);
    EXPECT_EQ(api.ReplaceFile(5, "Track 0.wav", "/tmp/x"), 0);
    EXPECT_EQ(api.ReplaceFileMemory(5, "Track 0.wav", &length, 40), 0);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
}

TEST_F(PacVault, ListIsOnePerPlugInAndFollowsTheLastHandleAsked) {
    auto two = Sample();
    auto three = PacBuilder().Add(Pattern(50, 1)).Add(Pattern(50, 2)).Add(Pattern(50, 3)).Build();
    const int a = Open(two.bytes);
    const int b = Open(three.bytes);
    EXPECT_EQ(Names(a).size(), 2u);
    char** list = api.GetListFiles(b);
    ASSERT_NE(list, nullptr);
    EXPECT_STREQ(list[2], "Track 2.wav");
    EXPECT_EQ(list[3], nullptr);
    api.CloseFile(a);
    api.CloseFile(b);
}

TEST_F(PacVault, TracksOutsideTheContainerAreRefusedWhileTheOthersWork) {
    auto built = Sample();
    PutU32LE(built.bytes, PacBuilder::EntryOffset(0), 0xFFFFFF00u);
    const int h = Open(built.bytes);
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(Names(h).size(), 2u);
    const std::string text = "Damaged PAC file: Track 0.wav lies outside the container.";
    std::uint32_t length = 1;
    EXPECT_EQ(api.GetFilePointer(h, "Track 0.wav", &length), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.GetBitrate(h, "Track 0.wav"), 0u);
    EXPECT_EQ(api.Error(), text);
    EXPECT_EQ(api.ExtractFile(h, "Track 0.wav", dir.File("t").c_str()), 0);
    EXPECT_EQ(api.Error(), text);
    EXPECT_FALSE(FileExists(dir.File("t.wav")));
    EXPECT_EQ(Replace(h, "Track 0.wav", RiffWaveBuilder().Build(Pattern(10, 1))), 0);
    EXPECT_EQ(api.Error(), text);
    EXPECT_NE(api.GetFilePointer(h, "Track 1.wav", &length), nullptr);
    EXPECT_EQ(length, 2000u);

    // A track placed over the track table can be read but never written.
    auto overTable = Sample();
    PutU32LE(overTable.bytes, PacBuilder::EntryOffset(1), 4);
    PutU32LE(overTable.bytes, PacBuilder::EntryOffset(1) + 4, 100);
    const Bytes before = overTable.bytes;
    const int t = Open(overTable.bytes);
    EXPECT_NE(api.GetFilePointer(t, "Track 1.wav", &length), nullptr);
    EXPECT_EQ(Replace(t, "Track 1.wav", RiffWaveBuilder().Build(Pattern(10, 1))), 0);
    EXPECT_EQ(api.Error(), "Can't replace Track 1.wav: its place in the container is damaged.");
    EXPECT_EQ(overTable.bytes, before);
    api.CloseFile(h);
    api.CloseFile(t);
}

// Every truncation and many byte changes of the header and the table: the plug-in must never
// read or write outside the bytes it was given (the sanitizer build checks this), crash or hang.
TEST_F(PacVault, SurvivesTruncatedAndCorruptedContainers) {
    const Bytes good = PacBuilder()
                           .Add(RiffWaveBuilder().Build(Pattern(60, 1)))
                           .Add(RiffWaveBuilder().Format(1, 8000).Build(Pattern(10, 2)))
                           .Add(Pattern(20, 3))
                           .Build()
                           .bytes;
    std::vector<Bytes> variants;
    for (std::size_t size = 0; size < good.size(); ++size) {
        variants.push_back(Slice(good, 0, size));
    }
    for (std::uint32_t seed = 0; seed < 400; ++seed) {
        Bytes bytes = good;
        const Bytes noise = Pattern(8, seed);
        const std::size_t at = noise[0] % 44;  // the header and the table
        bytes[at] = noise[1];
        bytes[(at + noise[2]) % bytes.size()] ^= noise[3];
        if (noise[4] & 1) {
            bytes[at | 3] = 0xFF;  // large values
        }
        variants.push_back(bytes);
    }
    const Bytes replacement = RiffWaveBuilder().Build(Pattern(40, 4));
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
