// adxvoice loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "byte_writer.h"
#include "format_fields.h"
#include "plugin_api.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr std::int32_t kFixed1 = 29336;
constexpr std::int32_t kFixed2 = 13136;

class AdxVoice : public ::testing::Test {
  protected:
    DecoderApi api{"adxvoice"};

    int Load(const Bytes& bytes, int channelsOut = -1, int rateOut = -1) {
        return api.LoadFileMemory(channelsOut, rateOut, bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size()));
    }
};

struct Stream {
    AdxOptions options;
    Bytes frames;
    Bytes bytes;
};

Stream MakeStream(std::uint8_t channels, std::uint32_t rate, std::size_t groups,
                  std::uint32_t totalSamples, std::uint16_t cutoff = 500) {
    Stream s;
    s.options.channels = channels;
    s.options.rate = rate;
    s.options.totalSamples = totalSamples;
    s.options.cutoff = cutoff;
    s.frames = AdxFrames(groups, channels, rate + totalSamples);
    s.bytes = BuildAdx(s.options, s.frames);
    return s;
}

TEST_F(AdxVoice, ListsAdxAndReportsTheHeadersFormat) {
    const char* const* extensions = api.GetSupportExt();
    EXPECT_STREQ(extensions[0], "ADX");
    EXPECT_EQ(extensions[1], nullptr);

    const Stream s = MakeStream(2, 44100, 4, 128);
    const int h = Load(s.bytes);
    ASSERT_NE(h, -1) << api.Error();
    const WAVEFORMATEX* source = api.GetFormatSource(h);
    const WAVEFORMATEX* out = api.GetFormatOut(h);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(FieldsOf(*source), Pcm16(2, 44100));
    EXPECT_EQ(std::memcmp(source, out, sizeof(WAVEFORMATEX)), 0);
    EXPECT_EQ(api.GetSizeData(h), 128u);
    api.CloseFile(h);
}

// Mono at 44100 Hz: seconds of 88200 bytes; the first call decodes 1379 frames (88256 bytes) and
// carries 56; the last frame group is decoded whole and its carry is the last block.
TEST_F(AdxVoice, MonoBlocksAreSecondsWithTheCarryOfTheLastFrame) {
    const std::size_t groups = 2757;  // ceil(88200 / 32)
    const Stream s = MakeStream(1, 44100, groups, 88200);
    const int h = Load(s.bytes);
    ASSERT_NE(h, -1);
    EXPECT_EQ(api.GetCurrPos(h), 0u);
    std::vector<std::uint32_t> sizes;
    std::vector<std::uint32_t> positions;
    Bytes pcm;
    while (const PcmBlock* block = api.DecodeNext(h)) {
        sizes.push_back(block->size);
        positions.push_back(api.GetCurrPos(h));
        pcm.insert(pcm.end(), block->data, block->data + block->size);
    }
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{88200, 88200, 48}));
    EXPECT_EQ(positions, (std::vector<std::uint32_t>{1379 * 32, 2757 * 32, 2757 * 32}));
    EXPECT_EQ(Samples(pcm), ReferenceAdx(s.frames, 1, groups, kFixed1, kFixed2));
    EXPECT_EQ(api.DecodeNext(h), nullptr);
    api.CloseFile(h);
}

TEST_F(AdxVoice, StereoAt44100DecodesBitExactlyWithTheFixedPair) {
    const std::size_t groups = 3000;  // 384000 bytes of PCM
    const Stream s = MakeStream(2, 44100, groups, groups * 32);
    const int h = Load(s.bytes);
    ASSERT_NE(h, -1);
    EXPECT_EQ(api.BlockSizes(h), (std::vector<std::uint32_t>{176400, 176400, 31200}));
    api.ResetFile(h);
    EXPECT_EQ(Samples(api.DecodeAll(h)), ReferenceAdx(s.frames, 2, groups, kFixed1, kFixed2));
    api.CloseFile(h);
}

TEST_F(AdxVoice, OtherRatesDecodeWithCoefficientsComputedFromTheCutoff) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t cutoff;
        std::int32_t first, second;
    };
    const Case cases[] = {{48000, 500, 29601, 13370},
                          {32000, 500, 28138, 12081},
                          {22050, 500, 26277, 10536},
                          {48000, 0, kFixed1, kFixed2}};
    for (const Case& c : cases) {
        const std::size_t groups = 200;
        const Stream s = MakeStream(2, c.rate, groups, groups * 32, c.cutoff);
        const int h = Load(s.bytes);
        ASSERT_NE(h, -1);
        const auto decoded = Samples(api.DecodeAll(h));
        EXPECT_EQ(decoded, ReferenceAdx(s.frames, 2, groups, c.first, c.second)) << c.rate;
        if (c.cutoff != 0) {
            EXPECT_NE(decoded, ReferenceAdx(s.frames, 2, groups, kFixed1, kFixed2)) << c.rate;
        }
        api.CloseFile(h);
    }
}

