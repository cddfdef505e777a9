// The rows of the track list: each track's name, its length and its sound format, as the
// window's three columns show them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/core/plugin_host.h"

namespace fogbell {

struct TrackRow {
    std::string name;     // exactly as the explorer lists it; commands pass it back
    std::string length;   // "%u" of fnGetLengthFile, empty without that entry point
    std::string bitrate;  // "%uHz,%uCh", "Unknown", ".." (a container), "Unsupported" or empty
};

// Lists a container's tracks in container order, up to the first null or empty name. Each
// track is opened once by the decoder serving its extension, only to read its source format.
// Nothing when the container is not open or the explorer gives no list.
std::optional<std::vector<TrackRow>> ListTracks(const PluginHost& host,
                                                const OpenedFile& container);

}  // namespace fogbell
