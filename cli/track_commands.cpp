#include "cli/track_commands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "cli/cli_output.h"
#include "cli/json_text.h"
#include "cli/output_files.h"
#include "cli/pack_command.h"
#include "cli/track_names.h"
#include "host/containers/container_chain.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "host/tracks/output_names.h"
#include "host/tracks/track_jobs.h"
#include "host/tracks/track_listing.h"

namespace fogbell::cli {
namespace {

constexpr const char* kNoTrackList = "the container gives no track list";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string LibraryName(const PluginRecord& plugin) {
    return Utf8FromPath(PathFromUtf8(plugin.libraryPath).stem());
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

// A name or path in JSON: its printed form, so that it is valid JSON and can be passed back.
std::string JsonName(const std::string& name) {
    return JsonString(PrintedName(name));
}

std::string JsonNumber(std::uint64_t value, bool known) {
    return known ? std::to_string(value) : "null";
}

// The member ', "loop": [start, end]' of a track with a loop; nothing for the others.
std::string JsonLoop(const std::optional<LoopPoints>& loop) {
    return loop ? ", \"loop\": [" + std::to_string(loop->start) + ", " + std::to_string(loop->end) +
                      "]"
                : "";
}

const char* KindText(TrackKind kind) {
    switch (kind) {
        case TrackKind::kAudio:
            return "audio";
        case TrackKind::kContainer:
            return "container";
        case TrackKind::kUnsupported:
            return "unsupported";
        case TrackKind::kUnknown:
            break;
    }
    return "unknown";
}

// PATH names one audio file on disk rather than a container (an AIX file is both: it lists).
bool IsSingleFile(const PluginHost& host, const std::string& path) {
    return SplitChainPath(path).size() == 1 && !host.FindExplorer(path) && host.FindDecoder(path);
}

// The row of a single audio file: its file name, its size in bytes and its source format.
bool SingleFileRow(const PluginHost& host, const std::string& path, TrackRow& row,
                   std::string& error) {
    const DecoderSessionPtr stream = host.OpenStream(path, nullptr, 0, error);
    if (!stream) {
        return false;
    }
    const std::optional<WAVEFORMATEX> format = stream->SourceFormat().value;
    row.name = Utf8FromPath(PathFromUtf8(path).filename());
    std::uint64_t size = 0;
    if (SizeOfFile(path, size) && size <= UINT32_MAX) {
        row.lengthValue = static_cast<std::uint32_t>(size);
        row.length = std::to_string(size);
    }
    row.kind = TrackKind::kAudio;
    row.loop = stream->Loop();
    row.bitrate = "Unknown";
    if (format) {
        row.rate = format->nSamplesPerSec;
        row.channels = format->nChannels;
        row.bitrate = std::to_string(row.rate) + "Hz," + std::to_string(row.channels) + "Ch";
    }
    return true;
}

// The member ', "damaged": true' of a track outside the container's bytes; nothing for the others.
const char* JsonDamaged(bool damaged) {
    return damaged ? ", \"damaged\": true" : "";
}

// Warns on standard error when tracks of the container at path lie outside its bytes: a line,
// or with json a JSON document that also says so for the container as a whole.
void WarnDamaged(const ExplorerSession& container, const std::string& path, std::size_t total,
                 bool json) {
    const std::uint32_t damaged = container.DamagedCount();
    if (damaged == 0) {
        return;
    }
    const std::string notice = DamageNotice(PrintedName(path), damaged, total);
    if (json) {
        std::fprintf(
            stderr, "{\"warning\": %s, \"path\": %s, \"damaged\": true, \"damagedTracks\": %u}\n",
            JsonString(notice).c_str(), JsonName(path).c_str(), static_cast<unsigned>(damaged));
        return;
    }
    std::fprintf(stderr, "%s: warning: %s\n", kProgram, notice.c_str());
}

void PrintRows(const std::vector<TrackRow>& rows, const char* unit, bool json) {
    if (!json) {
        for (const TrackRow& row : rows) {
            std::printf("%s\t%s\t%s\n", PrintedName(row.name).c_str(), row.length.c_str(),
                        row.bitrate.c_str());
        }
        return;
    }
    JsonDocumentPrinted() = true;
    std::printf("[");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TrackRow& row = rows[i];
        const bool known = row.rate != 0 || row.channels != 0;
        std::printf(
            "%s\n  {\"row\": %zu, \"name\": %s, \"length\": %s, \"unit\": %s, \"kind\": \"%s\", "
            "\"rate\": %s, \"channels\": %s%s%s}",
            i ? "," : "", i + 1, JsonName(row.name).c_str(),
            JsonNumber(row.lengthValue.value_or(0), row.lengthValue.has_value()).c_str(),
            row.lengthValue ? JsonString(unit).c_str() : "null", KindText(row.kind),
            JsonNumber(row.rate, known).c_str(), JsonNumber(row.channels, known).c_str(),
            JsonLoop(row.loop).c_str(), JsonDamaged(row.damaged));
    }
    std::printf("%s]\n", rows.empty() ? "" : "\n");
}

// The output folder exists, made with its parents when missing; false (said) when it cannot be,
// or the name is taken by a file.
bool PrepareDirectory(const std::string& directory) {
    if (IsFolder(directory)) {
        return true;
    }
    if (NameTaken(directory)) {
        FailText(directory + " is a file, not a folder: -o names the folder to write into");
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(PathFromUtf8(directory), error);
    if (error || !IsFolder(directory)) {
        Fail(directory, "cannot create the folder: " + error.message());
        return false;
    }
    return true;
}

// The tracks the arguments choose (names in their printed form, or "#N"), or every listed track
// when none is named.
std::optional<std::vector<std::string>> SelectTracks(const ExplorerSession& container,
                                                     const std::string& path,
                                                     const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        auto listed = container.ListNames();
        if (!listed.value) {
            Fail(path, listed.TextOr(kNoTrackList));
        } else {
            WarnDamaged(container, path, listed.value->size(), false);
        }
        return listed.value;
    }
    std::vector<std::string> names;
    for (const std::string& argument : arguments) {
        std::string name, error;
        if (!ResolveTrack(container, argument, name, error)) {
            Fail(argument, error);
            return std::nullopt;
        }
        names.push_back(name);
    }
    return names;
}

// What became of each output file; printed as it happens, and as one JSON document at the end.
class OutputReport {
  public:
    explicit OutputReport(bool json) : json_(json) {}

