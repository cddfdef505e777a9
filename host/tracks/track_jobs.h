// The work of the track commands on one track: extracting it as stored, and decoding it into a
// 16-bit PCM WAVE file. The window's worker threads and the command-line program both run it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "host/audio/loop_unrolling.h"
#include "host/plugins/plugin_host.h"

namespace fogbell {

// Opens the decoder stream of a track: from the container's bytes when one is given, else from
// name as a path. Null with the reason when it cannot be opened.
DecoderSessionPtr OpenTrackStream(const PluginHost& host, const ExplorerSession* container,
                                  const std::string& name, std::string& error);

// Extracts the track into directory under its safe output name (the explorer may change the
// extension). False with the explorer's text when it fails.
bool ExtractTrack(const ExplorerSession& container, const std::string& name,
                  const std::string& directory, std::string& error);
// Extracts the track to outPath (the explorer may change the extension); as ExtractTrack.
bool ExtractTrackTo(const ExplorerSession& container, const std::string& name,
                    const std::string& outPath, std::string& error);

struct SaveCallbacks {
    std::function<void()> fileCreated;            // the WAVE file exists and is being written
    std::function<void(std::uint32_t)> range;     // fnGetSizeData of the stream
    std::function<void(std::uint32_t)> position;  // fnGetCurrPos after each block
    const std::atomic<bool>* stop = nullptr;      // set: finish the file and give up
};

// Decodes a track into a WAVE file at outPath. The track's bytes come from the container when
// one is given (as fnGetFilePointer hands them out), else name is opened as a path. The decoder
// is the one serving name's extension; the PCM is its output format, unchanged. Memory use is
// one block at a time. A track with loop points gets a sampler chunk that marks its loop
// (wave_writer.h). False with a text when the track could not be saved; a file that was started
// is always finished with correct lengths for what it holds.
bool SaveTrackAsWave(const PluginHost& host, const ExplorerSession* container,
                     const std::string& name, const std::string& outPath,
                     const SaveCallbacks& callbacks, std::string& error);

// As SaveTrackAsWave, but a track with loop points is written with its loop unrolled
// (loop_unrolling.h), and without a sampler chunk: its loop is in the samples already, and a
// player looping it again would repeat the fade-out. hasLoop tells whether the track had loop
// points; one without is saved exactly as SaveTrackAsWave saves it.
bool SaveTrackUnrolled(const PluginHost& host, const ExplorerSession* container,
                       const std::string& name, const std::string& outPath,
                       const LoopUnrolling& unrolling, bool& hasLoop, std::string& error);

}  // namespace fogbell
