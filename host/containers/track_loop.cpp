#include "host/containers/track_loop.h"

#include <algorithm>

#include "host/audio/sampler_loop.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/adx_header.h"
#include "text/ascii_text.h"

namespace fogbell {

std::optional<LoopFields> ReadLoopFields(const std::uint8_t* data, std::size_t size) {
    if (const std::optional<encode::AdxHeader> adx = encode::ReadAdxHeader(data, size)) {
        LoopFields fields{LoopFormat::kAdx, adx->totalSamples, adx->rate, std::nullopt};
        if (adx->loop) {
            fields.loop = LoopPoints{adx->loop->start, adx->loop->end};
        }
        return fields;
    }
    if (const std::optional<WaveLoopFacts> wave = ReadWaveLoopFacts(data, size)) {
        return LoopFields{LoopFormat::kWave, wave->frames, wave->rate, wave->loop};
    }
    return std::nullopt;
}

LoopEdit WithLoopFields(const std::uint8_t* data, std::size_t size,
                        const std::optional<LoopPoints>& loop) {
    const std::optional<LoopFields> fields = ReadLoopFields(data, size);
    if (!fields) {
        return {};
    }
    if (loop && (loop->start >= loop->end || loop->end > fields->samples)) {
        return {LoopEditStatus::kDoesNotFit, {}};
    }
    std::optional<std::vector<std::uint8_t>> bytes;
    if (fields->format == LoopFormat::kAdx) {
        std::optional<encode::AdxLoop> adxLoop;
        if (loop) {
            adxLoop = encode::AdxLoop{loop->start, loop->end};
        }
        bytes = encode::WithAdxLoop(data, size, adxLoop);
    } else {
        bytes = WithSamplerLoop(data, size, loop);
    }
    if (!bytes) {
        return {LoopEditStatus::kDoesNotFit, {}};
    }
    return {LoopEditStatus::kOk, std::move(*bytes)};
}

std::string FormatNameOf(const std::string& track) {
    const std::size_t dot = track.find_last_of('.');
    const std::string name =
        dot == std::string::npos ? std::string() : ToUpperAscii(track.substr(dot + 1));
    // AIX containers name their streams "Track N.aixf".
    return name.rfind("AIX", 0) == 0 ? "AIX" : name.empty() ? "this format" : name;
}

}  // namespace fogbell
