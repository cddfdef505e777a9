// Output file names made from track names. Track names come from the containers' own bytes, so
// they must never lead a write outside the chosen folder.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace fogbell {

// The track name as one safe file name: path separators ("/" and "\"), control characters and
// the characters that common file systems refuse (< > : " | ? *) become "_"; a name that is
// empty or made of dots only ("." or "..") has every character replaced by "_" ("_" when
// empty). Any other name is kept as it is.
std::string SafeOutputName(const std::string& trackName);

// directory + separator + SafeOutputName(trackName) + suffix.
std::string OutputPath(const std::string& directory, const std::string& trackName,
                       const std::string& suffix = "");

// The file names of one run of outputs (an extraction, a save of several tracks), so that no two
// tracks of the run are written to one file, even where their names are equal or become equal
// as safe names ("a:b" and "a?b") or differ only in case (one file on Windows).
class DistinctFileNames {
  public:
    // fileName when no name taken before equals it without regard to ASCII case, else fileName
    // with " (N)" before its extension (the part from its last dot, unless that dot starts the
    // name), N the first number from 2 that gives a free name. The name returned is taken.
    std::string Take(const std::string& fileName);

  private:
    std::unordered_set<std::string> taken_;  // in ASCII lower case
};

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
