// A track's waveform for the play bar: the lowest and highest sample of each column of the
// whole stream, computed by decoding it on a thread of its own while the track plays.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "host/plugins/plugin_host.h"

namespace fogbell {

// low[i] and high[i] bound every sample (of every channel) in the i-th of low.size() equal
// stretches of the stream. Empty: no waveform.
struct Waveform {
    std::vector<std::int16_t> low;
    std::vector<std::int16_t> high;
    std::uint64_t frames = 0;  // the stream's whole length, counted while decoding it
    bool operator==(const Waveform&) const = default;
};

// Columns enough for the widest play bar at twice the pixel density.
inline constexpr std::size_t kWaveformColumns = 2048;

// Decodes stream from its current position to its end (16-bit output only) and returns its
// envelope in `columns` columns (fewer when the stream has fewer frames). None when stop was
// set, the stream gave no sample, or its output is not 16-bit PCM. Memory stays bounded
// whatever the stream's length.
std::optional<Waveform> ComputeWaveform(const DecoderSession& stream, std::size_t columns,
                                        const std::atomic<bool>& stop);

// Runs one job at a time on a thread of its own. Every method runs on one thread (the window
// thread); the job sees a stop flag that Cancel sets.
class WaveformWorker {
  public:
    using Job = std::function<void(const std::atomic<bool>& stop)>;

    WaveformWorker() = default;
    ~WaveformWorker() { Cancel(); }
    WaveformWorker(const WaveformWorker&) = delete;
    WaveformWorker& operator=(const WaveformWorker&) = delete;

    // Cancels the running job, then starts job. False when no thread can be started.
    bool Start(Job job);
    // Asks the running job to stop and waits until it has returned.
    void Cancel();

  private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

}  // namespace fogbell
