// The containers from a file on disk down to a container inside containers: the file opened by
// its explorer, then each level opened from a track of the level above (its bytes stay the
// parent's, so a level is closed before its parent). The names that lead to each level (the
// file's path, then each track name) are kept, so that after a rebuild the chain can be opened
// again from disk. The window walks it one level at a time, the command line by a path of the
// form FILE::TRACK::TRACK, and the replace flow works on its levels.
//
// A chain belongs to one thread (the window's, or the command line's). Workers are handed its
// levels (Levels) and use them while the chain does not change under them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host/plugins/plugin_host.h"

namespace fogbell {

// FILE::TRACK::TRACK split at every "::".
std::vector<std::string> SplitChainPath(const std::string& path);

// How the TRACK parts of a chain path are read, and how texts name a track. Left empty, a part
// is the track's name as it is, and a text names a track by its name.
struct ChainPathReader {
    // The track a part means in its parent; false with the text when it means none.
    std::function<bool(const ExplorerSession& parent, const std::string& part, std::string& track,
                       std::string& error)>
        resolve;
    // The track's name as texts show it.
    std::function<std::string(const std::string& track)> label;
};

class ContainerChain {
  public:
    explicit ContainerChain(const PluginHost& host) : host_(&host) {}
    // Closes every level, innermost first.
    ~ContainerChain();
    ContainerChain(ContainerChain&& other) noexcept = default;
    // Closes this chain's levels (innermost first), then takes the other's.
    ContainerChain& operator=(ContainerChain&& other) noexcept;
    ContainerChain(const ContainerChain&) = delete;
    ContainerChain& operator=(const ContainerChain&) = delete;

    // Closes every level and opens the container file at path as the only one; false with the
    // text (the chain is then empty).
    bool OpenFile(const std::string& path, std::string& error);
    // Closes every level and opens each level of a path FILE::TRACK::TRACK; false with
    // "PART: text" for the level that failed (the levels above it stay open).
    bool OpenPath(const std::string& path, std::string& error, const ChainPathReader& reader = {});

    enum class Entry {
        kOpened,   // the track is the new innermost level
        kNoBytes,  // the innermost level gave no bytes for the track: nothing changed
        kRefused,  // the track's explorer refused its bytes: the level is kept, named but not
                   // open (Innermost is null), so that Leave goes back to its parent
    };
    // Opens the track of the innermost level as a level below it; error says why when it is not
    // kOpened. The innermost level must be open.
    Entry Enter(const std::string& track, std::string& error);
    // Closes the innermost level; its parent becomes the innermost one. Nothing when empty.
    void Leave();
    // Closes every level, innermost first.
    void Close();
    // Closes every level, innermost first, but keeps their names for Reopen: what a rebuild
    // needs before its new file takes the old one's place (Windows renames no file over one
    // that is mapped).
    void Release();
    // Closes every level and opens the same names again from disk, as deep as they open; false
    // with the text of the level that failed (the chain then ends above it, or is empty).
    bool Reopen(std::string& error);
    // Closes every level and opens the levels that names lead to (a file's path, then track
    // names, as Names gives them), as deep as they open; false as Reopen.
    bool OpenNames(const std::vector<std::string>& names, std::string& error);

    bool Empty() const { return levels_.empty(); }
    // The innermost level; null for an empty chain, a level that failed to open or a released
    // chain.
    ExplorerSession* Innermost() const {
        return levels_.empty() ? nullptr : levels_.back().open.get();
    }
    // The levels above the innermost one: 0 for a file on disk alone.
    std::size_t Depth() const { return levels_.empty() ? 0 : levels_.size() - 1; }
    // The open levels, outermost first.
    std::vector<const ExplorerSession*> Levels() const;
    // The names that lead to each level: the file's path, then each track name.
    std::vector<std::string> Names() const;
    // The track names that lead from each level to the next (Names without the path).
    std::vector<std::string> Links() const;

  private:
    struct Level {
        std::string name;
        ExplorerSessionPtr open;  // null only for an innermost level that failed to open
    };
    const PluginHost* host_;
    std::vector<Level> levels_;
};

}  // namespace fogbell
