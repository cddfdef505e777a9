// The ADX header checks and the frame stream: whole groups only, the end marker, the position.
#include "adx_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "adx_builder.h"
#include "byte_writer.h"

namespace fogbell::adx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::AdxOptions;
using test::BuildAdx;

// Every group the stream yields, until it ends (at most limit groups).
std::vector<std::int16_t> DecodeAll(FrameStream& stream, std::size_t limit = 100000) {
    std::vector<std::int16_t> out;
    std::int16_t group[kMaxGroupSamples];
    for (std::size_t i = 0; i < limit; ++i) {
        const std::size_t n = stream.DecodeGroup(group);
        if (n == 0) {
            break;
        }
        out.insert(out.end(), group, group + n);
    }
    return out;
}

TEST(AdxHeader, ReadsTheFieldsAndWhereTheFramesBegin) {
    AdxOptions o;
    o.channels = 2;
    o.rate = 48000;
    o.totalSamples = 0x01020304;
    o.cutoff = 0x1F4;
    o.headerOffset = 0x120;
    const Bytes bytes = BuildAdx(o, {});
    Header h;
    ASSERT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h),
              HeaderStatus::kOk);
    EXPECT_EQ(h.firstFrame, 0x124u);
    EXPECT_EQ(h.channels, 2u);
    EXPECT_EQ(h.sampleRate, 48000u);
    EXPECT_EQ(h.totalSamples, 0x01020304u);
    EXPECT_EQ(h.cutoff, 500);
}

TEST(AdxHeader, RefusesWhatIsNotAnAdxStreamWithinItsBytes) {
    const Bytes good = BuildAdx(AdxOptions{}, test::AdxFrames(2, 1, 1));
    auto with = [&](std::size_t at, std::uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    // O = 12 puts the signature at 10..15, inside the fields: then 18 bytes are needed for the
    // cutoff at 16 although the signature fits in 16.
    Bytes early;
    test::ByteWriter(early)
        .U8(0x80)
        .U8(0)
        .U16BE(12)
        .U8(3)
        .U8(18)
        .U8(4)
        .U8(1)
        .U16BE(0)
        .Text("(c)CRI")
        .Zeros(2);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"first byte not 0x80", with(0, 0x81)},
        {"signature changed", with(0x1C - 2 + 3, 'c')},
        {"offset 0", with(3, 0)},
        {"offset 1", with(3, 1)},
        {"signature past the end", Bytes(good.begin(), good.begin() + 0x1C + 3)},
        {"offset pointing past the end", with(2, 0xFF)},
        {"empty", {}},
        {"first byte only", {0x80}},
        {"signature fits but not the cutoff", Bytes(early.begin(), early.begin() + 16)},
        {"signature fits but not the whole cutoff", Bytes(early.begin(), early.begin() + 17)},
    };
    for (const Case& c : cases) {
        const Bytes exact = c.bytes;  // exactly sized, so the sanitizer sees any overread
        Header h;
        EXPECT_EQ(ReadHeader(exact.data(), static_cast<std::uint32_t>(exact.size()), h),
                  HeaderStatus::kNotAdx)
            << c.what;
    }
    Header h;
    EXPECT_EQ(ReadHeader(early.data(), 18, h), HeaderStatus::kOk);
    EXPECT_EQ(h.firstFrame, 16u);
    EXPECT_STREQ(StatusText(HeaderStatus::kNotAdx), "Is not ADX file.");
}

// Headers this decoder would play otherwise than they say are refused, each with its own text.
TEST(AdxHeader, RefusesWhatItCannotPlayAsTheHeaderSays) {
    struct Case {
        std::size_t at;
        std::uint8_t value;
        HeaderStatus status;
    };
    const Case cases[] = {
        {4, 4, HeaderStatus::kEncoding},        {4, 0x10, HeaderStatus::kEncoding},
        {5, 36, HeaderStatus::kWrongFrameSize}, {7, 3, HeaderStatus::kTooManyChannels},
        {7, 6, HeaderStatus::kTooManyChannels}, {8, 0, HeaderStatus::kOk},
    };
    for (const Case& c : cases) {
        Bytes bytes = BuildAdx(AdxOptions{}, test::AdxFrames(2, 1, 1));
        bytes[c.at] = c.value;
        Header h;
        EXPECT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h), c.status)
            << c.at << " " << int{c.value};
        EXPECT_STRNE(StatusText(c.status), StatusText(HeaderStatus::kNotAdx));
    }
    Bytes noRate = BuildAdx(AdxOptions{1, 0, 64}, {});
    Header h;
    EXPECT_EQ(ReadHeader(noRate.data(), static_cast<std::uint32_t>(noRate.size()), h),
              HeaderStatus::kNoRate);
}

