#include "xmd_stream.h"

#include <algorithm>
#include <limits>

#include "byte_order.h"

namespace fogbell::xmd {
namespace {

using plugin::ReadU16LE;
using plugin::ReadU32LE;

constexpr int kShift = 14;
constexpr std::size_t kStoredSamples = 2;
constexpr std::size_t kScaleOffset = 4;
constexpr std::size_t kNibblesOffset = 6;

// A four-bit two's-complement value (0..15 as stored) as -8..7.
inline std::int32_t SignedNibble(std::uint32_t nibble) {
    return static_cast<std::int32_t>(nibble ^ 8u) - 8;
}

// One predicted value: the wrapped 32-bit sum shifted right with sign.
inline std::int32_t Predict(std::int32_t nibble, std::uint32_t scale, std::int32_t h1,
                            std::int32_t h2) {
    const std::uint32_t sum =
        scale * (1u << kShift) * static_cast<std::uint32_t>(nibble) +
        static_cast<std::uint32_t>(kFirstCoefficient) * static_cast<std::uint32_t>(h1) -
        static_cast<std::uint32_t>(kSecondCoefficient) * static_cast<std::uint32_t>(h2);
    return static_cast<std::int32_t>(sum) >> kShift;
}

}  // namespace

const char* StatusText(HeaderStatus status) {
    switch (status) {
        case HeaderStatus::kOk:
            return "OK";
        case HeaderStatus::kTooShort:
            return "XMD file is shorter than its 12-byte header.";
        case HeaderStatus::kNoChannels:
            break;
    }
    return "XMD file has no channels.";
}

HeaderStatus ReadHeader(const std::uint8_t* data, std::uint32_t size, Header& header) {
    if (size < kHeaderSize) {
        return HeaderStatus::kTooShort;
    }
    header.channels = data[kChannelsField];
    header.sampleRate = ReadU16LE(data + kRateField);
    header.dataLength = ReadU32LE(data + kLengthField);
    return header.channels == 0 ? HeaderStatus::kNoChannels : HeaderStatus::kOk;
}

void DecodeFrame(const std::uint8_t* frame, std::int16_t* out, std::size_t stride) {
    const auto s0 = static_cast<std::int16_t>(ReadU16LE(frame));
    const auto s1 = static_cast<std::int16_t>(ReadU16LE(frame + 2));
    const std::uint32_t scale = ReadU16LE(frame + kScaleOffset);
    out[0] = s0;
    out[stride] = s1;
    std::int32_t h1 = s1;
    std::int32_t h2 = s0;
    std::size_t at = kStoredSamples * stride;
    for (std::size_t i = 0; i < (kSamplesPerFrame - kStoredSamples) / 2; ++i) {
        const std::uint32_t byte = frame[kNibblesOffset + i];
        for (const std::uint32_t nibble : {byte & 0x0Fu, byte >> 4}) {
            const std::int32_t v = Predict(SignedNibble(nibble), scale, h1, h2);
            out[at] = static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
            at += stride;
            h2 = h1;
            h1 = v;
        }
    }
}

void FrameStream::Attach(const std::uint8_t* data, std::uint32_t size, const Header& header) {
    data_ = data;
    size_ = size;
    mono_ = header.channels == 1;
    lengthPerGroup_ = std::int64_t{kFrameSize} * header.channels;
    dataLength_ = header.dataLength;
    Rewind();
}

void FrameStream::Rewind() {
    readOffset_ = kHeaderSize;
    remaining_.store(dataLength_, std::memory_order_relaxed);
}

std::size_t FrameStream::DecodeGroup(std::int16_t* out) {
    const std::int64_t remaining = remaining_.load(std::memory_order_relaxed);
    if (remaining <= 0) {
        return 0;
    }
    const std::uint32_t groupSize = mono_ ? kFrameSize : 2 * kFrameSize;
    if (size_ - readOffset_ < groupSize) {
        remaining_.store(0, std::memory_order_relaxed);  // the bytes end here
        return 0;
    }
    const std::uint8_t* frame = data_ + readOffset_;
    std::size_t samples = kSamplesPerFrame;
    if (mono_) {
        DecodeFrame(frame, out, 1);
    } else {
        DecodeFrame(frame, out, 2);
        DecodeFrame(frame + kFrameSize, out + 1, 2);
        samples = 2 * kSamplesPerFrame;
    }
    readOffset_ += groupSize;
    remaining_.store(remaining - lengthPerGroup_, std::memory_order_relaxed);
    return samples;
}

std::uint32_t FrameStream::Position() const {
    const std::int64_t consumed =
        std::int64_t{dataLength_} - remaining_.load(std::memory_order_relaxed);
    constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(consumed, 0, kMax));
}

}  // namespace fogbell::xmd
