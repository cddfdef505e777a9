// fogbell-cli as scripts use it: JSON that parses back with typed values, the version, output
// files kept unless forced, names of any bytes that round-trip, and rows chosen by number.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <random>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "cli/json_text.h"
#include "cli/output_files.h"
#include "cli/track_names.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "plugin_api.h"
#include "run_program.h"
#include "test_files.h"
#include "text/utf8_text.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

using nlohmann::json;

Bytes MonoAdx(std::uint32_t rate, std::uint32_t groups, std::uint32_t seed) {
    AdxOptions options;
    options.rate = rate;
    options.totalSamples = groups * 32;
    return BuildAdx(options, AdxFrames(groups, 1, seed), true);
}

// Lines of a text, without their ends.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

class CliScripting : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directory(dir.File("out")); }
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }
    std::string Save(const std::string& name, const Bytes& bytes) {
        WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }
    // A file in the output folder, named as the program names it (the platform's separator).
    std::string Out(const std::string& name) const {
        return dir.File("out") + static_cast<char>(std::filesystem::path::preferred_separator) +
               name;
    }
    // Names in the output folder, staging folders included.
    std::vector<std::string> OutFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.File("out"))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // box.afs: a nested archive, a playable ADX, a member no plug-in reads and a broken ADX.
    std::string Box() {
        inner = AfsBuilder().Add("deep.bin", Pattern(30, 4)).Build().bytes;
        adx = MonoAdx(22050, 4, 9);
        return Save("box.afs", AfsBuilder()
                                   .Add("inner.afs", inner)
                                   .Add("voice.adx", adx)
                                   .Add("data.bin", Pattern(100, 1))
                                   .Add("broken.adx", Pattern(9, 2))
                                   .Build()
                                   .bytes);
    }
    TempDir dir;
    Bytes inner, adx;
};

TEST_F(CliScripting, ListJsonGivesTypedValuesOfEveryKind) {
    const ProgramResult r = Run({"list", Box(), "--json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const json rows = json::parse(r.out);
    ASSERT_TRUE(rows.is_array());
    ASSERT_EQ(rows.size(), 4u);
    const json expected = json::parse(R"([
        {"row": 1, "name": "inner.afs", "length": )" +
                                      std::to_string(inner.size()) + R"(,
         "unit": "bytes", "kind": "container", "rate": null, "channels": null, "seconds": null},
        {"row": 2, "name": "voice.adx", "length": )" +
                                      std::to_string(adx.size()) + R"(,
         "unit": "bytes", "kind": "audio", "rate": 22050, "channels": 1, "seconds": 0.005},
        {"row": 3, "name": "data.bin", "length": 100, "unit": "bytes", "kind": "unsupported",
         "rate": null, "channels": null, "seconds": null},
        {"row": 4, "name": "broken.adx", "length": 9, "unit": "bytes", "kind": "unknown",
         "rate": null, "channels": null, "seconds": null}
    ])");
    EXPECT_EQ(rows, expected) << r.out;
    EXPECT_TRUE(rows[1]["length"].is_number_unsigned());
}

TEST_F(CliScripting, ListJsonGivesTheLoopOfTracksThatHaveOne) {
    AdxOptions options;
    options.totalSamples = 40 * 32;
    options.headerOffset = LoopHeaderOffset(3, 1);
    options.loopBlock = true;
    options.loopStart = 100;
    options.loopEnd = 1000;
    const Bytes looped = BuildAdx(options, AdxFrames(40, 1, 3), true);
    const std::string box = Save(
        "loops.afs",
        AfsBuilder().Add("theme.adx", looped).Add("plain.adx", MonoAdx(22050, 4, 9)).Build().bytes);
    const json rows = json::parse(Run({"list", box, "--json"}).out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["loop"], json::parse("[100, 1000]"));
    EXPECT_FALSE(rows[1].contains("loop"));
    const json alone = json::parse(Run({"list", Save("theme.adx", looped), "--json"}).out);
    EXPECT_EQ(alone[0]["loop"], json::parse("[100, 1000]"));
}

