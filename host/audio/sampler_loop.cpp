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

std::uint16_t U16LE(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void PutU32LE(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// The sampler chunk's fields, and the format chunk's that a loop needs.
constexpr std::uint32_t kSamplerBodyBytes = kSamplerChunkBytes - kChunkHeadSize;
constexpr std::uint32_t kNanosecondsPerSecond = 1000000000;
constexpr std::uint32_t kUnityNote = 60;  // middle C: the sound plays at its own pitch
constexpr std::size_t kFormatRateAt = 4;
constexpr std::size_t kFormatBlockAlignAt = 12;
constexpr std::size_t kFormatBodyMin = 16;

// One chunk of a WAVE's bytes: where its head lies, its length, and where the next one begins
// (after the pad byte that keeps chunks at even offsets, when the bytes hold it).
struct Chunk {
    std::size_t at = 0;
    std::uint32_t length = 0;
    std::size_t next = 0;
    bool Is(const std::uint8_t* data, const char* tag) const {
        return std::memcmp(data + at, tag, 4) == 0;
    }
    const std::uint8_t* Body(const std::uint8_t* data) const { return data + at + kChunkHeadSize; }
};

// The chunks of a RIFF WAVE's bytes, walked by their lengths up to the last whole chunk head;
// whole is false when a chunk reaches past the bytes (it is the last one given). None when the
// bytes are no RIFF WAVE.
std::optional<std::vector<Chunk>> WaveChunks(const std::uint8_t* data, std::size_t size,
                                             bool& whole) {
    whole = true;
    if (data == nullptr || size < kRiffHeadSize || std::memcmp(data, "RIFF", 4) != 0 ||
        std::memcmp(data + kWaveTagAt, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    std::vector<Chunk> chunks;
    std::size_t at = kRiffHeadSize;
    while (size - at >= kChunkHeadSize) {
        Chunk chunk{at, U32LE(data + at + 4), 0};
        const std::uint64_t end = std::uint64_t{at} + kChunkHeadSize + chunk.length;
        if (end > size) {
            whole = false;
            chunk.next = size;
            chunks.push_back(chunk);
            break;
        }
        chunk.next = static_cast<std::size_t>(end) + ((chunk.length & 1) != 0 && end < size);
        chunks.push_back(chunk);
        at = chunk.next;
    }
    return chunks;
}

std::uint32_t PointAtRate(std::uint32_t sample, std::uint32_t from, std::uint32_t to) {
    const std::uint64_t moved = (std::uint64_t{sample} * to + from / 2) / from;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(moved, UINT32_MAX));
}

}  // namespace

std::vector<std::uint8_t> SamplerChunk(const LoopPoints& loop, std::uint32_t rate) {
    std::vector<std::uint8_t> chunk(kSamplerChunkBytes, 0);
    const std::uint32_t period = rate == 0 ? 0 : kNanosecondsPerSecond / rate;
    const std::uint32_t fields[] = {
        kSamplerBodyBytes, 0, 0,  // manufacturer, product
        period, kUnityNote, 0,    // sample period, MIDI unity note, pitch fraction
        0, 0,                     // SMPTE format and offset
        1, 0,                     // one loop, no sampler data
        // The loop: cue point, type (forward), first frame, last frame, fraction, play count.
        0, 0, loop.start, loop.end - 1, 0, 0};
    std::memcpy(chunk.data(), "smpl", 4);
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        PutU32LE(chunk.data() + 4 + 4 * i, fields[i]);
    }
    return chunk;
}

std::optional<WaveLoopFacts> ReadWaveLoopFacts(const std::uint8_t* data, std::size_t size) {
    bool whole = true;
    const std::optional<std::vector<Chunk>> chunks = WaveChunks(data, size, whole);
    if (!chunks) {
        return std::nullopt;
    }
    WaveLoopFacts facts;
    std::uint32_t blockAlign = 0;
    std::optional<std::uint64_t> dataBytes;
    bool samplerSeen = false;
    for (const Chunk& chunk : *chunks) {
        const std::size_t held = chunk.next - chunk.at - kChunkHeadSize;
        if (chunk.Is(data, "fmt ") && chunk.length >= kFormatBodyMin && held >= kFormatBodyMin) {
            facts.rate = U32LE(chunk.Body(data) + kFormatRateAt);
            blockAlign = U16LE(chunk.Body(data) + kFormatBlockAlignAt);
        } else if (chunk.Is(data, "data") && !dataBytes) {
            dataBytes = std::min<std::uint64_t>(chunk.length, held);
        } else if (chunk.Is(data, "smpl") && !samplerSeen) {
            samplerSeen = true;
            facts.loop = ParseSamplerLoop(chunk.Body(data), std::min<std::size_t>(chunk.length, held));
        }
    }
    if (blockAlign == 0 || !dataBytes) {
        return std::nullopt;
    }
    facts.frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(*dataBytes / blockAlign, UINT32_MAX));
    return facts;
}

std::optional<std::vector<std::uint8_t>> WithSamplerLoop(const std::uint8_t* data,
                                                         std::size_t size,
                                                         const std::optional<LoopPoints>& loop) {
    bool whole = true;
    const std::optional<std::vector<Chunk>> chunks = WaveChunks(data, size, whole);
    const std::optional<WaveLoopFacts> facts = ReadWaveLoopFacts(data, size);
    if (!chunks || !whole || !facts ||
        (loop && (loop->start >= loop->end || loop->end > facts->frames))) {
        return std::nullopt;
    }
    // A sampler chunk that holds a loop keeps its place and size: only the first loop's frames
    // change.
    const auto sampler = std::find_if(chunks->begin(), chunks->end(), [data](const Chunk& c) {
        return c.Is(data, "smpl");
    });
    if (loop && sampler != chunks->end() && facts->loop) {
        std::vector<std::uint8_t> bytes(data, data + size);
        std::uint8_t* first = bytes.data() + sampler->at + kChunkHeadSize + kFirstLoopAt;
        PutU32LE(first + kLoopFirstAt, loop->start);
        PutU32LE(first + kLoopLastAt, loop->end - 1);
        return bytes;
    }
    std::vector<std::uint8_t> bytes(data, data + kRiffHeadSize);
    for (const Chunk& chunk : *chunks) {
        if (!chunk.Is(data, "smpl")) {
            bytes.insert(bytes.end(), data + chunk.at, data + chunk.next);
        }
    }
    const std::size_t tail = chunks->empty() ? kRiffHeadSize : chunks->back().next;
    if (loop) {
        if (bytes.size() % 2 != 0) {
            bytes.push_back(0);  // the last chunk's pad byte, which the bytes did not hold
        }
        const std::vector<std::uint8_t> chunk = SamplerChunk(*loop, facts->rate);
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    }
    bytes.insert(bytes.end(), data + tail, data + size);  // bytes too few for a chunk head
    if (bytes.size() - 8 > UINT32_MAX) {
        return std::nullopt;
    }
    PutU32LE(bytes.data() + 4, static_cast<std::uint32_t>(bytes.size() - 8));
    return bytes;
}

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
