// fnGetRoomFile, fnRebuildFile and fnReplaceFiles of the staged explorers (afsvault, pacvault,
// mvxvault), loaded by name: the rebuilt container is read back by an independent reader
// (layout_reader.h) and by the explorer itself; every other member must be byte for byte as it was,
// and the open container untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "afs_builder.h"
#include "byte_writer.h"
#include "layout_reader.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "plugin_api.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

constexpr std::uint32_t kAfsAlignment = 2048;

// A WAVE file of n sample bytes (a 44-byte header: the rewrite adds two bytes).
Bytes MonoWave(std::size_t n, std::uint32_t seed) {
    WaveOptions options;
    options.channels = 1;
    options.rate = 22050;
    return BuildWave(options, Pattern(n, seed));
}

// What pacvault stores for a WAVE replacement with a 44-byte header: the 46-byte header with
// the two length fields as a replacement in place writes them, the samples, and zeros up to
// the replacement's own length when that is longer.
Bytes PacStored(const Bytes& wave) {
    const auto length = static_cast<std::uint32_t>(wave.size());
    Bytes stored;
    ByteWriter w(stored);
    w.Text("RIFF").U32LE(length - 44).Text("WAVE").Text("fmt ").U32LE(18);
    w.Bytes(Bytes(wave.begin() + 20, wave.begin() + 36)).U16LE(0);
    w.Text("data").U32LE(length > 86 ? length - 86 : 0);
    w.Bytes(Bytes(wave.begin() + 44, wave.end()));
    return stored;
}

struct Format {
    const char* plugin;
    std::function<Bytes()> build;
    std::function<layout::Container(const Bytes&)> read;
    std::string target;        // the track replaced
    std::uint32_t targetRoom;  // its room in place in the built container
    // A replacement of about n bytes, and what the track holds after a rebuild with it.
    std::function<Bytes(std::size_t)> replacement;
    std::function<Bytes(const Bytes&)> stored;
};

std::vector<Format> Formats() {
    std::vector<Format> formats;
    formats.push_back({"afsvault",
                       [] {
                           return AfsBuilder()
                               .Align(kAfsAlignment)
                               .Date({1999, 12, 31, 23, 59, 58})
                               .Add("first.adx", Pattern(3000, 1))
                               .Add("middle.bin", Pattern(100, 2))
                               .Add("LAST.aix", Pattern(5000, 3))
                               .Build()
                               .bytes;
                       },
                       layout::ReadAfs, "middle.bin", kAfsAlignment,
                       [](std::size_t n) { return Pattern(n, 9); },
                       [](const Bytes& b) { return b; }});
    formats.push_back({"pacvault",
                       [] {
                           return PacBuilder()
                               .Add(MonoWave(400, 1), 6)
                               .Add(MonoWave(300, 2))
                               .Add(MonoWave(500, 3), 3)
                               .Build()
                               .bytes;
                       },
                       layout::ReadPac, "Track 1.wav", 344,
                       [](std::size_t n) { return MonoWave(n - 44, 9); }, PacStored});
    formats.push_back({"mvxvault",
                       [] {
                           return MvxBuilder()
                               .Add("hit.xmd", Pattern(640, 1), 5)
                               .Add("boom.xmd", Pattern(320, 2))
                               .Add("zap.xmd", Pattern(96, 3), 7)
                               .Build()
                               .bytes;
                       },
                       layout::ReadMvx, "boom.xmd", 320,
                       [](std::size_t n) { return Pattern(n, 9); },
                       [](const Bytes& b) { return b; }});
    return formats;
}

class Rebuild : public ::testing::Test {
  protected:
    TempDir dir;

    std::vector<std::string> Names(ExplorerApi& api, int handle) {
        std::vector<std::string> names;
        for (char** p = api.GetListFiles(handle); p && *p; ++p) {
            names.emplace_back(*p);
        }
        return names;
    }

    Bytes Track(ExplorerApi& api, int handle, const std::string& name) {
        std::uint32_t length = 0;
        const auto* data =
            static_cast<const std::uint8_t*>(api.GetFilePointer(handle, name.c_str(), &length));
        return data ? Bytes(data, data + length) : Bytes{};
    }
};

