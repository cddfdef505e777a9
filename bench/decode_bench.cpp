// Decoding speed of adxvoice, wavvoice and xmdvoice: a long stereo stream of each format is
// decoded block by block through the staged plug-in, as the play thread pulls it. Reports the
// decoded 16-bit samples per second, how many times faster than real time that is, and the
// allocations made per block (counted through the global operator new, which the plug-ins use).
//
//   build/bin/decode_bench [--benchmark_filter=ADX]
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "fogbell_decoder.h"
#include "host/plugins/dynamic_library.h"

namespace {

std::atomic<std::uint64_t> g_allocations{0};

}  // namespace

// Replaces the global allocation functions of the whole process to count calls. The compiler
// cannot see that these two pair malloc with free, hence the pragma.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kChannels = 2;
constexpr std::uint32_t kSeconds = 120;
constexpr std::uint32_t kSamplesPerChannel = kRate * kSeconds;

// A deterministic byte noise.
Bytes Noise(std::size_t n, std::uint32_t seed) {
    Bytes bytes(n);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

void PutBE(Bytes& b, std::size_t at, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
    }
}

void PutLE(Bytes& b, std::size_t at, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// Stereo ADX at 44100 Hz with a 500 Hz cutoff: frames start at 32.
Bytes AdxStream() {
    const std::size_t groups = kSamplesPerChannel / 32;
    Bytes b(32 + groups * 36);
    b[0] = 0x80;
    PutBE(b, 2, 0x1C, 2);
    b[4] = 3;
    b[5] = 18;
    b[6] = 4;
    b[7] = kChannels;
    PutBE(b, 8, kRate, 4);
    PutBE(b, 12, kSamplesPerChannel, 4);
    PutBE(b, 16, 500, 2);
    const std::string signature = "(c)CRI";
    std::copy(signature.begin(), signature.end(), b.begin() + 0x1A);
    const Bytes noise = Noise(groups * 36, 1);
    std::copy(noise.begin(), noise.end(), b.begin() + 32);
    for (std::size_t f = 0; f < groups * 2; ++f) {
        b[32 + f * 18] &= 0x03;  // modest scales, never an end marker
    }
    return b;
}

// Canonical stereo 16-bit WAVE at 44100 Hz.
Bytes WaveStream() {
    const std::uint32_t dataSize = kSamplesPerChannel * kChannels * 2;
    Bytes b(44);
    const std::string tags[] = {"RIFF", "WAVE", "fmt ", "data"};
    std::copy(tags[0].begin(), tags[0].end(), b.begin());
    PutLE(b, 4, 36 + dataSize, 4);
    std::copy(tags[1].begin(), tags[1].end(), b.begin() + 8);
    std::copy(tags[2].begin(), tags[2].end(), b.begin() + 12);
    PutLE(b, 16, 16, 4);
    PutLE(b, 20, 1, 2);
    PutLE(b, 22, kChannels, 2);
    PutLE(b, 24, kRate, 4);
    PutLE(b, 28, kRate * 4, 4);
    PutLE(b, 32, 4, 2);
    PutLE(b, 34, 16, 2);
    std::copy(tags[3].begin(), tags[3].end(), b.begin() + 36);
    PutLE(b, 40, dataSize, 4);
    const Bytes data = Noise(dataSize, 2);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// Stereo XMD at 44100 Hz.
Bytes XmdStream() {
    const std::size_t groups = kSamplesPerChannel / 16;
    Bytes b(12);
    b[0] = kChannels;
    PutLE(b, 1, kRate, 2);
    PutLE(b, 3, groups * 26, 4);
    const Bytes frames = Noise(groups * 26, 3);
    b.insert(b.end(), frames.begin(), frames.end());
    return b;
}

struct Decoder {
    fogbell::DynamicLibrary library;
    FnDecoderLoadFileMemory load = nullptr;
    FnCloseFile close = nullptr;
    FnResetFile reset = nullptr;
    FnDecodeNext next = nullptr;
    FnGetFormat formatOut = nullptr;

    explicit Decoder(const std::string& name) {
        const std::string path = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins/" + name +
                                 fogbell::DynamicLibrary::Suffix();
        if (!library.Open(path)) {
            throw std::runtime_error(library.Error());
        }
        load = library.Entry<FnDecoderLoadFileMemory>("fnLoadFileMemory");
        close = library.Entry<FnCloseFile>("fnCloseFile");
        reset = library.Entry<FnResetFile>("fnResetFile");
        next = library.Entry<FnDecodeNext>("fnDecodeNext");
        formatOut = library.Entry<FnGetFormat>("fnGetFormatOut");
    }
};

// Decodes the whole stream once per iteration (after a rewind), block by block.
void DecodeStream(benchmark::State& state, const char* plugin, Bytes (*make)(), int channelsOut,
                  int rateOut) {
    Decoder decoder(plugin);
    const Bytes stream = make();
    const int handle = decoder.load(channelsOut, rateOut, stream.data(),
                                    static_cast<std::uint32_t>(stream.size()));
    if (handle < 0) {
        state.SkipWithError("the plug-in refused the stream");
        return;
    }
    const WAVEFORMATEX* out = decoder.formatOut(handle);
    // Warm up once: the first pass may grow the output buffer.
    while (decoder.next(handle) != nullptr) {
    }
    std::uint64_t bytes = 0;
    std::uint64_t blocks = 0;
    const std::uint64_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        decoder.reset(handle);
        while (const PcmBlock* block = decoder.next(handle)) {
            benchmark::DoNotOptimize(block->data[block->size / 2]);
            bytes += block->size;
            ++blocks;
        }
    }
    const auto allocations = static_cast<double>(g_allocations.load() - allocationsBefore);
    decoder.close(handle);

    using benchmark::Counter;
    const double samples = static_cast<double>(bytes) / 2;
    state.counters["samples/s"] = Counter(samples, Counter::kIsRate);
    state.counters["x_realtime"] =
        Counter(static_cast<double>(bytes) / out->nAvgBytesPerSec, Counter::kIsRate);
    state.counters["allocs/block"] = allocations / static_cast<double>(blocks ? blocks : 1);
}

BENCHMARK_CAPTURE(DecodeStream, ADX_stereo_44100, "adxvoice", AdxStream, -1, -1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeStream, WAV_stereo_44100, "wavvoice", WaveStream, -1, -1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeStream, XMD_stereo_44100, "xmdvoice", XmdStream, -1, -1)
    ->Unit(benchmark::kMillisecond);
// With a rate change through the converter, for comparison.
BENCHMARK_CAPTURE(DecodeStream, ADX_stereo_44100_to_48000, "adxvoice", AdxStream, -1, 48000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
