// Turning a WAVE file into a replacement for a track in the track's own format, so that "Replace
// file" can take any WAVE: an ADX track gets an ADX stream at the track's rate, channels and
// cutoff; an XMD track an XMD stream at its rate and channels; a WAVE track 16-bit PCM in its
// format. The WAVE is read by the WAVE decoder plug-in, whose format converter changes the rate
// and the channel count where they differ. A file that is not a WAVE, or a 16-bit PCM WAVE already
// in a WAVE track's format, goes in as it is.
//
// The loop of a WAVE going into an ADX track is never dropped unseen. Unless the caller gives a
// loop or asks for none, the stream carries the loop of the WAVE's sampler chunk
// (sampler_loop.h; moved to the track's rate when the WAVE's differs), else the track's own loop
// when the track has one and it still fits the new length (the note says it was kept). A loop
// that does not fit the new length is refused (kLoopRefused), nothing written: the caller gives a
// loop or asks for none. XMD streams carry no loop: a loop asked for is refused, one of the WAVE
// is left out with a note.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "host/plugins/plugin_host.h"

namespace fogbell {

enum class ConversionOutcome {
    kAsItIs,       // the file needs no conversion: replace with it unchanged
    kConverted,    // outPath holds the replacement in the track's format
    kFailed,       // error says why
    kLoopRefused,  // the loop the stream would keep does not fit its new length; error says so
};

// Which loop a converted ADX stream carries.
enum class LoopChoice {
    kKeep,   // the WAVE's sampler loop, else the track's loop (see above)
    kGiven,  // the loop given (in samples per channel at the track's rate)
    kNone,   // no loop
};

struct ReplacementLoop {
    LoopChoice choice = LoopChoice::kKeep;
    LoopPoints given;  // kGiven
};

// What a long conversion reports while it runs, and how it is given up; both may be left empty.
struct ConversionControl {
    // The WAVE decoder's position and size (its own units) after each block it read.
    std::function<void(std::uint32_t position, std::uint32_t size)> progress;
    // Set: the conversion stops before its next block and fails.
    const std::atomic<bool>* stop = nullptr;
};

// Decides for the track named track of container (an open explorer) and the replacement file,
// and writes the converted replacement to outPath when one is needed. note (when given) gets a
// sentence for the user about the loop when one was kept from the track or left out.
ConversionOutcome ConvertForTrack(const PluginHost& host, const ExplorerSession& container,
                                  const std::string& track, const std::string& file,
                                  const std::string& outPath, std::string& error,
                                  const ConversionControl& control = {},
                                  const ReplacementLoop& loop = {}, std::string* note = nullptr);

}  // namespace fogbell
