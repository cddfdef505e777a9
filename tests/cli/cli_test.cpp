// fogbell-cli run as a program on containers built at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "cli/cli_output.h"
#include "cli/json_text.h"
#include "host/containers/container_chain.h"
#include "host/system/system_files.h"
#include "run_program.h"
#include "test_files.h"
#include "wave_builder.h"
#include "xmd_builder.h"

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
    EXPECT_NE(r.out.find("explorer\tafsvault\tAFS\t"), std::string::npos) << r.out;
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
              "\"kind\": \"unsupported\", \"rate\": null, \"channels\": null, "
              "\"seconds\": null}\n]\n");
    const ProgramResult missing = Run({"list", Archive() + "::nothing.afs"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_NE(missing.err.find("nothing.afs: no such track in " + Archive()), std::string::npos)
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
    EXPECT_EQ(r.err, "fogbell-cli: gone.bin: no such track in " + Archive() +
                         " (`fogbell-cli list " + Archive() + "` lists its tracks)\n");
    EXPECT_TRUE(FileExists(dir.File("out/bgm01.bin")));
    WriteFile(dir.File("taken"), Pattern(4, 1));
    EXPECT_EQ(Run({"extract", Archive(), "-o", dir.File("taken")}).exitStatus, 1);
    EXPECT_EQ(Run({"list", dir.File("none.afs")}).exitStatus, 1);
    WriteFile(dir.File("some.xyz"), Pattern(4, 1));
    EXPECT_EQ(Run({"list", dir.File("some.xyz")}).err,
              "fogbell-cli: " + dir.File("some.xyz") + ": Format unsupported.\n");
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
            Run({"replace", archive, "#" + std::to_string(i + 1), dir.File("new.bin"), "--raw"});
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

// A replacement the track's decoder cannot read is refused with both formats named, unless --raw.
struct UnplayableCase {
    const char* track;
    const char* file;
    std::vector<std::string> options;
    int exitStatus;
    std::string said;  // on standard error (refused) or standard output (replaced)
};

TEST_F(Cli, AReplacementTheTracksDecoderCannotReadIsRefusedUnlessRaw) {
    AdxOptions options;
    options.channels = 1;
    options.totalSamples = 64;
    const Bytes adx = BuildAdx(options, AdxFrames(2, 1, 3), true);
    const std::map<std::string, Bytes> files = {
        {"notes.txt", BytesOf("just some words\n")},
        {"line.xmd", BuildXmd(1, 32000, 64, XmdFrames(4, 2))},
        {"take.adx", adx},
    };
    for (const auto& [name, bytes] : files) {
        WriteFile(dir.File(name), bytes);
    }
    const std::string refused = " Nothing was replaced: give --raw to write its bytes as they are.";
    const std::vector<UnplayableCase> table = {
        {"voice.adx",
         "notes.txt",
         {},
         1,
         "notes.txt is not ADX, the track's format, and no decoder recognises it"},
        {"voice.adx", "line.xmd", {}, 1, "line.xmd is XMD, not ADX, the track's format"},
        {"music.wav", "take.adx", {}, 1, "take.adx is ADX, not WAVE, the track's format"},
        {"voice.xmd",
         "notes.txt",
         {},
         1,
         "notes.txt is not XMD, the track's format, and no decoder recognises it"},
        {"voice.xmd", "line.xmd", {}, 0, "Replace OK\n"},
        {"voice.xmd", "notes.txt", {"--raw"}, 0, "Replace OK\n"},
        {"voice.adx", "take.adx", {}, 0, "Replace OK\n"},
        {"voice.adx", "notes.txt", {"--raw"}, 0, "Replace OK\n"},
        {"music.wav", "take.adx", {"--raw"}, 0, "Replace OK\n"},
        {"voice.adx", "notes.txt", {"--raw", "--no-loop"}, 2, "excludes"},
    };
    for (const UnplayableCase& c : table) {
        const std::string archive = dir.File("game.afs");
        WriteFile(archive, AfsBuilder()
                               .Add("voice.adx", BuildAdx(options, AdxFrames(2, 1, 9), true))
                               .Add("music.wav", BuildWave({}, Pattern(400, 4)))
                               .Add("voice.xmd", BuildXmd(1, 32000, 13 * 8, XmdFrames(8, 5)))
                               .Build()
                               .bytes);
        const Bytes before = ReadFile(archive);
        std::vector<std::string> arguments = {"replace", archive, c.track, dir.File(c.file)};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramResult r = Run(arguments);
        const std::string what = std::string(c.file) + " into " + c.track;
        EXPECT_EQ(r.exitStatus, c.exitStatus) << what << ": " << r.err;
        if (c.exitStatus == 0) {
            EXPECT_EQ(r.out, c.said) << what;
            std::filesystem::create_directories(dir.File("out"));
            ASSERT_EQ(
                Run({"extract", archive, c.track, "-o", dir.File("out"), "--force"}).exitStatus, 0);
            const Bytes track = ReadFile(dir.File("out/" + std::string(c.track)));
            const Bytes& file = files.at(c.file);
            ASSERT_GE(track.size(), file.size()) << what;
            EXPECT_TRUE(std::equal(file.begin(), file.end(), track.begin())) << what;
            continue;
        }
        EXPECT_EQ(ReadFile(archive), before) << what;
        if (c.exitStatus == 1) {
            EXPECT_EQ(r.err.rfind("fogbell-cli: " + dir.File(c.file) + ": " + c.said, 0), 0u)
                << r.err;
            EXPECT_NE(r.err.find(": the track would no longer play." + refused), std::string::npos)
                << r.err;
        } else {
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        }
    }
}

// The system's own words for a file that is not there.
std::string NoSuchFile() {
#if defined(_WIN32)
    return SystemErrorText(2);  // ERROR_FILE_NOT_FOUND
#else
    return "No such file or directory";
#endif
}

// What a command line says when it cannot do what it was asked: the exit status, and a text on
// standard error (or, with --json, the error document on standard output).
struct FailureCase {
    std::vector<std::string> arguments;
    int exitStatus;
    std::string said;
    bool onOutput = false;  // the text is looked for in the JSON error document
};

TEST_F(Cli, EveryFailureSaysWhatWentWrong) {
    const std::string box = Archive();
    AdxOptions options;
    options.channels = 1;
    options.totalSamples = 64;
    const std::string adx = dir.File("voice.adx");
    WriteFile(adx, BuildAdx(options, AdxFrames(2, 1, 3), true));
    WriteFile(dir.File("empty.afs"), {});
    WriteFile(dir.File("empty.wav"), {});
    WriteFile(dir.File("in.wav"), BuildWave({}, Pattern(400, 4)));
    WriteFile(dir.File("silent.wav"), BuildWave({}, {}));
    std::filesystem::create_directories(dir.File("folder.afs"));
    const std::string folder = dir.File("folder.afs");
    const std::string missing = dir.File("nothere.afs");
    const std::string noTrack = " (`fogbell-cli list " + box + "` lists its tracks)";
    WriteFile(dir.File("a file"), BytesOf("not a folder"));
    std::filesystem::create_directories(dir.File("bare/decode_plugins"));
    // A file with the library ending that is no library, named as the program lists the folder.
    const std::string junk = Utf8FromPath(PathFromUtf8(dir.File("bare")) / "decode_plugins" /
                                          (std::string("junk") + kModuleSuffix));
    WriteFile(junk, BytesOf("no library"));
    const std::string container = " is a container: name a track (`fogbell-cli list ";
    const std::string track = " is a track, not a container";
    const std::vector<FailureCase> table = {
        {{"list", dir.File("empty.afs")}, 1, dir.File("empty.afs") + ": The file is empty.\n"},
        {{"decode", dir.File("empty.wav")}, 1, dir.File("empty.wav") + ": The file is empty.\n"},
        {{"encode", dir.File("empty.wav"), dir.File("o.adx")},
         1,
         dir.File("empty.wav") + " is empty (0 bytes): nothing was encoded"},
        {{"encode", dir.File("silent.wav"), dir.File("o.adx")},
         1,
         dir.File("silent.wav") + " is empty (it holds no samples): nothing was encoded"},
        {{"replace", box, "bgm01.bin", dir.File("empty.wav")},
         1,
         dir.File("empty.wav") + " is empty (0 bytes): there is nothing to put in the track; "
                                 "nothing was replaced"},
        {{"replace", box, "bgm01.bin", dir.File("silent.wav")},
         1,
         dir.File("silent.wav") + " is empty (it holds no samples)"},
        {{"list", missing}, 1, missing + ": " + NoSuchFile()},
        {{"wav", missing + "::inner.afs"}, 1, missing + ": " + NoSuchFile()},
        {{"replace", box, "bgm01.bin", dir.File("nothere.wav")},
         1,
         dir.File("nothere.wav") + ": " + NoSuchFile()},
        {{"list", folder}, 2, folder + " is a folder, not a file: name a file inside it"},
        {{"encode", folder, dir.File("o.adx")}, 2, folder + " is a folder, not a file"},
        {{"replace", box, "bgm01.bin", folder}, 2, folder + " is a folder, not a file"},
        {{"list", box + "::nothing.afs"}, 1, "nothing.afs: no such track in " + box + noTrack},
        {{"replace", box, "nosuch.adx", dir.File("in.wav")},
         1,
         "nosuch.adx: no such track in " + box + noTrack},
        {{"wav", box + "::inner.afs", "gone.wav"},
         1,
         "gone.wav: no such track in " + box + "::inner.afs (`fogbell-cli list " + box +
             "::inner.afs` lists its tracks)"},
        {{"list", box + "::../../x.adx"},
         2,
         box + "::../../x.adx is a track, not a container: name the container that holds it"},
        {{"wav", box, "inner.afs"}, 2, box + "::inner.afs" + container + box + "::inner.afs`)"},
        {{"encode", dir.File("in.wav"), dir.File("o.adx"), "--cutoff", "30000"},
         2,
         "--cutoff 30000 is out of range: at 44100 Hz it must be from 20 to 22050 Hz"},
        {{"encode", dir.File("in.wav"), dir.File("o.adx"), "--cutoff", "19"}, 2, "--cutoff"},
        {{"encode", dir.File("in.wav"), dir.File("no/o.adx")},
         1,
         dir.File("no/o.adx") + ": its folder " + Utf8FromPath(PathFromUtf8(dir.File("no"))) +
             " does not exist: make it first"},
        {{"decode", box}, 2, box + container + box + "`)"},
        {{"encode", box, dir.File("o.adx")}, 2, box + container + box + "`)"},
        {{"extract", adx}, 2, adx + track},
        {{"replace", adx, "x.adx", adx}, 2, adx + track},
        {{"extract", box, "-o", dir.File("a file")},
         1,
         dir.File("a file") + " is a file, not a folder"},
        {{"list", dir.File("none.afs"), "--json"}, 1, dir.File("none.afs") + ": ", true},
        {{"extract", box, "-o", dir.File("a file"), "--json"}, 1, " is a file, not a folder", true},
        {{"list", "--json"}, 2, "PATH is required", true},
        {{"encode", dir.File("in.wav"), dir.File("o.xmd"), "--rate", "100000"},
         1,
         "--rate 100000 is out of range: XMD carries rates from 1 to 65535 Hz."},
        {{"encode", dir.File("in.wav"), dir.File("o.adx"), "--rate", "0"}, 2, "1 to 1048576"},
        {{"--plugins", dir.File("bare"), "formats"},
         1,
         "formats: no plug-in found in " +
             Utf8FromPath(PathFromUtf8(dir.File("bare")) / "decode_plugins") + " nor in "},
        {{"--plugins", dir.File("bare"), "formats"}, 1, "left out " + junk + ": it does not load"},
    };
    for (const FailureCase& c : table) {
        const ProgramResult r = Run(c.arguments);
        const std::string seen =
            c.onOutput ? nlohmann::json::parse(r.out).at("error").get<std::string>() : r.err;
        EXPECT_EQ(r.exitStatus, c.exitStatus) << c.arguments[0] << " " << c.arguments[1] << r.err;
        EXPECT_NE(seen.find(c.said), std::string::npos) << c.said << "\nnot in:\n" << seen;
        EXPECT_EQ(r.err.find(": OK"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(".part"), std::string::npos) << r.err;  // no temporary name
    }
    // -o makes a missing folder, with its parents.
    const ProgramResult made = Run({"extract", box, "bgm01.bin", "-o", dir.File("new/deeper")});
    EXPECT_EQ(made.exitStatus, 0) << made.err;
    EXPECT_EQ(ReadFile(dir.File("new/deeper/bgm01.bin")), Pattern(100, 1));
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

TEST(FailureReason, IsNeverOkNorEmpty) {
    EXPECT_EQ(cli::FailureReason("OK"), "failed, and the plug-in gave no reason");
    EXPECT_EQ(cli::FailureReason(""), "failed, and the plug-in gave no reason");
    EXPECT_EQ(cli::FailureReason("Is not AFS file."), "Is not AFS file.");
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
