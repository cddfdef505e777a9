// aixvoice loaded by name from the staging folder, alone and fed by aixvault as the host does:
// the explorer's track pointer and length go straight to the decoder's fnLoadFileMemory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aix_builder.h"
#include "aix_reference.h"
#include "byte_writer.h"
#include "fogbell_aix_record.h"
#include "format_fields.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr std::uint32_t kNoBudget = 0x7FFFFFFF;

std::uint32_t Size(const Bytes& bytes) {
    return static_cast<std::uint32_t>(bytes.size());
}

AixStream Stream(std::uint8_t channels, std::uint32_t rate, std::uint32_t groups,
                 std::uint32_t seed) {
    AixStream s;
    s.channels = channels;
    s.sampleRate = rate;
    s.total = kNoBudget;
    s.data = AdxFrames(groups, channels, seed);
    return s;
}

class AixVoice : public ::testing::Test {
  protected:
    DecoderApi voice{"aixvoice"};
    ExplorerApi vault{"aixvault"};
    TempDir dir;

    // Two stereo streams of about three seconds, the second at another rate.
    static AixBuilder::Result TwoStreams() {
        return AixBuilder().Add(Stream(2, 44100, 4200, 1)).Add(Stream(2, 32000, 3000, 2)).Build();
    }

    std::string Save(const Bytes& bytes, const std::string& name = "music.aix") {
        const std::string path = dir.File(name);
        WriteFile(path, bytes);
        return path;
    }

    // Opens a track the way the host plays it: pointer and length from the explorer.
    int OpenTrack(int container, const std::string& name) {
        std::uint32_t length = 0;
        const void* pointer = vault.GetFilePointer(container, name.c_str(), &length);
        EXPECT_NE(pointer, nullptr) << vault.Error();
        return pointer ? voice.LoadFileMemory(-1, -1, pointer, length) : -1;
    }

    // Decodes the handle to its end and closes it, checking what holds of every stream however
    // damaged: no block over a second, the position never past the size, nothing after the end.
    void ExpectWellBehaved(int handle, std::size_t maxBlocks = 1000) {
        const WAVEFORMATEX* format = voice.GetFormatOut(handle);
        ASSERT_NE(format, nullptr);
        const std::uint32_t second = format->nAvgBytesPerSec;
        const std::uint32_t size = voice.GetSizeData(handle);
        for (std::size_t i = 0;; ++i) {
            ASSERT_LT(i, maxBlocks) << "the stream did not end";
            const PcmBlock* block = voice.DecodeNext(handle);
            ASSERT_LE(voice.GetCurrPos(handle), size);
            if (block == nullptr) {
                break;
            }
            ASSERT_LE(block->size, second);
        }
        EXPECT_EQ(voice.DecodeNext(handle), nullptr) << "a block after the end";
        EXPECT_LE(voice.GetCurrPos(handle), size);
        EXPECT_EQ(voice.CloseFile(handle), 1);
    }
};

TEST_F(AixVoice, ListsBothExtensions) {
    const char* const* extensions = voice.GetSupportExt();
    EXPECT_STREQ(extensions[0], "AIXF");
    EXPECT_STREQ(extensions[1], "AIX");
    EXPECT_EQ(extensions[2], nullptr);
}

TEST_F(AixVoice, AWholeContainerPlaysStreamZeroFromPathOrMemory) {
    const auto built = TwoStreams();
    const Bytes expected = ReferencePcm(built, 0, 2, 44100, 500);
    const int fromPath = voice.LoadFile(-1, -1, Save(built.bytes).c_str());
    const int fromMemory = voice.LoadFileMemory(-1, -1, built.bytes.data(), Size(built.bytes));
    for (const int h : {fromPath, fromMemory}) {
        ASSERT_NE(h, -1) << voice.Error();
        EXPECT_EQ(voice.Error(), "OK");
        EXPECT_EQ(voice.GetSizeData(h), kNoBudget);
        EXPECT_EQ(voice.GetCurrPos(h), 0u);
        EXPECT_EQ(voice.BlockSizes(h).front(), 176400u);
        voice.ResetFile(h);
        EXPECT_EQ(voice.DecodeAll(h), expected);
        EXPECT_EQ(voice.CloseFile(h), 1);
    }
}

