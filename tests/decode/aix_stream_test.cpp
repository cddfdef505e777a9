// The AIX stream decoder on its own: block sizes and contents against a plain decode of the
// stream's packets, the byte budget, the ways a stream ends early, and damaged containers on
// exactly-sized buffers.
#include "aix_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "aix_builder.h"
#include "aix_layout.h"
#include "aix_reference.h"
#include "byte_writer.h"
#include "format_fields.h"

namespace fogbell::aix {
namespace {

using test::AixBuilder;
using test::AixBytes;
using test::AixStream;

constexpr std::uint32_t kNoBudget = 0x7FFFFFFF;

AixStream Stream(std::uint8_t channels, std::uint32_t groups, std::uint32_t seed,
                 std::uint32_t total = kNoBudget) {
    AixStream s;
    s.channels = channels;
    s.total = total;
    s.data = test::AdxFrames(groups, channels, seed);
    return s;
}

// A decoder over a whole container (exactly sized by the caller), playing `selected`.
struct Opened {
    std::unique_ptr<std::uint8_t[]> table;
    StreamDecoder decoder;
    bool ok = false;
};

std::unique_ptr<Opened> Open(const AixBytes& bytes, std::uint32_t selected = 0) {
    auto opened = std::make_unique<Opened>();
    Layout layout;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    if (ReadLayout(bytes.data(), size, layout) != LayoutStatus::kOk) {
        return opened;
    }
    opened->table = CopyTable(bytes.data(), layout);
    StreamSource source;
    source.table = opened->table.get();
    source.trackCount = layout.trackCount;
    source.base = bytes.data();
    source.length = size;
    source.firstPacket = layout.firstPacket;
    source.selected = selected < layout.trackCount ? selected : 0;
    opened->ok = opened->decoder.Open(source);
    return opened;
}

struct Decoded {
    AixBytes pcm;
    std::vector<std::uint32_t> sizes;
};

Decoded DecodeAll(StreamDecoder& decoder, std::size_t maxBlocks = 10000) {
    Decoded d;
    for (std::size_t i = 0; i < maxBlocks; ++i) {
        const PcmBlock* block = decoder.Next();
        if (block == nullptr) {
            return d;
        }
        d.sizes.push_back(block->size);
        d.pcm.insert(d.pcm.end(), block->data, block->data + block->size);
    }
    ADD_FAILURE() << "the stream did not end";
    return d;
}

TEST(AixStream, StereoBlocksAreOneSecondAndEveryPayloadIsDecodedInOrder) {
    // 4200 groups of stereo frames in packets of 2016 bytes (56 groups, 7168 bytes of PCM).
    const auto built = AixBuilder().Add(Stream(2, 4200, 1)).Build();
    auto opened = Open(built.bytes);
    ASSERT_TRUE(opened->ok);
    StreamDecoder& decoder = opened->decoder;
    EXPECT_EQ(test::FieldsOf(decoder.Format()),
              (test::FormatFields{1, 2, 44100, 176400, 4, 16, 18}));

    const PcmBlock* first = decoder.Next();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size, 176400u);
    EXPECT_EQ(decoder.Position(), 25u * 2016);  // 25 packets fill the first second
    const AixBytes firstBlock(first->data, first->data + first->size);

    decoder.Rewind();
    EXPECT_EQ(decoder.Position(), 0u);
    const Decoded all = DecodeAll(decoder);
    // The chain ends before a fourth second is full: the rest is delivered as it is.
    EXPECT_EQ(all.sizes,
              (std::vector<std::uint32_t>{176400, 176400, 176400, 4200 * 128 - 3 * 176400}));
    EXPECT_EQ(all.pcm, test::ReferencePcm(built, 0, 2, 44100, 500));
    EXPECT_EQ(AixBytes(all.pcm.begin(), all.pcm.begin() + 176400), firstBlock);
    EXPECT_EQ(decoder.Next(), nullptr);
    EXPECT_EQ(decoder.Position(), decoder.Size());
}

TEST(AixStream, OnePayloadOf2016BytesGives7168BytesAndLowersWhatRemainsBy2016) {
    // A "second" of 4 x 1792 = 7168 bytes: each call takes exactly one packet.
    AixStream s = Stream(2, 3 * 56, 2);
    s.sampleRate = 1792;
    const auto built = AixBuilder().Add(s).Build();
    ASSERT_EQ(built.packets.size(), 3u);
    auto opened = Open(built.bytes);
    for (std::uint32_t packets = 1; packets <= 2; ++packets) {
        const PcmBlock* block = opened->decoder.Next();
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->size, 7168u);
        EXPECT_EQ(opened->decoder.Position(), packets * 2016);
    }
}

