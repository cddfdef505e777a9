// The sample formats wavvoice plays and their conversion to the 16-bit PCM it hands out.
//
//   8-bit PCM (unsigned)   (v - 128) << 8
//   24- and 32-bit PCM     the top 16 bits, rounded half away from zero, then clipped to int16
//   32- and 64-bit float   v * 32768, rounded half away from zero, clipped to [-32768, 32767];
//                          NaN is 0. 32768 makes the usual 16-bit-to-float export (s / 32768)
//                          come back exactly; +1.0 clips to 32767.
// Samples are little-endian; a frame is channels samples of the same width.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wave_header.h"

namespace fogbell::wave {

enum class SampleKind { kUnsigned8, kInt16, kInt24, kInt32, kFloat32, kFloat64 };

std::uint32_t BytesPerSample(SampleKind kind);

// The kind of the header's samples. False with a text naming the format for any other format
// tag or bit depth, and with a text of its own when the block alignment is not channels times
// the sample width.
bool SampleKindOf(const WaveFileHeader& header, SampleKind& kind);

// Converts samples samples of kind at source (samples * BytesPerSample bytes) into out.
void ToPcm16(SampleKind kind, const std::uint8_t* source, std::size_t samples, std::int16_t* out);

// One float sample as 16-bit PCM (the rule above).
std::int16_t FloatToPcm16(double value);

}  // namespace fogbell::wave
