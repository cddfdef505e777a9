// Every explorer through its entry points, as the host calls them, on damaged tables and with
// null arguments: no replacement ever writes a byte of another member that holds bytes, of a
// table or past the end, whatever the tables say; null arguments are refused alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "plugin_api.h"
#include "riff_wave_builder.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

constexpr std::size_t kGuardBytes = 64;  // after the container: must never change
constexpr std::uint8_t kGuardValue = 0xA7;

std::uint32_t Size(const Bytes& bytes) {
    return static_cast<std::uint32_t>(bytes.size());
}

// A container's bytes followed by guard bytes, loaded from memory so that a write past the end
// lands in the guard instead of beyond the buffer.
struct Guarded {
    Bytes bytes;
    std::uint32_t length = 0;
    explicit Guarded(const Bytes& container) : bytes(container), length(Size(container)) {
        bytes.insert(bytes.end(), kGuardBytes, kGuardValue);
    }
    bool GuardIntact() const {
        for (std::size_t i = length; i < bytes.size(); ++i) {
            if (bytes[i] != kGuardValue) {
                return false;
            }
        }
        return true;
    }
};

// ----- AFS: the twin and the member that grew -----

TEST(AfsHardening, AnEmptyTwinIsNeverReplacedOverTheMemberThatSharesItsOffset) {
    auto built = AfsBuilder().Add("full.bin", Pattern(64, 1), 64).Add("twin.bin", {}).Build();
    PutU32LE(built.bytes, AfsBuilder::PairOffset(1), built.offsets[0]);  // twin on full's bytes
    Guarded archive(built.bytes);
    ExplorerApi afs("afsvault");
    const int h = afs.LoadFileMemory(archive.bytes.data(), archive.length);
    ASSERT_NE(h, -1) << afs.Error();
    const Bytes before = archive.bytes;
    const Bytes replacement = Pattern(16, 2);
    EXPECT_EQ(afs.ReplaceFileMemory(h, "twin.bin", replacement.data(), Size(replacement)), 0);
    EXPECT_EQ(afs.Error(), "Can't replace twin.bin: its place in the archive is damaged.");
    EXPECT_EQ(archive.bytes, before);
    afs.CloseFile(h);
}

TEST(AfsHardening, RoomsAreComputedAfreshAfterAMemberGrew) {
    // Table order a, c, b; b (empty) lies in a's spare bytes, so at opening a's room reaches c.
    auto built = AfsBuilder()
                     .Add("a.bin", Pattern(32, 1), 96)
                     .Add("c.bin", Pattern(32, 3))
                     .Add("b.bin", {})
                     .Build();
    const std::uint32_t bOffset = built.offsets[0] + 48;
    PutU32LE(built.bytes, AfsBuilder::PairOffset(2), bOffset);
    Guarded archive(built.bytes);
    ExplorerApi afs("afsvault");
    const int h = afs.LoadFileMemory(archive.bytes.data(), archive.length);
    ASSERT_NE(h, -1) << afs.Error();

    const Bytes b = Pattern(16, 4);
    ASSERT_EQ(afs.ReplaceFileMemory(h, "b.bin", b.data(), Size(b)), 1) << afs.Error();
    // a may now reach b's first byte and no further.
    const Bytes tooLong = Pattern(49, 5);
    EXPECT_EQ(afs.ReplaceFileMemory(h, "a.bin", tooLong.data(), Size(tooLong)), 0);
    EXPECT_EQ(afs.Error(), "File too long. Maximum size: 48");
    EXPECT_TRUE(std::equal(b.begin(), b.end(), archive.bytes.begin() + bOffset));
    const Bytes fits = Pattern(48, 6);
    EXPECT_EQ(afs.ReplaceFileMemory(h, "a.bin", fits.data(), Size(fits)), 1);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), archive.bytes.begin() + bOffset));
    EXPECT_TRUE(archive.GuardIntact());
    afs.CloseFile(h);
}

// ----- Any table at all: random tables, random replacements, the bytes that may change -----

struct Place {
    std::uint32_t offset;
    std::uint32_t size;
};

// True when [begin, end) overlaps [otherBegin, otherEnd).
bool Overlaps(std::uint64_t begin, std::uint64_t end, std::uint64_t otherBegin,
              std::uint64_t otherEnd) {
    return begin < otherEnd && otherBegin < end;
}

