// fogbell-cli replace PATH TRACK FILE [--rebuild] [--loop START:END | --no-loop | --raw]
//                     [--loudness match|LUFS|off]
// fogbell-cli replace PATH --from DIR [--json] [--rebuild] [--loop START:END | --no-loop | --raw]
//                     [--loudness match|LUFS|off]
//
// One track overwritten inside its container; or, with --from, every file of a folder whose name
// matches a track of the container (batch_replace.h), as one step, wholly or not at all
// (ReplaceManyInContainer). A WAVE, FLAC, Ogg, Opus, MP3 or AIFF file (any sound file a decoder
// plug-in reads but an ADX or XMD stream) goes in converted to the track's format, with a loop
// as the loop options say; a file the track's decoder cannot read is refused unless --raw
// writes its bytes as they are. --loudness gives a converted file a gain before it is encoded
// (track_conversion.h): the loudness of the track it replaces, or the one given. A replacement
// larger than the track's room rebuilds the container with --rebuild, and is refused without it.
// The batch's outcome is printed as a line per track and a count, or as a JSON document.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch_replace.h"
#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/json_text.h"
#include "cli/loop_option.h"
#include "cli/loudness_option.h"
#include "cli/track_names.h"
#include "host/audio/audio_input.h"
#include "host/containers/container_chain.h"
#include "host/containers/container_replace.h"
#include "host/containers/replace_report.h"
#include "host/containers/replacement_file.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell::cli {
namespace {

// The end of a refusal of a file the track's decoder cannot read: how to write it all the same.
constexpr const char* kRawAdvice = "give --raw to write its bytes as they are";

struct ReplaceOptions {
    std::string path;
    std::string track;
    std::string file;
    std::string fromFolder;
    bool json = false;
    bool rebuild = false;
    LoopOptions loop;
    bool raw = false;
    std::string loudness;  // --loudness, as given
};

// Opens the chain of path and gives its innermost container when its tracks can be replaced;
// null after saying why on standard error.
const ExplorerSession* OpenReplaceableContainer(ContainerChain& chain, const std::string& path) {
    std::string error;
    if (!chain.OpenPath(path, error, TrackArguments(path))) {
        FailChain(error);
        return nullptr;
    }
    const ExplorerSession* container = chain.Innermost();
    if (!container->CanReplace()) {
        Fail(path, "tracks of this container cannot be replaced");
        return nullptr;
    }
    return container;
}

// What became of one track of the batch.
struct TrackLine {
    std::string track;
    std::string file;
    const char* status = "replaced";  // "replaced", "unchanged" or "failed"
    std::string reason;
};

// Whether the track already holds exactly the bytes of the file at path. The file is read a
// chunk at a time: a batch of large tracks holds none of them whole.
bool TrackHolds(const ExplorerSession& container, const std::string& track,
                const std::string& path) {
    constexpr std::size_t kChunk = 1u << 20;
    const TrackBytes bytes = container.Track(track);
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(path), error);
    if (!bytes || error || size != bytes.Size()) {
        return false;
    }
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    std::vector<char> chunk(kChunk);
    const auto* held = static_cast<const char*>(bytes.Data());
    for (std::uintmax_t done = 0; done < size;) {
        const auto step = static_cast<std::size_t>(std::min<std::uintmax_t>(kChunk, size - done));
        if (!in.read(chunk.data(), static_cast<std::streamsize>(step)) ||
            !std::equal(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(step),
                        held + done)) {
            return false;
        }
        done += step;
    }
    return true;
}

