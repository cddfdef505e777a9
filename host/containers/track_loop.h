// A track's loop points as its own bytes keep them, changed without re-encoding: the loop block of
// an ADX header (adx_header.h) and the sampler chunk of a WAVE file (sampler_loop.h). The audio
// frames stay byte for byte as they are, so the decoded sound is the same before and after;
// only a header without room for the loop fields grows by a few bytes. Other formats (XMD, AIX)
// keep no loop points of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/plugins/plugin_session.h"

namespace fogbell {

enum class LoopFormat {
    kAdx,   // the header's loop block
    kWave,  // the first loop of the sampler chunk
};

// What a track's bytes say of its loop.
struct LoopFields {
    LoopFormat format = LoopFormat::kAdx;
    std::uint32_t samples = 0;  // samples per channel of the stream
    std::uint32_t rate = 0;
    std::optional<LoopPoints> loop;
};

// The loop fields of an ADX stream or a RIFF WAVE of size bytes; none for other bytes.
std::optional<LoopFields> ReadLoopFields(const std::uint8_t* data, std::size_t size);

enum class LoopEditStatus {
    kOk,
    kNoLoopFields,  // the bytes are neither ADX nor WAVE
    kDoesNotFit,    // the loop is empty or ends past the stream, or the bytes cannot take it
};

struct LoopEdit {
    LoopEditStatus status = LoopEditStatus::kNoLoopFields;
    std::vector<std::uint8_t> bytes;  // kOk: the track with its new loop fields
};

// The track of size bytes with its loop set to loop, or with none when loop is none.
LoopEdit WithLoopFields(const std::uint8_t* data, std::size_t size,
                        const std::optional<LoopPoints>& loop);

// The name of a track's format for texts, from its name's extension ("XMD", "AIX", ...).
std::string FormatNameOf(const std::string& track);

}  // namespace fogbell
