#include "host/audio/wave_writer.h"

#include "host/audio/sampler_loop.h"
#include "host/system/native_path.h"

#include <array>
#include <cstring>
#include <vector>

namespace fogbell {
namespace {

constexpr std::size_t kFormatBytes = 16;  // WAVEFORMATEX without cbSize
constexpr long kRiffLengthOffset = 4;
constexpr long kDataLengthOffset = 40;
constexpr std::uint32_t kRiffOverData = 36;  // "WAVE", the format chunk, the data chunk's head

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
    std::vector<std::uint8_t> bytes(dataLength_ % 2, 0);  // the data's pad byte
    const std::vector<std::uint8_t> chunk = SamplerChunk(loop, rate_);
    bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(bytes.size());
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
