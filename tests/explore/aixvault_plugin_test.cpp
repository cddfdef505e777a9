// aixvault loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "aix_builder.h"
#include "byte_writer.h"
#include "explorer_test.h"
#include "fogbell_aix_record.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

std::uint32_t Size(const Bytes& bytes) {
    return static_cast<std::uint32_t>(bytes.size());
}

// total 0: the samples the frames hold, so that the stream is whole.
AixStream Stream(std::uint8_t channels, std::uint32_t rate, std::uint32_t groups,
                 std::uint32_t seed, std::uint32_t total = 0) {
    AixStream s;
    s.channels = channels;
    s.sampleRate = rate;
    s.total = total != 0 ? total : groups * 32;
    s.data = AdxFrames(groups, channels, seed);
    return s;
}

Bytes StreamData(const AixBuilder::Result& r, std::uint8_t stream) {
    Bytes data;
    for (const auto& p : r.packets) {
        if (p.stream == stream) {
            const auto at = r.bytes.begin() + p.offset + 16;
            data.insert(data.end(), at, at + p.size);
        }
    }
    return data;
}

class AixVault : public ExplorerTest {
  protected:
    AixVault() : ExplorerTest("aixvault", "music.aix") {}

    static AixBuilder ThreeStreams() {
        AixBuilder b;
        b.Add(Stream(2, 44100, 100, 1, 44100 * 30))
            .Add(Stream(1, 96000, 130, 2))
            .Add(Stream(2, 22050, 40, 3, 500));
        return b;
    }
};

TEST_F(AixVault, ExportsBitrateButNoReplacementAndListsTheAixExtension) {
    EXPECT_NE(api.GetBitrate, nullptr);
    EXPECT_EQ(api.ReplaceFile, nullptr);
    EXPECT_EQ(api.ReplaceFileMemory, nullptr);
    const char* const* extensions = api.GetSupportExt();
    EXPECT_STREQ(extensions[0], "AIX");
    EXPECT_EQ(extensions[1], nullptr);
}

TEST_F(AixVault, NamesLengthsAndBitratesOfThreeTracks) {
    const auto built = ThreeStreams().Build();
    for (const int h : {api.LoadFile(Save(built.bytes).c_str()), Open(built.bytes)}) {
        ASSERT_NE(h, -1) << api.Error();
        EXPECT_EQ(api.Error(), "OK");
        EXPECT_EQ(Names(h),
                  (std::vector<std::string>{"Track 0.aixf", "Track 1.aixf", "Track 2.aixf"}));
        EXPECT_EQ(api.GetLengthFile(h, "Track 0.aixf"), 44100u * 30);
        EXPECT_EQ(api.GetLengthFile(h, "Track 2.aixf"), 500u);
        EXPECT_EQ(api.GetBitrate(h, "Track 0.aixf"), 44100u * 65536 + 2);
        EXPECT_EQ(api.GetBitrate(h, "Track 1.aixf"), ((96000u & 0xFFFF) << 16) + 1);
        EXPECT_EQ(api.Error(), "OK");
        // A name that does not read "Track %u" is track 0.
        EXPECT_EQ(api.GetLengthFile(h, "bgm.aixf"), 44100u * 30);
        EXPECT_EQ(api.CloseFile(h), 1);
    }
}

TEST_F(AixVault, TrackThreeOfThreeIsRefusedEverywhere) {
    const auto built = ThreeStreams().Build();
    const int h = Open(built.bytes);
    std::uint32_t length = 1234;
    EXPECT_EQ(api.GetFilePointer(h, "Track 3.aixf", &length), nullptr);
    EXPECT_EQ(api.Error(), "Error track number.");
    EXPECT_EQ(length, 1234u);  // left as it was
    EXPECT_EQ(api.GetLengthFile(h, "Track 3.aixf"), 0u);
    EXPECT_EQ(api.Error(), "Error track number.");
    EXPECT_EQ(api.GetBitrate(h, "Track 3.aixf"), 0u);
    EXPECT_EQ(api.Error(), "Error track number.");
    const std::string out = dir.File("Track 3.aixf");
    EXPECT_EQ(api.ExtractFile(h, "Track 3.aixf", out.c_str()), 0);
    EXPECT_EQ(api.Error(), "Error track number.");
    EXPECT_EQ(ReadFile(dir.File("Track 3.adx")), Bytes{});  // created, left empty
    api.CloseFile(h);
}

