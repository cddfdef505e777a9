// Whether the bytes a replacement writes still play as the track: they are opened by the decoder
// that plays the track, the one serving the track name's extension, as playback chooses it. A
// track whose extension no decoder serves is not checked.
#pragma once

#include <optional>
#include <string>

#include "host/plugins/plugin_host.h"

namespace fogbell {

// Why the track's decoder cannot read the file at path, naming the file as shownName, what the
// file is when the decoder of its own extension reads it, and the track's format; none when the
// track's decoder reads it, when no decoder serves the track, or when the file cannot be read at
// all (the write says so).
std::optional<std::string> UnplayableReplacement(const PluginHost& host, const std::string& track,
                                                 const std::string& path,
                                                 const std::string& shownName);

}  // namespace fogbell
