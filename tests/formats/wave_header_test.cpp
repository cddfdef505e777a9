// The WAVE header reader's layouts, and files too short for them.
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