TEST_F(AixVault, ListingAnyHandleReplacesThePluginsOneList) {
    const auto three = ThreeStreams().Build();
    const auto one = AixBuilder().Add(Stream(2, 44100, 10, 4)).Build();
    const int h0 = Open(three.bytes);
    const int h1 = Open(one.bytes);
    EXPECT_EQ(Names(h0).size(), 3u);
    // The list handed out for handle 0 is freed here (the leak check of the sanitizer build
    // would report it otherwise); the new one holds handle 1's names.
    EXPECT_EQ(Names(h1), (std::vector<std::string>{"Track 0.aixf"}));
    api.CloseFile(h0);
    api.CloseFile(h1);
}

TEST_F(AixVault, PointerIsTheRecordWithTheTrackSelected) {
    const auto built = ThreeStreams().Gap(4).Build();
    const int h = Open(built.bytes);
    std::uint32_t length = 0;
    const auto* record =
        static_cast<const AIXVAULTFILE*>(api.GetFilePointer(h, "Track 2.aixf", &length));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(record->selectedTrack, 2u);
    EXPECT_EQ(length, api.GetLengthFile(h, "Track 2.aixf"));
    EXPECT_EQ(api.GetFilePointer(h, "Track 1.aixf", nullptr), record);
    EXPECT_EQ(record->selectedTrack, 1u);

    EXPECT_EQ(record->handle, h);
    EXPECT_EQ(std::memcmp(record->header, "AIXF", 4), 0);
    std::uint32_t word = 0;
    std::memcpy(&word, record->header + FOGBELL_AIX_HEADER_TABLE_OFFSET, 4);
    EXPECT_EQ(word, 84u);
    std::memcpy(&word, record->header + FOGBELL_AIX_HEADER_TRACK_COUNT, 4);
    EXPECT_EQ(word, 3u);
    EXPECT_EQ(std::memcmp(record->table, built.bytes.data() + 84, 3 * 52), 0);
    EXPECT_NE(record->table, built.bytes.data() + 84);  // a copy
    EXPECT_EQ(record->base, built.bytes.data());
    EXPECT_EQ(record->packets, built.bytes.data() + built.firstPacket);
    EXPECT_EQ(record->packetsCopy, record->packets);
    EXPECT_EQ(record->borrowed, 1);
    EXPECT_EQ(record->file, nullptr);
    EXPECT_EQ(record->firstTrackTotal, 44100u * 30);
    EXPECT_EQ(record->containerLength, Size(built.bytes));
    api.CloseFile(h);
    EXPECT_EQ(built.bytes, ThreeStreams().Gap(4).Build().bytes);  // the caller's bytes untouched

    const int fromPath = api.LoadFile(Save(built.bytes).c_str());
    const auto* mapped =
        static_cast<const AIXVAULTFILE*>(api.GetFilePointer(fromPath, "x", nullptr));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped->borrowed, 0);
    EXPECT_NE(mapped->file, nullptr);
    EXPECT_EQ(mapped->containerLength, Size(built.bytes));
    EXPECT_EQ(mapped->selectedTrack, 0u);
    api.CloseFile(fromPath);
}

