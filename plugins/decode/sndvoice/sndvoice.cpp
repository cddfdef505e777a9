// sndvoice: the decoder plug-in for common audio files, read through libsndfile (sound_file.h):
// FLAC, Ogg Vorbis, Opus, MP3 and AIFF/AIFC by their extensions, and as a fallback the WAVE files
// that the WAVE decoder refuses (ADPCM, mu-law, A-law, GSM 6.10, ...).
//
// One second of 16-bit PCM per fnDecodeNext (stereo_pcm.h: rounding, and the stereo mixdown of
// files with more than two channels), converted to the format the caller asked for. The source
// format is that PCM: the file's rate, and its channel count, or 2 for more than two.
// fnGetSizeData is the file's length and fnGetCurrPos the samples handed out, both in samples
// per channel. fnGetLoopPoints gives the loop of the file's Vorbis comments (vorbis_comments.h),
// else the first sampler loop of an AIFF or WAVE file. A decoding error in the middle of a stream
// ends it: fnDecodeNext hands out what was decoded before it, then returns null with a text
// that names the sample where decoding stopped. Every entry point that takes a handle but
// fnGetLoopPoints, and both loaders, first set the text to "OK", so a null at the end of a sound
// stream leaves "OK".
#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "fmtconv.h"
#include "fogbell_decoder.h"
#include "mapped_file.h"
#include "path_loader.h"
#include "plugin_support.h"
#include "sound_file.h"
#include "stereo_pcm.h"
#include "vorbis_comments.h"

namespace {

using namespace fogbell::plugin;
namespace snd = fogbell::snd;

constexpr const char* kNoFreeHandle = "Not free handle.";
constexpr std::uint32_t kCountMax = 0xFFFFFFFFu;  // what a 32-bit size or position can say
// Samples (all channels) read from libsndfile at a time: a second is read in such chunks, so
// that the float buffer stays small whatever the rate.
constexpr std::size_t kChunkSamples = 16384;

// SNDVOICEFILE: one open file.
struct SndVoiceFile {
    MappedFile* file = nullptr;  // set when the plug-in mapped the file itself
    std::unique_ptr<snd::SoundFile> sound;
    std::unique_ptr<snd::Mixdown> mixdown;  // for more than two channels
    WAVEFORMATEX sourceFormat{};
    WAVEFORMATEX outputFormat{};
    std::unique_ptr<FormatConverter> converter;
    std::uint32_t size = 0;  // samples per channel, as the file gives them
    std::uint32_t loopStart = 0, loopEnd = 0;
    bool hasLoop = false;
    std::vector<float> floats;      // a chunk of the file's frames
    std::vector<std::int16_t> pcm;  // one second of source PCM
    PcmOutput out;
    // Samples per channel handed out; read by other threads.
    std::atomic<std::uint32_t> position{0};
    bool ended = false;
    std::string failure;         // why decoding stopped early, said when the end is reported
    std::uint64_t released = 0;  // the mapped file's bytes before this are let go

    SndVoiceFile() = default;
    SndVoiceFile(const SndVoiceFile&) = delete;
    SndVoiceFile& operator=(const SndVoiceFile&) = delete;
    ~SndVoiceFile() {
        sound.reset();  // libsndfile reads the mapping until it is closed
        CloseMappedFile(file);
    }

    std::uint32_t FileChannels() const { return sound->Channels(); }
    std::uint32_t ChunkFrames() const {
        return static_cast<std::uint32_t>(std::max<std::size_t>(1, kChunkSamples / FileChannels()));
    }

    // The stream from its start again.
    void Rewind() {
        position.store(0, std::memory_order_relaxed);
        ended = false;
        failure.clear();
        if (!sound->Rewind()) {
            Stop(0);
        }
    }