TEST(AixStream, EndsAtTheFirstCallThatFindsTheBudgetSpentAfterTheHeldBackBytes) {
    // T = 60000: 25 packets fill the first second (50400 bytes spent), the second call walks on
    // past the budget to fill its second, the third call delivers what was held back.
    const auto built = AixBuilder().Add(Stream(2, 4200, 3, 60000)).Build();
    auto opened = Open(built.bytes);
    const Decoded all = DecodeAll(opened->decoder);
    EXPECT_EQ(all.sizes, (std::vector<std::uint32_t>{176400, 176400, 50 * 7168 - 2 * 176400}));
    const AixBytes reference = test::ReferencePcm(built, 0, 2, 44100, 500);
    EXPECT_EQ(all.pcm, AixBytes(reference.begin(), reference.begin() + 50 * 7168));
    EXPECT_EQ(opened->decoder.Position(), 60000u);  // never above the size

    const auto none = AixBuilder().Add(Stream(2, 100, 3, 0)).Build();
    EXPECT_EQ(Open(none.bytes)->decoder.Next(), nullptr);
}

TEST(AixStream, PlaysOnlyTheSelectedStreamWithItsOwnCoefficients) {
    AixStream second = Stream(2, 3000, 5);
    second.sampleRate = 48000;
    second.packetData = 1008;
    const auto built = AixBuilder().Add(Stream(2, 3000, 4)).Add(second).Build();
    auto opened = Open(built.bytes, 1);
    ASSERT_TRUE(opened->ok);
    // Formats come from stream 0 whichever stream plays.
    EXPECT_EQ(test::FieldsOf(opened->decoder.Format()).rate, 44100u);
    const PcmBlock* first = opened->decoder.Next();
    ASSERT_NE(first, nullptr);
    // Only stream 1's packets count: 176400 / (28 x 128) -> 50 packets of 1008 bytes.
    EXPECT_EQ(opened->decoder.Position(), 50u * 1008);
    opened->decoder.Rewind();
    const AixBytes pcm = DecodeAll(opened->decoder).pcm;
    EXPECT_EQ(pcm, test::ReferencePcm(built, 1, 2, 48000, 500));
    EXPECT_NE(pcm, test::ReferencePcm(built, 1, 2, 44100, 500));
}

TEST(AixStream, PayloadsThatAreNotWholeGroupsDecodeTheirWholeGroupsOnly) {
    for (const std::uint8_t channels : {2, 1}) {
        // Every packet: 7 whole groups, then a piece of a group whose scale would read as an
        // end marker if it were decoded.
        const std::size_t group = channels == 2 ? 36 : 18;
        const std::size_t extra = group - 2;
        AixStream s = Stream(channels, 0, 6);
        s.packetData = static_cast<std::uint32_t>(7 * group + extra);
        for (std::uint32_t p = 0; p < 40; ++p) {
            const AixBytes groups = test::AdxFrames(7, channels, 100 + p);
            s.data.insert(s.data.end(), groups.begin(), groups.end());
            s.data.insert(s.data.end(), extra, 0xFF);
        }
        const auto built = AixBuilder().Add(s).Add(Stream(1, 50, 7)).Build();
        auto opened = Open(built.bytes);
        const AixBytes pcm = DecodeAll(opened->decoder).pcm;
        EXPECT_EQ(pcm.size(), 40u * 7 * (channels == 2 ? 128 : 64)) << int{channels};
        EXPECT_EQ(pcm, test::ReferencePcm(built, 0, channels, 44100, 500)) << int{channels};
    }
}

