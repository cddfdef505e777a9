// Containers reached through a path of the form FILE::TRACK::TRACK: the file on disk, then each
// named track opened as a container from its parent's bytes. Each TRACK is a name as "list"
// prints it, or #N for the N-th row of its parent. The chain keeps every level open
// and closes them innermost first.
#pragma once

#include <string>
#include <vector>

#include "host/core/plugin_host.h"

namespace fogbell::cli {

// FILE::TRACK::TRACK split at every "::".
std::vector<std::string> SplitChainPath(const std::string& path);

class ContainerChain {
  public:
    explicit ContainerChain(const PluginHost& host) : host_(host) {}
    ~ContainerChain();
    ContainerChain(const ContainerChain&) = delete;
    ContainerChain& operator=(const ContainerChain&) = delete;

    // Closes every level, innermost first (also done at destruction).
    void Close();
    // Opens every level of the path; false with the text of the level that failed.
    bool Open(const std::string& path, std::string& error);
    // The innermost container.
    ExplorerSession& Innermost() const { return *levels_.back(); }
    // Every open level, outermost first.
    std::vector<const ExplorerSession*> Levels() const;
    // The track names that lead from each level to the next (one fewer than the levels).
    const std::vector<std::string>& Links() const { return links_; }

  private:
    const PluginHost& host_;
    std::vector<ExplorerSessionPtr> levels_;
    std::vector<std::string> links_;
};

}  // namespace fogbell::cli
