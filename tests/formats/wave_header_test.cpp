// The WAVE header reader's fixed layouts, its chunk walk, and files too short for either.
#include "wave_header.h"

#include <gtest/gtest.h>

#include <cstring>

#include "byte_writer.h"
#include "plugin_support.h"

namespace fogbell::wave {
namespace {

using test::ByteWriter;
using Bytes = std::vector<std::uint8_t>;

// RIFF, WAVE and a fmt chunk of fmtSize bytes (16-bit PCM, 2 channels, 44100 Hz).
Bytes FmtPart(std::uint32_t fmtSize) {
    Bytes b;
    ByteWriter w(b);
    w.Text("RIFF").U32LE(1234).Text("WAVE").Text("fmt ").U32LE(fmtSize);
    w.U16LE(1).U16LE(2).U32LE(44100).U32LE(176400).U16LE(4).U16LE(16);
    return b;
}

TEST(ReadWaveHeader, AcceptsTheThreeLayouts) {
    Bytes canonical = FmtPart(16);
    ByteWriter(canonical).Text("data").U32LE(8).Zeros(8);
    Bytes withData = FmtPart(18);
    ByteWriter(withData).U16LE(0).Text("data").U32LE(6).Zeros(6);
    Bytes withFact = FmtPart(18);
    ByteWriter(withFact).U16LE(0).Text("fact").U32LE(4).U32LE(99).Text("data").U32LE(2).Zeros(2);
    struct Case {
        const char* what;
        Bytes bytes;
        std::uint32_t offset, dataSize, riffSize, fmtSize;
    };
    const Case cases[] = {
        {"fmt 16", canonical, 44, 8, 1234, 16},
        {"fmt 18 then data", withData, 46, 6, 42, 16},
        {"fmt 18, fact, data", withFact, 58, 2, 38, 18},
    };
    for (const Case& c : cases) {
        WaveFileHeader header{};
        EXPECT_EQ(
            ReadWaveHeader(&header, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())),
            c.offset)
            << c.what;
        EXPECT_EQ(header.dataSize, c.dataSize) << c.what;
        EXPECT_EQ(header.riffSize, c.riffSize) << c.what;
        EXPECT_EQ(header.fmtSize, c.fmtSize) << c.what;
        EXPECT_EQ(header.channels, 2) << c.what;
        EXPECT_EQ(header.samplesPerSec, 44100u) << c.what;
        EXPECT_EQ(std::memcmp(&header.dataTag, "data", 4), 0) << c.what;
    }
}

TEST(ReadWaveHeader, RefusesOtherLayoutsAndFilesTooShortForTheirs) {
    Bytes fmt20 = FmtPart(20);
    ByteWriter(fmt20).U32LE(0).Text("data").U32LE(0);  // byte 38 lies inside the fmt chunk
    Bytes shortCanonical = FmtPart(16);
    ByteWriter(shortCanonical).Text("dat");
    Bytes shortData = FmtPart(18);
    ByteWriter(shortData).U16LE(0).Text("data").U16LE(0);  // 45 bytes
    Bytes factPastEnd = FmtPart(18);
    ByteWriter(factPastEnd).U16LE(0).Text("fact").U32LE(100).Zeros(8);
    Bytes factOverflow = FmtPart(18);
    ByteWriter(factOverflow).U16LE(0).Text("fact").U32LE(0xFFFFFFF0u).Zeros(12);
    Bytes factOneShort = FmtPart(18);
    ByteWriter(factOneShort).U16LE(0).Text("fact").U32LE(4).U32LE(0).Text("data").U32LE(0);
    factOneShort.pop_back();
    for (const Bytes& bytes : {fmt20, shortCanonical, shortData, factPastEnd, factOverflow,
                               factOneShort, Bytes(43, 0)}) {
        Bytes exact = bytes;
        WaveFileHeader header{};
        plugin::SetOk();
        EXPECT_EQ(ReadWaveHeader(&header, exact.data(), static_cast<std::uint32_t>(exact.size())),
                  0u)
            << exact.size();
        EXPECT_STREQ(plugin::ErrorText(), "Unknown waveformat.");
    }
}

// The 16-byte format record alone.
Bytes FmtRecord() {
    const Bytes part = FmtPart(16);
    return Bytes(part.begin() + 20, part.end());
}

// A chunk on file: tag, u32 body size, body, and a pad byte after an odd-sized body.
void Chunk(Bytes& b, const char* tag, const Bytes& body) {
    ByteWriter w(b);
    w.Text(tag).U32LE(static_cast<std::uint32_t>(body.size())).Bytes(body);
    if (body.size() % 2 != 0) {
        w.U8(0);
    }
}

// A chunk header whose size is claimed, not written out.
void ChunkHeader(Bytes& b, const char* tag, std::uint32_t size) {
    ByteWriter(b).Text(tag).U32LE(size);
}

const Bytes kInfo = {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 4, 0, 0, 0, 'f', 'o', 'g', 0};

TEST(ReadWaveHeader, WalksTheChunksWhenTheDataChunkIsNotWhereAFixedLayoutPutsIt) {
    Bytes list16 = FmtPart(16);
    Chunk(list16, "LIST", kInfo);
    Chunk(list16, "data", Bytes(8, 7));
    Bytes list18 = FmtPart(18);
    ByteWriter(list18).U16LE(0);
    Chunk(list18, "LIST", kInfo);
    Chunk(list18, "data", Bytes(6, 7));
    Bytes factList = FmtPart(18);
    ByteWriter(factList).U16LE(0);
    Chunk(factList, "fact", {2, 0, 0, 0});
    Chunk(factList, "LIST", kInfo);
    Chunk(factList, "data", Bytes(4, 7));
    Bytes oddChunk = FmtPart(16);
    Chunk(oddChunk, "JUNK", {1, 2, 3});  // padded to 4
    Chunk(oddChunk, "data", Bytes(2, 7));
    Bytes pastEnd = FmtPart(16);
    Chunk(pastEnd, "LIST", kInfo);
    ChunkHeader(pastEnd, "data", 1000);
    ByteWriter(pastEnd).Zeros(10);
    Bytes hugeData = FmtPart(18);
    ByteWriter(hugeData).U16LE(0);
    Chunk(hugeData, "LIST", kInfo);
    ChunkHeader(hugeData, "data", 0xFFFFFFFFu);
    ByteWriter(hugeData).Zeros(3);
    // A chunk before the fmt chunk: the format comes from the fmt chunk found, not offset 20.
    Bytes junkFirst;
    ByteWriter(junkFirst).Text("RIFF").U32LE(1234).Text("WAVE");
    Chunk(junkFirst, "JUNK", Bytes(28, 0x55));
    Chunk(junkFirst, "fmt ", FmtRecord());
    Chunk(junkFirst, "data", Bytes(4, 7));
    struct Case {
        const char* what;
        Bytes bytes;
        std::uint32_t offset, dataSize;
    };
    const Case cases[] = {
        {"fmt 16, LIST, data", list16, 36 + 24 + 8, 8},
        {"fmt 18, LIST, data", list18, 38 + 24 + 8, 6},
        {"fmt 18, fact, LIST, data", factList, 38 + 12 + 24 + 8, 4},
        {"odd-sized chunk and its pad byte", oddChunk, 36 + 12 + 8, 2},
        {"data running past the end is cut", pastEnd, 36 + 24 + 8, 10},
        {"data size of 0xFFFFFFFF is cut", hugeData, 38 + 24 + 8, 3},
        {"JUNK before fmt", junkFirst, 12 + 36 + 24 + 8, 4},
    };
    for (const Case& c : cases) {
        WaveFileHeader header{};
        const auto size = static_cast<std::uint32_t>(c.bytes.size());
        EXPECT_EQ(ReadWaveHeader(&header, c.bytes.data(), size), c.offset) << c.what;
        EXPECT_EQ(std::memcmp(&header.dataTag, "data", 4), 0) << c.what;
        EXPECT_EQ(std::memcmp(&header.fmtTag, "fmt ", 4), 0) << c.what;
        EXPECT_EQ(header.dataSize, c.dataSize) << c.what;
        EXPECT_LE(std::uint64_t{c.offset} + header.dataSize, size) << c.what;
        EXPECT_EQ(header.riffSize, c.dataSize + 36) << c.what;
        EXPECT_EQ(header.fmtSize, 16u) << c.what;
        EXPECT_EQ(header.formatTag, 1) << c.what;
        EXPECT_EQ(header.channels, 2) << c.what;
        EXPECT_EQ(header.samplesPerSec, 44100u) << c.what;
        EXPECT_EQ(header.avgBytesPerSec, 176400u) << c.what;
        EXPECT_EQ(header.blockAlign, 4) << c.what;
        EXPECT_EQ(header.bitsPerSample, 16) << c.what;
    }
}

TEST(ReadWaveHeader, RefusesAWalkThatFindsNoUsableDataChunk) {
    Bytes noData = FmtPart(16);
    Chunk(noData, "LIST", kInfo);
    Bytes listPastEnd = FmtPart(16);
    ChunkHeader(listPastEnd, "LIST", 100);
    ByteWriter(listPastEnd).Zeros(8);
    Chunk(listPastEnd, "data", Bytes(4, 7));  // inside the LIST body as claimed
    // In 32-bit arithmetic 44 + 0xFFFFFFFF + pad wraps to 44, where this LIST body holds a
    // data chunk; 44 + 0xFFFFFFF8 wraps to 36, the LIST chunk itself, and never ends.
    Bytes wrapsToBody = FmtPart(16);
    ChunkHeader(wrapsToBody, "LIST", 0xFFFFFFFFu);
    Chunk(wrapsToBody, "data", Bytes(4, 7));
    Bytes wrapsToItself = FmtPart(16);
    ChunkHeader(wrapsToItself, "LIST", 0xFFFFFFF8u);
    Chunk(wrapsToItself, "data", Bytes(4, 7));
    Bytes fmt20 = FmtPart(20);
    ByteWriter(fmt20).U32LE(0);
    Chunk(fmt20, "LIST", kInfo);
    Chunk(fmt20, "data", Bytes(4, 7));
    Bytes dataBeforeFmt;
    ByteWriter(dataBeforeFmt).Text("RIFF").U32LE(1234).Text("WAVE");
    Chunk(dataBeforeFmt, "data", Bytes(4, 7));
    Chunk(dataBeforeFmt, "fmt ", FmtRecord());
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"no data chunk", noData},
        {"LIST running past the end", listPastEnd},
        {"LIST size wrapping to its own body", wrapsToBody},
        {"LIST size wrapping to itself", wrapsToItself},
        {"fmt chunk of 20 bytes", fmt20},
        {"data before fmt", dataBeforeFmt},
    };
    for (const Case& c : cases) {
        WaveFileHeader header{};
        plugin::SetOk();
        EXPECT_EQ(
            ReadWaveHeader(&header, c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size())), 0u)
            << c.what;
        EXPECT_STREQ(plugin::ErrorText(), "Unknown waveformat.") << c.what;
    }
}