TEST_F(AixVoice, FormatsComeFromStreamZeroWhateverIsRequested) {
    // Stream 0 is stereo at 44100 Hz with 4 in its byte 30.
    const auto built = TwoStreams();
    for (const auto& [channels, rate] : {std::pair{-1, -1}, std::pair{1, 22050}}) {
        const int h = voice.LoadFileMemory(channels, rate, built.bytes.data(), Size(built.bytes));
        const int p = voice.LoadFile(channels, rate, Save(built.bytes).c_str());
        for (const int handle : {h, p}) {
            const WAVEFORMATEX* source = voice.GetFormatSource(handle);
            const WAVEFORMATEX* out = voice.GetFormatOut(handle);
            ASSERT_NE(source, nullptr);
            ASSERT_NE(out, nullptr);
            EXPECT_EQ(FieldsOf(*source), FieldsOf(*out));
            EXPECT_EQ(FieldsOf(*out), (FormatFields{1, 2, 44100, 176400, 4, 16, 18}));
            voice.CloseFile(handle);
        }
    }
}

TEST_F(AixVoice, TheExplorersRecordPlaysTheSelectedTrackOnly) {
    const auto built = TwoStreams();
    const int container = vault.LoadFile(Save(built.bytes).c_str());
    ASSERT_NE(container, -1);
    const int h = OpenTrack(container, "Track 1.aixf");
    ASSERT_NE(h, -1) << voice.Error();
    EXPECT_EQ(voice.GetSizeData(h), kNoBudget);
    EXPECT_EQ(FieldsOf(*voice.GetFormatSource(h)).rate, 44100u);  // stream 0's format
    EXPECT_EQ(voice.DecodeAll(h), ReferencePcm(built, 1, 2, 32000, 500));

    // Selecting another track later does not change an open decoder's stream.
    voice.ResetFile(h);
    const int other = OpenTrack(container, "Track 0.aixf");
    const PcmBlock* block = voice.DecodeNext(h);
    const Bytes one = ReferencePcm(built, 1, 2, 32000, 500);
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::equal(block->data, block->data + block->size, one.begin()));
    voice.CloseFile(other);
    voice.CloseFile(h);
    vault.CloseFile(container);
}

TEST_F(AixVoice, ClosingARecordDecoderLeavesTheExplorerUsable) {
    // Totals that the packets hold: extraction finds the tracks whole.
    AixStream first = Stream(2, 44100, 4200, 1);
    AixStream second = Stream(2, 32000, 3000, 2);
    first.total = Size(first.data);
    second.total = Size(second.data);
    const auto built = AixBuilder().Add(first).Add(second).Build();
    const int container = vault.LoadFileMemory(built.bytes.data(), Size(built.bytes));
    // As the host lists tracks: open each, read its format, close at once.
    for (const char* name : {"Track 0.aixf", "Track 1.aixf"}) {
        const int h = OpenTrack(container, name);
        ASSERT_NE(h, -1);
        EXPECT_NE(voice.GetFormatSource(h), nullptr);
        EXPECT_EQ(voice.CloseFile(h), 1);
    }
    char** names = vault.GetListFiles(container);
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names[1], "Track 1.aixf");
    EXPECT_EQ(vault.ExtractFile(container, "Track 0.aixf", dir.File("t0.aixf").c_str()), 1);
    const int again = OpenTrack(container, "Track 0.aixf");
    EXPECT_EQ(voice.DecodeAll(again), ReferencePcm(built, 0, 2, 44100, 500));
    voice.CloseFile(again);
    EXPECT_EQ(vault.CloseFile(container), 1);
}

TEST_F(AixVoice, ResetGivesTheFirstBlockAgainAndEndStaysEnded) {
    const auto built = TwoStreams();
    const int h = voice.LoadFileMemory(-1, -1, built.bytes.data(), Size(built.bytes));
    const PcmBlock* first = voice.DecodeNext(h);
    ASSERT_NE(first, nullptr);
    const Bytes firstBlock(first->data, first->data + first->size);
    EXPECT_EQ(voice.GetCurrPos(h), 25u * 2016);
    voice.DecodeAll(h);
    EXPECT_EQ(voice.DecodeNext(h), nullptr);
    EXPECT_EQ(voice.DecodeNext(h), nullptr);
    EXPECT_EQ(voice.GetCurrPos(h), voice.GetSizeData(h));
    EXPECT_EQ(voice.ResetFile(h), 1);
    EXPECT_EQ(voice.GetCurrPos(h), 0u);
    const PcmBlock* again = voice.DecodeNext(h);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Bytes(again->data, again->data + again->size), firstBlock);
    voice.CloseFile(h);
}

