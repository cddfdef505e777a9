// fogbell-cli pack DIR OUT [--force] [--raw]: a container built from a folder, as its
// fogbell-manifest.json says (commands.h describes it), else an AFS archive of its files in name
// order.
//
// Nothing is packed that the container would not hold as meant: a folder whose manifest leaves
// out some of its files is refused, naming them, and so is a member whose bytes are another
// format than its name says (a WAVE file renamed to ".adx"), unless --raw. Subfolders are never
// packed, and are named as left out.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/output_files.h"
#include "host/plugins/plugin_records.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "json_reader.h"
#include "text/ascii_text.h"

namespace fogbell::cli {
namespace {

// A manifest larger than this is refused unread: a million members take far less.
constexpr std::uintmax_t kLargestManifest = 256u * 1024 * 1024;
// The explorer that packs a folder without a manifest.
constexpr const char* kPlainKind = "afsvault";

// Formats whose files open with a signature of their own: bytes that one of these decoders reads
// are that format, whatever their name. (XMD has none: its decoder takes any bytes.)
constexpr const char* kSignedFormats[] = {"wav", "adx", "aix", "flac", "ogg"};
// How many names a refusal lists before it counts the rest.
constexpr std::size_t kNamesShown = 10;

struct PackOptions {
    std::string directory;
    std::string out;
    bool force = false;
    bool raw = false;
};

// The names, comma-separated, the first kNamesShown of them, then how many more.
std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
        text += (i == 0 ? "" : ", ") + names[i];
    }
    if (names.size() > kNamesShown) {
        text += " and " + std::to_string(names.size() - kNamesShown) + " more";
    }
    return text;
}

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

// The folder's regular files in name order (the manifest's name left out), and its subfolders;
// false when the folder cannot be read.
bool FolderFiles(const std::string& directory, std::vector<std::string>& names,
                 std::vector<std::string>& folders) {
    std::error_code failed;
    std::filesystem::directory_iterator entries(PathFromUtf8(directory), failed);
    for (; !failed && entries != std::filesystem::directory_iterator(); entries.increment(failed)) {
        const std::string name = Utf8FromPath(entries->path().filename());
        if (entries->is_regular_file(failed) && name != kManifestName) {
            names.push_back(name);
        } else if (entries->is_directory(failed)) {
            folders.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    std::sort(folders.begin(), folders.end());
    return !failed;
}

// The folder's files that the manifest does not list, in name order.
std::vector<std::string> Unlisted(const std::vector<std::string>& files,
                                  const std::vector<std::string>& listed) {
    std::vector<std::string> sorted = listed;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> unlisted;
    std::set_difference(files.begin(), files.end(), sorted.begin(), sorted.end(),
                        std::back_inserter(unlisted));
    return unlisted;
}

// The name texts give the format of an extension ("ADX", "WAVE").
std::string FormatName(const std::string& extension) {
    std::string upper = ToUpperAscii(extension);
    return upper == "WAV" ? "WAVE" : upper;
}

// Why the member file at path, named name, is refused: its name's decoder cannot read it and a
// decoder of a format with a signature can (its bytes are that format). None otherwise: a
// member the container held unreadable packs back as it was.
std::optional<std::string> ForeignMember(const PluginHost& host, const std::string& name,
                                         const std::string& path) {
    std::string extension;
    if (!host.FindDecoder(name) || !ExtensionOf(name, extension)) {
        return std::nullopt;
    }
    std::string ignored;
    const DecoderSessionPtr own = host.OpenStreamAs(name, path, -1, -1, ignored);
    if (own && own->SourceFormat().value) {
        return std::nullopt;
    }
    for (const char* format : kSignedFormats) {
        const std::string route = std::string("member.") + format;
        const DecoderSessionPtr other =
            host.FindDecoder(route) ? host.OpenStreamAs(route, path, -1, -1, ignored) : nullptr;
        if (other && other->SourceFormat().value) {
            return name + " is " + FormatName(format) + ", not " + FormatName(extension) +
                   " as its name says: the game would not play it.";
        }
    }
    return std::nullopt;
}

int Pack(const PluginHost& host, const std::string& directory, const std::string& out, bool force,
         bool raw) {
    if (!force && OutputExists(out)) {
        Fail(out, "the file exists (--force replaces it)");
        return kExitFailed;
    }
    const std::string manifestPath = InFolder(directory, kManifestName);
    Manifest manifest{kPlainKind, {}, {}};
    const bool hasManifest = OutputExists(manifestPath);
    std::vector<std::string> files, folders;
    if (!FolderFiles(directory, files, folders)) {
        Fail(directory, "the folder cannot be read");
        return kExitFailed;
    }
    if (!folders.empty()) {
        std::fprintf(stderr,
                     "%s: %s: left out the subfolder%s %s: pack takes only the files "
                     "directly in the folder\n",
                     kProgram, directory.c_str(), folders.size() == 1 ? "" : "s",
                     NameList(folders).c_str());
    }
    if (hasManifest) {
        const std::optional<std::string> text = ReadText(manifestPath);
        std::string error;
        if (!text || !ReadManifest(*text, manifest, error)) {
            Fail(manifestPath, "damaged manifest: " + (text ? error : "it cannot be read"));
            return kExitFailed;
        }
        const std::vector<std::string> unlisted = Unlisted(files, manifest.files);
        if (!unlisted.empty()) {
            Fail(directory, "the manifest does not list " + NameList(unlisted) +
                                ", which would be left out; nothing was written. Move " +
                                (unlisted.size() == 1 ? "it" : "them") +
                                " out of the folder to pack the members it lists");
            return kExitFailed;
        }
    } else if (files.empty()) {
        Fail(directory, "no files to pack (a folder of files is needed)");
        return kExitFailed;
    } else {
        manifest.files = files;
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
        const std::optional<std::string> foreign =
            raw ? std::nullopt : ForeignMember(host, file, paths.back());
        if (foreign) {
            Fail(paths.back(), *foreign +
                                   " Nothing was written: convert it with `fogbell-cli encode`, "
                                   "or pack the original and put it in with `fogbell-cli "
                                   "replace`, which converts a WAVE file; --raw packs its bytes "
                                   "as they are.");
            return kExitFailed;
        }
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
    pack->add_flag("--raw", options->raw,
                   "Pack every file's bytes as they are, even those of another format than "
                   "their name says");
    context.OnRun(pack, [&context, options] {
        return Pack(context.Plugins(), options->directory, options->out, options->force,
                    options->raw);
    });
}

}  // namespace fogbell::cli
