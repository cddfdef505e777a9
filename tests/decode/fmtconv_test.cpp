// The format converter: pass-through, the size query, channel mapping, rate changes, refusals.
#include "fmtconv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "adx_builder.h"
#include "byte_writer.h"
#include "format_fields.h"
#include "plugin_support.h"

namespace fogbell::plugin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Samples;

Bytes PcmOf(const std::vector<std::int16_t>& samples) {
    Bytes bytes;
    test::ByteWriter w(bytes);
    for (std::int16_t s : samples) {
        w.U16LE(static_cast<std::uint16_t>(s));
    }
    return bytes;
}

std::unique_ptr<FormatConverter> Open(std::uint32_t channels, std::uint32_t rate,
                                      std::uint32_t outChannels, std::uint32_t outRate) {
    return FormatConverter::Open(MakePcmFormat(channels, rate),
                                 MakePcmFormat(outChannels, outRate));
}

// Converts and returns the block's samples.
std::vector<std::int16_t> Convert(FormatConverter& converter, const Bytes& source) {
    PcmOutput out;
    const std::uint32_t n =
        converter.Convert(source.data(), static_cast<std::uint32_t>(source.size()), out);
    EXPECT_EQ(out.block.size, n);
    EXPECT_EQ(out.block.data, out.buffer.get());
    return Samples(out.block.data, n);
}

TEST(PcmFormat, FillsEveryFieldAndKeepsTheSourceForMinusOne) {
    const WAVEFORMATEX f = MakePcmFormat(2, 44100);
    EXPECT_EQ(test::FieldsOf(f), (test::FormatFields{1, 2, 44100, 176400, 4, 16, 18}));

    const WAVEFORMATEX same = RequestedFormat(f, -1, -1);
    EXPECT_EQ(std::memcmp(&same, &f, sizeof f), 0);
    const WAVEFORMATEX asked = RequestedFormat(f, 0x10001, 22050);  // low 16 bits of channels
    EXPECT_EQ(test::FieldsOf(asked), test::Pcm16(1, 22050));
}

TEST(FormatConverter, RefusesFormatsItCannotServe) {
    struct Case {
        const char* what;
        WAVEFORMATEX source, output;
    };
    WAVEFORMATEX eightBit = MakePcmFormat(2, 44100);
    eightBit.wBitsPerSample = 8;
    const Case cases[] = {
        {"output rate 0", MakePcmFormat(2, 44100), MakePcmFormat(2, 0)},
        {"output channels 0", MakePcmFormat(2, 44100), MakePcmFormat(0, 44100)},
        {"source rate 0", MakePcmFormat(1, 0), MakePcmFormat(1, 0)},
        {"256 channels", MakePcmFormat(256, 8000), MakePcmFormat(256, 8000)},
        {"channels that overflow the block alignment", MakePcmFormat(40000, 8000),
         MakePcmFormat(40000, 8000)},
        {"rate whose second overflows", MakePcmFormat(2, 0xFFFFFFFFu),
         MakePcmFormat(2, 0xFFFFFFFFu)},
        {"more than 32 MiB a second", MakePcmFormat(2, 9000000), MakePcmFormat(2, 9000000)},
        {"a rate change beyond 256 times", MakePcmFormat(1, 44100), MakePcmFormat(1, 100)},
        {"not 16-bit", eightBit, eightBit},
    };
    for (const Case& c : cases) {
        SetOk();
        EXPECT_EQ(FormatConverter::Open(c.source, c.output), nullptr) << c.what;
        EXPECT_STREQ(ErrorText(), "Error formats. (FMTCONV)") << c.what;
    }
    EXPECT_NE(Open(255, 8000, 255, 8000), nullptr);
    EXPECT_NE(Open(1, 44100, 1, 173), nullptr);  // just within the resampler's range
}

TEST(FormatConverter, EqualFormatsCopyEveryByteUnchanged) {
    for (std::uint32_t channels : {1u, 2u, 6u}) {
        auto converter = Open(channels, 44100, channels, 44100);
        ASSERT_NE(converter, nullptr);
        EXPECT_TRUE(converter->PassesThrough());
        for (std::size_t length : {0u, 1u, 7u, 88200u, 88201u}) {
            const Bytes source = test::Pattern(length, static_cast<std::uint32_t>(length));
            PcmOutput out;
            out.Reserve(10);
            const std::uint32_t n =
                converter->Convert(source.data(), static_cast<std::uint32_t>(length), out);
            ASSERT_EQ(n, length);
            EXPECT_EQ(Bytes(out.block.data, out.block.data + n), source);
        }
    }
}

