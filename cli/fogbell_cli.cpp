// fogbell-cli: the core's commands for scripts and batch work.
//
//   fogbell-cli formats
//   fogbell-cli list PATH [--json]
//   fogbell-cli extract PATH [TRACK...] [-o DIR]
//   fogbell-cli wav PATH [TRACK...] [-o DIR]
//   fogbell-cli replace PATH TRACK FILE
//
// PATH is a container file, or FILE::TRACK[::TRACK...] for a container inside a container; for
// "wav" it may also be a single audio file. Exit status: 0 when everything succeeded, 1 when
// something failed, 2 for a usage error.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h: its shell header needs the types windows.h declares.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/container_chain.h"
#include "cli/json_text.h"
#include "host/core/native_path.h"
#include "host/core/output_names.h"
#include "host/core/plugin_host.h"
#include "host/core/track_jobs.h"
#include "host/core/track_listing.h"

namespace fogbell::cli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "fogbell-cli";

// Progress on standard error, only when it is a terminal.
class Progress {
  public:
#if defined(_WIN32)
    Progress() : enabled_(_isatty(_fileno(stderr)) != 0) {}
#else
    Progress() : enabled_(isatty(STDERR_FILENO) != 0) {}
#endif
    void Show(std::size_t index, std::size_t count, const std::string& name) {
        if (enabled_) {
            std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", index + 1, count, name.c_str());
            std::fflush(stderr);
            shown_ = true;
        }
    }
    void Done() {
        if (shown_) {
            std::fputs("\r\033[K", stderr);
            shown_ = false;
        }
    }

  private:
    bool enabled_;
    bool shown_ = false;
};

void Fail(const std::string& what, const std::string& why) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, what.c_str(), why.c_str());
}

// A container chain that could not be opened (its text already names the level).
void FailChain(const std::string& error) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
}

std::string ProgramDirectory() {
#if defined(_WIN32)
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length == 0) {
            return ".";
        }
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);  // cut short: a longer path
    }
    return Utf8FromPath(std::filesystem::path(self).parent_path());
#else
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
#endif
}

std::string Join(const char* const* list) {
    std::string text;
    for (const char* const* p = list; p && *p && **p; ++p) {
        text += (text.empty() ? "" : ",") + std::string(*p);
    }
    return text;
}

std::string LibraryName(const PluginRecord& plugin) {
    return Utf8FromPath(PathFromUtf8(plugin.libraryPath).stem());
}

int Formats(const PluginHost& host) {
    for (const auto& explorer : host.Explorers()) {
        std::printf("explorer\t%s\t%s\n", LibraryName(*explorer).c_str(),
                    Join(explorer->extensionList).c_str());
    }
    for (const auto& decoder : host.Decoders()) {
        std::printf("decoder\t%s\t%s\n", LibraryName(*decoder).c_str(),
                    Join(decoder->extensionList).c_str());
    }
    return kExitOk;
}

std::optional<std::vector<TrackRow>> Rows(const PluginHost& host, const OpenedFile& container,
                                          const std::string& path) {
    auto rows = ListTracks(host, container);
    if (!rows) {
        Fail(path, container.plugin->ErrorText("the container gives no track list"));
    }
    return rows;
}

int List(const PluginHost& host, const std::string& path, bool json) {
    ContainerChain chain(host);
    std::string error;
    if (!chain.Open(path, error)) {
        FailChain(error);
        return kExitFailed;
    }
    const auto rows = Rows(host, chain.Innermost(), path);
    if (!rows) {
        return kExitFailed;
    }
    if (json) {
        std::printf("[");
        for (std::size_t i = 0; i < rows->size(); ++i) {
            const TrackRow& row = (*rows)[i];
            std::printf("%s\n  {\"name\": %s, \"length\": %s, \"bitrate\": %s}", i ? "," : "",
                        JsonString(row.name).c_str(), JsonString(row.length).c_str(),
                        JsonString(row.bitrate).c_str());
        }
        std::printf("%s]\n", rows->empty() ? "" : "\n");
    } else {
        for (const TrackRow& row : *rows) {
            std::printf("%s\t%s\t%s\n", row.name.c_str(), row.length.c_str(), row.bitrate.c_str());
        }
    }
    return kExitOk;
}

