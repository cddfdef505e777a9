#include "host/audio/waveform.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

namespace fogbell {
namespace {

constexpr std::uint16_t kPcm16Bits = 16;
// The stretches kept while decoding: merged pairwise whenever they reach twice this many
// columns' worth, so a stream of any length needs a few columns' worth of memory.
constexpr std::size_t kStretchesPerColumn = 4;

// Stretches of a growing stream, each `frames` frames long (the last may be shorter).
class Stretches {
  public:
    explicit Stretches(std::size_t limit) : limit_(std::max<std::size_t>(limit, 2)) {}

    // Takes one frame whose samples range from low to high.
    void Add(std::int16_t low, std::int16_t high) {
        if (filled_ == 0) {
            wave_.low.push_back(low);
            wave_.high.push_back(high);
        } else {
            wave_.low.back() = std::min(wave_.low.back(), low);
            wave_.high.back() = std::max(wave_.high.back(), high);
        }
        if (++filled_ == frames_) {
            filled_ = 0;
            if (wave_.low.size() == limit_) {
                HalveResolution();
            }
        }
    }

    Waveform& Result() { return wave_; }

  private:
    // Merges neighbours: half as many stretches, each twice as long.
    void HalveResolution() {
        const std::size_t half = wave_.low.size() / 2;
        for (std::size_t i = 0; i < half; ++i) {
            wave_.low[i] = std::min(wave_.low[2 * i], wave_.low[2 * i + 1]);
            wave_.high[i] = std::max(wave_.high[2 * i], wave_.high[2 * i + 1]);
        }
        wave_.low.resize(half);
        wave_.high.resize(half);
        frames_ *= 2;
    }

    std::size_t limit_;
    std::uint64_t frames_ = 1;
    std::uint64_t filled_ = 0;
    Waveform wave_;
};

// Stretches spread over `columns` columns: each column bounds the stretches that fall in it.
Waveform ToColumns(const Waveform& stretches, std::size_t columns) {
    const std::size_t count = stretches.low.size();
    if (count <= columns) {
        return stretches;
    }
    Waveform wave;
    wave.low.resize(columns);
    wave.high.resize(columns);
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t first = c * count / columns;
        const std::size_t end = std::max(first + 1, (c + 1) * count / columns);
        wave.low[c] = *std::min_element(stretches.low.data() + first, stretches.low.data() + end);
        wave.high[c] =
            *std::max_element(stretches.high.data() + first, stretches.high.data() + end);
    }
    return wave;
}

}  // namespace

std::optional<Waveform> ComputeWaveform(const DecoderSession& stream, std::size_t columns,
                                        const std::atomic<bool>& stop) {
    const PluginAnswer<std::optional<WAVEFORMATEX>> format = stream.OutputFormat();
    if (!format.value || format.value->wBitsPerSample != kPcm16Bits ||
        format.value->nChannels == 0 || columns == 0) {
        return std::nullopt;
    }
    const std::size_t channels = format.value->nChannels;
    const std::size_t frameBytes = channels * sizeof(std::int16_t);
    Stretches stretches(columns * kStretchesPerColumn * 2);
    std::vector<std::int16_t> frame(channels);
    std::uint64_t frames = 0;
    while (stream.CanDecode() && !stop) {
        const PcmBlock* block = stream.DecodeNext();
        if (block == nullptr) {
            break;
        }
        // Whole frames only: a block never splits one, and a trailing part is no frame.
        const std::size_t blockFrames = block->size / frameBytes;
        frames += blockFrames;
        for (std::size_t f = 0; f < blockFrames; ++f) {
            std::memcpy(frame.data(), block->data + f * frameBytes, frameBytes);
            const auto [low, high] = std::minmax_element(frame.begin(), frame.end());
            stretches.Add(*low, *high);
        }
    }
    if (stop || stretches.Result().low.empty()) {
        return std::nullopt;
    }
    Waveform wave = ToColumns(stretches.Result(), columns);
    wave.frames = frames;
    return wave;
}

bool WaveformWorker::Start(Job job) {
    Cancel();
    stop_ = false;
    try {
        thread_ = std::thread([this, job = std::move(job)] { job(stop_); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void WaveformWorker::Cancel() {
    if (thread_.joinable()) {
        stop_ = true;
        thread_.join();
    }
}

}  // namespace fogbell
