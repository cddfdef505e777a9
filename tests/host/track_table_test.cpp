// The track list's table: natural order, the filter, sorting by each column and back, and the
// selection of shown rows only.
#include "host/tracks/track_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace fogbell {
namespace {

TrackRow Row(std::string name, std::optional<std::uint32_t> length, std::uint32_t rate,
             TrackKind kind = TrackKind::kAudio) {
    TrackRow row;
    row.name = std::move(name);
    row.lengthValue = length;
    row.length = length ? std::to_string(*length) : "";
    row.kind = kind;
    row.rate = rate;
    row.channels = rate == 0 ? 0 : 1;
    row.bitrate = kind == TrackKind::kAudio ? std::to_string(rate) + "Hz,1Ch" : "..";
    return row;
}

TrackTable Sample() {
    TrackTable table;
    table.Reset({Row("voice_10.adx", 300, 44100), Row("Voice_2.adx", 20, 22050),
                 Row("inner.afs", 1000, 0, TrackKind::kContainer),
                 Row("voice_1.adx", std::nullopt, 32000), Row("bgm01.adx", 20, 44100)});
    return table;
}

TEST(NaturalOrder, ComparesNumbersByValueAndLettersWithoutCase) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"voice_2", "voice_10", -1},
        {"voice_10", "voice_2", 1},
        {"Voice_2", "voice_2", -1},  // equal but for case: by bytes
        {"voice_002", "voice_2", -1},
        {"voice_2", "voice_2", 0},
        {"a", "B", -1},
        {"track", "track1", -1},
        {"99999999999999999999999", "100000000000000000000000", -1},  // beyond 64 bits
        {"x9y", "x10a", -1},
    };
    for (const Case& c : cases) {
        const int order = CompareNatural(c.a, c.b);
        EXPECT_EQ((order > 0) - (order < 0), c.order) << c.a << " vs " << c.b;
    }
}

TEST(TrackTable, SortsByEachColumnAndAThirdClickRestoresTheContainersOrder) {
    struct Case {
        int column;
        int clicks;
        std::vector<std::string> names;
    } cases[] = {
        {kColumnName, 1, {"bgm01.adx", "inner.afs", "voice_1.adx", "Voice_2.adx", "voice_10.adx"}},
        {kColumnName, 2, {"voice_10.adx", "Voice_2.adx", "voice_1.adx", "inner.afs", "bgm01.adx"}},
        {kColumnName, 3, {"voice_10.adx", "Voice_2.adx", "inner.afs", "voice_1.adx", "bgm01.adx"}},
        // No length first; equal lengths keep the container's order.
        {kColumnLength,
         1,
         {"voice_1.adx", "Voice_2.adx", "bgm01.adx", "voice_10.adx", "inner.afs"}},
        {kColumnLength,
         2,
         {"inner.afs", "voice_10.adx", "Voice_2.adx", "bgm01.adx", "voice_1.adx"}},
        // Rows that are not audio first, then by rate.
        {kColumnBitrate,
         1,
         {"inner.afs", "Voice_2.adx", "voice_1.adx", "voice_10.adx", "bgm01.adx"}},
    };
    for (const Case& c : cases) {
        TrackTable table = Sample();
        for (int i = 0; i < c.clicks; ++i) {
            table.CycleSort(c.column);
        }
        EXPECT_EQ(table.ShownNames(), c.names) << "column " << c.column << ", clicks " << c.clicks;
    }
}

TEST(TrackTable, TheFilterKeepsMatchingRowsInTheChosenOrderAndDropsHiddenSelections) {
    TrackTable table = Sample();
    table.Sort(kColumnName, SortOrder::kAscending);
    table.SelectAll();
    table.SetFilter("VOICE_1");
    EXPECT_EQ(table.ShownNames(), (std::vector<std::string>{"voice_1.adx", "voice_10.adx"}));
    EXPECT_EQ(table.SelectedNames(), table.ShownNames());
    EXPECT_EQ(table.SelectedCount(), 2u);
    EXPECT_EQ(table.ContainerRow(0), 3u);  // #4 in the container
    EXPECT_EQ(table.FindShown("voice_10.adx"), 1);
    EXPECT_EQ(table.FindShown("bgm01.adx"), -1);

    table.SetFilter("");
    EXPECT_EQ(table.ShownCount(), 5u);
    EXPECT_EQ(table.SelectedNames(), (std::vector<std::string>{"voice_1.adx", "voice_10.adx"}));
    table.SetSelected(0, true);
    table.SetSelected(2, false);
    EXPECT_EQ(table.SelectedNames(), (std::vector<std::string>{"bgm01.adx", "voice_10.adx"}));

    table.SetFilter("nothing");
    EXPECT_EQ(table.ShownCount(), 0u);
    EXPECT_EQ(table.SelectedCount(), 0u);
}

