// The engine behind the core, with the real staged plug-ins, played through the null device at
// a speed factor and recorded: every flow of track start, stop, loop, end of stream, track
// change, container change and shutdown, with the recording compared byte for byte.
#include "host/playback/play_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "fake_view.h"
#include "host/app/main_core.h"
#include "recorded_wave.h"
#include "test_files.h"
#include "wave_builder.h"
#include "xmd_builder.h"

namespace fogbell {
namespace {

using test::Bytes;
using test::kModuleSuffix;

constexpr double kSpeed = 40;  // a track of a few seconds plays in about a tenth of one

Bytes SongAdx() {  // stereo 44100 Hz, 2.3 s: three blocks, the last one short
    test::AdxOptions options;
    options.channels = 2;
    options.totalSamples = 100000;
    return test::BuildAdx(options, test::AdxFrames(3125, 2, 11), true);
}

Bytes VoiceWave() {  // mono 22050 Hz, 2.3 s
    test::WaveOptions options;
    options.channels = 1;
    options.rate = 22050;
    return test::BuildWave(options, test::Pattern(100000, 12));
}

Bytes EffectXmd() {  // mono 22050 Hz, 3.6 s
    return test::BuildXmd(1, 22050, 13 * 5000, test::XmdFrames(5000, 13));
}

Bytes MusicAix() {  // two stereo streams of 1.2 s
    test::AixStream first, second;
    first.data = test::AdxFrames(1700, 2, 1);
    second.data = test::AdxFrames(1700, 2, 2);
    first.total = second.total = 1700 * 32;
    return test::AixBuilder().Add(first).Add(second).Build().bytes;
}

Bytes LoopedSongAdx(std::uint32_t loopStart, std::uint32_t loopEnd) {  // as SongAdx, looped
    test::AdxOptions options;
    options.channels = 2;
    options.totalSamples = 100000;
    options.headerOffset = test::LoopHeaderOffset(3, 2);
    options.loopBlock = true;
    options.loopStart = loopStart;
    options.loopEnd = loopEnd;
    return test::BuildAdx(options, test::AdxFrames(3125, 2, 11), true);
}

// A stream's output format and its blocks, decoded as the play thread decodes them.
struct Decoded {
    WAVEFORMATEX format{};
    std::vector<Bytes> blocks;
};

Decoded DecodeAll(const PluginHost& host, const std::string& name, const void* data,
                  std::uint32_t size) {
    Decoded decoded;
    std::string error;
    DecoderSessionPtr stream = host.OpenStream(name, data, size, error);
    EXPECT_TRUE(stream) << error;
    if (!stream) {
        return decoded;
    }
    decoded.format = *stream->OutputFormat().value;
    while (const PcmBlock* block = stream->DecodeNext()) {
        decoded.blocks.emplace_back(block->data, block->data + block->size);
    }
    CloseOpenedFile(stream);
    return decoded;
}

std::vector<int> AllBlocks(const Decoded& decoded) {
    std::vector<int> order;
    for (std::size_t i = 0; i < decoded.blocks.size(); ++i) {
        order.push_back(static_cast<int>(i));
    }
    return order;
}

// The blocks in the order given (indexes into decoded.blocks), one right after the other: the
// first sample of a track is the first one played, and nothing follows its last.
Bytes Expected(const Decoded& decoded, const std::vector<int>& order) {
    Bytes out;
    for (int i : order) {
        const Bytes& block = decoded.blocks[static_cast<std::size_t>(i)];
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

// Frames [from, to) of a decoded stream's PCM (to clipped at its end).
Bytes Frames(const Decoded& decoded, std::size_t from, std::size_t to) {
    const Bytes all = Expected(decoded, AllBlocks(decoded));
    const std::size_t align = decoded.format.nBlockAlign;
    to = std::min(to, all.size() / align);
    from = std::min(from, to);
    return Bytes(all.begin() + static_cast<long>(from * align),
                 all.begin() + static_cast<long>(to * align));
}

// Whether recorded (a WAVE file) holds at least the data expected, from its start.
bool StartsWith(const Bytes& recorded, const Bytes& expected) {
    return recorded.size() >= expected.size() + test::kWaveHeaderBytes &&
           std::equal(expected.begin(), expected.end(), recorded.begin() + test::kWaveHeaderBytes);
}

SoundOutputOptions NullOptions(const std::string& record) {
    SoundOutputOptions options;
    options.kind = SoundOutputOptions::Kind::kNull;
    options.speed = kSpeed;
    options.recordPath = record;
    return options;
}

// A program of its own (view, engine and core with the staged plug-ins) recording to a file of
// its own, for a case of a table.
struct OwnProgram {
    test::TempDir dir;
    const std::string record = dir.File("rec.wav");
    test::FakeView view;
    PlayEngine engine{NullOptions(record)};
    MainCore core{view, engine};

    bool Initialize() {
        CorePaths paths;
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        return core.Initialize(paths);
    }
    // Opens the archive and double-clicks the row called name.
    void PlayMember(const std::string& archive, const std::string& name) {
        ASSERT_TRUE(core.OpenContainerPath(archive));
        const auto names = view.Column(kColumnName);
        view.Select(
            {static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin())});
        core.OnRowDoubleClick();
    }
};

class Playback : public ::testing::Test {
  protected:
    void SetUp() override {
        archive = dir.File("sounds.afs");
        test::WriteFile(archive, test::AfsBuilder()
                                     .Add("song.adx", SongAdx())
                                     .Add("voice.wav", VoiceWave())
                                     .Add("fx.xmd", EffectXmd())
                                     .Add("data.bin", test::Pattern(10, 1))
                                     .Add("music.aix", MusicAix())
                                     .Build()
                                     .bytes);
        reference.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
        reference.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    }

    void Start(const std::string& decoders = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins") {
        CorePaths paths;
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = decoders;
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        ASSERT_TRUE(core.Initialize(paths));
        ASSERT_TRUE(core.OpenContainerPath(archive));
    }

    // Double-clicks the row with that name.
    void DoubleClick(const std::string& name) {
        const auto names = view.Column(kColumnName);
        const auto at = std::find(names.begin(), names.end(), name);
        ASSERT_NE(at, names.end()) << name;
        view.Select({static_cast<int>(at - names.begin())});
        core.OnRowDoubleClick();
    }

    // Runs what the play thread posts to the window until playback has stopped; the number of
    // tasks run.
    int RunUntilStopped() {
        int ran = 0;
        EXPECT_TRUE(test::WaitFor([&] {
            while (view.RunOnePosted()) {
                ++ran;
            }
            return !engine.IsPlaying();
        }));
        return ran;
    }

    Decoded Member(const std::string& name) {
        const Bytes bytes = [&] {
            if (name == "song.adx")
                return SongAdx();
            if (name == "voice.wav")
                return VoiceWave();
            return EffectXmd();
        }();
        return DecodeAll(reference, name, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }

    // Ends the program (the device finishes its recording) and reads what it recorded.
    Bytes Recording(const std::string& path) {
        core.Shutdown();
        return test::ReadFile(path);
    }

    test::TempDir dir;
    const std::string record = dir.File("rec.wav");
    test::FakeView view;
    PlayEngine engine{NullOptions(record)};
    MainCore core{view, engine};
    PluginHost reference;
    std::string archive;
};

TEST_F(Playback, EachFormatPlaysEveryBlockAtOnceAndEndsAfterItsLastSample) {
    for (const std::string name : {"song.adx", "voice.wav", "fx.xmd"}) {
        SCOPED_TRACE(name);
        OwnProgram own;
        ASSERT_TRUE(own.Initialize());
        own.PlayMember(archive, name);
        ASSERT_TRUE(own.engine.IsPlaying()) << own.view.Status();
        EXPECT_FALSE(own.view.IsButtonEnabled(ButtonId::kPlay));
        EXPECT_TRUE(own.view.IsButtonEnabled(ButtonId::kStop));
        EXPECT_EQ(own.view.BarOf(ProgressId::kPlay).caption, name);

        int posted = 0;
        ASSERT_TRUE(test::WaitFor([&] {
            while (own.view.RunOnePosted()) {
                ++posted;
            }
            return !own.engine.IsPlaying();
        }));
        EXPECT_EQ(posted, 1);  // 2032 arrives once
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(own.view.RunOnePosted());
        EXPECT_TRUE(own.view.IsButtonEnabled(ButtonId::kPlay));
        EXPECT_FALSE(own.view.IsButtonEnabled(ButtonId::kStop));
        EXPECT_EQ(own.core.OpenStream(), nullptr);
        const Decoded decoded = Member(name);
        ASSERT_GE(decoded.blocks.size(), 3u);
        EXPECT_LT(decoded.blocks.back().size(), decoded.format.nAvgBytesPerSec);
        // One wake-up per block: the first was written before the start, the last one's ends it.
        EXPECT_EQ(own.engine.GetCounters().refills, decoded.blocks.size());
        own.core.Shutdown();
        EXPECT_EQ(test::ReadFile(own.record),
                  test::RecordedWave(decoded.format, Expected(decoded, AllBlocks(decoded))));
    }
}

TEST_F(Playback, AnAixTrackOfAContainerNestedInAnArchivePlaysThroughTheExplorersRecord) {
    Start();
    DoubleClick("music.aix");  // opens the AIX: nothing plays
    EXPECT_FALSE(engine.IsPlaying());
    ASSERT_EQ(core.NestingDepth(), 1u);
    DoubleClick("Track 1.aixf");
    ASSERT_TRUE(engine.IsPlaying()) << view.Status();
    EXPECT_EQ(RunUntilStopped(), 1);

    std::string error;
    const Bytes aix = MusicAix();
    ExplorerSessionPtr container = reference.OpenContainer(
        "music.aix", aix.data(), static_cast<std::uint32_t>(aix.size()), error);
    ASSERT_TRUE(container) << error;
    TrackBytes track = container->Track("Track 1.aixf");
    ASSERT_TRUE(track);
    const Decoded decoded = DecodeAll(reference, "Track 1.aixf", track.Data(), track.Size());
    track.Release();
    CloseOpenedFile(container);
    ASSERT_EQ(decoded.blocks.size(), 2u);
    EXPECT_EQ(Recording(record),
              test::RecordedWave(decoded.format, Expected(decoded, AllBlocks(decoded))));
}

TEST_F(Playback, WithLoopSoundTheStartFollowsTheEndWithNothingBetween) {
    Start();
    view.SetCheck(CheckId::kLoopSound, true);
    DoubleClick("voice.wav");
    const Decoded decoded = Member("voice.wav");
    const std::uint64_t passes = 2 * decoded.blocks.size() + 3;
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= passes; }));
    EXPECT_FALSE(view.RunOnePosted());  // no end of stream while looping
    EXPECT_TRUE(engine.IsPlaying());
    core.StopPlayback();
    const Bytes recorded = Recording(record);
    const Bytes once = Expected(decoded, AllBlocks(decoded));
    Bytes expected;
    for (int pass = 0; pass < 3; ++pass) {
        expected.insert(expected.end(), once.begin(), once.end());
    }
    EXPECT_TRUE(StartsWith(recorded, expected));
}

// Loop points anywhere, a frame's middle included: intro, then the loop region again and again.
TEST_F(Playback, ALoopedAdxGoesFromItsLoopEndBackToItsLoopStartSampleForSample) {
    struct Case {
        std::uint32_t start, end;
    };
    for (const Case c : {Case{1000, 70000}, Case{17, 44117}, Case{0, 99999}}) {
        SCOPED_TRACE(c.start);
        OwnProgram own;
        const Bytes song = LoopedSongAdx(c.start, c.end);
        test::WriteFile(own.dir.File("theme.adx"), song);
        ASSERT_TRUE(own.Initialize());
        own.view.SetCheck(CheckId::kLoopSound, true);
        own.core.OnLoopSoundChanged();
        ASSERT_TRUE(own.core.OpenAudioFilePath(own.dir.File("theme.adx")));
        ASSERT_TRUE(own.engine.IsPlaying()) << own.view.Status();
        // The intro and four loops, in seconds of 44100 frames, and one more.
        const std::uint64_t seconds = (c.end + 4 * (c.end - c.start)) / 44100 + 2;
        ASSERT_TRUE(test::WaitFor([&] { return own.engine.GetCounters().refills >= seconds; }));
        own.core.Shutdown();
        const Decoded decoded =
            DecodeAll(reference, "theme.adx", song.data(), static_cast<std::uint32_t>(song.size()));
        Bytes expected = Frames(decoded, 0, c.end);
        const Bytes loop = Frames(decoded, c.start, c.end);
        for (int pass = 0; pass < 4; ++pass) {
            expected.insert(expected.end(), loop.begin(), loop.end());
        }
        const Bytes recorded = test::ReadFile(own.record);
        ASSERT_GE(recorded.size(), expected.size() + test::kWaveHeaderBytes);
        EXPECT_TRUE(StartsWith(recorded, expected));
    }
}

// Unchecked in the middle: the pass that plays goes on past the loop end to the stream's end.
TEST_F(Playback, UncheckingLoopSoundLetsTheLoopedPassPlayToTheStreamsEnd) {
    const Bytes song = LoopedSongAdx(1000, 50000);
    test::WriteFile(dir.File("theme.adx"), song);
    Start();
    view.SetCheck(CheckId::kLoopSound, true);
    core.OnLoopSoundChanged();
    ASSERT_TRUE(core.OpenAudioFilePath(dir.File("theme.adx")));
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 4; }));
    view.SetCheck(CheckId::kLoopSound, false);
    core.OnLoopSoundChanged();
    EXPECT_EQ(RunUntilStopped(), 1);
    const Decoded decoded =
        DecodeAll(reference, "theme.adx", song.data(), static_cast<std::uint32_t>(song.size()));
    const Bytes intro = Frames(decoded, 0, 50000);
    const Bytes loop = Frames(decoded, 1000, 50000);
    const Bytes last = Frames(decoded, 1000, SIZE_MAX);
    const Bytes recorded = Recording(record);
    // intro, k loops, then the last pass from the loop start to the end: k follows from the size.
    const std::size_t played = recorded.size() - test::kWaveHeaderBytes;
    ASSERT_GE(played, intro.size() + last.size());
    const std::size_t middle = played - intro.size() - last.size();
    ASSERT_EQ(middle % loop.size(), 0u) << played;
    Bytes expected = intro;
    for (std::size_t k = 0; k < middle / loop.size(); ++k) {
        expected.insert(expected.end(), loop.begin(), loop.end());
    }
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(recorded, test::RecordedWave(decoded.format, expected));
}

