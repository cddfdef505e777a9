// "Replace file" of the main window, driven through a fake view with the real staged plug-ins: a
// WAVE goes into a track converted to the track's format on a worker, a failed conversion and a
// replacement too large for its room leave the container as it was, and the buttons come back.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <system_error>
#include <thread>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "fake_view.h"
#include "host/app/main_core.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "plugin_api.h"
#include "test_files.h"
#include "wave_builder.h"
#include "xmd_builder.h"

namespace fogbell {
namespace {

using test::AfsBuilder;
using test::Bytes;
using test::Pattern;

// A mono ADX track of frames groups of noise at rate with the given cutoff.
Bytes AdxTrack(std::uint32_t rate, std::size_t groups, std::uint16_t cutoff) {
    test::AdxOptions options;
    options.channels = 1;
    options.rate = rate;
    options.totalSamples = static_cast<std::uint32_t>(groups * 32);
    options.cutoff = cutoff;
    return test::BuildAdx(options, test::AdxFrames(groups, 1, 5), true);
}

Bytes Wave(std::uint16_t channels, std::uint32_t rate, std::size_t frames, std::uint32_t seed) {
    test::WaveOptions options;
    options.channels = channels;
    options.rate = rate;
    return test::BuildWave(options, Pattern(frames * channels * 2, seed));
}

// What a decoder plug-in makes of bytes: its source format and the number of sample frames.
struct Decoded {
    std::uint32_t channels = 0;
    std::uint32_t rate = 0;
    std::size_t frames = 0;
};

Decoded Decode(const std::string& plugin, const Bytes& bytes) {
    test::DecoderApi api(plugin);
    const int handle =
        api.LoadFileMemory(-1, -1, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_NE(handle, -1) << api.Error();
    if (handle == -1) {
        return {};
    }
    const WAVEFORMATEX* source = api.GetFormatSource(handle);
    Decoded decoded{source->nChannels, source->nSamplesPerSec, 0};
    decoded.frames = api.DecodeAll(handle).size() / (2u * source->nChannels);
    api.CloseFile(handle);
    return decoded;
}

class CoreReplace : public ::testing::Test {
  protected:
    void SetUp() override {
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        core.Initialize(paths);
    }

    std::string Save(const Bytes& bytes, const std::string& name) {
        test::WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }

    // Chooses "Replace file" on the given row with file, and runs everything that follows (the
    // workers and what they post) until the replacement has ended.
    void Replace(int row, const std::string& file) {
        view.Select({row});
        view.openFileAnswers.push_back(file);
        ASSERT_TRUE(core.OnCommand(kCommandReplace));
        Finish();
    }

    void Finish() {
        for (int rounds = 0; rounds < 10 && (core.IsReplacing() || core.RunningWorkers() > 0);
             ++rounds) {
            core.WaitForWorkers();
            view.RunPosted();
        }
        EXPECT_FALSE(core.IsReplacing());
        EXPECT_EQ(core.RunningWorkers(), 0);
    }

    // The bytes of a track of the current container, as the explorer hands them out now.
    Bytes TrackBytes(const std::string& name) {
        const ExplorerSession* container = core.CurrentContainer();
        if (container == nullptr) {
            ADD_FAILURE() << "no container";
            return {};
        }
        const fogbell::TrackBytes track = container->Track(name);
        const auto* data = static_cast<const std::uint8_t*>(track.Data());
        return data ? Bytes(data, data + track.Size()) : Bytes{};
    }

    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    MainCore core{view, playback};
    CorePaths paths;
};

// A fitting track of an archive inside an archive goes in through the outer file; the inner
// level is opened again, so its row and bytes show the new track.
TEST_F(CoreReplace, ANestedTrackReplacedInPlaceShowsItsNewBytes) {
    const Bytes inner = AfsBuilder()
                            .Align(16)
                            .Add("x.bin", Pattern(400, 1))
                            .Add("y.bin", Pattern(30, 2))
                            .Build()
                            .bytes;
    const std::string archive =
        Save(AfsBuilder().Align(16).Add("in.afs", inner).Build().bytes, "outer.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    view.Select({0});
    core.OnRowDoubleClick();
    ASSERT_EQ(core.NestingDepth(), 1u);
    Replace(0, Save(Pattern(100, 7), "new.bin"));
    EXPECT_EQ(view.Status(), "Replace OK");
    ASSERT_EQ(core.NestingDepth(), 1u);
    EXPECT_EQ(TrackBytes("x.bin"), Pattern(100, 7));
    EXPECT_EQ(TrackBytes("y.bin"), Pattern(30, 2));
}

TEST_F(CoreReplace, AWaveBecomesAdxAtTheTracksRateChannelsAndCutoff) {
    const std::string archive = Save(AfsBuilder()
                                         .Add("line.adx", AdxTrack(22050, 700, 650))  // one second
                                         .Add("other.bin", Pattern(64, 3))
                                         .Build()
                                         .bytes,
                                     "voice.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    const std::string wave = Save(Wave(2, 44100, 22050, 9), "edit.wav");  // half a second
    Replace(0, wave);

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].first, "File replaced.");
    EXPECT_EQ(view.Status(), "Replace OK");
    EXPECT_TRUE(view.questions.empty());
    const Bytes track = TrackBytes("line.adx");
    ASSERT_GE(track.size(), 18u);
    EXPECT_EQ((track[16] << 8) | track[17], 650);  // the track's cutoff
    const Decoded decoded = Decode("adxvoice", track);
    EXPECT_EQ(decoded.channels, 1u);
    EXPECT_EQ(decoded.rate, 22050u);
    EXPECT_NEAR(static_cast<double>(decoded.frames), 11025.0, 64.0);  // half a second
    EXPECT_EQ(TrackBytes("other.bin"), Pattern(64, 3));
    // The conversion showed its progress on the save bar.
    const auto captions = view.BarOf(ProgressId::kSave).captions;
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.front(), "Converting line.adx");
    EXPECT_EQ(captions.back(), "Convert done");
    EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(),
                        "Replacing line.adx with edit.wav..."),
              view.statuses.end());
    // Nothing of the conversion stays behind in the temporary folder.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(
                      "fogbell-replace-" + std::to_string(getpid()) + "-", 0),
                  std::string::npos);
    }
}

