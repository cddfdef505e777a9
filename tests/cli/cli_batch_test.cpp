// fogbell-cli replace PATH --from DIR: a folder of replacements as one step, in place or with
// one rebuild, nothing written after any failure, and the report as lines or as JSON.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "cli/batch_replace.h"
#include "layout_reader.h"
#include "run_program.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

Bytes Adx() {
    AdxOptions options;
    options.channels = 1;
    return BuildAdx(options, AdxFrames(20, 1, 3));
}

Bytes Archive() {
    return AfsBuilder()
        .Align(2048)
        .Add("a.bin", Pattern(100, 1))
        .Add("b.bin", Pattern(300, 2))
        .Add("c.bin", Pattern(50, 3))
        .Add("d.adx", Adx())
        .Build()
        .bytes;
}

struct BatchCase {
    const char* name;
    std::map<std::string, Bytes> files;  // the folder
    bool rebuild;
    bool nested;
    int exitStatus;
    std::vector<std::string> lines;      // the report, without the count
    std::map<std::string, Bytes> after;  // tracks changed (none: the archive is as it was)
};

// "failed" text up to the reason's start, so that the table does not repeat the sentences.
std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < out.size()) {
        const std::size_t end = out.find('\n', at);
        const std::string line = out.substr(at, end - at);
        lines.push_back(line.substr(0, line.find(':')));
        at = end == std::string::npos ? out.size() : end + 1;
    }
    if (!lines.empty()) {
        lines.pop_back();  // the count
    }
    return lines;
}

class CliBatch : public ::testing::TestWithParam<BatchCase> {
  protected:
    TempDir dir;
};

TEST_P(CliBatch, ReplacesAllOrNothing) {
    const BatchCase& c = GetParam();
    const Bytes archive = Archive();
    const Bytes outer =
        AfsBuilder().Align(16).Add("x.bin", Pattern(10, 7)).Add("in.afs", archive).Build().bytes;
    const std::string box = dir.File("box.afs");
    WriteFile(box, c.nested ? outer : archive);
    const std::filesystem::path folder = dir.Path() / "in";
    std::filesystem::create_directory(folder);
    for (const auto& [name, bytes] : c.files) {
        WriteFile((folder / name).string(), bytes);
    }
    std::vector<std::string> arguments = {"replace", c.nested ? box + "::in.afs" : box, "--from",
                                          folder.string()};
    if (c.rebuild) {
        arguments.push_back("--rebuild");
    }
    const ProgramResult result = RunProgram(CliPath(), arguments);
    EXPECT_EQ(result.exitStatus, c.exitStatus) << result.out << result.err;
    EXPECT_EQ(Lines(result.out), c.lines) << result.out;
    const Bytes now = ReadFile(box);
    if (c.after.empty()) {
        EXPECT_EQ(now, c.nested ? outer : archive);
        return;
    }
    const auto outerRead = layout::ReadAfs(now);
    const auto read = layout::ReadAfs(c.nested ? outerRead.members[1].bytes : now);
    const auto before = layout::ReadAfs(archive);
    ASSERT_EQ(read.members.size(), before.members.size());
    for (std::size_t i = 0; i < read.members.size(); ++i) {
        const auto changed = c.after.find(read.members[i].name);
        EXPECT_EQ(read.members[i].bytes,
                  changed == c.after.end() ? before.members[i].bytes : changed->second)
            << read.members[i].name;
    }
    if (c.nested) {
        EXPECT_EQ(outerRead.members[0].bytes, Pattern(10, 7));
    }
}

const Bytes kFits = Pattern(200, 9);
const Bytes kGrows = Pattern(5000, 8);
const Bytes kBrokenWave = {'R', 'I', 'F', 'F', 40, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};

