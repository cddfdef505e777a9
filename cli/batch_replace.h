// "replace PATH --from DIR": every file of a folder whose name matches a track of the container
// goes in as one step, wholly or not at all (ReplaceManyInContainer).
//
// A file matches a track whose name it is, or whose name it is with ".wav" added or with the
// extension replaced by ".wav" (letters in either case). Each file is converted as a single
// replacement is. The outcome is printed as a line per track and a count, or as a JSON document.
#pragma once

#include <string>
#include <vector>

#include "cli/loop_option.h"
#include "host/containers/container_chain.h"
#include "host/plugins/plugin_host.h"

namespace fogbell::cli {

// Whether the file name names the track (the rule above).
bool FileNamesTrack(const std::string& file, const std::string& track);

// For each of files, the index into tracks of the one track it names, or -1.
std::vector<int> MatchFiles(const std::vector<std::string>& files,
                            const std::vector<std::string>& tracks);

// Opens the chain of path and gives its innermost container when its tracks can be replaced;
// null after saying why on standard error.
const ExplorerSession* OpenReplaceableContainer(ContainerChain& chain, const std::string& path);

// Runs the command; the exit status. raw: every file goes in as its bytes are, unconverted and
// unchecked, as "replace --raw" puts one.
int ReplaceFromFolder(const PluginHost& host, const std::string& path, const std::string& folder,
                      bool rebuild, bool json, const LoopOptions& loop, bool raw);

}  // namespace fogbell::cli
