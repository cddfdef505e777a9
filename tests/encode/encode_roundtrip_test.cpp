// Encoded streams played back by the real decoder plug-ins, loaded by name as the program loads
// them: every signal at several rates and channel counts, with a floor on the signal-to-noise
// ratio of the round trip.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/xmd_encoder.h"
#include "plugin_api.h"
#include "test_signals.h"

namespace fogbell::test {
namespace {

enum class Format { kAdx, kXmd };

struct RoundTrip {
    Format format;
    Signal signal;
    std::uint32_t rate;
    std::uint32_t channels;
    double floorDb;  // the round trip must reach this
};

std::string CaseName(const RoundTrip& c) {
    return std::string(c.format == Format::kAdx ? "Adx" : "Xmd") + SignalName(c.signal) +
           std::to_string(c.rate) + (c.channels == 1 ? "Mono" : "Stereo");
}

std::vector<std::uint8_t> Encode(Format format, const std::vector<std::int16_t>& pcm,
                                 std::uint32_t rate, std::uint32_t channels) {
    const std::size_t frames = pcm.size() / channels;
    return format == Format::kAdx ? encode::EncodeAdx({channels, rate, 500}, pcm.data(), frames)
                                  : encode::EncodeXmd({channels, rate}, pcm.data(), frames);
}

// The stream decoded by the plug-in, with the format it reports.
std::vector<std::int16_t> Play(Format format, const std::vector<std::uint8_t>& stream,
                               WAVEFORMATEX& reported) {
    DecoderApi api(format == Format::kAdx ? "adxvoice" : "xmdvoice");
    const int handle =
        api.LoadFileMemory(-1, -1, stream.data(), static_cast<std::uint32_t>(stream.size()));
    EXPECT_NE(handle, -1) << api.Error();
    if (handle == -1) {
        return {};
    }
    reported = *api.GetFormatOut(handle);
    const std::vector<std::int16_t> pcm = Samples(api.DecodeAll(handle));
    api.CloseFile(handle);
    return pcm;
}

class EncodeRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(EncodeRoundTrip, PlaysBackAboveItsFloor) {
    const RoundTrip& c = GetParam();
    const std::size_t frames = c.rate / 2 + 17;  // half a second, not a whole frame group
    const std::vector<std::int16_t> pcm = MakeSignal(c.signal, c.rate, c.channels, frames);
    WAVEFORMATEX reported{};
    const std::vector<std::int16_t> out =
        Play(c.format, Encode(c.format, pcm, c.rate, c.channels), reported);
    EXPECT_EQ(reported.nChannels, c.channels);
    EXPECT_EQ(reported.nSamplesPerSec, c.rate);
    // Whole frame groups come out: the padding of the last one, and nothing is missing.
    const std::size_t group = c.format == Format::kAdx ? 32 : 16;
    EXPECT_EQ(out.size(), (frames + group - 1) / group * group * c.channels);
    const double snr = SnrDb(pcm, out);
    RecordProperty("snr_db", std::to_string(snr));
    std::printf("%s: %.2f dB\n", CaseName(c).c_str(), snr);
    EXPECT_GE(snr, c.floorDb);
}

std::vector<RoundTrip> Cases() {
    std::vector<RoundTrip> cases;
    for (Format format : {Format::kAdx, Format::kXmd}) {
        for (std::uint32_t rate : {22050u, 32000u, 44100u, 48000u}) {
            for (std::uint32_t channels : {1u, 2u}) {
                // ADX clamps, so full-scale squares come back exactly; XMD wraps instead, and
                // its square edges cost a large scale in a short frame.
                const double square = format == Format::kAdx ? 60.0 : 18.0;
                cases.push_back({format, Signal::kChord, rate, channels, 40.0});
                cases.push_back({format, Signal::kVoice, rate, channels, 40.0});
                cases.push_back({format, Signal::kSweep, rate, channels, 20.0});
                cases.push_back({format, Signal::kSquare, rate, channels, square});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Signals, EncodeRoundTrip, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return CaseName(p.param); });

TEST(EncodeRoundTripEdges, SilencePlaysBackAsSilence) {
    for (Format format : {Format::kAdx, Format::kXmd}) {
        const std::vector<std::int16_t> pcm = MakeSignal(Signal::kSilence, 44100, 2, 4000);
        WAVEFORMATEX reported{};
        const std::vector<std::int16_t> out = Play(format, Encode(format, pcm, 44100, 2), reported);
        ASSERT_GE(out.size(), pcm.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            ASSERT_EQ(out[i], 0) << "sample " << i;
        }
    }
}

TEST(EncodeRoundTripEdges, NoSoundPlaysNothing) {
    for (Format format : {Format::kAdx, Format::kXmd}) {
        for (std::uint32_t channels : {1u, 2u}) {
            const std::vector<std::int16_t> none;
            WAVEFORMATEX reported{};
            EXPECT_TRUE(Play(format, Encode(format, none, 22050, channels), reported).empty());
            EXPECT_EQ(reported.nChannels, channels);
        }
    }
}

}  // namespace
}  // namespace fogbell::test
