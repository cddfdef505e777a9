#include "host/audio/wave_writer.h"

#include <gtest/gtest.h>

#include <tuple>

#include "byte_writer.h"
#include "host/audio/sampler_loop.h"
#include "test_files.h"

namespace fogbell {
namespace {

using test::Bytes;

WAVEFORMATEX StereoFormat() {
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.nAvgBytesPerSec = 176400;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    f.cbSize = 18;
    return f;
}

Bytes ExpectedHeader(std::uint32_t dataLength) {
    Bytes b;
    test::ByteWriter(b)
        .Text("RIFF")
        .U32LE(dataLength + 36)
        .Text("WAVEfmt ")
        .U32LE(16)
        .U16LE(1)
        .U16LE(2)
        .U32LE(44100)
        .U32LE(176400)
        .U16LE(4)
        .U16LE(16)
        .Text("data")
        .U32LE(dataLength);
    return b;
}

TEST(WaveWriter, WritesTheHeaderAndBlocksByteForByte) {
    test::TempDir dir;
    const std::string path = dir.File("a.wav");
    WaveWriter writer;
    ASSERT_EQ(writer.Create(path, StereoFormat()), WaveWriter::Status::kOk);
    const Bytes one = test::Pattern(10, 1), two = test::Pattern(6, 2);
    ASSERT_EQ(writer.Append(one.data(), 10), WaveWriter::Status::kOk);
    ASSERT_EQ(writer.Append(two.data(), 6), WaveWriter::Status::kOk);
    ASSERT_EQ(writer.Finish(), WaveWriter::Status::kOk);
    Bytes expected = ExpectedHeader(16);
    expected.insert(expected.end(), one.begin(), one.end());
    expected.insert(expected.end(), two.begin(), two.end());
    EXPECT_EQ(test::ReadFile(path), expected);
}

TEST(WaveWriter, AnEmptyStreamGivesA44ByteFile) {
    test::TempDir dir;
    WaveWriter writer;
    ASSERT_EQ(writer.Create(dir.File("e.wav"), StereoFormat()), WaveWriter::Status::kOk);
    ASSERT_EQ(writer.Finish(), WaveWriter::Status::kOk);
    EXPECT_EQ(test::ReadFile(dir.File("e.wav")), ExpectedHeader(0));
}

TEST(WaveWriter, RefusesDataThatWouldPassTheHeadersLimit) {
    test::TempDir dir;
    WaveWriter writer;
    ASSERT_EQ(writer.Create(dir.File("big.wav"), StereoFormat()), WaveWriter::Status::kOk);
    const Bytes block(8, 7);
    ASSERT_EQ(writer.Append(block.data(), 8), WaveWriter::Status::kOk);
    // A block whose length would carry the data past the limit is refused before any write.
    EXPECT_EQ(writer.Append(block.data(), kMaxWaveDataLength - 7), WaveWriter::Status::kTooLarge);
    EXPECT_EQ(writer.DataLength(), 8u);
    ASSERT_EQ(writer.Finish(), WaveWriter::Status::kOk);
    EXPECT_EQ(test::ReadFile(dir.File("big.wav")).size(), 44u + 8u);
}

TEST(WaveWriter, MarksALoopInsideTheDataInASamplerChunkAfterIt) {
    // Data bytes, the loop in 4-byte frames; odd data gets a pad byte, a loop past it no chunk.
    const std::tuple<std::uint32_t, LoopPoints, bool> cases[] = {
        {16, {1, 3}, true}, {17, {0, 4}, true}, {16, {2, 5}, false}};
    for (const auto& [size, loop, marked] : cases) {
        test::TempDir dir;
        WaveWriter writer;
        const Bytes data = test::Pattern(size, 3);
        ASSERT_EQ(writer.Create(dir.File("l.wav"), StereoFormat()), WaveWriter::Status::kOk);
        ASSERT_EQ(writer.Append(data.data(), size), WaveWriter::Status::kOk);
        ASSERT_EQ(writer.Finish(loop), WaveWriter::Status::kOk);
        Bytes expected = ExpectedHeader(size);
        expected.insert(expected.end(), data.begin(), data.end());
        if (marked) {
            test::ByteWriter chunk(expected);
            chunk.Zeros(size % 2).Text("smpl");
            for (const std::uint32_t field : {60u, 0u, 0u, 22675u, 60u, 0u, 0u, 0u, 1u, 0u, 0u, 0u,
                                              loop.start, loop.end - 1, 0u, 0u}) {
                chunk.U32LE(field);
            }
            test::PutU32LE(expected, 4, static_cast<std::uint32_t>(expected.size() - 8));
        }
        EXPECT_EQ(test::ReadFile(dir.File("l.wav")), expected) << size;
    }
}

TEST(WaveWriter, ReportsAFileThatCannotBeCreated) {
    WaveWriter writer;
    EXPECT_EQ(writer.Create("/no/such/dir/a.wav", StereoFormat()),
              WaveWriter::Status::kCannotCreate);
}

TEST(SamplerLoop, TheLoopWrittenReadsBackAndBadChunksGiveNone) {
    test::TempDir dir;
    WaveWriter writer;
    ASSERT_EQ(writer.Create(dir.File("a.wav"), StereoFormat()), WaveWriter::Status::kOk);
    const Bytes pcm(4 * 1001, 0);  // an odd number of frames
    ASSERT_EQ(writer.Append(pcm.data(), static_cast<std::uint32_t>(pcm.size())),
              WaveWriter::Status::kOk);
    ASSERT_EQ(writer.Finish(LoopPoints{3, 1001}), WaveWriter::Status::kOk);
    EXPECT_EQ(ReadSamplerLoop(dir.File("a.wav")), (LoopPoints{3, 1001}));
    EXPECT_EQ(LoopAtRate({3, 1001}, 44100, 22050), (LoopPoints{2, 501}));

    Bytes body;
    test::ByteWriter(body).Zeros(28).U32LE(1).U32LE(0).Zeros(8).U32LE(9).U32LE(8).Zeros(8);
    EXPECT_FALSE(ParseSamplerLoop(body.data(), body.size()));  // last before first
    body[48] = 10;
    EXPECT_EQ(ParseSamplerLoop(body.data(), body.size()), (LoopPoints{9, 11}));
    EXPECT_FALSE(ParseSamplerLoop(body.data(), body.size() - 1));  // cut short
    body[28] = 0;
    EXPECT_FALSE(ParseSamplerLoop(body.data(), body.size()));  // no loop counted
    // A chunk length past the file's end.
    Bytes riff;
    test::ByteWriter(riff).Text("RIFF").U32LE(100).Text("WAVE").Text("smpl").U32LE(0xFFFFFFF0);
    test::WriteFile(dir.File("b.wav"), riff);
    EXPECT_FALSE(ReadSamplerLoop(dir.File("b.wav")));
}

}  // namespace
}  // namespace fogbell