TEST_F(CoreReplace, ALoopIsKeptAndSaidOrDroppedOnlyWhenTheUserSaysSo) {
    test::AdxOptions options;  // one second at 22050 Hz, looping from 100 to 20000
    options.rate = 22050;
    options.totalSamples = 22050;
    options.headerOffset = test::LoopHeaderOffset(3, 1);
    options.loopBlock = true;
    options.loopStart = 100;
    options.loopEnd = 20000;
    const Bytes looped = test::BuildAdx(options, test::AdxFrames(690, 1, 5), true);
    const std::string archive = Save(AfsBuilder().Add("a.adx", looped).Build().bytes, "m.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    test::DecoderApi adxvoice("adxvoice");
    Replace(0, Save(Wave(1, 22050, 22050, 4), "same.wav"));
    EXPECT_EQ(view.Status(), "Replace OK. The track's loop 100:20000 is kept.");
    EXPECT_EQ(adxvoice.LoopOf(TrackBytes("a.adx")), "100:20000");
    EXPECT_TRUE(view.questions.empty());

    const Bytes before = test::ReadFile(archive);
    const std::string shorter = Save(Wave(1, 22050, 11025, 4), "short.wav");
    Replace(0, shorter);  // No
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_NE(view.questions[0].find("without a loop?"), std::string::npos) << view.questions[0];
    EXPECT_EQ(view.Status(), "File not replaced: a.adx keeps its old sound.");
    EXPECT_EQ(test::ReadFile(archive), before);
    view.yesNoAnswers.push_back(true);
    Replace(0, shorter);
    EXPECT_EQ(view.Status(), "Replace OK");
    EXPECT_EQ(adxvoice.LoopOf(TrackBytes("a.adx")), "none");
}

// A file the track's decoder cannot read is asked about: No keeps the track, Yes writes the file's
// own bytes. A file the decoder reads is written without a question.
struct RawCase {
    int row;
    std::string file;
    Bytes bytes;
    bool asked;
    std::string question;  // how the question begins
};

TEST_F(CoreReplace, AFileTheTracksDecoderCannotReadIsWrittenOnlyWhenTheUserSaysSo) {
    const std::string archive = Save(AfsBuilder()
                                         .Add("a.adx", AdxTrack(22050, 100, 500))
                                         .Add("b.wav", Wave(1, 22050, 500, 3))
                                         .Build()
                                         .bytes,
                                     "voice.afs");
    const std::vector<RawCase> table = {
        {0, "notes.txt", test::BytesOf("words, not sound"), true,
         "notes.txt is not ADX, the track's format, and no decoder recognises it"},
        {0, "line.xmd", test::BuildXmd(1, 32000, 64, test::XmdFrames(4, 2)), true,
         "line.xmd is XMD, not ADX, the track's format"},
        {1, "take.adx", AdxTrack(22050, 4, 500), true,
         "take.adx is ADX, not WAVE, the track's format"},
        {0, "good.adx", AdxTrack(32000, 4, 400), false, ""},
    };
    ASSERT_TRUE(core.OpenContainerPath(archive));
    for (const RawCase& c : table) {
        const std::string name = c.row == 0 ? "a.adx" : "b.wav";
        const Bytes before = test::ReadFile(archive);
        view.questions.clear();
        Replace(c.row, Save(c.bytes, c.file));  // No
        ASSERT_EQ(view.questions.size(), c.asked ? 1u : 0u) << c.file;
        if (c.asked) {
            EXPECT_EQ(view.questions[0].rfind(c.question, 0), 0u) << view.questions[0];
            EXPECT_NE(view.questions[0].find("Write " + c.file + " into " + name + " as it is"),
                      std::string::npos)
                << view.questions[0];
            EXPECT_EQ(view.Status(), "File not replaced: " + name + " keeps its old sound.");
            EXPECT_EQ(test::ReadFile(archive), before) << c.file;
            view.yesNoAnswers.push_back(true);
            Replace(c.row, dir.File(c.file));
        }
        EXPECT_EQ(view.Status(), "Replace OK") << c.file;
        const Bytes track = TrackBytes(name);
        ASSERT_GE(track.size(), c.bytes.size()) << c.file;
        EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), track.begin())) << c.file;
    }
}

