#include "host/audio/loop_unrolling.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace fogbell {
namespace {

constexpr const char* kEndsEarly = "The track ends before the end of its loop.";
constexpr const char* kCannotGoBack = "The track cannot go back to the start of its loop.";

// Whole frames out of a decoder's blocks, whatever their sizes: a frame split between two blocks
// is joined. A block without bytes ends the stream, so that reading always ends.
class FrameReader {
  public:
    struct Run {
        const std::uint8_t* data = nullptr;
        std::uint64_t frames = 0;  // 0: the stream has ended
    };

    FrameReader(const DecoderSession& stream, std::uint32_t frameBytes)
        : stream_(stream), frameBytes_(frameBytes) {}

    // Up to most (> 0) of the frames that follow, in one run; valid until the next call.
    Run Next(std::uint64_t most);
    // The stream was moved: what was taken from it before no longer follows.
    void Forget() {
        block_ = nullptr;
        used_ = 0;
        joined_.clear();
    }

  private:
    const DecoderSession& stream_;
    const std::uint32_t frameBytes_;
    const PcmBlock* block_ = nullptr;
    std::uint32_t used_ = 0;
    std::vector<std::uint8_t> joined_;  // the start of a frame the last block cut off
    std::vector<std::uint8_t> frame_;   // a joined frame, handed out
};

FrameReader::Run FrameReader::Next(std::uint64_t most) {
    for (;;) {
        if (block_ == nullptr || used_ >= block_->size) {
            block_ = stream_.DecodeNext();
            used_ = 0;
            if (block_ == nullptr || block_->size == 0 || block_->data == nullptr) {
                Forget();
                return {};
            }
        }
        const std::uint8_t* at = block_->data + used_;
        const std::uint32_t left = block_->size - used_;
        if (joined_.empty() && left >= frameBytes_) {
            const std::uint64_t frames = std::min<std::uint64_t>(left / frameBytes_, most);
            used_ += static_cast<std::uint32_t>(frames * frameBytes_);
            return {at, frames};
        }
        const std::uint32_t take =
            std::min(left, frameBytes_ - static_cast<std::uint32_t>(joined_.size()));
        joined_.insert(joined_.end(), at, at + take);
        used_ += take;
        if (joined_.size() == frameBytes_) {
            frame_.swap(joined_);
            joined_.clear();
            return {frame_.data(), 1};
        }
    }
}

// Where the fade-out is: frames of it already written, and its length.
struct FadePlace {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

class Unroller {
  public:
    Unroller(const DecoderSession& stream, const UnrollRequest& request, const PcmSink& sink,
             std::string& error)
        : stream_(stream),
          request_(request),
          sink_(sink),
          error_(error),
          reader_(stream, request.frameBytes) {}

    UnrollResult Run();

  private:
    // Sends count frames (at most the loop's length) from the loop's start, faded from fade's
    // place when set: from the held loop, or from the stream moved back there.
    UnrollResult Again(std::uint64_t count, FadePlace* fade);
    // Moves the stream to the loop's start.
    UnrollResult ToLoopStart();
    // Sends count frames from the stream's place, faded from fade's place when set; hold keeps
    // them in held_ too.
    UnrollResult Copy(std::uint64_t count, FadePlace* fade, bool hold);
    // Sends a run, faded from fade's place (which moves past it) when set.
    UnrollResult Send(const FrameReader::Run& run, FadePlace* fade);
    // The run's 16-bit samples with the fade's gain applied, into faded_.
    void Fade(const FrameReader::Run& run, const FadePlace& fade);

