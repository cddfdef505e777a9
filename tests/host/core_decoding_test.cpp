// The core's flows that decode: the Bitrate column, "Save as wav.." byte for byte, and playback
// of tracks and single files, with the real staged explorers and decoders.
#include <gtest/gtest.h>

#include <filesystem>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "fake_view.h"
#include "host/app/main_core.h"
#include "host/tracks/output_names.h"
#include "recorded_wave.h"
#include "test_files.h"
#include "wave_builder.h"
#include "xmd_builder.h"

namespace fogbell {
namespace {

using test::Bytes;

constexpr std::uint32_t kAdxSamples = 3000;  // 94 stereo frame groups, the last one partly used
constexpr std::size_t kAdxGroups = (kAdxSamples + 31) / 32;

Bytes SongAdx() {
    test::AdxOptions options;
    options.channels = 2;
    options.totalSamples = kAdxSamples;
    return test::BuildAdx(options, test::AdxFrames(kAdxGroups, 2, 11), true);
}

Bytes VoicePcm() {
    return test::Pattern(4000, 12);
}

Bytes VoiceWave() {
    test::WaveOptions options;
    options.channels = 1;
    options.rate = 22050;
    return test::BuildWave(options, VoicePcm());
}

Bytes EffectXmd() {
    return test::BuildXmd(1, 32000, 13 * 5, test::XmdFrames(5, 13));
}

Bytes SilentWave() {
    return test::BuildWave({}, {});
}

// The WAVE file "Save as wav.." writes for PCM in this format.
Bytes ExpectedWave(std::uint16_t channels, std::uint32_t rate, const Bytes& pcm) {
    Bytes b;
    const std::uint16_t align = static_cast<std::uint16_t>(channels * 2);
    test::ByteWriter(b)
        .Text("RIFF")
        .U32LE(static_cast<std::uint32_t>(pcm.size() + 36))
        .Text("WAVEfmt ")
        .U32LE(16)
        .U16LE(1)
        .U16LE(channels)
        .U32LE(rate)
        .U32LE(rate * align)
        .U16LE(align)
        .U16LE(16)
        .Text("data")
        .U32LE(static_cast<std::uint32_t>(pcm.size()))
        .Bytes(pcm);
    return b;
}

Bytes PcmOf(const std::vector<std::int16_t>& samples) {
    Bytes pcm;
    for (std::int16_t s : samples) {
        test::ByteWriter(pcm).U16LE(static_cast<std::uint16_t>(s));
    }
    return pcm;
}

// Gives a row another name, as a list left behind by a change of its container would show it.
void RenameRow(MainCore& core, std::size_t row, const std::string& name) {
    std::vector<TrackRow> rows;
    for (std::size_t i = 0; i < core.Tracks().TotalCount(); ++i) {
        rows.push_back(core.Tracks().Row(i));
    }
    rows.at(row).name = name;
    core.Tracks().Reset(rows);
}

class CoreDecoding : public ::testing::Test {
  protected:
    void SetUp() override {
        CorePaths paths;
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        core.Initialize(paths);
        std::filesystem::create_directory(dir.File("out"));
        view.saveDirectoryBox = dir.File("out");
        archive = dir.File("sounds.afs");
        test::WriteFile(archive, test::AfsBuilder()
                                     .Add("song.adx", SongAdx())
                                     .Add("voice.wav", VoiceWave())
                                     .Add("fx.xmd", EffectXmd())
                                     .Add("data.bin", test::Pattern(10, 1))
                                     .Add("silent.wav", SilentWave())
                                     .Build()
                                     .bytes);
        ASSERT_TRUE(core.OpenContainerPath(archive));
    }

