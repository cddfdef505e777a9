// wavvoice loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "byte_writer.h"
#include "format_fields.h"
#include "plugin_api.h"
#include "riff_wave_builder.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

class WavVoice : public ::testing::Test {
  protected:
    DecoderApi api{"wavvoice"};

    int Load(const Bytes& bytes, int channelsOut = -1, int rateOut = -1) {
        return api.LoadFileMemory(channelsOut, rateOut, bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size()));
    }
};

TEST_F(WavVoice, ListsWavAndReportsTheHeadersChannelsAndRateAs16BitPcm) {
    const char* const* extensions = api.GetSupportExt();
    EXPECT_STREQ(extensions[0], "WAV");
    EXPECT_EQ(extensions[1], nullptr);

    WaveOptions o;
    o.channels = 1;
    o.rate = 22050;
    const Bytes bytes = BuildWave(o, Pattern(100, 1));
    const int h = Load(bytes);
    ASSERT_NE(h, -1) << api.Error();
    const WAVEFORMATEX* source = api.GetFormatSource(h);
    EXPECT_EQ(FieldsOf(*source), Pcm16(1, 22050));
    EXPECT_EQ(std::memcmp(source, api.GetFormatOut(h), sizeof(WAVEFORMATEX)), 0);
    api.CloseFile(h);
}

TEST_F(WavVoice, DeliversTheDataInSecondsWithThePositionInBytes) {
    const Bytes data = Pattern(400000, 2);
    const Bytes bytes = BuildWave(WaveOptions{}, data);
    const int h = Load(bytes);
    ASSERT_NE(h, -1);
    EXPECT_EQ(api.GetSizeData(h), 400000u);
    std::vector<std::uint32_t> sizes, positions;
    Bytes pcm;
    while (const PcmBlock* block = api.DecodeNext(h)) {
        sizes.push_back(block->size);
        positions.push_back(api.GetCurrPos(h));
        pcm.insert(pcm.end(), block->data, block->data + block->size);
    }
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{176400, 176400, 47200}));
    EXPECT_EQ(positions, (std::vector<std::uint32_t>{176400, 352800, 400000}));
    EXPECT_EQ(pcm, data);
    EXPECT_EQ(api.DecodeNext(h), nullptr);
    EXPECT_EQ(api.Error(), "OK");  // the end is not an error
    api.CloseFile(h);
}

TEST_F(WavVoice, EachLayoutPlaysFromItsOwnDataOffset) {
    struct Case {
        const char* what;
        WaveLayout layout;
        std::uint32_t factSize;
    };
    const Case cases[] = {{"fmt 16", WaveLayout::kFmt16, 0},
                          {"fmt 18 then data, audio at 46", WaveLayout::kFmt18Data, 0},
                          {"fmt 18, fact of 4, audio at 58", WaveLayout::kFmt18Fact, 4},
                          {"fmt 18, fact of 7, audio at 61", WaveLayout::kFmt18Fact, 7}};
    for (const Case& c : cases) {
        WaveOptions o;
        o.layout = c.layout;
        o.factSize = c.factSize;
        const Bytes data = Pattern(1000, 3);
        const Bytes bytes = BuildWave(o, data);
        ASSERT_EQ(bytes.size(), WaveDataOffset(o) + 1000) << c.what;
        const int h = Load(bytes);
        ASSERT_NE(h, -1) << c.what;
        EXPECT_EQ(api.DecodeAll(h), data) << c.what;
        api.CloseFile(h);
    }
}

