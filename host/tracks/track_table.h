// The track list's rows, kept once by the core: every track of the container shown, in the
// container's order, which of them are selected, and which are shown (those whose name holds the
// filter text) in the order chosen by a column. The window's list is a view of this table; the
// track commands take their names from it.
//
// A row keeps its name packed with the others and its length, format and duration as 16 bytes of values
// (TrackFacts), read from the container when the row is first drawn or sorted by them: opening
// an archive of a million members reads their names only.
//
// Rows are addressed two ways: a shown row is a position in the list as it is drawn (after the
// filter and the sort); a container row is the track's place in the container (the command
// line's #N is that place plus one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/tracks/track_listing.h"
#include "text/packed_names.h"

namespace fogbell {

// Column indexes of the track list.
inline constexpr int kColumnName = 0;
inline constexpr int kColumnLength = 1;
inline constexpr int kColumnBitrate = 2;
inline constexpr int kColumnTime = 3;

enum class SortOrder { kContainer, kAscending, kDescending };

// Natural order of names: runs of digits compare by their value ("voice_2" before "voice_10"),
// letters without regard to ASCII case; names equal so compare by their bytes. Negative, 0 or
// positive like strcmp.
int CompareNatural(std::string_view a, std::string_view b);

// True when name holds text, ASCII letters compared without regard to case ("" is in every name).
bool ContainsFolded(std::string_view name, std::string_view text);

class TrackTable {
  public:
    // A new list of filled rows in container order, nothing selected; the filter and the order
    // stay (a sort by a column reads every row's facts).
    void Reset(std::vector<TrackRow> rows);
    // A new list of the names in container order, whose facts source gives when a row is
    // first shown or sorted by them; nothing selected, the filter and the order stay.
    void Reset(PackedNames names, std::unique_ptr<TrackFactsSource> source);
    void Clear() { Reset({}); }
    // Forgets the source (its container closes): rows not filled yet stay empty.
    void DropSource() { source_.reset(); }

    std::size_t TotalCount() const { return names_.Size(); }
    std::size_t ShownCount() const { return shown_.size(); }
    std::size_t ContainerRow(std::size_t shownRow) const { return shown_[shownRow]; }
    // A shown row's name, valid until the list changes.
    std::string_view ShownName(std::size_t shownRow) const { return names_[shown_[shownRow]]; }
    // A shown row's text in a column, its facts read first where they are not yet.
    std::string CellText(std::size_t shownRow, int column) const;
    // Reads a shown row's facts now where they are not yet: it then shows them whatever later
    // changes its track.
    void Fill(std::size_t shownRow) const { Facts(shown_[shownRow], true); }
    // The row at a place in the container, filled.
    TrackRow Row(std::size_t containerRow) const;
    // The shown row of the first track with this name, or -1 when none is shown.
    long FindShown(std::string_view name) const;

    // Selection, by shown row. Rows the filter hides are never selected.
    bool IsSelected(std::size_t shownRow) const { return selected_[shown_[shownRow]] != 0; }
    void SetSelected(std::size_t shownRow, bool selected);
    void SelectAll();
    void ClearSelection();
    std::size_t SelectedCount() const { return selectedCount_; }
    // The names of the shown, selected rows, in shown order.
    std::vector<std::string> SelectedNames() const;
    // The first of them without copying the rest; empty when nothing is selected.
    std::optional<std::string_view> FirstSelectedName() const;
    // The names of the shown rows, in shown order.
    std::vector<std::string> ShownNames() const;

    // Keeps the rows whose name holds text (ASCII case ignored); "" shows every row. Rows that
    // the filter hides lose their selection.
    void SetFilter(const std::string& text);
    const std::string& Filter() const { return filter_; }

    // Orders the shown rows by a column (kColumnName naturally, kColumnLength, kColumnBitrate
    // and kColumnTime by their numbers, read first for every row that has not got them); kContainer restores
    // the container's order.
    void Sort(int column, SortOrder order);
    // A click on a column's header: ascending, then descending, then the container's order.
    void CycleSort(int column);
    int SortColumn() const { return sortColumn_; }
    SortOrder Order() const { return order_; }

  private:
    // A row's facts, the length read or (describe) the kind and format as well, when they are
    // not yet and a source is there.
    const TrackFacts& Facts(std::size_t containerRow, bool describe) const;
    // The new rows, their facts not yet filled, nothing selected; Arrange comes after.
    void Take(PackedNames names, std::unique_ptr<TrackFactsSource> source);
    void Arrange();  // rebuilds ranked_ from the sort, then shown_
    void ApplyFilter();

    PackedNames names_;  // by container row
    // Filled when first asked for, also by const readers: the table belongs to one thread.
    mutable std::vector<TrackFacts> facts_;  // by container row
    std::unique_ptr<TrackFactsSource> source_;
    std::vector<std::uint8_t> selected_;  // by container row
    std::size_t selectedCount_ = 0;
    std::vector<std::uint32_t> ranked_;  // every container row, in the chosen order
    std::vector<std::uint32_t> shown_;   // the rows of ranked_ that the filter keeps
    std::string filter_;
    int sortColumn_ = 0;
    SortOrder order_ = SortOrder::kContainer;
};

}  // namespace fogbell
