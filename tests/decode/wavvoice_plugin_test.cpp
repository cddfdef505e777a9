// wavvoice loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

TEST_F(WavVoice, EightBitDataPlaysAs16BitPcmWithTheHeadersChannelsAndRate) {
    WaveOptions o;
    o.channels = 1;
    o.rate = 8000;
    o.bits = 8;
    const Bytes data = Pattern(20001, 4);
    const Bytes bytes = BuildWave(o, data);
    const int h = Load(bytes);
    ASSERT_NE(h, -1);
    EXPECT_EQ(FieldsOf(*api.GetFormatSource(h)), Pcm16(1, 8000));
    EXPECT_EQ(api.BlockSizes(h), (std::vector<std::uint32_t>{16000, 4001}));
    api.ResetFile(h);
    EXPECT_EQ(api.DecodeAll(h), data);
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
