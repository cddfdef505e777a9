#include "host/playback/block_feeder.h"

#include <algorithm>

namespace fogbell {
namespace {

// A count of source samples in frames of another rate, rounded down.
std::uint64_t Rescaled(std::uint32_t samples, std::uint32_t from, std::uint32_t to) {
    return from == to || from == 0 ? samples : std::uint64_t{samples} * to / from;
}

}  // namespace

std::uint64_t BlockFeeder::Block::StreamFrameAt(std::uint32_t blockFrame) const {
    const Segment* at = nullptr;
    for (const Segment& segment : segments) {
        if (segment.blockFrame > blockFrame) {
            break;
        }
        at = &segment;
    }
    return at == nullptr ? blockFrame : at->streamFrame + (blockFrame - at->blockFrame);
}

void BlockFeeder::Start(const DecoderSession& stream, const WAVEFORMATEX& source,
                        const WAVEFORMATEX& output, const std::optional<LoopPoints>& loop) {
    stream_ = &stream;
    frameBytes_ = std::max<std::uint32_t>(output.nBlockAlign, 1);
    second_ = output.nAvgBytesPerSec / frameBytes_ * frameBytes_;
    loop_.reset();
    if (loop) {
        const std::uint64_t start =
            Rescaled(loop->start, source.nSamplesPerSec, output.nSamplesPerSec);
        const std::uint64_t end = Rescaled(loop->end, source.nSamplesPerSec, output.nSamplesPerSec);
        if (start < end && end <= UINT32_MAX) {
            loop_ = LoopPoints{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)};
        }
    }
    block_ = Block{};
    pending_ = nullptr;
    pendingUsed_ = 0;
    frame_ = decoded_ = skip_ = 0;
    jumped_ = false;
    ended_ = second_ == 0;
    producedSinceRewind_ = false;
    units_.assign(1, {0, 0});
}

void BlockFeeder::Forget() {
    stream_ = nullptr;
    pending_ = nullptr;  // the decoder's block dies with its handle
    ended_ = true;
}

const BlockFeeder::Block* BlockFeeder::Next(bool looping) {
    block_.bytes.clear();
    block_.segments.clear();
    while (stream_ != nullptr && !ended_ && block_.bytes.size() < second_) {
        const bool loopNow = looping && loop_.has_value();
        if (loopNow && frame_ == loop_->end) {
            ended_ = !Rewind();
            continue;
        }
        if (pending_ == nullptr || pendingUsed_ >= pending_->size) {
            if (!Pull()) {
                // Back to the loop's start, unless nothing came since the last time: a stream
                // that yields nothing there would otherwise loop without end.
                ended_ = !(looping && producedSinceRewind_ && Rewind());
            }
            continue;
        }
        const std::uint32_t available = (pending_->size - pendingUsed_) / frameBytes_ * frameBytes_;
        if (available == 0) {
            pendingUsed_ = pending_->size;  // a partial frame at a block's end is never heard
            continue;
        }
        if (skip_ > 0) {
            const auto drop =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(skip_ * frameBytes_, available));
            pendingUsed_ += drop;
            skip_ -= drop / frameBytes_;
            continue;
        }
        std::uint64_t take = std::min<std::uint64_t>(available, second_ - block_.bytes.size());
        if (loopNow && frame_ < loop_->end) {
            take = std::min<std::uint64_t>(take, (loop_->end - frame_) * frameBytes_);
        }
        if (block_.segments.empty() || jumped_) {
            block_.segments.push_back(
                {static_cast<std::uint32_t>(block_.bytes.size() / frameBytes_), frame_});
            jumped_ = false;
        }
        const std::uint8_t* from = pending_->data + pendingUsed_;
        block_.bytes.insert(block_.bytes.end(), from, from + take);
        pendingUsed_ += static_cast<std::uint32_t>(take);
        frame_ += take / frameBytes_;
        producedSinceRewind_ = true;
    }
    return block_.bytes.empty() ? nullptr : &block_;
}

void BlockFeeder::Moved(std::uint64_t frame) {
    pending_ = nullptr;
    pendingUsed_ = 0;
    frame_ = decoded_ = frame;
    skip_ = 0;
    jumped_ = true;
    ended_ = stream_ == nullptr;
    producedSinceRewind_ = false;
}

bool BlockFeeder::Restart() {
    if (stream_ == nullptr || !Rewind()) {
        return false;
    }
    ended_ = false;
    return true;
}

bool BlockFeeder::Pull() {
    pending_ = stream_->DecodeNext();
    pendingUsed_ = 0;
    if (pending_ == nullptr || pending_->size == 0 || pending_->data == nullptr) {
        pending_ = nullptr;
        return false;
    }
    decoded_ += pending_->size / frameBytes_;
    NoteUnits(decoded_);
    return true;
}

bool BlockFeeder::Rewind() {
    if (!stream_->Reset()) {
        return false;
    }
    pending_ = nullptr;
    pendingUsed_ = 0;
    decoded_ = 0;
    frame_ = skip_ = loop_ ? loop_->start : 0;
    jumped_ = true;
    producedSinceRewind_ = false;
    return true;
}

void BlockFeeder::NoteUnits(std::uint64_t frame) {
    if (frame > units_.back().first) {
        units_.emplace_back(frame, stream_->Position().value_or(0));
    }
}

std::uint32_t BlockFeeder::UnitsAtFrame(std::uint64_t frame) const {
    const auto after =
        std::upper_bound(units_.begin(), units_.end(), frame,
                         [](std::uint64_t f, const std::pair<std::uint64_t, std::uint32_t>& p) {
                             return f < p.first;
                         });
    if (after == units_.end()) {
        return units_.back().second;
    }
    const auto& [lowFrame, lowUnits] = *(after - 1);
    const auto& [highFrame, highUnits] = *after;
    if (highUnits <= lowUnits) {
        return lowUnits;
    }
    return static_cast<std::uint32_t>(lowUnits + (frame - lowFrame) * (highUnits - lowUnits) /
                                                     (highFrame - lowFrame));
}

std::uint64_t BlockFeeder::FramesOfSize(std::uint32_t size) const {
    const auto& [frames, units] = units_.back();
    return units == 0 ? 0 : std::uint64_t{size} * frames / units;
}

}  // namespace fogbell
