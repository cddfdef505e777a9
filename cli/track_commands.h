// The commands of fogbell-cli that read tracks: formats, list, extract, wav and decode.
#pragma once

#include <string>
#include <vector>

#include "host/core/plugin_host.h"

namespace fogbell::cli {

struct OutputOptions {
    std::string directory = ".";
    bool force = false;  // replace existing output files instead of keeping them
    bool json = false;   // one JSON document on standard output instead of one path per line
};

// Each command returns the program's exit status.
// The bound plug-ins; the libraries left out, with the reason, on standard error.
int Formats(const PluginHost& host, bool json);
// A container's rows, or the one row of a single audio file.
int List(const PluginHost& host, const std::string& path, bool json);
int Extract(const PluginHost& host, const std::string& path, const std::vector<std::string>& tracks,
            const OutputOptions& options);
// singleFileOnly: the "decode" command, which takes one audio file and no container.
int SaveWave(const PluginHost& host, const std::string& path,
             const std::vector<std::string>& tracks, const OutputOptions& options,
             bool singleFileOnly);

}  // namespace fogbell::cli