TEST(AdxHeader, RefusesAChannelCountOfZero) {
    AdxOptions o;
    o.channels = 0;
    const Bytes bytes = BuildAdx(o, {});
    Header h;
    EXPECT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h),
              HeaderStatus::kNoChannels);
    EXPECT_STREQ(StatusText(HeaderStatus::kNoChannels), "ADX file has no channels.");
}

struct StreamCase {
    std::uint8_t channels;
    std::uint32_t rate;
    std::uint16_t cutoff;
    Coefficients expected;
};

// Loop blocks, honest and lying: only a flagged loop inside the stream, in a block that lies
// before the signature, is a loop.
TEST(AdxHeader, ReadsTheLoopOfVersionsThreeAndFourOnlyWhenItFits) {
    struct Case {
        const char* what;
        std::uint8_t version;
        std::uint8_t channels;
        bool room;  // the header offset leaves room for the block
        std::uint32_t flag, start, end;
        bool looped;
    };
    constexpr std::uint32_t kTotal = 3200;
    const Case cases[] = {
        {"version 3", 3, 1, true, 1, 100, 2000, true},
        {"version 4 mono", 4, 1, true, 1, 17, 3200, true},
        {"version 4 stereo", 4, 2, true, 1, 0, 64, true},
        {"flag off", 3, 1, true, 0, 100, 2000, false},
        {"end before start", 3, 1, true, 1, 2000, 100, false},
        {"empty loop", 4, 2, true, 1, 500, 500, false},
        {"end past the stream", 3, 2, true, 1, 0, kTotal + 1, false},
        {"no room before the signature", 3, 1, false, 1, 100, 2000, false},
        {"version 2", 2, 1, true, 1, 100, 2000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AdxOptions o;
        o.channels = c.channels;
        o.totalSamples = kTotal;
        o.version = c.version;
        o.headerOffset = test::LoopHeaderOffset(c.version, c.channels);
        o.loopBlock = true;
        o.loopFlag = c.flag;
        o.loopStart = c.start;
        o.loopEnd = c.end;
        Bytes bytes = BuildAdx(o, test::AdxFrames(100, c.channels, 3));
        if (!c.room) {
            // The signature moved two bytes into the block: the block no longer fits.
            o.headerOffset = static_cast<std::uint16_t>(o.headerOffset - 2);
            bytes = BuildAdx(o, {});
            std::memcpy(bytes.data() + o.headerOffset - 2, kSignature, kSignatureSize);
        }
        Header h;
        ASSERT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h),
                  HeaderStatus::kOk);
        EXPECT_EQ(h.looped, c.looped);
        FrameStream stream;
        stream.Attach(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
        std::uint32_t start = 7, end = 7;
        EXPECT_EQ(stream.Loop(start, end), c.looped);
        EXPECT_EQ(start, c.looped ? c.start : 7u);
        EXPECT_EQ(end, c.looped ? c.end : 7u);
    }
}

TEST(AdxFrameStream, DecodesAsTheFormulaSaysWithTheCoefficientsOfRateAndCutoff) {
    const StreamCase cases[] = {
        {1, 44100, 500, {29336, 13136}}, {2, 44100, 500, {29336, 13136}},
        {2, 48000, 500, {29601, 13370}}, {1, 22050, 500, {26277, 10536}},
        {1, 32000, 0, {29336, 13136}},  // no cutoff keeps the fixed pair
    };
    for (const StreamCase& c : cases) {
        constexpr std::size_t kGroups = 40;
        const Bytes frames = test::AdxFrames(kGroups, c.channels, c.rate);
        AdxOptions o;
        o.channels = c.channels;
        o.rate = c.rate;
        o.cutoff = c.cutoff;
        o.totalSamples = kGroups * 32;
        const Bytes bytes = BuildAdx(o, frames);
        Header h;
        ASSERT_EQ(ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h),
                  HeaderStatus::kOk);
        FrameStream stream;
        stream.Attach(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
        EXPECT_EQ(stream.Prediction().first, c.expected.first) << c.rate;
        EXPECT_EQ(stream.Prediction().second, c.expected.second) << c.rate;
        EXPECT_EQ(DecodeAll(stream), test::ReferenceAdx(frames, c.channels, kGroups,
                                                        c.expected.first, c.expected.second))
            << int{c.channels} << " channels at " << c.rate;
        EXPECT_EQ(stream.Position(), kGroups * 32);
    }
}

