// Writer of the 16-bit PCM WAVE files that "Save as wav.." produces.
//
//   offset  size  content (little-endian)
//   0       4     "RIFF"
//   4       4     data length + 36 (+ pad and sampler chunk, below); 0 first, patched at the end
//   8       8     "WAVEfmt "
//   16      4     16, the length of the format chunk
//   20      16    the first 16 bytes of the decoder's output WAVEFORMATEX (no cbSize)
//   36      4     "data"
//   40      4     data length (written as 0 first, patched at the end)
//   44      ...   the PCM blocks, in order, unchanged
//
// A file finished with a loop also carries, after the data (and a zero pad byte when the data
// length is odd: chunks start at even offsets), a sampler chunk that audio editors and samplers
// read the loop from; the RIFF length then covers it:
//
//   offset  size  content (from the chunk's start, little-endian)
//   0       4     "smpl"
//   4       4     60, the length of what follows
//   8       8     manufacturer 0, product 0
//   16      4     sample period: nanoseconds per sample, 1000000000 / rate (rounded down)
//   20      8     MIDI unity note 60, MIDI pitch fraction 0
//   28      8     SMPTE format 0, SMPTE offset 0
//   36      8     1 sample loop, 0 bytes of sampler data
//   44      24    the loop: cue point 0, type 0 (forward), first frame, LAST frame (inclusive),
//                 fraction 0, play count 0 (for ever)
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "fogbell_decoder.h"
#include "host/plugins/plugin_session.h"

namespace fogbell {

inline constexpr std::uint32_t kWaveHeaderSize = 44;

class WaveWriter {
  public:
    enum class Status { kOk, kCannotCreate, kWriteFailed, kTooLarge };

    WaveWriter() = default;
    ~WaveWriter();
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

    // Creates the file (replacing one that exists) and writes the header with both lengths 0.
    Status Create(const std::string& path, const WAVEFORMATEX& format);
    // Appends PCM bytes. kTooLarge, writing nothing, when the data would no longer fit the
    // header's 32-bit lengths (the file is still finished with what was written).
    Status Append(const std::uint8_t* data, std::uint32_t size);
    // Writes the sampler chunk of loop (sample frames of the data: its first frame and the
    // first after it) when there is one, patches the lengths and closes the file. A loop that
    // does not lie inside the data written, or whose chunk would pass the 32-bit RIFF length,
    // is left out.
    Status Finish(const std::optional<LoopPoints>& loop = std::nullopt);

    std::uint32_t DataLength() const { return dataLength_; }

  private:
    // Whether loop lies inside the data and its chunk still fits the RIFF length.
    bool SamplerFits(const LoopPoints& loop) const;
    // Appends the pad byte and the sampler chunk; the bytes they added to the RIFF, or none
    // when the write failed.
    std::optional<std::uint32_t> WriteSampler(const LoopPoints& loop);

    std::FILE* file_ = nullptr;
    std::uint32_t dataLength_ = 0;
    std::uint32_t rate_ = 0;
    std::uint32_t frameBytes_ = 0;
};

// The largest data length a WAVE file can declare: its RIFF length (data + 36) is 32 bits.
inline constexpr std::uint32_t kMaxWaveDataLength = 0xFFFFFFFFu - 36u;

}  // namespace fogbell
