// ReplaceInContainer (host/containers/container_replace.h) with the staged explorers, as the
// command line and the window use it: in place when the replacement fits, "needs a rebuild" without
// permission, and rebuilds from the innermost container outwards, nested in AFS, MVX and PAC.
// Results are read back by the independent layout reader and by a fresh open.
#include "host/containers/container_replace.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "afs_builder.h"
#include "byte_writer.h"
#include "host/plugins/plugin_host.h"
#include "layout_reader.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell {
namespace {

using test::AfsBuilder;
using test::Bytes;
using test::MvxBuilder;
using test::PacBuilder;
using test::Pattern;
using test::ReadFile;
using test::WriteFile;
namespace layout = test::layout;

Bytes MonoWave(std::size_t n, std::uint32_t seed) {
    test::WaveOptions options;
    options.channels = 1;
    options.rate = 22050;
    return test::BuildWave(options, Pattern(n, seed));
}

// The files of a folder, by name.
std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ContainerReplace : public ::testing::Test {
  protected:
    void SetUp() override {
        host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
        // Inner levels' temporaries go to the system's temporary folder: a private one here,
        // so that the tests see them all removed.
        const char* old = std::getenv("TMPDIR");
        savedTmp = old ? old : "";
        hadTmp = old != nullptr;
        std::filesystem::create_directory(tmp.Path() / "t");
        setenv("TMPDIR", (tmp.Path() / "t").c_str(), 1);
    }
    void TearDown() override {
        Close();
        if (hadTmp) {
            setenv("TMPDIR", savedTmp.c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }

    // Opens path and then each link inside the level before, as the command line does.
    void Open(const std::string& path, const std::vector<std::string>& trackLinks) {
        Close();
        std::string error;
        ExplorerSessionPtr outer = host.OpenContainer(path, nullptr, 0, error);
        ASSERT_TRUE(outer) << error;
        chain.push_back(std::move(outer));
        for (const std::string& link : trackLinks) {
            const TrackBytes track = chain.back()->Track(link);
            ASSERT_TRUE(track) << link;
            ExplorerSessionPtr nested = host.OpenContainer(link, track.Data(), track.Size(), error);
            ASSERT_TRUE(nested) << error;
            chain.push_back(std::move(nested));
        }
        links = trackLinks;
    }
    void Close() {
        while (!chain.empty()) {
            CloseOpenedFile(chain.back());
            chain.pop_back();
        }
    }

    ContainerReplaceResult Replace(const std::string& track, const Bytes& replacement,
                                   bool allowRebuild) {
        WriteFile(dir.File("replacement"), replacement);
        ContainerReplaceRequest request;
        for (const ExplorerSessionPtr& level : chain) {
            request.chain.push_back(level.get());
        }
        request.links = links;
        request.track = track;
        request.replacement = dir.File("replacement");
        request.allowRebuild = allowRebuild;
        return ReplaceInContainer(request);
    }

    // The container's file and its folder hold nothing but what the test put there.
    void ExpectNoTemporaries() {
        for (const std::string& name : FilesIn(dir.Path())) {
            EXPECT_TRUE(name == "replacement" || name.rfind("box.", 0) == 0) << name;
            EXPECT_EQ(name.find("fogbell"), std::string::npos) << name;
        }
        EXPECT_TRUE(FilesIn(tmp.Path() / "t").empty());
    }

    PluginHost host;
    test::TempDir dir;
    test::TempDir tmp;
    std::string savedTmp;
    bool hadTmp = false;
    std::vector<ExplorerSessionPtr> chain;
    std::vector<std::string> links;
};

Bytes ThreeMembers(std::uint32_t align = 2048) {
    return AfsBuilder()
        .Align(align)
        .Add("a.bin", Pattern(100, 1))
        .Add("b.bin", Pattern(300, 2))
        .Add("c.bin", Pattern(50, 3))
        .Build()
        .bytes;
}

TEST_F(ContainerReplace, AFittingReplacementGoesInPlace) {
    const std::string box = dir.File("box.afs");
    WriteFile(box, ThreeMembers());
    Open(box, {});
    const ContainerReplaceResult result = Replace("b.bin", Pattern(2048, 7), false);
    EXPECT_EQ(result.outcome, ContainerReplaceOutcome::kReplacedInPlace) << result.text;
    EXPECT_EQ(result.text, "OK");
    Close();
    const auto read = layout::ReadAfs(ReadFile(box));
    EXPECT_EQ(read.members[1].bytes, Pattern(2048, 7));
    ExpectNoTemporaries();
}

TEST_F(ContainerReplace, ALargerOneNeedsPermissionAndThenRebuildsTheFile) {
    const std::string box = dir.File("box.afs");
    const Bytes original = ThreeMembers();
    WriteFile(box, original);
    Open(box, {});
    const ContainerReplaceResult asked = Replace("b.bin", Pattern(5000, 7), false);
    EXPECT_EQ(asked.outcome, ContainerReplaceOutcome::kNeedsRebuild);
    EXPECT_EQ(asked.size, 5000u);
    EXPECT_EQ(asked.room, 2048u);
    EXPECT_TRUE(asked.rebuildable);
    EXPECT_EQ(ReadFile(box), original);

    const ContainerReplaceResult rebuilt = Replace("b.bin", Pattern(5000, 7), true);
    EXPECT_EQ(rebuilt.outcome, ContainerReplaceOutcome::kRebuilt) << rebuilt.text;
    // The open handle still sees the old archive until it is reopened.
    EXPECT_EQ(chain[0]->Length("b.bin"), 300u);
    Close();
    const auto read = layout::ReadAfs(ReadFile(box));
    EXPECT_EQ(read.members[0].bytes, Pattern(100, 1));
    EXPECT_EQ(read.members[1].bytes, Pattern(5000, 7));
    EXPECT_EQ(read.members[2].bytes, Pattern(50, 3));
    EXPECT_EQ(read.members[2].offset % 2048, 0u);
    ExpectNoTemporaries();
    Open(box, {});
    EXPECT_EQ(chain[0]->Length("b.bin"), 5000u);
}

TEST_F(ContainerReplace, TheRebuiltFileKeepsTheOriginalsPermissions) {
    const std::string box = dir.File("box.afs");
    WriteFile(box, ThreeMembers());
    std::filesystem::permissions(box, std::filesystem::perms(0640));
    Open(box, {});
    ASSERT_EQ(Replace("a.bin", Pattern(9000, 7), true).outcome, ContainerReplaceOutcome::kRebuilt);
    EXPECT_EQ(std::filesystem::status(box).permissions(), std::filesystem::perms(0640));
}

// A track inside an AFS inside an AFS: both levels grow.
TEST_F(ContainerReplace, NestedArchivesAreRebuiltOutwards) {
    const Bytes inner = AfsBuilder()
                            .Align(16)
                            .Add("x.adx", Pattern(40, 4))
                            .Add("y.adx", Pattern(60, 5))
                            .Build()
                            .bytes;
    const Bytes outer = AfsBuilder()
                            .Align(16)
                            .Add("first.bin", Pattern(33, 1))
                            .Add("inner.afs", inner)
                            .Add("last.bin", Pattern(20, 2))
                            .Build()
                            .bytes;
    const std::string box = dir.File("box.afs");
    WriteFile(box, outer);
    Open(box, {"inner.afs"});
    const ContainerReplaceResult asked = Replace("x.adx", Pattern(3000, 9), false);
    EXPECT_EQ(asked.outcome, ContainerReplaceOutcome::kNeedsRebuild);
    EXPECT_EQ(ReadFile(box), outer);
    const ContainerReplaceResult result = Replace("x.adx", Pattern(3000, 9), true);
    ASSERT_EQ(result.outcome, ContainerReplaceOutcome::kRebuilt) << result.text;
    Close();
    const auto readOuter = layout::ReadAfs(ReadFile(box));
    EXPECT_EQ(readOuter.members[0].bytes, Pattern(33, 1));
    EXPECT_EQ(readOuter.members[2].bytes, Pattern(20, 2));
    EXPECT_EQ(readOuter.members[1].name, "inner.afs");
    const auto readInner = layout::ReadAfs(readOuter.members[1].bytes);
    EXPECT_EQ(readInner.members[0].bytes, Pattern(3000, 9));
    EXPECT_EQ(readInner.members[1].bytes, Pattern(60, 5));
    EXPECT_EQ(readInner.members[1].name, "y.adx");
    ExpectNoTemporaries();
}

// Three levels where only the innermost grows: its new bytes fit the middle archive's slot
// (replaced in a private copy), and the middle one's fit the outer (replaced in place, by its
// journal): the outer archive keeps every offset.
TEST_F(ContainerReplace, InnerBytesThatFitAreReplacedInACopyAndThenInPlace) {
    const Bytes innermost = AfsBuilder().Align(16).Add("v.bin", Pattern(20, 6)).Build().bytes;
    const Bytes middle = AfsBuilder()
                             .Align(2048)
                             .Add("deep.afs", innermost)
                             .Add("m.bin", Pattern(10, 7))
                             .Build()
                             .bytes;
    const Bytes outer =
        AfsBuilder().Align(16).Add("mid.afs", middle).Add("o.bin", Pattern(10, 8)).Build().bytes;
    const std::string box = dir.File("box.afs");
    WriteFile(box, outer);
    const auto before = layout::ReadAfs(outer);
    Open(box, {"mid.afs", "deep.afs"});
    const ContainerReplaceResult result = Replace("v.bin", Pattern(500, 9), true);
    ASSERT_EQ(result.outcome, ContainerReplaceOutcome::kRebuilt) << result.text;
    Close();
    const Bytes now = ReadFile(box);
    EXPECT_EQ(now.size(), outer.size());
    const auto after = layout::ReadAfs(now);
    EXPECT_EQ(after.members[0].offset, before.members[0].offset);
    EXPECT_EQ(after.members[1].offset, before.members[1].offset);
    EXPECT_EQ(after.members[1].bytes, Pattern(10, 8));
    const auto mid = layout::ReadAfs(after.members[0].bytes);
    EXPECT_EQ(mid.members[1].bytes, Pattern(10, 7));
    EXPECT_EQ(layout::ReadAfs(mid.members[0].bytes).members[0].bytes, Pattern(500, 9));
    ExpectNoTemporaries();
}

// A fitting track of an archive inside an archive is written only through the outer file's
// journal: straight into the file, only the inner bytes changing (the outer member keeps its
// date); or, with an explorer from before that, in a copy of the inner archive that goes back
// through the outer archive's own replacement (which stamps the member's date).
TEST_F(ContainerReplace, AFittingTrackOfANestedArchiveGoesThroughTheOuterFile) {
    const Bytes inner = AfsBuilder().Align(16).Add("x.adx", Pattern(40, 4)).Build().bytes;
    const Bytes outer =
        AfsBuilder().Align(16).Add("inner.afs", inner).Add("z.bin", Pattern(20, 2)).Build().bytes;
    for (const bool within : {true, false}) {
        SCOPED_TRACE(within);
        if (!within) {
            for (const auto& explorer : host.Explorers()) {
                explorer->ForgetReplaceWithin();
            }
        }
        const std::string box = dir.File("box.afs");
        WriteFile(box, outer);
        Open(box, {"inner.afs"});
        const ContainerReplaceResult result = Replace("x.adx", Pattern(36, 9), false);
        EXPECT_EQ(result.outcome, ContainerReplaceOutcome::kReplacedInPlace) << result.text;
        EXPECT_EQ(result.text, "OK");
        Close();
        const Bytes now = ReadFile(box);
        EXPECT_EQ(now.size(), outer.size());
        const auto before = layout::ReadAfs(outer);
        const auto after = layout::ReadAfs(now);
        EXPECT_EQ(after.members[0].date == before.members[0].date, within);
        EXPECT_EQ(after.members[1].bytes, Pattern(20, 2));
        EXPECT_EQ(layout::ReadAfs(after.members[0].bytes).members[0].bytes, Pattern(36, 9));
        if (within) {
            const std::size_t from = before.members[0].offset;
            const std::size_t end = from + inner.size();
            EXPECT_TRUE(std::equal(now.begin(), now.begin() + from, outer.begin()));
            EXPECT_TRUE(std::equal(now.begin() + end, now.end(), outer.begin() + end));
        }
        ExpectNoTemporaries();
    }
}

TEST_F(ContainerReplace, AnArchiveInsideAnMvxAndAPacInsideAnAfs) {
    {
        const Bytes inner = AfsBuilder().Align(16).Add("s.bin", Pattern(30, 1)).Build().bytes;
        const Bytes mvx = MvxBuilder()
                              .Add("a.xmd", Pattern(64, 2))
                              .Add("pack.afs", inner)
                              .Add("z.xmd", Pattern(32, 3))
                              .Build()
                              .bytes;
        WriteFile(dir.File("box.mvx"), mvx);
        Open(dir.File("box.mvx"), {"pack.afs"});
        const ContainerReplaceResult result = Replace("s.bin", Pattern(700, 4), true);
        ASSERT_EQ(result.outcome, ContainerReplaceOutcome::kRebuilt) << result.text;
        Close();
        const auto read = layout::ReadMvx(ReadFile(dir.File("box.mvx")));
        EXPECT_EQ(read.members[0].bytes, Pattern(64, 2));
        EXPECT_EQ(read.members[2].bytes, Pattern(32, 3));
        EXPECT_EQ(layout::ReadAfs(read.members[1].bytes).members[0].bytes, Pattern(700, 4));
        ExpectNoTemporaries();
    }
    {
        const Bytes pac = PacBuilder().Add(MonoWave(100, 1)).Add(MonoWave(80, 2)).Build().bytes;
        const Bytes afs = AfsBuilder()
                              .Align(16)
                              .Add("se.pac", pac)
                              .Add("after.bin", Pattern(16, 3))
                              .Build()
                              .bytes;
        WriteFile(dir.File("box.afs"), afs);
        Open(dir.File("box.afs"), {"se.pac"});
        const Bytes wave = MonoWave(900, 5);
        const ContainerReplaceResult asked = Replace("Track 0.wav", wave, false);
        EXPECT_EQ(asked.outcome, ContainerReplaceOutcome::kNeedsRebuild);
        EXPECT_EQ(asked.size, wave.size() + 2);  // the 46-byte header it is rewritten with
        EXPECT_EQ(asked.room, 144u);
        const ContainerReplaceResult result = Replace("Track 0.wav", wave, true);
        ASSERT_EQ(result.outcome, ContainerReplaceOutcome::kRebuilt) << result.text;
        Close();
        const auto read = layout::ReadAfs(ReadFile(dir.File("box.afs")));
        EXPECT_EQ(read.members[1].bytes, Pattern(16, 3));
        const auto tracks = layout::ReadPac(read.members[0].bytes);
        EXPECT_EQ(tracks.members[1].bytes, MonoWave(80, 2));
        EXPECT_EQ(Bytes(tracks.members[0].bytes.begin() + 46, tracks.members[0].bytes.end()),
                  Pattern(900, 5));
        ExpectNoTemporaries();
    }
}

TEST_F(ContainerReplace, AKindThatCannotBeRebuiltSaysSo) {
    WriteFile(dir.File("box.afs"), ThreeMembers());
    for (const auto& explorer : host.Explorers()) {
        explorer->ForgetRebuild();  // as a plug-in without the export
    }
    Open(dir.File("box.afs"), {});
    const ContainerReplaceResult asked = Replace("a.bin", Pattern(5000, 7), false);
    EXPECT_EQ(asked.outcome, ContainerReplaceOutcome::kNeedsRebuild);
    EXPECT_FALSE(asked.rebuildable);
    const ContainerReplaceResult refused = Replace("a.bin", Pattern(5000, 7), true);
    EXPECT_EQ(refused.outcome, ContainerReplaceOutcome::kFailed);
    EXPECT_EQ(refused.text, "A container of this kind cannot be rebuilt.");
    EXPECT_EQ(ReadFile(dir.File("box.afs")), ThreeMembers());
}

// The inner level is rebuilt, then the outer one refuses (its first member starts inside its
// tables): the file is byte for byte as it was and no temporary is left anywhere.
TEST_F(ContainerReplace, AFailureHalfWayLeavesTheOriginalAndNoTemporaries) {
    const Bytes inner = AfsBuilder().Align(16).Add("s.bin", Pattern(30, 1)).Build().bytes;
    auto built = AfsBuilder()
                     .Align(16)
                     .Place(AfsBuilder::NameTable::kAfterOffsetTable)
                     .Add("e.bin", {})
                     .Add("in.afs", inner)
                     .Build();
    test::PutU32LE(built.bytes, AfsBuilder::PairOffset(0), 0);  // an empty member at offset 0
    WriteFile(dir.File("box.afs"), built.bytes);
    Open(dir.File("box.afs"), {"in.afs"});
    const ContainerReplaceResult result = Replace("s.bin", Pattern(4000, 4), true);
    EXPECT_EQ(result.outcome, ContainerReplaceOutcome::kFailed);
    EXPECT_NE(result.text.find("inside its tables"), std::string::npos) << result.text;
    Close();
    EXPECT_EQ(ReadFile(dir.File("box.afs")), built.bytes);
    ExpectNoTemporaries();
}

TEST_F(ContainerReplace, AContainerOpenedFromMemoryCannotBeRebuilt) {
    Bytes bytes = ThreeMembers();
    std::string error;
    ExplorerSessionPtr memory = host.OpenContainer("box.afs", bytes.data(),
                                                   static_cast<std::uint32_t>(bytes.size()), error);
    ASSERT_TRUE(memory) << error;
    WriteFile(dir.File("replacement"), Pattern(5000, 1));
    ContainerReplaceRequest request;
    request.chain = {memory.get()};
    request.track = "a.bin";
    request.replacement = dir.File("replacement");
    request.allowRebuild = true;
    const ContainerReplaceResult result = ReplaceInContainer(request);
    EXPECT_EQ(result.outcome, ContainerReplaceOutcome::kFailed);
    EXPECT_NE(result.text.find("not opened from a file"), std::string::npos) << result.text;
    EXPECT_EQ(bytes, ThreeMembers());
    CloseOpenedFile(memory);
}

// An id that names no running process: a child's, after it ended.
pid_t GoneProcess() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

TEST_F(ContainerReplace, TheNextRebuildRemovesInnerTemporariesOfKilledRuns) {
    const std::filesystem::path folder = tmp.Path() / "t";
    const std::string gone = "fogbell-rebuild-" + std::to_string(GoneProcess()) + "-2.tmp";
    const std::string mine = "fogbell-rebuild-" + std::to_string(getpid()) + "-999.tmp";
    WriteFile((folder / gone).string(), Pattern(10, 1));
    WriteFile((folder / (gone + ".fogbell-journal")).string(), Pattern(10, 4));
    WriteFile((folder / mine).string(), Pattern(10, 2));
    WriteFile((folder / "fogbell-rebuild-x-1.tmp").string(), Pattern(10, 3));
    WriteFile(dir.File("box.afs"), ThreeMembers());
    Open(dir.File("box.afs"), {});
    ASSERT_EQ(Replace("a.bin", Pattern(5000, 7), true).outcome, ContainerReplaceOutcome::kRebuilt);
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{mine, "fogbell-rebuild-x-1.tmp"}));
}

TEST(RebuildTemporaries, OnlyThoseOfProcessesThatAreGoneAreRemoved) {
    test::TempDir dir;
    const std::string box = dir.File("box.afs");
    WriteFile(box, Pattern(10, 1));
    const pid_t child = GoneProcess();
    ASSERT_GT(child, 0);
    const std::string gone = RebuildTemporaryPath(box, child, 3);
    const std::string running = RebuildTemporaryPath(box, getpid(), 4);
    EXPECT_EQ(std::filesystem::path(gone).filename().string(),
              ".box.afs.fogbell-rebuild-" + std::to_string(child) + "-3");
    WriteFile(gone, Pattern(5, 2));
    WriteFile(running, Pattern(5, 3));
    WriteFile(dir.File(".box.afs.fogbell-rebuild-notanumber"), Pattern(5, 4));
    WriteFile(dir.File(".other.afs.fogbell-rebuild-1-1"), Pattern(5, 5));
    EXPECT_EQ(RemoveStaleRebuildTemporaries(box), 1);
    EXPECT_FALSE(test::FileExists(gone));
    EXPECT_TRUE(test::FileExists(running));
    EXPECT_TRUE(test::FileExists(dir.File(".box.afs.fogbell-rebuild-notanumber")));
    EXPECT_TRUE(test::FileExists(dir.File(".other.afs.fogbell-rebuild-1-1")));
}

}  // namespace
}  // namespace fogbell
