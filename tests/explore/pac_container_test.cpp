// Reading PAC containers and rewriting their tracks: the table, lookups, the output path, the
// rewritten WAVE header, the slot limit and damaged containers.
#include "pac_container.h"

#include <gtest/gtest.h>

#include <cstring>

#include "byte_writer.h"
#include "pac_builder.h"
#include "plugin_support.h"
#include "riff_wave_builder.h"

namespace fogbell::pac {
namespace {

using plugin::kNoRoom;
using test::GetU32LE;
using test::PacBuilder;
using test::Pattern;
using test::PutU32LE;
using test::Slice;
using test::RiffWaveBuilder;
using Bytes = std::vector<std::uint8_t>;
using Layout = RiffWaveBuilder::Layout;

Status ParseAll(Bytes& bytes, Container& container) {
    return Parse(bytes.data(), static_cast<std::uint32_t>(bytes.size()), container);
}

// Three WAVE tracks with spare bytes between them (the spare bytes belong to no track).
PacBuilder::Result ThreeTracks() {
    return PacBuilder()
        .Add(RiffWaveBuilder().Build(Pattern(200, 1)), 20)
        .Add(RiffWaveBuilder().Format(1, 22050).Build(Pattern(2000 - 44, 2)), 7)
        .Add(RiffWaveBuilder().Build(Pattern(100, 3)))
        .Build();
}

TEST(PacParse, ReadsTheTableAndLimitsEachTrackAtTheNextOne) {
    auto built = ThreeTracks();
    Container container;
    ASSERT_EQ(ParseAll(built.bytes, container), Status::kOk);
    ASSERT_EQ(container.tracks.size(), 3u);
    const auto length = static_cast<std::uint32_t>(built.bytes.size());
    for (std::size_t i = 0; i < 3; ++i) {
        const Track& track = container.tracks[i];
        EXPECT_EQ(track.offset, built.offsets[i]);
        EXPECT_EQ(track.Size(), built.sizes[i]);
        EXPECT_TRUE(track.InsideOf(length));
        const std::uint32_t end = i + 1 < 3 ? built.offsets[i + 1] : length;
        EXPECT_EQ(track.limit, end - built.offsets[i]) << i;
        EXPECT_EQ(track.Room(), built.sizes[i]) << i;  // well formed: the room is the size
    }
}

TEST(PacParse, AcceptsAContainerWithoutTracks) {
    Bytes bytes = {'S', 'D', 'P', 'A', 0, 0, 0, 0};
    Container container;
    EXPECT_EQ(ParseAll(bytes, container), Status::kOk);
    EXPECT_TRUE(container.tracks.empty());
}

TEST(PacParse, RefusesContainersWhoseHeaderOrTableIsDamaged) {
    const Bytes good = ThreeTracks().bytes;
    auto withCount = [&](std::uint32_t count) {
        Bytes bytes = good;
        PutU32LE(bytes, 4, count);
        return bytes;
    };
    Bytes badMagic = good;
    badMagic[3] = 'B';
    Bytes tableOnly = Slice(good, 0, 8 + 12 * 3);
    struct Case {
        const char* what;
        Bytes bytes;
        Status status;
    };
    const Case cases[] = {
        {"empty", {}, Status::kNotPac},
        {"three bytes", {'S', 'D', 'P'}, Status::kNotPac},
        {"wrong magic", badMagic, Status::kNotPac},
        {"magic only", {'S', 'D', 'P', 'A'}, Status::kTruncated},
        {"magic and three bytes of the count", {'S', 'D', 'P', 'A', 1, 0, 0}, Status::kTruncated},
        {"table one byte short", Slice(good, 0, 8 + 12 * 3 - 1), Status::kTableOutside},
        {"count past the end", withCount(1000), Status::kTableOutside},
        {"count 0xFFFFFFFF", withCount(0xFFFFFFFFu), Status::kTableOutside},
        // 12 x N wraps to 8 in 32-bit arithmetic.
        {"count 0x15555556", withCount(0x15555556u), Status::kTableOutside},
        {"table up to the end", tableOnly, Status::kOk},
    };
    for (const Case& c : cases) {
        Bytes bytes = c.bytes;  // exactly sized: the sanitizer sees overreads
        Container container;
        EXPECT_EQ(ParseAll(bytes, container), c.status) << c.what;
    }
    EXPECT_STREQ(StatusText(Status::kNotPac), "Is not Audio format.");
}

TEST(PacParse, KeepsTracksOutsideTheContainerListedButUnusable) {
    auto built = ThreeTracks();
    auto& bytes = built.bytes;
    const auto length = static_cast<std::uint32_t>(bytes.size());
    PutU32LE(bytes, PacBuilder::EntryOffset(0), 0xFFFFFFF0u);      // starts past the end
    PutU32LE(bytes, PacBuilder::EntryOffset(1) + 4, 0xFFFFFFF0u);  // offset + size wraps
    PutU32LE(bytes, PacBuilder::EntryOffset(2) + 4, length - built.offsets[2] + 1);  // 1 over
    Container container;
    ASSERT_EQ(ParseAll(bytes, container), Status::kOk);
    for (const Track& track : container.tracks) {
        EXPECT_FALSE(track.InsideOf(length));
    }
    EXPECT_EQ(container.tracks[0].limit, kNoRoom);
    EXPECT_EQ(container.tracks[0].Room(), kNoRoom);
}

TEST(PacParse, TracksOverTheTableOrAnotherTrackAreNeverWrittenThere) {
    auto built = ThreeTracks();
    auto& bytes = built.bytes;
    PutU32LE(bytes, PacBuilder::EntryOffset(0), 12);                        // inside the table
    PutU32LE(bytes, PacBuilder::EntryOffset(1) + 4, built.sizes[1] + 500);  // over track 2
    Container container;
    ASSERT_EQ(ParseAll(bytes, container), Status::kOk);
    EXPECT_EQ(container.tracks[0].limit, kNoRoom);
    EXPECT_EQ(container.tracks[1].Room(), built.offsets[2] - built.offsets[1]);

    // Two tracks that share their first byte: writing one would change the other.
    auto shared = ThreeTracks();
    PutU32LE(shared.bytes, PacBuilder::EntryOffset(2), shared.offsets[1]);
    Container sharedContainer;
    ASSERT_EQ(ParseAll(shared.bytes, sharedContainer), Status::kOk);
    EXPECT_EQ(sharedContainer.tracks[1].limit, kNoRoom);
    EXPECT_EQ(sharedContainer.tracks[2].limit, kNoRoom);
}

TEST(PacFindTrack, ReadsTheNumberAfterTrack) {
    auto built = PacBuilder().Add(Pattern(50, 1)).Add(Pattern(50, 2)).Build();
    Container container;
    ASSERT_EQ(ParseAll(built.bytes, container), Status::kOk);
    struct Case {
        const char* name;
        int track;  // -1: not found
    };
    const Case cases[] = {
        {"Track 0.wav", 0}, {"Track 1.wav", 1},  {"Track 01.wav", 1},
        {"Track 1", 1},     {"Track 2.wav", -1}, {"Track -1.wav", -1},
        {"track 1.wav", 0}, {"Song.wav", 0},     {"", 0},
    };
    for (const Case& c : cases) {
        const Track* track = FindTrack(container, c.name);
        if (c.track < 0) {
            EXPECT_EQ(track, nullptr) << c.name;
        } else {
            EXPECT_EQ(track, &container.tracks[static_cast<std::size_t>(c.track)]) << c.name;
        }
    }
}

TEST(PacWavePath, ChangesOnlyTheFileNamesExtension) {
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"/save/Track 0.wav", "/save/Track 0.wav"},
        {"/save/Track 0.bin", "/save/Track 0.wav"},
        {"/save/out", "/save/out.wav"},
        {"/save/a.b.c", "/save/a.b.wav"},
        {"/save/name.", "/save/name.wav"},
        {"/save.d/out", "/save.d/out.wav"},  // a dot in a folder name is not an extension
        {"out", "out.wav"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WavePath(c.path), c.expected) << c.path;
    }
}