// Replacements larger, smaller and as large as the track's room.
TEST_F(Rebuild, EveryOtherMemberIsKeptByteForByteAndTheNewOneHoldsTheReplacement) {
    for (const Format& format : Formats()) {
        for (const std::size_t size :
             {std::size_t{format.targetRoom} * 3 + 17, std::size_t{format.targetRoom} / 2,
              std::size_t{format.targetRoom} -
                  (format.plugin == std::string("pacvault") ? 2 : 0)}) {
            SCOPED_TRACE(std::string(format.plugin) + " replacement of " + std::to_string(size));
            ExplorerApi api(format.plugin);
            ASSERT_NE(api.RebuildFile, nullptr);
            ASSERT_NE(api.GetRoomFile, nullptr);
            const Bytes original = format.build();
            const std::string path = dir.File("box");
            WriteFile(path, original);
            const Bytes replacement = format.replacement(size);
            const Bytes stored = format.stored(replacement);
            const std::string file = dir.File("new");
            WriteFile(file, replacement);
            const int handle = api.LoadFile(path.c_str());
            ASSERT_GE(handle, 0) << api.Error();

            std::uint32_t needed = 0, room = 0;
            ASSERT_EQ(api.GetRoomFile(handle, format.target.c_str(), file.c_str(), &needed, &room),
                      1)
                << api.Error();
            EXPECT_EQ(room, format.targetRoom);
            EXPECT_EQ(needed, std::max(replacement.size(), stored.size()));
            const std::string out = dir.File("rebuilt");
            ASSERT_EQ(api.RebuildFile(handle, format.target.c_str(), file.c_str(), out.c_str()), 1)
                << api.Error();

            // The open container and its file are as they were.
            EXPECT_EQ(ReadFile(path), original);
            const layout::Container before = format.read(original);
            const layout::Container after = format.read(ReadFile(out));
            ASSERT_EQ(after.members.size(), before.members.size());
            EXPECT_TRUE(layout::MembersApart(after));
            for (std::size_t i = 0; i < before.members.size(); ++i) {
                const layout::Member& old = before.members[i];
                const layout::Member& now = after.members[i];
                EXPECT_EQ(now.name, old.name) << i;
                if (old.name == format.target) {
                    EXPECT_EQ(Bytes(now.bytes.begin(),
                                    now.bytes.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                            now.bytes.size(), stored.size()))),
                              stored);
                    EXPECT_EQ(now.size, needed);
                    EXPECT_EQ(Track(api, handle, old.name), old.bytes);  // the handle's old view
                } else {
                    EXPECT_EQ(now.bytes, old.bytes) << old.name;
                    EXPECT_EQ(now.date, old.date) << old.name;
                }
            }
            // The explorer opens it, lists the same names, and takes the same file in place.
            const int reopened = api.LoadFile(out.c_str());
            ASSERT_GE(reopened, 0) << api.Error();
            EXPECT_EQ(Names(api, reopened), Names(api, handle));
            for (const layout::Member& member : after.members) {
                EXPECT_EQ(Track(api, reopened, member.name), member.bytes) << member.name;
            }
            ASSERT_EQ(
                api.GetRoomFile(reopened, format.target.c_str(), file.c_str(), &needed, &room), 1);
            EXPECT_LE(needed, room);
            api.CloseFile(reopened);
            api.CloseFile(handle);
        }
    }
}

