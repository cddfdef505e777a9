#include "sound_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "plugin_support.h"

namespace fogbell::snd {
namespace {

constexpr const char* kNotAudio = "Is not an audio file libsndfile reads: ";
// libsndfile's error "File does not exist or is not a regular file (possibly a pipe?)": over
// bytes in memory it means that a reader (MP3's, when the bytes hold no whole frame) gave up
// early, and is said as such.
constexpr int kSndfileBadFile = 7;
constexpr const char* kBadFileText = "it is too short or damaged.";
// Positions the virtual I/O accepts: far beyond any file, far from overflowing.
constexpr sf_count_t kMaxPosition = std::numeric_limits<sf_count_t>::max() / 2;
// How far before a seek's target decoding starts: rate / divisor samples (a second for Vorbis,
// half a second for Opus).
constexpr std::uint32_t kVorbisPrerollDivisor = 1;
constexpr std::uint32_t kOpusPrerollDivisor = 2;
// Frames read at a time when dropping frames.
constexpr std::size_t kSkipSamples = 16384;

ByteSource& Source(void* user) {
    return *static_cast<ByteSource*>(user);
}

sf_count_t SourceLength(void* user) {
    return static_cast<sf_count_t>(Source(user).size);
}

sf_count_t SourceSeek(sf_count_t offset, int whence, void* user) {
    ByteSource& source = Source(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) {
        base = static_cast<sf_count_t>(source.position);
    } else if (whence == SEEK_END) {
        base = static_cast<sf_count_t>(source.size);
    } else if (whence != SEEK_SET) {
        return -1;
    }
    // base <= kMaxPosition, so neither test overflows.
    if (offset < -base || offset > kMaxPosition - base) {
        return -1;
    }
    source.position = static_cast<std::uint64_t>(base + offset);
    return base + offset;
}

sf_count_t SourceRead(void* to, sf_count_t count, void* user) {
    ByteSource& source = Source(user);
    if (count <= 0 || source.position >= source.size) {
        return 0;
    }
    const std::uint64_t n =
        std::min(static_cast<std::uint64_t>(count), source.size - source.position);
    std::memcpy(to, source.data + source.position, static_cast<std::size_t>(n));
    source.position += n;
    return static_cast<sf_count_t>(n);
}

sf_count_t SourceWrite(const void*, sf_count_t, void*) {
    return 0;  // opened for reading only
}

sf_count_t SourceTell(void* user) {
    return static_cast<sf_count_t>(Source(user).position);
}

SF_VIRTUAL_IO g_byteSourceIo = {SourceLength, SourceSeek, SourceRead, SourceWrite, SourceTell};

}  // namespace

SoundFile::SoundFile(const std::uint8_t* data, std::uint32_t size) {
    source_.data = data;
    source_.size = size;
}

SoundFile::~SoundFile() {
    CloseHandle();
}

std::unique_ptr<SoundFile> SoundFile::Open(const std::uint8_t* data, std::uint32_t size,
                                           std::string& error) {
    std::unique_ptr<SoundFile> file(new (std::nothrow) SoundFile(data, size));
    if (file == nullptr) {
        error = "Not enough memory.";
        return nullptr;
    }
    const std::string text = file->OpenHandle();
    if (!text.empty()) {
        error = kNotAudio + text;
        return nullptr;
    }
    return file;
}

std::string SoundFile::OpenHandle() {
    // A failed open leaves its text in libsndfile's one global: read under the plug-in lock.
    plugin::PluginLock lock;
    source_.position = 0;
    SF_INFO info{};
    handle_ = sf_open_virtual(&g_byteSourceIo, SFM_READ, &info, &source_);
    if (handle_ == nullptr) {
        // Copied while the lock is held.
        return sf_error(nullptr) == kSndfileBadFile ? kBadFileText : sf_strerror(nullptr);
    }
    if (info.channels < 1 || info.samplerate < 1) {
        CloseHandle();
        return "it has no channels or no sample rate.";
    }
    const auto channels = static_cast<std::uint32_t>(info.channels);
    const auto rate = static_cast<std::uint32_t>(info.samplerate);
    if (channels_ != 0 && (channels != channels_ || rate != rate_)) {
        // Opened again (Rewind) on bytes that changed under the stream: its buffers no longer fit.
        CloseHandle();
        return "the file changed while it was open.";
    }
    channels_ = channels;
    rate_ = rate;
    frames_ = info.frames > 0 ? static_cast<std::uint64_t>(info.frames) : 0;
    format_ = info.format;
    return {};
}

void SoundFile::CloseHandle() {
    if (handle_ != nullptr) {
        sf_close(handle_);
        handle_ = nullptr;
    }
}

bool SoundFile::IsOgg() const {
    return (format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG;
}

std::vector<int> SoundFile::ChannelMap() const {
    std::vector<int> map(channels_);
    const auto bytes = static_cast<int>(map.size() * sizeof(int));
    if (handle_ == nullptr ||
        sf_command(handle_, SFC_GET_CHANNEL_MAP_INFO, map.data(), bytes) != SF_TRUE) {
        return {};
    }
    return map;
}

bool SoundFile::InstrumentLoop(std::uint64_t& start, std::uint64_t& end) const {
    SF_INSTRUMENT instrument{};
    if (handle_ == nullptr ||
        sf_command(handle_, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) != SF_TRUE) {
        return false;
    }
    if (instrument.loop_count < 1 || instrument.loops[0].mode == SF_LOOP_NONE) {
        return false;
    }
    start = instrument.loops[0].start;
    end = instrument.loops[0].end;
    return start < end;
}

std::size_t SoundFile::Read(float* out, std::size_t frames) {
    if (handle_ == nullptr || !failure_.empty() || frames == 0) {
        return 0;
    }
    // Each read starts with libsndfile's error cleared, so an error after it is this read's.
    const sf_count_t got = sf_readf_float(handle_, out, static_cast<sf_count_t>(frames));
    const std::size_t read = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (read < frames && sf_error(handle_) != SF_ERR_NO_ERROR) {
        failure_ = sf_strerror(handle_);
    }
    return std::min(read, frames);
}

std::uint64_t SoundFile::Skip(std::uint64_t frames) {
    const std::size_t chunk = std::max<std::size_t>(1, kSkipSamples / channels_);
    scratch_.resize(chunk * channels_);
    std::uint64_t passed = 0;
    while (passed < frames) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, frames - passed));
        const std::size_t got = Read(scratch_.data(), want);
        passed += got;
        if (got < want) {
            break;
        }
    }
    return passed;
}

bool SoundFile::Seek(std::uint64_t frame) {
    if (handle_ == nullptr || !failure_.empty()) {
        return false;
    }
    const int codec = format_ & SF_FORMAT_SUBMASK;
    if (frame == 0 || (IsOgg() && codec == SF_FORMAT_VORBIS)) {
        if (!Rewind()) {
            return false;
        }
        if (frame == 0) {
            return true;
        }
    }
    std::uint64_t from = frame;
    if (IsOgg() && (codec == SF_FORMAT_VORBIS || codec == SF_FORMAT_OPUS)) {
        const std::uint32_t divisor =
            codec == SF_FORMAT_VORBIS ? kVorbisPrerollDivisor : kOpusPrerollDivisor;
        from -= std::min<std::uint64_t>(frame, rate_ / divisor);
    }
    if (sf_seek(handle_, static_cast<sf_count_t>(from), SEEK_SET) !=
        static_cast<sf_count_t>(from)) {
        return false;
    }
    return Skip(frame - from) == frame - from;
}

bool SoundFile::Rewind() {
    CloseHandle();
    failure_ = OpenHandle();
    return failure_.empty();
}

}  // namespace fogbell::snd
