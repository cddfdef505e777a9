// What the commands of fogbell-cli share while one of them runs: the plug-in folders and the
// host that binds them, the command given with the function that runs it, and the checks every
// command makes of the plug-ins and of PATH before it starts.
//
// Each command registers its own subcommand and options (cli/commands/commands.h) and leaves
// its run with the context; once the arguments are parsed, the context runs the one given.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/plugins/plugin_host.h"

namespace fogbell::cli {

class CommandContext {
  public:
    explicit CommandContext(std::string root) : pluginRoot(std::move(root)) {}

    // Holds decode_plugins/ and explore_plugins/ ("--plugins" sets it).
    std::string pluginRoot;
    // The two plug-in folders under pluginRoot, as texts name them.
    std::string DecoderFolder() const;
    std::string ExplorerFolder() const;

    // The plug-ins of both folders, bound on first use; nothing is said.
    const PluginHost& BoundPlugins();
    // BoundPlugins(), with the libraries that were left out named on standard error: what
    // every command but "formats" says first.
    const PluginHost& Plugins();

    // run gives command's exit status when command is the one given.
    void OnRun(CLI::App* command, std::function<int()> run);
    // Runs the command given (after parsing): its exit status.
    int RunGiven() const;

  private:
    std::unique_ptr<PluginHost> host_;
    bool leftOutNamed_ = false;
    std::vector<std::pair<CLI::App*, std::function<int()>>> runs_;
};

// Names the libraries of the plug-in folders that were not bound, and why, on standard error.
void NameLeftOut(const PluginHost& host);

// True, said as a usage error, when PATH's last level is a container that no decoder plays,
// where a track is needed.
bool RefuseContainer(const PluginHost& host, const std::string& path);
// True, said as a usage error, when PATH's last level is a track that no explorer opens, where a
// container is needed.
bool RefuseTrack(const PluginHost& host, const std::string& path);

// The exit status of a file argument that cannot be read, after saying why: 2 for a folder
// named as a file, 1 with the system's reason for a file that is missing or may not be read;
// 0 when it can be read. For a PATH the file is its first level (FILE of FILE::TRACK).
int RefuseUnreadable(const std::string& path);

// PATH names one audio file on disk rather than a container (an AIX file is both: it lists).
bool IsSingleFile(const PluginHost& host, const std::string& path);

}  // namespace fogbell::cli