TEST(FormatConverter, SizeQueryCountsWholeFramesAndRoundsTheOutputUp) {
    struct Case {
        std::uint32_t channels, rate, outChannels, outRate, sourceBytes, expected;
    };
    const Case cases[] = {
        {1, 22050, 2, 44100, 44100, 176400},  // one second, about four times as large
        {2, 44100, 1, 22050, 176400, 44100}, {2, 44100, 2, 48000, 176400, 192000},
        {2, 44100, 2, 48000, 12, 16},        // 3 frames -> ceil(3.27) = 4 frames
        {2, 44100, 1, 44100, 7, 2},          // 1 whole frame; the odd bytes are not a frame
        {1, 44100, 2, 22050, 88200, 88200},  // same size, still converted (below)
        {2, 48000, 2, 44100, 3, 0},
    };
    for (const Case& c : cases) {
        auto converter = Open(c.channels, c.rate, c.outChannels, c.outRate);
        ASSERT_NE(converter, nullptr);
        EXPECT_FALSE(converter->PassesThrough());
        EXPECT_EQ(converter->OutputSize(c.sourceBytes), c.expected)
            << c.channels << "x" << c.rate << " -> " << c.outChannels << "x" << c.outRate;
        PcmOutput out;
        const Bytes source(c.sourceBytes, 0);
        EXPECT_EQ(converter->Convert(source.data(), c.sourceBytes, out), c.expected);
        EXPECT_GE(out.capacity, c.expected);
    }
}

TEST(FormatConverter, OutputBufferGrowsToTheFirstLargerBlockAndIsReused) {
    auto converter = Open(1, 22050, 2, 44100);
    PcmOutput out;
    out.Reserve(88200);  // one second of output, as a decoder allocates it
    const Bytes second(44100, 0);
    EXPECT_EQ(converter->Convert(second.data(), 44100, out), 176400u);
    EXPECT_EQ(out.capacity, 176400u);
    const std::uint8_t* buffer = out.buffer.get();
    EXPECT_EQ(converter->Convert(second.data(), 1000, out), 4000u);
    EXPECT_EQ(out.buffer.get(), buffer);
    EXPECT_EQ(out.capacity, 176400u);
}

TEST(FormatConverter, MapsChannelsAtTheSameRate) {
    struct Case {
        std::uint32_t from, to;
        std::vector<std::int16_t> in, out;
    };
    const Case cases[] = {
        {1, 2, {5, -7, 32767}, {5, 5, -7, -7, 32767, 32767}},
        {2,
         1,
         {1, 2, -1, -2, 32767, 32767, -32768, -32768, -32768, 32767},
         {1, -2, 32767, -32768, -1}},
        {2, 6, {10, 20, -1, -2}, {10, 20, 0, 0, 0, 0, -1, -2, 0, 0, 0, 0}},
        {6, 2, {1, 2, 3, 4, 5, 6}, {1, 2}},
        {3, 1, {3, 3, 4}, {3}},
        {1, 3, {9}, {9, 9, 9}},
    };
    for (const Case& c : cases) {
        auto converter = Open(c.from, 44100, c.to, 44100);
        ASSERT_NE(converter, nullptr);
        EXPECT_EQ(Convert(*converter, PcmOf(c.in)), c.out) << c.from << " -> " << c.to;
    }
}

// A 1 kHz tone at 22050 Hz mono converted to 44100 Hz stereo: both channels carry the tone at the
// new rate, apart from the block's edges.
TEST(FormatConverter, ChangesTheRateOfATone) {
    constexpr double kTone = 1000.0;
    constexpr double kAmplitude = 10000.0;
    std::vector<std::int16_t> tone(22050);
    for (std::size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<std::int16_t>(
            std::lround(kAmplitude * std::sin(2 * std::numbers::pi * kTone * double(i) / 22050)));
    }
    auto converter = Open(1, 22050, 2, 44100);
    const auto out = Convert(*converter, PcmOf(tone));
    ASSERT_EQ(out.size(), 88200u);
    double worst = 0;
    for (std::size_t f = 1000; f < 43100; ++f) {
        const double expected =
            kAmplitude * std::sin(2 * std::numbers::pi * kTone * double(f) / 44100);
        EXPECT_EQ(out[2 * f], out[2 * f + 1]);
        worst = std::max(worst, std::abs(out[2 * f] - expected));
    }
    EXPECT_LT(worst, 60.0);  // under -44 dB of the tone
}

TEST(FormatConverter, EveryBlockIsAnIndependentConversion) {
    auto converter = Open(2, 44100, 2, 48000);
    const Bytes a = test::Pattern(17640, 1);
    const Bytes b = test::Pattern(17640, 2);
    const auto first = Convert(*converter, a);
    Convert(*converter, b);
    EXPECT_EQ(Convert(*converter, a), first);
    auto other = Open(2, 44100, 2, 48000);
    EXPECT_EQ(Convert(*other, a), first);
}

TEST(FormatConverter, OpeningAndClosingManyTimesKeepsNothing) {
    // The sanitizer build reports any resampler or buffer left behind.
    const Bytes block(4410, 1);
    for (int i = 0; i < 300; ++i) {
        auto converter = Open(2, 44100, 1, 32000 + static_cast<std::uint32_t>(i));
        ASSERT_NE(converter, nullptr);
        PcmOutput out;
        converter->Convert(block.data(), 4410, out);
    }
}

}  // namespace
}  // namespace fogbell::plugin
