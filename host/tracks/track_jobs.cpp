#include "host/tracks/track_jobs.h"

#include <algorithm>

#include "host/audio/wave_writer.h"
#include "host/tracks/output_names.h"

namespace fogbell {

DecoderSessionPtr OpenTrackStream(const PluginHost& host, const ExplorerSession* container,
                                  const std::string& name, std::string& error) {
    if (container == nullptr) {
        return host.OpenStream(name, nullptr, 0, error);
    }
    if (!container->IsOpen()) {
        error = "No container is open.";
        return nullptr;
    }
    // Held until the decoder has taken the bytes: for AIX containers they are a record whose
    // selected track the next fnGetFilePointer on this container would change.
    const TrackBytes track = container->Track(name);
    if (!track) {
        error =
            host.FindDecoder(name) ? track.TextOr("Error loading file.") : "Format unsupported.";
        return nullptr;
    }
    return host.OpenStream(name, track.Data(), track.Size(), error);
}

namespace {

const char* WriterText(WaveWriter::Status status) {
    switch (status) {
        case WaveWriter::Status::kCannotCreate:
            return "Can't create file: ";
        case WaveWriter::Status::kTooLarge:
            return "WAVE file would pass 4 GiB, stopped: ";
        case WaveWriter::Status::kWriteFailed:
        case WaveWriter::Status::kOk:
            break;
    }
    return "Can't write file: ";
}

// The stream's loop in frames of its output: loop points count samples of the source, so a
// stream converted to another rate (the host asks for none) has no loop a file could carry.
std::optional<LoopPoints> OutputLoop(const DecoderSession& stream, const WAVEFORMATEX& output) {
    const std::optional<WAVEFORMATEX> source = stream.SourceFormat().value;
    if (!source || source->nSamplesPerSec != output.nSamplesPerSec) {
        return std::nullopt;
    }
    return stream.Loop();
}

// The whole stream as it decodes, block after block, to append, until append says stop.
void CopyBlocks(const DecoderSession& stream, const PcmSink& append) {
    while (stream.CanDecode()) {
        const PcmBlock* block = stream.DecodeNext();
        // The block stays valid until this handle's next call, which only this thread makes.
        if (block == nullptr || !append(block->data, block->size)) {
            return;
        }
    }
}

// What unrolling the stream's loop takes, in frames of its output format.
UnrollRequest RequestFor(const DecoderSession& stream, const WAVEFORMATEX& format,
                         const LoopPoints& loop, const LoopUnrolling& unrolling) {
    UnrollRequest request;
    request.loop = loop;
    request.passes = unrolling.passes;
    request.fadeFrames = FadeFrames(unrolling.fadeSeconds, format.nSamplesPerSec);
    request.frameBytes = format.nBlockAlign;
    request.seek = stream.CanSeek();
    return request;
}

// Whether the whole rendering fits the data of one WAVE file.
bool FitsInWave(const UnrollRequest& request) {
    const std::uint64_t frames = UnrolledFrames(request.loop, request.passes, request.fadeFrames);
    return frames <= kMaxWaveDataLength / std::max<std::uint32_t>(request.frameBytes, 1);
}

// SaveTrackAsWave and SaveTrackUnrolled: unrolling set writes a looped track unrolled.
bool SaveTrack(const PluginHost& host, const ExplorerSession* container, const std::string& name,
               const std::string& outPath, const SaveCallbacks& callbacks,
               const LoopUnrolling* unrolling, bool* hasLoop, std::string& error) {
    const DecoderSessionPtr stream = OpenTrackStream(host, container, name, error);
    if (!stream) {
        return false;
    }
    const PluginAnswer<std::optional<WAVEFORMATEX>> format = stream->OutputFormat();
    if (!format.value) {
        error = format.TextOr("ErrorGetFormatOut");
        return false;
    }
    const std::optional<LoopPoints> loop = OutputLoop(*stream, *format.value);
    if (hasLoop != nullptr) {
        *hasLoop = loop.has_value();
    }
    const bool unroll = unrolling != nullptr && loop;

    WaveWriter writer;
    if (WaveWriter::Status status = writer.Create(outPath, *format.value);
        status != WaveWriter::Status::kOk) {
        error = WriterText(status) + outPath;
        return false;
    }
    if (callbacks.fileCreated) {
        callbacks.fileCreated();
    }
    if (callbacks.range) {
        if (const std::optional<std::uint32_t> size = stream->SizeData()) {
            callbacks.range(*size);
        }
    }
    WaveWriter::Status status = WaveWriter::Status::kOk;
    bool stopped = false;
    const PcmSink append = [&](const std::uint8_t* data, std::uint32_t size) {
        if (callbacks.stop != nullptr && callbacks.stop->load()) {
            stopped = true;
            return false;
        }
        status = writer.Append(data, size);
        if (status != WaveWriter::Status::kOk) {
            return false;
        }
        if (callbacks.position) {
            if (const std::optional<std::uint32_t> position = stream->Position()) {
                callbacks.position(*position);
            }
        }
        return true;
    };
    std::string unrollError;
    if (!unroll) {
        CopyBlocks(*stream, append);
    } else if (const UnrollRequest request = RequestFor(*stream, *format.value, *loop, *unrolling);
               !FitsInWave(request)) {
        status = WaveWriter::Status::kTooLarge;  // refused before anything is decoded
    } else {
        UnrollLoop(*stream, request, append, unrollError);
    }
    // The unrolled file's loop is in its samples; marking it would loop the fade-out too.
    const WaveWriter::Status finished = writer.Finish(unroll ? std::nullopt : loop);
    if (status == WaveWriter::Status::kOk) {
        status = finished;
    }
    if (status != WaveWriter::Status::kOk) {
        error = WriterText(status) + outPath;
        return false;
    }
    if (!unrollError.empty()) {
        error = unrollError;
        return false;
    }
    if (stopped) {
        error = "Stopped before the end: " + outPath;
        return false;
    }
    return true;
}

}  // namespace

bool ExtractTrack(const ExplorerSession& container, const std::string& name,
                  const std::string& directory, std::string& error) {
    return ExtractTrackTo(container, name, OutputPath(directory, name), error);
}

bool ExtractTrackTo(const ExplorerSession& container, const std::string& name,
                    const std::string& outPath, std::string& error) {
    if (!container.IsOpen()) {
        error = "No container is open.";
        return false;
    }
    const PluginAnswer<bool> extracted = container.Extract(name, outPath);
    if (!extracted.value) {
        error = extracted.TextOr("Error extracting file.");
    }
    return extracted.value;
}

bool SaveTrackAsWave(const PluginHost& host, const ExplorerSession* container,
                     const std::string& name, const std::string& outPath,
                     const SaveCallbacks& callbacks, std::string& error) {
    return SaveTrack(host, container, name, outPath, callbacks, nullptr, nullptr, error);
}

bool SaveTrackUnrolled(const PluginHost& host, const ExplorerSession* container,
                       const std::string& name, const std::string& outPath,
                       const LoopUnrolling& unrolling, bool& hasLoop, std::string& error) {
    return SaveTrack(host, container, name, outPath, {}, &unrolling, &hasLoop, error);
}

}  // namespace fogbell