TEST(PacBitrate, PacksTheRateAboveTheChannelCount) {
    const Bytes mono = RiffWaveBuilder().Format(1, 22050).Build({});
    EXPECT_EQ(Bitrate(mono.data()), 22050u * 65536u + 1u);
    // Only the low 16 bits of the rate fit.
    const Bytes fast = RiffWaveBuilder().Format(2, 0x12345).Build({});
    EXPECT_EQ(Bitrate(fast.data()), 0x2345u * 65536u + 2u);
}

TEST(PacRewrittenHeader, HasTheFixedLayoutAndBiasedLengths) {
    const Bytes file = RiffWaveBuilder().Format(2, 44100).Build(Pattern(1000, 4));
    wave::WaveFileHeader header{};
    ASSERT_EQ(wave::ReadWaveHeader(&header, file.data(), 1044), 44u);
    Bytes expected;
    test::ByteWriter(expected)
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
    const auto written = RewrittenHeader(header, 1044);
    EXPECT_EQ(Bytes(written.begin(), written.end()), expected);

    // Lengths below the biases give 0, never a value that wraps to nearly 4 GiB.
    const auto shortOne = RewrittenHeader(header, 60);
    EXPECT_EQ(test::GetU32LE(Bytes(shortOne.begin(), shortOne.end()), 4), 16u);
    EXPECT_EQ(test::GetU32LE(Bytes(shortOne.begin(), shortOne.end()), 42), 0u);
    const auto tiny = RewrittenHeader(header, 40);
    EXPECT_EQ(test::GetU32LE(Bytes(tiny.begin(), tiny.end()), 4), 0u);
}

