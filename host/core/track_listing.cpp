#include "host/core/track_listing.h"

namespace fogbell {
namespace {

std::string FormatText(const WAVEFORMATEX& format) {
    return std::to_string(format.nSamplesPerSec) + "Hz," + std::to_string(format.nChannels) + "Ch";
}

// The Bitrate cell of one track. The caller holds the explorer's lock, so that the pointer (for
// AIX containers a record selecting this track) stays as handed out until the decoder took it.
std::string BitrateCell(const PluginHost& host, const OpenedFile& container,
                        ExplorerPlugin& explorer, const std::string& name) {
    std::uint32_t size = 0;
    const void* data = explorer.fnGetFilePointer(container.handle, name.c_str(), &size);
    if (data == nullptr || size == 0) {
        return "";
    }
    if (OpenedFilePtr stream = host.FindDecoder(name)) {
        DecoderPlugin& decoder = stream->AsDecoder();
        if (decoder.fnLoadFileMemory == nullptr) {
            return "";
        }
        std::lock_guard lock(decoder.lock);  // the play thread may be using this library
        const std::int32_t handle = decoder.fnLoadFileMemory(-1, -1, data, size);
        if (handle == FOGBELL_NO_HANDLE) {
            return "";
        }
        const WAVEFORMATEX* format =
            decoder.fnGetFormatSource ? decoder.fnGetFormatSource(handle) : nullptr;
        std::string cell = format ? FormatText(*format) : "Unknown";
        decoder.fnCloseFile(handle);
        return cell;
    }
    return host.FindExplorer(name) ? ".." : "Unsupported";
}

}  // namespace

std::optional<std::vector<TrackRow>> ListTracks(const PluginHost& host,
                                                const OpenedFile& container) {
    ExplorerPlugin* explorer = container.Explorer();
    if (explorer == nullptr || !container.IsOpen()) {
        return std::nullopt;
    }
    // The name list stays valid only until the plug-in's next listing: keep the lock throughout.
    std::lock_guard lock(explorer->lock);
    char** names = explorer->fnGetListFiles(container.handle);
    if (names == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> trackNames;
    for (char** p = names; *p != nullptr && **p != '\0'; ++p) {
        trackNames.emplace_back(*p);
    }
    std::vector<TrackRow> rows;
    rows.reserve(trackNames.size());
    for (std::string& name : trackNames) {
        TrackRow row;
        if (explorer->fnGetLengthFile != nullptr) {
            row.length = std::to_string(explorer->fnGetLengthFile(container.handle, name.c_str()));
        }
        row.bitrate = BitrateCell(host, container, *explorer, name);
        row.name = std::move(name);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace fogbell
