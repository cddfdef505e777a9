// Writes an XMD file for the decoding benchmark (bench/decode_vs_ffmpeg.sh): a header for the
// given channels and rate, then seconds of frames from the test builders. The frames are noise,
// which costs the decoder exactly what music does: XMD decoding has no data-dependent branch.
//
//   build/bin/bench_xmd_input SECONDS OUT.xmd [CHANNELS] [RATE]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_files.h"
#include "xmd_builder.h"

namespace {

constexpr std::uint32_t kSamplesPerFrame = 16;
constexpr std::uint32_t kFrameSize = 13;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SECONDS OUT.xmd [CHANNELS] [RATE]\n", argv[0]);
        return 2;
    }
    const unsigned long seconds = std::strtoul(argv[1], nullptr, 10);
    const unsigned long channels = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 2;
    const unsigned long rate = argc > 4 ? std::strtoul(argv[4], nullptr, 10) : 44100;
    if (seconds == 0 || seconds > 3600 || (channels != 1 && channels != 2) || rate == 0 ||
        rate > 65535) {
        std::fprintf(stderr, "SECONDS 1..3600, CHANNELS 1 or 2, RATE 1..65535\n");
        return 2;
    }
    const std::size_t frames =
        (seconds * rate + kSamplesPerFrame - 1) / kSamplesPerFrame * channels;
    const auto bytes = fogbell::test::BuildXmd(
        static_cast<std::uint8_t>(channels), static_cast<std::uint16_t>(rate),
        static_cast<std::uint32_t>(frames * kFrameSize), fogbell::test::XmdFrames(frames, 1));
    fogbell::test::WriteFile(argv[2], bytes);
    return 0;
}