// FFmpeg and audio editors write a LIST chunk between the format chunk and the data chunk: its
// bytes are metadata, and only the data chunk's samples are played, all of them.
TEST_F(WavVoice, PlaysTheDataChunkAfterALISTChunk) {
    Bytes info;  // 25 bytes: odd-sized, so a pad byte follows it
    ByteWriter(info).Text("INFO").Text("ISFT").U32LE(13).Text("Lavf60.16.100");
    const Bytes samples = Pattern(200000, 9);
    for (const RiffWaveBuilder::Layout layout :
         {RiffWaveBuilder::Layout::kFmt16, RiffWaveBuilder::Layout::kFmt18Data}) {
        RiffWaveBuilder builder;
        builder.Use(layout).Format(1, 22050).ChunkBeforeData("LIST", info);
        const Bytes bytes = builder.Build(samples);
        ASSERT_EQ(bytes.size(), builder.HeaderSize() + samples.size());
        const int h = Load(bytes);
        ASSERT_NE(h, -1) << api.Error();
        EXPECT_EQ(FieldsOf(*api.GetFormatSource(h)), Pcm16(1, 22050));
        EXPECT_EQ(api.GetSizeData(h), samples.size());
        EXPECT_EQ(api.DecodeAll(h), samples);
        api.CloseFile(h);
    }
}

// The little-endian low width bytes of each value.
Bytes Ints(std::size_t width, const std::vector<std::int64_t>& values) {
    Bytes b;
    for (const std::int64_t v : values) {
        for (std::size_t i = 0; i < width; ++i) {
            b.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i)));
        }
    }
    return b;
}

template <typename Float>
Bytes Floats(const std::vector<double>& values) {
    Bytes b;
    for (const double v : values) {
        const auto f = static_cast<Float>(v);
        const auto* p = reinterpret_cast<const std::uint8_t*>(&f);
        b.insert(b.end(), p, p + sizeof f);
    }
    return b;
}

// Each sample format, with its extremes and rounding edges, comes out as the 16-bit PCM worked
// out by hand: 8-bit (v - 128) * 256; 24/32-bit v / 2^8 or 2^16 rounded half away from zero and
// clipped; float v * 32768 rounded half away from zero and clipped, NaN 0.
TEST_F(WavVoice, EachSampleFormatPlaysAsRounded16BitPcm) {
    const double nan = std::nan(""), inf = HUGE_VAL, half = 1.0 / 65536;
    const std::vector<double> floats = {1.0,      -1.0,  0.5,      2.0, -3.0, nan,
                                        half,     -half, half / 2, inf, -inf, 32767.0 / 32768,
                                        3 * half, 0.0};
    const std::vector<std::int16_t> fromFloats = {32767, -32768, 16384, 32767,  -32768, 0, 1,
                                                  -1,    0,      32767, -32768, 32767,  2, 0};
    struct Case {
        const char* what;
        WaveLayout layout;
        std::uint16_t tag, bits, channels;
        Bytes data;
        std::vector<std::int16_t> expected;
    };
    const Case cases[] = {
        {"8-bit unsigned",
         WaveLayout::kFmt16,
         1,
         8,
         1,
         {0, 1, 127, 128, 129, 255},
         {-32768, -32512, -256, 0, 256, 32512}},
        {"24-bit extensible stereo",
         WaveLayout::kExtensible,
         1,
         24,
         2,
         Ints(3, {8388607, -8388608, 128, 127, 384, 383, -384, -383, 0x123456, -129}),
         {32767, -32768, 1, 0, 2, 1, -2, -1, 0x1234, -1}},
        {"32-bit integer",
         WaveLayout::kFmt18Data,
         1,
         32,
         1,
         Ints(4, {INT32_MAX, INT32_MIN, 32768, 32767, -32768, -32769, 0x12348000, -0x12348000}),
         {32767, -32768, 1, 0, -1, -1, 0x1235, -0x1235}},
        {"32-bit float after a fact chunk", WaveLayout::kFmt18Fact, 3, 32, 1, Floats<float>(floats),
         fromFloats},
        {"32-bit float extensible", WaveLayout::kExtensible, 3, 32, 2, Floats<float>(floats),
         fromFloats},
        {"64-bit float", WaveLayout::kFmt16, 3, 64, 1, Floats<double>(floats), fromFloats},
    };
    for (const Case& c : cases) {
        WaveOptions o;
        o.layout = c.layout;
        o.formatTag = c.tag;
        o.bits = c.bits;
        o.channels = c.channels;
        o.rate = 8000;
        const Bytes wave = BuildWave(o, c.data);  // read in place: kept while the handle lives
        const int h = Load(wave);
        ASSERT_NE(h, -1) << c.what << ": " << api.Error();
        const WAVEFORMATEX& source = *api.GetFormatSource(h);
        EXPECT_EQ(source.wFormatTag, c.tag) << c.what;
        EXPECT_EQ(source.wBitsPerSample, c.bits) << c.what;
        EXPECT_EQ(source.nBlockAlign, c.channels * c.bits / 8) << c.what;
        EXPECT_EQ(source.nAvgBytesPerSec, 8000u * source.nBlockAlign) << c.what;
        EXPECT_EQ(FieldsOf(*api.GetFormatOut(h)), Pcm16(c.channels, 8000)) << c.what;
        EXPECT_EQ(api.GetSizeData(h), c.data.size()) << c.what;
        EXPECT_EQ(Samples(api.DecodeAll(h)), c.expected) << c.what;
        EXPECT_EQ(api.GetCurrPos(h), c.data.size()) << c.what;
        api.CloseFile(h);
    }
}

