// The decoder interface as the host uses it, for adxvoice, wavvoice, xmdvoice and sndvoice (on
// FLAC files, when it is built): handles, the end and rewinding, independent handles, loading
// from a path, conversion requests, and robustness against damaged input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adx_builder.h"
#include "byte_writer.h"
#include "format_fields.h"
#include "plugin_api.h"
#include "test_files.h"
#include "wave_builder.h"
#include "xmd_builder.h"
#if defined(FOGBELL_WITH_SNDVOICE)
#include "sound_file_builder.h"
#endif

namespace fogbell::test {
namespace {

struct DecoderCase {
    const char* plugin;
    const char* extension;   // the first of its list
    std::size_t extensions;  // how many it lists
    Bytes (*sample)();       // mono 8000 Hz, four blocks, the last one short
    Bytes (*oneSecond)();    // at least one second of mono 22050 Hz
    Bytes (*tiny)();         // a few hundred bytes, for sweeps over every truncation
    std::size_t headerSize;  // the bytes that the sweep changes at random
};

Bytes AdxStream(std::uint32_t rate, std::size_t groups, std::uint8_t channels = 1) {
    AdxOptions o;
    o.channels = channels;
    o.rate = rate;
    o.totalSamples = static_cast<std::uint32_t>(groups * 32);
    return BuildAdx(o, AdxFrames(groups, channels, rate), true);
}

Bytes WaveStream(std::uint32_t rate, std::size_t bytes, std::uint16_t channels = 1) {
    WaveOptions o;
    o.channels = channels;
    o.rate = rate;
    return BuildWave(o, Pattern(bytes, rate));
}

Bytes XmdStream(std::uint16_t rate, std::size_t frames, std::uint8_t channels = 1) {
    return BuildXmd(channels, rate, static_cast<std::uint32_t>(frames * 13),
                    XmdFrames(frames, rate));
}

#if defined(FOGBELL_WITH_SNDVOICE)
Bytes FlacStream(std::uint32_t rate, std::size_t frames, std::uint32_t channels = 1) {
    SoundLayout layout;
    layout.channels = channels;
    layout.rate = rate;
    return BuildSoundFile(layout, GlideSignal(frames, channels, rate));
}
#endif

const DecoderCase kDecoders[] = {
    {"adxvoice", "ADX", 1, [] { return AdxStream(8000, 800); },
     [] { return AdxStream(22050, 700); }, [] { return AdxStream(1000, 30); }, 32},
    {"wavvoice", "WAV", 1, [] { return WaveStream(8000, 50000); },
     [] { return WaveStream(22050, 44100); }, [] { return WaveStream(100, 300, 2); }, 46},
    {"xmdvoice", "XMD", 1, [] { return XmdStream(8000, 1600); },
     [] { return XmdStream(22050, 1400); }, [] { return XmdStream(1000, 20, 2); }, 12},
#if defined(FOGBELL_WITH_SNDVOICE)
    // The header size covers "fLaC" and the STREAMINFO block.
    {"sndvoice", "FLAC", 8, [] { return FlacStream(8000, 25000); },
     [] { return FlacStream(22050, 22050); }, [] { return FlacStream(1000, 120, 2); }, 42},
#endif
};

class Decoder : public ::testing::TestWithParam<DecoderCase> {
  protected:
    DecoderApi api{GetParam().plugin};
    Bytes sample = GetParam().sample();  // kept until every handle on it is closed

    int Load(const Bytes& bytes, int channelsOut = -1, int rateOut = -1) {
        return api.LoadFileMemory(channelsOut, rateOut, bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size()));
    }