TEST_F(AdxVoice, ShortStreamsAndTheEnd) {
    const Stream empty = MakeStream(1, 44100, 2, 0);
    int h = Load(empty.bytes);
    ASSERT_NE(h, -1);
    EXPECT_EQ(api.DecodeNext(h), nullptr);
    api.CloseFile(h);

    const Stream one = MakeStream(1, 44100, 2, 32);
    h = Load(one.bytes);
    EXPECT_EQ(api.GetCurrPos(h), 0u);
    const PcmBlock* block = api.DecodeNext(h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->size, 64u);
    EXPECT_EQ(api.GetCurrPos(h), 32u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(api.DecodeNext(h), nullptr);
    }
    EXPECT_EQ(api.ResetFile(h), 1);
    EXPECT_EQ(api.GetCurrPos(h), 0u);
    block = api.DecodeNext(h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Samples(block->data, block->size), ReferenceAdx(one.frames, 1, 1, kFixed1, kFixed2));
    api.CloseFile(h);
}

// A footer (scale 0x8001) ends the stream where the header claims more: nothing of it or after
// it comes out as audio, and the position reaches the total.
TEST_F(AdxVoice, TheFooterEndsTheStream) {
    AdxOptions o;
    o.totalSamples = 44100;
    const Bytes frames = AdxFrames(20, 1, 4);
    Bytes bytes = BuildAdx(o, frames, true);
    ByteWriter(bytes).Bytes(AdxFrames(50, 1, 5));  // more frames after the footer
    const int h = Load(bytes);
    EXPECT_EQ(Samples(api.DecodeAll(h)), ReferenceAdx(frames, 1, 20, kFixed1, kFixed2));
    EXPECT_EQ(api.GetCurrPos(h), 44100u);
    EXPECT_EQ(api.GetSizeData(h), 44100u);
    api.CloseFile(h);
}

// The header claims more samples than the bytes hold: decoding stops at the last whole frame
// group, whatever the size given to the loader cuts off.
TEST_F(AdxVoice, DataShorterThanTheHeaderClaimsEndsAtTheLastWholeGroup) {
    const Stream s = MakeStream(2, 44100, 30, 1000000);
    for (std::size_t cut : {0u, 1u, 17u, 18u, 35u}) {
        const Bytes exact(s.bytes.begin(), s.bytes.end() - static_cast<std::ptrdiff_t>(cut));
        const int h = Load(exact);
        ASSERT_NE(h, -1);
        const std::size_t whole = cut == 0 ? 30 : 29;
        EXPECT_EQ(Samples(api.DecodeAll(h)), ReferenceAdx(s.frames, 2, whole, kFixed1, kFixed2));
        EXPECT_EQ(api.GetCurrPos(h), 1000000u);
        api.CloseFile(h);
    }
    // The size bounds the reads even when the bytes go on: only 5 groups lie within it.
    const int h = api.LoadFileMemory(-1, -1, s.bytes.data(), 32 + 5 * 36);
    EXPECT_EQ(Samples(api.DecodeAll(h)), ReferenceAdx(s.frames, 2, 5, kFixed1, kFixed2));
    api.CloseFile(h);
}

