#include "host/core/track_jobs.h"

#include "host/core/output_names.h"
#include "host/core/wave_writer.h"

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

}  // namespace

bool ExtractTrack(const ExplorerSession& container, const std::string& name,
                  const std::string& directory, std::string& error) {
    if (!container.IsOpen()) {
        error = "No container is open.";
        return false;
    }
    const PluginAnswer<bool> extracted = container.Extract(name, OutputPath(directory, name));
    if (!extracted.value) {
        error = extracted.TextOr("Error extracting file.");
    }
    return extracted.value;
}

bool SaveTrackAsWave(const PluginHost& host, const ExplorerSession* container,
                     const std::string& name, const std::string& outPath,
                     const SaveCallbacks& callbacks, std::string& error) {
    const DecoderSessionPtr stream = OpenTrackStream(host, container, name, error);
    if (!stream) {
        return false;
    }
    const PluginAnswer<std::optional<WAVEFORMATEX>> format = stream->OutputFormat();
    if (!format.value) {
        error = format.TextOr("ErrorGetFormatOut");
        return false;
    }

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
    while (stream->CanDecode()) {
        if (callbacks.stop != nullptr && callbacks.stop->load()) {
            stopped = true;
            break;
        }
        const PcmBlock* block = stream->DecodeNext();
        if (block == nullptr) {
            break;
        }
        const std::optional<std::uint32_t> position = stream->Position();
        // The block stays valid until this handle's next call, which only this thread makes.
        status = writer.Append(block->data, block->size);
        if (status != WaveWriter::Status::kOk) {
            break;
        }
        if (position && callbacks.position) {
            callbacks.position(*position);
        }
    }
    const WaveWriter::Status finished = writer.Finish();
    if (status == WaveWriter::Status::kOk) {
        status = finished;
    }
    if (status != WaveWriter::Status::kOk) {
        error = WriterText(status) + outPath;
        return false;
    }
    if (stopped) {
        error = "Stopped before the end: " + outPath;
        return false;
    }
    return true;
}

}  // namespace fogbell
