// What the playback tests share: expected recordings built from decoded blocks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "byte_writer.h"
#include "fogbell_decoder.h"
#include "test_files.h"

namespace fogbell::test {

inline constexpr std::size_t kWaveHeaderBytes = 44;

// The WAVE file the null device records: the 44-byte header of the format, then the data.
inline Bytes RecordedWave(const WAVEFORMATEX& format, const Bytes& data) {
    Bytes b;
    ByteWriter(b)
        .Text("RIFF")
        .U32LE(static_cast<std::uint32_t>(data.size() + 36))
        .Text("WAVEfmt ")
        .U32LE(16)
        .U16LE(1)
        .U16LE(format.nChannels)
        .U32LE(format.nSamplesPerSec)
        .U32LE(format.nAvgBytesPerSec)
        .U16LE(format.nBlockAlign)
        .U16LE(16)
        .Text("data")
        .U32LE(static_cast<std::uint32_t>(data.size()))
        .Bytes(data);
    return b;
}

// Passes of a one-second buffer: each is the block (or silence for null) followed by silence
// to the end of its second.
inline Bytes Passes(std::uint32_t second, const std::vector<const Bytes*>& passes) {
    Bytes out;
    for (const Bytes* block : passes) {
        const std::size_t start = out.size();
        out.resize(start + second, 0);
        if (block != nullptr) {
            std::copy(block->begin(), block->end(), out.begin() + static_cast<long>(start));
        }
    }
    return out;
}

// Polls until done() holds or ten seconds have passed; false on the time-out.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace fogbell::test
