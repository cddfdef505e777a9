#include "host/tracks/output_names.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace fogbell {
namespace {

bool Refused(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || std::strchr("/\\<>:\"|?*", c) != nullptr;
}

std::string AsciiLower(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return name;
}

// name with " (number)" before its extension.
std::string Numbered(const std::string& name, unsigned number) {
    const std::size_t dot = name.rfind('.');
    const std::size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, cut) + " (" + std::to_string(number) + ")" + name.substr(cut);
}

}  // namespace

std::string DistinctFileNames::Take(const std::string& fileName) {
    constexpr unsigned kFirstNumber = 2;  // "a.adx" is the first, "a (2).adx" the next
    std::string name = fileName;
    for (unsigned number = kFirstNumber; !taken_.insert(AsciiLower(name)).second; ++number) {
        name = Numbered(fileName, number);
    }
    return name;
}

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

std::string SafeOutputName(const std::string& trackName) {
    std::string name = trackName;
    std::replace_if(name.begin(), name.end(), Refused, '_');
    if (name.empty()) {
        return "_";
    }
    if (name.find_first_not_of('.') == std::string::npos) {
        name.assign(name.size(), '_');
    }
    return name;
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