    // Ends the stream at sample `at` because decoding failed there.
    void Stop(std::uint64_t at) {
        ended = true;
        failure = "The stream is damaged: decoding stopped at sample " + std::to_string(at) + " (" +
                  sound->Failure() + ")";
    }
};

// The record of a handle after setting "OK", or null with the handle table's text.
SndVoiceFile* Lookup(int handle) {
    SetOk();
    return LookupRecord<SndVoiceFile>(handle);
}

// A 32-bit count of a 64-bit one.
std::uint32_t Count32(std::uint64_t value) {
    return value > kCountMax ? kCountMax : static_cast<std::uint32_t>(value);
}

// The stream's loop: its Vorbis comments' (read from the bytes), else its sampler loop; inside
// the stream and within 32 bits, or none.
void FindLoop(SndVoiceFile& record, const std::uint8_t* data, std::uint32_t size) {
    const std::uint64_t frames = record.sound->Frames();
    std::uint64_t start = 0, end = 0;
    const bool found = snd::LoopFromTags(snd::ReadLoopTags(data, size), frames, start, end) ||
                       (record.sound->InstrumentLoop(start, end) && end <= frames);
    if (found && end <= kCountMax) {
        record.hasLoop = true;
        record.loopStart = static_cast<std::uint32_t>(start);
        record.loopEnd = static_cast<std::uint32_t>(end);
    }
}

// The positions of the file's channels for the mixdown: its map, else its codec's order.
std::vector<snd::Position> ChannelPositions(const snd::SoundFile& sound) {
    std::vector<snd::Position> positions =
        snd::PositionsFromMap(sound.ChannelMap(), sound.Channels());
    return positions.empty() ? snd::DefaultPositions(sound.Channels(), sound.IsOgg()) : positions;
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
    std::unique_ptr<SndVoiceFile> record(new (std::nothrow) SndVoiceFile);
    if (record == nullptr) {
        SetErrorText("Can't allocate SNDVOICEFILE struct.");
        return kNoHandle;
    }
    std::string error;
    record->sound = snd::SoundFile::Open(data, size, error);
    if (record->sound == nullptr) {
        SetErrorText("%s", error.c_str());
        return kNoHandle;
    }
    const snd::SoundFile& sound = *record->sound;
    const std::uint32_t channels = snd::OutputChannels(sound.Channels());
    record->sourceFormat = MakePcmFormat(channels, sound.Rate());
    record->outputFormat = RequestedFormat(record->sourceFormat, channelsOut, rateOut);
    // The converter refuses rates whose second does not fit its bounds: the buffers below are
    // about a second long.
    record->converter = FormatConverter::Open(record->sourceFormat, record->outputFormat);
    if (record->converter == nullptr) {
        return kNoHandle;
    }
    if (sound.Channels() > 2) {
        record->mixdown = std::make_unique<snd::Mixdown>(ChannelPositions(sound));
    }
    record->size = Count32(sound.Frames());
    FindLoop(*record, data, size);
    record->floats.resize(std::size_t{record->ChunkFrames()} * sound.Channels());
    record->pcm.resize(record->sourceFormat.nAvgBytesPerSec / sizeof(std::int16_t));
    record->out.Reserve(record->outputFormat.nAvgBytesPerSec);
    StoreRecord(handle, record.release());
    return handle;
}

// Reads up to a second of the file into record.pcm as source PCM; the frames read. Ends the
// stream when the file ends or fails first.
std::uint32_t ReadSecond(SndVoiceFile& record) {
    const std::uint32_t second = record.sourceFormat.nSamplesPerSec;
    const std::uint32_t outChannels = record.sourceFormat.nChannels;
    const std::uint32_t chunk = record.ChunkFrames();
    std::uint32_t filled = 0;
    while (filled < second) {
        const std::uint32_t want = std::min(chunk, second - filled);
        const std::size_t got = record.sound->Read(record.floats.data(), want);
        std::int16_t* to = record.pcm.data() + std::size_t{filled} * outChannels;
        if (record.mixdown) {
            record.mixdown->Mix(record.floats.data(), got, to);
        } else {
            snd::ToPcm16(record.floats.data(), got * outChannels, to);
        }
        filled += static_cast<std::uint32_t>(got);
        if (got < want) {
            const std::uint64_t at =
                std::uint64_t{record.position.load(std::memory_order_relaxed)} + filled;
            if (!record.sound->Failure().empty()) {
                record.Stop(at);
            }
            record.ended = true;
            break;
        }
    }
    ReleaseBehind(record.file, record.sound->ReadOffset(), record.released);
    return filled;
}

// The next second in the output format, or null at the end (with the text of a decoding error
// that ended the stream early).
const PcmBlock* NextBlock(SndVoiceFile& record) {
    const std::uint32_t frames = record.ended ? 0 : ReadSecond(record);
    if (frames == 0) {
        if (!record.failure.empty()) {
            SetErrorText("%s", record.failure.c_str());
        }
        return nullptr;
    }
    const std::uint32_t position = record.position.load(std::memory_order_relaxed);
    record.position.store(Count32(std::uint64_t{position} + frames), std::memory_order_relaxed);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record.pcm.data());
    const std::uint32_t length = frames * record.sourceFormat.nBlockAlign;
    if (record.converter->PassesThrough()) {
        // Equal formats: the block is handed out where it was made. It stays valid until the
        // next call on the handle, as a converted block does.
        record.out.block.data = bytes;
        record.out.block.size = length;
        return &record.out.block;
    }
    record.converter->Convert(bytes, length, record.out);
    return &record.out.block;
}

