// Which file of a folder names which track, for "replace PATH --from DIR"
// (cli/commands/replace_command.cpp).
//
// A file matches a track whose name it is, or whose name it is with ".wav" (or another extension
// of files that go in converted: ".flac", ".mp3", ..., audio_input.h) added or with the extension
// replaced by one (letters in either case).
#pragma once

#include <string>
#include <vector>

namespace fogbell::cli {

// Whether the file name names the track (the rule above); extensions: those of files converted
// (upper case, no dot; WAV alone when not given).
bool FileNamesTrack(const std::string& file, const std::string& track,
                    const std::vector<std::string>& extensions = {"WAV"});

// For each of files, the index into tracks of the one track it names, or -1.
std::vector<int> MatchFiles(const std::vector<std::string>& files,
                            const std::vector<std::string>& tracks,
                            const std::vector<std::string>& extensions = {"WAV"});

}  // namespace fogbell::cli