TEST_F(Playback, UncheckingLoopSoundDuringPlaybackLetsTheTrackEnd) {
    Start();
    view.SetCheck(CheckId::kLoopSound, true);
    DoubleClick("voice.wav");
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 5; }));
    view.SetCheck(CheckId::kLoopSound, false);
    core.OnLoopSoundChanged();
    EXPECT_EQ(RunUntilStopped(), 1);
    EXPECT_EQ(core.OpenStream(), nullptr);
}

// A seek drops what was queued: the recording is the track up to where the device stood, then
// the track from the place sought, to its end; past the end the track ends there.
TEST_F(Playback, ASeekContinuesFromThatSampleSampleForSample) {
    struct Case {
        const char* name;
        std::uint64_t frame;
    };
    const Case cases[] = {{"song.adx", 0},      {"song.adx", 50001},  {"song.adx", 99999},
                          {"song.adx", 200000}, {"voice.wav", 33333}, {"fx.xmd", 40000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.frame));
        OwnProgram own;
        ASSERT_TRUE(own.Initialize());
        own.PlayMember(archive, c.name);
        ASSERT_TRUE(own.engine.IsPlaying()) << own.view.Status();
        EXPECT_TRUE(own.core.CanSeek());
        ASSERT_TRUE(own.engine.SeekToFrame(c.frame));
        ASSERT_TRUE(test::WaitFor([&] {
            own.view.RunPosted();
            return !own.engine.IsPlaying();
        }));
        own.core.Shutdown();
        const Decoded decoded = Member(c.name);
        const Bytes rest = Frames(decoded, c.frame, SIZE_MAX);
        const Bytes recorded = test::ReadFile(own.record);
        if (recorded.empty()) {  // sought past the end before the device took a byte
            EXPECT_TRUE(rest.empty());
            continue;
        }
        ASSERT_GE(recorded.size(), test::kWaveHeaderBytes + rest.size());
        const std::size_t before = recorded.size() - test::kWaveHeaderBytes - rest.size();
        Bytes expected = Frames(decoded, 0, before / decoded.format.nBlockAlign);
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_EQ(recorded, test::RecordedWave(decoded.format, expected));
    }
}

