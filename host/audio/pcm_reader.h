// Reading a sound file as 16-bit PCM through the decoder plug-in that serves it, in the channel
// count and rate the caller asks for. The decoder's own format converter does any conversion,
// so a file reads here exactly as it plays and saves elsewhere in the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "host/plugins/plugin_host.h"

namespace fogbell {

// The PCM a read delivers: interleaved 16-bit samples of this many channels at this rate.
struct PcmFormat {
    std::uint32_t channels = 0;
    std::uint32_t rate = 0;
    bool pcm16 = true;  // 16-bit integer samples (a source may hold 8-bit, 24-bit, float, ...)
};

struct PcmReadCallbacks {
    // The source's format and the format the blocks come in; false stops the read (the callee
    // keeps its own reason).
    std::function<bool(const PcmFormat& source, const PcmFormat& output)> begin;
    // frames sample frames of interleaved PCM; false stops the read.
    std::function<bool(const std::int16_t* samples, std::size_t frames)> block;
    // The decoder's position and size (its own units) after each block.
    std::function<void(std::uint32_t position, std::uint32_t size)> progress;
};

inline constexpr std::int32_t kSourceValue = -1;  // "as the source has it"

// Reads the file at path with the decoder serving routeName's extension (routeName is usually
// path itself), asking it for channels and rate (kSourceValue keeps the source's). False with a
// text when the file cannot be opened or read, or when a callback stopped the read (then the
// text is empty and the callback's reason counts).
bool ReadPcmFile(const PluginHost& host, const std::string& routeName, const std::string& path,
                 std::int32_t channels, std::int32_t rate, const PcmReadCallbacks& callbacks,
                 std::string& error);

}  // namespace fogbell
