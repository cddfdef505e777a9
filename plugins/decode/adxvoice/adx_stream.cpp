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

// Reads the loop block of a version 3 or 4 header into header (looped stays false when there is
// none that fits). signature: where "(c)CRI" lies, which the block must end before.
void ReadLoop(const std::uint8_t* data, std::uint32_t signature, Header& header) {
    const std::uint8_t version = data[kVersionField];
    std::uint32_t block = 0;
    if (version == kLoopVersion3) {
        block = kLoopBlockV3;
    } else if (version == kLoopVersion4) {
        block =
            kLoopBlockV4Base +
            kHistoryBytesPerChannel * std::max<std::uint32_t>(header.channels, kMinHistoryChannels);
    } else {
        return;
    }
    if (block + kLoopBlockSize > signature) {
        return;  // the header has no room for the block
    }
    const std::uint32_t flag = ReadU32BE(data + block + kLoopFlag);
    const std::uint32_t start = ReadU32BE(data + block + kLoopStart);
    const std::uint32_t end = ReadU32BE(data + block + kLoopEnd);
    if (flag == 0 || start >= end || end > header.totalSamples) {
        return;
    }
    header.looped = true;
    header.loopStart = start;
    header.loopEnd = end;
}

}  // namespace

const char* StatusText(HeaderStatus status) {
    switch (status) {
        case HeaderStatus::kOk:
            return "OK";
        case HeaderStatus::kNotAdx:
            break;
        case HeaderStatus::kNoChannels:
            return "ADX file has no channels.";
        case HeaderStatus::kTooManyChannels:
            return "ADX file has more than 2 channels.";
        case HeaderStatus::kNoRate:
            return "ADX file has a sample rate of 0.";
        case HeaderStatus::kWrongFrameSize:
            return "ADX frame size is not 18.";
        case HeaderStatus::kEncoding:
            return "ADX encoding is not supported.";
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
    header.looped = false;
    ReadLoop(data, offset - 2, header);
    if (data[kEncodingField] != kFixedCoefficientEncoding) {
        return HeaderStatus::kEncoding;
    }
    if (data[kFrameSizeField] != kFrameSize) {
        return HeaderStatus::kWrongFrameSize;
    }
    if (header.channels == 0) {
        return HeaderStatus::kNoChannels;
    }
    if (header.channels > kStereoChannels) {
        return HeaderStatus::kTooManyChannels;
    }
    return header.sampleRate == 0 ? HeaderStatus::kNoRate : HeaderStatus::kOk;
}

void FrameStream::Attach(const std::uint8_t* data, std::uint32_t size, const Header& header) {
    data_ = data;
    size_ = size;
    firstFrame_ = header.firstFrame;
    stereo_ = header.channels == kStereoChannels;
    coefficients_ = CoefficientsFor(header.sampleRate, header.cutoff);
    totalSamples_ = header.totalSamples;
    looped_ = header.looped;
    loopStart_ = header.loopStart;
    loopEnd_ = header.loopEnd;
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

bool FrameStream::Loop(std::uint32_t& start, std::uint32_t& end) const {
    if (looped_) {
        start = loopStart_;
        end = loopEnd_;
    }
    return looped_;
}

std::uint32_t FrameStream::Position() const {
    const std::int64_t decoded =
        std::int64_t{totalSamples_} - remaining_.load(std::memory_order_relaxed);
    constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(decoded, 0, kMax));
}

}  // namespace fogbell::adx
