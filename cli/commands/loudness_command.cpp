// fogbell-cli loudness PATH [TRACK...] [--json]: each track's loudness by EBU R 128 as its decoder
// plays it (every playable track when none is named; PATH may also be a single audio file): the
// integrated loudness in LUFS, the loudness range in LU and the true peak in dBTP, a line each
// ("NAME<TAB>-23.0 LUFS<TAB>0.0 LU<TAB>-23.0 dBTP"), or with --json
// [{"name": ..., "integrated": ..., "range": ..., "true_peak": ...}]. A sound too quiet or too
// short to have an integrated loudness has none ("-" on its line, null in JSON), and digital
// silence no true peak.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/track_names.h"
#include "host/audio/sound_loudness.h"
#include "host/containers/container_chain.h"
#include "host/system/native_path.h"
#include "host/tracks/track_jobs.h"

namespace fogbell::cli {
namespace {

struct LoudnessOptions {
    std::string path;
    std::vector<std::string> tracks;
    bool json = false;
};

// value with one decimal, or fallback when there is none.
std::string Figure(const std::optional<double>& value, const char* unit, const char* fallback) {
    if (!value) {
        return fallback;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%s", *value, unit);
    return text;
}

std::string JsonRow(const std::string& name, const loudness::LoudnessFigures& f) {
    return "\n  {\"name\": " + JsonName(name) +
           ", \"integrated\": " + Figure(f.integrated, "", "null") +
           ", \"range\": " + Figure(f.range, "", "null") +
           ", \"true_peak\": " + Figure(f.truePeak, "", "null") + "}";
}

int MeasureLoudness(const PluginHost& host, const LoudnessOptions& options) {
    const bool single = IsSingleFile(host, options.path);
    if (single && !options.tracks.empty()) {
        Fail(options.path, "a single audio file has no tracks to name");
        return kExitUsage;
    }
    ContainerChain chain(host);
    std::string error;
    std::vector<std::string> names;
    std::vector<UnknownTrack> unknown;  // named tracks the container does not list
    if (single) {
        names.push_back(options.path);
    } else {
        if (!chain.OpenPath(options.path, error, TrackArguments(options.path))) {
            FailChain(error);
            return kExitFailed;
        }
        auto selected = SelectTracks(*chain.Innermost(), options.path, options.tracks, unknown);
        if (!selected) {
            return kExitFailed;
        }
        names = std::move(*selected);
        if (options.tracks.empty()) {
            // Every track is asked for: the ones no decoder plays are not audio and are left out.
            std::erase_if(names, [&](const std::string& name) { return !host.FindDecoder(name); });
        }
    }
    const ExplorerSession* container = single ? nullptr : chain.Innermost();
    int status = kExitOk;
    for (const UnknownTrack& track : unknown) {
        Fail(track.argument, track.error);
        status = kExitFailed;
    }
    std::string rows;
    for (const std::string& name : names) {
        const std::string shown =
            single ? Utf8FromPath(PathFromUtf8(name).filename()) : PrintedName(name);
        loudness::LoudnessFigures figures;
        const DecoderSessionPtr stream = OpenTrackStream(host, container, name, error);
        if (!stream || !MeasureStream(*stream, figures, error)) {
            Fail(shown, error);
            status = kExitFailed;
            continue;
        }
        if (options.json) {
            rows += (rows.empty() ? "" : ",") + JsonRow(shown, figures);
        } else {
            std::printf("%s\t%s\t%s\t%s\n", shown.c_str(),
                        Figure(figures.integrated, " LUFS", "- LUFS").c_str(),
                        Figure(figures.range, " LU", "- LU").c_str(),
                        Figure(figures.truePeak, " dBTP", "- dBTP").c_str());
        }
    }
    if (options.json) {
        JsonDocumentPrinted() = true;
        std::printf("[%s%s]\n", rows.c_str(), rows.empty() ? "" : "\n");
    }
    return status;
}

}  // namespace

void AddLoudnessCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<LoudnessOptions>();
    CLI::App* command = app.add_subcommand(
        "loudness",
        "Integrated loudness (LUFS), loudness range (LU) and true peak (dBTP) of each track, by "
        "EBU R 128");
    command->add_option("PATH", options->path, "Container, or a single audio file")->required();
    command->add_option("TRACK", options->tracks, kTrackHelp);
    command->add_flag("--json", options->json, "Machine-readable output");
    context.OnRun(command,
                  [&context, options] { return MeasureLoudness(context.Plugins(), *options); });
}

}  // namespace fogbell::cli