// The command line's --start: the first sample played is the one at that time.
TEST_F(Playback, AStartTimeBeginsTheTrackThere) {
    Start();
    core.SetStartSeconds(1.0);
    DoubleClick("voice.wav");
    EXPECT_EQ(RunUntilStopped(), 1);
    const Decoded voice = Member("voice.wav");
    EXPECT_EQ(Recording(record), test::RecordedWave(voice.format, Frames(voice, 22050, SIZE_MAX)));
}

TEST_F(Playback, StopLeavesNothingPlayingAndClosesTheStream) {
    Start();
    DoubleClick("fx.xmd");
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 2; }));
    core.StopPlayback();
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_EQ(core.OpenStream(), nullptr);
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPlay));
    const std::uint64_t played = engine.PlayedBytes();
    const auto counters = engine.GetCounters();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(engine.PlayedBytes(), played);
    EXPECT_EQ(engine.GetCounters().refills, counters.refills);
    EXPECT_FALSE(view.RunOnePosted());
    core.StopPlayback();  // a second Stop changes nothing
    EXPECT_FALSE(engine.IsPlaying());

    core.StartPlayback();  // Play after Stop plays the selected row again, from its start
    EXPECT_TRUE(engine.IsPlaying());
    EXPECT_EQ(RunUntilStopped(), 1);
}

