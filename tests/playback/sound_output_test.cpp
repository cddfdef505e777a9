// The sound-output layer on its own: option parsing, every failure text it can be made to
// give, and the null device's geometry (one-second loop, notification at the last byte, writes
// at the write cursor, stop keeping the position, volume) read back from its recording.
#include "host/playback/sound_output.h"

#include <gtest/gtest.h>

#include "byte_writer.h"
#include "recorded_wave.h"
#include "test_files.h"

namespace fogbell {
namespace {

using test::Bytes;

WAVEFORMATEX Pcm(std::uint16_t channels, std::uint32_t rate) {
    const auto align = static_cast<std::uint16_t>(channels * 2);
    return WAVEFORMATEX{FOGBELL_WAVE_FORMAT_PCM, channels, rate, rate * align, align, 16, 18};
}

SoundOutputOptions NullDevice(double speed, const std::string& record = "") {
    SoundOutputOptions options;
    options.kind = SoundOutputOptions::Kind::kNull;
    options.speed = speed;
    options.recordPath = record;
    return options;
}

TEST(SoundOutputOptions, ParsesTheDeviceAndItsOptions) {
    struct Case {
        const char* text;
        bool valid;
        SoundOutputOptions::Kind kind;
        double speed;
        const char* record;
    };
    using K = SoundOutputOptions::Kind;
    const Case cases[] = {
        {"sdl", true, K::kSdl, 1, ""},
        {"null", true, K::kNull, 1, ""},
        {"null:speed=8", true, K::kNull, 8, ""},
        {"null:speed=0.5:record=/tmp/a:b.wav", true, K::kNull, 0.5, "/tmp/a:b.wav"},
        {"null:record=x.wav", true, K::kNull, 1, "x.wav"},
        {"null:speed=0", false, K::kNull, 1, ""},
        {"null:speed=-2", false, K::kNull, 1, ""},
        {"null:speed=fast", false, K::kNull, 1, ""},
        {"null:record=", false, K::kNull, 1, ""},
        {"null:volume=3", false, K::kNull, 1, ""},
        {"nullx", false, K::kNull, 1, ""},
        {"alsa", false, K::kNull, 1, ""},
        {"", false, K::kNull, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto options = ParseSoundOutput(c.text);
        ASSERT_EQ(options.has_value(), c.valid);
        if (c.valid) {
            EXPECT_EQ(options->kind, c.kind);
            EXPECT_DOUBLE_EQ(options->speed, c.speed);
            EXPECT_EQ(options->recordPath, c.record);
        }
    }
}

TEST(SoundOutput, EveryFailureLeavesItsText) {
    test::TempDir dir;
    const WAVEFORMATEX good = Pcm(1, 8000);
    EXPECT_EQ(CreateSoundBuffer(nullptr, &good), nullptr);
    EXPECT_EQ(GetSoundErrorText(), "CreateSoundBuffer: IDirectSound not created.");
    std::shared_ptr<SoundEvent> event;
    EXPECT_EQ(CreateSoundNotify(nullptr, &event, -1), 0);
    EXPECT_EQ(GetSoundErrorText(), "CreateSoundNotify: ISoundBuffer not created.");
    const std::uint8_t byte = 0;
    EXPECT_EQ(SetSoundData(nullptr, &byte, 1), 0);
    EXPECT_EQ(GetSoundErrorText(), "SetSoundData: ISoundBuffer not created.");

    EXPECT_EQ(CreateSoundDevice(nullptr, NullDevice(1, dir.File("no/such/folder/x.wav"))), nullptr);
    EXPECT_EQ(GetSoundErrorText(), "DirectSoundCreate: DSERR_INVALIDPARAM");

    SoundContext sound;
    sound.device = CreateSoundDevice(nullptr, NullDevice(1));
    ASSERT_NE(sound.device, nullptr);
    WAVEFORMATEX zero = good;
    zero.nAvgBytesPerSec = 0;  // a second of no bytes
    EXPECT_EQ(CreateSoundBuffer(sound.device, &zero), nullptr);
    EXPECT_EQ(GetSoundErrorText(), "CreateSoundBuffer: DSERR_INVALIDPARAM");
    EXPECT_EQ(GetLastSoundResult(), DSERR_INVALIDPARAM);

    auto refused = [&](WAVEFORMATEX format) {
        EXPECT_EQ(CreateSoundBuffer(sound.device, &format), nullptr);
        EXPECT_EQ(GetSoundErrorText(), "CreateSoundBuffer: DSERR_BADFORMAT");
    };
    WAVEFORMATEX f = good;
    f.wBitsPerSample = 8;
    refused(f);
    f = good;
    f.wFormatTag = 3;
    refused(f);
    f = good;
    f.nChannels = 0;
    refused(f);
    f = good;
    f.nAvgBytesPerSec += 2;  // disagrees with rate and alignment
    refused(f);

    sound.buffer = CreateSoundBuffer(sound.device, &good);
    ASSERT_NE(sound.buffer, nullptr);
    EXPECT_EQ(CreateSoundNotify(sound.buffer, &event, 16000), 0);  // past the last byte
    EXPECT_EQ(GetSoundErrorText(), "CreateSoundNotify: DSERR_INVALIDPARAM");
    const Bytes tooLong(16002, 1);  // longer than the one-second buffer
    EXPECT_EQ(SetSoundData(sound.buffer, tooLong.data(), 16002), 0);
    EXPECT_EQ(GetSoundErrorText(), "SetSoundData: DSERR_INVALIDPARAM");
    EXPECT_EQ(SetSoundData(sound.buffer, tooLong.data(), 16000), 1);
    DestroySoundContext(sound);
    EXPECT_EQ(sound.device, nullptr);
    EXPECT_EQ(sound.buffer, nullptr);
    DestroySoundContext(sound);  // an empty context: nothing to do
}

TEST(SoundOutput, GainIsTenToTheVolumeOver2000) {
    EXPECT_DOUBLE_EQ(GainOfVolume(0), 1.0);
    EXPECT_NEAR(GainOfVolume(-2000), 0.1, 1e-12);
    EXPECT_NEAR(GainOfVolume(-5000), 0.0031622776601683794, 1e-15);
    EXPECT_NEAR(GainOfVolume(-600), 0.5011872336272722, 1e-12);
    EXPECT_EQ(ScaleSample(1000, 0.1), 100);
    EXPECT_EQ(ScaleSample(-32768, 0.5), -16384);
    EXPECT_EQ(ScaleSample(15, 0.1), 2);  // 1.5 rounds away from zero
}

// Plays a buffer of one second (8000 Hz mono) through a recording null device: writes block at
// the first notification, stops at the second. Returns what was recorded.
Bytes RecordOneBlock(const Bytes& block, std::int32_t volume, std::uint32_t* playedAtFirst) {
    test::TempDir dir;
    const std::string record = dir.File("rec.wav");
    const WAVEFORMATEX format = Pcm(1, 8000);
    SoundContext sound;
    sound.device = CreateSoundDevice(nullptr, NullDevice(40, record));
    EXPECT_NE(sound.device, nullptr);
    sound.buffer = CreateSoundBuffer(sound.device, &format);
    EXPECT_NE(sound.buffer, nullptr);
    EXPECT_EQ(CreateSoundNotify(sound.buffer, &sound.notifyEvent, -1), 1);
    EXPECT_EQ(SetSoundVolume(sound.buffer, volume), kSoundOk);
    EXPECT_EQ(PlaySoundBuffer(sound.buffer), kSoundOk);
    // A stop in the middle of the pass keeps the position: the pass still ends after exactly
    // one second of played bytes.
    EXPECT_TRUE(test::WaitFor([&] { return SoundBytesPlayed(sound.buffer) >= 4000; }));
    StopSoundBuffer(sound.buffer);
    const std::uint64_t stoppedAt = SoundBytesPlayed(sound.buffer);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(SoundBytesPlayed(sound.buffer), stoppedAt);
    EXPECT_FALSE(IsSoundBufferPlaying(sound.buffer));
    PlaySoundBuffer(sound.buffer);
    EXPECT_TRUE(test::WaitFor([&] { return sound.notifyEvent->IsSet(); }));
    *playedAtFirst = static_cast<std::uint32_t>(SoundBytesPlayed(sound.buffer));
    EXPECT_EQ(SetSoundData(sound.buffer, block.data(), static_cast<std::uint32_t>(block.size())),
              1);
    sound.notifyEvent->Reset();
    EXPECT_TRUE(test::WaitFor([&] { return sound.notifyEvent->IsSet(); }));
    StopSoundBuffer(sound.buffer);
    sound.notifyEvent->Reset();
    DestroySoundContext(sound);  // finishes the recording
    return test::ReadFile(record);
}

TEST(SoundOutput, TheNullDeviceRecordsEachPassWithTheBlockAtTheWriteCursor) {
    const WAVEFORMATEX format = Pcm(1, 8000);
    for (const std::size_t size : {std::size_t{6000}, std::size_t{16000}, std::size_t{0}}) {
        SCOPED_TRACE(size);
        const Bytes block = test::Pattern(size, 5);
        std::uint32_t playedAtFirst = 0;
        const Bytes recorded = RecordOneBlock(block, 0, &playedAtFirst);
        EXPECT_EQ(playedAtFirst, 16000u);  // the notification sits at the last byte
        // A second of the silence the buffer was made with, then the block and silence to the
        // end of its second (a whole second leaves no silence).
        EXPECT_EQ(recorded, test::RecordedWave(format, test::Passes(16000, {nullptr, &block})));
    }
}

TEST(SoundOutput, TheVolumeScalesEverySampleThePlayerHears) {
    const WAVEFORMATEX format = Pcm(1, 8000);
    const Bytes block = test::Pattern(8000, 9);
    for (const std::int32_t volume : {-600, -2000, -10000}) {
        SCOPED_TRACE(volume);
        Bytes scaled = block;
        for (std::size_t i = 0; i + 1 < scaled.size(); i += 2) {
            const auto sample = static_cast<std::int16_t>(scaled[i] | (scaled[i + 1] << 8));
            const auto out = static_cast<std::uint16_t>(ScaleSample(sample, GainOfVolume(volume)));
            scaled[i] = static_cast<std::uint8_t>(out & 0xFF);
            scaled[i + 1] = static_cast<std::uint8_t>(out >> 8);
        }
        ASSERT_NE(scaled, block);
        std::uint32_t playedAtFirst = 0;
        EXPECT_EQ(RecordOneBlock(block, volume, &playedAtFirst),
                  test::RecordedWave(format, test::Passes(16000, {nullptr, &scaled})));
    }
}

TEST(SoundOutput, AVolumeOutsideItsRangeIsRefused) {
    SoundContext sound;
    sound.device = CreateSoundDevice(nullptr, NullDevice(1));
    const WAVEFORMATEX format = Pcm(2, 44100);
    sound.buffer = CreateSoundBuffer(sound.device, &format);
    ASSERT_NE(sound.buffer, nullptr);
    EXPECT_EQ(SetSoundVolume(sound.buffer, 1), DSERR_INVALIDPARAM);
    EXPECT_EQ(SetSoundVolume(sound.buffer, -10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(SetSoundVolume(sound.buffer, -10000), kSoundOk);
    EXPECT_EQ(SetSoundVolume(nullptr, 0), DSERR_INVALIDPARAM);
    DestroySoundContext(sound);
}

}  // namespace
}  // namespace fogbell
