// Writer of the 16-bit PCM WAVE files that "Save as wav.." produces.
//
//   offset  size  content (little-endian)
//   0       4     "RIFF"
//   4       4     data length + 36 (written as 0 first, patched at the end)
//   8       8     "WAVEfmt "
//   16      4     16, the length of the format chunk
//   20      16    the first 16 bytes of the decoder's output WAVEFORMATEX (no cbSize)
//   36      4     "data"
//   40      4     data length (written as 0 first, patched at the end)
//   44      ...   the PCM blocks, in order, unchanged
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "fogbell_decoder.h"

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
    // Patches both lengths and closes the file.
    Status Finish();

    std::uint32_t DataLength() const { return dataLength_; }

  private:
    std::FILE* file_ = nullptr;
    std::uint32_t dataLength_ = 0;
};

// The largest data length a WAVE file can declare: its RIFF length (data + 36) is 32 bits.
inline constexpr std::uint32_t kMaxWaveDataLength = 0xFFFFFFFFu - 36u;

}  // namespace fogbell
