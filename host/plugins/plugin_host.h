// The plug-in host: binds the explorer and decoder libraries found in the two plug-in folders,
// routes names to plug-ins by extension, and opens files through them as sessions
// (plugin_session.h), which make every call into a plug-in.
//
// A library is bound only as the kind its folder holds, and only when its exports fit that
// kind: every entry point the kind needs, and none that only the other kind has (the two kinds
// share names such as fnLoadFile with different parameters, so a library of the wrong kind
// would be called with the wrong ones). What was left out, and why, is kept for the programs'
// listings of their plug-ins.
//
// The registries are filled once at start, on the window thread, before any other thread
// exists, and stay unchanged until UnloadPlugins.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/plugins/plugin_session.h"

namespace fogbell {

// A library in a plug-in folder that was not bound, and why.
struct LeftOutLibrary {
    std::string path;
    std::string reason;
};

class PluginHost {
  public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Binds every library in the folder whose exports fit its kind; the others are left out
    // (LeftOut), without a message. Libraries are tried in file-name order, which decides ties
    // between plug-ins that list the same extension.
    void LoadDecoderPlugins(const std::string& directory);
    void LoadExplorerPlugins(const std::string& directory);
    // Frees every library. Every session must have been closed before.
    void UnloadPlugins();

    // A new, unopened session bound to the first plug-in serving the name's extension, or
    // null. FindExplorer copies the name into path; FindDecoder leaves it empty.
    ExplorerSessionPtr FindExplorer(const std::string& name) const;
    DecoderSessionPtr FindDecoder(const std::string& name) const;

    // Opens a container (from memory when memory is set, else from the path). On failure null
    // and error holds the text to show: "Format unsupported.", the plug-in's error text, or
    // "Error loading file." when it has none.
    ExplorerSessionPtr OpenContainer(const std::string& name, const void* memory,
                                     std::uint32_t size, std::string& error) const;
    // Opens a stream with the source's channels and rate; failures as OpenContainer ("Error
    // loading file." too for memory given to a decoder that cannot load from memory).
    DecoderSessionPtr OpenStream(const std::string& name, const void* memory, std::uint32_t size,
                                 std::string& error) const;
    // Opens the file at path with the decoder serving routeName's extension, asking for this
    // channel count and rate (-1: the source's). Failures as OpenStream.
    DecoderSessionPtr OpenStreamAs(const std::string& routeName, const std::string& path,
                                   std::int32_t channels, std::int32_t rate,
                                   std::string& error) const;

    const std::vector<std::unique_ptr<DecoderPlugin>>& Decoders() const { return decoders_; }
    const std::vector<std::unique_ptr<ExplorerPlugin>>& Explorers() const { return explorers_; }
    // Every extension of every plug-in of the kind, plug-in after plug-in, in list order.
    const std::vector<std::string>& DecoderExtensions() const { return decoderExtensions_; }
    const std::vector<std::string>& ExplorerExtensions() const { return explorerExtensions_; }
    // The libraries of both folders that were not bound, in the order they were tried.
    const std::vector<LeftOutLibrary>& LeftOut() const { return leftOut_; }

  private:
    std::vector<std::unique_ptr<DecoderPlugin>> decoders_;
    std::vector<std::unique_ptr<ExplorerPlugin>> explorers_;
    std::vector<std::string> decoderExtensions_;
    std::vector<std::string> explorerExtensions_;
    std::vector<LeftOutLibrary> leftOut_;
};

// The library name of a plug-in: its file name without the ending ("afsvault").
std::string LibraryName(const PluginRecord& plugin);
// The table of the bound plug-ins that both programs print ("fogbell --formats", "fogbell-cli
// formats"): one line per plug-in, explorers first, "KIND\tLIBRARY\tEXT,EXT\tPATH\n" with KIND
// "explorer" or "decoder" and PATH the library file.
std::string FormatsTable(const PluginHost& host);

// The filter text of an open-file dialog for these extensions:
// "Support Files (*.A;*.B)|*.A;*.B|Audio files (*.A)|*.A|Audio files (*.B)|*.B|", or "" for none.
std::string BuildOpenFilter(const std::vector<std::string>& extensions);

}  // namespace fogbell
