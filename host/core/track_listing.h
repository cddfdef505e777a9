// The rows of the track list: each track's name, its length and its sound format, as the
// window's three columns show them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/core/plugin_host.h"

namespace fogbell {

// What a row holds, as its Bitrate cell tells it.
enum class TrackKind {
    kAudio,        // a decoder opened it ("%uHz,%uCh", or "Unknown" without a source format)
    kContainer,    // an explorer serves its extension ("..")
    kUnsupported,  // no plug-in serves its extension ("Unsupported")
    kUnknown,      // a plug-in serves its extension but the track gave no bytes or the
                   // decoder refused them (empty cell)
};

struct TrackRow {
    std::string name;     // exactly as the explorer lists it; commands pass it back
    std::string length;   // "%u" of fnGetLengthFile, empty without that entry point
    std::string bitrate;  // "%uHz,%uCh", "Unknown", ".." (a container), "Unsupported" or empty
    // The same as values: the length (none without fnGetLengthFile), the kind, and the source
    // format's rate and channels (0 when not known).
    std::optional<std::uint32_t> lengthValue;
    TrackKind kind = TrackKind::kUnknown;
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::optional<LoopPoints> loop;  // the stream's loop, when its decoder gives one
};

// What the lengths of an explorer's tracks count: "samples" for AIX containers (the total of the
// track's ADX header), "bytes" for every other container.
const char* LengthUnit(const ExplorerPlugin& explorer);

// The container's track names in the explorer's order; nullopt when nothing is open or the
// plug-in gives no list.
std::optional<std::vector<std::string>> ListTrackNames(const ExplorerSession& container);

// Lists a container's tracks in container order, up to the first null or empty name. Each
// track is opened once by the decoder serving its extension, only to read its source format.
// Nothing when the container is not open or the explorer gives no list.
// listText, when given, receives the explorer's text when it gave no list.
std::optional<std::vector<TrackRow>> ListTracks(const PluginHost& host,
                                                const ExplorerSession& container,
                                                std::optional<std::string>* listText = nullptr);

}  // namespace fogbell
