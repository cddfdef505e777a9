// The loop fields of an ADX stream's header: read, written, and added to a header that has no
// room for them, without touching a byte of the frames. The encoder writes its loop block through
// the same function (adx_encoder.h).
//
// Header (big-endian, offsets from the first byte; the encoder's full layout is in adx_encoder.h):
//   0       1      0x80
//   2       2      header offset O: "(c)CRI" lies at O - 2, the first frame at O + 4
//   7       1      channel count
//   8       4      sample rate in Hz
//   12      4      total sample count (samples per channel)
//   18      1      header version: 3 and 4 keep a loop block, other versions none
//   B       24     the loop block, where B = 20 (version 3) or 24 + 4 x max(2, channels)
//                  (version 4, after the encoder's history); it is there only when it ends at or
//                  before O - 2:
//     B + 0   2    alignment samples (0)
//     B + 2   2    loop flag (1 with a loop, else 0)
//     B + 4   4    loop flag (1 with a loop, else 0)
//     B + 8   4    loop start, the loop's first sample
//     B + 12  4    byte offset of the frame group holding the loop start
//     B + 16  4    loop end, the first sample after the loop
//     B + 20  4    byte offset just past the frame group holding the loop's last sample
//
// A header without room (FFmpeg writes version 3 headers with O = 32, "(c)CRI" at 30) is
// rewritten with O moved just far enough for the block: its bytes up to the old signature stay,
// zeros fill the gap, and the frames follow the new "(c)CRI" unchanged. Any version other than
// 3 or 4 becomes 3, the version whose block decoders read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace fogbell::encode {

// A loop in samples per channel: start is its first sample, end the first sample after it.
struct AdxLoop {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    bool operator==(const AdxLoop&) const = default;
};

inline constexpr std::size_t kAdxVersionField = 18;
inline constexpr std::uint8_t kAdxLoopVersion3 = 3;
inline constexpr std::uint8_t kAdxLoopVersion4 = 4;
inline constexpr std::uint32_t kAdxLoopBlockBytes = 24;

// What an ADX header says; only for bytes that ReadAdxHeader accepted.
struct AdxHeader {
    std::uint32_t channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t totalSamples = 0;
    std::uint8_t version = 0;
    std::uint32_t signature = 0;   // where "(c)CRI" lies, O - 2
    std::uint32_t firstFrame = 0;  // O + 4
    // Where the loop block lies when the header has room for it, else none.
    std::optional<std::uint32_t> loopBlock;
    // The loop the block holds when its flag is set and it fits the stream, else none.
    std::optional<AdxLoop> loop;
};

// The header of an ADX stream of size bytes; none when the bytes hold no 0x80, no "(c)CRI" at
// O - 2 inside them, or no frame start inside them.
std::optional<AdxHeader> ReadAdxHeader(const std::uint8_t* data, std::size_t size);

// Where a version keeps its loop block for this many channels; none for versions without one.
std::optional<std::uint32_t> AdxLoopBlockAt(std::uint8_t version, std::uint32_t channels);

// Writes the loop block at block of header (which must hold block + 24 bytes): the flags and
// points of loop, or zeros without one. firstFrame and channels give the byte offsets.
void WriteAdxLoopBlock(std::uint8_t* header, std::uint32_t block, std::uint32_t firstFrame,
                       std::uint32_t channels, const std::optional<AdxLoop>& loop);

// The stream of size bytes with its loop set to loop (or cleared without one), as above: the
// same size when the header has room for the block (or there is nothing to clear), a header
// grown by the block otherwise. None when the bytes are no ADX stream, or when loop does not fit
// the stream (CheckAdxLoop).
std::optional<std::vector<std::uint8_t>> WithAdxLoop(const std::uint8_t* data, std::size_t size,
                                                     const std::optional<AdxLoop>& loop);

}  // namespace fogbell::encode
