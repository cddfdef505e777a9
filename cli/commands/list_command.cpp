// fogbell-cli list PATH [--json]: a container's rows (name, length, bitrate), or the one row of a
// single audio file; with --json, typed values (the duration in "seconds" too).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/json_text.h"
#include "cli/track_names.h"
#include "host/containers/container_chain.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "host/tracks/track_listing.h"

namespace fogbell::cli {
namespace {

struct ListOptions {
    std::string path;
    bool json = false;
};

std::string JsonNumber(std::uint64_t value, bool known) {
    return known ? std::to_string(value) : "null";
}

// A duration in seconds to the millisecond ("12.345"), or null without one.
std::string JsonSeconds(const std::optional<std::uint32_t>& milliseconds) {
    if (!milliseconds) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u", *milliseconds / 1000, *milliseconds % 1000);
    return text;
}

// The member ', "loop": [start, end]' of a track with a loop; nothing for the others.
std::string JsonLoop(const std::optional<LoopPoints>& loop) {
    return loop ? ", \"loop\": [" + std::to_string(loop->start) + ", " + std::to_string(loop->end) +
                      "]"
                : "";
}

// The member ', "damaged": true' of a track outside the container's bytes; nothing for the others.
const char* JsonDamaged(bool damaged) {
    return damaged ? ", \"damaged\": true" : "";
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
    row.milliseconds = StreamMilliseconds(*stream);  // decodes the first block: after the loop
    row.bitrate = "Unknown";
    if (format) {
        row.rate = format->nSamplesPerSec;
        row.channels = format->nChannels;
        row.bitrate = std::to_string(row.rate) + "Hz," + std::to_string(row.channels) + "Ch";
    }
    return true;
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
            "\"rate\": %s, \"channels\": %s, \"seconds\": %s%s%s}",
            i ? "," : "", i + 1, JsonName(row.name).c_str(),
            JsonNumber(row.lengthValue.value_or(0), row.lengthValue.has_value()).c_str(),
            row.lengthValue ? JsonString(unit).c_str() : "null", KindText(row.kind),
            JsonNumber(row.rate, known).c_str(), JsonNumber(row.channels, known).c_str(),
            JsonSeconds(row.milliseconds).c_str(), JsonLoop(row.loop).c_str(),
            JsonDamaged(row.damaged));
    }
    std::printf("%s]\n", rows.empty() ? "" : "\n");
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
    if (!chain.OpenPath(path, error, TrackArguments(path))) {
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

}  // namespace

void AddListCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* list = app.add_subcommand("list", "One row per track: name, length, bitrate");
    list->add_option("PATH", options->path, "Container, or a single audio file")->required();
    list->add_flag("--json", options->json, "Machine-readable output with typed values");
    context.OnRun(list, [&context, options] {
        const PluginHost& host = context.Plugins();
        if (const int status = RefuseUnreadable(options->path); status != kExitOk) {
            return status;
        }
        if (SplitChainPath(options->path).size() > 1 && RefuseTrack(host, options->path)) {
            return kExitUsage;
        }
        return List(host, options->path, options->json);
    });
}

}  // namespace fogbell::cli