TEST_F(CoreReplace, AWaveTrackOfAPacGetsPcmInItsFormat) {
    const Bytes original = Wave(1, 22050, 20000, 1);
    const std::string pac =
        Save(test::PacBuilder().Add(original).Add(original).Build().bytes, "se.pac");
    ASSERT_TRUE(core.OpenContainerPath(pac));
    Replace(0, Save(Wave(2, 44100, 10000, 2), "edit.wav"));
    EXPECT_EQ(view.Status(), "Replace OK");
    const Decoded decoded = Decode("wavvoice", TrackBytes("Track 0.wav"));
    EXPECT_EQ(decoded.channels, 1u);
    EXPECT_EQ(decoded.rate, 22050u);
    // 5000 frames, less the 42 bytes a rewritten PAC track's header has always left out.
    EXPECT_NEAR(static_cast<double>(decoded.frames), 5000.0 - 21.0, 32.0);
    EXPECT_EQ(TrackBytes("Track 1.wav"), original);
}

TEST_F(CoreReplace, AFileAlreadyInTheTracksFormatGoesInAsItIs) {
    const std::string archive =
        Save(AfsBuilder().Add("a.adx", AdxTrack(22050, 700, 500)).Build().bytes, "voice.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    const Bytes raw = AdxTrack(32000, 100, 400);
    Replace(0, Save(raw, "raw.adx"));
    EXPECT_EQ(view.Status(), "Replace OK");
    const Bytes track = TrackBytes("a.adx");
    ASSERT_GE(track.size(), raw.size());
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), track.begin()));
    EXPECT_TRUE(view.BarOf(ProgressId::kSave).captions.empty());  // nothing was converted
}

