// xmdvoice loaded by name from the staging folder and driven through its entry points only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "format_fields.h"
#include "plugin_api.h"
#include "test_files.h"
#include "xmd_builder.h"

namespace fogbell::test {
namespace {

class XmdVoice : public ::testing::Test {
  protected:
    DecoderApi api{"xmdvoice"};

    int Load(const Bytes& bytes, int channelsOut = -1, int rateOut = -1) {
        return api.LoadFileMemory(channelsOut, rateOut, bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size()));
    }
};

TEST_F(XmdVoice, ListsXmdAndReportsTheHeadersFormat) {
    const char* const* extensions = api.GetSupportExt();
    EXPECT_STREQ(extensions[0], "XMD");
    EXPECT_EQ(extensions[1], nullptr);

    const Bytes bytes = BuildXmd(1, 22050, 13, XmdFrames(1, 1));
    const int h = Load(bytes);
    ASSERT_NE(h, -1) << api.Error();
    const WAVEFORMATEX* source = api.GetFormatSource(h);
    EXPECT_EQ(FieldsOf(*source), Pcm16(1, 22050));
    EXPECT_EQ(std::memcmp(source, api.GetFormatOut(h), sizeof(WAVEFORMATEX)), 0);
    api.CloseFile(h);
}

TEST_F(XmdVoice, TheWorkedSizes) {
    struct Case {
        const char* what;
        std::uint8_t channels;
        std::uint16_t rate;
        std::uint32_t length;
        std::size_t frames;
        std::vector<std::uint32_t> sizes;
        std::uint32_t firstPosition;
    };
    const Case cases[] = {
        {"one mono frame", 1, 22050, 13, 1, {32}, 13},
        {"two stereo groups", 2, 22050, 52, 4, {128}, 52},
        // 1379 frames (44128 bytes) fill the first second of 44100 and carry 28.
        {"mono 22050", 1, 22050, 13 * 2800, 2800, {44100, 44100, 1400}, 13 * 1379},
    };
    for (const Case& c : cases) {
        const Bytes frames = XmdFrames(c.frames, c.channels);
        const Bytes bytes = BuildXmd(c.channels, c.rate, c.length, frames);  // kept until closed
        const int h = Load(bytes);
        ASSERT_NE(h, -1) << c.what;
        EXPECT_EQ(api.GetSizeData(h), c.length) << c.what;
        EXPECT_EQ(api.GetCurrPos(h), 0u) << c.what;
        const PcmBlock* first = api.DecodeNext(h);
        ASSERT_NE(first, nullptr) << c.what;
        EXPECT_EQ(api.GetCurrPos(h), c.firstPosition) << c.what;
        api.ResetFile(h);
        EXPECT_EQ(api.BlockSizes(h), c.sizes) << c.what;
        EXPECT_EQ(api.GetCurrPos(h), c.length) << c.what;
        api.ResetFile(h);
        EXPECT_EQ(Samples(api.DecodeAll(h)),
                  ReferenceXmd(frames, c.channels, c.frames / c.channels))
            << c.what;
        api.CloseFile(h);
    }
}

// XMD has no signature: the header must agree with the bytes. Bytes after the declared data
// are kept out; a cut inside the last frame group plays up to the group before it; anything
// else is refused with what the header declares.
TEST_F(XmdVoice, OnlyBytesThatAgreeWithTheirHeaderAreTaken) {
    const Bytes frames = XmdFrames(20, 3);  // ten stereo groups
    const Bytes whole = BuildXmd(2, 8000, 260, frames);
    const auto cut = [&](std::ptrdiff_t n) { return Bytes(whole.begin(), whole.end() - n); };
    Bytes padded = whole;
    padded.resize(whole.size() + 100, 0xAB);
    const std::string refused = "Is not XMD file: its header declares ";
    struct Case {
        const char* what;
        Bytes bytes;
        std::size_t groups;
        std::string error;  // empty: taken
    };
    const std::vector<Case> cases = {
        {"whole", whole, 10, ""},
        {"padded after its data", padded, 10, ""},
        {"last group cut by one byte", cut(1), 9, ""},
        {"last group cut to its first byte", cut(25), 9, ""},
        {"a whole group missing", cut(26), 0,
         refused + "20 frames, which need 272 bytes; the file has 246."},
        {"a length far past the bytes", BuildXmd(2, 8000, 100000, frames), 0,
         refused + "7693 frames, which need 100012 bytes; the file has 272."},
        {"a text file", BytesOf("just some words\n"), 0,
         refused + "106 channels; XMD streams have 1 or 2."},
        {"three channels", BuildXmd(3, 8000, 260, frames), 0,
         refused + "3 channels; XMD streams have 1 or 2."},
        {"no rate", BuildXmd(1, 0, 13, XmdFrames(1, 1)), 0, refused + "a sample rate of 0 Hz."},
    };
    for (const Case& c : cases) {
        const int h = Load(c.bytes);
        if (!c.error.empty()) {
            EXPECT_EQ(h, -1) << c.what;
            EXPECT_EQ(api.Error(), c.error) << c.what;
            continue;
        }
        ASSERT_NE(h, -1) << c.what << ": " << api.Error();
        EXPECT_EQ(Samples(api.DecodeAll(h)), ReferenceXmd(frames, 2, c.groups)) << c.what;
        EXPECT_EQ(api.GetCurrPos(h), 260u) << c.what;
        api.CloseFile(h);
    }
    // The size bounds the reads even when the bytes go on.
    const int h =
        api.LoadFileMemory(-1, -1, whole.data(), static_cast<std::uint32_t>(whole.size() - 1));
    ASSERT_NE(h, -1) << api.Error();
    EXPECT_EQ(Samples(api.DecodeAll(h)), ReferenceXmd(frames, 2, 9));
    api.CloseFile(h);
}

TEST_F(XmdVoice, RefusedStreamsGiveTheirTexts) {
    const Bytes header = BuildXmd(1, 22050, 13, {});
    for (std::uint32_t size = 0; size < 12; ++size) {
        const Bytes exact(header.begin(), header.begin() + size);
        EXPECT_EQ(api.LoadFileMemory(-1, -1, size == 0 ? header.data() : exact.data(), size), -1);
        EXPECT_EQ(api.Error(), "XMD file is shorter than its 12-byte header.");
    }
    EXPECT_EQ(Load(BuildXmd(0, 22050, 13, XmdFrames(1, 1))), -1);
    EXPECT_EQ(api.Error(), "XMD file has no channels.");
    EXPECT_EQ(api.LoadFileMemory(-1, -1, nullptr, 100), -1);
    EXPECT_EQ(api.Error(), "NULL memory pointer.");
}

// xmdvoice never sets "OK" itself: only a failure or mapping a file changes the text.
TEST_F(XmdVoice, SuccessLeavesAnEarlierTextExceptWhenAFileIsMapped) {
    const Bytes bytes = BuildXmd(1, 22050, 26, XmdFrames(2, 1));
    EXPECT_EQ(api.GetCurrPos(100), 0u);
    ASSERT_EQ(api.Error(), "Handle is invalid.[00000064]");
    const int h = Load(bytes);
    ASSERT_NE(h, -1);
    EXPECT_NE(api.DecodeNext(h), nullptr);
    EXPECT_EQ(api.ResetFile(h), 1);
    EXPECT_EQ(api.CloseFile(h), 1);
    EXPECT_EQ(api.Error(), "Handle is invalid.[00000064]");

    TempDir dir;
    const std::string path = dir.File("a.xmd");
    WriteFile(path, bytes);
    const int fromPath = api.LoadFile(-1, -1, path.c_str());
    ASSERT_NE(fromPath, -1);
    EXPECT_EQ(api.Error(), "OK");
    api.CloseFile(fromPath);
}

TEST_F(XmdVoice, ConvertsToTheRequestedFormat) {
    const Bytes bytes = BuildXmd(1, 22050, 13 * 2800, XmdFrames(2800, 2));
    const int h = Load(bytes, 2, 44100);
    ASSERT_NE(h, -1) << api.Error();
    const PcmBlock* block = api.DecodeNext(h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->size, 176400u);  // one second of 22050 Hz mono, about four times as large
    api.CloseFile(h);
}

}  // namespace
}  // namespace fogbell::test
