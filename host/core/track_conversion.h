// Turning a WAVE file into a replacement for a track in the track's own format, so that "Replace
// file" can take any WAVE: an ADX track gets an ADX stream at the track's rate, channels and
// cutoff; an XMD track an XMD stream at its rate and channels; a WAVE track 16-bit PCM in its
// format. The WAVE is read by the WAVE decoder plug-in, whose format converter changes the rate
// and the channel count where they differ. A file that is not a WAVE, or a 16-bit PCM WAVE already
// in a WAVE track's format, goes in as it is.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "host/core/plugin_host.h"

namespace fogbell {

enum class ConversionOutcome {
    kAsItIs,     // the file needs no conversion: replace with it unchanged
    kConverted,  // outPath holds the replacement in the track's format
    kFailed,     // error says why
};

// What a long conversion reports while it runs, and how it is given up; both may be left empty.
struct ConversionControl {
    // The WAVE decoder's position and size (its own units) after each block it read.
    std::function<void(std::uint32_t position, std::uint32_t size)> progress;
    // Set: the conversion stops before its next block and fails.
    const std::atomic<bool>* stop = nullptr;
};

// Decides for the track named track of container (an open explorer) and the replacement file,
// and writes the converted replacement to outPath when one is needed.
ConversionOutcome ConvertForTrack(const PluginHost& host, const ExplorerSession& container,
                                  const std::string& track, const std::string& file,
                                  const std::string& outPath, std::string& error,
                                  const ConversionControl& control = {});

}  // namespace fogbell