INSTANTIATE_TEST_SUITE_P(
    Cases, CliBatch,
    ::testing::Values(
        BatchCase{"FittingUnchangedAndUnmatched",
                  {{"a.bin", kFits}, {"b.bin", Pattern(300, 2)}, {"notes.txt", {1}}},
                  false,
                  false,
                  0,
                  {"replaced  a.bin <- a.bin", "unchanged b.bin <- b.bin", "unmatched notes.txt"},
                  {{"a.bin", kFits}}},
        BatchCase{"GrowingNeedsRebuild",
                  {{"a.bin", kFits}, {"c.bin", kGrows}},
                  false,
                  false,
                  1,
                  {"failed    a.bin <- a.bin", "failed    c.bin <- c.bin"},
                  {}},
        BatchCase{
            "GrowingRebuildsOnce",
            {{"a.bin", kFits}, {"c.bin", kGrows}, {"b.bin", kGrows}},
            true,
            false,
            0,
            {"replaced  a.bin <- a.bin", "replaced  b.bin <- b.bin", "replaced  c.bin <- c.bin"},
            {{"a.bin", kFits}, {"b.bin", kGrows}, {"c.bin", kGrows}}},
        BatchCase{"BrokenWritesNothing",
                  {{"a.bin", kFits}, {"d.wav", kBrokenWave}},
                  true,
                  false,
                  1,
                  {"failed    a.bin <- a.bin", "failed    d.adx <- d.wav"},
                  {}},
        BatchCase{"NestedInPlace",
                  {{"a.bin", kFits}, {"b.bin.wav", Pattern(10, 5)}, {"zz", {}}},
                  false,
                  true,
                  0,
                  {"replaced  a.bin <- a.bin", "replaced  b.bin <- b.bin.wav", "unmatched zz"},
                  {{"a.bin", kFits}, {"b.bin", Pattern(10, 5)}}},
        BatchCase{"NestedRebuild",
                  {{"a.bin", kGrows}, {"c.bin", kFits}},
                  true,
                  true,
                  0,
                  {"replaced  a.bin <- a.bin", "replaced  c.bin <- c.bin"},
                  {{"a.bin", kGrows}, {"c.bin", kFits}}}),
    [](const ::testing::TestParamInfo<BatchCase>& param) { return std::string(param.param.name); });

TEST(CliBatchJson, SaysEveryTrackAndTheCounts) {
    TempDir dir;
    const std::string box = dir.File("box.afs");
    WriteFile(box, Archive());
    const std::filesystem::path folder = dir.Path() / "in";
    std::filesystem::create_directory(folder);
    WriteFile((folder / "a.bin").string(), kFits);
    WriteFile((folder / "c.bin").string(), kGrows);
    WriteFile((folder / "other").string(), {1});
    const ProgramResult result =
        RunProgram(CliPath(), {"replace", box, "--from", folder.string(), "--json"});
    EXPECT_EQ(result.exitStatus, 1);
    const auto document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["written"], false);
    EXPECT_EQ(document["failed"], 2);
    EXPECT_EQ(document["replaced"], 0);
    EXPECT_EQ(document["unmatched"], nlohmann::json::array({"other"}));
    EXPECT_EQ(document["tracks"][1]["track"], "c.bin");
    EXPECT_NE(document["tracks"][1]["reason"].get<std::string>().find("--rebuild"),
              std::string::npos);
}

TEST(CliBatchNames, AFileNamesATrackByItsNameOrAsAWave) {
    EXPECT_TRUE(cli::FileNamesTrack("a.adx", "a.adx"));
    EXPECT_TRUE(cli::FileNamesTrack("A.ADX.wav", "a.adx"));
    EXPECT_TRUE(cli::FileNamesTrack("a.wav", "a.adx"));
    EXPECT_FALSE(cli::FileNamesTrack("a.adx", "a.wav"));
    EXPECT_FALSE(cli::FileNamesTrack(".wav", ".adx"));
    // The exact name wins over a stem.
    EXPECT_EQ(cli::MatchFiles({"a.wav", "x"}, {"a.adx", "a.wav"}), (std::vector<int>{1, -1}));
}

TEST(CliBatchUsage, TrackAndFileOrAFolder) {
    TempDir dir;
    WriteFile(dir.File("box.afs"), Archive());
    EXPECT_EQ(RunProgram(CliPath(), {"replace", dir.File("box.afs")}).exitStatus, 2);
    EXPECT_EQ(RunProgram(CliPath(), {"replace", dir.File("box.afs"), "a.bin", "x", "--from",
                                     dir.Path().string()})
                  .exitStatus,
              2);
}

}  // namespace
}  // namespace fogbell::test