TEST_F(Playback, StartingATrackWhileAnotherPlaysRecordsTheSecondFromItsStart) {
    Start();
    view.SetCheck(CheckId::kLoopSound, true);
    DoubleClick("song.adx");
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 3; }));
    view.SetCheck(CheckId::kLoopSound, false);
    DoubleClick("voice.wav");  // another format: the device starts a second recording
    ASSERT_TRUE(engine.IsPlaying());
    EXPECT_EQ(RunUntilStopped(), 1);  // an end posted for the first track never stops this one
    const Decoded voice = Member("voice.wav");
    const Decoded song = Member("song.adx");
    core.Shutdown();
    EXPECT_EQ(test::ReadFile(record + ".2.wav"),
              test::RecordedWave(voice.format, Expected(voice, AllBlocks(voice))));
    EXPECT_TRUE(StartsWith(test::ReadFile(record), Expected(song, {0, 1})));
}

TEST_F(Playback, ATrackChangeToTheSameFormatKeepsOneRecording) {
    Start();
    DoubleClick("voice.wav");
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 1; }));
    DoubleClick("fx.xmd");  // mono 22050 Hz as well
    EXPECT_EQ(RunUntilStopped(), 1);
    core.Shutdown();
    EXPECT_FALSE(test::FileExists(record + ".2.wav"));
    const Decoded fx = Member("fx.xmd");
    const Bytes recorded = test::ReadFile(record);
    const Bytes tail = Expected(fx, AllBlocks(fx));
    ASSERT_GE(recorded.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.rbegin(), tail.rend(), recorded.rbegin()));
}