TEST(TrackTable, ANewListKeepsTheFilterAndOrderButNoSelection) {
    TrackTable table = Sample();
    table.Sort(kColumnLength, SortOrder::kDescending);
    table.SetFilter(".adx");
    table.SelectAll();
    table.Reset({Row("b.adx", 1, 8000), Row("a.adx", 2, 8000), Row("c.pac", 3, 0)});
    EXPECT_EQ(table.ShownNames(), (std::vector<std::string>{"a.adx", "b.adx"}));
    EXPECT_EQ(table.SelectedCount(), 0u);
    EXPECT_EQ(table.TotalCount(), 3u);
}

// Facts made up from a row's name ("20.adx": 20 samples at 4800 Hz), counting what the table
// asks for.
class CountingSource : public TrackFactsSource {
  public:
    void ReadLength(const std::string& name, TrackFacts& facts) override {
        ++lengths;
        facts.hasLength = true;
        facts.length = static_cast<std::uint32_t>(std::stoul(name));
    }
    void Describe(const std::string& name, TrackFacts& facts) override {
        ++descriptions;
        facts.kind = TrackKind::kAudio;
        facts.hasBytes = facts.hasFormat = true;
        facts.rate = static_cast<std::uint32_t>(96000 / std::stoul(name));
        facts.channels = 1;
    }
    int lengths = 0;
    int descriptions = 0;
};

PackedNames ThreeNames() {
    PackedNames names;
    for (const char* name : {"30.adx", "10.adx", "20.adx"}) {
        names.Add(name);
    }
    return names;
}

TEST(TrackTable, RowsAreReadWhenFirstShownOrSortedAndOnlyAsFarAsNeeded) {
    TrackTable table;
    auto owned = std::make_unique<CountingSource>();
    CountingSource& source = *owned;
    table.Reset(ThreeNames(), std::move(owned));
    EXPECT_EQ(source.lengths + source.descriptions, 0);  // a new list reads names only

    EXPECT_EQ(table.CellText(2, kColumnLength), "20");
    EXPECT_EQ(source.descriptions, 0);  // a length opens no decoder
    EXPECT_EQ(table.CellText(2, kColumnBitrate), "4800Hz,1Ch");
    EXPECT_EQ(table.CellText(2, kColumnBitrate), "4800Hz,1Ch");
    EXPECT_EQ(source.descriptions, 1);  // kept once read

    table.Sort(kColumnLength, SortOrder::kDescending);
    EXPECT_EQ(table.ShownNames(), (std::vector<std::string>{"30.adx", "20.adx", "10.adx"}));
    EXPECT_EQ(source.lengths, 3);
    EXPECT_EQ(source.descriptions, 1);
    table.Sort(kColumnBitrate, SortOrder::kAscending);
    EXPECT_EQ(table.ShownNames(), (std::vector<std::string>{"30.adx", "20.adx", "10.adx"}));
    EXPECT_EQ(source.descriptions, 3);

    // Once the source is gone (its container closes), rows not read yet stay empty.
    TrackTable dropped;
    dropped.Reset(ThreeNames(), std::make_unique<CountingSource>());
    EXPECT_EQ(dropped.CellText(1, kColumnLength), "10");
    dropped.DropSource();
    EXPECT_EQ(dropped.CellText(0, kColumnLength), "");
    EXPECT_EQ(dropped.CellText(0, kColumnBitrate), "");
}

TEST(TrackTable, FilledRowsShowTheirTextsAndSortByThem) {
    const auto showing = [](TrackRow row, const char* bitrate) {
        row.bitrate = bitrate;
        return row;
    };
    const std::vector<TrackRow> rows = {
        Row("a.adx", 7, 44100),
        Row("in.afs", 3, 0, TrackKind::kContainer),
        showing(Row("gone.adx", 0, 0, TrackKind::kUnsupported), ""),  // no bytes
        showing(Row("odd.unk", 5, 0), "Unknown"),
        showing(Row("bad.adx", std::nullopt, 0, TrackKind::kUnknown), ""),  // refused
        showing(Row("notes.txt", 9, 0, TrackKind::kUnsupported), "Unsupported")};
    TrackTable table;
    table.Reset(rows);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(table.CellText(i, kColumnBitrate), rows[i].bitrate) << rows[i].name;
    }
    // By format: the rows that are not audio first, their texts in order, then audio.
    table.Sort(kColumnBitrate, SortOrder::kAscending);
    EXPECT_EQ(table.ShownNames(), (std::vector<std::string>{"gone.adx", "bad.adx", "in.afs",
                                                            "notes.txt", "odd.unk", "a.adx"}));
}

}  // namespace
}  // namespace fogbell
