// Output file names made from track names. Track names come from the containers' own bytes, so
// they must never lead a write outside the chosen folder.
#pragma once

#include <string>

namespace fogbell {

// The track name as one safe file name: path separators ("/" and "\"), control characters and
// the characters that common file systems refuse (< > : " | ? *) become "_"; a name that is
// empty or made of dots only ("." or "..") has every character replaced by "_" ("_" when
// empty). Any other name is kept as it is.
std::string SafeOutputName(const std::string& trackName);

// directory + separator + SafeOutputName(trackName) + suffix.
std::string OutputPath(const std::string& directory, const std::string& trackName,
                       const std::string& suffix = "");

}  // namespace fogbell
