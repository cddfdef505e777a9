// fogbell-cli extract PATH [TRACK...] [-o DIR] [--force] [--json] [--manifest]: tracks as they
// are stored, every track when none is named; with --manifest also DIR/fogbell-manifest.json,
// from which "pack" rebuilds the container (commands.h describes it).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/output_files.h"
#include "cli/track_names.h"
#include "host/containers/container_chain.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "host/tracks/output_names.h"
#include "host/tracks/track_jobs.h"
#include "json_reader.h"

namespace fogbell::cli {
namespace {

struct ExtractOptions {
    std::string path;
    std::vector<std::string> tracks;
    OutputOptions output;
};

std::string InFolder(const std::string& directory, const std::string& name) {
    return Utf8FromPath(PathFromUtf8(directory) / PathFromUtf8(name));
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return static_cast<bool>(out);
}

// Writes the manifest of the open container into directory, with files[i] the file written for
// its i-th track (list order); an existing manifest is kept unless force. False with a text
// (an explorer that cannot describe its layout). Prints the manifest's path unless quiet
// (standard output holds a JSON document).
bool WriteManifest(const ExplorerSession& container, const std::vector<std::string>& files,
                   const std::string& directory, bool force, bool quiet, std::string& error) {
    const std::string kind = LibraryName(container.Plugin());
    if (!container.CanPack()) {
        error = kind + " cannot describe its layout: this kind of container cannot be packed";
        return false;
    }
    const auto layout = container.Layout();
    if (!layout.value) {
        error = layout.TextOr("the explorer gave no layout");
        return false;
    }
    std::string why;
    const std::optional<json::Value> value = json::Parse(*layout.value, why);
    if (!value || !value->IsObject()) {
        error = kind + " gave a layout that is not a JSON object";
        return false;
    }
    const json::Value* exact = value->Find("exact");
    if (exact == nullptr || exact->type != json::Value::Type::kBool || !exact->boolean) {
        std::fprintf(stderr,
                     "%s: %s: the container is not laid out as a pack lays it out (members out "
                     "of table order or over each other, or more odd filler than a manifest "
                     "keeps): a pack will not give it back byte for byte\n",
                     kProgram, InFolder(directory, kManifestName).c_str());
    }
    std::string text = "{\"fogbell-manifest\": " + std::to_string(kManifestVersion) +
                       ", \"kind\": " + json::Quoted(kind) + ", \"files\": [";
    for (std::size_t i = 0; i < files.size(); ++i) {
        text += (i == 0 ? "" : ", ") + json::Quoted(files[i]);
    }
    text += "],\n\"layout\": " + *layout.value + "}\n";
    const std::string target = InFolder(directory, kManifestName);
    const std::string staged = target + kPackSuffix;
    if (!WriteText(staged, text)) {
        RemovePath(staged);
        error = "can't write " + staged;
        return false;
    }
    switch (Publish(staged, target, force, error)) {
        case PublishResult::kWritten:
            if (!quiet) {
                std::printf("%s\n", target.c_str());
            }
            return true;
        case PublishResult::kKept:
            std::fprintf(stderr, "%s: skipped %s: the file exists (--force replaces it)\n",
                         kProgram, target.c_str());
            return true;
        case PublishResult::kFailed:
            break;
    }
    return false;
}

// The name a file has in the output folder.
std::string TargetName(const std::string& target) {
    return Utf8FromPath(PathFromUtf8(target).filename());
}

// The manifest of the extracted container, once every track has its one file in the folder.
bool ExtractManifest(const ExplorerSession& container, const std::vector<std::string>& names,
                     const std::vector<std::string>& trackFiles, const OutputOptions& options) {
    const std::string manifest =
        Utf8FromPath(PathFromUtf8(options.directory) / PathFromUtf8(kManifestName));
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (trackFiles[i].empty()) {
            Fail(manifest, "not written: " + PrintedName(names[i]) + " has no file of its own");
            return false;
        }
    }
    std::string error;
    if (!WriteManifest(container, trackFiles, options.directory, options.force, options.json,
                       error)) {
        Fail(manifest, "not written: " + error);
        return false;
    }
    return true;
}

int Extract(const PluginHost& host, const std::string& path, const std::vector<std::string>& tracks,
            const OutputOptions& options) {
    ContainerChain chain(host);
    std::string error;
    if (options.manifest && !tracks.empty()) {
        Fail("extract", "--manifest describes the whole container: name no TRACK");
        return kExitUsage;
    }
    if (!PrepareDirectory(options.directory)) {
        return kExitFailed;
    }
    if (!chain.OpenPath(path, error, TrackArguments(path))) {
        FailChain(error);
        return kExitFailed;
    }
    std::vector<UnknownTrack> unknown;
    const auto names = SelectTracks(*chain.Innermost(), path, tracks, unknown);
    if (!names) {
        return kExitFailed;
    }
    StagingFolder staging;
    if (!staging.Create(options.directory, error)) {
        Fail(options.directory, error);
        return kExitFailed;
    }
    OutputReport report(options.json);
    for (const UnknownTrack& track : unknown) {
        report.Failed(NameFromArgument(track.argument), track.error);
    }
    Progress progress;
    std::vector<std::string> trackFiles(names->size());  // each track's one file, for the manifest
    DistinctFileNames outputs;  // one track's file never stands for another's
    for (std::size_t i = 0; i < names->size(); ++i) {
        const std::string& name = (*names)[i];
        progress.Show(i, names->size(), PrintedName(name));
        const bool extracted = ExtractTrack(*chain.Innermost(), name, staging.Path(), error);
        const std::vector<std::string> files = staging.Files();
        progress.Done();
        if (!extracted || files.empty()) {
            report.Failed(name, extracted ? "the plug-in wrote no file"
                                          : InOutputFolder(error, staging, options.directory));
            ClearStaging(staging);
            continue;
        }
        // The plug-in chose the file's name (it may change the extension): keep it.
        for (const std::string& file : files) {
            const std::string fileName = Utf8FromPath(PathFromUtf8(file).filename());
            const std::string target = Utf8FromPath(PathFromUtf8(options.directory) /
                                                    PathFromUtf8(outputs.Take(fileName)));
            switch (Publish(file, target, options.force, error)) {
                case PublishResult::kWritten:
                    report.Written(name, target);
                    trackFiles[i] = files.size() == 1 ? TargetName(target) : "";
                    break;
                case PublishResult::kKept:
                    report.Kept(name, target);
                    trackFiles[i] = files.size() == 1 ? TargetName(target) : "";
                    break;
                case PublishResult::kFailed:
                    report.Failed(name, target + ": " + error);
                    break;
            }
        }
        ClearStaging(staging);
    }
    if (options.manifest && !ExtractManifest(*chain.Innermost(), *names, trackFiles, options)) {
        report.Finish();
        return kExitFailed;
    }
    return report.Finish();
}

}  // namespace

void AddExtractCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<ExtractOptions>();
    CLI::App* extract =
        app.add_subcommand("extract", "Extract tracks as stored (every track when none is named)");
    extract->add_option("PATH", options->path, "Container")->required();
    extract->add_option("TRACK", options->tracks, kTrackHelp);
    AddOutputOptions(extract, options->output);
    extract->add_flag("--manifest", options->output.manifest,
                      "Also write DIR/fogbell-manifest.json, from which \"pack\" rebuilds the "
                      "container");
    context.OnRun(extract, [&context, options] {
        const PluginHost& host = context.Plugins();
        if (const int status = RefuseUnreadable(options->path); status != kExitOk) {
            return status;
        }
        if (RefuseTrack(host, options->path)) {
            return kExitUsage;
        }
        return Extract(host, options->path, options->tracks, options->output);
    });
}

}  // namespace fogbell::cli