TEST_F(CoreReplace, ABrokenWaveIsReportedAndNothingIsWritten) {
    const std::string archive =
        Save(AfsBuilder().Add("a.adx", AdxTrack(22050, 700, 500)).Build().bytes, "voice.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    const Bytes before = test::ReadFile(archive);
    // A RIFF WAVE file whose chunks are junk.
    Bytes broken = test::BytesOf("RIFF");
    broken.insert(broken.end(), {0x10, 0, 0, 0});
    const Bytes rest = test::BytesOf("WAVEjunkjunkjunk");
    broken.insert(broken.end(), rest.begin(), rest.end());
    Replace(0, Save(broken, "broken.wav"));
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.Status().rfind("File not replaced: can't convert broken.wav. ", 0), 0u)
        << view.Status();
    EXPECT_GT(view.Status().size(),
              std::string("File not replaced: can't convert broken.wav. ").size());
    EXPECT_EQ(test::ReadFile(archive), before);
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
}

TEST_F(CoreReplace, TooLargeForItsRoomAsksAndNoKeepsTheFileByteForByte) {
    const std::string archive = Save(AfsBuilder()
                                         .Add("a.adx", AdxTrack(22050, 100, 500))
                                         .Add("b.bin", Pattern(40, 2))
                                         .Build()
                                         .bytes,
                                     "voice.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    const Bytes before = test::ReadFile(archive);
    view.yesNoAnswers.push_back(false);
    Replace(0, Save(Wave(1, 22050, 22050 * 3, 4), "long.wav"));
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0].rfind("long.wav in the track's format needs ", 0), 0u)
        << view.questions[0];
    EXPECT_EQ(view.Status(), "File not replaced: a.adx keeps its old sound.");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(test::ReadFile(archive), before);
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"a.adx", "b.bin"}));
}

TEST_F(CoreReplace, YesRebuildsTheArchiveAndTheListShowsTheNewTrackSelected) {
    const Bytes other = Pattern(40, 2);
    const std::string archive =
        Save(AfsBuilder().Add("a.adx", AdxTrack(22050, 100, 500)).Add("b.bin", other).Build().bytes,
             "voice.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    const std::string oldLength = view.CellText(0, kColumnLength);
    view.yesNoAnswers.push_back(true);
    Replace(0, Save(Wave(1, 22050, 22050 * 3, 4), "long.wav"));  // three seconds

    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0].rfind("long.wav in the track's format needs ", 0), 0u)
        << view.questions[0];
    EXPECT_NE(view.questions[0].find("Rebuild voice.afs to make room for it?"), std::string::npos);
    // The size asked about is the size the track has now.
    EXPECT_NE(view.questions[0].find("needs " + view.CellText(0, kColumnLength) +
                                     " bytes, but a.adx has room for "),
              std::string::npos)
        << view.questions[0];
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].first, "File replaced.");
    EXPECT_EQ(view.Status(), "Replace OK: The container was rebuilt.");
    // The list was filled again from the rebuilt file, with the replaced row selected.
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"a.adx", "b.bin"}));
    EXPECT_NE(view.CellText(0, kColumnLength), oldLength);
    EXPECT_TRUE(view.IsRowSelected(0));
    EXPECT_FALSE(view.IsRowSelected(1));
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPlay));  // the selected track plays at once
    // While "File replaced." showed, the status line already said how it ended.
    EXPECT_EQ(view.statusUnderMessage, (std::vector<std::string>{view.Status()}));
    EXPECT_EQ(view.fileNameBox, archive);
    const Decoded decoded = Decode("adxvoice", TrackBytes("a.adx"));
    EXPECT_EQ(decoded.rate, 22050u);
    EXPECT_NEAR(static_cast<double>(decoded.frames), 22050.0 * 3, 64.0);
    EXPECT_EQ(TrackBytes("b.bin"), other);
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
}