TEST(AixStream, LargestPayloadsNeverOverrunASmallBlock) {
    for (const std::uint8_t channels : {1, 2}) {
        AixStream s = Stream(channels, channels == 2 ? 4000 : 8000, 8);
        s.sampleRate = 8000;  // a second is 16000 or 32000 bytes; one payload decodes to 232960
        s.packetData = 0xFFFF;
        const auto built = AixBuilder().Add(s).Build();
        auto opened = Open(built.bytes);
        ASSERT_TRUE(opened->ok);
        const Decoded all = DecodeAll(opened->decoder);
        EXPECT_EQ(all.pcm, test::ReferencePcm(built, 0, channels, 8000, 500));
        for (std::size_t i = 0; i + 1 < all.sizes.size(); ++i) {
            ASSERT_EQ(all.sizes[i], 8000u * 2 * channels);
        }
    }
}

TEST(AixStream, AnEndMarkerEndsTheStreamAndThePartialSecondIsDelivered) {
    for (const std::uint8_t channels : {2, 1}) {
        AixStream s = Stream(channels, 700, 9);
        const AixBytes end = test::AdxEndFrame();
        for (int i = 0; i < channels; ++i) {
            s.data.insert(s.data.end(), end.begin(), end.end());
        }
        const AixBytes after = test::AdxFrames(2000, channels, 10);
        s.data.insert(s.data.end(), after.begin(), after.end());
        const auto built = AixBuilder().Add(s).Build();
        auto opened = Open(built.bytes);
        const Decoded all = DecodeAll(opened->decoder);
        EXPECT_EQ(all.sizes, (std::vector<std::uint32_t>{700u * channels * 64}));
        EXPECT_EQ(all.pcm, test::ReferencePcm(built, 0, channels, 44100, 500));
        EXPECT_EQ(opened->decoder.Position(), opened->decoder.Size());
    }
}

TEST(AixStream, APacketRunningPastTheEndEndsTheStreamThere) {
    // Small enough that the largest length of a packet runs past the container's end.
    auto built = AixBuilder().Add(Stream(2, 500, 11)).Add(Stream(2, 500, 12)).Build();
    const auto& damaged = built.packets[5];  // stream 1's third packet
    test::PutU16BE(built.bytes, damaged.offset + 10, 0xFFFF);
    AixBytes exact = built.bytes;
    auto opened = Open(exact);
    const PcmBlock* block = opened->decoder.Next();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(opened->decoder.MetCut(), StreamDecoder::Cut::kPacket);
    EXPECT_EQ(block->size, 3u * 7168);  // stream 0's packets before the damage
    EXPECT_EQ(opened->decoder.Next(), nullptr);
    EXPECT_EQ(opened->decoder.MetCut(), StreamDecoder::Cut::kNone);
}

TEST(AixStream, AChainEndingShortOfTheDeclaredDataIsACutWhereverItEnds) {
    // 300 stereo groups (10800 bytes, in packets of 2016) and T = 9600: the budget of 9600
    // bytes is less than the frames of 9600 samples, and the fifth packet passes it.
    const auto built = AixBuilder().Add(Stream(2, 300, 3, 9600)).Build();
    ASSERT_EQ(built.packets.size(), 6u);
    for (std::size_t kept = 0; kept <= built.packets.size(); ++kept) {
        const std::uint32_t end =
            kept == built.packets.size() ? built.chainEnd : built.packets[kept].offset;
        const AixBytes exact(built.bytes.begin(), built.bytes.begin() + end);
        auto opened = Open(exact);
        // One second holds the whole stream: the first call ends the walk.
        opened->decoder.Next();
        EXPECT_EQ(opened->decoder.MetCut(),
                  kept >= 5 ? StreamDecoder::Cut::kNone : StreamDecoder::Cut::kShort)
            << kept;
        // A call walks until its second is full: past the budget, to the chain's end.
        EXPECT_EQ(opened->decoder.Consumed(), std::min<std::size_t>(kept * 2016, 10800)) << kept;
        EXPECT_EQ(opened->decoder.Next(), nullptr);
        EXPECT_EQ(opened->decoder.MetCut(), StreamDecoder::Cut::kNone);
    }
}