// A fmt record longer than 18 bytes is taken when its cbSize counts the extra bytes; an
// extensible one stands in the header as its SubFormat's tag when the GUID has the usual form.
TEST(ReadWaveHeader, TakesExtendedFormatRecordsAndTheTagOfAnExtensibleOne) {
    const Bytes guidTail = {0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    struct Case {
        const char* what;
        std::uint16_t tag, cbSize;
        Bytes extra;
        std::uint16_t headerTag;
    };
    Bytes floatGuid = {24, 0, 3, 0, 0, 0, 3, 0, 0, 0};  // valid bits, mask, SubFormat tag 3
    floatGuid.insert(floatGuid.end(), guidTail.begin(), guidTail.end());
    Bytes oddGuid = floatGuid;
    oddGuid.back() ^= 1;
    const Case cases[] = {
        {"extensible float", 0xFFFE, 22, floatGuid, 3},
        {"extensible, unknown GUID", 0xFFFE, 22, oddGuid, 0xFFFE},
        {"ADPCM with 4 extra bytes", 2, 4, {0xF4, 1, 7, 0}, 2},
    };
    for (const Case& c : cases) {
        Bytes b = FmtPart(18 + static_cast<std::uint32_t>(c.extra.size()));
        b[20] = static_cast<std::uint8_t>(c.tag);
        b[21] = static_cast<std::uint8_t>(c.tag >> 8);
        ByteWriter(b).U16LE(c.cbSize).Bytes(c.extra);
        Chunk(b, "data", Bytes(4, 7));
        WaveFileHeader header{};
        EXPECT_EQ(ReadWaveHeader(&header, b.data(), static_cast<std::uint32_t>(b.size())),
                  b.size() - 4)
            << c.what;
        EXPECT_EQ(header.formatTag, c.headerTag) << c.what;
        EXPECT_EQ(header.fmtSize, 16u) << c.what;
        EXPECT_EQ(header.dataSize, 4u) << c.what;
        // cbSize that does not count the extra bytes: refused.
        b[36] ^= 2;
        EXPECT_EQ(ReadWaveHeader(&header, b.data(), static_cast<std::uint32_t>(b.size())), 0u)
            << c.what;
    }
}

TEST(ReadWaveHeader, RefusesNullPointers) {
    Bytes bytes = FmtPart(16);
    WaveFileHeader header{};
    EXPECT_EQ(ReadWaveHeader(nullptr, bytes.data(), 44), 0u);
    EXPECT_STREQ(plugin::ErrorText(), "NULL wave file header pointer.");
    EXPECT_EQ(ReadWaveHeader(&header, nullptr, 44), 0u);
    EXPECT_STREQ(plugin::ErrorText(), "NULL wave file header pointer.");
}

}  // namespace
}  // namespace fogbell::wave
