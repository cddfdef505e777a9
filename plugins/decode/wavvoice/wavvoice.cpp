// wavvoice: the decoder plug-in for RIFF WAVE files with PCM or float data (layout in
// wave_file.h, sample formats in wave_samples.h).
//
// One second of the data chunk per fnDecodeNext, turned into 16-bit PCM and converted to the
// format the caller asked for. fnGetFormatSource reports the file's own sample format (a
// WAVE_FORMAT_EXTENSIBLE file as the plain tag it holds); the output is always 16-bit.
// fnGetSizeData is the data chunk's size and fnGetCurrPos the data bytes delivered so far. Every
// entry point that takes a handle, and both loaders, first set the text to "OK".
#include <atomic>
#include <memory>
#include <new>
#include <vector>

#include "fmtconv.h"
#include "fogbell_decoder.h"
#include "mapped_file.h"
#include "path_loader.h"
#include "plugin_support.h"
#include "wave_file.h"

namespace {

using namespace fogbell::plugin;
namespace wave = fogbell::wave;

constexpr const char* kNoFreeHandle = "Not free handle.";

// WAVEDECODEFILE: one open file.
struct WaveDecodeFile {
    MappedFile* file = nullptr;  // set when the plug-in mapped the file itself
    const std::uint8_t* base = nullptr;
    std::uint32_t memorySize = 0;  // the bytes supplied (the file's length for a path)
    wave::WaveFile wave;
    std::atomic<std::uint32_t> position{0};  // data bytes delivered; read by other threads
    WAVEFORMATEX sourceFormat{};             // the file's own samples
    WAVEFORMATEX pcmFormat{};                // the same channels and rate as 16-bit PCM
    WAVEFORMATEX outputFormat{};
    std::unique_ptr<FormatConverter> converter;  // pcmFormat to outputFormat
    std::vector<std::int16_t> pcm;  // one second as 16-bit PCM; unused for 16-bit files
    PcmOutput out;

