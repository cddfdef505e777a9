// Reading the AIX layout and writing a track as ADX: worked examples, and damaged containers of
// every kind on exactly-sized buffers (the sanitizer build catches any read past them).
#include "aix_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "aix_builder.h"
#include "aix_extract.h"
#include "byte_writer.h"
#include "fogbell_aix_record.h"

extern "C" std::size_t AixRecordSizeSeenFromC(void);

namespace fogbell::aix {
namespace {

using test::AixBuilder;
using test::AixBytes;
using test::AixStream;
using test::PutU32BE;

std::uint32_t Size(const AixBytes& bytes) {
    return static_cast<std::uint32_t>(bytes.size());
}

AixStream Stream(std::uint8_t channels, std::uint32_t groups, std::uint32_t seed,
                 std::uint32_t total = 0x00FFFFFF) {
    AixStream s;
    s.channels = channels;
    s.total = total;
    s.data = test::AdxFrames(groups, channels, seed);
    return s;
}

AixBuilder ThreeStreams() {
    AixBuilder b;
    b.Add(Stream(2, 100, 1)).Add(Stream(1, 130, 2)).Add(Stream(2, 40, 3));
    return b;
}

// The data of one stream's packets in chain order, read back from a built container.
AixBytes StreamData(const AixBuilder::Result& r, std::uint8_t stream) {
    AixBytes data;
    for (const auto& p : r.packets) {
        if (p.stream == stream) {
            const auto at = r.bytes.begin() + p.offset + 16;
            data.insert(data.end(), at, at + p.size);
        }
    }
    return data;
}

TEST(AixRecord, CAndCxxSeeTheSameLayout) {
    EXPECT_EQ(AixRecordSizeSeenFromC(), sizeof(AIXVAULTFILE));
}

TEST(AixLayout, ReadsHeaderTableAndFirstPacket) {
    const auto built = ThreeStreams().Gap(12).Build();
    Layout layout;
    ASSERT_EQ(ReadLayout(built.bytes.data(), Size(built.bytes), layout), LayoutStatus::kOk);
    EXPECT_EQ(layout.tableOffset, 92u);
    EXPECT_EQ(layout.trackCount, 3u);
    EXPECT_EQ(layout.firstPacket, built.firstPacket);
    EXPECT_EQ(layout.firstPacket, 92u + 3 * 52 + 8);
    // The copy keeps the header with its words at 4 and 44 in native order.
    std::uint32_t word = 0;
    std::memcpy(&word, layout.header + 4, 4);
    EXPECT_EQ(word, 92u);
    std::memcpy(&word, layout.header + 44, 4);
    EXPECT_EQ(word, 0x01020304u);
    EXPECT_EQ(std::memcmp(layout.header + 48, built.bytes.data() + 48, 32), 0);

    const auto table = CopyTable(built.bytes.data(), layout);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(std::memcmp(table.get(), built.bytes.data() + 92, 3 * 52), 0);
    const StreamHeader second = ReadStreamHeader(EntryOf(table.get(), 1));
    EXPECT_EQ(second.channels, 1);
    EXPECT_EQ(second.sampleRate, 44100u);
    EXPECT_EQ(second.total, 0x00FFFFFFu);
    EXPECT_EQ(second.cutoff, 500);
}

TEST(AixLayout, RefusesDamagedHeadersTablesAndMarkers) {
    const AixBytes good = ThreeStreams().Build().bytes;
    const std::uint32_t markerEnd = 80 + 3 * 52 + 8;
    auto with = [&](auto change) {
        AixBytes bytes = good;
        change(bytes);
        return bytes;
    };
    auto count = [](std::uint32_t n) { return [n](AixBytes& b) { test::PutU32LE(b, 64, n); }; };
    auto offset = [](std::uint32_t s) { return [s](AixBytes& b) { PutU32BE(b, 4, s); }; };
    struct Case {
        const char* what;
        AixBytes bytes;
        LayoutStatus status;
    };
    const Case cases[] = {
        {"empty", {}, LayoutStatus::kUnknownFormat},
        {"three bytes of the magic", {'A', 'I', 'X'}, LayoutStatus::kUnknownFormat},
        {"magic only", {'A', 'I', 'X', 'F'}, LayoutStatus::kUnknownFormat},
        {"header cut at 79", AixBytes(good.begin(), good.begin() + 79),
         LayoutStatus::kUnknownFormat},
        {"wrong magic", with([](AixBytes& b) { b[3] = 'X'; }), LayoutStatus::kUnknownFormat},
        {"no tracks", with(count(0)), LayoutStatus::kNoTracks},
        {"count past the end", with(count(100000)), LayoutStatus::kTableDamaged},
        {"count whose table size wraps 32 bits", with(count(0x4EC4EC4Fu)),
         LayoutStatus::kTableDamaged},
        {"largest count", with(count(0xFFFFFFFFu)), LayoutStatus::kTableDamaged},
        {"table offset past the end", with(offset(0xFFFFFFF0u)), LayoutStatus::kTableDamaged},
        {"table offset right at the end", with(offset(Size(good))), LayoutStatus::kTableDamaged},
        {"table shifted: marker not after it", with(offset(84)), LayoutStatus::kTableDamaged},
        {"count one short: marker not after it", with(count(2)), LayoutStatus::kTableDamaged},
        {"marker broken", ThreeStreams().BreakMarker().Build().bytes, LayoutStatus::kTableDamaged},
        {"cut inside the marker", AixBytes(good.begin(), good.begin() + markerEnd - 1),
         LayoutStatus::kTableDamaged},
        {"cut right after the marker", AixBytes(good.begin(), good.begin() + markerEnd),
         LayoutStatus::kOk},
    };
    for (const Case& c : cases) {
        AixBytes bytes = c.bytes;  // exactly sized
        Layout layout;
        EXPECT_EQ(ReadLayout(bytes.data(), Size(bytes), layout), c.status) << c.what;
    }
}

TEST(AixLayout, EveryTruncationIsRefusedOrReadInside) {
    const AixBytes good = ThreeStreams().Build().bytes;
    const std::uint32_t markerEnd = 80 + 3 * 52 + 8;
    for (std::uint32_t size = 0; size <= Size(good); ++size) {
        AixBytes bytes(good.begin(), good.begin() + size);
        Layout layout;
        const LayoutStatus status = ReadLayout(bytes.data(), size, layout);
        const LayoutStatus expected = size < 80          ? LayoutStatus::kUnknownFormat
                                      : size < markerEnd ? LayoutStatus::kTableDamaged
                                                         : LayoutStatus::kOk;
        ASSERT_EQ(status, expected) << size;
    }
}

TEST(AixLayout, BitratePacksTheRateLowSixteenBitsAndTheChannels) {
    StreamHeader s;
    s.sampleRate = 44100;
    s.channels = 2;
    EXPECT_EQ(PackBitrate(s), 44100u * 65536u + 2u);
    s.sampleRate = 96000;
    s.channels = 1;
    EXPECT_EQ(PackBitrate(s), ((96000u & 0xFFFFu) << 16) | 1u);
}

TEST(AixPackets, ReadsWholePacketsAndTellsAnEndFromACut) {
    const auto built = ThreeStreams().Trailer({'A', 'I', 'X', 'E', 0, 0, 0, 0}).Build();
    const AixBytes& bytes = built.bytes;
    const std::uint32_t length = Size(bytes);
    Packet packet;
    std::uint32_t offset = built.firstPacket;
    for (const auto& expected : built.packets) {
        ASSERT_EQ(ReadPacket(bytes.data(), length, offset, packet), PacketStatus::kPacket);
        EXPECT_EQ(packet.stream, expected.stream);
        EXPECT_EQ(packet.size, expected.size);
        EXPECT_EQ(packet.data, bytes.data() + expected.offset + 16);
        offset = packet.next;
    }
    EXPECT_EQ(offset, built.chainEnd);
    EXPECT_EQ(ReadPacket(bytes.data(), length, offset, packet), PacketStatus::kEnd);  // "AIXE"

    // The container's very end, or fewer than four bytes before it, end the chain.
    const std::uint32_t last = built.packets.back().offset;
    const AixBytes tight(bytes.begin(), bytes.begin() + built.chainEnd + 3);
    EXPECT_EQ(ReadPacket(tight.data(), built.chainEnd + 3, built.chainEnd, packet),
              PacketStatus::kEnd);
    EXPECT_EQ(ReadPacket(tight.data(), built.chainEnd, built.chainEnd, packet), PacketStatus::kEnd);
    // "AIXP" whose header or data runs past the end is cut.
    for (std::uint32_t cut : {last + 4, last + 15, last + 16, built.chainEnd - 1}) {
        AixBytes exact(bytes.begin(), bytes.begin() + cut);
        EXPECT_EQ(ReadPacket(exact.data(), cut, last, packet), PacketStatus::kCut) << cut;
    }
    // A packet without data is a packet.
    AixBytes empty = bytes;
    test::PutU16BE(empty, built.firstPacket + 10, 0);
    ASSERT_EQ(ReadPacket(empty.data(), length, built.firstPacket, packet), PacketStatus::kPacket);
    EXPECT_EQ(packet.size, 0);
    EXPECT_EQ(packet.next, built.firstPacket + 16);
}

TEST(AixExtract, HeaderCarriesTheTotalLessTwelveSecondsWrappingIn32Bits) {
    struct Case {
        std::uint32_t rate, total, written;
    };
    const Case cases[] = {
        {44100, 44100 * 20, 44100 * 8},
        {44100, 1000, 1000u - 12u * 44100u},  // wraps
        {0xFFFFFFFFu, 5, 5u - 12u * 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        AixStream s = Stream(2, 1, 1, c.total);
        s.sampleRate = c.rate;
        const auto built = AixBuilder().Add(s).Build();
        const std::uint8_t* entry = built.bytes.data() + built.EntryOffset(0);
        const auto header = MakeAdxFileHeader(entry);
        AixBytes expected(entry + 24, entry + 52);
        PutU32BE(expected, 12, c.written);
        expected.insert(expected.end(), {0, 0, '(', 'c', ')', 'C', 'R', 'I'});
        EXPECT_EQ(AixBytes(header.begin(), header.end()), expected) << c.rate << " " << c.total;
    }
}

TEST(AixExtract, OutputPathChangesTheExtensionOfTheFileNameOnly) {
    EXPECT_EQ(AdxOutputPath("save/Track 3.aixf"), "save/Track 3.adx");
    EXPECT_EQ(AdxOutputPath("Track 3"), "Track 3.adx");
    EXPECT_EQ(AdxOutputPath("a.b/c.d.e"), "a.b/c.d.adx");
    EXPECT_EQ(AdxOutputPath("save.v2/Track 3"), "save.v2/Track 3.adx");
    EXPECT_EQ(AdxOutputPath("out/"), "out/.adx");
}

struct Copied {
    AixBytes bytes;
    CopyResult result;
};

Copied Copy(const AixBytes& container, std::uint32_t firstPacket, std::uint32_t stream,
            std::uint32_t budget) {
    Copied c;
    c.result = CopyTrackData(container.data(), Size(container), firstPacket, stream, budget,
                             [&c](const std::uint8_t* data, std::size_t size) {
                                 c.bytes.insert(c.bytes.end(), data, data + size);
                                 return true;
                             });
    return c;
}

TEST(AixExtract, CopiesOnlyTheStreamsPacketsUntilTheBudgetIsPassed) {
    const auto built = ThreeStreams().Build();
    for (std::uint8_t stream = 0; stream < 3; ++stream) {
        const Copied all = Copy(built.bytes, built.firstPacket, stream, 0xFFFFFFFFu);
        EXPECT_EQ(all.result.end, CopyEnd::kChainEnd);
        EXPECT_EQ(all.bytes, StreamData(built, stream));
        EXPECT_EQ(all.result.copied, all.bytes.size());
    }
    // Stream 0 comes in packets of 2016 bytes: a budget of exactly 2016 still takes a second
    // packet (the count must pass the budget), a budget of 2015 stops after the first.
    const AixBytes data = StreamData(built, 0);
    const Copied exact = Copy(built.bytes, built.firstPacket, 0, 2016);
    EXPECT_EQ(exact.result.end, CopyEnd::kBudget);
    EXPECT_EQ(exact.bytes, AixBytes(data.begin(), data.begin() + 3600));  // 2016 + 1584 (last)
    const Copied below = Copy(built.bytes, built.firstPacket, 0, 2015);
    EXPECT_EQ(below.bytes, AixBytes(data.begin(), data.begin() + 2016));
    // A budget of 0 still takes the stream's first packet.
    EXPECT_EQ(Copy(built.bytes, built.firstPacket, 2, 0).bytes.size(), 1440u);
}

TEST(AixExtract, StopsWhereAPacketRunsPastTheEndOrAWriteFails) {
    auto built = ThreeStreams().Build();
    const auto& third = built.packets[2];  // stream 2's first packet
    test::PutU16BE(built.bytes, third.offset + 10, 0xFFFF);
    const Copied cut = Copy(built.bytes, built.firstPacket, 0, 0xFFFFFFFFu);
    EXPECT_EQ(cut.result.end, CopyEnd::kCut);
    EXPECT_EQ(cut.bytes, AixBytes(built.bytes.begin() + built.packets[0].offset + 16,
                                  built.bytes.begin() + built.packets[0].offset + 16 + 2016));

    const auto whole = ThreeStreams().Build();
    int calls = 0;
    const CopyResult refused =
        CopyTrackData(whole.bytes.data(), Size(whole.bytes), whole.firstPacket, 1, 0xFFFFFFFFu,
                      [&calls](const std::uint8_t*, std::size_t) { return ++calls < 2; });
    EXPECT_EQ(refused.end, CopyEnd::kWriteFailed);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(refused.copied, 2016u);  // only what was accepted
}

TEST(AixExtract, EveryTruncationCopiesOnlyBytesInside) {
    const auto built = ThreeStreams().Build();
    for (std::uint32_t size = built.firstPacket; size <= Size(built.bytes); ++size) {
        AixBytes bytes(built.bytes.begin(), built.bytes.begin() + size);
        const Copied c = Copy(bytes, built.firstPacket, 1, 0xFFFFFFFFu);
        // What was copied is always a prefix of the stream's data.
        const AixBytes data = StreamData(built, 1);
        ASSERT_LE(c.bytes.size(), data.size());
        ASSERT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), data.begin())) << size;
        if (size == Size(built.bytes)) {
            EXPECT_EQ(c.result.end, CopyEnd::kChainEnd);
            EXPECT_EQ(c.bytes, data);
        }
    }
}

}  // namespace
}  // namespace fogbell::aix