    void Written(const std::string& track, const std::string& path) {
        if (!json_) {
            std::printf("%s\n", path.c_str());
            std::fflush(stdout);
        }
        Add(track, "written", "\"path\": " + JsonName(path));
    }
    void Kept(const std::string& track, const std::string& path) {
        std::fprintf(stderr, "%s: skipped %s: the file exists (--force replaces it)\n", kProgram,
                     path.c_str());
        ++kept_;
        Add(track, "skipped", "\"path\": " + JsonName(path));
    }
    void Failed(const std::string& track, const std::string& error) {
        Fail(PrintedName(track), error);
        failed_ = true;
        Add(track, "failed", "\"error\": " + JsonString(FailureReason(error)));
    }
    // Prints the JSON document (when asked for) and the count of kept files; the exit status.
    int Finish() {
        if (json_) {
            JsonDocumentPrinted() = true;
            std::printf("[%s%s]\n", Joined(entries_, ",").c_str(), entries_.empty() ? "" : "\n");
        }
        if (kept_ > 0) {
            std::fprintf(stderr, "%s: %zu existing file%s skipped\n", kProgram, kept_,
                         kept_ == 1 ? "" : "s");
        }
        return failed_ ? kExitFailed : kExitOk;
    }

  private:
    void Add(const std::string& track, const char* status, const std::string& detail) {
        entries_.push_back("\n  {\"track\": " + JsonName(track) + ", \"status\": \"" + status +
                           "\", " + detail + "}");
    }
    bool json_;
    bool failed_ = false;
    std::size_t kept_ = 0;
    std::vector<std::string> entries_;
};

// A plug-in's or the writer's text names the staging folder; the user knows the output folder.
std::string InOutputFolder(std::string text, const StagingFolder& staging,
                           const std::string& directory) {
    for (std::size_t at; (at = text.find(staging.Path())) != std::string::npos;) {
        text.replace(at, staging.Path().size(), directory);
    }
    return text;
}

// Empties the staging folder after a track, whatever the plug-in left there.
void ClearStaging(const StagingFolder& staging) {
    for (const std::string& file : staging.Files()) {
        RemoveTree(file);
    }
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

}  // namespace

int Formats(const PluginHost& host, bool json) {
    std::vector<std::string> entries;
    auto add = [&](const char* kind, const PluginRecord& plugin) {
        if (!json) {
            std::printf("%s\t%s\t%s\n", kind, LibraryName(plugin).c_str(),
                        Joined(plugin.Extensions(), ",").c_str());
            return;
        }
        std::vector<std::string> extensions;
        for (const std::string& extension : plugin.Extensions()) {
            extensions.push_back(JsonString(extension));
        }
        entries.push_back("\n  {\"kind\": \"" + std::string(kind) +
                          "\", \"plugin\": " + JsonName(LibraryName(plugin)) +
                          ", \"extensions\": [" + Joined(extensions, ", ") + "]}");
    };
    for (const auto& explorer : host.Explorers()) {
        add("explorer", *explorer);
    }
    for (const auto& decoder : host.Decoders()) {
        add("decoder", *decoder);
    }
    if (json) {
        JsonDocumentPrinted() = true;
        std::printf("[%s%s]\n", Joined(entries, ",").c_str(), entries.empty() ? "" : "\n");
    }
    NameLeftOut(host);
    return kExitOk;
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

int List(const PluginHost& host, const std::string& path, bool json) {
    if (IsSingleFile(host, path)) {
        TrackRow row;
        std::string error;
        if (!SingleFileRow(host, path, row, error)) {
            Fail(path, error);
            return kExitFailed;
        }
        PrintRows({row}, "bytes", json);
        return kExitOk;
    }
    ContainerChain chain(host);
    std::string error;
    if (!chain.OpenPath(path, error, TrackArguments())) {
        FailChain(error);
        return kExitFailed;
    }
    std::optional<std::string> listText;
    const auto rows = ListTracks(host, *chain.Innermost(), &listText);
    if (!rows) {
        Fail(path, listText.value_or(kNoTrackList));
        return kExitFailed;
    }
    WarnDamaged(*chain.Innermost(), path, rows->size(), json);
    PrintRows(*rows, LengthUnit(chain.Innermost()->Plugin()), json);
    return kExitOk;
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
    if (!chain.OpenPath(path, error, TrackArguments())) {
        FailChain(error);
        return kExitFailed;
    }
    const auto names = SelectTracks(*chain.Innermost(), path, tracks);
    if (!names) {
        return kExitFailed;
    }
    StagingFolder staging;
    if (!staging.Create(options.directory, error)) {
        Fail(options.directory, error);
        return kExitFailed;
    }
    OutputReport report(options.json);
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
    // The tracks of the container, or the file's own path.
    std::vector<std::string> names;
    if (single) {
        names.push_back(path);
    } else {
        if (!chain.OpenPath(path, error, TrackArguments())) {
            FailChain(error);
            return kExitFailed;
        }
        auto selected = SelectTracks(*chain.Innermost(), path, tracks);
        if (!selected) {
            return kExitFailed;
        }
        names = std::move(*selected);
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

std::string LoopCountProblem(const std::string& text) {
    const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
    std::uint64_t count = 0;
    for (std::size_t i = 0; digits && i < text.size() && count <= UINT32_MAX; ++i) {
        count = count * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    return count >= 1 && count <= UINT32_MAX ? "" : "must be a whole number from 1 to 4294967295";
}

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

}  // namespace fogbell::cli
