// The SDL device: its failures, and a track played end to end through SDL's "disk" driver,
// which writes what the audio callback produced to a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "afs_builder.h"
#include "fake_view.h"
#include "host/app/main_core.h"
#include "host/playback/play_engine.h"
#include "recorded_wave.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell {
namespace {

using test::Bytes;

TEST(SdlOutput, AnAudioDriverThatIsNotThereIsNoDriver) {
    test::SetEnvironment("SDL_AUDIODRIVER", "no-such-driver");
    SoundDevice* device = CreateSoundDevice(nullptr, SoundOutputOptions{});
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(GetSoundErrorText(), "DirectSoundCreate: DSERR_NODRIVER");
    EXPECT_EQ(GetLastSoundResult(), DSERR_NODRIVER);
    ReleaseSoundObjects(nullptr, device);
    test::UnsetEnvironment("SDL_AUDIODRIVER");
}

TEST(SdlOutput, TheEngineShowsTheDeviceFailureAtStart) {
    test::SetEnvironment("SDL_AUDIODRIVER", "no-such-driver");
    test::TempDir dir;
    test::FakeView view;
    PlayEngine engine(SoundOutputOptions{});
    MainCore core(view, engine);
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    EXPECT_FALSE(core.Initialize(paths));
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].first, "DirectSoundCreate: DSERR_NODRIVER");
    EXPECT_EQ(view.messages[0].second, MessageIcon::kStop);
    core.Shutdown();
    EXPECT_TRUE(test::FileExists(dir.File("ini.ini")));  // the settings are still written
    test::UnsetEnvironment("SDL_AUDIODRIVER");
}

TEST(SdlOutput, ATrackPlaysEndToEndThroughTheDiskDriver) {
    test::TempDir dir;
    const std::string out = dir.File("disk.raw");
    // 20 ms between callbacks of 2048 frames (93 ms of audio): about five times real time,
    // leaving the play thread tens of milliseconds to answer each notification.
    test::UseSdlDiskDriver(out, "20");

    const Bytes pcm = test::Pattern(30000, 21);  // 0.68 s of mono 22050 Hz
    test::WaveOptions options;
    options.channels = 1;
    options.rate = 22050;
    const std::string archive = dir.File("a.afs");
    test::WriteFile(
        archive, test::AfsBuilder().Add("voice.wav", test::BuildWave(options, pcm)).Build().bytes);
    {
        test::FakeView view;
        PlayEngine engine(SoundOutputOptions{});
        MainCore core(view, engine);
        CorePaths paths;
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        ASSERT_TRUE(core.Initialize(paths)) << view.messages.at(0).first;
        ASSERT_TRUE(core.OpenContainerPath(archive));
        view.Select({0});
        core.OnRowDoubleClick();
        ASSERT_TRUE(engine.IsPlaying()) << view.Status();
        ASSERT_TRUE(test::WaitFor(
            [&] {
                view.RunPosted();
                return !engine.IsPlaying();
            },
            std::chrono::milliseconds(30000)));
        EXPECT_EQ(core.OpenStream(), nullptr);
        EXPECT_EQ(engine.GetCounters().refills, 1u);  // the block was there at the start: the end
    }
    test::StopUsingSdlDiskDriver();
    // The whole block reached the device, unchanged, at once: before it only what SDL took while
    // the buffer was being set up (a callback or two of silence), far from a silent second.
    const Bytes written = test::ReadFile(out);
    const auto at = std::search(written.begin(), written.end(), pcm.begin(), pcm.end());
    ASSERT_NE(at, written.end());
    EXPECT_LT(at - written.begin(), 44100 / 2);
    EXPECT_TRUE(std::all_of(written.begin(), at, [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace fogbell