    WaveDecodeFile() = default;
    WaveDecodeFile(const WaveDecodeFile&) = delete;
    WaveDecodeFile& operator=(const WaveDecodeFile&) = delete;
    ~WaveDecodeFile() { CloseMappedFile(file); }
};

// The record of a handle after setting "OK", or null with the handle table's text.
WaveDecodeFile* Lookup(int handle) {
    SetOk();
    return LookupRecord<WaveDecodeFile>(handle);
}

// The file's own format record: pcm (its channels and rate as 16-bit PCM) with the header's
// format tag (the plain one for an extensible file), sample width and the block size they give.
WAVEFORMATEX SourceFormat(const WAVEFORMATEX& pcm, const wave::WaveFile& wave) {
    WAVEFORMATEX source = pcm;
    if (wave.kind == wave::SampleKind::kInt16) {
        return source;
    }
    source.wFormatTag = wave.header.formatTag;
    source.wBitsPerSample = wave.header.bitsPerSample;
    source.nBlockAlign = wave.header.blockAlign;
    source.nAvgBytesPerSec = pcm.nSamplesPerSec * wave.header.blockAlign;
    return source;
}

int LoadFromMemory(std::int32_t channelsOut, std::int32_t rateOut, const std::uint8_t* data,
                   std::uint32_t size) {
    SetOk();
    if (!CheckMemory(data)) {
        return kNoHandle;
    }
    const int handle = FindFreeHandle();
    if (handle == kNoHandle) {
        SetErrorText("%s", kNoFreeHandle);
        return kNoHandle;
    }
    wave::WaveFile wave;
    const wave::FileStatus status = wave::ReadWaveFile(data, size, wave);
    if (status != wave::FileStatus::kOk) {
        if (status != wave::FileStatus::kLayoutRefused &&
            status != wave::FileStatus::kFormatRefused) {
            SetErrorText("%s", wave::StatusText(status));
        }
        return kNoHandle;
    }
    std::unique_ptr<WaveDecodeFile> record(new (std::nothrow) WaveDecodeFile);
    if (record == nullptr) {
        SetErrorText("Can't allocate WAVEDECODEFILE");
        return kNoHandle;
    }
    record->base = data;
    record->memorySize = size;
    record->wave = wave;
    record->pcmFormat = MakePcmFormat(wave.header.channels, wave.header.samplesPerSec);
    record->outputFormat = RequestedFormat(record->pcmFormat, channelsOut, rateOut);
    record->converter = FormatConverter::Open(record->pcmFormat, record->outputFormat);
    if (record->converter == nullptr) {
        return kNoHandle;
    }
    // The converter accepted the 16-bit second, so the source's (at most four times as many
    // bytes) fits in 32 bits.
    record->sourceFormat = SourceFormat(record->pcmFormat, wave);
    record->out.Reserve(record->outputFormat.nAvgBytesPerSec);
    if (wave.kind != wave::SampleKind::kInt16) {
        record->pcm.resize(record->pcmFormat.nAvgBytesPerSec / sizeof(std::int16_t));
    }
    StoreRecord(handle, record.release());
    return handle;
}

// The next second of data in the output format, or null at the end of the data.
const PcmBlock* NextBlock(WaveDecodeFile& record) {
    const std::uint32_t position = record.position.load(std::memory_order_relaxed);
    const std::uint32_t length =
        wave::BlockLength(position, record.wave.dataSize, record.sourceFormat.nAvgBytesPerSec);
    if (length == 0) {
        return nullptr;
    }
    const std::uint8_t* bytes = record.base + record.wave.dataOffset + position;
    if (record.wave.kind == wave::SampleKind::kInt16) {
        record.converter->Convert(bytes, length, record.out);
    } else {
        // Whole samples only: a last sample cut short by the end of the data is not played.
        const std::size_t samples = length / wave::BytesPerSample(record.wave.kind);
        wave::ToPcm16(record.wave.kind, bytes, samples, record.pcm.data());
        record.converter->Convert(reinterpret_cast<const std::uint8_t*>(record.pcm.data()),
                                  static_cast<std::uint32_t>(samples * sizeof(std::int16_t)),
                                  record.out);
    }
    record.position.store(position + length, std::memory_order_relaxed);
    return &record.out.block;
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(int32_t channelsOut, int32_t rateOut, const char* path) {
    return Guarded(kNoHandle, [&] {
        return LoadReadOnlyRecord<WaveDecodeFile>(
            path, kNoFreeHandle, [&](const std::uint8_t* view, std::uint32_t size) {
                return LoadFromMemory(channelsOut, rateOut, view, size);
            });
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(int32_t channelsOut, int32_t rateOut, const void* data,
                                            uint32_t size) {
    return Guarded(kNoHandle, [&] {
        return LoadFromMemory(channelsOut, rateOut, static_cast<const std::uint8_t*>(data), size);
    });
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return Guarded(0, [&] {
        WaveDecodeFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        ReleaseHandle(handle);
        delete record;
        return 1;
    });
}

FOGBELL_PLUGIN_API int32_t fnResetFile(int32_t handle) {
    return Guarded(0, [&] {
        WaveDecodeFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        record->position.store(0, std::memory_order_relaxed);
        return 1;
    });
}

FOGBELL_PLUGIN_API int32_t fnSeekSample(int32_t handle, uint32_t sample) {
    return Guarded(0, [&] {
        WaveDecodeFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        const std::uint64_t offset = std::uint64_t{sample} * record->sourceFormat.nBlockAlign;
        const std::uint32_t end = record->wave.dataSize;
        record->position.store(offset < end ? static_cast<std::uint32_t>(offset) : end,
                               std::memory_order_relaxed);
        return 1;
    });
}

// Decoding runs without the plug-in lock: it touches only this handle's record.
FOGBELL_PLUGIN_API const PcmBlock* fnDecodeNext(int32_t handle) {
    return GuardedUnlocked<const PcmBlock*>(nullptr, [&]() -> const PcmBlock* {
        WaveDecodeFile* record = Lookup(handle);
        return record ? NextBlock(*record) : nullptr;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetCurrPos(int32_t handle) {
    return Guarded(0u, [&]() -> uint32_t {
        const WaveDecodeFile* record = Lookup(handle);
        return record ? record->position.load(std::memory_order_relaxed) : 0;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetSizeData(int32_t handle) {
    return Guarded(0u, [&]() -> uint32_t {
        const WaveDecodeFile* record = Lookup(handle);
        return record ? record->wave.dataSize : 0;
    });
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatSource(int32_t handle) {
    return Guarded<const WAVEFORMATEX*>(nullptr, [&]() -> const WAVEFORMATEX* {
        const WaveDecodeFile* record = Lookup(handle);
        return record ? &record->sourceFormat : nullptr;
    });
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatOut(int32_t handle) {
    return Guarded<const WAVEFORMATEX*>(nullptr, [&]() -> const WAVEFORMATEX* {
        const WaveDecodeFile* record = Lookup(handle);
        return record ? &record->outputFormat : nullptr;
    });
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"WAV", nullptr};
    return kExtensions;
}

}  // extern "C"