TEST_F(AixVoice, TwoHandlesDecodedAlternatelyGiveTheirOwnStreams) {
    const auto built = TwoStreams();
    const int container = vault.LoadFileMemory(built.bytes.data(), Size(built.bytes));
    const int a = voice.LoadFileMemory(-1, -1, built.bytes.data(), Size(built.bytes));
    const int b = OpenTrack(container, "Track 1.aixf");
    Bytes pcmA, pcmB;
    for (bool more = true; more;) {
        const PcmBlock* x = voice.DecodeNext(a);
        const PcmBlock* y = voice.DecodeNext(b);
        if (x)
            pcmA.insert(pcmA.end(), x->data, x->data + x->size);
        if (y)
            pcmB.insert(pcmB.end(), y->data, y->data + y->size);
        more = x || y;
    }
    EXPECT_EQ(pcmA, ReferencePcm(built, 0, 2, 44100, 500));
    EXPECT_EQ(pcmB, ReferencePcm(built, 1, 2, 32000, 500));
    voice.CloseFile(a);
    voice.CloseFile(b);
    vault.CloseFile(container);
}

TEST_F(AixVoice, LoadFailuresAndTheirTexts) {
    const auto built = TwoStreams();
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, built.bytes.data(), 0), -1);
    EXPECT_EQ(voice.Error(), "Error memory size");
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, nullptr, 10), -1);
    EXPECT_EQ(voice.Error(), "NULL memory pointer.");
    const std::string empty = Save({}, "empty.aix");
    EXPECT_EQ(voice.LoadFile(-1, -1, empty.c_str()), -1);
    EXPECT_EQ(voice.Error(), "Error " + empty + " file size");
    const std::string missing = dir.File("missing.aix");
    EXPECT_EQ(voice.LoadFile(-1, -1, missing.c_str()), -1);
    EXPECT_EQ(voice.Error(), "File " + missing + " not exists.");
    EXPECT_EQ(voice.LoadFile(-1, -1, ""), -1);
    EXPECT_EQ(voice.Error(), "Empty file name.");
    // A file is never taken for a track record, whatever it holds.
    EXPECT_EQ(voice.LoadFile(-1, -1, Save(Bytes(200, 0), "zeros.aix").c_str()), -1);
    EXPECT_EQ(voice.Error(), "Unknown format.");
    // Bytes that are neither a container nor a record.
    const Bytes junk(200, 0xEE);
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, junk.data(), Size(junk)), -1);
    EXPECT_EQ(voice.Error(), "Unknown format.");
    // Fewer than four bytes that begin like a container are a cut container, not a record.
    const Bytes cut = {'A', 'I'};
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, cut.data(), 2), -1);
    EXPECT_EQ(voice.Error(), "Unknown format.");

    Bytes noTracks = built.bytes;
    PutU32LE(noTracks, 64, 0);
    voice.CloseFile(-1);
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, noTracks.data(), Size(noTracks)), -1);
    EXPECT_EQ(voice.Error(), "OK");
    const Bytes broken = AixBuilder().Add(Stream(2, 44100, 4, 1)).BreakMarker().Build().bytes;
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, broken.data(), Size(broken)), -1);
    EXPECT_EQ(voice.Error(), "Error format _HeaderCri.");
    AixStream silent = Stream(2, 44100, 4, 1);
    silent.channels = 0;
    const Bytes noSecond = AixBuilder().Add(silent).Build().bytes;
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, noSecond.data(), Size(noSecond)), -1);
    EXPECT_EQ(voice.Error(), "Error format _HeaderCri.");
}

TEST_F(AixVoice, HundredHandlesThenTheLowestClosedSlotIsReused) {
    const auto built = AixBuilder().Add(Stream(2, 8000, 4, 1)).Build();
    for (int expected = 0; expected < 100; ++expected) {
        ASSERT_EQ(voice.LoadFileMemory(-1, -1, built.bytes.data(), Size(built.bytes)), expected);
    }
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, built.bytes.data(), Size(built.bytes)), -1);
    EXPECT_EQ(voice.Error(), "Not free handle.");
    EXPECT_EQ(voice.LoadFile(-1, -1, Save(built.bytes).c_str()), -1);
    EXPECT_EQ(voice.Error(), "Not free handle.");
    EXPECT_EQ(voice.CloseFile(37), 1);
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, built.bytes.data(), Size(built.bytes)), 37);
    for (int h = 0; h < 100; ++h) {
        voice.CloseFile(h);
    }
}