// An 8-bit second is 8000 bytes of source and 16000 of output; a seek counts source frames.
TEST_F(WavVoice, EightBitDataPlaysInSecondsOfItsOwnBytes) {
    WaveOptions o;
    o.channels = 1;
    o.rate = 8000;
    o.bits = 8;
    const Bytes wave = BuildWave(o, Pattern(12001, 4));  // read in place: kept while it plays
    const int h = Load(wave);
    ASSERT_NE(h, -1);
    EXPECT_EQ(api.BlockSizes(h), (std::vector<std::uint32_t>{16000, 8002}));
    EXPECT_EQ(api.SeekSample(h, 12000), 1);
    EXPECT_EQ(api.GetCurrPos(h), 12000u);
    api.CloseFile(h);
}

// The header claims more data than the file holds: the stream plays to the last byte present and
// its size says so.
TEST_F(WavVoice, DataShorterThanTheHeaderClaimsEndsAtTheLastBytePresent) {
    WaveOptions o;
    o.dataSize = 1000000;
    const Bytes data = Pattern(180001, 5);
    const Bytes bytes = BuildWave(o, data);
    const int h = Load(bytes);
    ASSERT_NE(h, -1);
    EXPECT_EQ(api.GetSizeData(h), 180001u);
    EXPECT_EQ(api.BlockSizes(h), (std::vector<std::uint32_t>{176400, 3601}));
    EXPECT_EQ(api.GetCurrPos(h), 180001u);
    api.ResetFile(h);
    EXPECT_EQ(api.DecodeAll(h), data);
    api.CloseFile(h);
    // The size given bounds the data even when the bytes go on.
    const int cut = api.LoadFileMemory(-1, -1, bytes.data(), 44 + 10);
    EXPECT_EQ(api.GetSizeData(cut), 10u);
    EXPECT_EQ(api.DecodeAll(cut), Bytes(data.begin(), data.begin() + 10));
    api.CloseFile(cut);
}