TEST(RebuildAfs, AlignmentNameTablePointersAndTheReplacedDateAreSettled) {
    TempDir dir;
    ExplorerApi api("afsvault");
    for (auto where :
         {AfsBuilder::NameTable::kBeforeFirstMember, AfsBuilder::NameTable::kAfterOffsetTable}) {
        const auto built = AfsBuilder()
                               .Align(512)
                               .Place(where)
                               .Add("a.bin", Pattern(700, 1))
                               .Add("b.bin", Pattern(10, 2))
                               .Add("c.bin", Pattern(1500, 3))
                               .Build();
        // The builder leaves no end padding; give the archive some to see it kept.
        Bytes original = built.bytes;
        original.resize(original.size() + 77, 0xAB);
        WriteFile(dir.File("a.afs"), original);
        WriteFile(dir.File("r.bin"), Pattern(2000, 4));
        const int handle = api.LoadFile(dir.File("a.afs").c_str());
        ASSERT_GE(handle, 0);
        ASSERT_EQ(api.RebuildFile(handle, "A.BIN", dir.File("r.bin").c_str(),
                                  dir.File("out.afs").c_str()),
                  1)
            << api.Error();
        api.CloseFile(handle);
        const Bytes rebuilt = ReadFile(dir.File("out.afs"));
        const layout::Container after = layout::ReadAfs(rebuilt);
        // Members and the name table at multiples of the archive's alignment, in table order.
        std::uint32_t end = 0;
        for (const layout::Member& m : after.members) {
            EXPECT_EQ(m.offset % 512, 0u) << m.name;
            EXPECT_GE(m.offset, end);
            end = m.offset + m.size;
        }
        EXPECT_EQ(after.members[0].offset, built.offsets[0]);  // the tables keep their size
        EXPECT_EQ(after.nameTable % 512, 0u);
        EXPECT_GE(after.nameTable, end);
        // Both pointer words that named the old table name the new one; the other stays 0.
        const std::uint32_t preferred = GetU32LE(rebuilt, after.members[0].offset - 8);
        const std::uint32_t fallback = GetU32LE(rebuilt, 8 + 8 * 3);
        if (where == AfsBuilder::NameTable::kBeforeFirstMember) {
            EXPECT_EQ(preferred, after.nameTable);
            EXPECT_EQ(fallback, 0u);
        } else {
            EXPECT_EQ(preferred, 0u);
            EXPECT_EQ(fallback, after.nameTable);
        }
        // The end padding after the name table follows it as it was.
        EXPECT_EQ(rebuilt.size(), after.nameTable + 48u * 3 + 77);
        EXPECT_EQ(rebuilt.back(), 0xAB);
        // The replaced member is stamped now; the others keep theirs.
        std::time_t now = std::time(nullptr);
        std::tm local{};
#if defined(_WIN32)
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        EXPECT_EQ(after.members[0].date[0], local.tm_year + 1900);
        EXPECT_EQ(after.members[1].date[0], 2001);
        EXPECT_EQ(after.members[2].date[0], 2001);
    }
}

TEST(RebuildAfs, AnArchiveWithoutNameTableKeepsItsGeneratedNames) {
    TempDir dir;
    ExplorerApi api("afsvault");
    const auto built = AfsBuilder()
                           .Place(AfsBuilder::NameTable::kNone)
                           .Add("x", AdxSignatureBytes(64))
                           .Add("y", Pattern(30, 2))
                           .Build();
    WriteFile(dir.File("n.afs"), built.bytes);
    WriteFile(dir.File("r.bin"), Pattern(4000, 4));
    const int handle = api.LoadFile(dir.File("n.afs").c_str());
    ASSERT_GE(handle, 0);
    ASSERT_EQ(api.RebuildFile(handle, "00001.bin", dir.File("r.bin").c_str(),
                              dir.File("out.afs").c_str()),
              1)
        << api.Error();
    const int reopened = api.LoadFile(dir.File("out.afs").c_str());
    ASSERT_GE(reopened, 0);
    std::vector<std::string> names;
    for (char** p = api.GetListFiles(reopened); p && *p; ++p) {
        names.emplace_back(*p);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"00000.adx", "00001.bin"}));
    EXPECT_EQ(api.GetLengthFile(reopened, "00001.bin"), 4000u);
    api.CloseFile(reopened);
    api.CloseFile(handle);
}

TEST(RebuildFailures, NothingIsLeftAtTheOutputAndTheContainerStays) {
    TempDir dir;
    for (const Format& format : Formats()) {
        SCOPED_TRACE(format.plugin);
        ExplorerApi api(format.plugin);
        const Bytes original = format.build();
        WriteFile(dir.File("box"), original);
        WriteFile(dir.File("new"), format.replacement(1000));
        const int handle = api.LoadFile(dir.File("box").c_str());
        ASSERT_GE(handle, 0);
        // An output folder that does not exist.
        const std::string out = dir.File("missing/out");
        EXPECT_EQ(
            api.RebuildFile(handle, format.target.c_str(), dir.File("new").c_str(), out.c_str()),
            0);
        EXPECT_NE(api.Error().find("Can't create"), std::string::npos) << api.Error();
        // A track that is not there, a replacement that is not there, null arguments.
        EXPECT_EQ(api.RebuildFile(handle, "Track 99.wav_nope", dir.File("new").c_str(),
                                  dir.File("o").c_str()),
                  0);
        EXPECT_EQ(api.RebuildFile(handle, format.target.c_str(), dir.File("absent").c_str(),
                                  dir.File("o").c_str()),
                  0);
        EXPECT_EQ(api.RebuildFile(handle, format.target.c_str(), dir.File("new").c_str(), nullptr),
                  0);
        EXPECT_EQ(api.RebuildFile(handle, nullptr, dir.File("new").c_str(), dir.File("o").c_str()),
                  0);
        EXPECT_EQ(api.RebuildFile(-5, format.target.c_str(), dir.File("new").c_str(),
                                  dir.File("o").c_str()),
                  0);
        std::uint32_t needed = 0, room = 0;
        EXPECT_EQ(api.GetRoomFile(handle, format.target.c_str(), dir.File("absent").c_str(),
                                  &needed, &room),
                  0);
        EXPECT_EQ(api.GetRoomFile(handle, format.target.c_str(), nullptr, &needed, &room), 0);
        EXPECT_EQ(api.GetRoomFile(handle, nullptr, dir.File("new").c_str(), &needed, &room), 0);
        // Either answer may be left out.
        EXPECT_EQ(api.GetRoomFile(handle, format.target.c_str(), dir.File("new").c_str(), nullptr,
                                  nullptr),
                  1)
            << api.Error();
        EXPECT_FALSE(FileExists(dir.File("o")));
        EXPECT_EQ(ReadFile(dir.File("box")), original);
        api.CloseFile(handle);
    }
}