bool CheckDirectory(const std::string& directory) {
    std::error_code error;
    if (!std::filesystem::is_directory(PathFromUtf8(directory), error)) {
        Fail(directory, "no such directory");
        return false;
    }
    return true;
}

// The named tracks, or every listed track when none is named.
std::optional<std::vector<std::string>> Tracks(const PluginHost& host, const OpenedFile& container,
                                               const std::string& path,
                                               const std::vector<std::string>& named) {
    if (!named.empty()) {
        return named;
    }
    const auto rows = Rows(host, container, path);
    if (!rows) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const TrackRow& row : *rows) {
        names.push_back(row.name);
    }
    return names;
}

int Extract(const PluginHost& host, const std::string& path, const std::vector<std::string>& named,
            const std::string& directory) {
    ContainerChain chain(host);
    std::string error;
    if (!CheckDirectory(directory)) {
        return kExitFailed;
    }
    if (!chain.Open(path, error)) {
        FailChain(error);
        return kExitFailed;
    }
    const auto names = Tracks(host, chain.Innermost(), path, named);
    if (!names) {
        return kExitFailed;
    }
    Progress progress;
    int status = kExitOk;
    for (std::size_t i = 0; i < names->size(); ++i) {
        progress.Show(i, names->size(), (*names)[i]);
        if (!ExtractTrack(chain.Innermost(), (*names)[i], directory, error)) {
            progress.Done();
            Fail((*names)[i], error);
            status = kExitFailed;
        }
    }
    progress.Done();
    return status;
}

int SaveSingleFile(const PluginHost& host, const std::string& path, const std::string& directory) {
    const std::string name = Utf8FromPath(PathFromUtf8(path).filename());
    std::string error;
    if (!SaveTrackAsWave(host, nullptr, path, OutputPath(directory, name, ".wav"), {}, error)) {
        Fail(path, error);
        return kExitFailed;
    }
    return kExitOk;
}

int SaveWave(const PluginHost& host, const std::string& path, const std::vector<std::string>& named,
             const std::string& directory) {
    if (!CheckDirectory(directory)) {
        return kExitFailed;
    }
    const bool single =
        SplitChainPath(path).size() == 1 && !host.FindExplorer(path) && host.FindDecoder(path);
    if (single) {
        if (!named.empty()) {
            Fail(path, "a single audio file has no tracks to name");
            return kExitUsage;
        }
        return SaveSingleFile(host, path, directory);
    }
    ContainerChain chain(host);
    std::string error;
    if (!chain.Open(path, error)) {
        FailChain(error);
        return kExitFailed;
    }
    auto names = Tracks(host, chain.Innermost(), path, named);
    if (!names) {
        return kExitFailed;
    }
    if (named.empty()) {
        // Every track is asked for: the ones no decoder plays are not audio and are left out.
        std::erase_if(*names, [&](const std::string& name) { return !host.FindDecoder(name); });
    }
    Progress progress;
    int status = kExitOk;
    for (std::size_t i = 0; i < names->size(); ++i) {
        const std::string& name = (*names)[i];
        progress.Show(i, names->size(), name);
        if (!SaveTrackAsWave(host, &chain.Innermost(), name, OutputPath(directory, name, ".wav"),
                             {}, error)) {
            progress.Done();
            Fail(name, error);
            status = kExitFailed;
        }
    }
    progress.Done();
    return status;
}