TEST_F(WavVoice, RefusedFilesGiveTheirTexts) {
    Bytes fmt20 = BuildWave(WaveOptions{}, Pattern(8, 1));
    PutU32LE(fmt20, 16, 20);
    WaveOptions noChannels;
    noChannels.channels = 0;
    WaveOptions rate0;
    rate0.rate = 0;
    const Bytes canonical = BuildWave(WaveOptions{}, Pattern(8, 1));
    WaveOptions adpcm;
    adpcm.formatTag = 2;
    adpcm.bits = 4;
    WaveOptions imaAdpcm = adpcm;
    imaAdpcm.formatTag = 0x11;
    imaAdpcm.layout = WaveLayout::kExtensible;
    WaveOptions pcm20;
    pcm20.bits = 20;
    WaveOptions float16;
    float16.formatTag = 3;
    Bytes align6 = canonical;
    align6[32] = 6;  // nBlockAlign, 4 for 16-bit stereo
    struct Case {
        const char* what;
        Bytes bytes;
        const char* text;
    };
    const Case cases[] = {
        {"not RIFF", BytesOf("RIFX and more bytes than a header needs.........."),
         "Is not WAVE file."},
        {"two bytes", BytesOf("RI"), "Is not WAVE file."},
        {"RIFF and nothing else", BytesOf("RIFF"), "Unknown waveformat."},
        {"fmt chunk of 20 bytes", fmt20, "Unknown waveformat."},
        {"cut inside the header", Bytes(canonical.begin(), canonical.begin() + 43),
         "Unknown waveformat."},
        {"no channels", BuildWave(noChannels, Pattern(8, 1)), "WAVE file has no channels."},
        {"rate 0", BuildWave(rate0, Pattern(8, 1)), "Error formats. (FMTCONV)"},
        {"Microsoft ADPCM", BuildWave(adpcm, Pattern(8, 1)),
         "Unsupported waveformat: Microsoft ADPCM (format tag 0x0002)."},
        {"extensible IMA ADPCM", BuildWave(imaAdpcm, Pattern(8, 1)),
         "Unsupported waveformat: IMA ADPCM (format tag 0x0011)."},
        {"20-bit PCM", BuildWave(pcm20, Pattern(8, 1)), "Unsupported waveformat: 20-bit PCM."},
        {"16-bit float", BuildWave(float16, Pattern(8, 1)),
         "Unsupported waveformat: 16-bit float."},
        {"block align 6 for 16-bit stereo", align6,
         "WAVE block align 6 does not fit 2 channels of 16 bits."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Load(c.bytes), -1) << c.what;
        EXPECT_EQ(api.Error(), c.text) << c.what;
    }
    EXPECT_EQ(api.LoadFileMemory(-1, -1, nullptr, 100), -1);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
    EXPECT_EQ(api.LoadFileMemory(-1, -1, canonical.data(), 0), -1);
    EXPECT_EQ(api.Error(), "Is not WAVE file.");
}

// wavvoice sets "OK" at the start of every entry point that takes a handle and of both loaders.
TEST_F(WavVoice, EveryCallOnAHandleStartsFromOk) {
    const Bytes bytes = BuildWave(WaveOptions{}, Pattern(100, 6));
    const int h = Load(bytes);
    ASSERT_NE(h, -1);
    struct Call {
        const char* what;
        std::function<void()> call;
    };
    const Call calls[] = {
        {"GetCurrPos", [&] { api.GetCurrPos(h); }},
        {"GetSizeData", [&] { api.GetSizeData(h); }},
        {"GetFormatSource", [&] { api.GetFormatSource(h); }},
        {"GetFormatOut", [&] { api.GetFormatOut(h); }},
        {"DecodeNext", [&] { api.DecodeNext(h); }},
        {"ResetFile", [&] { api.ResetFile(h); }},
        {"LoadFileMemory", [&] { api.CloseFile(Load(bytes)); }},
    };
    for (const Call& c : calls) {
        api.DecodeNext(-1);
        ASSERT_NE(api.Error(), "OK");
        c.call();
        EXPECT_EQ(api.Error(), "OK") << c.what;
    }
    api.DecodeNext(-1);
    EXPECT_EQ(api.CloseFile(h), 1);
    EXPECT_EQ(api.Error(), "OK");

    TempDir dir;
    const std::string empty = dir.File("empty.wav");
    WriteFile(empty, {});
    api.DecodeNext(-1);
    EXPECT_EQ(api.LoadFile(-1, -1, empty.c_str()), -1);
    EXPECT_EQ(api.Error(), "OK");  // an empty file fails without a text of its own
}

TEST_F(WavVoice, ConvertsToTheRequestedFormat) {
    const Bytes bytes = BuildWave(WaveOptions{}, Pattern(176400 * 2, 7));
    const int h = Load(bytes, 1, 22050);
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(FieldsOf(*api.GetFormatOut(h)), Pcm16(1, 22050));
    EXPECT_EQ(api.BlockSizes(h), (std::vector<std::uint32_t>{44100, 44100}));
    EXPECT_EQ(api.GetCurrPos(h), 352800u);  // the position stays in source data bytes
    api.CloseFile(h);
}

}  // namespace
}  // namespace fogbell::test