TEST_F(Playback, OpeningAnotherContainerWhilePlayingEndsThePlayback) {
    Start();
    view.SetCheck(CheckId::kLoopSound, true);  // even a looping track stops: it has no stream
    DoubleClick("song.adx");
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 2; }));
    test::WriteFile(dir.File("other.afs"),
                    test::AfsBuilder().Add("one.bin", test::Pattern(3, 3)).Build().bytes);
    ASSERT_TRUE(core.OpenContainerPath(dir.File("other.afs")));
    EXPECT_EQ(core.OpenStream(), nullptr);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));
    RunUntilStopped();  // what played belonged to the old container and ends with it
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPlay));  // nothing of the new list is selected
}

TEST_F(Playback, ShutdownWhilePlayingEndsTheThreadAndFinishesTheRecording) {
    Start();
    view.SetCheck(CheckId::kLoopSound, true);
    DoubleClick("song.adx");
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 2; }));
    const Bytes recorded = Recording(record);
    ASSERT_GE(recorded.size(), test::kWaveHeaderBytes);
    auto field = [&](std::size_t at) {
        return static_cast<std::uint32_t>(recorded[at] | recorded[at + 1] << 8 |
                                          recorded[at + 2] << 16 | recorded[at + 3] << 24);
    };
    EXPECT_EQ(field(4), recorded.size() - 8);                        // RIFF length
    EXPECT_EQ(field(40), recorded.size() - test::kWaveHeaderBytes);  // data length
    EXPECT_TRUE(StartsWith(recorded, Expected(Member("song.adx"), {0})));
    EXPECT_FALSE(engine.IsPlaying());
    view.RunPosted();  // a late end of stream finds the core shut down and does nothing
}

