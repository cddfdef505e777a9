// Unpack and pack: "extract --manifest" writes DIR/fogbell-manifest.json beside the extracted
// tracks, and "pack DIR OUT" builds a container from a folder.
//
// The manifest is this program's own JSON document around the explorer's layout:
//   {"fogbell-manifest": 1, "kind": "afsvault", "files": ["a.adx", ...], "layout": {...}}
// "kind" names the explorer library that wrote the layout and packs it; "files" gives, for each
// member in the layout's order, the name of its file in DIR as extract wrote it; "layout" is the
// explorer's own description (fnGetLayout), which only the explorer reads. A folder without a
// manifest packs as an AFS archive of its files in name order (the AFS explorer's plain layout).
#pragma once

#include <string>
#include <vector>

#include "host/plugins/plugin_host.h"

namespace fogbell::cli {

inline constexpr const char* kManifestName = "fogbell-manifest.json";

// Writes the manifest of the open container into directory, with files[i] the file written for
// its i-th track (list order); an existing manifest is kept unless force. False with a text
// (an explorer that cannot describe its layout, a track without its one file). Prints the
// manifest's path unless quiet (standard output holds a JSON document).
bool WriteManifest(const ExplorerSession& container, const std::vector<std::string>& files,
                   const std::string& directory, bool force, bool quiet, std::string& error);

// "pack DIR OUT": the exit status.
int Pack(const PluginHost& host, const std::string& directory, const std::string& out, bool force);

}  // namespace fogbell::cli
