#include "host/audio/wave_writer.h"

#include "host/system/native_path.h"

#include <array>
#include <cstring>

namespace fogbell {
namespace {

constexpr std::size_t kFormatBytes = 16;  // WAVEFORMATEX without cbSize
constexpr long kRiffLengthOffset = 4;
constexpr long kDataLengthOffset = 40;
constexpr std::uint32_t kRiffOverData = 36;  // "WAVE", the format chunk, the data chunk's head
// The sampler chunk: its head, a body of nine fields and one loop of six.
constexpr std::size_t kChunkHeadBytes = 8;
constexpr std::uint32_t kSamplerBodyBytes = 9 * 4 + 6 * 4;
constexpr std::uint32_t kSamplerChunkBytes = kChunkHeadBytes + kSamplerBodyBytes;
constexpr std::uint32_t kNanosecondsPerSecond = 1000000000;
constexpr std::uint32_t kUnityNote = 60;  // middle C: the sound plays at its own pitch

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

bool WriteU32At(std::FILE* file, long offset, std::uint32_t value) {
    std::uint8_t bytes[4];
    PutU32(bytes, value);
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, file) == 4;
}

}  // namespace

WaveWriter::~WaveWriter() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

WaveWriter::Status WaveWriter::Create(const std::string& path, const WAVEFORMATEX& format) {
    rate_ = format.nSamplesPerSec;
    frameBytes_ = format.nBlockAlign;
    file_ = OpenFileUtf8(path, "wb");
    if (file_ == nullptr) {
        return Status::kCannotCreate;
    }
    // Blocks come a second of PCM at a time: each goes to the file in one write, straight from
    // the decoder's buffer, rather than in pieces through the stream's small buffer.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    std::array<std::uint8_t, kWaveHeaderSize> header{};
    std::memcpy(header.data(), "RIFF", 4);
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    PutU32(header.data() + 16, kFormatBytes);
    std::memcpy(header.data() + 20, &format, kFormatBytes);
    std::memcpy(header.data() + 36, "data", 4);
    return std::fwrite(header.data(), 1, header.size(), file_) == header.size()
               ? Status::kOk
               : Status::kWriteFailed;
}

WaveWriter::Status WaveWriter::Append(const std::uint8_t* data, std::uint32_t size) {
    if (size > kMaxWaveDataLength - dataLength_) {
        return Status::kTooLarge;
    }
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) {
        return Status::kWriteFailed;
    }
    dataLength_ += size;
    return Status::kOk;
}

bool WaveWriter::SamplerFits(const LoopPoints& loop) const {
    const std::uint64_t end = std::uint64_t{loop.end} * frameBytes_;
    return frameBytes_ != 0 && loop.start < loop.end && end <= dataLength_ &&
           std::uint64_t{dataLength_} + 1 + kRiffOverData + kSamplerChunkBytes <= UINT32_MAX;
}

std::optional<std::uint32_t> WaveWriter::WriteSampler(const LoopPoints& loop) {
    const std::uint32_t pad = dataLength_ % 2;
    std::array<std::uint8_t, 1 + kSamplerChunkBytes> bytes{};
    std::uint8_t* chunk = bytes.data() + pad;
    const std::uint32_t period = rate_ == 0 ? 0 : kNanosecondsPerSecond / rate_;
    const std::uint32_t fields[] = {
        kSamplerBodyBytes, 0, 0,  // manufacturer, product
        period, kUnityNote, 0,    // sample period, MIDI unity note, pitch fraction
        0, 0,                     // SMPTE format and offset
        1, 0,                     // one loop, no sampler data
        // The loop: cue point, type (forward), first frame, last frame, fraction, play count.
        0, 0, loop.start, loop.end - 1, 0, 0};
    std::memcpy(chunk, "smpl", 4);
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        PutU32(chunk + 4 + 4 * i, fields[i]);
    }
    const std::size_t size = pad + kSamplerChunkBytes;
    if (std::fwrite(bytes.data(), 1, size, file_) != size) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(size);
}

WaveWriter::Status WaveWriter::Finish(const std::optional<LoopPoints>& loop) {
    std::optional<std::uint32_t> extra = 0;
    if (loop && SamplerFits(*loop)) {
        extra = WriteSampler(*loop);
    }
    const bool patched =
        extra && WriteU32At(file_, kRiffLengthOffset, dataLength_ + kRiffOverData + *extra) &&
        WriteU32At(file_, kDataLengthOffset, dataLength_);
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return patched && closed ? Status::kOk : Status::kWriteFailed;
}

}  // namespace fogbell
