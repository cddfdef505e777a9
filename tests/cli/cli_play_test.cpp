// "fogbell-cli play" run as a program: through the null device with a recording compared byte
// for byte, a nested track, the exit statuses, a clean stop on SIGINT and SIGTERM, and one
// track through SDL's "disk" driver.
#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "host/plugins/dynamic_library.h"
#include "host/system/system_files.h"
#include "plugin_api.h"
#include "recorded_wave.h"
#include "run_program.h"
#include "sampler_chunk.h"
#include "test_files.h"
#include "wave_builder.h"

#if !defined(_WIN32)
extern char** environ;
#endif

namespace fogbell::test {
namespace {

constexpr std::uint32_t kRate = 22050;
constexpr std::uint32_t kSecond = kRate * 2;  // mono 16-bit

Bytes Voice(std::size_t bytes, std::uint32_t seed) {
    WaveOptions options;
    options.channels = 1;
    options.rate = kRate;
    return BuildWave(options, Pattern(bytes, seed));
}

WAVEFORMATEX MonoFormat() {
    return WAVEFORMATEX{1, 1, kRate, kSecond, 2, 16, 18};
}

class CliPlay : public ::testing::Test {
  protected:
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }
    TempDir dir;
};

TEST_F(CliPlay, ASingleFileIsRecordedFromItsFirstSampleToItsLast) {
    const Bytes pcm = Pattern(100000, 3);  // two whole seconds and a short one
    WaveOptions options;
    options.channels = 1;
    options.rate = kRate;
    WriteFile(dir.File("voice.wav"), BuildWave(options, pcm));
    struct Case {
        const char* start;
        std::size_t from;  // the first byte of pcm heard
    };
    for (const Case& c : {Case{"0", 0}, Case{"1", kSecond}, Case{"0.5", kSecond / 2}}) {
        SCOPED_TRACE(c.start);
        const std::string record = dir.File(std::string("rec") + c.start + ".wav");
        const ProgramResult r =
            Run({"play", dir.File("voice.wav"), "--audio", "null", "--speed", "50", "--record",
                 record, "--volume", "10000", "--start", c.start});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(
            ReadFile(record),
            RecordedWave(MonoFormat(), Bytes(pcm.begin() + static_cast<long>(c.from), pcm.end())));
    }
}

TEST_F(CliPlay, TheSeamIsTheEndOfTheLoopThenItsStart) {
    const Bytes pcm = Pattern(100000, 5);
    WaveOptions options;
    options.channels = 1;
    options.rate = kRate;
    options.chunksBeforeData.push_back(SamplerChunk({{5000, 39999}}));
    WriteFile(dir.File("looped.wav"), BuildWave(options, pcm));
    const std::string record = dir.File("seam.wav");
    ProgramResult r = Run({"play", dir.File("looped.wav"), "--seam", "0.5", "--audio", "null",
                           "--speed", "50", "--record", record});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("the seam of loop 5000:40000"), std::string::npos) << r.err;
    Bytes heard(pcm.begin() + (40000 - kRate / 2) * 2, pcm.begin() + 40000 * 2);
    heard.insert(heard.end(), pcm.begin() + 5000 * 2, pcm.begin() + (5000 + kRate / 2) * 2);
    EXPECT_EQ(ReadFile(record), RecordedWave(MonoFormat(), heard));
    // A track without loop points has no seam.
    WriteFile(dir.File("plain.wav"), Voice(1000, 1));
    r = Run({"play", dir.File("plain.wav"), "--seam", "--audio", "null"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("has no loop points: set them with \"loop --set"), std::string::npos);
}

TEST_F(CliPlay, ATrackOfAContainerInsideAnArchivePlaysToItsEnd) {
    AixStream left, right;
    left.data = AdxFrames(1700, 2, 1);
    right.data = AdxFrames(1700, 2, 2);
    left.total = right.total = 1700 * 32;
    WriteFile(dir.File("box.afs"),
              AfsBuilder()
                  .Add("bgm.aix", AixBuilder().Add(left).Add(right).Build().bytes)
                  .Add("voice.wav", Voice(2000, 4))
                  .Build()
                  .bytes);
    const std::string record = dir.File("rec.wav");
    ProgramResult r = Run({"play", dir.File("box.afs") + "::bgm.aix", "Track 1.aixf", "--audio",
                           "null", "--speed", "50", "--record", record});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    // 54400 stereo frames at 44100 Hz, no more: the track from its first sample to its last.
    EXPECT_EQ(ReadFile(record).size(), kWaveHeaderBytes + 54400u * 4);

    // FOGBELL_AUDIO chooses the device when --audio does not.
    const std::string again = dir.File("again.wav");
    SetEnvironment("FOGBELL_AUDIO", ("null:speed=50:record=" + again).c_str());
    r = Run({"play", dir.File("box.afs"), "voice.wav"});
    UnsetEnvironment("FOGBELL_AUDIO");
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(again).size(), kWaveHeaderBytes + 2000u);

