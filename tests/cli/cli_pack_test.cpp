// fogbell-cli extract --manifest and pack: a container unpacked with its manifest packs back
// byte for byte, a folder without one packs as a plain AFS archive, an existing OUT is kept
// without --force and a damaged manifest is refused with a clear text.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "layout_reader.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "run_program.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

struct RoundTrip {
    const char* label;
    const char* file;  // the container's file name (its extension picks the explorer)
    std::function<Bytes()> build;
};

// The manifest's path as the program names it (with this system's separator).
std::string ManifestIn(const std::string& folder) {
    return (std::filesystem::path(folder) / "fogbell-manifest.json").string();
}

void PrintTo(const RoundTrip& trip, std::ostream* out) {
    *out << trip.label;
}

Bytes AfsWith(AfsBuilder::NameTable where, std::uint32_t alignment) {
    return AfsBuilder()
        .Align(alignment)
        .Place(where)
        .Add("one.adx", AdxSignatureBytes(300))
        .Add("two.bin", Pattern(5000, 2), 700)  // a gap after it
        .Add("empty.bin", {})
        .Add("three.bin", Pattern(33, 3))
        .Build()
        .bytes;
}

// bytes with what written over them from at on.
Bytes Scribbled(Bytes bytes, std::size_t at, const Bytes& what) {
    std::copy(what.begin(), what.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

// An AFS archive of three members whose name entries end with each value of ends.
Bytes AfsWithNameEnds(const std::vector<std::uint32_t>& ends) {
    auto built = AfsBuilder()
                     .Add("one.adx", AdxSignatureBytes(300))
                     .Add("two.bin", Pattern(5000, 2), 700)
                     .Add("three.bin", Pattern(33, 3))
                     .Build();
    for (std::size_t i = 0; i < ends.size(); ++i) {
        PutU32LE(built.bytes, AfsBuilder::NameEntryOffset(built, i) + 44, ends[i]);
    }
    return built.bytes;
}

// Filler of every kind a pack writes itself: a run of 0xFF up to the next member, odd bytes
// in the gap before the name table, bytes after a name's NUL, the pointer slot the archive
// does not use, and a tail after the name table.
Bytes AfsWithFiller() {
    const auto built = AfsBuilder()
                           .Align(2048)
                           .Add("one.adx", AdxSignatureBytes(300))
                           .Add("two.bin", Pattern(5000, 2))
                           .Build();
    Bytes bytes = Scribbled(built.bytes, built.offsets[0] + 300,
                            Bytes(built.offsets[1] - built.offsets[0] - 300, 0xFF));
    bytes = Scribbled(bytes, built.offsets[1] + 5010, Pattern(37, 9));
    bytes = Scribbled(bytes, AfsBuilder::NameEntryOffset(built, 0) + 10, Pattern(12, 5));
    bytes = Scribbled(bytes, AfsBuilder::PairOffset(2), {0xEF, 0xBE, 0xAD, 0xDE});
    const Bytes tail = Pattern(100, 4);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    bytes.insert(bytes.end(), 3000, 0xCC);
    return bytes;
}

// Both pointer pairs name the table, each with a size word of its own.
Bytes AfsWithTwoPointers() {
    auto built =
        AfsBuilder().Align(64).Add("a.bin", Pattern(100, 1)).Add("b.bin", Pattern(50, 2)).Build();
    PutU32LE(built.bytes, AfsBuilder::PairOffset(2), built.nameTableOffset);
    PutU32LE(built.bytes, AfsBuilder::PairOffset(2) + 4, 4096);
    PutU32LE(built.bytes, built.offsets[0] - 4, 0);
    return built.bytes;
}

// Members with noise between them and after the last (and for MVX after the names' NULs).
Bytes PacWithNoise() {
    const auto built = PacBuilder()
                           .Align(64)
                           .Add(Pattern(100, 1), 13)
                           .Add(Pattern(2000, 2), 40)
                           .Add(Pattern(7, 3), 5)
                           .Build();
    Bytes bytes = Scribbled(built.bytes, built.offsets[0] + 100, Pattern(20, 7));
    bytes = Scribbled(bytes, built.offsets[1] + 2000, Pattern(40, 8));
    return Scribbled(bytes, built.offsets[2] + 7, Pattern(5, 9));
}

// An empty MVX track is extracted as the text "Empty Length" and packs empty again.
Bytes MvxWithNoise() {
    const auto built = MvxBuilder()
                           .Add("a.xmd", Pattern(40, 1), 30)
                           .Add("empty.xmd", {})
                           .Add("b.xmd", Pattern(300, 2), 9)
                           .Build();
    Bytes bytes = Scribbled(built.bytes, built.offsets[0] + 40, Pattern(30, 7));
    bytes = Scribbled(bytes, built.offsets[2] + 300, Pattern(9, 8));
    return Scribbled(bytes, built.nameBlock + 32 + 6, Pattern(10, 6));
}

const RoundTrip kRoundTrips[] = {
    {"AfsNameTableBeforeFirstMember", "box.afs",
     [] { return AfsWith(AfsBuilder::NameTable::kBeforeFirstMember, 2048); }},
    {"AfsNameTableAfterOffsetTable", "box.afs",
     [] { return AfsWith(AfsBuilder::NameTable::kAfterOffsetTable, 16); }},
    {"AfsWithoutNameTable", "box.afs", [] { return AfsWith(AfsBuilder::NameTable::kNone, 512); }},
    {"AfsWithRepeatedAndEmptyNames", "box.afs",
     [] {
         return AfsBuilder()
             .Add("dup.adx", Pattern(10, 1))
             .Add("dup.adx", Pattern(20, 2))
             .Add("", Pattern(30, 3))
             .Build()
             .bytes;
     }},
    {"PacWithFillerAfterTracks", "box.pac",
     [] {
         return PacBuilder()
             .Align(64)
             .Add(Pattern(100, 1), 13)  // 13 filler bytes of 0xEE after it
             .Add(Pattern(2000, 2))
             .Add({})
             .Add(Pattern(7, 3), 5)
             .Build()
             .bytes;
     }},
    {"AfsNameEntriesHoldTheMembersLengths", "box.afs",
     [] {
         return AfsWithNameEnds({300, 5000, 33});
     }},
    {"AfsNameEntriesHoldOtherWords", "box.afs",
     [] {
         return AfsWithNameEnds({300, 0xA1B2C3D4u, 0});
     }},
    {"AfsWithFillerBetweenAndAfterMembers", "box.afs", AfsWithFiller},
    {"AfsWithTwoPointersOfOtherSizes", "box.afs", AfsWithTwoPointers},
    {"PacWithArbitraryFiller", "box.pac", PacWithNoise},
    {"MvxWithArbitraryFiller", "box.mvx", MvxWithNoise},
    {"MvxWithNamesOfEveryLength", "box.mvx",
     [] {
         return MvxBuilder()
             .Add("a.xmd", Pattern(40, 1))
             .Add("sixteen_chars.xm", Pattern(300, 2), 9)
             .Add("c.xmd", Pattern(3, 3))
             .Build()
             .bytes;
     }},
};

class CliPack : public ::testing::TestWithParam<RoundTrip> {
  protected:
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }
    TempDir dir;
};

TEST_P(CliPack, ExtractWithManifestThenPackGivesTheContainerByteForByte) {
    const Bytes original = GetParam().build();
    const std::string box = dir.File(GetParam().file);
    WriteFile(box, original);
    const std::string folder = dir.File("unpacked");
    std::filesystem::create_directory(folder);
    const ProgramResult extracted = Run({"extract", box, "-o", folder, "--manifest"});
    ASSERT_EQ(extracted.exitStatus, 0) << extracted.err;
    EXPECT_EQ(extracted.err, "");
    ASSERT_TRUE(FileExists(folder + "/fogbell-manifest.json"));
    EXPECT_NE(extracted.out.find(ManifestIn(folder) + "\n"), std::string::npos);

    const std::string packed = dir.File(std::string("packed-") + GetParam().file);
    const ProgramResult pack = Run({"pack", folder, packed});
    ASSERT_EQ(pack.exitStatus, 0) << pack.err;
    EXPECT_EQ(pack.out, packed + "\n");
    EXPECT_TRUE(ReadFile(packed) == original) << "the packed container differs";
}

INSTANTIATE_TEST_SUITE_P(Containers, CliPack, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& test) { return std::string(test.param.label); });

