// The core with the real staged plug-ins on containers made to hurt: forged AIX track records
// inside an archive, and containers with a journal of an interrupted replacement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "fake_view.h"
#include "fogbell_aix_record.h"
#include "host/app/main_core.h"
#include "test_files.h"

namespace fogbell {
namespace {

using test::Bytes;

// The bytes of an AIX track record that no explorer made: every field looks right, and its
// pointers name memory that holds nothing of the kind (or nothing at all).
Bytes ForgedRecordBytes() {
    AIXVAULTFILE forged{};
    std::memcpy(forged.header, "AIXF", 4);
    const std::uint32_t oneTrack = 1;
    std::memcpy(forged.header + FOGBELL_AIX_HEADER_TRACK_COUNT, &oneTrack, sizeof oneTrack);
    forged.table = reinterpret_cast<const std::uint8_t*>(std::uintptr_t{0x1000});
    forged.base = forged.table;
    forged.packets = forged.base + 0x20;
    forged.packetsCopy = forged.packets;
    forged.containerLength = 0x10000;
    Bytes bytes(sizeof forged);
    std::memcpy(bytes.data(), &forged, sizeof forged);
    return bytes;
}

class CoreHardening : public ::testing::Test {
  protected:
    void SetUp() override {
        CorePaths paths;
        paths.settingsFile = dir.File("ini.ini");
        paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        core.Initialize(paths);
    }

    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    MainCore core{view, playback};
};

TEST_F(CoreHardening, AForgedTrackRecordInsideAnArchiveIsListedWithoutHarm) {
    // An AIX container beside it, so that aixvault is bound and holds live records meanwhile.
    const std::string archive = dir.File("forged.afs");
    test::WriteFile(archive, test::AfsBuilder()
                                 .Add("evil.aix", ForgedRecordBytes())
                                 .Add("evil.aixf", ForgedRecordBytes())
                                 .Build()
                                 .bytes);
    ASSERT_TRUE(core.OpenContainerPath(archive));
    ASSERT_EQ(view.RowCount(), 2);
    // aixvoice refused both: no format to show. "evil.aix" is also a container name.
    EXPECT_EQ(view.Column(kColumnBitrate), (std::vector<std::string>{"", ""}));

    // Played: refused with the decoder's text. Opened as a nested container: refused too.
    view.Select({1});
    core.OnRowDoubleClick();
    EXPECT_EQ(core.OpenStream(), nullptr);
    view.Select({0});
    core.OpenNestedContainer();
    EXPECT_EQ(view.Status(), "Unknown format.");
}

// FNV-1a 64, as the journal's checksum.
std::uint64_t Fnv(const Bytes& bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::uint8_t b : bytes) {
        hash = (hash ^ b) * 0x100000001B3ull;
    }
    return hash;
}

void PutLE(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

TEST_F(CoreHardening, OpeningAContainerWithAJournalPutsItBackAndSaysSo) {
    const Bytes old = test::AfsBuilder().Add("a.bin", test::Pattern(100, 1)).Build().bytes;
    const std::string archive = dir.File("box.afs");
    // The file as a replacement killed half-way left it: the first 40 bytes of a.bin changed,
    // and the journal that holds their old values.
    Bytes half = old;
    const std::size_t at = test::AfsBuilder().Add("a.bin", {}).Build().offsets[0];
    std::fill(half.begin() + static_cast<long>(at), half.begin() + static_cast<long>(at) + 40,
              0xEE);
    test::WriteFile(archive, half);
    Bytes journal = {'F', 'B', 'J', 'R', 'N', 'L', 1, 0};
    PutLE(journal, old.size(), 8);
    PutLE(journal, 1, 4);
    PutLE(journal, at, 8);
    PutLE(journal, 40, 4);
    journal.insert(journal.end(), old.begin() + static_cast<long>(at),
                   old.begin() + static_cast<long>(at) + 40);
    PutLE(journal, Fnv(journal), 8);
    test::WriteFile(archive + ".fogbell-journal", journal);

    ASSERT_TRUE(core.OpenContainerPath(archive));
    EXPECT_EQ(view.Status(),
              "Restored " + archive + ": a replacement that was cut short has been undone.");
    EXPECT_EQ(test::ReadFile(archive), old);
    EXPECT_FALSE(test::FileExists(archive + ".fogbell-journal"));
    EXPECT_EQ(view.RowCount(), 1);
}

}  // namespace
}  // namespace fogbell