    void SaveSelected(const std::vector<int>& rows) {
        view.Select(rows);
        ASSERT_TRUE(core.OnCommand(kCommandSaveWave));
        core.WaitForWorkers();
        view.RunPosted();
    }

    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    MainCore core{view, playback};
    std::string archive;
};

TEST_F(CoreDecoding, BitrateColumnShowsEachTracksSourceFormat) {
    EXPECT_EQ(view.Column(kColumnBitrate),
              (std::vector<std::string>{"44100Hz,2Ch", "22050Hz,1Ch", "32000Hz,1Ch", "Unsupported",
                                        "44100Hz,2Ch"}));
    EXPECT_EQ(view.Column(kColumnLength)[1], std::to_string(VoiceWave().size()));
}

TEST_F(CoreDecoding, SaveAsWaveWritesEveryFormatByteForByte) {
    SaveSelected({0, 1, 2});
    const Bytes adxPcm =
        PcmOf(test::ReferenceAdx(test::AdxFrames(kAdxGroups, 2, 11), 2, kAdxGroups, 29336, 13136));
    EXPECT_EQ(test::ReadFile(dir.File("out/song.adx.wav")), ExpectedWave(2, 44100, adxPcm));
    EXPECT_EQ(test::ReadFile(dir.File("out/voice.wav.wav")), ExpectedWave(1, 22050, VoicePcm()));
    const Bytes xmdPcm = PcmOf(test::ReferenceXmd(test::XmdFrames(5, 13), 1, 5));
    EXPECT_EQ(test::ReadFile(dir.File("out/fx.xmd.wav")), ExpectedWave(1, 32000, xmdPcm));
    const auto bar = view.BarOf(ProgressId::kSave);
    EXPECT_EQ(bar.captions, (std::vector<std::string>{"1/3: song.adx", "2/3: voice.wav",
                                                      "3/3: fx.xmd", "Save done"}));
    EXPECT_EQ(bar.position, 0u);
    EXPECT_EQ(view.Status(), "");  // nothing failed
}

TEST_F(CoreDecoding, ATrackWithoutADecoderIsLeftOutNotFailed) {
    SaveSelected({0, 3, 4});
    EXPECT_TRUE(test::FileExists(dir.File("out/song.adx.wav")));
    EXPECT_TRUE(test::FileExists(dir.File("out/silent.wav.wav")));
    EXPECT_FALSE(test::FileExists(dir.File("out/data.bin.wav")));
    // Only the audio tracks are counted.
    EXPECT_EQ(view.BarOf(ProgressId::kSave).captions,
              (std::vector<std::string>{"1/2: song.adx", "2/2: silent.wav", "Save done"}));
    EXPECT_EQ(view.Status(), "");
}

TEST_F(CoreDecoding, ExistingFilesAreReplacedOrKeptAsTheUserAnswers) {
    using A = OverwriteAnswer;
    struct Case {
        std::vector<A> answers;
        std::vector<bool> replaced;  // song, voice, fx
        std::size_t questions;
        const char* status;
    } cases[] = {
        {{A::kReplace, A::kKeep, A::kReplace},
         {true, false, true},
         3,
         "Save as wav: 1 existing file kept."},
        {{A::kKeep, A::kReplaceAll}, {false, true, true}, 2, "Save as wav: 1 existing file kept."},
        {{A::kKeepAll}, {false, false, false}, 1, "Save as wav: 3 existing files kept."},
        {{A::kReplaceAll}, {true, true, true}, 1, ""},
    };
    const char* outputs[] = {"out/song.adx.wav", "out/voice.wav.wav", "out/fx.xmd.wav"};
    for (const Case& c : cases) {
        for (const char* output : outputs) {
            test::WriteFile(dir.File(output), test::Pattern(3, 1));
        }
        view.overwriteQuestions.clear();
        view.statuses.clear();
        view.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
        SaveSelected({0, 1, 2});
        EXPECT_EQ(view.overwriteQuestions.size(), c.questions);
        // The path as the save command builds it, in the system's own form.
        EXPECT_EQ(view.overwriteQuestions.front(), OutputPath(dir.File("out"), "song.adx", ".wav"));
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(test::ReadFile(dir.File(outputs[i])) != test::Pattern(3, 1), c.replaced[i])
                << outputs[i];
        }
        EXPECT_EQ(view.Status(), c.status);
    }
}

TEST_F(CoreDecoding, AZeroLengthStreamGivesA44ByteFile) {
    SaveSelected({4});
    EXPECT_EQ(test::ReadFile(dir.File("out/silent.wav.wav")), ExpectedWave(2, 44100, {}));
}

TEST_F(CoreDecoding, SaveAsWaveIsOfferedForOneRowOnlyWhenADecoderServesIt) {
    view.Select({3});
    EXPECT_FALSE(core.TrackMenuItems()[1].enabled);
    view.Select({2});
    EXPECT_TRUE(core.TrackMenuItems()[1].enabled);
}

TEST_F(CoreDecoding, DoubleClickPlaysTheRowAndPlayRepeatsIt) {
    view.Select({1});
    core.OnRowDoubleClick();
    ASSERT_EQ(playback.played, (std::vector<std::string>{"voice.wav"}));
    ASSERT_NE(core.OpenStream(), nullptr);
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kStop));
    core.StopPlayback();
    EXPECT_EQ(core.OpenStream(), nullptr);
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPlay));
    view.Select({0});
    core.StartPlayback();  // the window text is empty: Play takes the selection
    EXPECT_EQ(playback.played.back(), "song.adx");
}