TEST(RebuildPac, AReplacementThatIsNoWaveIsRefusedByBothEntryPoints) {
    TempDir dir;
    ExplorerApi api("pacvault");
    WriteFile(dir.File("s.pac"), PacBuilder().Add(MonoWave(100, 1)).Build().bytes);
    WriteFile(dir.File("junk"), Pattern(200, 7));
    const int handle = api.LoadFile(dir.File("s.pac").c_str());
    ASSERT_GE(handle, 0);
    std::uint32_t needed = 0, room = 0;
    EXPECT_EQ(api.GetRoomFile(handle, "Track 0.wav", dir.File("junk").c_str(), &needed, &room), 0);
    EXPECT_EQ(
        api.RebuildFile(handle, "Track 0.wav", dir.File("junk").c_str(), dir.File("out").c_str()),
        0);
    EXPECT_FALSE(FileExists(dir.File("out")));
    api.CloseFile(handle);
}

// A track whose stored header is longer than the rewritten one (a LIST chunk before the data):
// the room it needs is its own length, and the samples move up behind the 46-byte header.
TEST(RebuildPac, ALongerHeaderNeedsTheReplacementsOwnLength) {
    TempDir dir;
    ExplorerApi api("pacvault");
    WriteFile(dir.File("s.pac"), PacBuilder().Add(MonoWave(100, 1)).Build().bytes);
    WaveOptions options;
    options.channels = 1;
    options.rate = 22050;
    options.chunksBeforeData.push_back({"LIST", Pattern(30, 5)});
    const Bytes wave = BuildWave(options, Pattern(400, 6));
    WriteFile(dir.File("w.wav"), wave);
    const int handle = api.LoadFile(dir.File("s.pac").c_str());
    ASSERT_GE(handle, 0);
    std::uint32_t needed = 0, room = 0;
    ASSERT_EQ(api.GetRoomFile(handle, "Track 0.wav", dir.File("w.wav").c_str(), &needed, &room), 1);
    EXPECT_EQ(needed, wave.size());
    EXPECT_EQ(room, 144u);
    ASSERT_EQ(api.RebuildFile(handle, "Track 0.wav", dir.File("w.wav").c_str(),
                              dir.File("out.pac").c_str()),
              1);
    const layout::Container after = layout::ReadPac(ReadFile(dir.File("out.pac")));
    const Bytes& track = after.members[0].bytes;
    ASSERT_EQ(track.size(), wave.size());
    EXPECT_EQ(Bytes(track.begin() + 46, track.begin() + 446), Pattern(400, 6));
    EXPECT_TRUE(std::all_of(track.begin() + 446, track.end(), [](auto b) { return b == 0; }));
    api.CloseFile(handle);
}