int Replace(const PluginHost& host, const std::string& path, const std::string& track,
            const std::string& file) {
    ContainerChain chain(host);
    std::string error;
    if (!chain.Open(path, error)) {
        FailChain(error);
        return kExitFailed;
    }
    const OpenedFile& container = chain.Innermost();
    ExplorerPlugin& explorer = container.AsExplorer();
    if (explorer.fnReplaceFile == nullptr) {
        Fail(path, "tracks of this container cannot be replaced");
        return kExitFailed;
    }
    std::lock_guard lock(explorer.lock);
    const int result = explorer.fnReplaceFile(container.handle, track.c_str(), file.c_str());
    const std::string text = explorer.ErrorText(result ? "OK" : "Error replacing file.");
    if (result == 0) {
        Fail(track, text);
        return kExitFailed;
    }
    // A replacement the plug-in had to cut still succeeds, with its text.
    std::printf("%s\n", text == "OK" ? "Replace OK" : ("Replace OK: " + text).c_str());
    return kExitOk;
}

int Run(int argc, char** argv) {
    CLI::App app{
        "Lists, extracts, saves as WAVE and replaces the tracks of Mistvale's sound "
        "containers.\nPATH is a container file, or FILE::TRACK[::TRACK...] for a "
        "container inside a container.",
        kProgram};
    app.require_subcommand(1);
    std::string pluginRoot = ProgramDirectory();
    app.add_option("--plugins", pluginRoot,
                   "Folder holding decode_plugins/ and explore_plugins/ (default: beside the "
                   "program)");

    std::string path, directory = ".", track, file;
    std::vector<std::string> tracks;
    bool json = false;

    CLI::App* formats = app.add_subcommand("formats", "Bound plug-ins, their kind and extensions");
    CLI::App* list = app.add_subcommand("list", "One row per track: name, length, bitrate");
    list->add_option("PATH", path, "Container")->required();
    list->add_flag("--json", json, "Machine-readable output");
    CLI::App* extract =
        app.add_subcommand("extract", "Extract tracks as stored (every track when none is named)");
    extract->add_option("PATH", path, "Container")->required();
    extract->add_option("TRACK", tracks, "Track names");
    extract->add_option("-o,--output", directory, "Output folder (default: .)");
    CLI::App* wav = app.add_subcommand(
        "wav", "Save tracks as 16-bit PCM WAVE files (every playable track when none is named)");
    wav->add_option("PATH", path, "Container, or a single audio file")->required();
    wav->add_option("TRACK", tracks, "Track names");
    wav->add_option("-o,--output", directory, "Output folder (default: .)");
    CLI::App* replace = app.add_subcommand("replace", "Overwrite a track inside its container");
    replace->add_option("PATH", path, "Container")->required();
    replace->add_option("TRACK", track, "Track name")->required();
    replace->add_option("FILE", file, "Replacement file")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }

    PluginHost host;
    host.LoadDecoderPlugins(Utf8FromPath(PathFromUtf8(pluginRoot) / "decode_plugins"));
    host.LoadExplorerPlugins(Utf8FromPath(PathFromUtf8(pluginRoot) / "explore_plugins"));
    if (*formats) {
        return Formats(host);
    }
    if (*list) {
        return List(host, path, json);
    }
    if (*extract) {
        return Extract(host, path, tracks, directory);
    }
    if (*wav) {
        return SaveWave(host, path, tracks, directory);
    }
    return Replace(host, path, track, file);
}

}  // namespace
}  // namespace fogbell::cli

#if defined(_WIN32)
// The arguments as UTF-8, from the wide command line: the narrow argv of a Windows program is in
// the local code page and cannot hold every file name. Output is written as bytes, with "\n"
// line ends, as on every other system.
int main() {
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (wide == nullptr) {
        std::fputs("fogbell-cli: cannot read the command line\n", stderr);
        return 1;
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(fogbell::Utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    try {
        return fogbell::cli::Run(argc, argv.data());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fogbell-cli: %s\n", e.what());
        return 1;
    }
}
#else
int main(int argc, char** argv) {
    try {
        return fogbell::cli::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fogbell-cli: %s\n", e.what());
        return 1;
    }
}
#endif