// The regular files of the folder, by name.
std::vector<std::string> FilesOf(const std::string& folder) {
    std::vector<std::string> files;
    for (const std::string& name : FolderNames(folder)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(PathFromUtf8(folder) / PathFromUtf8(name), error)) {
            files.push_back(name);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Why the file at path is refused as empty, naming it as shown: it has no bytes, or (unless raw)
// its decoder finds no samples in it; none when it holds something.
std::optional<std::string> EmptyReplacement(const PluginHost& host, const std::string& path,
                                            const std::string& shown, bool raw) {
    std::uint64_t size = 0;
    if (SizeOfFile(path, size) && size == 0) {
        return shown + " is empty (0 bytes): there is nothing to put in the track";
    }
    if (raw || !host.FindDecoder(path)) {
        return std::nullopt;
    }
    std::string ignored;
    const DecoderSessionPtr stream = host.OpenStream(path, nullptr, 0, ignored);
    const std::optional<std::uint32_t> samples = stream ? stream->SizeData() : std::nullopt;
    if (samples && *samples == 0) {
        return shown + " is empty (it holds no samples): there is nothing to put in the track";
    }
    return std::nullopt;
}

// The lines still to be replaced after the batch was refused: failed, for why.
void MarkUnwritten(std::vector<TrackLine>& lines, const std::string& why) {
    for (TrackLine& line : lines) {
        if (std::string(line.status) == "replaced") {
            line.status = "failed";
            line.reason = why;
        }
    }
}

void Report(const std::string& path, const std::vector<TrackLine>& lines,
            const std::vector<std::string>& unmatched, bool written, bool json) {
    std::size_t counts[3] = {0, 0, 0};
    for (const TrackLine& line : lines) {
        const std::string status = line.status;
        counts[status == "replaced" ? 0 : status == "unchanged" ? 1 : 2] += 1;
    }
    if (json) {
        std::string text = "{\n  \"container\": " + JsonString(path) +
                           ",\n  \"written\": " + (written ? "true" : "false") +
                           ",\n  \"tracks\": [";
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const TrackLine& line = lines[i];
            text += std::string(i == 0 ? "\n" : ",\n") +
                    "    {\"track\": " + JsonString(PrintedName(line.track)) +
                    ", \"file\": " + JsonString(line.file) + ", \"status\": \"" + line.status +
                    "\"" + (line.reason.empty() ? "" : ", \"reason\": " + JsonString(line.reason)) +
                    "}";
        }
        text += lines.empty() ? "],\n  \"unmatched\": [" : "\n  ],\n  \"unmatched\": [";
        for (std::size_t i = 0; i < unmatched.size(); ++i) {
            text += (i == 0 ? "" : ", ") + JsonString(unmatched[i]);
        }
        text += "],\n  \"replaced\": " + std::to_string(counts[0]) +
                ",\n  \"unchanged\": " + std::to_string(counts[1]) +
                ",\n  \"failed\": " + std::to_string(counts[2]) + "\n}\n";
        std::fputs(text.c_str(), stdout);
        JsonDocumentPrinted() = true;
        return;
    }
    for (const TrackLine& line : lines) {
        std::printf("%-9s %s <- %s%s%s\n", line.status, PrintedName(line.track).c_str(),
                    line.file.c_str(), line.reason.empty() ? "" : ": ", line.reason.c_str());
    }
    for (const std::string& file : unmatched) {
        std::printf("unmatched %s: no track of this name\n", file.c_str());
    }
    std::printf("%zu replaced, %zu unchanged, %zu failed, %zu unmatched%s\n", counts[0], counts[1],
                counts[2], unmatched.size(),
                written || counts[2] == 0 ? "" : "; nothing was written");
}

// "replace PATH --from DIR": the exit status. raw: every file goes in as its bytes are,
// unconverted and unchecked, as "replace --raw" puts one.
int ReplaceFromFolder(const PluginHost& host, const std::string& path, const std::string& folder,
                      bool rebuild, bool json, const LoopOptions& loop, bool raw,
                      const LoudnessRequest& loudness) {
    ContainerChain chain(host);
    const ExplorerSession* opened = OpenReplaceableContainer(chain, path);
    if (opened == nullptr) {
        return kExitFailed;
    }
    const ExplorerSession& container = *opened;
    const std::optional<std::vector<std::string>> tracks = ListedNames(container);
    if (!tracks) {
        Fail(path, "tracks of this container cannot be replaced");
        return kExitFailed;
    }
    std::error_code missing;
    if (!std::filesystem::is_directory(PathFromUtf8(folder), missing)) {
        Fail(folder, "not a folder");
        return kExitFailed;
    }
    const std::vector<std::string> files = FilesOf(folder);
    const std::vector<int> matches = MatchFiles(files, *tracks, ConvertedExtensions(host));

    std::vector<TrackLine> lines;
    std::vector<std::string> unmatched;
    std::vector<std::unique_ptr<ConvertedReplacement>> converted;
    BatchReplaceRequest request;
    std::vector<std::size_t> lineOf;  // the line of each request entry
    for (std::size_t f = 0; f < files.size(); ++f) {
        if (matches[f] < 0) {
            unmatched.push_back(files[f]);
            continue;
        }
        TrackLine line;
        line.track = (*tracks)[static_cast<std::size_t>(matches[f])];
        line.file = files[f];
        const auto same = std::find_if(lines.begin(), lines.end(), [&line](const TrackLine& l) {
            return l.track == line.track;
        });
        if (same != lines.end()) {
            same->status = "failed";
            same->reason = "named by " + same->file + " and " + files[f];
            continue;
        }
        const std::string file = Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(files[f]));
        if (const auto empty = EmptyReplacement(host, file, files[f], raw)) {
            line.status = "failed";
            line.reason = *empty;
            lines.push_back(line);
            continue;
        }
        auto replacement = std::make_unique<ConvertedReplacement>(
            host, container, line.track, file, ConversionControl{}, LoopRequestOf(loop), raw,
            loudness);
        if (replacement->Ok()) {
            SayLoudness(files[f], loudness, replacement->Loudness(), false);
        }
        if (!replacement->Ok()) {
            line.status = "failed";
            line.reason = replacement->LoopRefused()
                              ? replacement->Error() + " " + kLoopAdvice + "."
                              : replacement->Error();
        } else if (TrackHolds(container, line.track, replacement->Path())) {
            line.status = "unchanged";
        } else {
            line.reason = replacement->Note();
            if (replacement->Loudness().applied) {
                const std::string gain = LoudnessNote(replacement->Loudness());
                line.reason += (line.reason.empty() ? "" : " ") + gain;
            }
            lineOf.push_back(lines.size());
            request.tracks.push_back(line.track);
            request.replacements.push_back(replacement->Path());
            converted.push_back(std::move(replacement));
        }
        lines.push_back(line);
    }
    const bool anyFailed = std::any_of(lines.begin(), lines.end(), [](const TrackLine& l) {
        return std::string(l.status) == "failed";
    });
    if (anyFailed || request.tracks.empty()) {
        // Nothing is written after a failure.
        MarkUnwritten(lines, "not written, as another file failed");
        Report(path, lines, unmatched, false, json);
        return anyFailed ? kExitFailed : kExitOk;
    }
    request.chain = chain.Levels();
    request.links = chain.Links();
    request.allowRebuild = rebuild;
    request.releaseChain = [&chain] { chain.Close(); };
    const BatchReplaceResult result = ReplaceManyInContainer(request);
    switch (result.outcome) {
        case ContainerReplaceOutcome::kReplacedInPlace:
        case ContainerReplaceOutcome::kRebuilt:
            Report(path, lines, unmatched, true, json);
            return kExitOk;
        case ContainerReplaceOutcome::kNeedsRebuild:
            for (std::size_t i = 0; i < result.tooBig.size(); ++i) {
                TrackLine& line = lines[lineOf[result.tooBig[i]]];
                line.status = "failed";
                line.reason =
                    DescribeReplace(TooBigTrack(result, i), ReplaceReader::kBatchLine).text;
            }
            break;
        case ContainerReplaceOutcome::kFailed:
            break;
    }
    if (result.tooBig.empty() || result.outcome == ContainerReplaceOutcome::kFailed) {
        if (result.failedTrack >= 0) {
            TrackLine& line = lines[lineOf[static_cast<std::size_t>(result.failedTrack)]];
            line.status = "failed";
            line.reason = result.text;
        } else {
            Fail(path, result.text);
        }
    }
    MarkUnwritten(lines, result.tooBig.empty() ? "not written, as the replacement failed"
                                               : "not written, as others do not fit in place");
    Report(path, lines, unmatched, false, json);
    return kExitFailed;
}