TEST_F(CoreDecoding, ASingleAudioFilePlaysUntilTheNextDoubleClick) {
    const std::string single = dir.File("alone.adx");
    test::WriteFile(single, SongAdx());
    view.openFileAnswers.push_back(single);
    core.OpenAudioFileDialog();
    EXPECT_EQ(view.filters.back(), BuildOpenFilter(core.Host().DecoderExtensions()));
    EXPECT_EQ(view.playText, single);
    EXPECT_EQ(playback.played.back(), single);
    EXPECT_EQ(view.RowCount(), 5);  // the container's rows stay
    core.StopPlayback();
    view.Select({1});
    core.StartPlayback();  // still the single file, whatever is selected
    EXPECT_EQ(playback.played.back(), single);
    core.OnRowDoubleClick();
    EXPECT_EQ(playback.played.back(), "voice.wav");

    test::WriteFile(dir.File("broken.adx"), test::Pattern(40, 3));
    EXPECT_FALSE(core.OpenAudioFilePath(dir.File("broken.adx")));
    EXPECT_EQ(view.Status(), "Is not ADX file.");
}

TEST(ClockTextTest, MinutesAndSecondsAndHoursFromTheFirst) {
    EXPECT_EQ(ClockText(0, 44100), "0:00");
    EXPECT_EQ(ClockText(44100 * 12 + 44099, 44100), "0:12");  // whole seconds, rounded down
    EXPECT_EQ(ClockText(44100 * 105, 44100), "1:45");
    EXPECT_EQ(ClockText(44100ull * 3599, 44100), "59:59");
    EXPECT_EQ(ClockText(44100ull * 3600, 44100), "1:00:00");
    EXPECT_EQ(ClockText(44100, 0), "0:00");
}

TEST_F(CoreDecoding, TimerShowsWhereTheSoundIsWithItsTime) {
    view.Select({0});
    core.OnRowDoubleClick();
    const std::string name = playback.played.back();
    core.OnPlayTimer();  // nothing played yet: the bar stays
    EXPECT_EQ(view.BarOf(ProgressId::kPlay).position, 0u);
    playback.position = PlaybackControl::PlayedPosition{1234, 1000 * 12, 1000, 1000 * 105, 5000};
    ASSERT_TRUE(test::WaitFor([&] {
        core.OnPlayTimer();
        EXPECT_EQ(view.BarOf(ProgressId::kPlay).position, 1234u);
        return !view.playWaveform.low.empty();
    }));
    // The length is the one the waveform counted, not the engine's estimate: song.adx has 3000
    // frames, 3 seconds at this rate.
    core.OnPlayTimer();
    EXPECT_EQ(view.BarOf(ProgressId::kPlay).caption, name + "  0:12 / 0:03");
    EXPECT_EQ(playback.volumes.back(), 0);  // full volume when the settings have none
}

