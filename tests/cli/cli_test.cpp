// fogbell-cli run as a program on containers built at test time.
#include <gtest/gtest.h>

#include <sstream>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "cli/json_text.h"
#include "host/core/container_chain.h"
#include "run_program.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

class Cli : public ::testing::Test {
  protected:
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }

    std::string Archive() {
        const Bytes inner = AfsBuilder().Add("deep.bin", Pattern(30, 4)).Build().bytes;
        const std::string path = dir.File("disk.afs");
        WriteFile(path, AfsBuilder()
                            .Add("inner.afs", inner)
                            .Add("bgm01.bin", Pattern(100, 1), 20)
                            .Add("../../x.adx", Pattern(9, 2))
                            .Build()
                            .bytes);
        return path;
    }

    TempDir dir;
};

TEST_F(Cli, FormatsListsTheBoundPlugins) {
    const ProgramResult r = Run({"formats"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("explorer\tafsvault\tAFS\n"), std::string::npos) << r.out;
}

TEST_F(Cli, ListShowsTheWindowsThreeColumns) {
    const ProgramResult r = Run({"list", Archive()});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "inner.afs\t" +
            std::to_string(AfsBuilder().Add("deep.bin", Pattern(30, 4)).Build().bytes.size()) +
            "\t..\nbgm01.bin\t100\tUnsupported\n../../x.adx\t9\t\n");  // adxvoice refuses it
}