TEST_F(AixVoice, BadHandlesAreRefusedByEveryEntryPoint) {
    EXPECT_EQ(voice.DecodeNext(-1), nullptr);
    EXPECT_EQ(voice.Error(), "Handle is invalid.[FFFFFFFF]");
    EXPECT_EQ(voice.CloseFile(5), 0);
    EXPECT_EQ(voice.Error(), "NULL pointer struct");
    EXPECT_EQ(voice.ResetFile(100), 0);
    EXPECT_EQ(voice.Error(), "Handle is invalid.[00000064]");
    EXPECT_EQ(voice.GetCurrPos(5), 0u);
    EXPECT_EQ(voice.GetSizeData(5), 0u);
    EXPECT_EQ(voice.GetFormatSource(5), nullptr);
    EXPECT_EQ(voice.GetFormatOut(5), nullptr);
    EXPECT_EQ(voice.Error(), "NULL pointer struct");
}

TEST_F(AixVoice, ADamagedChainEndsTheTrackWithATextAndNoReadPastTheContainer) {
    // Small enough that the largest length of a packet runs past the container's end.
    auto built = AixBuilder().Add(Stream(2, 44100, 500, 1)).Add(Stream(2, 32000, 500, 2)).Build();
    PutU16BE(built.bytes, built.packets[7].offset + 10, 0xFFFF);  // stream 1's fourth packet
    Bytes exact = built.bytes;
    const int container = vault.LoadFileMemory(exact.data(), Size(exact));
    const int h = OpenTrack(container, "Track 1.aixf");
    const PcmBlock* block = voice.DecodeNext(h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(voice.Error(), "Error size AIXPData.");
    EXPECT_EQ(block->size, 3u * 7168);
    EXPECT_EQ(voice.DecodeNext(h), nullptr);
    EXPECT_EQ(voice.Error(), "OK");
    voice.CloseFile(h);
    vault.CloseFile(container);
}

TEST_F(AixVoice, ATrackCutBetweenTwoPacketsEndsWithATextThatSaysSo) {
    // 300 stereo groups in packets of 2016 bytes; T = 9600 is passed in the fifth packet.
    AixStream stream = Stream(2, 8000, 300, 3);
    stream.total = 9600;
    const auto built = AixBuilder().Add(stream).Build();
    for (const bool whole : {true, false}) {
        const std::uint32_t end = whole ? built.chainEnd : built.packets[3].offset;
        Bytes exact(built.bytes.begin(), built.bytes.begin() + end);
        const int container = vault.LoadFileMemory(exact.data(), Size(exact));
        EXPECT_EQ(vault.GetDamagedCount(container), whole ? 0u : 1u);
        const int h = OpenTrack(container, "Track 0.aixf");
        // Cut: three packets, 168 groups, one block of less than a second and then the end.
        ASSERT_NE(voice.DecodeNext(h), nullptr);
        EXPECT_EQ(voice.Error(), whole ? "OK"
                                       : "The track is cut: its header declares 9600 samples, "
                                         "the container holds 5376.");
        if (!whole) {
            EXPECT_EQ(voice.DecodeNext(h), nullptr);
        }
        voice.CloseFile(h);
        vault.CloseFile(container);
    }
}

// Every truncation and many byte changes of a container, opened as a whole container and track
// by track through the explorer, on exactly-sized heap blocks.
TEST_F(AixVoice, SurvivesTruncatedAndCorruptedContainers) {
    AixStream first = Stream(2, 8000, 60, 1);
    first.packetData = 500;
    AixStream second = Stream(1, 8000, 60, 2);
    second.packetData = 190;
    const auto built = AixBuilder().Add(first).Add(second).Build();
    std::vector<Bytes> variants;
    for (std::size_t size = 0; size < built.bytes.size(); ++size) {
        variants.emplace_back(built.bytes.begin(),
                              built.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    }
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        Bytes bytes = built.bytes;
        const Bytes noise = Pattern(3, seed);
        bytes[(noise[0] << 8 | noise[1]) % (built.firstPacket + 64)] = noise[2];
        variants.push_back(bytes);
    }
    for (const Bytes& variant : variants) {
        Bytes exact(variant);
        if (!exact.empty()) {
            const int whole = voice.LoadFileMemory(-1, -1, exact.data(), Size(exact));
            if (whole != -1) {
                ASSERT_NO_FATAL_FAILURE(ExpectWellBehaved(whole));
            }
        }
        const int container = exact.empty() ? -1 : vault.LoadFileMemory(exact.data(), Size(exact));
        if (container == -1) {
            continue;
        }
        for (const char* name : {"Track 0.aixf", "Track 1.aixf"}) {
            std::uint32_t length = 0;
            const void* pointer = vault.GetFilePointer(container, name, &length);
            if (pointer == nullptr) {
                continue;
            }
            const int h = voice.LoadFileMemory(-1, -1, pointer, length);
            if (h != -1) {
                ASSERT_NO_FATAL_FAILURE(ExpectWellBehaved(h));
            }
        }
        vault.CloseFile(container);
    }
}

// A record made of a file's bytes: it passes every check of its fields, but names memory that
// holds no table and no container. Following one of its pointers would crash the host.
AIXVAULTFILE ForgedRecord() {
    AIXVAULTFILE forged{};
    forged.handle = 0;
    std::memcpy(forged.header, "AIXF", 4);
    const std::uint32_t oneTrack = 1;
    std::memcpy(forged.header + FOGBELL_AIX_HEADER_TRACK_COUNT, &oneTrack, sizeof oneTrack);
    forged.table = reinterpret_cast<const std::uint8_t*>(std::uintptr_t{0x1000});
    forged.base = reinterpret_cast<const std::uint8_t*>(std::uintptr_t{0x1000});
    forged.packets = forged.base + 0x20;
    forged.packetsCopy = forged.packets;
    forged.containerLength = 0x10000;
    return forged;
}

TEST_F(AixVoice, AForgedRecordIsNeverFollowed) {
    const AIXVAULTFILE forged = ForgedRecord();
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, &forged, sizeof forged), -1);
    EXPECT_EQ(voice.Error(), "Unknown format.");
    // As the host passes a track: the "length" it got with the pointer, not the record's size.
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, &forged, 0x7FFFFFFF), -1);
    EXPECT_EQ(voice.Error(), "Unknown format.");
}