// fnReplaceFiles: two tracks at once, both new; a refused second replacement, a name given
// twice or a missing track leave the file as it was.
TEST_F(Rebuild, SeveralTracksAreReplacedTogetherOrNotAtAll) {
    struct Other {
        const char* track;
        Bytes fits;
        Bytes refused;  // too long for its place (AFS, MVX), or not a WAVE file (PAC)
        const char* missing;
    };
    const std::vector<Other> others = {
        {"first.adx", Pattern(1000, 4), Pattern(9000, 5), "none.adx"},
        {"Track 0.wav", MonoWave(100, 4), Pattern(100, 5), "Track 9.wav"},
        {"hit.xmd", Pattern(100, 4), Pattern(5000, 5), "none.xmd"}};
    const std::vector<Format> formats = Formats();
    for (std::size_t f = 0; f < formats.size(); ++f) {
        const Format& format = formats[f];
        const Other& other = others[f];
        SCOPED_TRACE(format.plugin);
        ExplorerApi api(format.plugin);
        ASSERT_NE(api.ReplaceFiles, nullptr);
        const Bytes original = format.build();
        const std::string path = dir.File("box");
        const Bytes replacement = format.replacement(format.targetRoom / 2);
        WriteFile(dir.File("new"), replacement);
        WriteFile(dir.File("fits"), other.fits);
        WriteFile(dir.File("refused"), other.refused);
        const std::string newPath = dir.File("new");
        const std::string fitsPath = dir.File("fits");
        const std::string refusedPath = dir.File("refused");
        const std::vector<std::vector<const char*>> refusals = {
            {format.target.c_str(), other.track, newPath.c_str(), refusedPath.c_str()},
            {format.target.c_str(), format.target.c_str(), newPath.c_str(), fitsPath.c_str()},
            {format.target.c_str(), other.missing, newPath.c_str(), fitsPath.c_str()}};
        for (const auto& refusal : refusals) {
            WriteFile(path, original);
            const int handle = api.LoadFile(path.c_str());
            ASSERT_NE(handle, -1) << api.Error();
            EXPECT_EQ(api.ReplaceFiles(handle, 2, refusal.data(), refusal.data() + 2), 0);
            EXPECT_NE(api.Error(), "OK");
            api.CloseFile(handle);
            EXPECT_EQ(ReadFile(path), original) << refusal[1];
            EXPECT_FALSE(FileExists(path + ".fogbell-journal"));
        }
        WriteFile(path, original);
        const int handle = api.LoadFile(path.c_str());
        const char* names[] = {format.target.c_str(), other.track};
        const char* files[] = {newPath.c_str(), fitsPath.c_str()};
        ASSERT_EQ(api.ReplaceFiles(handle, 2, names, files), 1) << api.Error();
        // The same two replacements one after the other, in memory.
        Bytes expected = original;
        const int memory =
            api.LoadFileMemory(expected.data(), static_cast<std::uint32_t>(expected.size()));
        ASSERT_EQ(api.ReplaceFileMemory(memory, names[0], replacement.data(),
                                        static_cast<std::uint32_t>(replacement.size())),
                  1);
        ASSERT_EQ(api.ReplaceFileMemory(memory, names[1], other.fits.data(),
                                        static_cast<std::uint32_t>(other.fits.size())),
                  1);
        for (const char* name : names) {
            EXPECT_EQ(Track(api, handle, name), Track(api, memory, name)) << name;
        }
        EXPECT_NE(Track(api, handle, format.target), Track(api, handle, other.track));
        api.CloseFile(memory);
        api.CloseFile(handle);
        const layout::Container read = format.read(ReadFile(path));
        EXPECT_EQ(read.members.size(), format.read(original).members.size());
        EXPECT_FALSE(FileExists(path + ".fogbell-journal"));
    }
}

// fnReplaceFilesWithin: each kind of container nested in an AFS file is replaced straight into
// the file's view, the file's journal gone afterwards, every other byte of the file kept; a wrong
// offset and a container opened from its own file are refused with nothing written.
TEST_F(Rebuild, ANestedContainerIsReplacedWithinTheFileThatHoldsIt) {
    for (const Format& format : Formats()) {
        SCOPED_TRACE(format.plugin);
        ExplorerApi outerApi("afsvault");
        ExplorerApi api(format.plugin);
        ASSERT_NE(api.ReplaceFilesWithin, nullptr);
        const Bytes inner = format.build();
        const auto outer =
            AfsBuilder().Add("lead.bin", Pattern(700, 6)).Add("inner.box", inner).Build();
        const std::string path = dir.File("outer.afs");
        WriteFile(path, outer.bytes);
        const Bytes replacement = format.replacement(format.targetRoom / 2);
        WriteFile(dir.File("new"), replacement);
        const std::string newPath = dir.File("new");
        const char* names[] = {format.target.c_str()};
        const char* files[] = {newPath.c_str()};

        const int file = outerApi.LoadFile(path.c_str());
        ASSERT_NE(file, -1) << outerApi.Error();
        std::uint64_t offset = 0;
        ASSERT_EQ(outerApi.GetTrackOffset(file, "inner.box", &offset), 1) << outerApi.Error();
        EXPECT_EQ(offset, outer.offsets[1]);
        std::uint32_t length = 0;
        const void* bytes = outerApi.GetFilePointer(file, "inner.box", &length);
        const int nested = api.LoadFileMemory(bytes, length);
        ASSERT_NE(nested, -1) << api.Error();
        EXPECT_EQ(api.ReplaceFilesWithin(nested, 1, names, files, path.c_str(), 1u << 30), 0);
        const int own = api.LoadFile(path.c_str());
        if (own != -1) {  // an AFS opens itself
            EXPECT_EQ(api.ReplaceFilesWithin(own, 1, names, files, path.c_str(), 0), 0);
            api.CloseFile(own);
        }
        EXPECT_EQ(ReadFile(path), outer.bytes);
        ASSERT_EQ(api.ReplaceFilesWithin(nested, 1, names, files, path.c_str(), offset), 1)
            << api.Error();
        EXPECT_FALSE(FileExists(path + ".fogbell-journal"));
        api.CloseFile(nested);
        outerApi.CloseFile(file);

        // The same replacement in a copy of the inner container's bytes.
        Bytes expected = outer.bytes;
        const int memory = api.LoadFileMemory(expected.data() + offset, length);
        ASSERT_EQ(api.ReplaceFileMemory(memory, names[0], replacement.data(),
                                        static_cast<std::uint32_t>(replacement.size())),
                  1);
        api.CloseFile(memory);
        EXPECT_NE(expected, outer.bytes);
        EXPECT_EQ(ReadFile(path), expected);
    }
}