class CliPackFolder : public ::testing::Test {
  protected:
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }
    // Writes the container as name and extracts it with its manifest into "unpacked".
    ProgramResult Unpack(const std::string& name, const Bytes& bytes) {
        WriteFile(dir.File(name), bytes);
        std::filesystem::create_directory(Unpacked());
        return Run({"extract", dir.File(name), "-o", Unpacked(), "--manifest"});
    }
    std::string Unpacked() const { return dir.File("unpacked"); }
    std::string Folder() {
        const std::string folder = dir.File("in");
        std::filesystem::create_directory(folder);
        WriteFile(folder + "/b.bin", Pattern(3000, 2));
        WriteFile(folder + "/a.adx", AdxSignatureBytes(100));
        WriteFile(folder + "/c.bin", {});
        return folder;
    }
    TempDir dir;
};

TEST_F(CliPackFolder, WithoutAManifestPacksAnAfsOfTheFilesInNameOrder) {
    const std::string out = dir.File("out.afs");
    const ProgramResult pack = Run({"pack", Folder(), out});
    ASSERT_EQ(pack.exitStatus, 0) << pack.err;
    const auto read = layout::ReadAfs(ReadFile(out));
    ASSERT_EQ(read.members.size(), 3u);
    EXPECT_NE(read.nameTable, 0u);
    EXPECT_EQ(read.members[0].name, "a.adx");
    EXPECT_EQ(read.members[1].name, "b.bin");
    EXPECT_EQ(read.members[2].name, "c.bin");
    EXPECT_EQ(read.members[2].size, 0u);
    EXPECT_GE(read.members[0].date[0], 2020);  // the file's own date, not zeros
    EXPECT_EQ(read.members[0].bytes, AdxSignatureBytes(100));
    EXPECT_EQ(read.members[1].bytes, Pattern(3000, 2));
    for (std::size_t i = 0; i < read.members.size(); ++i) {
        EXPECT_EQ(read.members[i].offset % 2048, 0u) << read.members[i].offset;
        // The last four bytes of each name entry hold the member's length.
        EXPECT_EQ(layout::U32(ReadFile(out), read.nameTable + 48 * i + 44), read.members[i].size);
    }
}

