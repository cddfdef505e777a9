#include "cli/batch_replace.h"

#include "text/ascii_text.h"

namespace fogbell::cli {

bool FileNamesTrack(const std::string& file, const std::string& track,
                    const std::vector<std::string>& extensions) {
    if (EqualNoCaseAscii(file, track)) {
        return true;
    }
    const std::size_t dot = track.rfind('.');
    for (const std::string& extension : extensions) {
        if (EqualNoCaseAscii(file, track + "." + extension) ||
            (dot != std::string::npos && dot != 0 &&
             EqualNoCaseAscii(file, track.substr(0, dot) + "." + extension))) {
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
            if (EqualNoCaseAscii(files[f], tracks[t])) {
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
