#include "host/core/track_jobs.h"

#include "host/core/output_names.h"
#include "host/core/wave_writer.h"

namespace fogbell {
namespace {

// Closes a decoder handle when it goes out of scope.
struct StreamCloser {
    OpenedFilePtr& stream;
    ~StreamCloser() { CloseOpenedFile(stream); }
};

// Opens the decoder stream of a track: from the container's bytes when there is a container,
// else from the name as a path.
OpenedFilePtr OpenTrackStream(const PluginHost& host, const OpenedFile* container,
                              const std::string& name, std::string& error) {
    if (container == nullptr) {
        return host.OpenStream(name, nullptr, 0, error);
    }
    ExplorerPlugin* explorer = container->Explorer();
    if (explorer == nullptr || !container->IsOpen()) {
        error = "No container is open.";
        return nullptr;
    }
    // Held until the decoder has taken the pointer: for AIX containers it is a record whose
    // selected track the next fnGetFilePointer on this container would change.
    std::lock_guard lock(explorer->lock);
    std::uint32_t size = 0;
    const void* data = explorer->fnGetFilePointer(container->handle, name.c_str(), &size);
    if (data == nullptr) {
        if (!host.FindDecoder(name)) {
            error = "Format unsupported.";
        } else {
            error = explorer->ErrorText("Error loading file.");
        }
        return nullptr;
    }
    return host.OpenStream(name, data, size, error);
}

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

bool ExtractTrack(const OpenedFile& container, const std::string& name,
                  const std::string& directory, std::string& error) {
    ExplorerPlugin* explorer = container.Explorer();
    if (explorer == nullptr || !container.IsOpen()) {
        error = "No container is open.";
        return false;
    }
    const std::string out = OutputPath(directory, name);
    std::lock_guard lock(explorer->lock);
    if (explorer->fnExtractFile(container.handle, name.c_str(), out.c_str()) != 0) {
        return true;
    }
    error = explorer->ErrorText("Error extracting file.");
    return false;
}

bool SaveTrackAsWave(const PluginHost& host, const OpenedFile* container, const std::string& name,
                     const std::string& outPath, const SaveCallbacks& callbacks,
                     std::string& error) {
    OpenedFilePtr stream = OpenTrackStream(host, container, name, error);
    if (!stream) {
        return false;
    }
    StreamCloser closer{stream};
    DecoderPlugin& decoder = stream->AsDecoder();
    std::unique_lock decoderLock(decoder.lock);  // released while the file is written
    const WAVEFORMATEX* format =
        decoder.fnGetFormatOut ? decoder.fnGetFormatOut(stream->handle) : nullptr;
    if (format == nullptr) {
        error = decoder.ErrorText("ErrorGetFormatOut");
        return false;
    }
    decoderLock.unlock();

    WaveWriter writer;
    if (WaveWriter::Status status = writer.Create(outPath, *format);
        status != WaveWriter::Status::kOk) {
        error = WriterText(status) + outPath;
        return false;
    }
    if (callbacks.fileCreated) {
        callbacks.fileCreated();
    }
    if (decoder.fnGetSizeData && callbacks.range) {
        decoderLock.lock();
        const std::uint32_t size = decoder.fnGetSizeData(stream->handle);
        decoderLock.unlock();
        callbacks.range(size);
    }
    WaveWriter::Status status = WaveWriter::Status::kOk;
    bool stopped = false;
    while (decoder.fnDecodeNext != nullptr) {
        if (callbacks.stop != nullptr && callbacks.stop->load()) {
            stopped = true;
            break;
        }
        decoderLock.lock();
        const PcmBlock* block = decoder.fnDecodeNext(stream->handle);
        const std::uint32_t position =
            block && decoder.fnGetCurrPos ? decoder.fnGetCurrPos(stream->handle) : 0;
        decoderLock.unlock();
        if (block == nullptr) {
            break;
        }
        // The block stays valid until this handle's next call, which only this thread makes.
        status = writer.Append(block->data, block->size);
        if (status != WaveWriter::Status::kOk) {
            break;
        }
        if (decoder.fnGetCurrPos && callbacks.position) {
            callbacks.position(position);
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