TEST_F(Playback, TheStoredVolumeScalesTheRecording) {
    test::WriteFile(dir.File("ini.ini"), test::BytesOf("[General]\r\nVolume=8000\r\n"));
    Start();
    DoubleClick("voice.wav");
    core.OnPlayTimer();  // re-applies the same volume
    EXPECT_EQ(RunUntilStopped(), 1);
    Decoded voice = Member("voice.wav");
    for (Bytes& block : voice.blocks) {
        for (std::size_t i = 0; i + 1 < block.size(); i += 2) {
            const auto sample = static_cast<std::int16_t>(block[i] | (block[i + 1] << 8));
            const auto out = static_cast<std::uint16_t>(ScaleSample(sample, 0.1));
            block[i] = static_cast<std::uint8_t>(out & 0xFF);
            block[i + 1] = static_cast<std::uint8_t>(out >> 8);
        }
    }
    EXPECT_EQ(Recording(record),
              test::RecordedWave(voice.format, Expected(voice, AllBlocks(voice))));
}

TEST_F(Playback, ATrackThatCannotBeOpenedPlaysNothing) {
    Start();
    DoubleClick("data.bin");
    EXPECT_EQ(view.Status(), "Format unsupported.");
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_EQ(engine.GetCounters().refills, 0u);
    // While a track plays: its stream is closed and the playback ends.
    DoubleClick("voice.wav");
    ASSERT_TRUE(engine.IsPlaying());
    DoubleClick("data.bin");
    EXPECT_EQ(view.Status(), "Format unsupported.");
    EXPECT_EQ(core.OpenStream(), nullptr);
    RunUntilStopped();
    EXPECT_FALSE(engine.IsPlaying());
}

TEST_F(Playback, ADecoderThatGivesNoFormatStartsNothingAndTheThreadIdles) {
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    paths.decoderDirectory = std::string(MIXED_SET_DIR) + "/decode_plugins";
    paths.explorerDirectory = std::string(MIXED_SET_DIR) + "/explore_plugins";
    ASSERT_TRUE(core.Initialize(paths));
    test::WriteFile(dir.File("odd.afs"),
                    test::AfsBuilder().Add("a.unk", test::Pattern(8, 1)).Build().bytes);
    ASSERT_TRUE(core.OpenContainerPath(dir.File("odd.afs")));
    DoubleClick("a.unk");
    EXPECT_EQ(view.Status(), "ErrorGetFormatOut");
    EXPECT_FALSE(engine.IsPlaying());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // any wake-up in flight
    const auto before = engine.GetCounters();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(engine.GetCounters().wakeups, before.wakeups);  // no spinning
}

TEST_F(Playback, AFailedTrackStartWhileAnotherPlaysLeavesTheThreadAsleepUntilStop) {
    // The real AFS explorer and WAVE decoder, with the decoder that gives no format beside.
    const std::string set = dir.File("set");
    std::filesystem::create_directories(set + "/decode_plugins");
    // Copies, not links: Windows makes no symbolic links without privileges.
    std::filesystem::copy_file(
        PathFromUtf8(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins/wavvoice" + kModuleSuffix),
        PathFromUtf8(set + "/decode_plugins/wavvoice" + kModuleSuffix));
    std::filesystem::copy_file(
        PathFromUtf8(std::string(MIXED_SET_DIR) + "/decode_plugins/no_format" + kModuleSuffix),
        PathFromUtf8(set + "/decode_plugins/no_format" + kModuleSuffix));
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    paths.decoderDirectory = set + "/decode_plugins";
    paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
    ASSERT_TRUE(core.Initialize(paths));
    test::WriteFile(dir.File("odd.afs"), test::AfsBuilder()
                                             .Add("voice.wav", VoiceWave())
                                             .Add("a.unk", test::Pattern(8, 1))
                                             .Build()
                                             .bytes);
    ASSERT_TRUE(core.OpenContainerPath(dir.File("odd.afs")));
    DoubleClick("voice.wav");
    ASSERT_TRUE(test::WaitFor([&] { return engine.GetCounters().refills >= 1; }));
    DoubleClick("a.unk");
    EXPECT_EQ(view.Status(), "ErrorGetFormatOut");
    EXPECT_TRUE(engine.IsPlaying());  // as before: Stop is still the way out
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // any wake-up in flight
    const auto before = engine.GetCounters();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(engine.GetCounters().wakeups, before.wakeups);  // asleep, not spinning
    EXPECT_FALSE(view.RunOnePosted());
    core.StopPlayback();
    EXPECT_FALSE(engine.IsPlaying());
}

}  // namespace
}  // namespace fogbell
