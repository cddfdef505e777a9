#include "adx_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "byte_order.h"

namespace fogbell::adx {
namespace {

using plugin::ReadU16BE;
using plugin::ReadU32BE;

constexpr std::int64_t kSamplesPerGroup = static_cast<std::int64_t>(kSamplesPerFrame);
constexpr std::uint32_t kStereoChannels = 2;

}  // namespace

const char* StatusText(HeaderStatus status) {
    switch (status) {
        case HeaderStatus::kOk:
            return "OK";
        case HeaderStatus::kNotAdx:
            break;
        case HeaderStatus::kNoChannels:
            return "ADX file has no channels.";
    }
    return "Is not ADX file.";
}

HeaderStatus ReadHeader(const std::uint8_t* data, std::uint32_t size, Header& header) {
    if (size < kFieldsEnd || data[0] != kFirstByte) {
        return HeaderStatus::kNotAdx;
    }
    const std::uint32_t offset = ReadU16BE(data + kOffsetField);
    if (offset < 2 || std::uint64_t{offset} - 2 + kSignatureSize > size ||
        std::memcmp(data + offset - 2, kSignature, kSignatureSize) != 0) {
        return HeaderStatus::kNotAdx;
    }
    header.firstFrame = offset - 2 + kSignatureSize;
    header.channels = data[kChannelsField];
    header.sampleRate = ReadU32BE(data + kRateField);
    header.totalSamples = ReadU32BE(data + kTotalSamplesField);
    header.cutoff = ReadU16BE(data + kCutoffField);
    return header.channels == 0 ? HeaderStatus::kNoChannels : HeaderStatus::kOk;
}

void FrameStream::Attach(const std::uint8_t* data, std::uint32_t size, const Header& header) {
    data_ = data;
    size_ = size;
    firstFrame_ = header.firstFrame;
    stereo_ = header.channels == kStereoChannels;
    coefficients_ = CoefficientsFor(header.sampleRate, header.cutoff);
    totalSamples_ = header.totalSamples;
    Rewind();
}

void FrameStream::Rewind() {
    readOffset_ = firstFrame_;
    history_[0] = History{};
    history_[1] = History{};
    remaining_.store(totalSamples_, std::memory_order_relaxed);
}

std::size_t FrameStream::DecodeGroup(std::int16_t* out) {
    const std::int64_t remaining = remaining_.load(std::memory_order_relaxed);
    if (remaining <= 0) {
        return 0;
    }
    const std::uint32_t groupSize = stereo_ ? 2 * kFrameSize : kFrameSize;
    const std::uint8_t* frame = data_ + readOffset_;
    if (size_ - readOffset_ < groupSize || IsEndMarker(frame) ||
        (stereo_ && IsEndMarker(frame + kFrameSize))) {
        remaining_.store(0, std::memory_order_relaxed);  // the bytes or the audio end here
        return 0;
    }
    std::size_t samples = kSamplesPerFrame;
    if (stereo_) {
        DecodeFrame(frame, history_[0], coefficients_, out, 2);
        DecodeFrame(frame + kFrameSize, history_[1], coefficients_, out + 1, 2);
        samples = 2 * kSamplesPerFrame;
    } else {
        DecodeFrame(frame, history_[0], coefficients_, out, 1);
    }
    readOffset_ += groupSize;
    remaining_.store(remaining - kSamplesPerGroup, std::memory_order_relaxed);
    return samples;
}

std::uint32_t FrameStream::Position() const {
    const std::int64_t decoded =
        std::int64_t{totalSamples_} - remaining_.load(std::memory_order_relaxed);
    constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(decoded, 0, kMax));
}

}  // namespace fogbell::adx
