// The commands of fogbell-cli that read tracks: formats, list, extract, wav and decode.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/audio/loop_unrolling.h"
#include "host/plugins/plugin_host.h"

namespace fogbell::cli {

struct OutputOptions {
    std::string directory = ".";
    bool force = false;     // replace existing output files instead of keeping them
    bool json = false;      // one JSON document on standard output instead of one path per line
    bool manifest = false;  // extract: also write the container's manifest (pack_command.h)
};

// Each command returns the program's exit status.
// The bound plug-ins; the libraries left out, with the reason, on standard error.
int Formats(const PluginHost& host, bool json);
// Names the libraries of the plug-in folders that were not bound, and why, on standard error.
void NameLeftOut(const PluginHost& host);
// True, said as a usage error, when PATH's last level is a container that no decoder plays, where
// a track is needed.
bool RefuseContainer(const PluginHost& host, const std::string& path);
// True, said as a usage error, when PATH's last level is a track that no explorer opens, where a
// container is needed.
bool RefuseTrack(const PluginHost& host, const std::string& path);
// A container's rows, or the one row of a single audio file.
int List(const PluginHost& host, const std::string& path, bool json);
int Extract(const PluginHost& host, const std::string& path, const std::vector<std::string>& tracks,
            const OutputOptions& options);
// singleFileOnly: the "decode" command, which takes one audio file and no container. unrolling:
// tracks with loop points are written with their loop unrolled; the others as they are, each
// with a note on standard error.
int SaveWave(const PluginHost& host, const std::string& path,
             const std::vector<std::string>& tracks, const OutputOptions& options,
             bool singleFileOnly, const std::optional<LoopUnrolling>& unrolling = std::nullopt);

// What is wrong with the argument of "wav --loops" (a whole number from 1 to 4294967295) or of
// "--fade" (a decimal number of seconds, 0 or more), as the usage error says it; empty when
// nothing is.
std::string LoopCountProblem(const std::string& text);
std::string FadeProblem(const std::string& text);

}  // namespace fogbell::cli