// A PAC track that the explorer would have cut to its room is a question too, and Yes keeps the
// whole sound; an XMD track of an MVX archive gets XMD at its own rate and channels.
TEST_F(CoreReplace, PacAndMvxTracksLargerThanTheirRoomAreRebuiltWhole) {
    const Bytes original = Wave(1, 22050, 1000, 1);
    const std::string pac =
        Save(test::PacBuilder().Add(original).Add(original).Build().bytes, "se.pac");
    ASSERT_TRUE(core.OpenContainerPath(pac));
    const Bytes before = test::ReadFile(pac);
    const std::string wave = Save(Wave(2, 44100, 44100, 2), "edit.wav");
    view.yesNoAnswers = {false, true};
    Replace(0, wave);
    EXPECT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(test::ReadFile(pac), before);  // not cut, not written
    Replace(0, wave);
    EXPECT_EQ(view.questions.size(), 2u);
    EXPECT_EQ(view.Status(), "Replace OK: The container was rebuilt.");
    const Decoded decoded = Decode("wavvoice", TrackBytes("Track 0.wav"));
    EXPECT_EQ(decoded.channels, 1u);
    EXPECT_EQ(decoded.rate, 22050u);
    EXPECT_NEAR(static_cast<double>(decoded.frames), 22050.0 - 21.0, 32.0);
    EXPECT_EQ(TrackBytes("Track 1.wav"), original);

    const Bytes xmd = test::BuildXmd(2, 32000, 13 * 2 * 10, test::XmdFrames(20, 3));
    const std::string mvx =
        Save(test::MvxBuilder().Add("bgm.xmd", xmd).Add("se.bin", Pattern(30, 6)).Build().bytes,
             "music.mvx");
    ASSERT_TRUE(core.OpenContainerPath(mvx));
    view.yesNoAnswers = {true};
    Replace(0, Save(Wave(1, 22050, 22050, 5), "mono.wav"));
    EXPECT_EQ(view.Status(), "Replace OK: The container was rebuilt.");
    const Decoded music = Decode("xmdvoice", TrackBytes("bgm.xmd"));
    EXPECT_EQ(music.channels, 2u);
    EXPECT_EQ(music.rate, 32000u);
    EXPECT_NEAR(static_cast<double>(music.frames), 32000.0, 64.0);
    EXPECT_EQ(TrackBytes("se.bin"), Pattern(30, 6));
}

TEST_F(CoreReplace, ARebuildInsideANestedArchiveReopensTheLevelThatWasShown) {
    const Bytes inner = AfsBuilder()
                            .Add("a.adx", AdxTrack(22050, 100, 500))
                            .Add("b.bin", Pattern(40, 2))
                            .Build()
                            .bytes;
    const std::string disk =
        Save(AfsBuilder().Add("inner.afs", inner).Add("c.bin", Pattern(50, 4)).Build().bytes,
             "disk.afs");
    ASSERT_TRUE(core.OpenContainerPath(disk));
    view.Select({0});
    core.OnRowDoubleClick();
    ASSERT_EQ(core.NestingDepth(), 1u);
    const std::string oldLength = view.CellText(0, kColumnLength);
    view.yesNoAnswers.push_back(true);
    Replace(0, Save(Wave(2, 44100, 44100 * 2, 4), "long.wav"));

    EXPECT_EQ(view.Status(), "Replace OK: The container was rebuilt.");
    EXPECT_NE(view.questions.at(0).find("Rebuild disk.afs"), std::string::npos);
    EXPECT_EQ(core.NestingDepth(), 1u);
    EXPECT_NE(view.CellText(0, kColumnLength), oldLength);  // listed again from disk
    EXPECT_EQ(core.ChainNames(), (std::vector<std::string>{disk, "inner.afs"}));
    EXPECT_EQ(view.fileNameBox, disk + " \xE2\x80\xBA inner.afs");
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"a.adx", "b.bin"}));
    EXPECT_TRUE(view.IsRowSelected(0));
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
    const Decoded decoded = Decode("adxvoice", TrackBytes("a.adx"));
    EXPECT_EQ(decoded.channels, 1u);
    EXPECT_NEAR(static_cast<double>(decoded.frames), 22050.0 * 2, 64.0);
    EXPECT_EQ(TrackBytes("b.bin"), Pattern(40, 2));
    core.GoToParentContainer();
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"inner.afs", "c.bin"}));
    EXPECT_EQ(TrackBytes("c.bin"), Pattern(50, 4));
}