TEST_F(AixVault, ExtractionWritesTheAdxHeaderAndOnlyThatStreamsData) {
    const auto built = ThreeStreams().Build();
    const int h = api.LoadFile(Save(built.bytes).c_str());
    ASSERT_EQ(api.ExtractFile(h, "Track 1.aixf", dir.File("Track 1.aixf").c_str()), 1);
    EXPECT_EQ(api.Error(), "OK");
    const Bytes adx = ReadFile(dir.File("Track 1.adx"));
    ASSERT_GE(adx.size(), 36u);
    const auto entry = built.bytes.begin() + built.EntryOffset(1);
    Bytes header(entry + 24, entry + 52);
    PutU32BE(header, 12, 130u * 32 - 12u * 96000u);
    header.insert(header.end(), {0, 0, '(', 'c', ')', 'C', 'R', 'I'});
    EXPECT_EQ(Bytes(adx.begin(), adx.begin() + 36), header);
    EXPECT_EQ(Bytes(adx.begin() + 36, adx.end()), StreamData(built, 1));

    // T = 500 below 12 x 22050: the field wraps; the byte budget 500 stops after one packet.
    ASSERT_EQ(api.ExtractFile(h, "Track 2.aixf", dir.File("two").c_str()), 1);
    const Bytes two = ReadFile(dir.File("two.adx"));
    EXPECT_EQ(GetU32BE(two, 12), 500u - 12u * 22050u);
    EXPECT_EQ(two.size(), 36u + 1440u);
    api.CloseFile(h);
}

TEST_F(AixVault, ExtractionReportsWhatStoppedIt) {
    const std::string badOut = dir.File("no/such/dir/Track 0.aixf");
    auto built = ThreeStreams().Build();
    const int h = Open(built.bytes);
    EXPECT_EQ(api.ExtractFile(h, "Track 0.aixf", badOut.c_str()), 0);
    EXPECT_EQ(api.Error(), "Can't create file: " + badOut);
    EXPECT_EQ(api.ExtractFile(h, "Track 0.aixf", nullptr), 0);
    EXPECT_EQ(api.Error(), "NULL file pointer.");
    api.CloseFile(h);

    // A packet whose length runs past the end: what came before is kept, the result says so.
    test::PutU16BE(built.bytes, built.packets[3].offset + 10, 0xFFFF);
    Bytes exact = built.bytes;
    const int cut = Open(exact);
    EXPECT_EQ(api.ExtractFile(cut, "Track 0.aixf", dir.File("cut").c_str()), 0);
    EXPECT_EQ(api.Error(), "Error size AIXPData.");
    EXPECT_EQ(ReadFile(dir.File("cut.adx")).size(), 36u + 2016u);
    // The same container's stream 2 lies wholly before the damage.
    EXPECT_EQ(api.ExtractFile(cut, "Track 2.aixf", dir.File("fine").c_str()), 1);
    api.CloseFile(cut);
}

TEST_F(AixVault, LoadFailuresAndTheirTexts) {
    const auto good = ThreeStreams().Build().bytes;
    EXPECT_EQ(api.LoadFileMemory(nullptr, 10), -1);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
    EXPECT_EQ(api.LoadFile(Save(BytesOf("RIFF and more bytes"), "x.aix").c_str()), -1);
    EXPECT_EQ(api.Error(), "Unknown format.");
    // The length is honoured: the same bytes with a length that ends inside the header.
    EXPECT_EQ(api.LoadFileMemory(good.data(), 79), -1);
    EXPECT_EQ(api.Error(), "Unknown format.");
    EXPECT_EQ(api.LoadFileMemory(good.data(), 0), -1);

    Bytes noTracks = good;
    PutU32LE(noTracks, 64, 0);
    api.GetLengthFile(-1, "x");
    EXPECT_EQ(Open(noTracks), -1);
    EXPECT_EQ(api.Error(), "OK");
    EXPECT_EQ(api.LoadFile(Save(noTracks).c_str()), -1);
    EXPECT_EQ(api.Error(), "OK");

    EXPECT_EQ(Open(ThreeStreams().BreakMarker().Build().bytes), -1);
    EXPECT_EQ(api.Error(), "Error format _HeaderCri.");
    EXPECT_EQ(Open(ThreeStreams().ClaimTrackCount(1000).Build().bytes), -1);
    EXPECT_EQ(api.Error(), "Error format _HeaderCri.");
    EXPECT_EQ(Open(ThreeStreams().ClaimTableOffset(0xFFFFFFF0u).Build().bytes), -1);
    EXPECT_EQ(api.Error(), "Error format _HeaderCri.");

    api.GetLengthFile(-1, "x");
    EXPECT_EQ(api.LoadFile(Save({}, "empty.aix").c_str()), -1);
    EXPECT_EQ(api.Error(), "OK");
    const std::string missing = dir.File("missing.aix");
    EXPECT_EQ(api.LoadFile(missing.c_str()), -1);
    EXPECT_EQ(api.Error(), "File " + missing + " not exists.");
}