// Works in a folder of its own for the length of a test, then goes back.
class WorkingFolder {
  public:
    explicit WorkingFolder(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }

  private:
    std::filesystem::path previous_;
};

TEST_F(CoreDecoding, DoubleClickOnAContainerRowOpensItAndLeavesTheTrackPlaying) {
    const Bytes inner = test::AfsBuilder().Add("song.adx", SongAdx()).Build().bytes;
    test::WriteFile(
        dir.File("outer.afs"),
        test::AfsBuilder().Add("voice.wav", VoiceWave()).Add("inner.afs", inner).Build().bytes);
    ASSERT_TRUE(core.OpenContainerPath(dir.File("outer.afs")));
    view.Select({0});
    core.OnRowDoubleClick();
    ASSERT_EQ(playback.played, (std::vector<std::string>{"voice.wav"}));
    const std::size_t statuses = view.statuses.size();

    view.Select({1});
    core.OnRowDoubleClick();
    EXPECT_EQ(core.NestingDepth(), 1u);
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"song.adx"}));
    // Nothing was started, stopped or reported: the track plays on.
    EXPECT_EQ(playback.played.size(), 1u);
    EXPECT_EQ(playback.stops, 0);
    EXPECT_TRUE(playback.playing);
    EXPECT_NE(core.OpenStream(), nullptr);
    EXPECT_EQ(view.statuses.size(), statuses);

    view.Select({0});
    core.OnRowDoubleClick();  // a track of the nested container plays
    EXPECT_EQ(playback.played.back(), "song.adx");
}

TEST_F(CoreDecoding, ANameFromARowIsNeverOpenedAsAPath) {
    // Files in the working folder named like the rows: opening a row's name as a path would
    // play them.
    WorkingFolder here(dir.Path());
    test::WriteFile(dir.File("voice.wav"), VoiceWave());
    test::WriteFile(dir.File("ghost.wav"), VoiceWave());
    Bytes broken(64, 0);
    broken[0] = 'A';
    test::WriteFile(
        dir.File("p.afs"),
        test::AfsBuilder().Add("voice.wav", VoiceWave()).Add("broken.afs", broken).Build().bytes);
    ASSERT_TRUE(core.OpenContainerPath(dir.File("p.afs")));

    // A row the container does not hold (the list is stale): the explorer says so.
    RenameRow(core, 0, "ghost.wav");
    view.Select({0});
    core.OnRowDoubleClick();
    EXPECT_TRUE(playback.played.empty());
    EXPECT_EQ(view.Status(), "ghost.wav file not found.");

    // A nested open that fails leaves the parent's rows with no container open.
    view.Select({1});
    core.OnRowDoubleClick();
    EXPECT_EQ(view.Status(), "Is not AFS file.");  // not replaced by a play attempt
    EXPECT_TRUE(playback.played.empty());
    RenameRow(core, 0, "voice.wav");
    view.Select({0});
    core.OnRowDoubleClick();
    EXPECT_TRUE(playback.played.empty());
    EXPECT_EQ(view.Status(), "No container is open.");
    EXPECT_EQ(core.OpenStream(), nullptr);
}

TEST_F(CoreDecoding, ASingleFileWithAPathLongerThan259CharactersPlays) {
    std::filesystem::path folder = dir.Path();
    for (int i = 0; i < 3; ++i) {
        folder /= std::string(100, static_cast<char>('a' + i));
    }
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "alone.adx").string();
    ASSERT_GT(path.size(), 259u);
    test::WriteFile(path, SongAdx());
    ASSERT_TRUE(core.OpenAudioFilePath(path));
    EXPECT_EQ(playback.played, (std::vector<std::string>{path}));
    EXPECT_NE(core.OpenStream(), nullptr);
    core.StopPlayback();
    core.StartPlayback();  // Play repeats it, whole
    EXPECT_EQ(playback.played.back(), path);
    EXPECT_NE(core.OpenStream(), nullptr);
}