// fnRebuildFiles: a growing and a fitting replacement in one pass give every member what two
// rebuilds one after the other give; a name given twice or a missing track write nothing.
TEST_F(Rebuild, SeveralTracksAreRebuiltInOnePass) {
    struct Other {
        const char* track;
        Bytes fits;
        const char* missing;
    };
    const std::vector<Other> others = {{"first.adx", Pattern(1000, 4), "none.adx"},
                                       {"Track 0.wav", MonoWave(100, 4), "Track 9.wav"},
                                       {"hit.xmd", Pattern(100, 4), "none.xmd"}};
    const std::vector<Format> formats = Formats();
    for (std::size_t f = 0; f < formats.size(); ++f) {
        const Format& format = formats[f];
        SCOPED_TRACE(format.plugin);
        ExplorerApi api(format.plugin);
        ASSERT_NE(api.RebuildFiles, nullptr);
        const std::string path = dir.File("box");
        WriteFile(path, format.build());
        WriteFile(dir.File("grows"), format.replacement(format.targetRoom * 3));
        WriteFile(dir.File("fits"), others[f].fits);
        const std::string grows = dir.File("grows");
        const std::string fits = dir.File("fits");
        const std::string once = dir.File(std::string("once.") + format.plugin);
        const char* names[] = {format.target.c_str(), others[f].track};
        const char* files[] = {grows.c_str(), fits.c_str()};
        const int handle = api.LoadFile(path.c_str());
        ASSERT_NE(handle, -1) << api.Error();
        const std::vector<std::vector<const char*>> refusals = {
            {format.target.c_str(), format.target.c_str()},
            {format.target.c_str(), others[f].missing}};
        for (const auto& refused : refusals) {
            EXPECT_EQ(api.RebuildFiles(handle, 2, refused.data(), files, once.c_str()), 0);
            EXPECT_FALSE(FileExists(once)) << refused[1];
        }
        ASSERT_EQ(api.RebuildFiles(handle, 2, names, files, once.c_str()), 1) << api.Error();
        // The same two replacements as two rebuilds.
        const std::string first = dir.File("first");
        const std::string twice = dir.File("twice");
        ASSERT_EQ(api.RebuildFile(handle, names[0], grows.c_str(), first.c_str()), 1);
        const int rebuilt = api.LoadFile(first.c_str());
        ASSERT_NE(rebuilt, -1) << api.Error();
        ASSERT_EQ(api.RebuildFile(rebuilt, names[1], fits.c_str(), twice.c_str()), 1);
        api.CloseFile(rebuilt);
        api.CloseFile(handle);
        const layout::Container inOnePass = format.read(ReadFile(once));
        const layout::Container inTwo = format.read(ReadFile(twice));
        ASSERT_EQ(inOnePass.members.size(), inTwo.members.size());
        for (std::size_t m = 0; m < inTwo.members.size(); ++m) {
            EXPECT_EQ(inOnePass.members[m].bytes, inTwo.members[m].bytes) << m;
        }
        EXPECT_EQ(ReadFile(path), format.build());
    }
}

}  // namespace
}  // namespace fogbell::test