class PacReplace : public ::testing::Test {
  protected:
    // Track 1 has size 2000 and is followed by 7 spare bytes and track 2.
    PacBuilder::Result built = ThreeTracks();
    Bytes original = built.bytes;
    Container container;

    void SetUp() override { ASSERT_EQ(ParseAll(built.bytes, container), Status::kOk); }

    Track& Second() { return container.tracks[1]; }
    std::uint32_t TableSize(std::size_t i) const {
        return GetU32LE(built.bytes, PacBuilder::EntryOffset(i) + 4);
    }
    Bytes TrackBytes(std::size_t i, std::size_t count) const {
        return Slice(built.bytes, built.offsets[i], count);
    }
    // Everything outside track 1's first `room` bytes and its size field is as it was.
    void ExpectOnlyTrackOneChanged(std::uint32_t room) const {
        const std::size_t sizeField = PacBuilder::EntryOffset(1) + 4;
        for (std::size_t at = 0; at < built.bytes.size(); ++at) {
            const bool inTrack = at >= built.offsets[1] && at < built.offsets[1] + room;
            const bool inSize = at >= sizeField && at < sizeField + 4;
            if (!inTrack && !inSize) {
                ASSERT_EQ(built.bytes[at], original[at]) << "byte " << at;
            }
        }
    }
};

TEST_F(PacReplace, WorkedExampleOfACanonicalFileInATrackOf2000Bytes) {
    const Bytes samples = Pattern(1000, 9);
    const Bytes file = RiffWaveBuilder().Build(samples);
    ASSERT_EQ(file.size(), 1044u);
    const ReplaceResult result = Replace(container, Second(), file.data(), 1044);
    EXPECT_EQ(result.status, ReplaceStatus::kOk);
    EXPECT_EQ(result.samples, 1000u);

    const std::uint32_t at = built.offsets[1];
    EXPECT_EQ(GetU32LE(built.bytes, at + 4), 1000u);  // RIFF length
    EXPECT_EQ(GetU32LE(built.bytes, at + 16), 18u);   // fmt size
    EXPECT_EQ(test::GetU16LE(built.bytes, at + 36), 0);
    EXPECT_EQ(std::memcmp(built.bytes.data() + at + 38, "data", 4), 0);
    EXPECT_EQ(GetU32LE(built.bytes, at + 42), 958u);  // data length
    EXPECT_EQ(Slice(built.bytes, at + 20, 16), Slice(file, 20, 16));
    EXPECT_EQ(Slice(built.bytes, at + 46, 1000), samples);  // track offsets 46 to 1,045
    EXPECT_EQ(TableSize(1), 1044u);
    EXPECT_EQ(GetU32LE(built.bytes, PacBuilder::EntryOffset(1) + 8), PacBuilder::UnusedField(1));
    // The old bytes from offset 1,046 on stay.
    EXPECT_EQ(Slice(built.bytes, at + 1046, 2000 - 1046), Slice(original, at + 1046, 2000 - 1046));
    ExpectOnlyTrackOneChanged(1046);
}