// A footer frame (scale 0x8001) ends the audio although the header claims more; the left or the
// right frame of a stereo group may carry it.
TEST(AdxFrameStream, EndMarkerEndsTheStreamAndCountsAsItsEnd) {
    for (std::uint8_t channels : {1, 2}) {
        for (std::size_t markerFrame : {0u, 1u}) {
            if (channels == 1 && markerFrame == 1) {
                continue;
            }
            Bytes frames = test::AdxFrames(5, channels, 3);
            const std::size_t groupSize = channels == 2 ? 36 : 18;
            frames[3 * groupSize + 18 * markerFrame] = 0x80;  // group 3 holds the marker
            AdxOptions o;
            o.channels = channels;
            o.totalSamples = 10000;
            const Bytes bytes = BuildAdx(o, frames);
            Header h;
            ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
            FrameStream stream;
            stream.Attach(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
            EXPECT_EQ(DecodeAll(stream), test::ReferenceAdx(frames, channels, 3, 29336, 13136));
            EXPECT_EQ(stream.Position(), 10000u);
            std::int16_t group[kMaxGroupSamples];
            EXPECT_EQ(stream.DecodeGroup(group), 0u);
        }
    }
}

TEST(AdxFrameStream, BytesThatEndEarlyEndTheStreamAtTheLastWholeGroup) {
    for (std::uint8_t channels : {1, 2}) {
        const std::size_t groupSize = channels == 2 ? 36 : 18;
        const Bytes frames = test::AdxFrames(4, channels, 5);
        AdxOptions o;
        o.channels = channels;
        o.totalSamples = 100000;
        const Bytes full = BuildAdx(o, frames);
        for (std::size_t cut = 0; cut < groupSize; ++cut) {
            const Bytes exact(full.begin(), full.end() - static_cast<std::ptrdiff_t>(cut));
            Header h;
            ReadHeader(exact.data(), static_cast<std::uint32_t>(exact.size()), h);
            FrameStream stream;
            stream.Attach(exact.data(), static_cast<std::uint32_t>(exact.size()), h);
            const std::size_t whole = cut == 0 ? 4 : 3;
            EXPECT_EQ(DecodeAll(stream), test::ReferenceAdx(frames, channels, whole, 29336, 13136))
                << "cut " << cut;
            EXPECT_EQ(stream.Position(), 100000u);
        }
    }
}

TEST(AdxFrameStream, PositionCountsWholeFramesAndRewindStartsOver) {
    const Bytes frames = test::AdxFrames(3, 1, 9);
    AdxOptions o;
    o.totalSamples = 33;
    const Bytes bytes = BuildAdx(o, frames);
    Header h;
    ReadHeader(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
    FrameStream stream;
    stream.Attach(bytes.data(), static_cast<std::uint32_t>(bytes.size()), h);
    std::int16_t first[kMaxGroupSamples];
    std::int16_t group[kMaxGroupSamples];
    EXPECT_EQ(stream.Position(), 0u);
    ASSERT_EQ(stream.DecodeGroup(first), 32u);
    EXPECT_EQ(stream.Position(), 32u);
    ASSERT_EQ(stream.DecodeGroup(group), 32u);  // the last frame is decoded whole
    EXPECT_EQ(stream.Position(), 64u);
    EXPECT_EQ(stream.DecodeGroup(group), 0u);
    stream.Rewind();
    EXPECT_EQ(stream.Position(), 0u);
    ASSERT_EQ(stream.DecodeGroup(group), 32u);
    EXPECT_EQ(std::vector<std::int16_t>(group, group + 32),
              std::vector<std::int16_t>(first, first + 32));
}

}  // namespace
}  // namespace fogbell::adx