TEST(AixStream, EmptyChainsAndEmptyPayloadsGiveNothing) {
    const auto built = AixBuilder().Add(Stream(2, 0, 1)).Build();
    ASSERT_TRUE(built.packets.empty());
    EXPECT_EQ(Open(built.bytes)->decoder.Next(), nullptr);

    auto empty = AixBuilder().Add(Stream(2, 56, 1)).Build();
    test::PutU16BE(empty.bytes, empty.firstPacket + 10, 0);
    empty.bytes.resize(empty.firstPacket + 16);
    auto opened = Open(empty.bytes);
    EXPECT_EQ(opened->decoder.Next(), nullptr);
    EXPECT_EQ(opened->decoder.Position(), opened->decoder.Size());
}

TEST(AixStream, AMonoStreamIsOneChannelOfSixteenBitPcm) {
    // Byte 30 holds 4 (the ADX bit depth) in mono streams too: the format still describes
    // one 16-bit channel, so a second is 2 x rate bytes.
    AixStream s = Stream(1, 30000, 1);
    s.sampleRate = 22050;
    const auto built = AixBuilder().Add(s).Build();
    auto opened = Open(built.bytes);
    ASSERT_TRUE(opened->ok);
    EXPECT_EQ(test::FieldsOf(opened->decoder.Format()),
              (test::FormatFields{1, 1, 22050, 44100, 2, 16, 18}));
    const PcmBlock* block = opened->decoder.Next();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->size, 44100u);
}

TEST(AixStream, StreamZeroWithoutAPcmSecondIsRefused) {
    struct Case {
        std::uint8_t channels;
        std::uint32_t rate;
        bool ok;
    };
    const Case cases[] = {
        {0, 44100, false},         {2, 0, false},
        {255, 0xFFFFFFFFu, false}, {255, 40000, false},  // 20.4 MB a second
        {255, 30000, true},        {1, 1, true},
    };
    for (const Case& c : cases) {
        AixStream s = Stream(2, 4, 1);
        s.channels = c.channels;
        s.sampleRate = c.rate;
        EXPECT_EQ(Open(AixBuilder().Add(s).Build().bytes)->ok, c.ok)
            << int{c.channels} << " " << c.rate;
    }
}

class TrackRecord : public ::testing::Test {
  protected:
    AixBuilder::Result built = AixBuilder().Add(Stream(2, 300, 1)).Add(Stream(2, 300, 2)).Build();
    AixBytes table{built.bytes.begin() + built.tableOffset,
                   built.bytes.begin() + built.tableOffset + 2 * 52};
    AIXVAULTFILE record = Make();

    AIXVAULTFILE Make() {
        AIXVAULTFILE r{};
        r.handle = 7;
        std::memcpy(r.header, built.bytes.data(), FOGBELL_AIX_HEADER_SIZE);
        r.table = table.data();
        r.base = built.bytes.data();
        r.packets = r.base + built.firstPacket;
        r.packetsCopy = r.packets;
        r.containerLength = static_cast<std::uint32_t>(built.bytes.size());
        r.selectedTrack = 1;
        return r;
    }
};

TEST_F(TrackRecord, GivesTheExplorersTableBytesAndSelectedTrack) {
    StreamSource source;
    ASSERT_TRUE(ReadTrackRecord(&record, source));
    EXPECT_EQ(source.table, table.data());
    EXPECT_EQ(source.trackCount, 2u);
    EXPECT_EQ(source.base, built.bytes.data());
    EXPECT_EQ(source.length, built.bytes.size());
    EXPECT_EQ(source.firstPacket, built.firstPacket);
    EXPECT_EQ(source.selected, 1u);
    StreamDecoder decoder;
    ASSERT_TRUE(decoder.Open(source));
    EXPECT_EQ(DecodeAll(decoder).pcm, test::ReferencePcm(built, 1, 2, 44100, 500));
}

