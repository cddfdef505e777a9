#include "host/audio/sampler_loop.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <vector>

#include "host/system/system_files.h"

namespace fogbell {
namespace {

constexpr std::size_t kRiffHeadSize = 12;  // "RIFF", length, "WAVE"
constexpr std::size_t kWaveTagAt = 8;
constexpr std::size_t kChunkHeadSize = 8;  // name, length
constexpr std::size_t kLoopCountAt = 28;
constexpr std::size_t kFirstLoopAt = 36;
constexpr std::size_t kLoopSize = 24;
constexpr std::size_t kLoopFirstAt = 8;  // offsets inside one loop
constexpr std::size_t kLoopLastAt = 12;
// A sampler chunk holds its fields and a handful of loops; a longer one is read only up to its
// first loop.
constexpr std::size_t kSamplerReadLimit = kFirstLoopAt + kLoopSize;

std::uint32_t U32LE(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

std::uint32_t PointAtRate(std::uint32_t sample, std::uint32_t from, std::uint32_t to) {
    const std::uint64_t moved = (std::uint64_t{sample} * to + from / 2) / from;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(moved, UINT32_MAX));
}

}  // namespace

LoopPoints LoopAtRate(const LoopPoints& loop, std::uint32_t from, std::uint32_t to) {
    if (from == 0 || from == to) {
        return loop;
    }
    return LoopPoints{PointAtRate(loop.start, from, to), PointAtRate(loop.end, from, to)};
}

std::optional<LoopPoints> ParseSamplerLoop(const std::uint8_t* body, std::size_t size) {
    if (body == nullptr || size < kFirstLoopAt + kLoopSize || U32LE(body + kLoopCountAt) == 0) {
        return std::nullopt;
    }
    const std::uint32_t first = U32LE(body + kFirstLoopAt + kLoopFirstAt);
    const std::uint32_t last = U32LE(body + kFirstLoopAt + kLoopLastAt);
    if (last < first || last == UINT32_MAX) {
        return std::nullopt;
    }
    return LoopPoints{first, last + 1};
}

std::optional<LoopPoints> ReadSamplerLoop(const std::string& path) {
    std::ifstream in(StreamPath(path), std::ios::binary);
    std::array<std::uint8_t, kRiffHeadSize> head{};
    if (!in.read(reinterpret_cast<char*>(head.data()), head.size()) ||
        std::memcmp(head.data(), "RIFF", 4) != 0 ||
        std::memcmp(head.data() + kWaveTagAt, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const auto fileSize = static_cast<std::uint64_t>(in.tellg());
    std::uint64_t at = kRiffHeadSize;
    std::array<std::uint8_t, kChunkHeadSize> chunk{};
    while (at + kChunkHeadSize <= fileSize) {
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(chunk.data()), chunk.size())) {
            return std::nullopt;
        }
        const std::uint64_t length = U32LE(chunk.data() + 4);
        const std::uint64_t body = at + kChunkHeadSize;
        if (std::memcmp(chunk.data(), "smpl", 4) == 0) {
            // Only the bytes both the chunk and the file hold.
            const std::uint64_t held =
                std::min({length, fileSize - body, std::uint64_t{kSamplerReadLimit}});
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(held));
            if (!in.read(reinterpret_cast<char*>(bytes.data()),
                         static_cast<std::streamsize>(bytes.size()))) {
                return std::nullopt;
            }
            return ParseSamplerLoop(bytes.data(), bytes.size());
        }
        at = body + length + (length & 1);  // chunks start at even offsets
    }
    return std::nullopt;
}

}  // namespace fogbell