    std::vector<Bytes> Blocks(int handle) {
        std::vector<Bytes> blocks;
        for (int guard = 0; guard < 10000; ++guard) {
            const PcmBlock* block = api.DecodeNext(handle);
            if (block == nullptr) {
                return blocks;
            }
            blocks.emplace_back(block->data, block->data + block->size);
        }
        ADD_FAILURE() << "no end";
        return blocks;
    }
};

TEST_P(Decoder, ListsItsExtension) {
    const char* const* extensions = api.GetSupportExt();
    ASSERT_NE(extensions, nullptr);
    EXPECT_STREQ(extensions[0], GetParam().extension);
    EXPECT_EQ(extensions[GetParam().extensions], nullptr);
}

TEST_P(Decoder, GivesSecondsAndThenNullUntilRewound) {
    const int h = Load(sample);
    ASSERT_NE(h, -1) << api.Error();
    const auto blocks = Blocks(h);
    ASSERT_EQ(blocks.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(blocks[i].size(), 16000u);
    }
    EXPECT_LT(blocks[3].size(), 16000u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(api.DecodeNext(h), nullptr);
    }
    EXPECT_EQ(api.ResetFile(h), 1);
    EXPECT_EQ(api.GetCurrPos(h), 0u);
    EXPECT_EQ(Blocks(h), blocks);
    api.CloseFile(h);
}

TEST_P(Decoder, RewindingMidStreamStartsWithTheFirstBlockAgain) {
    const int h = Load(sample);
    const PcmBlock* block = api.DecodeNext(h);
    ASSERT_NE(block, nullptr);
    const Bytes first(block->data, block->data + block->size);
    ASSERT_NE(api.DecodeNext(h), nullptr);
    EXPECT_GT(api.GetCurrPos(h), 0u);
    EXPECT_EQ(api.ResetFile(h), 1);
    EXPECT_EQ(api.GetCurrPos(h), 0u);
    block = api.DecodeNext(h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Bytes(block->data, block->data + block->size), first);
    api.CloseFile(h);
}

TEST_P(Decoder, TwoHandlesDecodedAlternatelyGiveTheSameBlocksAsAlone) {
    const Bytes other = GetParam().oneSecond();
    const int a = Load(sample);
    const int b = Load(other);
    const auto aloneA = Blocks(a);
    const auto aloneB = Blocks(b);
    api.ResetFile(a);
    api.ResetFile(b);
    std::vector<Bytes> mixedA, mixedB;
    for (int i = 0; i < 10; ++i) {
        if (const PcmBlock* x = api.DecodeNext(a)) {
            mixedA.emplace_back(x->data, x->data + x->size);
        }
        if (const PcmBlock* y = api.DecodeNext(b)) {
            mixedB.emplace_back(y->data, y->data + y->size);
        }
    }
    EXPECT_EQ(mixedA, aloneA);
    EXPECT_EQ(mixedB, aloneB);
    api.CloseFile(a);
    api.CloseFile(b);
}

// A seek gives the stream from that sample on, exactly as decoding from the start and dropping
// what lies before it would: at a frame's start, inside one, at the last sample and past the end,
// from the start, forward from an earlier place and back.
TEST_P(Decoder, SeekingGivesWhatDecodingAndDroppingWouldFromThatSample) {
    ASSERT_NE(api.SeekSample, nullptr);
    for (const Bytes& bytes : {sample, GetParam().tiny()}) {
        const int whole = Load(bytes);
        ASSERT_NE(whole, -1) << api.Error();
        const std::uint32_t frameBytes = api.GetFormatOut(whole)->nBlockAlign;
        const Bytes all = api.DecodeAll(whole);
        api.CloseFile(whole);
        const auto frames = static_cast<std::uint32_t>(all.size() / frameBytes);
        for (const std::uint32_t at :
             {0u, 1u, 31u, 32u, frames / 2 + 7, frames - 1, frames, frames + 100}) {
            SCOPED_TRACE(at);
            const int h = Load(bytes);
            ASSERT_NE(h, -1);
            ASSERT_NE(api.DecodeNext(h), nullptr);  // from anywhere, not only the start
            EXPECT_EQ(api.SeekSample(h, at), 1);
            const std::size_t from = std::min<std::size_t>(at, frames) * frameBytes;
            EXPECT_EQ(api.DecodeAll(h), Bytes(all.begin() + static_cast<long>(from), all.end()));
            api.CloseFile(h);
            // Forward from where an earlier seek left the stream (inside a frame: what it
            // carries is used first), and back again.
            const int g = Load(bytes);
            ASSERT_NE(g, -1);
            EXPECT_EQ(api.SeekSample(g, at / 2), 1);
            EXPECT_EQ(api.SeekSample(g, at), 1);
            EXPECT_EQ(api.DecodeAll(g), Bytes(all.begin() + static_cast<long>(from), all.end()));
            EXPECT_EQ(api.SeekSample(g, at / 3), 1);
            const std::size_t back = std::min<std::size_t>(at / 3, frames) * frameBytes;
            EXPECT_EQ(api.DecodeAll(g), Bytes(all.begin() + static_cast<long>(back), all.end()));
            api.CloseFile(g);
        }
    }
    EXPECT_EQ(api.SeekSample(-1, 0), 0);
    EXPECT_EQ(api.Error(), "Handle is invalid.[FFFFFFFF]");
}

TEST_P(Decoder, BadHandlesAreRefusedByEveryEntryPoint) {
    struct Bad {
        int handle;
        const char* text;
    };
    for (const Bad& bad :
         {Bad{-1, "Handle is invalid.[FFFFFFFF]"}, Bad{100, "Handle is invalid.[00000064]"},
          Bad{5, "NULL pointer struct"}}) {
        EXPECT_EQ(api.DecodeNext(bad.handle), nullptr);
        EXPECT_EQ(api.Error(), bad.text);
        EXPECT_EQ(api.GetCurrPos(bad.handle), 0u);
        EXPECT_EQ(api.Error(), bad.text);
        EXPECT_EQ(api.GetSizeData(bad.handle), 0u);
        EXPECT_EQ(api.Error(), bad.text);
        EXPECT_EQ(api.GetFormatSource(bad.handle), nullptr);
        EXPECT_EQ(api.Error(), bad.text);
        EXPECT_EQ(api.GetFormatOut(bad.handle), nullptr);
        EXPECT_EQ(api.Error(), bad.text);
        EXPECT_EQ(api.ResetFile(bad.handle), 0);
        EXPECT_EQ(api.Error(), bad.text);
        EXPECT_EQ(api.CloseFile(bad.handle), 0);
        EXPECT_EQ(api.Error(), bad.text);
    }
    const int h = Load(sample);
    EXPECT_EQ(api.CloseFile(h), 1);
    EXPECT_EQ(api.CloseFile(h), 0);
    EXPECT_EQ(api.Error(), "NULL pointer struct");
    EXPECT_EQ(api.DecodeNext(h), nullptr);
}

TEST_P(Decoder, HundredHandlesThenTheLowestClosedSlotIsReused) {
    for (int expected = 0; expected < 100; ++expected) {
        ASSERT_EQ(Load(sample), expected);
    }
    EXPECT_EQ(Load(sample), -1);
    EXPECT_EQ(api.Error(), "Not free handle.");
    EXPECT_EQ(api.CloseFile(37), 1);
    EXPECT_EQ(Load(sample), 37);
    for (int h = 0; h < 100; ++h) {
        api.CloseFile(h);
    }
}

TEST_P(Decoder, LoadsFromAPathAsFromMemory) {
    TempDir dir;
    const std::string path = dir.File(std::string("stream.") + GetParam().extension);
    WriteFile(path, sample);
    const int fromPath = api.LoadFile(-1, -1, path.c_str());
    ASSERT_NE(fromPath, -1) << api.Error();
    const int fromMemory = Load(sample);
    EXPECT_EQ(api.GetSizeData(fromPath), api.GetSizeData(fromMemory));
    EXPECT_EQ(api.DecodeAll(fromPath), api.DecodeAll(fromMemory));
    EXPECT_EQ(api.CloseFile(fromPath), 1);
    EXPECT_EQ(api.CloseFile(fromMemory), 1);

    EXPECT_EQ(api.LoadFile(-1, -1, nullptr), -1);
    EXPECT_EQ(api.Error(), "NULL file pointer.");
    EXPECT_EQ(api.LoadFile(-1, -1, ""), -1);
    EXPECT_EQ(api.Error(), "Empty file name.");
    const std::string missing = dir.File("missing");
    EXPECT_EQ(api.LoadFile(-1, -1, missing.c_str()), -1);
    EXPECT_EQ(api.Error(), "File " + missing + " not exists.");
    const std::string empty = dir.File("empty");
    WriteFile(empty, {});
    EXPECT_EQ(api.LoadFile(-1, -1, empty.c_str()), -1);
    EXPECT_EQ(Load(sample), 0);  // no failed load keeps a slot
    api.CloseFile(0);
}

// A request the converter cannot serve fails the load and leaves the slot free.
TEST_P(Decoder, UnservableRequestsFailWithoutKeepingTheSlot) {
    struct Request {
        int channels, rate;
    };
    for (const Request& r : {Request{2, 0}, Request{0, -1}, Request{-1, -5}, Request{300, -1},
                             Request{-1, 8}, Request{-1, 0x7FFFFFFF}}) {
        EXPECT_EQ(Load(sample, r.channels, r.rate), -1) << r.channels << " " << r.rate;
        EXPECT_EQ(api.Error(), "Error formats. (FMTCONV)");
    }
    EXPECT_EQ(Load(sample), 0);
    api.CloseFile(0);
}

TEST_P(Decoder, ConvertsASecondOf22050MonoTo44100StereoAboutFourTimesAsLarge) {
    const Bytes bytes = GetParam().oneSecond();
    const int h = Load(bytes, 2, 44100);
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(FieldsOf(*api.GetFormatOut(h)), Pcm16(2, 44100));
    EXPECT_EQ(FieldsOf(*api.GetFormatSource(h)), Pcm16(1, 22050));
    const PcmBlock* block = api.DecodeNext(h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->size, 176400u);
    api.CloseFile(h);
}

// The sanitizer build reports any converter, buffer or mapping left behind.
TEST_P(Decoder, LoadingAndClosingManyTimesKeepsNothing) {
    TempDir dir;
    const std::string path = dir.File("stream");
    WriteFile(path, sample);
    for (int i = 0; i < 200; ++i) {
        const int h = i % 2 == 0 ? Load(sample, 2, 11025 + i) : api.LoadFile(-1, -1, path.c_str());
        ASSERT_EQ(h, 0) << api.Error();
        ASSERT_NE(api.DecodeNext(h), nullptr);
        ASSERT_EQ(api.CloseFile(h), 1);
    }
}

// Every truncation and many random changes of the header, each in an exactly sized heap block:
// the decoder must refuse or play them without reading outside the bytes (the sanitizer build
// checks), crashing or hanging.
TEST_P(Decoder, SurvivesTruncatedAndCorruptedStreams) {
    const Bytes good = GetParam().tiny();
    std::vector<Bytes> variants;
    for (std::size_t size = 0; size <= good.size(); ++size) {
        variants.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    }
    for (std::uint32_t seed = 0; seed < 600; ++seed) {
        Bytes bytes = good;
        const Bytes noise = Pattern(6, seed);
        bytes[noise[0] % GetParam().headerSize] = noise[1];
        if (seed % 2 == 0) {
            bytes[noise[2] % GetParam().headerSize] ^= noise[3];
        }
        variants.push_back(bytes);
    }
    int loaded = 0;
    for (std::size_t i = 0; i < variants.size(); ++i) {
        const auto exact = std::make_unique<std::uint8_t[]>(variants[i].size());
        std::copy(variants[i].begin(), variants[i].end(), exact.get());
        const bool convert = i % 3 == 0;
        const int h = api.LoadFileMemory(convert ? 2 : -1, convert ? 22050 : -1, exact.get(),
                                         static_cast<std::uint32_t>(variants[i].size()));
        if (h == -1) {
            continue;
        }
        ++loaded;
        ASSERT_NO_THROW(api.DecodeAll(h, 20000)) << "variant " << i;
        api.GetCurrPos(h);
        api.GetSizeData(h);
        api.ResetFile(h);
        api.DecodeNext(h);
        ASSERT_EQ(api.CloseFile(h), 1);
    }
    EXPECT_GT(loaded, 0);
}

std::string PluginName(const ::testing::TestParamInfo<DecoderCase>& param) {
    return param.param.plugin;
}

INSTANTIATE_TEST_SUITE_P(Decoders, Decoder, ::testing::ValuesIn(kDecoders), PluginName);

}  // namespace
}  // namespace fogbell::test
