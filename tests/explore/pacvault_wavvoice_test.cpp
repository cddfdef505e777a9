// A PAC track played as the host plays it: pacvault hands out the track's pointer and length,
// and wavvoice, chosen by the ".wav" of the track's name, decodes those bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "pac_builder.h"
#include "plugin_api.h"
#include "riff_wave_builder.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

using Layout = RiffWaveBuilder::Layout;

class PacToWave : public ::testing::Test {
  protected:
    ExplorerApi explorer{"pacvault"};
    DecoderApi decoder{"wavvoice"};

    // What the host does to play a track: pointer and length to the decoder's memory loader.
    int OpenTrack(int container, const std::string& name) {
        std::uint32_t length = 0;
        const void* data = explorer.GetFilePointer(container, name.c_str(), &length);
        EXPECT_NE(data, nullptr) << explorer.Error();
        return decoder.LoadFileMemory(-1, -1, data, length);
    }
};

TEST_F(PacToWave, TheDecoderServesTheTracksExtension) {
    const char* const* extensions = decoder.GetSupportExt();
    ASSERT_NE(extensions, nullptr);
    bool wav = false;
    for (const char* const* e = extensions; *e; ++e) {
        wav = wav || std::strcmp(*e, "WAV") == 0;
    }
    EXPECT_TRUE(wav);
}

TEST_F(PacToWave, EachLayoutDecodesToItsSamplesInTheFormatTheExplorerReports) {
    const Bytes stereo = Pattern(4000, 1);
    const Bytes mono = Pattern(3000, 2);
    const Bytes fact = Pattern(1000, 3);
    auto built = PacBuilder()
                     .Add(RiffWaveBuilder().Format(2, 44100).Build(stereo))
                     .Add(RiffWaveBuilder().Use(Layout::kFmt18Data).Format(1, 22050).Build(mono))
                     .Add(RiffWaveBuilder().Use(Layout::kFmt18Fact).Format(1, 8000).Build(fact))
                     .Build();
    const int h =
        explorer.LoadFileMemory(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()));
    ASSERT_NE(h, -1) << explorer.Error();
    const std::vector<Bytes> samples = {stereo, mono, fact};
    char** names = explorer.GetListFiles(h);
    ASSERT_NE(names, nullptr);
    std::vector<std::string> list;
    for (char** p = names; *p; ++p) {
        list.emplace_back(*p);
    }
    ASSERT_EQ(list.size(), 3u);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const int voice = OpenTrack(h, list[i]);
        ASSERT_NE(voice, -1) << decoder.Error();
        const WAVEFORMATEX* format = decoder.GetFormatSource(voice);
        ASSERT_NE(format, nullptr);
        const std::uint32_t bitrate = explorer.GetBitrate(h, list[i].c_str());
        EXPECT_EQ(format->nSamplesPerSec, bitrate >> 16) << list[i];
        EXPECT_EQ(format->nChannels, bitrate & 0xFFFF) << list[i];
        EXPECT_EQ(decoder.DecodeAll(voice), samples[i]) << list[i];
        EXPECT_EQ(decoder.CloseFile(voice), 1);
    }
    explorer.CloseFile(h);
}

TEST_F(PacToWave, AReplacedTrackPlaysItsDataLengthOfTheNewSamples) {
    auto built = PacBuilder()
                     .Add(RiffWaveBuilder().Format(1, 22050).Build(Pattern(1956, 1)))
                     .Add(RiffWaveBuilder().Build(Pattern(100, 2)))
                     .Build();
    const int h =
        explorer.LoadFileMemory(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()));
    const Bytes samples = Pattern(1000, 4);
    const Bytes replacement = RiffWaveBuilder().Format(2, 44100).Build(samples);
    ASSERT_EQ(explorer.ReplaceFileMemory(h, "Track 0.wav", replacement.data(),
                                         static_cast<std::uint32_t>(replacement.size())),
              1);
    // The rewritten header's data length is the replacement's length - 86: 958 bytes.
    const int voice = OpenTrack(h, "Track 0.wav");
    ASSERT_NE(voice, -1) << decoder.Error();
    EXPECT_EQ(decoder.GetFormatSource(voice)->nChannels, 2);
    EXPECT_EQ(decoder.GetSizeData(voice), 958u);
    EXPECT_EQ(decoder.DecodeAll(voice), Bytes(samples.begin(), samples.begin() + 958));
    decoder.CloseFile(voice);
    explorer.CloseFile(h);
}

}  // namespace
}  // namespace fogbell::test
