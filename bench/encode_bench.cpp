// Helper of bench/encoder_bench.sh: the encoders' speed on one core, and the signal-to-noise
// ratio of a decoded file against its source. WAVE files are read through the staged WAVE
// decoder plug-in, as fogbell-cli reads them.
//
//   build/bin/encode_bench speed FILE.wav...   seconds of audio encoded per second of CPU time
//                                              (this thread only), ADX and XMD, best of 3 runs
//   build/bin/encode_bench snr SOURCE.wav DECODED.wav
//                                              10 log10(signal / noise) in dB over the source's
//                                              length; missing decoded samples count as 0
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/audio/pcm_reader.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/xmd_encoder.h"
#include "host/plugins/plugin_host.h"

namespace {

struct Sound {
    fogbell::PcmFormat format;
    std::vector<std::int16_t> samples;
};

bool Load(const fogbell::PluginHost& host, const std::string& path, Sound& sound) {
    fogbell::PcmReadCallbacks callbacks;
    callbacks.begin = [&](const fogbell::PcmFormat&, const fogbell::PcmFormat& output) {
        sound.format = output;
        return true;
    };
    callbacks.block = [&](const std::int16_t* samples, std::size_t frames) {
        sound.samples.insert(sound.samples.end(), samples,
                             samples + frames * sound.format.channels);
        return true;
    };
    std::string error;
    if (!fogbell::ReadPcmFile(host, "bench.wav", path, -1, -1, callbacks, error)) {
        std::fprintf(stderr, "encode_bench: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The best of three runs of encode(), in seconds of CPU time.
template <typename Encode>
double BestOfThree(Encode encode) {
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const double start = ThreadSeconds();
        encode();
        best = std::min(best, ThreadSeconds() - start);
    }
    return best;
}

int Speed(const fogbell::PluginHost& host, int count, char** paths) {
    std::printf("%-40s %6s %3s %8s %14s %14s\n", "file", "rate", "ch", "seconds", "ADX x realtime",
                "XMD x realtime");
    for (int i = 0; i < count; ++i) {
        Sound sound;
        if (!Load(host, paths[i], sound)) {
            return 1;
        }
        const std::size_t frames = sound.samples.size() / sound.format.channels;
        const double seconds = static_cast<double>(frames) / sound.format.rate;
        std::size_t sink = 0;
        const double adx = BestOfThree([&] {
            sink += fogbell::encode::EncodeAdx({sound.format.channels, sound.format.rate, 500},
                                               sound.samples.data(), frames)
                        .size();
        });
        double xmd = 0.0;
        if (sound.format.rate <= fogbell::encode::kXmdMaxRate) {
            xmd = BestOfThree([&] {
                sink += fogbell::encode::EncodeXmd({sound.format.channels, sound.format.rate},
                                                   sound.samples.data(), frames)
                            .size();
            });
        }
        std::string name = paths[i];
        name = name.substr(name.find_last_of('/') + 1);
        std::printf("%-40s %6u %3u %8.2f %14.0f %14.0f\n", name.c_str(), sound.format.rate,
                    sound.format.channels, seconds, seconds / adx, xmd > 0 ? seconds / xmd : 0.0);
        if (sink == 0) {
            return 1;
        }
    }
    return 0;
}

int Snr(const fogbell::PluginHost& host, const char* sourcePath, const char* decodedPath) {
    Sound source;
    Sound decoded;
    if (!Load(host, sourcePath, source) || !Load(host, decodedPath, decoded)) {
        return 1;
    }
    if (source.format.channels != decoded.format.channels) {
        std::fprintf(stderr, "encode_bench: the files have different channel counts\n");
        return 1;
    }
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < source.samples.size(); ++i) {
        const double s = source.samples[i];
        const double d = i < decoded.samples.size() ? decoded.samples[i] : 0.0;
        signal += s * s;
        noise += (s - d) * (s - d);
    }
    std::printf("%.2f\n", noise == 0.0 ? 999.0 : 10.0 * std::log10(signal / noise));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    fogbell::PluginHost host;
    host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
    if (argc >= 3 && std::strcmp(argv[1], "speed") == 0) {
        return Speed(host, argc - 2, argv + 2);
    }
    if (argc == 4 && std::strcmp(argv[1], "snr") == 0) {
        return Snr(host, argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: encode_bench speed FILE.wav...\n"
                 "       encode_bench snr SOURCE.wav DECODED.wav\n");
    return 2;
}