TEST_F(AixVault, HundredHandlesThenTheLowestClosedSlotIsReused) {
    const auto built = ThreeStreams().Build();
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

TEST_F(AixVault, BadHandlesAreRefusedByEveryEntryPoint) {
    std::uint32_t length = 5;
    EXPECT_EQ(api.CloseFile(-1), 0);
    EXPECT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");
    EXPECT_EQ(api.GetListFiles(100), nullptr);
    EXPECT_EQ(api.Error(), "Handle is invalid.[00000064]");
    EXPECT_EQ(api.GetFilePointer(5, "Track 0.aixf", &length), nullptr);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(api.GetLengthFile(5, "Track 0.aixf"), 0u);
    EXPECT_EQ(api.GetBitrate(5, "Track 0.aixf"), 0u);
    EXPECT_EQ(api.ExtractFile(5, "Track 0.aixf", dir.File("x").c_str()), 0);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
    EXPECT_FALSE(FileExists(dir.File("x.adx")));
}

// Every truncation and many byte changes of the header, the table, the marker and the packet
// headers, on exactly-sized heap blocks: no entry point may read outside them.
TEST_F(AixVault, SurvivesTruncatedAndCorruptedContainers) {
    const auto built = ThreeStreams().Build();
    const Bytes& good = built.bytes;
    std::vector<Bytes> variants;
    for (std::size_t size = 0; size < good.size(); ++size) {
        variants.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    }
    std::vector<std::size_t> fields;  // bytes worth changing
    for (std::size_t at = 0; at < built.firstPacket; ++at) {
        fields.push_back(at);
    }
    for (const auto& p : built.packets) {
        for (std::size_t at = p.offset; at < p.offset + 16; ++at) {
            fields.push_back(at);
        }
    }
    for (std::uint32_t seed = 0; seed < 600; ++seed) {
        Bytes bytes = good;
        const Bytes noise = Pattern(4, seed);
        bytes[fields[(noise[0] << 8 | noise[1]) % fields.size()]] = noise[2];
        if (seed % 3 == 0) {
            bytes[fields[(noise[3] * 7u) % fields.size()]] ^= 0xFF;
        }
        variants.push_back(bytes);
    }
    for (Bytes& bytes : variants) {
        Bytes exact(bytes);
        const int h = exact.empty() ? -1 : Open(exact);
        if (h == -1) {
            continue;
        }
        for (const std::string& name : Names(h)) {
            std::uint32_t length = 0;
            const auto* record =
                static_cast<const AIXVAULTFILE*>(api.GetFilePointer(h, name.c_str(), &length));
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(record->containerLength, Size(exact));
            EXPECT_GE(record->packetsCopy, exact.data());
            EXPECT_LE(record->packetsCopy, exact.data() + exact.size());
            api.GetBitrate(h, name.c_str());
            api.ExtractFile(h, name.c_str(), dir.File("x").c_str());
            // A fresh file each time: rewriting a truncated one can wait for the disk.
            std::filesystem::remove(dir.File("x.adx"));
        }
        EXPECT_EQ(api.CloseFile(h), 1);
    }
}

}  // namespace
}  // namespace fogbell::test