    // A chain that ends in a track names the track without a TRACK argument.
    const std::string chained = dir.File("chained.wav");
    r = Run({"play", dir.File("box.afs") + "::voice.wav", "--audio", "null", "--speed", "50",
             "--record", chained});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(ReadFile(chained), ReadFile(again));
}

TEST_F(CliPlay, WhatCannotBePlayedSaysWhyAndExitsWithOne) {
    const Bytes inner = AfsBuilder().Add("deep.wav", Voice(2000, 5)).Build().bytes;
    WriteFile(dir.File("box.afs"), AfsBuilder()
                                       .Add("data.bin", Pattern(10, 1))
                                       .Add("inner.afs", inner)
                                       .Add("voice.wav", Voice(2 * kSecond, 6))
                                       .Build()
                                       .bytes);
    WriteFile(dir.File("broken.wav"), Pattern(40, 3));
    WriteFile(dir.File("short.wav"), Voice(kSecond / 2, 7));
    std::filesystem::create_directories(dir.File("songs"));
    const std::string box = dir.File("box.afs");
#if defined(_WIN32)
    const std::string noSuchFile = SystemErrorText(2);  // ERROR_FILE_NOT_FOUND
#else
    const std::string noSuchFile = "No such file or directory";
#endif
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {{"play", dir.File("box.afs"), "data.bin"}, 1, "Format unsupported."},
        {{"play", box, "missing.wav"},
         1,
         "missing.wav: no such track in " + box + " (`fogbell-cli list " + box +
             "` lists its tracks)"},
        {{"play", box + "::none.afs", "x.wav"}, 1, "none.afs: no such track in " + box},
        {{"play", box + "::inner.afs", "x.wav"},
         1,
         "x.wav: no such track in " + box + "::inner.afs"},
        {{"play", dir.File("broken.wav")}, 1, "Is not"},
        {{"play", dir.File("nothing.wav")}, 1, dir.File("nothing.wav") + ": " + noSuchFile},
        {{"play", dir.File("songs")}, 2, dir.File("songs") + " is a folder, not a file"},
        {{"play", box, "inner.afs"},
         2,
         box + "::inner.afs is a container: name a track (`fogbell-cli list " + box +
             "::inner.afs`)"},
        {{"play", box + "::inner.afs"}, 2, box + "::inner.afs is a container"},
        {{"play", dir.File("short.wav"), "--start", "1"},
         2,
         "--start 1 is past the end: " + dir.File("short.wav") +
             " lasts 0.5 seconds; give a --start below that"},
        {{"play", box, "voice.wav", "--start", "2.5"},
         2,
         "--start 2.5 is past the end: voice.wav lasts 2.0 seconds"},
        {{"play", dir.File("broken.wav"), "--volume", "4999"}, 2, "4999"},
        {{"play", dir.File("broken.wav"), "--audio", "alsa"}, 2, "alsa"},
        {{"play", dir.File("broken.wav"), "--audio", "sdl", "--speed", "2"}, 2, "--audio null"},
        {{"play", dir.File("box.afs")},
         2,
         "box.afs is a container: name a track (`fogbell-cli list "},
        {{"play", dir.File("box.afs"), "data.bin", "--record", dir.File("broken.wav")},
         1,
         "broken.wav: the file exists (--force replaces it)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        std::vector<std::string> arguments = c.arguments;
        if (std::find(arguments.begin(), arguments.end(), "--audio") == arguments.end()) {
            arguments.insert(arguments.end(), {"--audio", "null"});
        }
        const ProgramResult r = Run(arguments);
        EXPECT_EQ(r.exitStatus, c.status);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(dir.File("broken.wav")), Pattern(40, 3));  // kept: no --force
    // No sound device: said in the system's own words, and what to do follows it; what the
    // sound libraries print themselves does not reach the terminal.
    WriteFile(dir.File("voice.wav"), Voice(2000, 4));
    SetEnvironment("SDL_AUDIODRIVER", "no-such-driver");
    const ProgramResult r = Run({"play", dir.File("voice.wav"), "--audio", "sdl"});
    UnsetEnvironment("SDL_AUDIODRIVER");
    EXPECT_EQ(r.exitStatus, 1);
#if defined(_WIN32)
    EXPECT_NE(r.err.find("DSERR_NODRIVER; no sound device: try --audio null"), std::string::npos)
        << r.err;
#else
    const std::string opening = "fogbell-cli: no sound device could be opened (";
    const std::string advice = "): try --audio null\n";
    EXPECT_EQ(r.err.rfind(opening, 0), 0u) << r.err;  // the first line, nothing before it
    ASSERT_GT(r.err.size(), opening.size() + advice.size()) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - advice.size()), advice) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.find("DSERR"), std::string::npos) << r.err;
