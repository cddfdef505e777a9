#include "cli/batch_replace.h"

#include <algorithm>

namespace fogbell::cli {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

}  // namespace

bool FileNamesTrack(const std::string& file, const std::string& track,
                    const std::vector<std::string>& extensions) {
    if (EqualNoCase(file, track)) {
        return true;
    }
    const std::size_t dot = track.rfind('.');
    for (const std::string& extension : extensions) {
        if (EqualNoCase(file, track + "." + extension) ||
            (dot != std::string::npos && dot != 0 &&
             EqualNoCase(file, track.substr(0, dot) + "." + extension))) {
            return true;
        }
    }
    return false;
}

std::vector<int> MatchFiles(const std::vector<std::string>& files,
                            const std::vector<std::string>& tracks,
                            const std::vector<std::string>& extensions) {
    std::vector<int> matches(files.size(), -1);
    for (std::size_t f = 0; f < files.size(); ++f) {
        // The exact name first: "a.adx" names track "a.adx" even beside a track "a.wav".
        for (std::size_t t = 0; t < tracks.size() && matches[f] < 0; ++t) {
            if (EqualNoCase(files[f], tracks[t])) {
                matches[f] = static_cast<int>(t);
            }
        }
        for (std::size_t t = 0; t < tracks.size() && matches[f] < 0; ++t) {
            if (FileNamesTrack(files[f], tracks[t], extensions)) {
                matches[f] = static_cast<int>(t);
            }
        }
    }
    return matches;
}

}  // namespace fogbell::cli
