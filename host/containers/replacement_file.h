// The file that a replacement writes into a track: the given file, or, for a sound file that is not
// in the track's format (a WAVE, FLAC, MP3, ...), the sound converted into the track's format
// (track_conversion.h) in a temporary file that lives as long as this object. The file is refused
// when the decoder that plays the track cannot read it (replacement_check.h), unless it is meant
// raw: its bytes as they are, neither converted nor checked.
#pragma once

#include <string>

#include "host/containers/track_conversion.h"
#include "host/plugins/plugin_host.h"

namespace fogbell {

class ConvertedReplacement {
  public:
    ConvertedReplacement(const PluginHost& host, const ExplorerSession& container,
                         const std::string& track, const std::string& file,
                         const ConversionControl& control = {}, const ReplacementLoop& loop = {},
                         bool raw = false, const LoudnessRequest& loudness = {});
    ~ConvertedReplacement();
    ConvertedReplacement(const ConvertedReplacement&) = delete;
    ConvertedReplacement& operator=(const ConvertedReplacement&) = delete;

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    // Not Ok because the loop the stream would keep does not fit it (kLoopRefused).
    bool LoopRefused() const { return loopRefused_; }
    // Not Ok because the track's decoder cannot read the file (Error says what it is).
    bool Unplayable() const { return unplayable_; }
    // A sentence about the loop for the user (ConvertForTrack's note), or empty.
    const std::string& Note() const { return note_; }
    // What the conversion did about the loudness asked for (LoudnessNote words it).
    const LoudnessOutcome& Loudness() const { return loudness_; }
    // The file to replace the track with.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string temporary_;
    std::string error_;
    std::string note_;
    LoudnessOutcome loudness_;
    bool loopRefused_ = false;
    bool unplayable_ = false;
};

}  // namespace fogbell
