// The WAVE file checks: "RIFF", the header layouts, the data cut to the bytes present.
#include "wave_file.h"

#include <gtest/gtest.h>

#include "byte_writer.h"
#include "plugin_support.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::wave {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::WaveLayout;
using test::WaveOptions;

FileStatus Read(const Bytes& bytes, WaveFile& file) {
    const Bytes exact = bytes;  // exactly sized, so the sanitizer sees any overread
    return ReadWaveFile(exact.data(), static_cast<std::uint32_t>(exact.size()), file);
}

TEST(WaveFile, FindsTheDataOfEachLayout) {
    struct Case {
        WaveLayout layout;
        std::uint32_t factSize, offset;
    };
    for (const Case& c :
         {Case{WaveLayout::kFmt16, 0, 44}, Case{WaveLayout::kFmt18Data, 0, 46},
          Case{WaveLayout::kFmt18Fact, 4, 58}, Case{WaveLayout::kFmt18Fact, 3, 57}}) {
        WaveOptions o;
        o.layout = c.layout;
        o.factSize = c.factSize;
        WaveFile file;
        ASSERT_EQ(Read(test::BuildWave(o, Bytes(100, 7)), file), FileStatus::kOk) << c.offset;
        EXPECT_EQ(file.dataOffset, c.offset);
        EXPECT_EQ(file.dataSize, 100u);
        EXPECT_EQ(file.header.channels, 2);
    }
}

TEST(WaveFile, CutsTheDataSizeToTheBytesPresent) {
    WaveOptions o;
    o.dataSize = 1000;
    WaveFile file;
    ASSERT_EQ(Read(test::BuildWave(o, Bytes(99, 1)), file), FileStatus::kOk);
    EXPECT_EQ(file.dataSize, 99u);
    EXPECT_EQ(file.header.dataSize, 1000u);
    o.dataSize = 0xFFFFFFFFu;
    ASSERT_EQ(Read(test::BuildWave(o, Bytes(3, 1)), file), FileStatus::kOk);
    EXPECT_EQ(file.dataSize, 3u);
}

TEST(WaveFile, RefusesWhatItCannotPlay) {
    WaveOptions noChannels;
    noChannels.channels = 0;
    Bytes fmt20 = test::BuildWave(WaveOptions{}, Bytes(8, 0));
    test::PutU32LE(fmt20, 16, 20);
    struct Case {
        const char* what;
        Bytes bytes;
        FileStatus status;
    };
    const Case cases[] = {
        {"empty", {}, FileStatus::kNotWave},
        {"three bytes", {'R', 'I', 'F'}, FileStatus::kNotWave},
        {"RIFX", test::BytesOf("RIFX"), FileStatus::kNotWave},
        {"RIFF only", {'R', 'I', 'F', 'F'}, FileStatus::kLayoutRefused},
        {"fmt chunk of 20 bytes", fmt20, FileStatus::kLayoutRefused},
        {"no channels", test::BuildWave(noChannels, Bytes(8, 0)), FileStatus::kNoChannels},
    };
    for (const Case& c : cases) {
        WaveFile file;
        plugin::SetOk();
        EXPECT_EQ(Read(c.bytes, file), c.status) << c.what;
    }
    EXPECT_STREQ(StatusText(FileStatus::kNotWave), "Is not WAVE file.");
    EXPECT_STREQ(StatusText(FileStatus::kNoChannels), "WAVE file has no channels.");
}

TEST(WaveFile, BlocksAreSecondsUntilTheDataEnds) {
    EXPECT_EQ(BlockLength(0, 400000, 176400), 176400u);
    EXPECT_EQ(BlockLength(352800, 400000, 176400), 47200u);
    EXPECT_EQ(BlockLength(400000, 400000, 176400), 0u);
    EXPECT_EQ(BlockLength(500000, 400000, 176400), 0u);
}

}  // namespace
}  // namespace fogbell::wave
