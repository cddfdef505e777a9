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
    return DecodeGroupsPast(out, 0);
}

std::size_t FrameStream::DecodeGroupsPast(std::int16_t* out, std::size_t room) {
    const std::int64_t remaining = remaining_.load(std::memory_order_relaxed);
    if (remaining <= 0) {
        return 0;
    }
    const std::size_t channels = stereo_ ? 2 : 1;
    const std::size_t groupSize = channels * kFrameSize;
    const std::size_t groupSamples = channels * kSamplesPerFrame;
    // The groups the caller asks for (the first to pass room), those the sample count still
    // wants, and those the bytes hold before any end marker.
    const std::size_t wanted = room / groupSamples + 1;
    const std::size_t counted =
        static_cast<std::size_t>((remaining + kSamplesPerGroup - 1) / kSamplesPerGroup);
    const std::size_t whole = (size_ - readOffset_) / groupSize;
    const std::size_t limit = std::min(wanted, counted);
    const std::uint8_t* frames = data_ + readOffset_;
    const std::size_t groups =
        DecodeGroups(frames, std::min(limit, whole), channels, history_, coefficients_, out);
    readOffset_ += static_cast<std::uint32_t>(groups * groupSize);
    std::int64_t left = remaining - static_cast<std::int64_t>(groups) * kSamplesPerGroup;
    if (groups < limit) {
        left = 0;  // the bytes or the audio end here
    }
    remaining_.store(left, std::memory_order_relaxed);
    return groups * groupSamples;
}

std::uint32_t FrameStream::Position() const {
    const std::int64_t decoded =
        std::int64_t{totalSamples_} - remaining_.load(std::memory_order_relaxed);
    constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(decoded, 0, kMax));
}

}  // namespace fogbell::adx