#endif
}

// An explorer copied among the decoders is not called as one: it is named as left out, and
// playing an archive says that it is a container, where it once ended the program.
TEST_F(CliPlay, AnExplorerAmongTheDecodersIsNotCalledAsOne) {
    const std::string library = std::string("afsvault") + DynamicLibrary::Suffix();
    for (const char* folder : {"explore_plugins", "decode_plugins"}) {
        std::filesystem::create_directories(dir.Path() / "root" / folder);
        std::filesystem::copy_file(PluginPath("explore", "afsvault"),
                                   dir.Path() / "root" / folder / library);
    }
    WriteFile(dir.File("box.afs"), AfsBuilder().Add("data.bin", Pattern(10, 1)).Build().bytes);
    const ProgramResult r =
        Run({"--plugins", dir.File("root"), "play", dir.File("box.afs"), "--audio", "null"});
    EXPECT_EQ(r.exitStatus, 2);
    const std::string box = dir.File("box.afs");
    EXPECT_EQ(
        r.err,
        "fogbell-cli: left out " + Utf8FromPath(dir.Path() / "root" / "decode_plugins" / library) +
            ": it exports fnGetListFiles, fnGetFilePointer, fnExtractFile, "
            "fnGetLengthFile, fnReplaceFile, fnReplaceFileMemory, fnGetRoomFile, "
            "fnRebuildFile, fnReplaceFiles, fnRebuildFiles, fnGetDamagedCount, fnIsTrackDamaged, "
            "fnGetLayout, fnPackFiles, fnGetTrackOffset, fnReplaceFilesWithin, which only explorers "
            "have: it belongs in "
            "explore_plugins\nfogbell-cli: " +
            box + " is a container: name a track (`fogbell-cli list " + box + "`)\n");
}