// The rebuild releases the window's archive, so it waits for an extract that reads it; until
// it has ended nothing else is replaced, and the archive opens again from disk afterwards.
TEST_F(CoreReplace, ARebuildWaitsForTheWorkersThatReadTheArchive) {
    AfsBuilder builder;
    builder.Add("a.adx", AdxTrack(22050, 100, 500));
    for (int i = 0; i < 5; ++i) {
        builder.Add("m" + std::to_string(i) + ".bin", Pattern(300, static_cast<std::uint32_t>(i)));
    }
    const std::string archive = Save(builder.Build().bytes, "voice.afs");
    const Bytes before = test::ReadFile(archive);
    ASSERT_TRUE(core.OpenContainerPath(archive));
    std::filesystem::create_directory(dir.File("out"));
    view.saveDirectoryBox = dir.File("out");

    // An extract starts first, and is held.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    core.SetThreadStarter([released](std::function<void()> body) {
        return std::thread([released, body = std::move(body)] {
            released.wait();
            body();
        });
    });
    ASSERT_TRUE(core.OnCommand(kCommandExtractAll));
    core.SetThreadStarter([](std::function<void()> body) { return std::thread(std::move(body)); });
    const std::string oldLength = view.CellText(0, kColumnLength);
    view.yesNoAnswers.push_back(true);
    view.Select({0});
    view.openFileAnswers.push_back(Save(Wave(1, 22050, 22050 * 3, 4), "long.wav"));
    ASSERT_TRUE(core.OnCommand(kCommandReplace));
    for (int tries = 0; tries < 5000 && view.questions.empty(); ++tries) {
        view.RunOnePosted();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.Status(), "Rebuilding voice.afs...");
    EXPECT_EQ(core.RunningWorkers(), 1);  // the extract, still held
    EXPECT_TRUE(core.IsReplacing());
    EXPECT_EQ(test::ReadFile(archive), before);
    view.openFileAnswers.push_back(dir.File("long.wav"));
    core.ReplaceTrack();
    EXPECT_EQ(view.Status(), "Another replacement is still running.");

    release.set_value();
    Finish();
    EXPECT_EQ(view.Status(), "Replace OK: The container was rebuilt.");
    EXPECT_NE(view.CellText(0, kColumnLength), oldLength);  // opened again from disk
    EXPECT_EQ(view.Column(kColumnName).size(), 6u);
    EXPECT_TRUE(view.IsRowSelected(0));
    for (int i = 0; i < 5; ++i) {
        const std::string name = "m" + std::to_string(i) + ".bin";
        EXPECT_EQ(test::ReadFile(dir.File("out/" + name)),
                  Pattern(300, static_cast<std::uint32_t>(i)));
        EXPECT_EQ(TrackBytes(name), Pattern(300, static_cast<std::uint32_t>(i)));
    }
    EXPECT_NEAR(static_cast<double>(Decode("adxvoice", TrackBytes("a.adx")).frames), 22050.0 * 3,
                64.0);
}