TEST_F(AixVoice, OnlyALiveRecordOfTheLoadedExplorerIsARecord) {
    const auto built = TwoStreams();
    const int container = vault.LoadFileMemory(built.bytes.data(), Size(built.bytes));
    ASSERT_NE(container, -1);
    std::uint32_t length = 0;
    const void* pointer = vault.GetFilePointer(container, "Track 1.aixf", &length);
    ASSERT_NE(pointer, nullptr);
    // A byte-for-byte copy of the explorer's record names a real table and container, yet it
    // is not one of the explorer's records: it is taken as bytes, and they are no container.
    AIXVAULTFILE copy{};
    std::memcpy(&copy, pointer, sizeof copy);
    EXPECT_EQ(voice.LoadFileMemory(-1, -1, &copy, length), -1);
    EXPECT_EQ(voice.Error(), "Unknown format.");

    const auto isRecord =
        reinterpret_cast<FnIsTrackRecord>(vault.library.Symbol(FOGBELL_AIX_RECORD_CHECK));
    ASSERT_NE(isRecord, nullptr);
    vault.LoadFileMemory(nullptr, 0);  // leaves a text that the query must not change
    const std::string text = vault.Error();
    EXPECT_EQ(isRecord(pointer), 1);
    EXPECT_EQ(isRecord(&copy), 0);
    EXPECT_EQ(isRecord(nullptr), 0);
    EXPECT_EQ(vault.Error(), text);

    const int h = voice.LoadFileMemory(-1, -1, pointer, length);
    ASSERT_NE(h, -1) << voice.Error();
    voice.CloseFile(h);
    vault.CloseFile(container);
    EXPECT_EQ(isRecord(pointer), 0);  // closed: no longer a record
}

TEST_F(AixVoice, ShortBuffersAreNeverReadPastTheirSize) {
    const AIXVAULTFILE forged = ForgedRecord();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&forged);
    for (std::uint32_t size = 0; size < 8; ++size) {
        // Exactly size bytes on the heap, so that a read past them is caught by AddressSanitizer.
        std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[size]);
        std::copy(bytes, bytes + size, exact.get());
        EXPECT_EQ(voice.LoadFileMemory(-1, -1, exact.get(), size), -1) << size;
        EXPECT_EQ(voice.Error(), size == 0 ? "Error memory size" : "Unknown format.") << size;
        std::unique_ptr<std::uint8_t[]> aix(new std::uint8_t[size]);
        std::copy_n("AIXF\0\0\0", size, aix.get());
        EXPECT_EQ(voice.LoadFileMemory(-1, -1, aix.get(), size), -1) << size;
        EXPECT_EQ(voice.Error(), size == 0 ? "Error memory size" : "Unknown format.") << size;
    }
}

}  // namespace
}  // namespace fogbell::test