// Replaces random members of randomly damaged tables again and again; after every replacement
// only the replaced member's new bytes and its own table fields may differ, and they never
// reach another member that holds bytes, a table or the guard after the end.
struct TableCase {
    const char* plugin;
    // A well-formed container of `count` members, its table damaged from the random source.
    std::function<Bytes(std::mt19937&, std::size_t)> build;
    // Where member i's place is written in the table.
    std::function<std::size_t(std::size_t)> pairOffset;
    // Byte ranges of the container's structures (header, tables, names) for a container.
    std::function<std::vector<Place>(const Bytes&, std::size_t)> structures;
    // The fields of member i that a replacement of it rewrites besides its bytes.
    std::function<std::vector<Place>(const Bytes&, std::size_t, std::size_t)> ownFields;
    std::function<std::string(std::size_t)> name;
    std::function<Bytes(std::mt19937&, std::uint32_t)> replacement;
};

std::vector<Place> Members(const Bytes& bytes, std::size_t count,
                           const std::function<std::size_t(std::size_t)>& pairOffset) {
    std::vector<Place> members;
    for (std::size_t i = 0; i < count; ++i) {
        members.push_back({GetU32LE(bytes, pairOffset(i)), GetU32LE(bytes, pairOffset(i) + 4)});
    }
    return members;
}

void RunRandomTables(const TableCase& c, int rounds) {
    ExplorerApi explorer(c.plugin);
    int written = 0;
    std::mt19937 random(20261208);
    for (int round = 0; round < rounds; ++round) {
        const std::size_t count = 1 + random() % 4;
        Guarded container(c.build(random, count));
        // Damage: move members onto each other, into the tables, past the end; change sizes.
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t pair = c.pairOffset(i);
            switch (random() % 5) {
                case 0:
                    PutU32LE(container.bytes, pair,
                             GetU32LE(container.bytes, c.pairOffset(random() % count)));
                    break;
                case 1:
                    PutU32LE(container.bytes, pair,
                             static_cast<std::uint32_t>(random() % (container.length + 16)));
                    break;
                case 2:
                    PutU32LE(container.bytes, pair + 4, static_cast<std::uint32_t>(random() % 300));
                    break;
                case 3:
                    PutU32LE(container.bytes, pair + 4, 0);
                    break;
                default:
                    break;
            }
        }
        const int h = explorer.LoadFileMemory(container.bytes.data(), container.length);
        if (h == -1) {
            continue;
        }
        for (int step = 0; step < 6; ++step) {
            const std::size_t target = random() % count;
            const std::vector<Place> members = Members(container.bytes, count, c.pairOffset);
            const std::vector<Place> structures = c.structures(container.bytes, count);
            const std::vector<Place> own = c.ownFields(container.bytes, count, target);
            const Bytes before = container.bytes;
            const Bytes data = c.replacement(random, static_cast<std::uint32_t>(random() % 120));
            if (explorer.ReplaceFileMemory(h, c.name(target).c_str(), data.data(), Size(data)) ==
                0) {
                EXPECT_EQ(container.bytes, before) << c.plugin << ": a refused replacement wrote";
                continue;
            }
            ++written;
            ASSERT_TRUE(container.GuardIntact()) << c.plugin << ": wrote past the end";
            const std::uint64_t begin = members[target].offset;
            for (std::size_t at = 0; at < container.length; ++at) {
                if (container.bytes[at] == before[at]) {
                    continue;
                }
                bool ownField = false;
                for (const Place& field : own) {
                    ownField = ownField || (at >= field.offset && at < field.offset + field.size);
                }
                if (ownField) {
                    continue;
                }
                ASSERT_GE(at, begin) << c.plugin << " round " << round;
                for (std::size_t other = 0; other < count; ++other) {
                    const Place& m = members[other];
                    const bool holdsBytes =
                        m.size != 0 && std::uint64_t{m.offset} + m.size <= container.length;
                    ASSERT_FALSE(other != target && holdsBytes && m.offset != begin &&
                                 Overlaps(at, at + 1, m.offset, std::uint64_t{m.offset} + m.size))
                        << c.plugin << " round " << round << ": wrote member " << other;
                    ASSERT_FALSE(other != target && holdsBytes && m.offset == begin)
                        << c.plugin << " round " << round << ": wrote over a twin";
                }
                for (const Place& s : structures) {
                    ASSERT_FALSE(Overlaps(at, at + 1, s.offset, std::uint64_t{s.offset} + s.size))
                        << c.plugin << " round " << round << ": wrote a table at " << at;
                }
            }
        }
        explorer.CloseFile(h);
    }
    EXPECT_GT(written, rounds / 4) << "too few replacements were made to tell anything";
}

