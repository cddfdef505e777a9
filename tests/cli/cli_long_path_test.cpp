// fogbell-cli on files deeper than the classic Windows path limit (MAX_PATH, 260 characters):
// the container, the output folder, the file that replaces a track, the journal of an in-place
// replacement and the temporary file of a rebuild all lie more than 300 characters deep.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "host/system/system_files.h"
#include "run_program.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr std::size_t kDeeper = 300;  // characters below the temporary folder, at least
constexpr std::size_t kLevel = 60;    // characters of each folder's name

// A folder at least kDeeper characters below base, made one level at a time by the core's own
// folder maker (forward slashes on purpose: Windows has to turn them round).
std::string DeepFolder(const std::string& base) {
    std::string folder = base;
    while (folder.size() < base.size() + kDeeper) {
        std::string made, why;
        if (!MakeFreshFolder(folder + "/" + std::string(kLevel, 'd'), made, why)) {
            ADD_FAILURE() << why;
            return folder;
        }
        folder = made;
    }
    return folder;
}

ProgramResult Cli(const std::vector<std::string>& arguments) {
    return RunProgram(CliPath(), arguments);
}

TEST(CliLongPaths, ListExtractWavDecodeReplaceAndRebuildWorkMoreThan300CharactersDeep) {
    TempDir dir;
    const std::string deep = DeepFolder(Utf8FromPath(dir.Path()));
    ASSERT_GT(deep.size(), 300u);
    std::string out, why;
    ASSERT_TRUE(MakeFreshFolder(deep + "/out-", out, why)) << why;
    AdxOptions options;
    options.totalSamples = 64;
    const Bytes adx = BuildAdx(options, AdxFrames(2, 1, 3), true);
    const std::string box = deep + "/box.afs";
    WriteFile(box, AfsBuilder().Add("a.adx", adx).Add("b.bin", Pattern(100, 1), 20).Build().bytes);

    const ProgramResult listed = Cli({"list", box});
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_NE(listed.out.find("b.bin\t100\t"), std::string::npos) << listed.out;
    const ProgramResult extracted = Cli({"extract", box, "-o", out});
    EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
    EXPECT_EQ(ReadFile(out + "/b.bin"), Pattern(100, 1));
    EXPECT_EQ(ReadFile(out + "/a.adx"), adx);
    const ProgramResult saved = Cli({"wav", box, "-o", out});
    EXPECT_EQ(saved.exitStatus, 0) << saved.err;
    EXPECT_EQ(ReadFile(out + "/a.adx.wav").size(), 44u + 64u * 2u);
    WriteFile(deep + "/alone.adx", adx);
    const ProgramResult decoded = Cli({"decode", deep + "/alone.adx", "-o", out});
    EXPECT_EQ(decoded.exitStatus, 0) << decoded.err;
    EXPECT_EQ(ReadFile(out + "/alone.adx.wav"), ReadFile(out + "/a.adx.wav"));

    // In place, through the journal beside the container.
    WriteFile(deep + "/new.bin", Pattern(110, 5));
    const ProgramResult replaced = Cli({"replace", box, "b.bin", deep + "/new.bin"});
    EXPECT_EQ(replaced.exitStatus, 0) << replaced.err;
    EXPECT_EQ(replaced.out, "Replace OK\n");
    EXPECT_FALSE(NameTaken(box + ".fogbell-journal"));
    ASSERT_EQ(Cli({"extract", box, "b.bin", "-o", out, "--force"}).exitStatus, 0);
    EXPECT_EQ(ReadFile(out + "/b.bin"), Pattern(110, 5));

    // Too big for the track: rebuilt through a temporary file beside the container.
    WriteFile(deep + "/big.bin", Pattern(5000, 6));
    const ProgramResult rebuilt = Cli({"replace", box, "b.bin", deep + "/big.bin", "--rebuild"});
    EXPECT_EQ(rebuilt.exitStatus, 0) << rebuilt.err;
    ASSERT_EQ(Cli({"extract", box, "b.bin", "-o", out, "--force"}).exitStatus, 0);
    EXPECT_EQ(ReadFile(out + "/b.bin"), Pattern(5000, 6));
    EXPECT_EQ(ReadFile(out + "/a.adx"), adx);
    for (const std::string& name : FolderNames(deep)) {
        EXPECT_EQ(name.find(".fogbell-"), std::string::npos) << name;  // nothing left behind
    }
}

}  // namespace
}  // namespace fogbell::test
