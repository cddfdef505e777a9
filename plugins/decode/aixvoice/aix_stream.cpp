#include "aix_stream.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"

namespace fogbell::aix {
namespace {

constexpr std::int32_t kHandleLimit = 100;
constexpr std::uint16_t kPcmBits = 16;
constexpr std::uint16_t kFormatRecordSize = 18;
constexpr std::size_t kStereoGroup = 2 * adx::kFrameSize;
constexpr std::size_t kMonoPcm = 2 * adx::kSamplesPerFrame;
constexpr std::size_t kStereoPcm = 2 * kMonoPcm;
constexpr std::size_t kLargestPayload = 0xFFFF;
// The most PCM one payload can decode to; the buffer keeps this much room past the second.
constexpr std::size_t kMaxPacketPcm = std::max(kLargestPayload / adx::kFrameSize * kMonoPcm,
                                               kLargestPayload / kStereoGroup * kStereoPcm);

template <class T>
T FieldAt(const void* record, std::size_t offset) {
    T value{};
    std::memcpy(&value, static_cast<const std::uint8_t*>(record) + offset, sizeof value);
    return value;
}

// Stores a sample as little-endian signed 16 bits.
void PutSample(std::uint8_t* out, std::int16_t sample) {
    const auto bits = static_cast<std::uint16_t>(sample);
    out[0] = static_cast<std::uint8_t>(bits);
    out[1] = static_cast<std::uint8_t>(bits >> 8);
}

}  // namespace

bool ReadTrackRecord(const void* data, StreamSource& source) {
    const auto handle = FieldAt<std::int32_t>(data, offsetof(AIXVAULTFILE, handle));
    if (handle < 0 || handle >= kHandleLimit) {
        return false;
    }
    const auto* header = static_cast<const std::uint8_t*>(data) + offsetof(AIXVAULTFILE, header);
    if (!plugin::HasTag(header, "AIXF") ||
        reinterpret_cast<std::uintptr_t>(data) % alignof(AIXVAULTFILE) != 0) {
        return false;
    }
    const auto& record = *static_cast<const AIXVAULTFILE*>(data);
    std::uint32_t count = 0;
    std::memcpy(&count, record.header + FOGBELL_AIX_HEADER_TRACK_COUNT, sizeof count);
    const std::uint8_t* first = record.packetsCopy;
    if (count == 0 || record.selectedTrack >= count || record.table == nullptr ||
        record.base == nullptr || first == nullptr || first < record.base ||
        static_cast<std::uint64_t>(first - record.base) > record.containerLength) {
        return false;
    }
    source.table = record.table;
    source.trackCount = count;
    source.base = record.base;
    source.length = record.containerLength;
    source.firstPacket = static_cast<std::uint32_t>(first - record.base);
    source.selected = record.selectedTrack;
    return true;
}

bool StreamDecoder::Open(const StreamSource& source) {
    const StreamHeader first = ReadStreamHeader(EntryOf(source.table, 0));
    // One frame of 16-bit PCM per channel. The entry's byte 30 holds the ADX bit depth (4 in
    // every ordinary stream), which matches a stereo frame by chance only: taken as the block
    // alignment it would make every mono WAVE file and sound buffer twice too fast.
    const std::uint32_t blockAlign = std::uint32_t{first.channels} * (kPcmBits / 8);
    const std::uint64_t second = std::uint64_t{blockAlign} * first.sampleRate;
    if (second == 0 || second > kMaxBlockSize) {
        return false;
    }
    source_ = source;
    format_.wFormatTag = FOGBELL_WAVE_FORMAT_PCM;
    format_.nChannels = first.channels;
    format_.nSamplesPerSec = first.sampleRate;
    format_.nBlockAlign = static_cast<std::uint16_t>(blockAlign);
    format_.wBitsPerSample = kPcmBits;
    format_.nAvgBytesPerSec = static_cast<std::uint32_t>(second);
    format_.cbSize = kFormatRecordSize;
    stereo_ = first.channels == 2;
    groupSize_ = stereo_ ? kStereoGroup : adx::kFrameSize;
    groupPcm_ = stereo_ ? kStereoPcm : kMonoPcm;

    played_ = ReadStreamHeader(EntryOf(source.table, source.selected));
    coefficients_ = adx::CoefficientsFor(played_.sampleRate, played_.cutoff);
    total_ = played_.total;
    declared_ = DeclaredDataBytes(played_);
    blockSize_ = static_cast<std::size_t>(second);
    pcm_ = std::make_unique_for_overwrite<std::uint8_t[]>(blockSize_ + kMaxPacketPcm);
    Rewind();
    return true;
}

void StreamDecoder::Rewind() {
    next_ = source_.firstPacket;
    remaining_.store(total_, std::memory_order_relaxed);
    history_[0] = {};
    history_[1] = {};
    carry_ = 0;
    block_ = {};
    metCut_ = Cut::kNone;
    consumed_ = 0;
}

std::uint32_t StreamDecoder::Position() const {
    const std::int64_t remaining = remaining_.load(std::memory_order_relaxed);
    return static_cast<std::uint32_t>(total_ - std::clamp<std::int64_t>(remaining, 0, total_));
}

const PcmBlock* StreamDecoder::Next() {
    metCut_ = Cut::kNone;
    const bool walking = remaining_.load(std::memory_order_relaxed) > 0;
    if (!walking && carry_ == 0) {
        return nullptr;
    }
    std::size_t fill = carry_;
    if (carry_ != 0) {
        std::memmove(pcm_.get(), pcm_.get() + blockSize_, carry_);
    }
    if (walking) {
        while (fill < blockSize_ && DecodePacket(fill)) {
        }
    }
    const std::size_t size = std::min(fill, blockSize_);
    carry_ = fill - size;
    if (size == 0) {
        return nullptr;
    }
    block_ = {pcm_.get(), static_cast<std::uint32_t>(size)};
    return &block_;
}

bool StreamDecoder::DecodePacket(std::size_t& fill) {
    Packet packet;
    const PacketStatus status = ReadPacket(source_.base, source_.length, next_, packet);
    if (status != PacketStatus::kPacket) {
        if (consumed_ < declared_) {
            metCut_ = status == PacketStatus::kCut ? Cut::kPacket : Cut::kShort;
        }
        EndWalk();
        return false;
    }
    next_ = packet.next;
    if (packet.stream != source_.selected) {
        return true;
    }
    const std::size_t groups = packet.size / groupSize_;
    for (std::size_t i = 0; i < groups; ++i) {
        if (!DecodeGroup(packet.data + i * groupSize_, pcm_.get() + fill)) {
            EndWalk();
            return false;
        }
        fill += groupPcm_;
    }
    remaining_.fetch_sub(packet.size, std::memory_order_relaxed);
    consumed_ += packet.size;
    return true;
}

void StreamDecoder::EndWalk() {
    if (remaining_.load(std::memory_order_relaxed) > 0) {
        remaining_.store(0, std::memory_order_relaxed);  // nothing is left to play
    }
}

bool StreamDecoder::DecodeGroup(const std::uint8_t* group, std::uint8_t* out) {
    const std::size_t channels = stereo_ ? 2 : 1;
    for (std::size_t c = 0; c < channels; ++c) {
        if (adx::IsEndMarker(group + c * adx::kFrameSize)) {
            return false;
        }
    }
    std::int16_t samples[2 * adx::kSamplesPerFrame];
    for (std::size_t c = 0; c < channels; ++c) {
        adx::DecodeFrame(group + c * adx::kFrameSize, history_[c], coefficients_, samples + c,
                         channels);
    }
    for (std::size_t i = 0; i < channels * adx::kSamplesPerFrame; ++i) {
        PutSample(out + 2 * i, samples[i]);
    }
    return true;
}

}  // namespace fogbell::aix