TEST(ExplorerHardening, AfsReplacementsStayInsideTheirMemberWhateverTheTablesSay) {
    TableCase c;
    c.plugin = "afsvault";
    c.build = [](std::mt19937& random, std::size_t count) {
        AfsBuilder builder;
        for (std::size_t i = 0; i < count; ++i) {
            builder.Add("m" + std::to_string(i),
                        Pattern(random() % 80, static_cast<std::uint32_t>(i)),
                        static_cast<std::uint32_t>(random() % 40));
        }
        return builder.Build().bytes;
    };
    c.pairOffset = [](std::size_t i) { return AfsBuilder::PairOffset(i); };
    const auto nameTable = [](const Bytes& bytes, std::size_t count) -> std::uint32_t {
        const std::uint32_t first = GetU32LE(bytes, 8);
        if (first >= 8 && first - 8 + 4 <= bytes.size() && GetU32LE(bytes, first - 8) != 0) {
            return GetU32LE(bytes, first - 8);
        }
        return GetU32LE(bytes, 8 + 8 * count);
    };
    c.structures = [nameTable](const Bytes& bytes, std::size_t count) {
        std::vector<Place> s = {{0, static_cast<std::uint32_t>(16 + 8 * count)}};
        const std::uint32_t first = GetU32LE(bytes, 8);
        if (first >= 8) {
            s.push_back({first - 8, 8});
        }
        s.push_back({nameTable(bytes, count), static_cast<std::uint32_t>(48 * count)});
        return s;
    };
    c.ownFields = [nameTable](const Bytes& bytes, std::size_t count, std::size_t i) {
        return std::vector<Place>{
            {static_cast<std::uint32_t>(AfsBuilder::PairOffset(i) + 4), 4},
            {static_cast<std::uint32_t>(nameTable(bytes, count) + 48 * i + 32), 12}};
    };
    c.name = [](std::size_t i) { return "m" + std::to_string(i); };
    c.replacement = [](std::mt19937& random, std::uint32_t n) {
        return Pattern(n, static_cast<std::uint32_t>(random()));
    };
    RunRandomTables(c, 400);
}

TEST(ExplorerHardening, MvxReplacementsStayInsideTheirTrackWhateverTheTableSays) {
    TableCase c;
    c.plugin = "mvxvault";
    c.build = [](std::mt19937& random, std::size_t count) {
        MvxBuilder builder;
        for (std::size_t i = 0; i < count; ++i) {
            builder.Add("m" + std::to_string(i),
                        Pattern(random() % 80, static_cast<std::uint32_t>(i)),
                        static_cast<std::uint32_t>(random() % 40));
        }
        return builder.Build().bytes;
    };
    c.pairOffset = [](std::size_t i) { return MvxBuilder::PairOffset(i); };
    c.structures = [](const Bytes& bytes, std::size_t count) {
        const auto names = static_cast<std::uint32_t>(bytes.size() - kGuardBytes - 16 * count);
        return std::vector<Place>{{0, static_cast<std::uint32_t>(8 + 8 * count)},
                                  {names, static_cast<std::uint32_t>(16 * count)}};
    };
    c.ownFields = [](const Bytes&, std::size_t, std::size_t i) {
        return std::vector<Place>{{static_cast<std::uint32_t>(MvxBuilder::PairOffset(i) + 4), 4}};
    };
    c.name = [](std::size_t i) { return "m" + std::to_string(i); };
    c.replacement = [](std::mt19937& random, std::uint32_t n) {
        return Pattern(n, static_cast<std::uint32_t>(random()));
    };
    RunRandomTables(c, 400);
}

// ----- Null arguments, alike in every explorer -----