TEST_F(CliScripting, AixLengthsCountSamples) {
    AixStream a, b;
    a.data = AdxFrames(10, 2, 1);
    b.data = AdxFrames(10, 2, 2);
    a.total = b.total = 320;
    const std::string aix = Save("m.aix", AixBuilder().Add(a).Add(b).Build().bytes);
    json rows = json::parse(Run({"list", aix, "--json"}).out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NEAR(rows[1]["seconds"].get<double>(), 320.0 / 44100, 0.002);  // 320 samples
    rows[1].erase("seconds");
    EXPECT_EQ(rows[1], json::parse(R"({"row": 2, "name": "Track 1.aixf", "length": 320,
        "unit": "samples", "kind": "audio", "rate": 44100, "channels": 2})"));
}

TEST_F(CliScripting, ListOfASingleAudioFileShowsItsRow) {
    const Bytes bytes = MonoAdx(32000, 3, 5);
    const std::string file = Save("alone.adx", bytes);
    const ProgramResult plain = Run({"list", file});
    EXPECT_EQ(plain.exitStatus, 0) << plain.err;
    EXPECT_EQ(plain.out, "alone.adx\t" + std::to_string(bytes.size()) + "\t32000Hz,1Ch\n");
    const json rows = json::parse(Run({"list", file, "--json"}).out);
    EXPECT_EQ(rows, json::parse(R"([{"row": 1, "name": "alone.adx", "length": )" +
                                std::to_string(bytes.size()) +
                                R"(, "unit": "bytes", "kind": "audio", "rate": 32000,
                                "channels": 1, "seconds": 0.003}])"));
    // A file its decoder refuses says why.
    const ProgramResult broken = Run({"list", Save("broken.adx", Pattern(9, 2))});
    EXPECT_EQ(broken.exitStatus, 1);
    EXPECT_EQ(broken.err.rfind("fogbell-cli: " + dir.File("broken.adx") + ": ", 0), 0u);
    EXPECT_EQ(broken.err.find("Format unsupported."), std::string::npos) << broken.err;
}

