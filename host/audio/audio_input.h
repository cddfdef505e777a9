// Sound files given to the program as input (a replacement for a track, a file to encode or to
// measure): which decoder plug-in reads one, and the loop it carries.
//
// A file is read by the decoder that serves its extension. A file whose extension no decoder
// serves is recognised by its first bytes:
//   offset  size  bytes
//   0       4     "RIFF", and "WAVE" at 8       a WAVE file
//   0       4     "fLaC"                         FLAC
//   0       4     "OggS"                         Ogg (Vorbis or Opus)
//   0       4     "FORM", and "AIFF"/"AIFC" at 8 AIFF
//   0       3     "ID3", or 0xFF then 0xE0 set   MP3 (an ID3 tag, or an MPEG frame's sync bits)
// and routed to the decoder that serves that format's extension, if one is loaded.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/plugins/plugin_host.h"

namespace fogbell {

// The name whose extension routes the file at path to the decoder that reads it (path itself
// when a decoder serves its extension), or "" when no decoder is known to read it.
std::string InputRoute(const PluginHost& host, const std::string& path);

// The file at path is a RIFF WAVE file by its first bytes.
bool IsWaveFile(const std::string& path);

// The loop a sound file carries, in samples per channel at its own rate: the first loop of a
// WAVE file's sampler chunk, else the loop points the decoder on route reports (loop tags of a
// FLAC or Ogg file, the sampler loop of an AIFF), else none.
std::optional<LoopPoints> InputLoop(const PluginHost& host, const std::string& route,
                                    const std::string& path);

// The extensions (upper case, no dot) of files that go into a track converted to the track's
// format: WAV and every decoder's, but for the stream formats the encoders write (ADX, XMD),
// which go in as they are.
std::vector<std::string> ConvertedExtensions(const PluginHost& host);

// Whether extension (any case, no dot) is one the encoders write, whose files go in as they are.
bool IsEncodedStreamExtension(const std::string& extension);

}  // namespace fogbell