TEST_F(PacReplace, EachLayoutIsRewrittenWithinTheTrackSize) {
    struct Case {
        const char* what;
        Layout layout;
        std::uint32_t factSize;
        std::uint32_t length;  // of the whole replacement file
        ReplaceStatus status;
        std::uint32_t samples;    // sample bytes written after the 46-byte header
        std::uint32_t tableSize;  // afterwards
    };
    const Case cases[] = {
        {"46-byte header, exactly the size", Layout::kFmt18Data, 0, 2000, ReplaceStatus::kOk, 1954,
         2000},
        // The rewritten header is two bytes longer: the last two sample bytes do not fit.
        {"44-byte header, exactly the size", Layout::kFmt16, 0, 2000, ReplaceStatus::kOk, 1954,
         2000},
        {"44-byte header, one byte short", Layout::kFmt16, 0, 1999, ReplaceStatus::kOk, 1954, 1999},
        {"44-byte header, two bytes short", Layout::kFmt16, 0, 1998, ReplaceStatus::kOk, 1954,
         1998},
        {"44-byte header, too long", Layout::kFmt16, 0, 3000, ReplaceStatus::kCut, 1954, 2000},
        {"46-byte header, too long", Layout::kFmt18Data, 0, 2500, ReplaceStatus::kCut, 1954, 2000},
        {"fact chunk, exactly the size", Layout::kFmt18Fact, 4, 2000, ReplaceStatus::kOk, 1942,
         2000},
        {"fact chunk, too long", Layout::kFmt18Fact, 4, 2100, ReplaceStatus::kCut, 1942, 2000},
        // Cut inside its own (long) fact chunk: only the header is written.
        {"fact chunk longer than the track", Layout::kFmt18Fact, 2100, 2200, ReplaceStatus::kCut, 0,
         2000},
        {"short file", Layout::kFmt18Data, 0, 60, ReplaceStatus::kOk, 14, 60},
    };
    for (const Case& c : cases) {
        built = ThreeTracks();
        ASSERT_EQ(ParseAll(built.bytes, container), Status::kOk);
        const RiffWaveBuilder wave = RiffWaveBuilder().Use(c.layout).FactSize(c.factSize);
        const Bytes samples = Pattern(c.length - wave.HeaderSize(), 5);
        const Bytes file = wave.Build(samples);  // exactly sized
        ASSERT_EQ(file.size(), c.length);
        const ReplaceResult result =
            Replace(container, Second(), file.data(), static_cast<std::uint32_t>(file.size()));
        EXPECT_EQ(result.status, c.status) << c.what;
        EXPECT_EQ(result.samples, c.samples) << c.what;
        EXPECT_EQ(TableSize(1), c.tableSize) << c.what;
        if (c.status == ReplaceStatus::kCut) {
            EXPECT_EQ(result.room, 2000u) << c.what;
        }
        const std::uint32_t at = built.offsets[1];
        EXPECT_EQ(GetU32LE(built.bytes, at + 4), c.tableSize - 44) << c.what;
        EXPECT_EQ(GetU32LE(built.bytes, at + 42), c.tableSize > 86 ? c.tableSize - 86 : 0)
            << c.what;
        EXPECT_EQ(Slice(built.bytes, at + 46, c.samples), Slice(samples, 0, c.samples)) << c.what;
        ExpectOnlyTrackOneChanged(2000);
    }
}

TEST_F(PacReplace, RefusalsChangeNothing) {
    Bytes fmt20 = RiffWaveBuilder().Build(Pattern(100, 1));
    PutU32LE(fmt20, 16, 20);
    Bytes factPastItsEnd = RiffWaveBuilder().Use(Layout::kFmt18Fact).Build(Pattern(10, 1));
    PutU32LE(factPastItsEnd, 42, 0xFFFFFFF0u);  // data offset far beyond the file
    Bytes headerCut = RiffWaveBuilder().Use(Layout::kFmt18Data).Build({});
    headerCut.pop_back();  // 45 bytes: too short for its own 46-byte header
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case cases[] = {
        {"fmt chunk of 20 bytes", fmt20},
        {"fact chunk past the end", factPastItsEnd},
        {"shorter than its header", headerCut},
        {"shorter than any header", Pattern(40, 3)},
    };
    for (const Case& c : cases) {
        Bytes file = c.file;
        plugin::SetOk();
        const ReplaceResult result =
            Replace(container, Second(), file.data(), static_cast<std::uint32_t>(file.size()));
        EXPECT_EQ(result.status, ReplaceStatus::kBadWave) << c.what;
        EXPECT_STREQ(plugin::ErrorText(), "Unknown waveformat.") << c.what;
        EXPECT_EQ(built.bytes, original) << c.what;
    }
}

TEST_F(PacReplace, TracksWithoutRoomForTheHeaderOrOutsideAreRefused) {
    const Bytes file = RiffWaveBuilder().Build(Pattern(10, 1));
    PutU32LE(built.bytes, PacBuilder::EntryOffset(0) + 4, 45);
    PutU32LE(built.bytes, PacBuilder::EntryOffset(2) + 4, 0xFFFFFF00u);
    original = built.bytes;
    EXPECT_EQ(Replace(container, container.tracks[0], file.data(), 54).status,
              ReplaceStatus::kTooSmall);
    EXPECT_EQ(Replace(container, container.tracks[2], file.data(), 54).status,
              ReplaceStatus::kNoPlace);
    EXPECT_EQ(built.bytes, original);
}

