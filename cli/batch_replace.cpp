#include "cli/batch_replace.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "cli/cli_output.h"
#include "cli/json_text.h"
#include "cli/track_names.h"
#include "host/containers/container_chain.h"
#include "host/containers/container_replace.h"
#include "host/containers/replacement_file.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell::cli {
namespace {

constexpr const char* kWaveExtension = ".wav";

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// What became of one track of the batch.
struct TrackLine {
    std::string track;
    std::string file;
    const char* status = "replaced";  // "replaced", "unchanged" or "failed"
    std::string reason;
};

// The bytes of the file at path; empty when it cannot be read.
std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Whether the track already holds exactly the bytes of the file at path.
bool TrackHolds(const ExplorerSession& container, const std::string& track,
                const std::string& path) {
    const TrackBytes bytes = container.Track(track);
    if (!bytes) {
        return false;
    }
    const std::vector<std::uint8_t> wanted = FileBytes(path);
    const auto* held = static_cast<const std::uint8_t*>(bytes.Data());
    return wanted.size() == bytes.Size() && std::equal(wanted.begin(), wanted.end(), held);
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

}  // namespace

bool FileNamesTrack(const std::string& file, const std::string& track) {
    if (EqualNoCase(file, track) || EqualNoCase(file, track + kWaveExtension)) {
        return true;
    }
    const std::size_t dot = track.rfind('.');
    return dot != std::string::npos && dot != 0 &&
           EqualNoCase(file, track.substr(0, dot) + kWaveExtension);
}

std::vector<int> MatchFiles(const std::vector<std::string>& files,
                            const std::vector<std::string>& tracks) {
    std::vector<int> matches(files.size(), -1);
    for (std::size_t f = 0; f < files.size(); ++f) {
        // The exact name first: "a.adx" names track "a.adx" even beside a track "a.wav".
        for (std::size_t t = 0; t < tracks.size() && matches[f] < 0; ++t) {
            if (EqualNoCase(files[f], tracks[t])) {
                matches[f] = static_cast<int>(t);
            }
        }
        for (std::size_t t = 0; t < tracks.size() && matches[f] < 0; ++t) {
            if (FileNamesTrack(files[f], tracks[t])) {
                matches[f] = static_cast<int>(t);
            }
        }
    }
    return matches;
}

const ExplorerSession* OpenReplaceableContainer(ContainerChain& chain, const std::string& path) {
    std::string error;
    if (!chain.OpenPath(path, error, TrackArguments())) {
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

int ReplaceFromFolder(const PluginHost& host, const std::string& path, const std::string& folder,
                      bool rebuild, bool json, const LoopOptions& loop, bool raw) {
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
    const std::vector<int> matches = MatchFiles(files, *tracks);

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
        auto replacement = std::make_unique<ConvertedReplacement>(
            host, container, line.track, file, ConversionControl{}, LoopRequestOf(loop), raw);
        if (!replacement->Ok()) {
            line.status = "failed";
            line.reason = replacement->LoopRefused()
                              ? replacement->Error() + " " + kLoopAdvice + "."
                              : replacement->Error();
        } else if (TrackHolds(container, line.track, replacement->Path())) {
            line.status = "unchanged";
        } else {
            line.reason = replacement->Note();
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
                line.reason = "takes " + std::to_string(result.sizes[i]) +
                              " bytes, the track has room for " + std::to_string(result.rooms[i]) +
                              (result.rebuildable ? "; --rebuild would rebuild the container"
                                                  : ", and a container of this kind cannot be "
                                                    "rebuilt");
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

}  // namespace fogbell::cli
