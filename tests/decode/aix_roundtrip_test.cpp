// A track played through the explorer's record and the same track extracted to ADX and decoded
// by adxvoice give the same samples: the two decoders share the frame decoding, and the
// explorer's packet walk and the decoder's agree on which bytes belong to the track.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "aix_builder.h"
#include "byte_writer.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

TEST(AixRoundTrip, TrackOnePlayedAndExtractedDecodesToTheSameSamples) {
    ExplorerApi vault{"aixvault"};
    DecoderApi aix{"aixvoice"};
    DecoderApi adx{"adxvoice"};
    TempDir dir;

    // Two stereo streams interleaved in packets. Track 1 runs at 48000 Hz (coefficients computed
    // from its cutoff); its T leaves 40000 samples in the extracted header (T - 12 x rate), and
    // its packets hold the 616000 bytes that T declares (17112 groups of 36), so it is whole.
    AixStream zero;
    zero.sampleRate = 44100;
    zero.total = 0x7FFFFFFF;
    zero.data = AdxFrames(3000, 2, 21);
    AixStream one;
    one.sampleRate = 48000;
    one.total = 12 * 48000 + 40000;
    one.data = AdxFrames(17112, 2, 22);
    one.packetData = 1008;
    const auto built = AixBuilder().Add(zero).Add(one).Build();
    const std::string path = dir.File("music.aix");
    WriteFile(path, built.bytes);

    const int container = vault.LoadFile(path.c_str());
    ASSERT_NE(container, -1) << vault.Error();
    std::uint32_t length = 0;
    const void* record = vault.GetFilePointer(container, "Track 1.aixf", &length);
    ASSERT_NE(record, nullptr);
    const int played = aix.LoadFileMemory(-1, -1, record, length);
    ASSERT_NE(played, -1) << aix.Error();
    const Bytes viaRecord = aix.DecodeAll(played);
    aix.CloseFile(played);

    ASSERT_EQ(vault.ExtractFile(container, "Track 1.aixf", dir.File("Track 1.aixf").c_str()), 1)
        << vault.Error();
    vault.CloseFile(container);
    const int extracted = adx.LoadFile(-1, -1, dir.File("Track 1.adx").c_str());
    ASSERT_NE(extracted, -1) << adx.Error();
    EXPECT_EQ(adx.GetSizeData(extracted), 40000u);
    const Bytes viaAdx = adx.DecodeAll(extracted);
    adx.CloseFile(extracted);

    EXPECT_EQ(viaRecord.size(), 17112u * 128);
    ASSERT_GE(viaAdx.size(), 40000u * 4);
    const std::size_t common = std::min(viaRecord.size(), viaAdx.size());
    const auto differs =
        std::mismatch(viaRecord.begin(), viaRecord.begin() + common, viaAdx.begin());
    EXPECT_EQ(differs.first, viaRecord.begin() + common)
        << "first difference at byte " << (differs.first - viaRecord.begin());
}

}  // namespace
}  // namespace fogbell::test