// Moves the stream to sample (see fnSeekSample): libsndfile's seek, or from the start decoding up
// to it when that fails.
void SeekTo(SndVoiceFile& record, std::uint32_t sample) {
    record.ended = false;
    record.failure.clear();
    std::uint64_t reached = sample;
    if (sample >= record.sound->Frames()) {
        reached = record.sound->Frames();
        record.ended = true;
    } else if (!record.sound->Seek(sample)) {
        record.Rewind();
        reached = record.ended ? 0 : record.sound->Skip(sample);
        if (reached < sample) {
            if (!record.sound->Failure().empty()) {
                record.Stop(reached);
            }
            record.ended = true;
        }
    }
    record.position.store(Count32(reached), std::memory_order_relaxed);
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(int32_t channelsOut, int32_t rateOut, const char* path) {
    return Guarded(kNoHandle, [&] {
        return LoadReadOnlyRecord<SndVoiceFile>(
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
        SndVoiceFile* record = Lookup(handle);
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
        SndVoiceFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        record->Rewind();
        return 1;
    });
}

// Seeking and decoding run without the plug-in lock: they touch only this handle's record (a
// file opened again takes the lock for libsndfile's shared error text).
FOGBELL_PLUGIN_API int32_t fnSeekSample(int32_t handle, uint32_t sample) {
    return GuardedUnlocked(0, [&] {
        SndVoiceFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        SeekTo(*record, sample);
        return 1;
    });
}

FOGBELL_PLUGIN_API const PcmBlock* fnDecodeNext(int32_t handle) {
    return GuardedUnlocked<const PcmBlock*>(nullptr, [&]() -> const PcmBlock* {
        SndVoiceFile* record = Lookup(handle);
        return record ? NextBlock(*record) : nullptr;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetCurrPos(int32_t handle) {
    return Guarded(0u, [&]() -> uint32_t {
        const SndVoiceFile* record = Lookup(handle);
        return record ? record->position.load(std::memory_order_relaxed) : 0;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetSizeData(int32_t handle) {
    return Guarded(0u, [&]() -> uint32_t {
        const SndVoiceFile* record = Lookup(handle);
        return record ? record->size : 0;
    });
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatSource(int32_t handle) {
    return Guarded<const WAVEFORMATEX*>(nullptr, [&]() -> const WAVEFORMATEX* {
        const SndVoiceFile* record = Lookup(handle);
        return record ? &record->sourceFormat : nullptr;
    });
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatOut(int32_t handle) {
    return Guarded<const WAVEFORMATEX*>(nullptr, [&]() -> const WAVEFORMATEX* {
        const SndVoiceFile* record = Lookup(handle);
        return record ? &record->outputFormat : nullptr;
    });
}

// A stream without a loop leaves the text as it was.
FOGBELL_PLUGIN_API int32_t fnGetLoopPoints(int32_t handle, uint32_t* loopStart, uint32_t* loopEnd) {
    return Guarded(0, [&] {
        const SndVoiceFile* record = LookupRecord<SndVoiceFile>(handle);
        if (record == nullptr || !record->hasLoop) {
            return 0;
        }
        if (loopStart != nullptr) {
            *loopStart = record->loopStart;
        }
        if (loopEnd != nullptr) {
            *loopEnd = record->loopEnd;
        }
        return 1;
    });
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"FLAC", "OGG", "OGA",  "OPUS", "MP3",
                                              "AIFF", "AIF", "AIFC", nullptr};
    return kExtensions;
}

// WAVE files go to the WAVE decoder first; this one reads those it refuses.
FOGBELL_PLUGIN_API const char* const* fnGetFallbackExt(void) {
    static const char* const kExtensions[] = {"WAV", nullptr};
    return kExtensions;
}

}  // extern "C"