struct Built {
    const char* plugin;
    Bytes bytes;
    const char* track;
};

std::vector<Built> OneOfEach() {
    std::vector<Built> all;
    all.push_back({"afsvault", AfsBuilder().Add("a.bin", Pattern(64, 1)).Build().bytes, "a.bin"});
    all.push_back({"mvxvault", MvxBuilder().Add("a.xmd", Pattern(64, 1)).Build().bytes, "a.xmd"});
    all.push_back(
        {"pacvault", PacBuilder().Add(BuildWave({}, Pattern(64, 1))).Build().bytes, "Track 0.wav"});
    AixStream stream;
    stream.channels = 2;
    stream.sampleRate = 44100;
    stream.total = 1000;
    stream.data = AdxFrames(10, 2, 1);
    all.push_back({"aixvault", AixBuilder().Add(stream).Build().bytes, "Track 0.aixf"});
    return all;
}

TEST(ExplorerHardening, NullArgumentsAreRefusedAlikeByEveryExplorer) {
    TempDir dir;
    for (Built& built : OneOfEach()) {
        SCOPED_TRACE(built.plugin);
        ExplorerApi api(built.plugin);
        EXPECT_EQ(api.LoadFile(nullptr), -1);
        EXPECT_EQ(api.Error(), "NULL file pointer.");
        EXPECT_EQ(api.LoadFileMemory(nullptr, 10), -1);
        EXPECT_EQ(api.Error(), "NULL memory pointer.");
        const int h = api.LoadFileMemory(built.bytes.data(), Size(built.bytes));
        ASSERT_NE(h, -1) << api.Error();
        const std::string out = dir.File(std::string(built.plugin) + ".out");

        std::uint32_t length = 77;
        EXPECT_EQ(api.GetFilePointer(h, nullptr, &length), nullptr);
        EXPECT_EQ(api.Error(), "NULL file name.");
        EXPECT_EQ(api.GetLengthFile(h, nullptr), 0u);
        EXPECT_EQ(api.Error(), "NULL file name.");
        EXPECT_EQ(api.ExtractFile(h, nullptr, out.c_str()), 0);
        EXPECT_EQ(api.Error(), "NULL file name.");
        EXPECT_FALSE(FileExists(out));
        EXPECT_FALSE(FileExists(out.substr(0, out.size() - 4) + ".adx"));
        EXPECT_EQ(api.ExtractFile(h, built.track, nullptr), 0);
        EXPECT_EQ(api.Error(), "NULL file pointer.");
        if (api.GetBitrate != nullptr) {
            EXPECT_EQ(api.GetBitrate(h, nullptr), 0u);
            EXPECT_EQ(api.Error(), "NULL file name.");
        }
        if (api.ReplaceFileMemory != nullptr) {
            const Bytes data = Pattern(8, 1);
            EXPECT_EQ(api.ReplaceFileMemory(h, nullptr, data.data(), Size(data)), 0);
            EXPECT_EQ(api.Error(), "NULL file name.");
            EXPECT_EQ(api.ReplaceFileMemory(h, built.track, nullptr, 40), 0);
            EXPECT_EQ(api.Error(), "NULL memory pointer.");
        }
        if (api.ReplaceFile != nullptr) {
            const std::string source = dir.File("source.bin");
            WriteFile(source, BuildWave({}, Pattern(8, 1)));
            EXPECT_EQ(api.ReplaceFile(h, nullptr, source.c_str()), 0);
            EXPECT_EQ(api.Error(), "NULL file name.");
            EXPECT_EQ(api.ReplaceFile(h, built.track, nullptr), 0);
            EXPECT_EQ(api.Error(), "NULL file pointer.");
        }
        api.CloseFile(h);
    }
}

// ----- Damage told at opening: tracks outside a container cut short -----

struct CutCase {
    const char* plugin;
    Bytes bytes;                       // the whole container
    std::size_t cutTo;                 // bytes kept
    std::vector<std::size_t> damaged;  // rows lying wholly or partly outside them
};

// Twenty stereo groups (720 bytes) in two packets.
AixStream CutStream(std::uint32_t total) {
    AixStream stream;
    stream.total = total;
    stream.data = AdxFrames(20, 2, 1);
    stream.packetData = 360;
    return stream;
}