TEST_F(TrackRecord, RefusesWhatIsNotAUsableRecord) {
    struct Case {
        const char* what;
        void (*change)(AIXVAULTFILE&);
    };
    const Case cases[] = {
        {"handle -1", [](AIXVAULTFILE& r) { r.handle = -1; }},
        {"handle 100", [](AIXVAULTFILE& r) { r.handle = 100; }},
        {"no AIXF", [](AIXVAULTFILE& r) { r.header[0] = 'B'; }},
        {"no tracks", [](AIXVAULTFILE& r) { std::memset(r.header + 64, 0, 4); }},
        {"selected = count", [](AIXVAULTFILE& r) { r.selectedTrack = 2; }},
        {"no table", [](AIXVAULTFILE& r) { r.table = nullptr; }},
        {"no base", [](AIXVAULTFILE& r) { r.base = nullptr; }},
        {"no packets", [](AIXVAULTFILE& r) { r.packetsCopy = nullptr; }},
        {"packets before base", [](AIXVAULTFILE& r) { r.packetsCopy = r.base - 1; }},
        {"packets past the end", [](AIXVAULTFILE& r) { r.containerLength = 100; }},
    };
    for (const Case& c : cases) {
        AIXVAULTFILE changed = record;
        c.change(changed);
        StreamSource source;
        EXPECT_FALSE(ReadTrackRecord(&changed, source)) << c.what;
    }
    // The record one byte off its alignment is not taken for one.
    std::vector<std::uint8_t> shifted(sizeof record + 1);
    std::memcpy(shifted.data() + 1, &record, sizeof record);
    StreamSource source;
    EXPECT_FALSE(ReadTrackRecord(shifted.data() + 1, source));
}

TEST_F(TrackRecord, TheWalkStopsAtTheLengthTheRecordCarries) {
    // The record claims the container ends in the middle of stream 1's second packet.
    record.containerLength = built.packets[3].offset + 100;
    StreamSource source;
    ASSERT_TRUE(ReadTrackRecord(&record, source));
    StreamDecoder decoder;
    ASSERT_TRUE(decoder.Open(source));
    const PcmBlock* block = decoder.Next();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(decoder.MetCut(), StreamDecoder::Cut::kPacket);
    EXPECT_EQ(block->size, 56u * 128);
}

// Decodes to the end, checking what holds of every stream however damaged: no block over a
// second, the position never past the total, and nothing after the end until a rewind.
void ExpectWellBehaved(StreamDecoder& decoder, std::size_t maxBlocks = 10000) {
    const std::uint32_t second = decoder.Format().nAvgBytesPerSec;
    for (std::size_t i = 0; i < maxBlocks; ++i) {
        const PcmBlock* block = decoder.Next();
        ASSERT_LE(decoder.Position(), decoder.Size());
        if (block == nullptr) {
            EXPECT_EQ(decoder.Next(), nullptr) << "a block after the end";
            EXPECT_LE(decoder.Position(), decoder.Size());
            return;
        }
        ASSERT_LE(block->size, second);
    }
    ADD_FAILURE() << "the stream did not end";
}

// Every truncation and many byte changes of a two-stream container, as a whole container and
// through a record, on exactly-sized heap blocks.
TEST(AixStreamRobustness, SurvivesTruncatedAndCorruptedContainers) {
    AixStream stereo = Stream(2, 60, 1);
    stereo.packetData = 500;
    AixStream mono = Stream(1, 60, 2);
    mono.packetData = 190;
    const auto built = AixBuilder().Add(stereo).Add(mono).Build();
    std::vector<AixBytes> variants;
    for (std::size_t size = 0; size < built.bytes.size(); ++size) {
        variants.emplace_back(built.bytes.begin(),
                              built.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    }
    std::vector<std::size_t> fields;
    for (std::size_t at = 0; at < built.firstPacket; ++at) {
        fields.push_back(at);
    }
    for (const auto& p : built.packets) {
        for (std::size_t at = p.offset; at < p.offset + 16; ++at) {
            fields.push_back(at);
        }
    }
    for (std::uint32_t seed = 0; seed < 400; ++seed) {
        AixBytes bytes = built.bytes;
        const AixBytes noise = test::Pattern(3, seed);
        bytes[fields[(noise[0] << 8 | noise[1]) % fields.size()]] = noise[2];
        variants.push_back(bytes);
    }
    for (const AixBytes& variant : variants) {
        for (std::uint32_t selected : {0u, 1u}) {
            AixBytes exact(variant);
            auto opened = Open(exact, selected);
            if (opened->ok) {
                ASSERT_NO_FATAL_FAILURE(ExpectWellBehaved(opened->decoder));
                opened->decoder.Rewind();
                EXPECT_EQ(opened->decoder.Position(), 0u);
                ASSERT_NO_FATAL_FAILURE(ExpectWellBehaved(opened->decoder));
            }
        }
    }
}

}  // namespace
}  // namespace fogbell::aix
