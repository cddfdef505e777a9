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
    for (const auto& member : read.members) {
        EXPECT_EQ(member.offset % 2048, 0u) << member.offset;
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
    };
    for (const Case& c : layouts) {
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

TEST_F(CliPackFolder, PaddingThatIsNotZeroIsReportedAtExtraction) {
    AfsBuilder::Result built = AfsBuilder()
                                   .Align(2048)
                                   .Add("a.bin", Pattern(10, 1), 100)
                                   .Add("b.bin", Pattern(10, 2))
                                   .Build();
    built.bytes[built.offsets[0] + 50] = 0x7E;  // inside a.bin's spare room
    const ProgramResult extracted = Unpack("box.afs", built.bytes);
    const std::string folder = Unpacked();
    EXPECT_EQ(extracted.exitStatus, 0);
    EXPECT_EQ(extracted.err, "fogbell-cli: " + ManifestIn(folder) +
                                 ": the container holds bytes a pack does "
                                 "not write (padding that is not zero): a pack will not give it "
                                 "back byte for byte\n");
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
