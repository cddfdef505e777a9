// The track list's rows, kept once by the core: every track of the container shown, in the
// container's order, which of them are selected, and which are shown (those whose name holds the
// filter text) in the order chosen by a column. The window's list is a view of this table; the
// track commands take their names from it.
//
// Rows are addressed two ways: a shown row is a position in the list as it is drawn (after the
// filter and the sort); a container row is the track's place in the container (the command
// line's #N is that place plus one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/core/track_listing.h"

namespace fogbell {

// Column indexes of the track list.
inline constexpr int kColumnName = 0;
inline constexpr int kColumnLength = 1;
inline constexpr int kColumnBitrate = 2;

enum class SortOrder { kContainer, kAscending, kDescending };

// Natural order of names: runs of digits compare by their value ("voice_2" before "voice_10"),
// letters without regard to ASCII case; names equal so compare by their bytes. Negative, 0 or
// positive like strcmp.
int CompareNatural(const std::string& a, const std::string& b);

// True when name holds text, ASCII letters compared without regard to case ("" is in every name).
bool ContainsFolded(const std::string& name, const std::string& text);

class TrackTable {
  public:
    // A new list: the rows in container order, nothing selected; the filter and the order stay.
    void Reset(std::vector<TrackRow> rows);
    void Clear() { Reset({}); }

    std::size_t TotalCount() const { return rows_.size(); }
    const std::vector<TrackRow>& Rows() const { return rows_; }  // container order
    std::size_t ShownCount() const { return shown_.size(); }
    const TrackRow& Shown(std::size_t shownRow) const { return rows_[shown_[shownRow]]; }
    std::size_t ContainerRow(std::size_t shownRow) const { return shown_[shownRow]; }
    // The shown row of the first track with this name, or -1 when none is shown.
    long FindShown(const std::string& name) const;

    // Selection, by shown row. Rows the filter hides are never selected.
    bool IsSelected(std::size_t shownRow) const { return selected_[shown_[shownRow]] != 0; }
    void SetSelected(std::size_t shownRow, bool selected);
    void SelectAll();
    void ClearSelection();
    std::size_t SelectedCount() const { return selectedCount_; }
    // The names of the shown, selected rows, in shown order.
    std::vector<std::string> SelectedNames() const;
    // The names of the shown rows, in shown order.
    std::vector<std::string> ShownNames() const;

    // Keeps the rows whose name holds text (ASCII case ignored); "" shows every row. Rows that
    // the filter hides lose their selection.
    void SetFilter(const std::string& text);
    const std::string& Filter() const { return filter_; }

    // Orders the shown rows by a column (kColumnName naturally, kColumnLength and kColumnBitrate
    // by their numbers); kContainer restores the container's order.
    void Sort(int column, SortOrder order);
    // A click on a column's header: ascending, then descending, then the container's order.
    void CycleSort(int column);
    int SortColumn() const { return sortColumn_; }
    SortOrder Order() const { return order_; }

  private:
    void Arrange();  // rebuilds ranked_ from the sort, then shown_
    void ApplyFilter();

    std::vector<TrackRow> rows_;
    std::vector<std::uint8_t> selected_;  // by container row
    std::size_t selectedCount_ = 0;
    std::vector<std::uint32_t> ranked_;  // every container row, in the chosen order
    std::vector<std::uint32_t> shown_;   // the rows of ranked_ that the filter keeps
    std::string filter_;
    int sortColumn_ = 0;
    SortOrder order_ = SortOrder::kContainer;
};

}  // namespace fogbell
