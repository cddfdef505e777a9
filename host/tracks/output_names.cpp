#include "host/tracks/output_names.h"

#include <filesystem>
#include <string>

namespace fogbell {

std::vector<TrackOutput> DistinctOutputPaths(const std::vector<std::string>& tracks,
                                             const std::string& directory,
                                             const std::string& suffix) {
    DistinctFileNames names;
    std::vector<TrackOutput> outputs;
    outputs.reserve(tracks.size());
    for (const std::string& track : tracks) {
        // A safe name stays as it is: OutputPath keeps the name taken.
        outputs.push_back(
            {track, OutputPath(directory, names.Take(SafeOutputName(track) + suffix))});
    }
    return outputs;
}

std::string OutputPath(const std::string& directory, const std::string& trackName,
                       const std::string& suffix) {
    std::string path = directory;
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    // Windows takes "/" as a separator too.
    const bool endsInSeparator =
        !path.empty() && (path.back() == separator || (separator == '\\' && path.back() == '/'));
    if (!endsInSeparator) {
        path += separator;
    }
    return path + SafeOutputName(trackName) + suffix;
}

}  // namespace fogbell
