// The loudness option of "replace" and "encode": --loudness match|LUFS|off (off unless given).
// match gives a replacement the integrated loudness of the track it replaces; a number (LUFS,
// from -70 to 0) sets it.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "host/containers/track_conversion.h"

namespace fogbell::cli {

// Adds the option to command, filling text when it is given; withMatch: "match" is taken.
CLI::Option* AddLoudnessOption(CLI::App* command, std::string& text, bool withMatch);

// What the option's text asks for; none for a text it does not take.
std::optional<LoudnessRequest> ParseLoudness(const std::string& text);

// Says on standard error, for the file named, what LoudnessNote says when the loudness reached
// is below the one asked for or none was applied; prints the note on standard output otherwise,
// when printNote (a batch gives it with the track's line instead).
void SayLoudness(const std::string& file, const LoudnessRequest& request,
                 const LoudnessOutcome& outcome, bool printNote = true);

}  // namespace fogbell::cli
