// The EBU R 128 loudness (loudness_meter.h) of a sound as a decoder plug-in plays it: of an open
// stream, or of a file read through its decoder in the format asked for.
#pragma once

#include <cstdint>
#include <string>

#include "host/loudness/loudness_meter.h"
#include "host/plugins/plugin_host.h"

namespace fogbell {

// The stream's figures, decoded from where it is to its end in its output format. False with a
// text when it gives no 16-bit PCM format or the meter cannot be made.
bool MeasureStream(const DecoderSession& stream, loudness::LoudnessFigures& figures,
                   std::string& error);

// The figures of the file at path read by the decoder serving routeName's extension, in channels
// and rate (kSourceValue: the source's), as ReadPcmFile reads it. False with a text on failure.
bool MeasureFile(const PluginHost& host, const std::string& routeName, const std::string& path,
                 std::int32_t channels, std::int32_t rate, loudness::LoudnessFigures& figures,
                 std::string& error);

}  // namespace fogbell