#ifndef _WIN32
// Files are read one at a time as the archive is written: a folder of more files than the
// process may hold open packs whole.
TEST_F(CliPackFolder, MoreFilesThanTheProcessMayHoldOpenPack) {
    constexpr int kFiles = 300;
    const std::string folder = dir.File("many");
    std::filesystem::create_directory(folder);
    for (int i = 0; i < kFiles; ++i) {
        WriteFile(folder + "/f" + std::to_string(1000 + i) + ".bin",
                  Pattern(10, static_cast<std::uint8_t>(i)));
    }
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    rlimit few = before;
    few.rlim_cur = std::min<rlim_t>(before.rlim_cur, 64);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &few), 0);
    const ProgramResult pack = Run({"pack", folder, dir.File("many.afs")});
    setrlimit(RLIMIT_NOFILE, &before);
    ASSERT_EQ(pack.exitStatus, 0) << pack.err;
    const auto read = layout::ReadAfs(ReadFile(dir.File("many.afs")));
    ASSERT_EQ(read.members.size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(read.members[kFiles - 1].bytes, Pattern(10, static_cast<std::uint8_t>(kFiles - 1)));
}
#endif

// What a pack would not hold as meant: files the manifest leaves out and members of another
// format than their names say are refused, nothing written; subfolders are named as left out.
TEST_F(CliPackFolder, RefusesWhatItCannotHoldAsMeantAndNamesSubfoldersLeftOut) {
    WaveOptions mono;
    mono.channels = 1;
    const Bytes wave = BuildWave(mono, Pattern(400, 4));
    struct Case {
        const char* label;
        std::function<std::string()> folder;  // the folder to pack, made for the case
        std::vector<std::string> options;
        int exitStatus;
        std::string said;  // on standard error
    };
    const Case cases[] = {
        {"a file the manifest does not list",
         [&] {
             EXPECT_EQ(Unpack("box.afs", AfsBuilder().Add("one.bin", Pattern(10, 1)).Build().bytes)
                           .exitStatus,
                       0);
             WriteFile(Unpacked() + "/new.adx", AdxSignatureBytes(100));
             return Unpacked();
         },
         {},
         1,
         ": the manifest does not list new.adx, which would be left out; nothing was written. "
         "Move it out of the folder to pack the members it lists\n"},
        {"a subfolder",
         [&] {
             const std::string folder = Folder();
             std::filesystem::create_directories(folder + "/drafts");
             return folder;
         },
         {},
         0,
         ": left out the subfolder drafts: pack takes only the files directly in the folder\n"},
        {"a WAVE file named as ADX",
         [&] {
             const std::string folder = Folder();
             WriteFile(folder + "/a.adx", wave);
             return folder;
         },
         {},
         1,
         "a.adx is WAVE, not ADX as its name says: the game would not play it. Nothing was "
         "written: convert it with `fogbell-cli encode`"},
        {"a WAVE file named as ADX, packed raw",
         [&] {
             const std::string folder = Folder();
             WriteFile(folder + "/a.adx", wave);
             return folder;
         },
         {"--raw"},
         0,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string out = dir.File("out.afs");
        std::filesystem::remove(out);
        std::vector<std::string> arguments = {"pack", c.folder(), out};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramResult r = Run(arguments);
        EXPECT_EQ(r.exitStatus, c.exitStatus) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(FileExists(out), c.exitStatus == 0);
        std::filesystem::remove_all(dir.File("in"));
        std::filesystem::remove_all(Unpacked());
    }
}

TEST_F(CliPackFolder, AnExistingOutIsKeptWithoutForce) {
    const std::string out = dir.File("out.afs");
    WriteFile(out, BytesOf("mine"));
    const ProgramResult kept = Run({"pack", Folder(), out});
    EXPECT_EQ(kept.exitStatus, 1);
    EXPECT_EQ(kept.err, "fogbell-cli: " + out + ": the file exists (--force replaces it)\n");
    EXPECT_EQ(ReadFile(out), BytesOf("mine"));
    EXPECT_FALSE(FileExists(out + ".fogbell-pack"));

    EXPECT_EQ(Run({"pack", Folder(), out, "--force"}).exitStatus, 0);
    EXPECT_EQ(layout::ReadAfs(ReadFile(out)).members.size(), 3u);
}

TEST_F(CliPackFolder, ADamagedManifestIsRefusedWithItsReason) {
    const std::string folder = Folder();
    const std::string out = dir.File("out.afs");
    struct Case {
        const char* manifest;
        const char* reason;
    };
    const Case cases[] = {
        {"{\"fogbell-manifest\": 1, \"kind\": ",
         "damaged manifest: at byte 32: the text ends "
         "where a value belongs"},
        {"{\"fogbell-manifest\": 7}",
         "damaged manifest: not a manifest of version 1 "
         "(\"fogbell-manifest\": 1)"},
        {"{\"fogbell-manifest\": 1, \"kind\": \"afsvault\", \"files\": [\"../a.adx\"], "
         "\"layout\": {}}",
         "damaged manifest: \"files\" must hold file names of the folder (no folder part)"},
    };
    for (const Case& c : cases) {
        WriteFile(folder + "/fogbell-manifest.json", BytesOf(c.manifest));
        const ProgramResult refused = Run({"pack", folder, out});
        EXPECT_EQ(refused.exitStatus, 1) << c.manifest;
        EXPECT_EQ(refused.err, "fogbell-cli: " + ManifestIn(folder) + ": " + c.reason + "\n");
        EXPECT_FALSE(FileExists(out));
    }
    // Layouts the explorer cannot trust: checked by the explorer, named against OUT.
    const Case layouts[] = {
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
             "members": [{"offset": 4294967296}]})",
         "Damaged layout: member 1: \"offset\" is 4294967296, outside 0..4294967295."},
        {R"({"format": "pac", "alignment": 16, "tail": 0, "members": []})",
         "Damaged layout: not a layout of this kind (\"format\": \"afs\")."},
        {R"({"format": "afs", "alignment": 24, "nameTable": null, "tail": 0, "members": []})",
         "Damaged layout: \"alignment\" must be a power of two."},
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0, "members": []})",
         "Damaged layout: \"members\" must list one member per file (1)."},
        // Filler runs: a.adx lies at 32..132 behind a table that ends at 16.
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
             "members": [{"offset": 32, "size": 100}], "bytes": [[132, 100, "ff"]]})",
         "Damaged layout: \"bytes\": run 1 (offset 132, 100 bytes) runs past the container's "
         "end at 132."},
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
             "members": [{"offset": 32, "size": 100}], "bytes": [[24, 16, "ff"]]})",
         "Damaged layout: \"bytes\": run 1 (offset 24, 16 bytes) lies over member 1."},
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
             "members": [{"offset": 32, "size": 100}], "bytes": [[8, 4, "01020304"]]})",
         "Damaged layout: \"bytes\": run 1 (offset 8, 4 bytes) lies over the offset table."},
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
             "members": [{"offset": 32, "size": 100}], "bytes": [[16, 4294967295, "ff"]]})",
         "Damaged layout: \"bytes\": run 1 ends past 4 GiB, more than a container's offsets "
         "reach."},
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
             "members": [{"offset": 32, "size": 100}], "bytes": [[16, 2, "0g0h"]]})",
         "Damaged layout: \"bytes\": run 1 \"hex\" must be its length's bytes, or one byte, in "
         "hexadecimal digits."},
        {R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
             "members": [{"offset": 32}], "bytes": [[16, 2, "ff"]]})",
         "Damaged layout: member 1: \"size\" is needed with \"bytes\"."},
    };
    // More runs than a layout keeps.
    std::string many = R"({"format": "afs", "alignment": 16, "nameTable": null, "tail": 0,
        "members": [{"offset": 32, "size": 100}], "bytes": [)";
    for (int i = 0; i <= 65536; ++i) {
        many += (i == 0 ? "[" : ",[") + std::to_string(200 + 2 * i) + ",1,\"ff\"]";
    }
    many += "]}";
    const std::string tooMany = "Damaged layout: \"bytes\" must be a list of at most 65536 runs.";
    std::vector<Case> all(std::begin(layouts), std::end(layouts));
    // The folder holds only the member these layouts describe.
    std::filesystem::remove(folder + "/b.bin");
    std::filesystem::remove(folder + "/c.bin");
    all.push_back({many.c_str(), tooMany.c_str()});
    for (const Case& c : all) {
        WriteFile(folder + "/fogbell-manifest.json",
                  BytesOf(std::string("{\"fogbell-manifest\": 1, \"kind\": \"afsvault\", ") +
                          "\"files\": [\"a.adx\"], \"layout\": " + c.manifest + "}"));
        const ProgramResult refused = Run({"pack", folder, out});
        EXPECT_EQ(refused.exitStatus, 1) << c.manifest;
        EXPECT_EQ(refused.err, "fogbell-cli: " + out + ": " + c.reason + "\n");
        EXPECT_FALSE(FileExists(out));
        EXPECT_FALSE(FileExists(out + ".fogbell-pack"));
    }
}