// TRACK, and every level of a nested path, take what "list" prints: a row number, or a name with
// its odd bytes written as \xHH. Each case plays its own track, told apart by its recording.
TEST_F(CliPlay, TracksAreChosenByRowNumberOrByTheirPrintedName) {
    const Bytes first = Pattern(3000, 7), second = Pattern(4000, 8), third = Pattern(6000, 10);
    const Bytes inner =
        AfsBuilder().Add("a.wav", Voice(3000, 7)).Add("b\xFE.wav", Voice(4000, 8)).Build().bytes;
    WriteFile(dir.File("box.afs"), AfsBuilder()
                                       .Add("sub\x01.afs", inner)
                                       .Add("voice.wav", Voice(6000, 10))
                                       .Add("#2", Pattern(50, 1))  // looks like a row number
                                       .Build()
                                       .bytes);
    const std::string box = dir.File("box.afs");
    struct Case {
        std::string path, track;
        const Bytes* played;
    };
    const Case cases[] = {
        {box, "#2", &third},
        {box + "::#1", "#2", &second},
        {box + "::sub\\x01.afs", "b\\xfe.wav", &second},
        {box + "::sub\\x01.afs", "#1", &first},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.track);
        const std::string record = dir.File("rec.wav");
        std::filesystem::remove(record);
        const ProgramResult r =
            Run({"play", c.path, c.track, "--audio", "null", "--speed", "50", "--record", record});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        const Bytes recorded = ReadFile(record);
        const Bytes& pcm = *c.played;
        EXPECT_NE(std::search(recorded.begin(), recorded.end(), pcm.begin(), pcm.end()),
                  recorded.end());
    }
    // The name "#2" as "list" prints it reaches that track (which no decoder plays), and a row
    // that is not there says which rows there are.
    ProgramResult r = Run({"play", box, "\\x232", "--audio", "null"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("Format unsupported."), std::string::npos) << r.err;
    r = Run({"play", box, "#4", "--audio", "null"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("no row #4 (rows count from #1 to #3)"), std::string::npos) << r.err;
}

// The stop on a signal is POSIX's; Windows ends the play through the console's control handler,
// which a test cannot send to a program without a console of its own.
#if !defined(_WIN32)
// Starts the program with its output thrown away; its process id.
pid_t Spawn(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{CliPath()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TEST_F(CliPlay, SigintAndSigtermStopCleanlyWithAFinishedRecording) {
    WriteFile(dir.File("long.wav"), Voice(kSecond * 20, 5));
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const std::string record = dir.File("rec" + std::to_string(signal) + ".wav");
        const pid_t pid =
            Spawn({"play", dir.File("long.wav"), "--loop", "--audio", "null", "--record", record});
        ASSERT_GT(pid, 0);
        // Playing at real time: wait until more than a second has been recorded.
        ASSERT_TRUE(
            WaitFor([&] { return FileExists(record) && ReadFile(record).size() > 44100 * 2; }));
        ASSERT_EQ(kill(pid, signal), 0);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130);
        const Bytes recorded = ReadFile(record);
        ASSERT_GT(recorded.size(), kWaveHeaderBytes + kSecond);
        auto field = [&](std::size_t at) {
            return static_cast<std::size_t>(recorded[at] | recorded[at + 1] << 8 |
                                            recorded[at + 2] << 16 | recorded[at + 3] << 24);
        };
        EXPECT_EQ(field(4), recorded.size() - 8);
        EXPECT_EQ(field(40), recorded.size() - kWaveHeaderBytes);
        const Bytes first = Pattern(kSecond, 5);  // the track from its start, at once
        EXPECT_TRUE(std::equal(first.begin(), first.end(), recorded.begin() + kWaveHeaderBytes));
    }
}

#endif

TEST_F(CliPlay, ATrackPlaysThroughSdlsDiskDriver) {
    const Bytes pcm = Pattern(20000, 6);
    WaveOptions options;
    options.channels = 1;
    options.rate = kRate;
    WriteFile(dir.File("voice.wav"), BuildWave(options, pcm));
    const std::string out = dir.File("disk.raw");
    UseSdlDiskDriver(out, "20");  // about five times real time
    UnsetEnvironment("FOGBELL_AUDIO");
    const ProgramResult r = Run({"play", dir.File("voice.wav"), "--audio", "sdl"});
    StopUsingSdlDiskDriver();
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const Bytes written = ReadFile(out);
    const auto at = std::search(written.begin(), written.end(), pcm.begin(), pcm.end());
    ASSERT_NE(at, written.end());
    // At once: before it only what SDL took while the buffer was set up, never a silent second.
    EXPECT_LT(at - written.begin(), kSecond / 2);
    EXPECT_TRUE(std::all_of(written.begin(), at, [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace fogbell::test
