// Fuzz target of one stream decoder (adxvoice, wavvoice or xmdvoice, chosen at build time by
// FOGBELL_FUZZ_PLUGIN), loaded from the staging folder by name as the program loads it.
//
// Each input is a stream. It is loaded from memory as the program plays a track (-1, -1), its
// formats are read, it is decoded to the end, rewound and decoded again (both passes must
// agree); then it is loaded again asking for another rate and channel count, so that the format
// converter runs, and walked the same way. The optional loop and seek entry points are tried on
// the first handle.
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_harness.h"

namespace {

using fogbell::fuzz::Broken;

std::unique_ptr<fogbell::test::DecoderApi> g_voice;

// adxvoice and xmdvoice decode any channel count other than 2 as mono while their format
// records report the header's count, so their blocks are whole frames only for 1 or 2 channels.
// Every channel count of a WAVE file is interleaved data.
bool WholeFrames(const WAVEFORMATEX& source) {
    return source.nChannels <= 2 || std::strcmp(FOGBELL_FUZZ_PLUGIN, "wavvoice") == 0;
}

// With -1, -1 the output is the source's channels and rate as 16-bit PCM: the same record when
// the source is 16-bit PCM (a WAVE file may hold 8-bit, 24-bit or float samples).
bool SameAsSource(const WAVEFORMATEX& source, const WAVEFORMATEX& out) {
    if (source.wFormatTag == FOGBELL_WAVE_FORMAT_PCM && source.wBitsPerSample == 16) {
        return std::memcmp(&source, &out, sizeof source) == 0;
    }
    return out.wFormatTag == FOGBELL_WAVE_FORMAT_PCM && out.wBitsPerSample == 16 &&
           out.nChannels == source.nChannels && out.nSamplesPerSec == source.nSamplesPerSec &&
           out.nBlockAlign == out.nChannels * 2;
}

// Rates and channel counts the converter is asked for, picked by the input's hash so that the
// same input always takes the same path.
constexpr std::int32_t kRates[] = {8000, 11025, 22050, 32000, 44100, 48000, 96000};

void PlayConverted(const std::uint8_t* data, std::uint32_t size, const WAVEFORMATEX& source) {
    const std::uint32_t pick = fogbell::fuzz::InputHash(data, size);
    std::int32_t rate = kRates[pick % std::size(kRates)];
    if (static_cast<std::uint32_t>(rate) == source.nSamplesPerSec) {
        rate = kRates[(pick + 1) % std::size(kRates)];
    }
    const std::int32_t channels = source.nChannels == 1 ? 2 : 1;
    const int handle = g_voice->LoadFileMemory(channels, rate, data, size);
    if (handle < 0) {
        return;  // a converter that refuses the pair of formats is a clean failure
    }
    const WAVEFORMATEX* out = g_voice->GetFormatOut(handle);
    if (out == nullptr || out->nChannels != channels ||
        out->nSamplesPerSec != static_cast<std::uint32_t>(rate)) {
        Broken("asked for %d channels at %d Hz, got another output format", channels, rate);
    }
    fogbell::fuzz::PlayTwice(*g_voice, handle, true, WholeFrames(source));
}

// The optional entry points: a loop, when given, lies inside the stream; a seek to a sample the
// input's hash picks (inside the stream or past it) decodes to an end, and a rewind after it
// brings the start back for the passes that follow.
void LoopAndSeek(int handle, const std::uint8_t* data, std::uint32_t size) {
    if (g_voice->GetLoopPoints != nullptr) {
        std::uint32_t start = 0, end = 0;
        if (g_voice->GetLoopPoints(handle, &start, &end) == 1 &&
            (start >= end || end > g_voice->GetSizeData(handle))) {
            Broken("a loop from %u to %u outside the stream", start, end);
        }
    }
    if (g_voice->SeekSample != nullptr) {
        const auto sample = static_cast<std::uint32_t>(fogbell::fuzz::InputHash(data, size) %
                                                       (std::uint64_t{size} * 4 + 64));
        if (g_voice->SeekSample(handle, sample) != 1) {
            Broken("a seek on an open handle failed");
        }
        for (int blocks = 0; g_voice->DecodeNext(handle) != nullptr; ++blocks) {
            if (blocks > 100000) {
                Broken("no end after a seek");
            }
        }
        g_voice->ResetFile(handle);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_voice = std::make_unique<fogbell::test::DecoderApi>(FOGBELL_FUZZ_PLUGIN);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) {
        return 0;
    }
    // An exact-size copy of our own: the decoder must never read past the bytes it is given.
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(bytes.get(), data, size);
    }
    const auto length = static_cast<std::uint32_t>(size);
    const int handle = g_voice->LoadFileMemory(-1, -1, bytes.get(), length);
    if (handle < 0) {
        if (g_voice->GetErrorString() == nullptr) {
            Broken("a failed load left no error text");
        }
        return 0;
    }
    const WAVEFORMATEX* source = g_voice->GetFormatSource(handle);
    const WAVEFORMATEX* out = g_voice->GetFormatOut(handle);
    if (source == nullptr || out == nullptr || !SameAsSource(*source, *out)) {
        Broken("with -1, -1 the output format must be the source's, as 16-bit PCM");
    }
    const WAVEFORMATEX sourceFormat = *source;
    LoopAndSeek(handle, bytes.get(), length);
    fogbell::fuzz::PlayTwice(*g_voice, handle, true, WholeFrames(sourceFormat));
    PlayConverted(bytes.get(), length, sourceFormat);
    return 0;
}
