#include "host/core/track_listing.h"

namespace fogbell {
namespace {

std::string FormatText(const WAVEFORMATEX& format) {
    return std::to_string(format.nSamplesPerSec) + "Hz," + std::to_string(format.nChannels) + "Ch";
}

// The Bitrate cell of one track with its kind and format. The track's bytes stay held until the
// decoder took them (for AIX containers the pointer is a record selecting this track).
void DescribeTrack(const PluginHost& host, const ExplorerSession& container, TrackRow& row) {
    const std::string& name = row.name;
    row.kind = TrackKind::kUnknown;
    const TrackBytes track = container.Track(name);
    if (!track || track.Size() == 0) {
        // Nothing to read; still, a name no plug-in serves is unsupported whatever it holds.
        if (!host.FindDecoder(name) && !host.FindExplorer(name)) {
            row.kind = TrackKind::kUnsupported;
        }
        return;
    }
    if (host.FindDecoder(name)) {
        std::string ignored;
        const DecoderSessionPtr stream = host.OpenStream(name, track.Data(), track.Size(), ignored);
        if (!stream) {
            return;
        }
        const std::optional<WAVEFORMATEX> format = stream->SourceFormat().value;
        row.kind = TrackKind::kAudio;
        row.loop = stream->Loop();
        row.bitrate = format ? FormatText(*format) : "Unknown";
        if (format) {
            row.rate = format->nSamplesPerSec;
            row.channels = format->nChannels;
        }
        return;
    }
    const bool nested = host.FindExplorer(name) != nullptr;
    row.kind = nested ? TrackKind::kContainer : TrackKind::kUnsupported;
    row.bitrate = nested ? ".." : "Unsupported";
}

}  // namespace

const char* LengthUnit(const ExplorerPlugin& explorer) {
    return explorer.Serves("AIX") ? "samples" : "bytes";
}

std::optional<std::vector<std::string>> ListTrackNames(const ExplorerSession& container) {
    if (!container.IsOpen()) {
        return std::nullopt;
    }
    return container.ListNames().value;
}

std::optional<std::vector<TrackRow>> ListTracks(const PluginHost& host,
                                                const ExplorerSession& container,
                                                std::optional<std::string>* listText) {
    if (!container.IsOpen()) {
        return std::nullopt;
    }
    std::optional<std::vector<TrackRow>> rows;
    // The listing and every row's calls see one state of the container.
    container.Exclusively([&] {
        PluginAnswer<std::optional<std::vector<std::string>>> listed = container.ListNames();
        if (!listed.value) {
            if (listText != nullptr) {
                *listText = listed.text;
            }
            return;
        }
        std::optional<std::vector<std::string>>& names = listed.value;
        rows.emplace();
        rows->reserve(names->size());
        for (std::string& name : *names) {
            TrackRow row;
            if (const std::optional<std::uint32_t> length = container.Length(name)) {
                row.lengthValue = length;
                row.length = std::to_string(*length);
            }
            row.name = std::move(name);
            DescribeTrack(host, container, row);
            rows->push_back(std::move(row));
        }
    });
    return rows;
}

}  // namespace fogbell
