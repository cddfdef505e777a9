// The track that "loop" and "play --seam" work on: a single audio file, or a track of a
// container (PATH TRACK, or FILE::TRACK[::TRACK...] whose last level is the track), with its
// bytes, its loop as its own fields or its decoder give it, and its sound decoded whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/containers/container_chain.h"
#include "host/plugins/plugin_host.h"

namespace fogbell::cli {

struct LoopTrack {
    bool single = false;  // a single audio file rather than a container's track
    std::string file;     // the single file's path
    std::string name;     // the container's name of the track
    std::string shown;    // the track's name as texts give it
    std::vector<std::uint8_t> bytes;
};

// Opens the track that path and the TRACK argument name (the chain stays open for a write);
// false after saying why on standard error, with status the exit status to give.
bool OpenLoopTrack(const PluginHost& host, const std::string& path, const std::string& argument,
                   ContainerChain& chain, LoopTrack& track, int& status);

// What is known of a track's loop: its samples per channel, its rate and the loop.
struct LoopFacts {
    std::uint32_t samples = 0;
    std::uint32_t rate = 0;
    std::optional<LoopPoints> loop;
};

// The facts of a track: from its loop fields when it has them, else from its decoder (the loop
// it reports, and the samples it decodes). False after saying why on standard error.
bool ReadFacts(const PluginHost& host, const LoopTrack& track, LoopFacts& facts);

// The sound of a track decoded whole: interleaved 16-bit PCM in the decoder's output format.
struct DecodedSound {
    std::vector<std::int16_t> pcm;
    WAVEFORMATEX format{};
    std::size_t Frames() const { return format.nChannels == 0 ? 0 : pcm.size() / format.nChannels; }
};
// False after saying why on standard error.
bool DecodeTrack(const PluginHost& host, const LoopTrack& track, DecodedSound& sound);

// A position as minutes, seconds and milliseconds: "0:02.000".
std::string TimeText(std::uint64_t sample, std::uint32_t rate);
// "START:END (0:02.000–0:10.000)".
std::string LoopText(const LoopPoints& loop, std::uint32_t rate);
// Writes to file the seam of the track that path and track name: seconds before the loop's end,
// then seconds from its start, as 16-bit PCM in the track's format. False after saying why.
bool WriteSeam(const PluginHost& host, const std::string& path, const std::string& trackName,
               double seconds, const std::string& file);

}  // namespace fogbell::cli