std::vector<CutCase> CutContainers() {
    std::vector<CutCase> all;
    const auto afs = AfsBuilder()
                         .Add("a.bin", Pattern(100, 1))
                         .Add("b.bin", Pattern(100, 2))
                         .Add("c.bin", Pattern(100, 3))
                         .Build();
    all.push_back({"afsvault", afs.bytes, afs.bytes.size(), {}});
    all.push_back({"afsvault", afs.bytes, afs.offsets[1] + 10, {1, 2}});
    const auto pac = PacBuilder()
                         .Add(BuildWave({}, Pattern(64, 1)))
                         .Add(BuildWave({}, Pattern(64, 2)))
                         .Add(BuildWave({}, Pattern(64, 3)))
                         .Build();
    all.push_back({"pacvault", pac.bytes, pac.bytes.size(), {}});
    all.push_back({"pacvault", pac.bytes, pac.offsets[2] + 5, {2}});
    all.push_back({"pacvault", pac.bytes, pac.offsets[1], {1, 2}});
    const auto mvx = MvxBuilder().Add("a.xmd", Pattern(64, 1)).Add("b.xmd", Pattern(64, 2)).Build();
    all.push_back({"mvxvault", mvx.bytes, mvx.bytes.size(), {}});
    all.push_back({"mvxvault", mvx.bytes, mvx.offsets[1] + 1, {1}});
    // Packets s0, s1, s0, s1. Stream 0's first packet holds the 320 bytes its entry declares
    // (320 samples take ten groups, 360 bytes, so the budget of 320 bytes rules); stream 1 needs
    // both of its packets for its 640: a cut, even exactly between two packets, reaches
    // stream 1 only unless it falls before stream 0's first packet ends.
    const auto aix = AixBuilder().Add(CutStream(320)).Add(CutStream(640)).Build();
    all.push_back({"aixvault", aix.bytes, aix.bytes.size(), {}});
    all.push_back({"aixvault", aix.bytes, aix.packets[1].offset + 20, {1}});
    all.push_back({"aixvault", aix.bytes, aix.packets[0].offset + 20, {0, 1}});
    all.push_back({"aixvault", aix.bytes, aix.packets[3].offset, {1}});
    all.push_back({"aixvault", aix.bytes, aix.packets[2].offset, {1}});
    all.push_back({"aixvault", aix.bytes, aix.packets[1].offset, {1}});
    all.push_back({"aixvault", aix.bytes, aix.firstPacket, {0, 1}});
    return all;
}

TEST(ExplorerHardening, TracksOutsideACutContainerAreCountedAndMarkedAsExtractionFindsThem) {
    TempDir dir;
    for (const CutCase& c : CutContainers()) {
        SCOPED_TRACE(std::string(c.plugin) + " cut to " + std::to_string(c.cutTo));
        ExplorerApi api(c.plugin);
        ASSERT_NE(api.GetDamagedCount, nullptr);
        ASSERT_NE(api.IsTrackDamaged, nullptr);
        Bytes cut(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(c.cutTo));
        const int h = api.LoadFileMemory(cut.data(), Size(cut));
        ASSERT_NE(h, -1) << api.Error();
        EXPECT_EQ(api.GetDamagedCount(h), c.damaged.size());
        std::vector<std::size_t> marked;
        std::size_t row = 0;
        for (char** name = api.GetListFiles(h); name && *name; ++name, ++row) {
            const bool damaged = api.IsTrackDamaged(h, *name) == 1;
            if (damaged) {
                marked.push_back(row);
            }
            // A track is called damaged exactly when its extraction finds it cut short.
            const std::string out = dir.File("row" + std::to_string(row) + ".bin");
            EXPECT_EQ(api.ExtractFile(h, *name, out.c_str()) == 0, damaged) << *name;
        }
        EXPECT_EQ(marked, c.damaged);
        EXPECT_EQ(api.IsTrackDamaged(h, nullptr), 0);
        EXPECT_EQ(api.Error(), "NULL file name.");
        EXPECT_EQ(api.CloseFile(h), 1);
        EXPECT_EQ(api.GetDamagedCount(h), 0u);  // a closed handle
    }
}

}  // namespace
}  // namespace fogbell::test