TEST_F(CoreDecoding, AnEndOfStreamPostedForAnEarlierTrackNeverStopsALaterOne) {
    view.Select({1});
    core.OnRowDoubleClick();  // track 1
    view.Select({0});
    core.OnRowDoubleClick();  // track 2
    ASSERT_EQ(playback.played.size(), 2u);
    EXPECT_TRUE(core.OnCommand(kCommandEndOfStream, 1));
    EXPECT_EQ(playback.stops, 0);
    EXPECT_NE(core.OpenStream(), nullptr);
    EXPECT_TRUE(core.OnCommand(kCommandEndOfStream, 2));
    EXPECT_EQ(playback.stops, 1);
    EXPECT_EQ(core.OpenStream(), nullptr);
}

TEST_F(CoreDecoding, EveryCloseOfThePlayingStreamIsToldToTheEngineFirst) {
    view.Select({1});
    core.OnRowDoubleClick();
    const int before = playback.releases;
    view.Select({0});
    core.OnRowDoubleClick();  // the track change releases the old stream
    EXPECT_EQ(playback.releases, before + 1);
    ASSERT_TRUE(core.OpenContainerPath(archive));  // another container closes the stream
    EXPECT_EQ(playback.releases, before + 2);
    EXPECT_EQ(core.OpenStream(), nullptr);
}

TEST(CoreStart, ASoundDeviceThatCannotBeMadeIsShownAndTheSettingsAreStillWritten) {
    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    playback.startError = "DirectSoundCreate: DSERR_NODRIVER";
    MainCore core{view, playback};
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    EXPECT_FALSE(core.Initialize(paths));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].first, "DirectSoundCreate: DSERR_NODRIVER");
    EXPECT_EQ(view.messages[0].second, MessageIcon::kStop);
    core.Shutdown();
    EXPECT_TRUE(test::FileExists(dir.File("ini.ini")));
}

TEST(CoreNestedAix, TracksOfAnAixInsideAnArchivePlayThroughTheExplorersRecord) {
    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    MainCore core{view, playback};
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
    paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
    core.Initialize(paths);
    test::AixStream left, right;
    left.data = test::AdxFrames(40, 2, 1);
    right.data = test::AdxFrames(40, 2, 2);
    right.sampleRate = 48000;
    left.total = right.total = 1280;
    const Bytes aix = test::AixBuilder().Add(left).Add(right).Build().bytes;
    test::WriteFile(dir.File("box.afs"), test::AfsBuilder().Add("bgm.aix", aix).Build().bytes);
    ASSERT_TRUE(core.OpenContainerPath(dir.File("box.afs")));

    view.Select({0});
    core.OnRowDoubleClick();
    ASSERT_EQ(core.NestingDepth(), 1u);
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"Track 0.aixf", "Track 1.aixf"}));
    EXPECT_EQ(view.Column(kColumnLength), (std::vector<std::string>{"1280", "1280"}));
    // The format is stream 0's for every track.
    EXPECT_EQ(view.Column(kColumnBitrate),
              (std::vector<std::string>{"44100Hz,2Ch", "44100Hz,2Ch"}));

    view.Select({1});
    core.OnRowDoubleClick();
    ASSERT_EQ(playback.played, (std::vector<std::string>{"Track 1.aixf"}));
    const DecoderSession* stream = core.OpenStream();
    ASSERT_NE(stream, nullptr);
    // Opened from the explorer's record, with the track's length as the explorer gives it.
    EXPECT_NE(stream->memoryImage, nullptr);
    EXPECT_EQ(stream->memorySize, 1280u);
    EXPECT_EQ(stream->SizeData(), 1280u);
    const PcmBlock* block = stream->DecodeNext();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->size, 40u * 128u);  // the whole of track 1, shorter than a second
    core.GoToParentContainer();          // stops playback and closes the stream before the AIX
    EXPECT_EQ(core.OpenStream(), nullptr);
    EXPECT_EQ(playback.stops, 1);
}

}  // namespace
}  // namespace fogbell
