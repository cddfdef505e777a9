// An MVX track played as the host plays it: mvxvault hands out the track's pointer and length,
// and xmdvoice, chosen by the ".xmd" of the track's name, decodes those bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "byte_writer.h"
#include "mvx_builder.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

// s0 = 100, s1 = 200, scale 1, first data byte 07: a frame whose samples are known.
const Bytes kKnownFrame = {0x64, 0x00, 0xC8, 0x00, 0x01, 0x00, 0x07, 0, 0, 0, 0, 0, 0};
const std::vector<std::int16_t> kKnownSamples = {100, 200, 284, 348, 395, 428, 449, 460,
                                                 463, 460, 452, 440, 425, 408, 389, 369};
// s0 = 0, s1 = 32767, scale 0: predictions that run on unclamped.
const Bytes kRunawayFrame = {0x00, 0x00, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<std::int16_t> kRunawaySamples = {0,      32767,  -6866,  13243, 28480,  -25896,
                                                   -18130, -13172, -10521, -9750, -10495, -12447,
                                                   -15345, -18969, -23134, -27686};

std::vector<std::int16_t> Samples(const Bytes& pcm) {
    std::vector<std::int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    return samples;
}

class MvxToXmd : public ::testing::Test {
  protected:
    ExplorerApi explorer{"mvxvault"};
    DecoderApi decoder{"xmdvoice"};

    int OpenTrack(int archive, const std::string& name) {
        std::uint32_t length = 0;
        const void* data = explorer.GetFilePointer(archive, name.c_str(), &length);
        EXPECT_NE(data, nullptr) << explorer.Error();
        return decoder.LoadFileMemory(-1, -1, data, length);
    }
};

TEST_F(MvxToXmd, TheDecoderServesTheTracksExtension) {
    const char* const* extensions = decoder.GetSupportExt();
    ASSERT_NE(extensions, nullptr);
    bool xmd = false;
    for (const char* const* e = extensions; *e; ++e) {
        xmd = xmd || std::strcmp(*e, "XMD") == 0;
    }
    EXPECT_TRUE(xmd);
}

TEST_F(MvxToXmd, TracksDecodeToTheirKnownSamplesInTheFormatTheExplorerReports) {
    Bytes stereoFrames = kKnownFrame;
    stereoFrames.insert(stereoFrames.end(), kRunawayFrame.begin(), kRunawayFrame.end());
    auto built = MvxBuilder()
                     .Add("mono.xmd", XmdStreamBytes(1, 22050, kKnownFrame))
                     .Add("Stereo.XMD", XmdStreamBytes(2, 44100, stereoFrames))
                     .Build();
    const int h =
        explorer.LoadFileMemory(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()));
    ASSERT_NE(h, -1) << explorer.Error();

    std::vector<std::int16_t> interleaved;
    for (std::size_t i = 0; i < 16; ++i) {
        interleaved.push_back(kKnownSamples[i]);
        interleaved.push_back(kRunawaySamples[i]);
    }
    struct Case {
        const char* name;
        std::vector<std::int16_t> samples;
    };
    const Case cases[] = {{"mono.xmd", kKnownSamples}, {"stereo.xmd", interleaved}};
    for (const Case& c : cases) {
        const int voice = OpenTrack(h, c.name);
        ASSERT_NE(voice, -1) << decoder.Error();
        const WAVEFORMATEX* format = decoder.GetFormatSource(voice);
        ASSERT_NE(format, nullptr);
        const std::uint32_t bitrate = explorer.GetBitrate(h, c.name);
        EXPECT_EQ(format->nSamplesPerSec, bitrate >> 16) << c.name;
        EXPECT_EQ(format->nChannels, bitrate & 0xFFFF) << c.name;
        EXPECT_EQ(Samples(decoder.DecodeAll(voice)), c.samples) << c.name;
        EXPECT_EQ(decoder.CloseFile(voice), 1);
    }
    explorer.CloseFile(h);
}

TEST_F(MvxToXmd, AShrunkTrackPlaysOnlyWhatItsHeaderNowSays) {
    Bytes twoFrames = kKnownFrame;
    twoFrames.insert(twoFrames.end(), kRunawayFrame.begin(), kRunawayFrame.end());
    auto built = MvxBuilder().Add("a.xmd", XmdStreamBytes(1, 8000, twoFrames)).Build();
    const int h =
        explorer.LoadFileMemory(built.bytes.data(), static_cast<std::uint32_t>(built.bytes.size()));
    const Bytes shorter = XmdStreamBytes(1, 8000, kRunawayFrame);
    ASSERT_EQ(explorer.ReplaceFileMemory(h, "a.xmd", shorter.data(),
                                         static_cast<std::uint32_t>(shorter.size())),
              1);
    const int voice = OpenTrack(h, "a.xmd");
    ASSERT_NE(voice, -1) << decoder.Error();
    EXPECT_EQ(Samples(decoder.DecodeAll(voice)), kRunawaySamples);
    decoder.CloseFile(voice);
    explorer.CloseFile(h);
}

}  // namespace
}  // namespace fogbell::test