TEST_F(CliScripting, FormatsJsonAndVersion) {
    const ProgramResult r = Run({"formats", "--json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const json plugins = json::parse(r.out);
    // Eight, and sndvoice where the build has libsndfile for it.
    const bool sndvoice = FileExists(PluginPath("decode", "sndvoice"));
    ASSERT_EQ(plugins.size(), sndvoice ? 9u : 8u);
    std::map<std::string, json> byName;
    for (const json& plugin : plugins) {
        byName[plugin.at("plugin").get<std::string>()] = plugin;
        EXPECT_TRUE(plugin.at("kind") == "explorer" || plugin.at("kind") == "decoder");
    }
    EXPECT_EQ(byName["afsvault"], json::parse(R"({"kind": "explorer", "plugin": "afsvault",
        "extensions": ["AFS"]})"));
    EXPECT_EQ(byName["aixvoice"]["kind"], "decoder");
    EXPECT_EQ(byName["aixvoice"]["extensions"], json::parse(R"(["AIXF", "AIX"])"));
    if (sndvoice) {
        EXPECT_EQ(byName["sndvoice"]["extensions"],
                  json::parse(R"(["FLAC", "OGG", "OGA", "OPUS", "MP3", "AIFF", "AIF", "AIFC"])"));
    }

    const ProgramResult version = Run({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, std::string("fogbell-cli ") + FOGBELL_VERSION + "\n");
}

TEST_F(CliScripting, ExtractPrintsWhatItWroteAndKeepsExistingFilesUnlessForced) {
    const std::string box = Box();
    const ProgramResult first = Run({"extract", box, "-o", dir.File("out")});
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(Lines(first.out), (std::vector<std::string>{Out("inner.afs"), Out("voice.adx"),
                                                          Out("data.bin"), Out("broken.adx")}));
    EXPECT_EQ(first.err, "");

    WriteFile(Out("data.bin"), BytesOf("edited by hand"));
    std::filesystem::remove(Out("voice.adx"));
    const ProgramResult again = Run({"extract", box, "-o", dir.File("out")});
    EXPECT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(again.out, Out("voice.adx") + "\n");  // only the missing one is written
    EXPECT_EQ(ReadFile(Out("data.bin")), BytesOf("edited by hand"));
    // One line for every kept file, however many.
    EXPECT_EQ(again.err, "fogbell-cli: 3 files exist and were kept; --force replaces them\n");

    const ProgramResult forced =
        Run({"extract", box, "data.bin", "-o", dir.File("out"), "--force"});
    EXPECT_EQ(forced.exitStatus, 0) << forced.err;
    EXPECT_EQ(forced.out, Out("data.bin") + "\n");
    EXPECT_EQ(ReadFile(Out("data.bin")), Pattern(100, 1));
    EXPECT_EQ(forced.err, "");
    // Nothing of the staging is left behind.
    EXPECT_EQ(OutFiles(),
              (std::vector<std::string>{"broken.adx", "data.bin", "inner.afs", "voice.adx"}));
}

TEST_F(CliScripting, ExtractReportsTheNameThePluginGaveTheFile) {
    AixStream a;
    a.data = AdxFrames(10, 2, 1);
    a.total = 320;
    const std::string aix = Save("m.aix", AixBuilder().Add(a).Build().bytes);
    const ProgramResult r = Run({"extract", aix, "-o", dir.File("out"), "--json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const json written = {
        {"track", "Track 0.aixf"}, {"status", "written"}, {"path", Out("Track 0.adx")}};
    EXPECT_EQ(json::parse(r.out), json::array({written}));
    WriteFile(Out("Track 0.adx"), BytesOf("mine"));
    const ProgramResult kept = Run({"extract", aix, "-o", dir.File("out"), "--json"});
    EXPECT_EQ(json::parse(kept.out)[0]["status"], "skipped");
    EXPECT_EQ(ReadFile(Out("Track 0.adx")), BytesOf("mine"));
}

TEST_F(CliScripting, WavJsonNamesWrittenSkippedAndFailedFiles) {
    const std::string box = Box();
    WriteFile(Out("voice.adx.wav"), BytesOf("old"));
    const ProgramResult r =
        Run({"wav", box, "voice.adx", "broken.adx", "data.bin", "-o", dir.File("out"), "--json"});
    EXPECT_EQ(r.exitStatus, 1);
    const json report = json::parse(r.out);
    ASSERT_EQ(report.size(), 3u) << r.out;
    const json skipped = {
        {"track", "voice.adx"}, {"status", "skipped"}, {"path", Out("voice.adx.wav")}};
    EXPECT_EQ(report[0], skipped);
    EXPECT_EQ(report[1]["track"], "broken.adx");
    EXPECT_EQ(report[1]["status"], "failed");
    EXPECT_TRUE(report[1]["error"].is_string());
    EXPECT_EQ(report[2], json::parse(R"({"track": "data.bin", "status": "failed",
        "error": "Format unsupported."})"));
    EXPECT_EQ(ReadFile(Out("voice.adx.wav")), BytesOf("old"));

    const ProgramResult forced = Run({"wav", box, "-o", dir.File("out"), "--force", "--json"});
    EXPECT_EQ(forced.exitStatus, 1);  // broken.adx still fails
    const json all = json::parse(forced.out);
    ASSERT_EQ(all.size(), 2u);  // every playable track: the two ADX members
    EXPECT_EQ(all[0]["status"], "written");
    EXPECT_EQ(ReadFile(Out("voice.adx.wav")).size(), 44u + 4u * 32u * 2u);
    EXPECT_FALSE(FileExists(Out("broken.adx.wav")));
}

TEST_F(CliScripting, DecodeSavesOneAudioFileLikeWav) {
    const std::string file = Save("alone.adx", MonoAdx(22050, 2, 3));
    const ProgramResult r = Run({"decode", file, "-o", dir.File("out")});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, Out("alone.adx.wav") + "\n");
    const Bytes decoded = ReadFile(Out("alone.adx.wav"));
    std::filesystem::remove(Out("alone.adx.wav"));
    ASSERT_EQ(Run({"wav", file, "-o", dir.File("out")}).exitStatus, 0);
    EXPECT_EQ(ReadFile(Out("alone.adx.wav")), decoded);

    const ProgramResult kept = Run({"decode", file, "-o", dir.File("out")});
    EXPECT_EQ(kept.exitStatus, 0);
    EXPECT_EQ(kept.out, "");
    EXPECT_EQ(kept.err, "fogbell-cli: " + Out("alone.adx.wav") +
                            " exists and was kept; --force replaces it\n");
    EXPECT_EQ(Run({"decode", Box(), "-o", dir.File("out")}).exitStatus, 2);  // not one file
    EXPECT_EQ(Run({"decode", file, "x", "-o", dir.File("out")}).exitStatus, 2);
}

// Names a container may hold that are not plain text.
struct OddName {
    std::string name;
    std::string printed;  // as "list" prints it
    std::string file;     // the extracted file's name
};

TEST_F(CliScripting, NamesOfAnyBytesRoundTripThroughListAndBack) {
    const std::vector<OddName> names = {
        {"bad\xFF.bin", "bad\\xFF.bin", "bad\xFF.bin"},
        {"tab\there.bin", "tab\\x09here.bin", "tab_here.bin"},
        {"nl\nx.bin", "nl\\x0Ax.bin", "nl_x.bin"},
        {"a\\x41.bin", "a\\x5Cx41.bin", "a_x41.bin"},
        {"dir\\plain.bin", "dir\\plain.bin", "dir_plain.bin"},
        {"#2", "\\x232", "#2"},
        {"caf\xC3\xA9.bin", "caf\xC3\xA9.bin", "caf\xC3\xA9.bin"},
        {"half\xC3.bin", "half\\xC3.bin", "half\xC3.bin"},
    };
    AfsBuilder builder;
    for (std::size_t i = 0; i < names.size(); ++i) {
        builder.Add(names[i].name, Pattern(10 + i, static_cast<std::uint32_t>(i)));
    }
    const std::string box = Save("odd.afs", builder.Build().bytes);

    const ProgramResult plain = Run({"list", box});
    ASSERT_EQ(plain.exitStatus, 0) << plain.err;
    const std::vector<std::string> lines = Lines(plain.out);
    ASSERT_EQ(lines.size(), names.size()) << plain.out;
    const ProgramResult asJson = Run({"list", box, "--json"});
    const json rows = json::parse(asJson.out);  // throws on invalid UTF-8
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string printed = lines[i].substr(0, lines[i].find('\t'));
        EXPECT_EQ(printed, names[i].printed);
        EXPECT_EQ(rows[i]["name"].get<std::string>(), printed);
        // What list printed chooses the track again.
        const ProgramResult r = Run({"extract", box, printed, "-o", dir.File("out")});
        EXPECT_EQ(r.exitStatus, 0) << printed << ": " << r.err;
        EXPECT_EQ(ReadFile(Out(names[i].file)), Pattern(10 + i, static_cast<std::uint32_t>(i)))
            << printed;
    }
    // JSON reports of such files stay valid too.
    const ProgramResult report = Run({"wav", box, "bad\\xFF.bin", "-o", dir.File("out"), "--json"});
    const json parsed = json::parse(report.out);
    EXPECT_EQ(parsed[0]["track"], "bad\\xFF.bin");
    EXPECT_EQ(parsed[0]["status"], "failed");
}

TEST_F(CliScripting, APathReachesANestedContainerWhoseNameIsNotText) {
    const Bytes deep = AfsBuilder().Add("in\x01side.bin", Pattern(12, 3)).Build().bytes;
    const std::string box = Save("outer.afs", AfsBuilder().Add("sub\xFE.afs", deep).Build().bytes);
    EXPECT_EQ(Run({"list", box}).out.substr(0, 12), "sub\\xFE.afs\t");
    const ProgramResult nested = Run({"list", box + "::sub\\xFE.afs"});
    EXPECT_EQ(nested.exitStatus, 0) << nested.err;
    EXPECT_EQ(nested.out, "in\\x01side.bin\t12\tUnsupported\n");
    const ProgramResult r =
        Run({"extract", box + "::sub\\xFE.afs", "in\\x01side.bin", "-o", dir.File("out")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(Out("in_side.bin")), Pattern(12, 3));
    // A level that is not there is named in its printed form.
    const ProgramResult missing = Run({"list", box + "::gone\\x0A.afs"});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_EQ(missing.err.rfind("fogbell-cli: gone\\x0A.afs: ", 0), 0u) << missing.err;
}

TEST_F(CliScripting, RowNumbersChooseTracks) {
    const std::string box = Box();
    const ProgramResult r = Run({"extract", box, "#3", "#2", "-o", dir.File("out")});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{Out("data.bin"), Out("voice.adx")}));
    EXPECT_EQ(ReadFile(Out("data.bin")), Pattern(100, 1));

    EXPECT_EQ(Run({"list", box + "::#1"}).out, "deep.bin\t30\tUnsupported\n");
    ASSERT_EQ(Run({"wav", box, "#2", "-o", dir.File("out")}).exitStatus, 0);
    EXPECT_TRUE(FileExists(Out("voice.adx.wav")));

    for (const char* missing : {"#0", "#5", "#99999999999"}) {
        const ProgramResult none = Run({"extract", box, missing, "-o", dir.File("out")});
        EXPECT_EQ(none.exitStatus, 1) << missing;
        EXPECT_EQ(none.err, std::string("fogbell-cli: ") + missing + ": no row " + missing +
                                " (rows count from #1 to #4)\n");
    }
    WriteFile(dir.File("new.bin"), Pattern(50, 8));
    ASSERT_EQ(Run({"replace", box, "#3", dir.File("new.bin")}).out, "Replace OK\n");
    ASSERT_EQ(Run({"extract", box, "data.bin", "-o", dir.File("out"), "--force"}).exitStatus, 0);
    EXPECT_EQ(ReadFile(Out("data.bin")), Pattern(50, 8));
}

TEST(TrackNames, PrintedFormsReadBackToTheSameBytes) {
    const std::vector<std::pair<std::string, std::string>> table = {
        {"plain name.adx", "plain name.adx"},
        {"", ""},
        {"\x01\x1F\x7F", "\\x01\\x1F\\x7F"},
        {"\\", "\\"},
        {"\\x", "\\x"},
        {"\\x4", "\\x4"},
        {"\\x4G", "\\x4G"},
        {"\\x41", "\\x5Cx41"},
        {"\\\x01", "\\\\x01"},  // a kept backslash never joins the escape after it
        {"#", "#"},
        {"#a", "#a"},
        {"#12", "\\x2312"},
        {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},  // four-byte UTF-8
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},       // a surrogate is not UTF-8
        {"\xC0\xAF", "\\xC0\\xAF"},                // nor an overlong form
    };
    for (const auto& [name, printed] : table) {
        EXPECT_EQ(cli::PrintedName(name), printed);
        EXPECT_EQ(cli::NameFromArgument(printed), name);
    }
    EXPECT_EQ(cli::NameFromArgument("\\x41\\x6a"), "Aj");  // either case of digits

    std::mt19937 random(12345);
    for (int round = 0; round < 5000; ++round) {
        std::string name(random() % 12, '\0');
        for (char& c : name) {
            const char pool[] = {'\\', 'x', '4', '1', 'F', '#', '7', '\n', '\x80', '\xC3', '\xA9'};
            c = random() % 3 == 0 ? static_cast<char>(random() % 256)
                                  : pool[random() % sizeof pool];
        }
        const std::string printed = cli::PrintedName(name);
        ASSERT_EQ(cli::NameFromArgument(printed), name) << printed;
        for (std::size_t i = 0; i < printed.size(); ++i) {
            const auto c = static_cast<unsigned char>(printed[i]);
            ASSERT_TRUE(c >= 0x20 && c != 0x7F) << printed;
            if (c >= 0x80) {
                const std::size_t n = Utf8SequenceLength(printed, i);
                ASSERT_NE(n, 0u) << printed;
                i += n - 1;
            }
        }
        // A printed name is never taken for a row number ("#" and digits only).
        ASSERT_FALSE(printed.size() > 1 && printed[0] == '#' &&
                     printed.find_first_not_of("0123456789", 1) == std::string::npos)
            << printed;
    }
}