TEST_F(PacReplace, TheTracksOwnBytesAsTheReplacement) {
    // A track in the form replacement writes (46-byte header, biased lengths) stays unchanged.
    const Bytes written = RiffWaveBuilder().Build(Pattern(1956, 6));
    ASSERT_EQ(Replace(container, Second(), written.data(), 2000).status, ReplaceStatus::kOk);
    const Bytes rewritten = built.bytes;
    std::uint8_t* track = built.bytes.data() + built.offsets[1];
    ASSERT_EQ(Replace(container, Second(), track, 2000).status, ReplaceStatus::kOk);
    EXPECT_EQ(built.bytes, rewritten);

    // A canonical track read from its own bytes moves its samples by two, as from a copy.
    built = ThreeTracks();
    ASSERT_EQ(ParseAll(built.bytes, container), Status::kOk);
    const Bytes copy = TrackBytes(1, 2000);
    Bytes fromCopy = built.bytes;
    Container copyContainer;
    ASSERT_EQ(ParseAll(fromCopy, copyContainer), Status::kOk);
    ASSERT_EQ(Replace(copyContainer, copyContainer.tracks[1], copy.data(), 2000).status,
              ReplaceStatus::kOk);
    track = built.bytes.data() + built.offsets[1];
    ASSERT_EQ(Replace(container, Second(), track, 2000).status, ReplaceStatus::kOk);
    EXPECT_EQ(built.bytes, fromCopy);
}

// Replacement files of every length and with damaged header fields, on exactly sized heap
// buffers: whatever happens, nothing outside the track's room and its size field changes.
TEST_F(PacReplace, NeverWritesOutsideTheTrack) {
    const Layout layouts[] = {Layout::kFmt16, Layout::kFmt18Data, Layout::kFmt18Fact};
    std::vector<Bytes> files;
    for (Layout layout : layouts) {
        const Bytes file = RiffWaveBuilder().Use(layout).Build(Pattern(2100, 7));
        for (std::size_t size = 0; size <= file.size(); size += 37) {
            files.push_back(Slice(file, 0, size));
        }
        for (std::uint32_t seed = 0; seed < 60; ++seed) {
            Bytes damaged = Slice(file, 0, 300 + 29 * seed);
            const Bytes noise = Pattern(4, seed);
            damaged[16 + noise[0] % 40] = noise[1];  // fmt size, tags, fact size, lengths
            damaged[noise[2] % 60] ^= noise[3];
            files.push_back(damaged);
        }
    }
    for (const Bytes& file : files) {
        built = ThreeTracks();
        original = built.bytes;
        ASSERT_EQ(ParseAll(built.bytes, container), Status::kOk);
        Bytes exact(file);
        Replace(container, Second(), exact.data(), static_cast<std::uint32_t>(exact.size()));
        ExpectOnlyTrackOneChanged(2000);
        ASSERT_LE(TableSize(1), 2000u);
    }
}

TEST(MemberLimits, StopAtTheNextFilledMemberAGuardedRangeOrTheEnd) {
    using plugin::ByteRange;
    using plugin::MemberLimits;
    using plugin::MemberPlace;
    const std::vector<ByteRange> guarded = {{0, 20}, {180, 200}};
    struct Case {
        const char* what;
        std::vector<MemberPlace> members;
        std::vector<std::int64_t> limits;
    };
    const Case cases[] = {
        {"in a row", {{20, 60}, {80, 100}}, {60, 100}},
        {"out of table order", {{80, 100}, {20, 60}}, {100, 60}},
        {"last one stops at the guarded tail", {{100, 10}}, {80}},
        {"starting in a guarded range", {{10, 5}, {190, 5}}, {kNoRoom, kNoRoom}},
        {"past the end", {{201, 0}, {200, 0}}, {kNoRoom, 0}},
        {"sharing a first byte", {{50, 10}, {50, 20}}, {kNoRoom, kNoRoom}},
        // An empty member holds no bytes: it stops no other member. But it starts on bytes of a
        // member that holds some (its twin at the same offset, or one it lies inside), so
        // writing it would overwrite that member: never writable.
        {"empty members", {{50, 0}, {50, 20}, {60, 0}}, {kNoRoom, 130, kNoRoom}},
        {"empty members clear of the others", {{50, 0}, {70, 20}, {90, 0}}, {20, 110, 90}},
        {"starting inside another member", {{20, 60}, {50, 10}}, {30, kNoRoom}},
        {"starting inside a member that runs past the end", {{20, 500}, {50, 10}}, {30, 130}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MemberLimits(c.members, guarded, 200), c.limits) << c.what;
    }
}

}  // namespace
}  // namespace fogbell::pac
