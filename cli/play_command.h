// "fogbell-cli play": one audio file, or one track of a container (nested paths too), played
// through the core and the playback engine, as the window plays it.
#pragma once

#include <optional>
#include <string>

#include "host/playback/sound_output.h"

namespace fogbell::cli {

struct PlayRequest {
    std::string pluginRoot;  // holds decode_plugins/ and explore_plugins/
    std::string path;        // FILE, or FILE::TRACK[::TRACK...] for a container in a container
    std::string track;       // "" for a single audio file; a printed name or #N
    bool loop = false;
    double startSeconds = 0;  // where the sound begins (a format that cannot seek begins at 0)
    int volume = 10000;       // the slider's 5000..10000
    SoundOutputOptions output;
};

// Plays until the last block has been heard (0), the track cannot be played (1, the status
// text on standard error) or SIGINT/SIGTERM stops it cleanly (130).
int Play(const PlayRequest& request);

// A text of the sound layer, with what to do added when it says no device could be opened.
std::string WithSoundAdvice(const std::string& text);

}  // namespace fogbell::cli
