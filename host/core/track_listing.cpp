#include "host/core/track_listing.h"

namespace fogbell {
namespace {

std::string FormatText(const WAVEFORMATEX& format) {
    return std::to_string(format.nSamplesPerSec) + "Hz," + std::to_string(format.nChannels) + "Ch";
}

// The Bitrate cell of one track with its kind and format. The caller holds the explorer's lock,
// so that the pointer (for AIX containers a record selecting this track) stays as handed out
// until the decoder took it.
void DescribeTrack(const PluginHost& host, const OpenedFile& container, ExplorerPlugin& explorer,
                   TrackRow& row) {
    const std::string& name = row.name;
    row.kind = TrackKind::kUnknown;
    std::uint32_t size = 0;
    const void* data = explorer.fnGetFilePointer(container.handle, name.c_str(), &size);
    if (data == nullptr || size == 0) {
        // Nothing to read; still, a name no plug-in serves is unsupported whatever it holds.
        if (!host.FindDecoder(name) && !host.FindExplorer(name)) {
            row.kind = TrackKind::kUnsupported;
        }
        return;
    }
    if (OpenedFilePtr stream = host.FindDecoder(name)) {
        DecoderPlugin& decoder = stream->AsDecoder();
        if (decoder.fnLoadFileMemory == nullptr) {
            return;
        }
        std::lock_guard lock(decoder.lock);  // the play thread may be using this library
        const std::int32_t handle = decoder.fnLoadFileMemory(-1, -1, data, size);
        if (handle == FOGBELL_NO_HANDLE) {
            return;
        }
        const WAVEFORMATEX* format =
            decoder.fnGetFormatSource ? decoder.fnGetFormatSource(handle) : nullptr;
        row.kind = TrackKind::kAudio;
        row.bitrate = format ? FormatText(*format) : "Unknown";
        if (format != nullptr) {
            row.rate = format->nSamplesPerSec;
            row.channels = format->nChannels;
        }
        decoder.fnCloseFile(handle);
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

std::optional<std::vector<std::string>> ListTrackNames(const OpenedFile& container) {
    ExplorerPlugin* explorer = container.Explorer();
    if (explorer == nullptr || !container.IsOpen()) {
        return std::nullopt;
    }
    // The name list stays valid only until the plug-in's next listing.
    std::lock_guard lock(explorer->lock);
    char** names = explorer->fnGetListFiles(container.handle);
    if (names == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (char** p = names; *p != nullptr && **p != '\0'; ++p) {
        out.emplace_back(*p);
    }
    return out;
}

std::optional<std::vector<TrackRow>> ListTracks(const PluginHost& host,
                                                const OpenedFile& container) {
    ExplorerPlugin* explorer = container.Explorer();
    if (explorer == nullptr || !container.IsOpen()) {
        return std::nullopt;
    }
    // One lock (it is recursive) across the listing and every row's plug-in calls.
    std::lock_guard lock(explorer->lock);
    std::optional<std::vector<std::string>> listed = ListTrackNames(container);
    if (!listed) {
        return std::nullopt;
    }
    std::vector<std::string>& trackNames = *listed;
    std::vector<TrackRow> rows;
    rows.reserve(trackNames.size());
    for (std::string& name : trackNames) {
        TrackRow row;
        if (explorer->fnGetLengthFile != nullptr) {
            row.lengthValue = explorer->fnGetLengthFile(container.handle, name.c_str());
            row.length = std::to_string(*row.lengthValue);
        }
        row.name = std::move(name);
        DescribeTrack(host, container, *explorer, row);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace fogbell
