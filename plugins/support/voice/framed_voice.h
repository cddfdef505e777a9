// What adxvoice and xmdvoice keep per handle around their frame stream, and the steps they share:
// the two formats and the converter, the block buffer with its carry, the output block, the
// mapped file when the plug-in opened the stream from a path, and the entry points that take a
// handle. Neither plug-in sets "OK" in them: the text changes only through a failure.
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "fmtconv.h"
#include "frame_blocks.h"
#include "mapped_file.h"
#include "plugin_support.h"
#include "stream_loader.h"

namespace fogbell::plugin {

// Stream: Rewind() and DecodeGroup(std::int16_t*) as FrameBlockBuffer::Next describes, Size()
// and Position() in the plug-in's unit (fnGetSizeData, fnGetCurrPos), and Channels(): the
// samples a group interleaves per frame.
template <class Stream>
struct FramedVoice {
    MappedFile* file = nullptr;  // set when the plug-in mapped the file itself
    WAVEFORMATEX sourceFormat{};
    WAVEFORMATEX outputFormat{};
    std::unique_ptr<FormatConverter> converter;
    Stream stream;
    FrameBlockBuffer blocks;
    PcmOutput out;
    std::uint64_t released = 0;  // the file's bytes before this are let go (ReleaseBehind)

    FramedVoice() = default;
    FramedVoice(const FramedVoice&) = delete;
    FramedVoice& operator=(const FramedVoice&) = delete;
    ~FramedVoice() { CloseMappedFile(file); }

    // Fills the source format (channels, rate) and the requested output format, opens the
    // converter between them and allocates the buffers: one second of source PCM plus the
    // largest group (maxGroupBytes), and one second of output PCM. False with the converter's
    // text when it refuses the formats.
    bool Prepare(std::uint32_t channels, std::uint32_t rate, std::int32_t channelsOut,
                 std::int32_t rateOut, std::uint32_t maxGroupBytes) {
        sourceFormat = MakePcmFormat(channels, rate);
        outputFormat = RequestedFormat(sourceFormat, channelsOut, rateOut);
        converter = FormatConverter::Open(sourceFormat, outputFormat);
        if (converter == nullptr) {
            return false;
        }
        blocks.Allocate(sourceFormat.nAvgBytesPerSec, maxGroupBytes);
        out.Reserve(outputFormat.nAvgBytesPerSec);
        return true;
    }

    // Back to the first block.
    void Rewind() {
        stream.Rewind();
        blocks.Rewind();
    }

    // Moves to the frame `sample` (per channel) of the source: forward from where the stream
    // is (FrameBlockBuffer::SkipTo), else rewound and decoded from the start (the groups'
    // history leads into it: FrameBlockBuffer::Seek).
    void Seek(std::uint32_t sample) {
        if (!blocks.SkipTo(stream, sample, stream.Channels())) {
            Rewind();
            blocks.Seek(stream, sample, stream.Channels());
        }
    }

    // The next block in the output format, or null at the end of the stream. The pages of a
    // mapped file behind the frames read are let go: a long stream keeps little of it in memory.
    const PcmBlock* Next() {
        const PcmBlock* block = NextFramedBlock(stream, blocks, *converter, out);
        ReleaseBehind(file, stream.ReadOffset(), released);
        return block;
    }
};

// The memory loader both voices share: data checked, a free slot, the header read by
// readHeader(data, size, header) -> null or the text of what is wrong with it, the record made
// and prepared for the header's channels and rate, the stream attached. A handle, or -1 with the
// text of the step that failed.
template <class Record, class Header, class ReadHeader>
int LoadFramedVoice(std::int32_t channelsOut, std::int32_t rateOut, const std::uint8_t* data,
                    std::uint32_t size, const char* allocationText, std::uint32_t maxGroupBytes,
                    ReadHeader&& readHeader) {
    if (!CheckMemory(data)) {
        return kNoHandle;
    }
    const int handle = FindFreeHandle();
    if (handle == kNoHandle) {
        SetErrorText("Not free handle.");
        return kNoHandle;
    }
    Header header;
    if (const char* error = readHeader(data, size, header)) {
        SetErrorText("%s", error);
        return kNoHandle;
    }
    std::unique_ptr<Record> record(new (std::nothrow) Record);
    if (record == nullptr) {
        SetErrorText("%s", allocationText);
        return kNoHandle;
    }
    if (!record->Prepare(header.channels, header.sampleRate, channelsOut, rateOut, maxGroupBytes)) {
        return kNoHandle;
    }
    record->stream.Attach(data, size, header);
    StoreRecord(handle, record.release());
    return handle;
}

// The bodies of the entry points that take a handle, for a record type derived from FramedVoice.
// Each refuses a bad handle with 0 or null and the handle table's text.
template <class Record>
int CloseVoice(int handle) {
    return Guarded(0, [&] {
        Record* record = LookupRecord<Record>(handle);
        if (record == nullptr) {
            return 0;
        }
        ReleaseHandle(handle);
        delete record;
        return 1;
    });
}

template <class Record>
int ResetVoice(int handle) {
    return Guarded(0, [&] {
        Record* record = LookupRecord<Record>(handle);
        if (record == nullptr) {
            return 0;
        }
        record->Rewind();
        return 1;
    });
}

// Runs without the plug-in lock, as decoding does.
template <class Record>
int SeekVoice(int handle, std::uint32_t sample) {
    return GuardedUnlocked(0, [&] {
        Record* record = LookupRecord<Record>(handle);
        if (record == nullptr) {
            return 0;
        }
        record->Seek(sample);
        return 1;
    });
}

// Runs without the plug-in lock: decoding touches only this handle's record.
template <class Record>
const PcmBlock* DecodeVoice(int handle) {
    return GuardedUnlocked<const PcmBlock*>(nullptr, [&]() -> const PcmBlock* {
        Record* record = LookupRecord<Record>(handle);
        return record ? record->Next() : nullptr;
    });
}

template <class Record>
std::uint32_t VoicePosition(int handle) {
    return Guarded(0u, [&]() -> std::uint32_t {
        const Record* record = LookupRecord<Record>(handle);
        return record ? record->stream.Position() : 0;
    });
}

template <class Record>
std::uint32_t VoiceSize(int handle) {
    return Guarded(0u, [&]() -> std::uint32_t {
        const Record* record = LookupRecord<Record>(handle);
        return record ? record->stream.Size() : 0;
    });
}

template <class Record>
const WAVEFORMATEX* VoiceSourceFormat(int handle) {
    return Guarded<const WAVEFORMATEX*>(nullptr, [&]() -> const WAVEFORMATEX* {
        const Record* record = LookupRecord<Record>(handle);
        return record ? &record->sourceFormat : nullptr;
    });
}

template <class Record>
const WAVEFORMATEX* VoiceOutputFormat(int handle) {
    return Guarded<const WAVEFORMATEX*>(nullptr, [&]() -> const WAVEFORMATEX* {
        const Record* record = LookupRecord<Record>(handle);
        return record ? &record->outputFormat : nullptr;
    });
}

// fnLoadFile: the path steps around memoryLoader(view, length) -> handle; the record keeps the
// mapped file.
template <class Record, class MemoryLoader>
int LoadVoiceFromPath(const char* path, MemoryLoader&& memoryLoader) {
    return Guarded(kNoHandle, [&] {
        return LoadStreamFromPath(path, memoryLoader, [](int handle, MappedFile* file) {
            static_cast<Record*>(RecordAt(handle))->file = file;
        });
    });
}

}  // namespace fogbell::plugin
