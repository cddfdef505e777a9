#include "cli/command_context.h"

#include <cstdio>

#include "cli/cli_output.h"
#include "cli/track_names.h"
#include "host/containers/container_chain.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell::cli {

std::string CommandContext::DecoderFolder() const {
    return Utf8FromPath(PathFromUtf8(pluginRoot) / "decode_plugins");
}

std::string CommandContext::ExplorerFolder() const {
    return Utf8FromPath(PathFromUtf8(pluginRoot) / "explore_plugins");
}

const PluginHost& CommandContext::BoundPlugins() {
    if (!host_) {
        host_ = std::make_unique<PluginHost>();
        host_->LoadDecoderPlugins(DecoderFolder());
        host_->LoadExplorerPlugins(ExplorerFolder());
    }
    return *host_;
}

const PluginHost& CommandContext::Plugins() {
    const PluginHost& host = BoundPlugins();
    if (!leftOutNamed_) {
        leftOutNamed_ = true;
        NameLeftOut(host);
    }
    return host;
}

void CommandContext::OnRun(CLI::App* command, std::function<int()> run) {
    runs_.emplace_back(command, std::move(run));
}

int CommandContext::RunGiven() const {
    for (const auto& [command, run] : runs_) {
        if (command->parsed()) {
            return run();
        }
    }
    return kExitUsage;  // the parser requires a command: not reached
}

void NameLeftOut(const PluginHost& host) {
    // On standard error, so that what a command prints on standard output keeps its form.
    for (const LeftOutLibrary& library : host.LeftOut()) {
        std::fprintf(stderr, "%s: left out %s: %s\n", kProgram, library.path.c_str(),
                     library.reason.c_str());
    }
}

bool RefuseContainer(const PluginHost& host, const std::string& path) {
    const std::string last = SplitChainPath(path).back();
    if (!host.FindExplorer(last) || host.FindDecoder(last)) {
        return false;
    }
    FailText(path + " is a container: name a track (`fogbell-cli list " + path + "`)");
    return true;
}

bool RefuseTrack(const PluginHost& host, const std::string& path) {
    const std::string last = SplitChainPath(path).back();
    if (RowReference(last) || host.FindExplorer(last) || !host.FindDecoder(last)) {
        return false;
    }
    FailText(path + " is a track, not a container: name the container that holds it " +
             "(`fogbell-cli wav " + path + "` saves the track as WAVE)");
    return true;
}

int RefuseUnreadable(const std::string& path) {
    const std::string file = SplitChainPath(path).front();
    if (IsFolder(file)) {
        FailText(file + " is a folder, not a file: name a file inside it");
        return kExitUsage;
    }
    std::string why;
    if (!CanReadFile(file, why)) {
        Fail(file, why);
        return kExitFailed;
    }
    return kExitOk;
}

bool IsSingleFile(const PluginHost& host, const std::string& path) {
    return SplitChainPath(path).size() == 1 && !host.FindExplorer(path) && host.FindDecoder(path);
}

}  // namespace fogbell::cli
