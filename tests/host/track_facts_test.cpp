// A row read when it is first shown says what the same row says in a list read all at once,
// through the real plug-ins, for every kind of member and in any order of reading.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "host/plugins/plugin_host.h"
#include "host/tracks/track_listing.h"
#include "host/tracks/track_table.h"
#include "pac_builder.h"
#include "riff_wave_builder.h"
#include "test_files.h"
#include "xmd_builder.h"

namespace fogbell {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Adx(std::uint8_t channels, std::uint32_t rate) {
    test::AdxOptions options;
    options.channels = channels;
    options.rate = rate;
    options.totalSamples = 64;
    return test::BuildAdx(options, test::AdxFrames(2, channels, rate), true);
}

Bytes Wave(std::uint32_t rate) {
    return test::RiffWaveBuilder().Format(1, rate).Build(test::Pattern(400, 3));
}

// Two streams of different lengths (an AIX file's streams share the first one's format).
Bytes Aix() {
    test::AixBuilder builder;
    for (std::uint32_t groups : {40u, 20u}) {
        test::AixStream stream;
        stream.data = test::AdxFrames(groups, stream.channels, groups);
        stream.total = groups * 32;
        builder.Add(stream);
    }
    return builder.Build().bytes;
}

TEST(TrackFacts, RowsReadWhenShownSayWhatAWholeListingSays) {
    test::TempDir dir;
    PluginHost host;
    host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
    host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    const Bytes xmdFrames = test::XmdFrames(6, 5);
    test::WriteFile(
        dir.File("sounds.afs"),
        test::AfsBuilder()
            .Add("music.adx", Adx(2, 44100))
            .Add("chime.wav", Wave(22050))
            .Add("loop.xmd",
                 test::BuildXmd(1, 8000, static_cast<std::uint32_t>(xmdFrames.size()), xmdFrames))
            .Add("voices.pac", test::PacBuilder().Add(Wave(11025)).Build().bytes)
            .Add("battle.aix", Aix())
            .Add("inner.afs", test::AfsBuilder().Add("x.adx", Adx(1, 8000)).Build().bytes)
            .Add("readme.txt", test::Pattern(12, 1))
            .Add("empty.adx", {})
            .Add("empty.txt", {})
            .Add("broken.adx", test::Pattern(40, 7))
            .Build()
            .bytes);
    test::WriteFile(dir.File("battle.aix"), Aix());
    struct Case {
        const char* file;
        std::vector<std::string> bitrates;  // what the list shows, to know the case is not empty
    } cases[] = {
        {"sounds.afs",
         {"44100Hz,2Ch", "22050Hz,1Ch", "8000Hz,1Ch", "..", "44100Hz,2Ch", "..", "Unsupported", "",
          "", ""}},
        {"battle.aix", {"44100Hz,2Ch", "44100Hz,2Ch"}},
    };
    for (const Case& c : cases) {
        std::string error;
        ExplorerSessionPtr container = host.OpenContainer(dir.File(c.file), nullptr, 0, error);
        ASSERT_TRUE(container) << error;
        const auto rows = ListTracks(host, *container);
        ASSERT_TRUE(rows);
        ASSERT_EQ(rows->size(), c.bitrates.size()) << c.file;

        TrackTable table;
        PackedNames names;
        ASSERT_TRUE(container->ListNames(names).value);
        table.Reset(std::move(names), std::make_unique<ContainerFacts>(host, *container));
        const auto values = [](const TrackRow& row) {
            return std::tuple(row.name, row.lengthValue, static_cast<int>(row.kind), row.rate,
                              row.channels);
        };
        for (std::size_t i = rows->size(); i-- > 0;) {  // last first: each row stands alone
            const TrackRow& whole = (*rows)[i];
            EXPECT_EQ(whole.bitrate, c.bitrates[i]) << whole.name;
            EXPECT_EQ(table.CellText(i, kColumnBitrate), whole.bitrate) << whole.name;
            EXPECT_EQ(table.CellText(i, kColumnLength), whole.length) << whole.name;
            EXPECT_EQ(values(table.Row(i)), values(whole));
        }
        table.DropSource();
        CloseOpenedFile(container);
    }
}

// The Time column: the decoded length, learnt from one block whatever measure the decoder
// counts its size in (bytes of WAVE data, ADX samples), in whole seconds; nothing for a member
// no decoder reads.
TEST(TrackFacts, TheTimeColumnShowsEachAudioTracksDuration) {
    test::TempDir dir;
    PluginHost host;
    host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
    host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    test::AdxOptions adx;
    adx.rate = 8000;
    adx.totalSamples = 20000;  // 2.5 seconds
    const Bytes minute = test::RiffWaveBuilder().Format(1, 8000).Build(
        test::Pattern(2 * (8000 * 61 + 4000), 3));  // 61.5 seconds of 16-bit mono
    test::WriteFile(dir.File("times.afs"),
                    test::AfsBuilder()
                        .Add("long.wav", minute)
                        .Add("song.adx", test::BuildAdx(adx, test::AdxFrames(625, 1, 4), true))
                        .Add("readme.txt", test::Pattern(12, 1))
                        .Build()
                        .bytes);
    std::string error;
    ExplorerSessionPtr container = host.OpenContainer(dir.File("times.afs"), nullptr, 0, error);
    ASSERT_TRUE(container) << error;
    TrackTable table;
    PackedNames names;
    ASSERT_TRUE(container->ListNames(names).value);
    table.Reset(std::move(names), std::make_unique<ContainerFacts>(host, *container));
    struct Case {
        std::optional<std::uint32_t> milliseconds;
        const char* cell;
    } cases[] = {{61500, "1:01"}, {2500, "0:02"}, {std::nullopt, ""}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(table.CellText(i, kColumnTime), cases[i].cell) << i;
        EXPECT_EQ(table.Row(i).milliseconds, cases[i].milliseconds) << i;
    }
    table.Sort(kColumnTime, SortOrder::kAscending);
    EXPECT_EQ(table.ShownNames(), (std::vector<std::string>{"readme.txt", "song.adx", "long.wav"}));
    EXPECT_EQ(DurationText(std::uint32_t{3600 * 1000 + 61 * 1000}), "1:01:01");
    table.DropSource();
    CloseOpenedFile(container);
}

// An AIX container counts its tracks in samples: their durations are exact, whatever the
// decoder's own measure of position.
TEST(TrackFacts, AnAixTracksTimeIsItsSamplesOverItsRate) {
    test::TempDir dir;
    PluginHost host;
    host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
    host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    test::WriteFile(dir.File("battle.aix"), Aix());
    std::string error;
    ExplorerSessionPtr container = host.OpenContainer(dir.File("battle.aix"), nullptr, 0, error);
    ASSERT_TRUE(container) << error;
    TrackTable table;
    PackedNames names;
    ASSERT_TRUE(container->ListNames(names).value);
    table.Reset(std::move(names), std::make_unique<ContainerFacts>(host, *container));
    const std::uint32_t totals[] = {40 * 32, 20 * 32};  // Aix(): the streams' declared samples
    for (std::size_t i = 0; i < std::size(totals); ++i) {
        EXPECT_EQ(table.CellText(i, kColumnTime), "0:00") << i;  // read when shown
        EXPECT_EQ(table.Row(i).milliseconds, totals[i] * 1000 / 44100) << i;
    }
    const std::optional<std::vector<TrackRow>> rows = ListTracks(host, *container);
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), std::size(totals));
    for (std::size_t i = 0; i < std::size(totals); ++i) {
        EXPECT_EQ((*rows)[i].milliseconds, totals[i] * 1000 / 44100) << i;
    }
    table.DropSource();
    CloseOpenedFile(container);
}

}  // namespace
}  // namespace fogbell