// "replace PATH TRACK FILE": the exit status.
int Replace(const PluginHost& host, const std::string& path, const std::string& track,
            const std::string& file, bool rebuild, const LoopOptions& loop, bool raw,
            const LoudnessRequest& loudness) {
    ContainerChain chain(host);
    const ExplorerSession* opened = OpenReplaceableContainer(chain, path);
    if (opened == nullptr) {
        return kExitFailed;
    }
    const ExplorerSession& container = *opened;
    std::string error;
    std::string name;
    if (!ResolveTrack(container, path, track, name, error)) {
        Fail(track, error);
        return kExitFailed;
    }
    if (const auto empty = EmptyReplacement(host, file, file, raw)) {
        FailText(*empty + "; nothing was replaced");
        return kExitFailed;
    }
    // A sound file not in the track's format (a WAVE of another format, a FLAC, ...) goes in
    // converted,
    // with a loop as the loop options say (track_conversion.h); a file the track's decoder
    // cannot read is refused unless it is meant raw.
    const ConvertedReplacement replacement(host, container, name, file, {}, LoopRequestOf(loop),
                                           raw, loudness);
    if (!replacement.Ok()) {
        Fail(file, replacement.LoopRefused()
                       ? replacement.Error() + " Nothing was replaced: " + kLoopAdvice + "."
                   : replacement.Unplayable()
                       ? replacement.Error() + " Nothing was replaced: " + kRawAdvice + "."
                       : replacement.Error());
        return kExitFailed;
    }
    if (!replacement.Note().empty()) {
        std::printf("%s\n", replacement.Note().c_str());
    }
    SayLoudness(file, loudness, replacement.Loudness());
    ContainerReplaceRequest request;
    request.chain = chain.Levels();
    request.links = chain.Links();
    request.track = name;
    request.replacement = replacement.Path();
    request.allowRebuild = rebuild;
    // The chain is not needed once a rebuilt file is complete, and Windows replaces no file
    // that is still mapped.
    request.releaseChain = [&chain] { chain.Close(); };
    const ReplaceReport report =
        DescribeReplace(ReplaceInContainer(request), ReplaceReader::kCommand);
    if (report.replaced) {
        std::printf("%s\n", report.text.c_str());
        return kExitOk;
    }
    Fail(PrintedName(name), report.text);
    return kExitFailed;
}

}  // namespace

void AddReplaceCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<ReplaceOptions>();
    CLI::App* replace = app.add_subcommand("replace", "Overwrite a track inside its container");
    replace->add_option("PATH", options->path, "Container")->required();
    replace->add_option("TRACK", options->track, "Track name as \"list\" prints it, or #N");
    replace->add_option("FILE", options->file,
                        "Replacement file (a WAVE, FLAC, Ogg, Opus, MP3 or AIFF file goes in "
                        "converted to the track's format)");
    CLI::Option* fromOption = replace->add_option(
        "--from", options->fromFolder,
        "Replace every track named by a file of this folder (NAME, NAME.wav or NAME's stem "
        ".wav, or .flac, .mp3, ... for any sound file a decoder reads), all at once, instead of "
        "TRACK FILE");
    replace->add_flag("--json", options->json, "With --from: report as JSON")->needs(fromOption);
    replace->add_flag("--rebuild", options->rebuild,
                      "Rebuild the container when the replacement is larger than the track's room");
    AddLoopOptions(replace, options->loop);
    CLI::Option* loudnessOption = AddLoudnessOption(replace, options->loudness, true);
    replace
        ->add_flag("--raw", options->raw,
                   "Write FILE's bytes as they are: not converted, nor checked against the "
                   "track's decoder")
        ->excludes("--loop")
        ->excludes("--no-loop")
        ->excludes(loudnessOption);
    context.OnRun(replace, [&context, options, fromOption] {
        const PluginHost& host = context.Plugins();
        if (RefuseTrack(host, options->path)) {
            return kExitUsage;
        }
        const ReplaceOptions& o = *options;
        const bool named = !o.track.empty() && !o.file.empty();
        const bool anyNamed = !o.track.empty() || !o.file.empty();
        if (*fromOption ? anyNamed || o.fromFolder.empty() : !named) {
            Fail("replace", "give TRACK and FILE, or --from DIR");
            return kExitUsage;
        }
        if (const int status = RefuseUnreadable(o.path); status != kExitOk) {
            return status;
        }
        if (!o.file.empty()) {
            if (const int status = RefuseUnreadable(o.file); status != kExitOk) {
                return status;
            }
        }
        const LoudnessRequest loudness = ParseLoudness(o.loudness).value_or(LoudnessRequest{});
        if (!o.fromFolder.empty()) {
            return ReplaceFromFolder(host, o.path, o.fromFolder, o.rebuild, o.json, o.loop, o.raw,
                                     loudness);
        }
        return Replace(host, o.path, o.track, o.file, o.rebuild, o.loop, o.raw, loudness);
    });
}

}  // namespace fogbell::cli