// A rebuild that fails half-way leaves the file as it was, and the level that was shown opens
// again from it: the list stays usable.
TEST_F(CoreReplace, AFailedRebuildOpensTheLevelThatWasShownAgain) {
    const Bytes inner = AfsBuilder().Align(16).Add("s.bin", Pattern(30, 1)).Build().bytes;
    auto built = AfsBuilder()
                     .Align(16)
                     .Place(AfsBuilder::NameTable::kAfterOffsetTable)
                     .Add("e.bin", {})
                     .Add("in.afs", inner)
                     .Build();
    test::PutU32LE(built.bytes, AfsBuilder::PairOffset(0), 0);  // an empty member at offset 0
    const std::string box = Save(built.bytes, "box.afs");
    ASSERT_TRUE(core.OpenContainerPath(box));
    view.Select({1});
    core.OnRowDoubleClick();
    ASSERT_EQ(core.NestingDepth(), 1u);
    view.yesNoAnswers.push_back(true);
    Replace(0, Save(Pattern(4000, 4), "big.bin"));

    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_NE(view.Status().find("inside its tables"), std::string::npos) << view.Status();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(test::ReadFile(box), built.bytes);
    EXPECT_EQ(core.ChainNames(), (std::vector<std::string>{box, "in.afs"}));
    EXPECT_EQ(view.Column(kColumnName), (std::vector<std::string>{"s.bin"}));
    EXPECT_EQ(TrackBytes("s.bin"), Pattern(30, 1));
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kPreviousDirectory));
}

TEST_F(CoreReplace, TheButtonsWaitForTheReplacementAndOneRunsAtATime) {
    ASSERT_TRUE(core.OpenContainerPath(
        Save(AfsBuilder().Add("a.adx", AdxTrack(22050, 700, 500)).Build().bytes, "voice.afs")));
    const std::string wave = Save(Wave(2, 44100, 22050, 9), "edit.wav");
    view.Select({0});
    view.openFileAnswers.push_back(wave);
    ASSERT_TRUE(core.OnCommand(kCommandReplace));
    EXPECT_TRUE(core.IsReplacing());
    EXPECT_EQ(core.RunningWorkers(), 1);
    EXPECT_FALSE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    // A second replacement is refused before any dialog.
    const std::size_t dialogs = view.filters.size();
    core.ReplaceTrack();
    EXPECT_EQ(view.filters.size(), dialogs);
    EXPECT_EQ(view.Status(), "Another replacement is still running.");
    Finish();
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
    EXPECT_EQ(core.WorkerThreads(), 0u);
    EXPECT_EQ(view.Status(), "Replace OK");
}

// Closing the window stops a conversion between blocks: the worker is waited for, and nothing
// is written or shown afterwards.
TEST_F(CoreReplace, ClosingTheWindowStopsAConversionAndWritesNothing) {
    const std::string archive =
        Save(AfsBuilder().Add("a.adx", AdxTrack(22050, 700, 500)).Build().bytes, "voice.afs");
    ASSERT_TRUE(core.OpenContainerPath(archive));
    const Bytes before = test::ReadFile(archive);
    // The worker starts only once the window is closing.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    core.SetThreadStarter([released](std::function<void()> body) {
        return std::thread([released, body = std::move(body)] {
            released.wait();
            body();
        });
    });
    view.Select({0});
    view.openFileAnswers.push_back(Save(Wave(2, 44100, 22050, 9), "edit.wav"));
    ASSERT_TRUE(core.OnCommand(kCommandReplace));
    std::thread opener([&release] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        release.set_value();
    });
    core.Shutdown();  // asks the workers to stop, then waits for them
    opener.join();
    const std::size_t statuses = view.statuses.size();
    view.RunPosted();
    EXPECT_EQ(view.statuses.size(), statuses);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(test::ReadFile(archive), before);
}

TEST_F(CoreReplace, AThreadThatCannotStartEndsTheReplacement) {
    ASSERT_TRUE(core.OpenContainerPath(
        Save(AfsBuilder().Add("a.adx", AdxTrack(22050, 700, 500)).Build().bytes, "voice.afs")));
    core.SetThreadStarter([](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    Replace(0, Save(Wave(2, 44100, 1000, 9), "edit.wav"));
    EXPECT_EQ(view.Status().rfind("Replace file: can't start a worker thread (", 0), 0u)
        << view.Status();
    EXPECT_FALSE(core.IsReplacing());
    EXPECT_TRUE(view.IsButtonEnabled(ButtonId::kOpenContainer));
}

}  // namespace
}  // namespace fogbell
