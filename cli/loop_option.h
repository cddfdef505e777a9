// The loop options of "encode" and "replace": --loop START:END (samples per channel: the loop's
// first sample and the first sample after it) and --no-loop, which exclude each other.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "host/containers/track_conversion.h"
#include "host/plugins/plugin_session.h"

namespace fogbell::cli {

struct LoopOptions {
    std::string loop;  // START:END, or empty
    bool noLoop = false;
};

// Adds both options to command, filling options when they are given.
void AddLoopOptions(CLI::App* command, LoopOptions& options);

// "START:END" with decimal START < END, each fitting 32 bits; none otherwise.
std::optional<LoopPoints> ParseLoopText(const std::string& text);

// What the options ask for: the loop given, none, or the loop the input or track keeps.
ReplacementLoop LoopRequestOf(const LoopOptions& options);

// The end of a refusal over a loop that does not fit: what to run instead.
inline constexpr const char* kLoopAdvice =
    "give --loop START:END for a loop that fits, or --no-loop to write the stream without one";

}  // namespace fogbell::cli