TEST_F(Cli, ListReachesIntoNestedContainersAndSpeaksJson) {
    const ProgramResult nested = Run({"list", Archive() + "::inner.afs", "--json"});
    EXPECT_EQ(nested.exitStatus, 0) << nested.err;
    EXPECT_EQ(nested.out,
              "[\n  {\"row\": 1, \"name\": \"deep.bin\", \"length\": 30, \"unit\": \"bytes\", "
              "\"kind\": \"unsupported\", \"rate\": null, \"channels\": null}\n]\n");
    const ProgramResult missing = Run({"list", Archive() + "::nothing.afs"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("nothing.afs: nothing.afs file not found."), std::string::npos)
        << missing.err;
}

TEST_F(Cli, ExtractWritesEveryTrackInsideTheOutputFolder) {
    const std::string archive = Archive();
    std::filesystem::create_directory(dir.File("out"));
    const ProgramResult r = Run({"extract", archive, "-o", dir.File("out")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err, "");  // quiet when standard error is not a terminal
    EXPECT_EQ(ReadFile(dir.File("out/bgm01.bin")), Pattern(100, 1));
    EXPECT_EQ(ReadFile(dir.File("out/.._.._x.adx")), Pattern(9, 2));
    EXPECT_TRUE(FileExists(dir.File("out/inner.afs")));
    EXPECT_FALSE(FileExists(dir.File("x.adx")));

    std::filesystem::create_directory(dir.File("named"));
    const ProgramResult named =
        Run({"extract", archive + "::inner.afs", "DEEP.BIN", "-o", dir.File("named")});
    EXPECT_EQ(named.exitStatus, 0) << named.err;
    EXPECT_EQ(ReadFile(dir.File("named/DEEP.BIN")), Pattern(30, 4));
}

TEST_F(Cli, FailedTracksAreNamedAndTheStatusSaysSo) {
    std::filesystem::create_directory(dir.File("out"));
    const ProgramResult r =
        Run({"extract", Archive(), "bgm01.bin", "gone.bin", "-o", dir.File("out")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "fogbell-cli: gone.bin: gone.bin file not found.\n");
    EXPECT_TRUE(FileExists(dir.File("out/bgm01.bin")));
    EXPECT_EQ(Run({"extract", Archive(), "-o", dir.File("missing")}).exitStatus, 1);
    EXPECT_EQ(Run({"list", dir.File("none.afs")}).exitStatus, 1);
    EXPECT_EQ(Run({"list", dir.File("none.xyz")}).err,
              "fogbell-cli: " + dir.File("none.xyz") + ": Format unsupported.\n");
}

TEST_F(Cli, ReplaceOverwritesATrackInPlace) {
    const std::string archive = Archive();
    WriteFile(dir.File("new.bin"), Pattern(110, 5));
    const ProgramResult r = Run({"replace", archive, "bgm01.bin", dir.File("new.bin")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "Replace OK\n");
    std::filesystem::create_directory(dir.File("out"));
    ASSERT_EQ(Run({"extract", archive, "bgm01.bin", "-o", dir.File("out")}).exitStatus, 0);
    EXPECT_EQ(ReadFile(dir.File("out/bgm01.bin")), Pattern(110, 5));

    // Larger than the track's room: refused without --rebuild, naming both sizes.
    const Bytes before = ReadFile(archive);
    WriteFile(dir.File("big.bin"), Pattern(5000, 5));
    const ProgramResult tooBig = Run({"replace", archive, "bgm01.bin", dir.File("big.bin")});
    EXPECT_EQ(tooBig.exitStatus, 1);
    EXPECT_NE(tooBig.err.find("the replacement takes 5000 bytes, the track has room for "),
              std::string::npos)
        << tooBig.err;
    EXPECT_NE(tooBig.err.find("run again with --rebuild"), std::string::npos) << tooBig.err;
    EXPECT_EQ(ReadFile(archive), before);
}

// Rows 2 and 3 store one name and row 4 none: every row is listed, addressed, extracted and
// replaced as itself.
TEST_F(Cli, EveryRowIsItsOwnTrack) {
    struct Row {
        const char* stored;
        const char* listed;
        Bytes bytes;
    };
    const std::vector<Row> rows = {{"a.adx", "a.adx", Pattern(10, 1)},
                                   {"dup.adx", "dup.adx", Pattern(20, 2)},
                                   {"dup.adx", "dup (2).adx", Pattern(30, 3)},
                                   {"", "00003.bin", Pattern(40, 4)},
                                   {"b.bin", "b.bin", Pattern(50, 5)}};
    AfsBuilder builder;
    for (const Row& row : rows) {
        builder.Add(row.stored, row.bytes, 16);
    }
    const std::string archive = dir.File("rows.afs");
    WriteFile(archive, builder.Build().bytes);

    const ProgramResult list = Run({"list", archive});
    EXPECT_EQ(list.exitStatus, 0) << list.err;
    std::istringstream lines(list.out);
    for (const Row& row : rows) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << list.out;
        EXPECT_EQ(line.rfind(row.listed + ("\t" + std::to_string(row.bytes.size()) + "\t"), 0), 0u)
            << line;
    }
    const auto extractAll = [&](const std::string& out) {
        std::filesystem::create_directory(dir.File(out));
        const ProgramResult all = Run({"extract", archive, "-o", dir.File(out)});
        EXPECT_EQ(all.exitStatus, 0) << all.err;
    };
    extractAll("all");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        EXPECT_EQ(ReadFile(dir.File("all/" + std::string(row.listed))), row.bytes) << row.listed;
        const std::string byRow = "row" + std::to_string(i);
        std::filesystem::create_directory(dir.File(byRow));
        ASSERT_EQ(Run({"extract", archive, "#" + std::to_string(i + 1), "-o", dir.File(byRow)})
                      .exitStatus,
                  0);
        EXPECT_EQ(ReadFile(dir.File(byRow + "/" + row.listed)), row.bytes) << row.listed;

        const Bytes replacement = Pattern(row.bytes.size() + 8, static_cast<std::uint8_t>(i + 10));
        WriteFile(dir.File("new.bin"), replacement);
        const ProgramResult replaced =
            Run({"replace", archive, "#" + std::to_string(i + 1), dir.File("new.bin")});
        EXPECT_EQ(replaced.exitStatus, 0) << replaced.err;
        const std::string byName = "name" + std::to_string(i);
        std::filesystem::create_directory(dir.File(byName));
        ASSERT_EQ(Run({"extract", archive, row.listed, "-o", dir.File(byName)}).exitStatus, 0);
        EXPECT_EQ(ReadFile(dir.File(byName + "/" + row.listed)), replacement) << row.listed;
    }
    // Each replacement reached its own row and no other.
    extractAll("after");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(ReadFile(dir.File("after/" + std::string(rows[i].listed))),
                  Pattern(rows[i].bytes.size() + 8, static_cast<std::uint8_t>(i + 10)))
            << rows[i].listed;
    }
}

TEST_F(Cli, UsageErrorsExitWithTwoAndHelpWithZero) {
    EXPECT_EQ(Run({}).exitStatus, 2);
    EXPECT_EQ(Run({"bogus"}).exitStatus, 2);
    EXPECT_EQ(Run({"list"}).exitStatus, 2);
    EXPECT_EQ(Run({"replace", "a.afs", "t"}).exitStatus, 2);
    EXPECT_EQ(Run({"list", "a.afs", "--no-such-flag"}).exitStatus, 2);
    for (const char* command : {"formats", "list", "extract", "wav", "decode", "replace"}) {
        const ProgramResult help = Run({command, "--help"});
        EXPECT_EQ(help.exitStatus, 0) << command;
        EXPECT_NE(help.out.find("Usage"), std::string::npos) << command;
    }
}

TEST_F(Cli, WavSavesSingleFilesAndTheTracksOfContainers) {
    AdxOptions options;
    options.channels = 1;
    options.totalSamples = 64;
    const Bytes adx = BuildAdx(options, AdxFrames(2, 1, 3), true);
    const Bytes pcm = Pattern(400, 4);
    const Bytes wave = BuildWave({}, pcm);
    WriteFile(dir.File("alone.adx"), adx);
    std::filesystem::create_directory(dir.File("out"));

    const ProgramResult single = Run({"wav", dir.File("alone.adx"), "-o", dir.File("out")});
    EXPECT_EQ(single.exitStatus, 0) << single.err;
    EXPECT_EQ(ReadFile(dir.File("out/alone.adx.wav")).size(), 44u + 64u * 2u);

    const Bytes inner = AfsBuilder().Add("deep.wav", wave).Build().bytes;
    WriteFile(dir.File("box.afs"), AfsBuilder()
                                       .Add("a.adx", adx)
                                       .Add("b.bin", Pattern(5, 5))
                                       .Add("inner.afs", inner)
                                       .Build()
                                       .bytes);
    // Every playable track when none is named: the ".bin" and the nested archive are left out.
    const ProgramResult all = Run({"wav", dir.File("box.afs"), "-o", dir.File("out")});
    EXPECT_EQ(all.exitStatus, 0) << all.err;
    EXPECT_EQ(ReadFile(dir.File("out/a.adx.wav")), ReadFile(dir.File("out/alone.adx.wav")));
    EXPECT_FALSE(FileExists(dir.File("out/b.bin.wav")));

    const ProgramResult nested =
        Run({"wav", dir.File("box.afs") + "::inner.afs", "deep.wav", "-o", dir.File("out")});
    EXPECT_EQ(nested.exitStatus, 0) << nested.err;
    const Bytes saved = ReadFile(dir.File("out/deep.wav.wav"));
    EXPECT_EQ(Bytes(saved.begin() + 44, saved.end()), pcm);

    // A named track that nothing decodes fails, and says why.
    const ProgramResult named = Run({"wav", dir.File("box.afs"), "b.bin", "-o", dir.File("out")});
    EXPECT_EQ(named.exitStatus, 1);
    EXPECT_EQ(named.err, "fogbell-cli: b.bin: Format unsupported.\n");
    EXPECT_EQ(Run({"wav", dir.File("alone.adx"), "x", "-o", dir.File("out")}).exitStatus, 2);
}

TEST(ChainPath, SplitsAtEveryDoubleColon) {
    EXPECT_EQ(SplitChainPath("a.afs"), (std::vector<std::string>{"a.afs"}));
    EXPECT_EQ(SplitChainPath("a.afs::b.afs::Track 1.aixf"),
              (std::vector<std::string>{"a.afs", "b.afs", "Track 1.aixf"}));
    EXPECT_EQ(SplitChainPath("a::"), (std::vector<std::string>{"a", ""}));
}

TEST(JsonString, KeepsUtf8AndEscapesEverythingElse) {
    EXPECT_EQ(cli::JsonString("plain"), "\"plain\"");
    EXPECT_EQ(cli::JsonString("q\"b\\\n"), "\"q\\\"b\\\\\\u000a\"");
    EXPECT_EQ(cli::JsonString("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(cli::JsonString("\x82\xA0"), "\"\\u0082\\u00a0\"");  // not UTF-8: read as Latin-1
    EXPECT_EQ(cli::JsonString("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");  // a surrogate
}

}  // namespace
}  // namespace fogbell::test