TEST_F(AdxVoice, RefusedStreamsGiveTheirTexts) {
    AdxOptions noChannels;
    noChannels.channels = 0;
    const Bytes good = MakeStream(1, 44100, 2, 64).bytes;
    Bytes noSignature = good;
    noSignature[0x1A] = '[';
    auto with = [&](std::size_t at, std::uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    struct Case {
        const char* what;
        Bytes bytes;
        const char* text;
    };
    const Case cases[] = {
        {"no signature", noSignature, "Is not ADX file."},
        {"cut inside the signature", Bytes(good.begin(), good.begin() + 0x1F), "Is not ADX file."},
        {"no channels", BuildAdx(noChannels, AdxFrames(2, 1, 1)), "ADX file has no channels."},
        {"rate 0", BuildAdx(AdxOptions{1, 0, 64}, AdxFrames(2, 1, 1)),
         "ADX file has a sample rate of 0."},
        {"six channels", BuildAdx(AdxOptions{6, 8000, 320}, AdxFrames(10, 1, 1)),
         "ADX file has more than 2 channels."},
        {"exponential scale", with(4, 4), "ADX encoding is not supported."},
        {"frame size 36", with(5, 36), "ADX frame size is not 18."},
        {"rate beyond any second", BuildAdx(AdxOptions{2, 0xFFFFFFFF, 64}, {}),
         "Error formats. (FMTCONV)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.bytes), -1) << c.what;
        EXPECT_EQ(api.Error(), c.text) << c.what;
    }
    EXPECT_EQ(api.LoadFileMemory(-1, -1, nullptr, 100), -1);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
    EXPECT_EQ(api.LoadFileMemory(-1, -1, good.data(), 0), -1);  // the size bounds the header too
    EXPECT_EQ(api.Error(), "Is not ADX file.");
}

// adxvoice never sets "OK" itself: only a failure or mapping a file changes the text.
TEST_F(AdxVoice, AMappedFileReadsTheSameAfterItsPagesWereLetGoBehindTheDecoder) {
    const std::size_t groups = 100000;  // 3.6 MB of frames: several release steps
    const Stream s = MakeStream(2, 44100, groups, groups * 32);
    TempDir dir;
    const std::string path = dir.File("long.adx");
    WriteFile(path, s.bytes);
    const int h = api.LoadFile(-1, -1, path.c_str());
    ASSERT_NE(h, -1) << api.Error();
    const auto reference = ReferenceAdx(s.frames, 2, groups, kFixed1, kFixed2);
    EXPECT_EQ(Samples(api.DecodeAll(h)), reference);
    api.ResetFile(h);  // back over the released pages, as a loop goes
    EXPECT_EQ(Samples(api.DecodeAll(h)), reference);
    api.CloseFile(h);
}

TEST_F(AdxVoice, SuccessLeavesAnEarlierTextExceptWhenAFileIsMapped) {
    const Stream s = MakeStream(1, 44100, 4, 128);
    EXPECT_EQ(api.DecodeNext(-1), nullptr);
    ASSERT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");
    const int h = Load(s.bytes);
    ASSERT_NE(h, -1);
    EXPECT_NE(api.DecodeNext(h), nullptr);
    EXPECT_EQ(api.ResetFile(h), 1);
    EXPECT_EQ(api.GetSizeData(h), 128u);
    EXPECT_EQ(api.CloseFile(h), 1);
    EXPECT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");

    TempDir dir;
    const std::string path = dir.File("a.adx");
    WriteFile(path, s.bytes);
    const int fromPath = api.LoadFile(-1, -1, path.c_str());
    ASSERT_NE(fromPath, -1);
    EXPECT_EQ(api.Error(), "OK");
    api.CloseFile(fromPath);
}

TEST_F(AdxVoice, GivesTheHeadersLoopPointsAndNothingWithoutThem) {
    ASSERT_NE(api.GetLoopPoints, nullptr);
    Stream s = MakeStream(2, 44100, 100, 3200);
    s.options.version = 4;
    s.options.headerOffset = LoopHeaderOffset(4, 2);
    s.options.loopBlock = true;
    s.options.loopStart = 1000;
    s.options.loopEnd = 3000;
    const Bytes loopedBytes = BuildAdx(s.options, s.frames);  // read in place: kept
    const int looped = Load(loopedBytes);
    const int plain = Load(s.bytes);
    ASSERT_NE(looped, -1) << api.Error();
    ASSERT_NE(plain, -1) << api.Error();
    std::uint32_t start = 9, end = 9;
    EXPECT_EQ(api.GetLoopPoints(looped, &start, &end), 1);
    EXPECT_EQ(start, 1000u);
    EXPECT_EQ(end, 3000u);
    start = end = 9;
    EXPECT_EQ(api.GetLoopPoints(plain, &start, &end), 0);
    EXPECT_EQ(start, 9u);
    EXPECT_EQ(end, 9u);
    EXPECT_EQ(api.GetLoopPoints(-1, &start, &end), 0);
    EXPECT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");
    EXPECT_EQ(start, 9u);
    api.CloseFile(looped);
    api.CloseFile(plain);
}

TEST_F(AdxVoice, ConvertsToTheRequestedFormat) {
    const Stream s = MakeStream(1, 44100, 1400, 1400 * 32);
    const int h = Load(s.bytes, 2, -1);
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(FieldsOf(*api.GetFormatOut(h)), Pcm16(2, 44100));
    EXPECT_EQ(FieldsOf(*api.GetFormatSource(h)), Pcm16(1, 44100));
    const auto reference = ReferenceAdx(s.frames, 1, 1400, kFixed1, kFixed2);
    const auto stereo = Samples(api.DecodeAll(h));
    ASSERT_EQ(stereo.size(), 2 * reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i) {
        ASSERT_EQ(stereo[2 * i], reference[i]);
        ASSERT_EQ(stereo[2 * i + 1], reference[i]);
    }
    api.CloseFile(h);
}

}  // namespace
}  // namespace fogbell::test
