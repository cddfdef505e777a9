// fogbell-cli pack DIR OUT [--force]: a container built from a folder, as its
// fogbell-manifest.json says (commands.h describes it), else an AFS archive of its files in name
// order.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/output_files.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "json_reader.h"

namespace fogbell::cli {
namespace {

// A manifest larger than this is refused unread: a million members take far less.
constexpr std::uintmax_t kLargestManifest = 256u * 1024 * 1024;
// The explorer that packs a folder without a manifest.
constexpr const char* kPlainKind = "afsvault";

struct PackOptions {
    std::string directory;
    std::string out;
    bool force = false;
};

std::string InFolder(const std::string& directory, const std::string& name) {
    return Utf8FromPath(PathFromUtf8(directory) / PathFromUtf8(name));
}

// The whole file, or nothing when it cannot be read or is larger than kLargestManifest.
std::optional<std::string> ReadText(const std::string& path) {
    std::error_code failed;
    const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), failed);
    if (failed || size > kLargestManifest) {
        return std::nullopt;
    }
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    return in.gcount() == static_cast<std::streamsize>(text.size()) ? std::optional(text)
                                                                    : std::nullopt;
}

// A file name of DIR as a manifest may give it: no folder part, nothing that leaves DIR.
bool PlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

// What a manifest asks for: the explorer's library name, the member files, the layout text.
struct Manifest {
    std::string kind;
    std::vector<std::string> files;
    std::string layout;
};

bool ReadManifest(const std::string& text, Manifest& manifest, std::string& error) {
    const std::optional<json::Value> value = json::Parse(text, error);
    if (!value) {
        return false;
    }
    std::int64_t version = 0;
    if (!value->IsObject() || !json::ReadInteger(*value, "fogbell-manifest", kManifestVersion,
                                                 kManifestVersion, version, error)) {
        error = "not a manifest of version 1 (\"fogbell-manifest\": 1)";
        return false;
    }
    const json::Value* kind = value->Find("kind");
    const json::Value* files = value->Find("files");
    const json::Value* layout = value->Find("layout");
    if (kind == nullptr || !kind->IsString() || files == nullptr || !files->IsArray() ||
        layout == nullptr || !layout->IsObject()) {
        error = "\"kind\" (a text), \"files\" (an array) and \"layout\" (an object) are needed";
        return false;
    }
    manifest.kind = kind->text;
    for (const json::Value& file : files->items) {
        if (!file.IsString() || !PlainFileName(file.text)) {
            error = "\"files\" must hold file names of the folder (no folder part)";
            return false;
        }
        manifest.files.push_back(file.text);
    }
    manifest.layout = json::Write(*layout);
    return true;
}

ExplorerPlugin* ExplorerNamed(const PluginHost& host, const std::string& kind) {
    for (const auto& explorer : host.Explorers()) {
        if (LibraryName(*explorer) == kind) {
            return explorer.get();
        }
    }
    return nullptr;
}

// The folder's regular files in name order (the manifest's name left out); false when the
// folder cannot be read.
bool FolderFiles(const std::string& directory, std::vector<std::string>& names) {
    std::error_code failed;
    std::filesystem::directory_iterator entries(PathFromUtf8(directory), failed);
    for (; !failed && entries != std::filesystem::directory_iterator(); entries.increment(failed)) {
        const std::string name = Utf8FromPath(entries->path().filename());
        if (entries->is_regular_file(failed) && name != kManifestName) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return !failed;
}

int Pack(const PluginHost& host, const std::string& directory, const std::string& out, bool force) {
    if (!force && OutputExists(out)) {
        Fail(out, "the file exists (--force replaces it)");
        return kExitFailed;
    }
    const std::string manifestPath = InFolder(directory, kManifestName);
    Manifest manifest{kPlainKind, {}, {}};
    const bool hasManifest = OutputExists(manifestPath);
    if (hasManifest) {
        const std::optional<std::string> text = ReadText(manifestPath);
        std::string error;
        if (!text || !ReadManifest(*text, manifest, error)) {
            Fail(manifestPath, "damaged manifest: " + (text ? error : "it cannot be read"));
            return kExitFailed;
        }
    } else if (!FolderFiles(directory, manifest.files) || manifest.files.empty()) {
        Fail(directory, "no files to pack (a folder of files is needed)");
        return kExitFailed;
    }
    ExplorerPlugin* explorer = ExplorerNamed(host, manifest.kind);
    if (explorer == nullptr || !explorer->CanPack()) {
        Fail(manifest.kind, explorer == nullptr ? "no explorer of this name was found"
                                                : "this explorer cannot pack containers");
        return kExitFailed;
    }
    std::vector<std::string> paths;
    for (const std::string& file : manifest.files) {
        paths.push_back(InFolder(directory, file));
    }
    const std::string staged = out + kPackSuffix;
    const ExplorerSession session(*explorer);
    const auto packed =
        session.Pack(hasManifest ? std::optional(manifest.layout) : std::nullopt, paths, staged);
    if (!packed.value) {
        RemovePath(staged);
        Fail(out, packed.TextOr("the explorer could not pack the folder"));
        return kExitFailed;
    }
    std::string error;
    switch (Publish(staged, out, force, error)) {
        case PublishResult::kWritten:
            std::printf("%s\n", out.c_str());
            return kExitOk;
        case PublishResult::kKept:
            Fail(out, "the file exists (--force replaces it)");
            return kExitFailed;
        case PublishResult::kFailed:
            break;
    }
    RemovePath(staged);
    Fail(out, error);
    return kExitFailed;
}

}  // namespace

void AddPackCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<PackOptions>();
    CLI::App* pack = app.add_subcommand(
        "pack",
        "Build a container from a folder: as its fogbell-manifest.json says, else an AFS "
        "archive of its files in name order");
    pack->add_option("DIR", options->directory, "Folder")->required();
    pack->add_option("OUT", options->out, "Container to write")->required();
    pack->add_flag("--force", options->force, "Replace an existing OUT (default: keep it)");
    context.OnRun(pack, [&context, options] {
        return Pack(context.Plugins(), options->directory, options->out, options->force);
    });
}

}  // namespace fogbell::cli