TEST(TrackNames, RowReferencesAreHashAndDigitsFromOne) {
    EXPECT_EQ(cli::RowReference("#1"), std::optional<std::size_t>(1));
    EXPECT_EQ(cli::RowReference("#042"), std::optional<std::size_t>(42));
    for (const char* text : {"#0", "#", "#-1", "#1a", "1", "# 1", "#99999999999"}) {
        EXPECT_FALSE(cli::RowReference(text).has_value()) << text;
    }
}

TEST(KeptFiles, AreCountedWithTheirThousandsGrouped) {
    const std::vector<std::pair<std::size_t, const char*>> counts = {
        {2, "2"}, {999, "999"}, {1000, "1,000"}, {10000, "10,000"}, {1234567, "1,234,567"}};
    for (const auto& [count, text] : counts) {
        EXPECT_EQ(cli::CountText(count), text);
    }
}

// A container of each kind cut short: the rows outside the kept bytes, as list shows them.
struct CutFile {
    const char* name;
    Bytes bytes;
    std::vector<std::size_t> damaged;  // rows, from 0
    std::size_t rows;
};

std::vector<CutFile> CutFiles() {
    std::vector<CutFile> all;
    const auto afs = AfsBuilder().Add("a.bin", Pattern(99, 1)).Add("b.bin", Pattern(99, 2)).Build();
    all.push_back(
        {"cut.afs", Bytes(afs.bytes.begin(), afs.bytes.begin() + afs.offsets[1] + 9), {1}, 2});
    const auto pac =
        PacBuilder().Add(BuildWave({}, Pattern(64, 1))).Add(BuildWave({}, Pattern(64, 2))).Build();
    all.push_back(
        {"cut.pac", Bytes(pac.bytes.begin(), pac.bytes.begin() + pac.offsets[1] + 9), {1}, 2});
    const auto mvx = MvxBuilder().Add("a.xmd", Pattern(64, 1)).Add("b.xmd", Pattern(64, 2)).Build();
    all.push_back(
        {"cut.mvx", Bytes(mvx.bytes.begin(), mvx.bytes.begin() + mvx.offsets[1] + 9), {1}, 2});
    AixStream stream;
    stream.total = 100000;
    stream.data = AdxFrames(20, 2, 1);
    const auto aix = AixBuilder().Add(stream).Add(stream).Build();
    all.push_back({"cut.aix",
                   Bytes(aix.bytes.begin(), aix.bytes.begin() + aix.packets[1].offset + 20),
                   {0, 1},
                   2});
    return all;
}