// Manifests as they were written before filler runs were kept: no sizes, the PAC filler as one
// byte and its count, name entries ending in zeros.
TEST_F(CliPackFolder, AManifestWithoutFillerRunsPacksAsBefore) {
    const auto pac = PacBuilder().Align(64).Add(Pattern(100, 1), 13).Add(Pattern(50, 2)).Build();
    const auto afs = AfsBuilder().Add("a.adx", Pattern(70, 3)).Add("b.bin", Pattern(20, 4)).Build();
    const auto word = [](std::size_t i) { return std::to_string(PacBuilder::UnusedField(i)); };
    const auto at = [](std::uint32_t offset) { return std::to_string(offset); };
    struct Old {
        const char* kind;
        std::vector<std::pair<std::string, Bytes>> files;
        std::string layout;
        Bytes original;
    };
    const Old olds[] = {
        {"pacvault",
         {{"Track 0.wav", Pattern(100, 1)}, {"Track 1.wav", Pattern(50, 2)}},
         R"({"format": "pac", "exact": true, "alignment": 64, "tail": 0, "tailFill": 0,
             "members": [{"offset": )" +
             at(pac.offsets[0]) + R"(, "fill": 0, "fillLength": 0,
             "word": )" +
             word(0) + R"(}, {"offset": )" + at(pac.offsets[1]) +
             R"(, "fill": 238, "fillLength": 13, "word": )" + word(1) + "}]}",
         pac.bytes},
        {"afsvault",
         {{"a.adx", Pattern(70, 3)}, {"b.bin", Pattern(20, 4)}},
         R"({"format": "afs", "exact": true, "alignment": 16, "nameTable": {"offset": )" +
             at(afs.nameTableOffset) + R"(, "pointer": "before-first-member"}, "tail": 0,
             "members": [{"offset": )" +
             at(afs.offsets[0]) +
             R"(, "name": "a.adx", "date": [2001, 2, 3, 4, 5, 6]}, {"offset": )" +
             at(afs.offsets[1]) + R"(, "name": "b.bin", "date": [2001, 2, 3, 4, 5, 6]}]})",
         afs.bytes},
    };
    for (const Old& old : olds) {
        const std::string folder = dir.File(std::string("old-") + old.kind);
        std::filesystem::create_directory(folder);
        std::string names;
        for (const auto& [name, bytes] : old.files) {
            WriteFile(folder + "/" + name, bytes);
            names += (names.empty() ? "\"" : ", \"") + name + "\"";
        }
        WriteFile(folder + "/fogbell-manifest.json",
                  BytesOf("{\"fogbell-manifest\": 1, \"kind\": \"" + std::string(old.kind) +
                          "\", \"files\": [" + names + "], \"layout\": " + old.layout + "}"));
        const std::string out = folder + ".packed";
        const ProgramResult pack = Run({"pack", folder, out});
        ASSERT_EQ(pack.exitStatus, 0) << old.kind << ": " << pack.err;
        EXPECT_TRUE(ReadFile(out) == old.original) << old.kind;
    }
}

TEST_F(CliPackFolder, AnEditedMemberMovesTheOnesAfterItAndKeepsNamesAndDates) {
    const std::string box = dir.File("box.afs");
    ASSERT_EQ(
        Unpack("box.afs", AfsWith(AfsBuilder::NameTable::kBeforeFirstMember, 2048)).exitStatus, 0);
    const std::string folder = Unpacked();
    WriteFile(folder + "/one.adx", AdxSignatureBytes(9000));  // grows past two.bin's offset

    const std::string out = dir.File("out.afs");
    const ProgramResult pack = Run({"pack", folder, out});
    ASSERT_EQ(pack.exitStatus, 0) << pack.err;
    const auto before = layout::ReadAfs(ReadFile(box));
    const auto after = layout::ReadAfs(ReadFile(out));
    ASSERT_EQ(after.members.size(), before.members.size());
    EXPECT_EQ(after.members[0].bytes, AdxSignatureBytes(9000));
    // one.adx at 2048 now ends at 11048: two.bin goes to the next multiple of 2048.
    EXPECT_EQ(after.members[1].offset, 12288u);
    for (std::size_t i = 1; i < after.members.size(); ++i) {
        EXPECT_EQ(after.members[i].name, before.members[i].name);
        EXPECT_EQ(after.members[i].date, before.members[i].date);
        EXPECT_EQ(after.members[i].bytes, before.members[i].bytes);
    }
}

TEST_F(CliPackFolder, WithJsonTheOutputStaysOneDocument) {
    WriteFile(dir.File("box.afs"), AfsWith(AfsBuilder::NameTable::kNone, 16));
    std::filesystem::create_directory(Unpacked());
    const ProgramResult extracted =
        Run({"extract", dir.File("box.afs"), "-o", Unpacked(), "--manifest", "--json"});
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    EXPECT_EQ(nlohmann::json::parse(extracted.out).size(), 4u) << extracted.out;
    EXPECT_TRUE(FileExists(ManifestIn(Unpacked())));
}

TEST_F(CliPackFolder, AContainerAPackCannotGiveBackIsReportedAtExtraction) {
    // b.bin's pair names the place before a.bin's: a pack lays members out in table order.
    AfsBuilder::Result built = AfsBuilder()
                                   .Place(AfsBuilder::NameTable::kAfterOffsetTable)
                                   .Add("a.bin", Pattern(10, 1))
                                   .Add("b.bin", Pattern(10, 2))
                                   .Build();
    PutU32LE(built.bytes, AfsBuilder::PairOffset(0), built.offsets[1]);
    PutU32LE(built.bytes, AfsBuilder::PairOffset(1), built.offsets[0]);
    const ProgramResult extracted = Unpack("box.afs", built.bytes);
    const std::string folder = Unpacked();
    EXPECT_EQ(extracted.exitStatus, 0);
    EXPECT_EQ(extracted.err, "fogbell-cli: " + ManifestIn(folder) +
                                 ": the container is not laid out as a pack lays it out "
                                 "(members out of table order or over each other, or more odd "
                                 "filler than a manifest keeps): a pack will not give it back "
                                 "byte for byte\n");
    const std::string manifest([&] {
        const Bytes b = ReadFile(folder + "/fogbell-manifest.json");
        return std::string(b.begin(), b.end());
    }());
    EXPECT_NE(manifest.find("\"exact\": false"), std::string::npos);
}

TEST_F(CliPackFolder, AnAixContainerHasNoManifest) {
    AixStream a, b;
    a.data = AdxFrames(125, 2, 21);
    b.data = AdxFrames(125, 2, 22);
    a.total = b.total = 4000;
    const ProgramResult extracted = Unpack("m.aix", AixBuilder().Add(a).Add(b).Build().bytes);
    const std::string folder = Unpacked();
    EXPECT_EQ(extracted.exitStatus, 1);
    EXPECT_EQ(extracted.err, "fogbell-cli: " + ManifestIn(folder) +
                                 ": not written: aixvault cannot describe "
                                 "its layout: this kind of container cannot be packed\n");
    EXPECT_FALSE(FileExists(folder + "/fogbell-manifest.json"));
}

}  // namespace
}  // namespace fogbell::test