    const DecoderSession& stream_;
    const UnrollRequest& request_;
    const PcmSink& sink_;
    std::string& error_;
    FrameReader reader_;
    std::vector<std::uint8_t> held_;  // the whole loop, when it is short enough to keep
    std::vector<std::uint8_t> faded_;
};

UnrollResult Unroller::Run() {
    const LoopPoints& loop = request_.loop;
    const std::uint64_t length = loop.end - loop.start;
    // The intro and the first pass are the stream as it comes.
    const bool hold = length * request_.frameBytes <= request_.holdBytes;
    UnrollResult result = Copy(loop.start, nullptr, false);
    if (result == UnrollResult::kDone) {
        result = Copy(length, nullptr, hold);
    }
    for (std::uint32_t pass = 1; pass < request_.passes && result == UnrollResult::kDone; ++pass) {
        result = Again(length, nullptr);
    }
    // The fade goes round the loop again, as often as its length needs.
    FadePlace fade{0, request_.fadeFrames};
    while (fade.done < fade.total && result == UnrollResult::kDone) {
        result = Again(std::min(length, fade.total - fade.done), &fade);
    }
    return result;
}

UnrollResult Unroller::Again(std::uint64_t count, FadePlace* fade) {
    if (!held_.empty()) {
        return Send({held_.data(), count}, fade);
    }
    const UnrollResult moved = ToLoopStart();
    return moved == UnrollResult::kDone ? Copy(count, fade, false) : moved;
}

UnrollResult Unroller::ToLoopStart() {
    reader_.Forget();
    if (request_.seek && stream_.Seek(request_.loop.start)) {
        return UnrollResult::kDone;
    }
    if (!stream_.Reset()) {
        error_ = kCannotGoBack;
        return UnrollResult::kFailed;
    }
    for (std::uint64_t skip = request_.loop.start; skip > 0;) {
        const FrameReader::Run run = reader_.Next(skip);
        if (run.frames == 0) {
            error_ = kEndsEarly;
            return UnrollResult::kFailed;
        }
        skip -= run.frames;
    }
    return UnrollResult::kDone;
}

UnrollResult Unroller::Copy(std::uint64_t count, FadePlace* fade, bool hold) {
    while (count > 0) {
        const FrameReader::Run run = reader_.Next(count);
        if (run.frames == 0) {
            error_ = kEndsEarly;
            return UnrollResult::kFailed;
        }
        if (hold) {
            held_.insert(held_.end(), run.data, run.data + run.frames * request_.frameBytes);
        }
        if (const UnrollResult sent = Send(run, fade); sent != UnrollResult::kDone) {
            return sent;
        }
        count -= run.frames;
    }
    return UnrollResult::kDone;
}

UnrollResult Unroller::Send(const FrameReader::Run& run, FadePlace* fade) {
    const std::uint8_t* data = run.data;
    if (fade != nullptr) {
        Fade(run, *fade);
        data = faded_.data();
        fade->done += run.frames;
    }
    return sink_(data, static_cast<std::uint32_t>(run.frames * request_.frameBytes))
               ? UnrollResult::kDone
               : UnrollResult::kStopped;
}

void Unroller::Fade(const FrameReader::Run& run, const FadePlace& fade) {
    const std::uint32_t samplesPerFrame = request_.frameBytes / 2;
    faded_.assign(run.data, run.data + run.frames * request_.frameBytes);
    std::uint8_t* sample = faded_.data();
    for (std::uint64_t frame = 0; frame < run.frames; ++frame) {
        // Gain (total - k) / total at the fade's frame k: 1 at its first frame, reaching 0 just
        // after its last. Integer arithmetic, rounding toward zero, the same on every system.
        const auto gain = static_cast<std::int64_t>(fade.total - (fade.done + frame));
        for (std::uint32_t i = 0; i < samplesPerFrame; ++i, sample += 2) {
            const auto value = static_cast<std::int16_t>(sample[0] | sample[1] << 8);
            const auto scaled =
                static_cast<std::uint16_t>(value * gain / static_cast<std::int64_t>(fade.total));
            sample[0] = static_cast<std::uint8_t>(scaled);
            sample[1] = static_cast<std::uint8_t>(scaled >> 8);
        }
    }
}

}  // namespace

std::uint64_t FadeFrames(double seconds, std::uint32_t rate) {
    const double frames = std::round(seconds * rate);
    if (!(frames >= 0)) {
        return 0;
    }
    return frames < static_cast<double>(UINT32_MAX) ? static_cast<std::uint64_t>(frames)
                                                    : UINT32_MAX;
}

std::uint64_t UnrolledFrames(const LoopPoints& loop, std::uint32_t passes,
                             std::uint64_t fadeFrames) {
    return loop.start + std::uint64_t{passes} * (loop.end - loop.start) + fadeFrames;
}

UnrollResult UnrollLoop(const DecoderSession& stream, const UnrollRequest& request,
                        const PcmSink& sink, std::string& error) {
    // The fade works on whole 16-bit samples; a loop is never empty.
    if (request.frameBytes == 0 || request.frameBytes % 2 != 0 ||
        request.loop.start >= request.loop.end) {
        error = "The track's loop cannot be written out.";
        return UnrollResult::kFailed;
    }
    return Unroller(stream, request, sink, error).Run();
}

}  // namespace fogbell
