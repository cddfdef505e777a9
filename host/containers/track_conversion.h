// Turning a sound file into a replacement for a track in the track's own format, so that "Replace
// file" can take any WAVE, FLAC, Ogg, Opus, MP3 or AIFF file, or any other a decoder plug-in
// reads: an ADX track gets an ADX stream at the track's rate, channels and cutoff; an XMD track
// an XMD stream at its rate and channels; a WAVE track 16-bit PCM in its format. The file is read
// by the decoder plug-in that serves it (a WAVE by the WAVE decoder whatever its name; others by
// extension or by their first bytes, audio_input.h), whose format converter changes the rate and
// the channel count where they differ. A file no decoder reads, an ADX or XMD file (a stream made
// for the game), and a 16-bit PCM WAVE already in a WAVE track's format go in as they are.
//
// The loop of a file going into an ADX track is never dropped unseen. Unless the caller gives a
// loop or asks for none, the stream carries the file's own loop (a WAVE's sampler chunk,
// sampler_loop.h, or the loop points its decoder reports, such as the loop tags of a FLAC or Ogg
// file; moved to the track's rate when the file's differs), else the track's own loop when the
// track has one and it still fits the new length (the note says it was kept). A loop that does
// not fit the new length is refused (kLoopRefused), nothing written: the caller gives a loop or
// asks for none. XMD streams carry no loop: a loop asked for is refused, the file's is left out
// with a note.
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
    kKeep,   // the file's own loop, else the track's loop (see above)
    kGiven,  // the loop given (in samples per channel at the track's rate)
    kNone,   // no loop
};

struct ReplacementLoop {
    LoopChoice choice = LoopChoice::kKeep;
    LoopPoints given;  // kGiven
};

// How loud the converted replacement is made: left as it is, given the integrated loudness of the
// track it replaces, or set to a loudness in LUFS. The gain is applied to the PCM before it is
// encoded and held down so that the true peak stays at or below -1 dBTP (loudness_gain.h): the
// result may then be quieter than asked, never clipped. A file that goes in as it is gets none.
enum class LoudnessChoice { kOff, kMatch, kTarget };

struct LoudnessRequest {
    LoudnessChoice choice = LoudnessChoice::kOff;
    double targetLufs = 0.0;  // kTarget
};

// What a conversion did about loudness.
struct LoudnessOutcome {
    bool applied = false;  // a gain was worked out and applied (it may be 0 dB)
    double gainDb = 0.0;
    double askedLufs = 0.0;   // the loudness asked for (the track's, for kMatch)
    double resultLufs = 0.0;  // the replacement's integrated loudness after the gain
    bool limited = false;     // the true peak held the gain down: resultLufs < askedLufs
    std::string unmeasured;   // why no gain was applied though one was asked for, or ""
};

// What a long conversion reports while it runs, and how it is given up; both may be left empty.
struct ConversionControl {
    // The file decoder's position and size (its own units) after each block it read.
    std::function<void(std::uint32_t position, std::uint32_t size)> progress;
    // Set: the conversion stops before its next block and fails.
    const std::atomic<bool>* stop = nullptr;
};

// Decides for the track named track of container (an open explorer) and the replacement file,
// and writes the converted replacement to outPath when one is needed. note (when given) gets a
// sentence for the user about the loop when one was kept from the track or left out.
// loudness says how loud the replacement is made; what was done goes into loudnessOutcome (when
// given).
ConversionOutcome ConvertForTrack(const PluginHost& host, const ExplorerSession& container,
                                  const std::string& track, const std::string& file,
                                  const std::string& outPath, std::string& error,
                                  const ConversionControl& control = {},
                                  const ReplacementLoop& loop = {}, std::string* note = nullptr,
                                  const LoudnessRequest& loudness = {},
                                  LoudnessOutcome* loudnessOutcome = nullptr);

// A sentence for the user about the gain applied ("Gain +3.1 dB to -23.0 LUFS."), or why none
// was though one was asked for, or "".
std::string LoudnessNote(const LoudnessOutcome& outcome);

}  // namespace fogbell
