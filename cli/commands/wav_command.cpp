// fogbell-cli wav PATH [TRACK...] [-o DIR] [--force] [--json] [--loops N [--fade SECONDS]]:
// tracks saved as 16-bit PCM WAVE files, every playable track when none is named; PATH may also
// be a single audio file. With --loops, a track with loop points is written as it plays: the
// intro, the loop N times, then a fade-out.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
#include "host/tracks/output_names.h"
#include "host/tracks/track_jobs.h"

namespace fogbell::cli {
namespace {

struct WavOptions {
    std::string path;
    std::vector<std::string> tracks;
    OutputOptions output;
    std::optional<std::uint32_t> loops;
    LoopUnrolling unrolling;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// What is wrong with the argument of "--loops" (a whole number from 1 to 4294967295), as the
// usage error says it; empty when nothing is.
std::string LoopCountProblem(const std::string& text) {
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
    std::uint64_t count = 0;
    for (std::size_t i = 0; digits && i < text.size() && count <= UINT32_MAX; ++i) {
        count = count * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    return count >= 1 && count <= UINT32_MAX ? "" : "must be a whole number from 1 to 4294967295";
}

// What is wrong with the argument of "--fade" (a decimal number of seconds, 0 or more); empty
// when nothing is.
std::string FadeProblem(const std::string& text) {
    // Digits and one point only: no sign, exponent, hexadecimal digits or infinity.
    const bool decimal =
        std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; }) &&
        std::count(text.begin(), text.end(), '.') <= 1 &&
        std::any_of(text.begin(), text.end(), IsDigit);
    return decimal && std::isfinite(std::strtod(text.c_str(), nullptr))
               ? ""
               : "must be a number of seconds, 0 or more";
}

}  // namespace

int SaveWave(const PluginHost& host, const std::string& path,
             const std::vector<std::string>& tracks, const OutputOptions& options,
             bool singleFileOnly, const std::optional<LoopUnrolling>& unrolling) {
    if (!PrepareDirectory(options.directory)) {
        return kExitFailed;
    }
    const bool single = IsSingleFile(host, path);
    if (singleFileOnly && !single) {
        Fail(path, "not a single audio file (\"wav\" saves the tracks of a container)");
        return kExitUsage;
    }
    if (single && !tracks.empty()) {
        Fail(path, "a single audio file has no tracks to name");
        return kExitUsage;
    }
    ContainerChain chain(host);
    std::string error;
    std::vector<UnknownTrack> unknown;  // named tracks the container does not list
    // The tracks of the container, or the file's own path.
    std::vector<std::string> names;
    if (single) {
        names.push_back(path);
    } else {
        if (!chain.OpenPath(path, error, TrackArguments(path))) {
            FailChain(error);
            return kExitFailed;
        }
        auto selected = SelectTracks(*chain.Innermost(), path, tracks, unknown);
        if (!selected) {
            return kExitFailed;
        }
        names = std::move(*selected);
        for (const std::string& name : tracks.empty() ? std::vector<std::string>{} : names) {
            // A container named among the tracks is opened with PATH::NAME, not saved.
            if (RefuseContainer(host, path + "::" + PrintedName(name))) {
                return kExitUsage;
            }
        }
        if (tracks.empty()) {
            // Every track is asked for: the ones no decoder plays are not audio and are left out.
            std::erase_if(names, [&](const std::string& name) { return !host.FindDecoder(name); });
        }
    }
    StagingFolder staging;
    if (!staging.Create(options.directory, error)) {
        Fail(options.directory, error);
        return kExitFailed;
    }
    const ExplorerSession* container = single ? nullptr : chain.Innermost();
    OutputReport report(options.json);
    for (const UnknownTrack& track : unknown) {
        report.Failed(NameFromArgument(track.argument), track.error);
    }
    Progress progress;
    // One track's file never stands for another's.
    const std::vector<TrackOutput> outputs = DistinctOutputPaths(
        single ? std::vector{Utf8FromPath(PathFromUtf8(path).filename())} : names,
        options.directory, ".wav");
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const std::string saved = single ? Utf8FromPath(PathFromUtf8(path).filename()) : name;
        const std::string target = outputs[i].path;
        if (!options.force && OutputExists(target)) {
            report.Kept(name, target);  // not even decoded
            continue;
        }
        progress.Show(i, names.size(), PrintedName(name));
        const std::string staged = OutputPath(staging.Path(), saved, ".wav");
        bool hasLoop = true;
        const bool ok =
            unrolling ? SaveTrackUnrolled(host, container, name, staged, *unrolling, hasLoop, error)
                      : SaveTrackAsWave(host, container, name, staged, {}, error);
        progress.Done();
        if (ok && !hasLoop) {
            std::fprintf(stderr, "%s: %s: no loop points, written once\n", kProgram,
                         PrintedName(name).c_str());
        }
        if (!ok) {
            report.Failed(name, InOutputFolder(error, staging, options.directory));
        } else {
            switch (Publish(staged, target, options.force, error)) {
                case PublishResult::kWritten:
                    report.Written(name, target);
                    break;
                case PublishResult::kKept:
                    report.Kept(name, target);
                    break;
                case PublishResult::kFailed:
                    report.Failed(name, target + ": " + error);
                    break;
            }
        }
        ClearStaging(staging);
    }
    return report.Finish();
}

void AddWavCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<WavOptions>();
    CLI::App* wav = app.add_subcommand(
        "wav", "Save tracks as 16-bit PCM WAVE files (every playable track when none is named)");
    wav->add_option("PATH", options->path, "Container, or a single audio file")->required();
    wav->add_option("TRACK", options->tracks, kTrackHelp);
    AddOutputOptions(wav, options->output);
    CLI::Option* loopsOption =
        wav->add_option("--loops", options->loops,
                        "Tracks with loop points: the intro, the loop N times, then a fade-out "
                        "(others are written once)")
            ->type_name("N")
            ->check(CLI::Validator(LoopCountProblem, ""));
    wav->add_option("--fade", options->unrolling.fadeSeconds,
                    "With --loops: seconds of fade-out after the last loop (default 10; 0: none)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(FadeProblem, ""))
        ->needs(loopsOption);
    context.OnRun(wav, [&context, options] {
        const PluginHost& host = context.Plugins();
        if (const int status = RefuseUnreadable(options->path); status != kExitOk) {
            return status;
        }
        if (options->loops) {
            options->unrolling.passes = *options->loops;
        }
        return SaveWave(host, options->path, options->tracks, options->output, false,
                        options->loops ? std::optional(options->unrolling) : std::nullopt);
    });
}

}  // namespace fogbell::cli
