#include "host/core/track_table.h"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace fogbell {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The end of the run of digits that starts at i.
std::size_t DigitsEnd(const std::string& text, std::size_t i) {
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i;
}

// Compares the numbers of two runs of digits by value: leading zeros are skipped, then the
// longer run is the larger number, then the digits decide. Any length, no overflow.
int CompareDigitRuns(const std::string& a, std::size_t ai, std::size_t aEnd, const std::string& b,
                     std::size_t bi, std::size_t bEnd) {
    while (ai < aEnd && a[ai] == '0') {
        ++ai;
    }
    while (bi < bEnd && b[bi] == '0') {
        ++bi;
    }
    if (aEnd - ai != bEnd - bi) {
        return aEnd - ai < bEnd - bi ? -1 : 1;
    }
    for (; ai < aEnd; ++ai, ++bi) {
        if (a[ai] != b[bi]) {
            return a[ai] < b[bi] ? -1 : 1;
        }
    }
    return 0;
}

// The numbers a row sorts by in a numeric column: rows without a value come first.
std::tuple<bool, std::uint32_t> LengthKey(const TrackRow& row) {
    return {row.lengthValue.has_value(), row.lengthValue.value_or(0)};
}
std::tuple<bool, std::uint32_t, std::uint32_t> BitrateKey(const TrackRow& row) {
    return {row.kind == TrackKind::kAudio, row.rate, row.channels};
}

}  // namespace

int CompareNatural(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const std::size_t iEnd = DigitsEnd(a, i);
            const std::size_t jEnd = DigitsEnd(b, j);
            if (const int order = CompareDigitRuns(a, i, iEnd, b, j, jEnd); order != 0) {
                return order;
            }
            i = iEnd;
            j = jEnd;
            continue;
        }
        const auto x = static_cast<unsigned char>(Folded(a[i]));
        const auto y = static_cast<unsigned char>(Folded(b[j]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) {
        return i < a.size() ? 1 : -1;
    }
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

bool ContainsFolded(const std::string& name, const std::string& text) {
    const auto match = std::search(name.begin(), name.end(), text.begin(), text.end(),
                                   [](char x, char y) { return Folded(x) == Folded(y); });
    return match != name.end() || text.empty();
}

void TrackTable::Reset(std::vector<TrackRow> rows) {
    rows_ = std::move(rows);
    selected_.assign(rows_.size(), 0);
    selectedCount_ = 0;
    Arrange();
}

long TrackTable::FindShown(const std::string& name) const {
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        if (rows_[shown_[i]].name == name) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

void TrackTable::SetSelected(std::size_t shownRow, bool selected) {
    std::uint8_t& bit = selected_[shown_[shownRow]];
    if ((bit != 0) != selected) {
        bit = selected ? 1 : 0;
        selected ? ++selectedCount_ : --selectedCount_;
    }
}

void TrackTable::SelectAll() {
    for (std::uint32_t row : shown_) {
        selected_[row] = 1;
    }
    selectedCount_ = shown_.size();  // hidden rows are never selected
}

void TrackTable::ClearSelection() {
    std::fill(selected_.begin(), selected_.end(), 0);
    selectedCount_ = 0;
}

std::vector<std::string> TrackTable::SelectedNames() const {
    std::vector<std::string> names;
    names.reserve(selectedCount_);
    for (std::uint32_t row : shown_) {
        if (selected_[row] != 0) {
            names.push_back(rows_[row].name);
        }
    }
    return names;
}

std::vector<std::string> TrackTable::ShownNames() const {
    std::vector<std::string> names;
    names.reserve(shown_.size());
    for (std::uint32_t row : shown_) {
        names.push_back(rows_[row].name);
    }
    return names;
}

void TrackTable::SetFilter(const std::string& text) {
    filter_ = text;
    ApplyFilter();
}

void TrackTable::Sort(int column, SortOrder order) {
    sortColumn_ = column;
    order_ = order;
    Arrange();
}

void TrackTable::CycleSort(int column) {
    if (column != sortColumn_ || order_ == SortOrder::kContainer) {
        Sort(column, SortOrder::kAscending);
    } else {
        Sort(column, order_ == SortOrder::kAscending ? SortOrder::kDescending
                                                     : SortOrder::kContainer);
    }
}

void TrackTable::Arrange() {
    ranked_.resize(rows_.size());
    std::iota(ranked_.begin(), ranked_.end(), 0u);
    if (order_ != SortOrder::kContainer) {
        // Stable: rows that compare equal keep the container's order, whichever the direction.
        const auto ascending = [this](std::uint32_t x, std::uint32_t y) {
            const TrackRow& a = rows_[x];
            const TrackRow& b = rows_[y];
            switch (sortColumn_) {
                case kColumnLength:
                    return LengthKey(a) < LengthKey(b);
                case kColumnBitrate:
                    return BitrateKey(a) < BitrateKey(b) ||
                           (BitrateKey(a) == BitrateKey(b) && a.bitrate < b.bitrate);
                default:
                    return CompareNatural(a.name, b.name) < 0;
            }
        };
        if (order_ == SortOrder::kAscending) {
            std::stable_sort(ranked_.begin(), ranked_.end(), ascending);
        } else {
            std::stable_sort(ranked_.begin(), ranked_.end(),
                             [&](std::uint32_t x, std::uint32_t y) { return ascending(y, x); });
        }
    }
    ApplyFilter();
}

void TrackTable::ApplyFilter() {
    shown_.clear();
    if (filter_.empty()) {
        shown_ = ranked_;
        return;
    }
    for (std::uint32_t row : ranked_) {
        if (ContainsFolded(rows_[row].name, filter_)) {
            shown_.push_back(row);
        } else if (selected_[row] != 0) {
            selected_[row] = 0;
            --selectedCount_;
        }
    }
}

}  // namespace fogbell