TEST_F(CliScripting, AContainerCutShortIsListedWithAWarningAndItsDamagedRowsMarked) {
    for (const CutFile& cut : CutFiles()) {
        SCOPED_TRACE(cut.name);
        const std::string path = Save(cut.name, cut.bytes);
        const std::string notice = path + " is damaged: " + std::to_string(cut.damaged.size()) +
                                   " of " + std::to_string(cut.rows) +
                                   (cut.damaged.size() == 1 ? " tracks lies" : " tracks lie") +
                                   " outside the file.";
        const ProgramResult text = Run({"list", path});
        EXPECT_EQ(text.exitStatus, 0) << text.err;
        EXPECT_EQ(text.err, "fogbell-cli: warning: " + notice + "\n");
        const std::vector<std::string> lines = Lines(text.out);
        ASSERT_EQ(lines.size(), cut.rows) << text.out;
        const ProgramResult scripted = Run({"list", path, "--json"});
        EXPECT_EQ(scripted.exitStatus, 0) << scripted.err;
        const json rows = json::parse(scripted.out);
        const json warning = json::parse(scripted.err);
        EXPECT_EQ(warning["damaged"], true);
        EXPECT_EQ(warning["damagedTracks"], cut.damaged.size());
        EXPECT_EQ(warning["warning"], notice);
        ASSERT_EQ(rows.size(), cut.rows);
        for (std::size_t row = 0; row < cut.rows; ++row) {
            const bool damaged =
                std::find(cut.damaged.begin(), cut.damaged.end(), row) != cut.damaged.end();
            EXPECT_EQ(lines[row].ends_with("\tDamaged"), damaged) << lines[row];
            EXPECT_EQ(rows[row].value("damaged", false), damaged) << rows[row];
        }
        // Extracting every track opens the container for a listing too.
        const ProgramResult extracted = Run({"extract", path, "-o", dir.File("out")});
        EXPECT_EQ(extracted.exitStatus, 1);
        EXPECT_NE(extracted.err.find("warning: " + notice), std::string::npos) << extracted.err;
    }
}

TEST_F(CliScripting, AWholeContainerIsListedWithoutWarningOrMarks) {
    const std::string path =
        Save("whole.afs", AfsBuilder().Add("a.bin", Pattern(99, 1)).Build().bytes);
    const ProgramResult r = Run({"list", path, "--json"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(json::parse(r.out)[0].contains("damaged")) << r.out;
}

}  // namespace
}  // namespace fogbell::test
