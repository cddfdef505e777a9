// Output paths made from track names: the safe, distinct file names of text/file_names.h in the
// chosen folder.
#pragma once

#include <string>
#include <vector>

#include "text/file_names.h"

namespace fogbell {

// directory + separator + SafeOutputName(trackName) + suffix.
std::string OutputPath(const std::string& directory, const std::string& trackName,
                       const std::string& suffix = "");

// A track and the file it is written to.
struct TrackOutput {
    std::string track;
    std::string path;
};

// The files of tracks written in one run into directory: OutputPath of each track with suffix,
// numbered where two would share a file (DistinctFileNames).
std::vector<TrackOutput> DistinctOutputPaths(const std::vector<std::string>& tracks,
                                             const std::string& directory,
                                             const std::string& suffix = "");

}  // namespace fogbell
