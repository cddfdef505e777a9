#include "host/containers/container_chain.h"

#include <utility>

namespace fogbell {
namespace {

constexpr const char* kNoBytes = "Error loading file.";

}  // namespace

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

ContainerChain& ContainerChain::operator=(ContainerChain&& other) noexcept {
    if (this != &other) {
        Close();
        host_ = other.host_;
        levels_ = std::move(other.levels_);
        other.levels_.clear();
    }
    return *this;
}

bool ContainerChain::OpenFile(const std::string& path, std::string& error) {
    Close();
    ExplorerSessionPtr file = host_->OpenContainer(path, nullptr, 0, error);
    if (!file) {
        return false;
    }
    levels_.push_back({path, std::move(file)});
    return true;
}

bool ContainerChain::OpenPath(const std::string& path, std::string& error,
                              const ChainPathReader& reader) {
    const std::vector<std::string> parts = SplitChainPath(path);
    if (!OpenFile(parts.front(), error)) {
        error = parts.front() + ": " + error;
        return false;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::string track = parts[i];
        if (reader.resolve && !reader.resolve(*Innermost(), parts[i], track, error)) {
            error = parts[i] + ": " + error;
            return false;
        }
        const Entry entry = Enter(track, error);
        if (entry != Entry::kOpened) {
            if (entry == Entry::kRefused) {
                Leave();
            }
            error = (reader.label ? reader.label(track) : track) + ": " + error;
            return false;
        }
    }
    return true;
}

ContainerChain::Entry ContainerChain::Enter(const std::string& track, std::string& error) {
    // The bytes stay held until the nested container has taken them.
    const TrackBytes bytes = Innermost()->Track(track);
    if (!bytes) {
        // Never fall back to opening the bare track name as a path.
        error = bytes.TextOr(kNoBytes);
        return Entry::kNoBytes;
    }
    ExplorerSessionPtr nested = host_->OpenContainer(track, bytes.Data(), bytes.Size(), error);
    const bool opened = nested != nullptr;
    levels_.push_back({track, std::move(nested)});
    return opened ? Entry::kOpened : Entry::kRefused;
}

void ContainerChain::Leave() {
    if (!levels_.empty()) {
        CloseOpenedFile(levels_.back().open);
        levels_.pop_back();
    }
}

void ContainerChain::Close() {
    while (!levels_.empty()) {
        Leave();
    }
}

void ContainerChain::Release() {
    for (auto level = levels_.rbegin(); level != levels_.rend(); ++level) {
        CloseOpenedFile(level->open);
    }
}

bool ContainerChain::Reopen(std::string& error) {
    return OpenNames(Names(), error);
}

bool ContainerChain::OpenNames(const std::vector<std::string>& names, std::string& error) {
    if (names.empty()) {
        Close();
        return true;
    }
    if (!OpenFile(names.front(), error)) {
        return false;
    }
    for (std::size_t i = 1; i < names.size(); ++i) {
        const Entry entry = Enter(names[i], error);
        if (entry != Entry::kOpened) {
            if (entry == Entry::kRefused) {
                Leave();  // the deepest level that opens is the innermost one
            }
            return false;
        }
    }
    return true;
}

std::vector<const ExplorerSession*> ContainerChain::Levels() const {
    std::vector<const ExplorerSession*> levels;
    for (const Level& level : levels_) {
        if (level.open) {
            levels.push_back(level.open.get());
        }
    }
    return levels;
}

std::vector<std::string> ContainerChain::Names() const {
    std::vector<std::string> names;
    for (const Level& level : levels_) {
        names.push_back(level.name);
    }
    return names;
}

std::vector<std::string> ContainerChain::Links() const {
    std::vector<std::string> names = Names();
    if (!names.empty()) {
        names.erase(names.begin());
    }
    return names;
}

}  // namespace fogbell
