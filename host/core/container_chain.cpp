#include "cli/container_chain.h"

#include "cli/track_names.h"

namespace fogbell::cli {

std::vector<std::string> SplitChainPath(const std::string& path) {
    static constexpr char kSeparator[] = "::";
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = path.find(kSeparator, start)) != std::string::npos;
         start = at + sizeof kSeparator - 1) {
        parts.push_back(path.substr(start, at - start));
    }
    parts.push_back(path.substr(start));
    return parts;
}

ContainerChain::~ContainerChain() {
    Close();
}

void ContainerChain::Close() {
    while (!levels_.empty()) {
        CloseOpenedFile(levels_.back());
        levels_.pop_back();
    }
}

bool ContainerChain::Open(const std::string& path, std::string& error) {
    const std::vector<std::string> parts = SplitChainPath(path);
    ExplorerSessionPtr file = host_.OpenContainer(parts.front(), nullptr, 0, error);
    if (!file) {
        error = parts.front() + ": " + error;
        return false;
    }
    levels_.push_back(std::move(file));
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const ExplorerSession& parent = *levels_.back();
        std::string name;
        if (!ResolveTrack(parent, parts[i], name, error)) {
            error = parts[i] + ": " + error;
            return false;
        }
        const TrackBytes track = parent.Track(name);
        if (!track) {
            error = PrintedName(name) + ": " + track.TextOr("Error loading file.");
            return false;
        }
        ExplorerSessionPtr nested = host_.OpenContainer(name, track.Data(), track.Size(), error);
        if (!nested) {
            error = PrintedName(name) + ": " + error;
            return false;
        }
        levels_.push_back(std::move(nested));
        links_.push_back(name);
    }
    return true;
}

std::vector<const ExplorerSession*> ContainerChain::Levels() const {
    std::vector<const ExplorerSession*> levels;
    for (const ExplorerSessionPtr& level : levels_) {
        levels.push_back(level.get());
    }
    return levels;
}

}  // namespace fogbell::cli
