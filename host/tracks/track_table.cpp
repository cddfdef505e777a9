#include "host/tracks/track_table.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "text/ascii_text.h"

namespace fogbell {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the run of digits that starts at i.
std::size_t DigitsEnd(std::string_view text, std::size_t i) {
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i;
}

// Compares the numbers of two runs of digits by value: leading zeros are skipped, then the
// longer run is the larger number, then the digits decide. Any length, no overflow.
int CompareDigitRuns(std::string_view a, std::size_t ai, std::size_t aEnd, std::string_view b,
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
std::tuple<bool, std::uint32_t> LengthKey(const TrackFacts& facts) {
    return {facts.hasLength, facts.length};
}

// Rows without a duration first, then by the duration.
std::tuple<bool, std::uint32_t> TimeKey(const TrackFacts& facts) {
    return {facts.hasDuration, facts.milliseconds};
}

// Audio rows by rate, then channels; rows that are not audio first. Rows equal so go by their
// cell's text: "" before ".." before "Unsupported", and a format before "Unknown".
std::tuple<bool, std::uint32_t, std::uint16_t, int> BitrateKey(const TrackFacts& facts) {
    int text = 0;
    if (facts.kind == TrackKind::kAudio) {
        text = facts.hasFormat ? 0 : 1;
    } else if (facts.hasBytes && facts.kind != TrackKind::kUnknown) {
        text = facts.kind == TrackKind::kContainer ? 1 : 2;
    }
    return {facts.kind == TrackKind::kAudio, facts.rate, facts.channels, text};
}

}  // namespace

int CompareNatural(std::string_view a, std::string_view b) {
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
        const auto x = static_cast<unsigned char>(ToLowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(ToLowerAscii(b[j]));
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

bool ContainsFolded(std::string_view name, std::string_view text) {
    const auto match =
        std::search(name.begin(), name.end(), text.begin(), text.end(),
                    [](char x, char y) { return ToLowerAscii(x) == ToLowerAscii(y); });
    return match != name.end() || text.empty();
}

void TrackTable::Reset(std::vector<TrackRow> rows) {
    PackedNames names;
    std::size_t bytes = 0;
    for (const TrackRow& row : rows) {
        bytes += row.name.size();
    }
    names.Reserve(rows.size(), bytes);
    for (const TrackRow& row : rows) {
        names.Add(row.name);
    }
    Take(std::move(names), nullptr);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        facts_[i] = FactsOf(rows[i]);
    }
    Arrange();
}

void TrackTable::Reset(PackedNames names, std::unique_ptr<TrackFactsSource> source) {
    Take(std::move(names), std::move(source));
    Arrange();
}

void TrackTable::Take(PackedNames names, std::unique_ptr<TrackFactsSource> source) {
    names_ = std::move(names);
    source_ = std::move(source);
    facts_.assign(names_.Size(), TrackFacts{});
    selected_.assign(names_.Size(), 0);
    selectedCount_ = 0;
}

const TrackFacts& TrackTable::Facts(std::size_t containerRow, bool describe) const {
    TrackFacts& facts = facts_[containerRow];
    const bool wanted = !facts.lengthRead || (describe && !facts.described);
    if (wanted && source_) {
        const std::string name(names_[containerRow]);
        if (!facts.lengthRead) {
            source_->ReadLength(name, facts);
            facts.lengthRead = true;
        }
        if (describe && !facts.described) {
            source_->Describe(name, facts);
            facts.described = true;
        }
    }
    return facts;
}

std::string TrackTable::CellText(std::size_t shownRow, int column) const {
    const std::size_t row = shown_[shownRow];
    switch (column) {
        case kColumnLength:
            return LengthText(Facts(row, false));
        case kColumnBitrate:
            return BitrateText(Facts(row, true));
        case kColumnTime:
            return DurationText(Facts(row, true));
        default:
            return std::string(names_[row]);
    }
}

TrackRow TrackTable::Row(std::size_t containerRow) const {
    return MakeTrackRow(std::string(names_[containerRow]), Facts(containerRow, true));
}

long TrackTable::FindShown(std::string_view name) const {
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        if (names_[shown_[i]] == name) {
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
            names.emplace_back(names_[row]);
        }
    }
    return names;
}

std::optional<std::string_view> TrackTable::FirstSelectedName() const {
    if (selectedCount_ == 0) {
        return std::nullopt;
    }
    for (std::uint32_t row : shown_) {
        if (selected_[row] != 0) {
            return names_[row];
        }
    }
    return std::nullopt;
}

std::vector<std::string> TrackTable::ShownNames() const {
    std::vector<std::string> names;
    names.reserve(shown_.size());
    for (std::uint32_t row : shown_) {
        names.emplace_back(names_[row]);
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
        Sort(column,
             order_ == SortOrder::kAscending ? SortOrder::kDescending : SortOrder::kContainer);
    }
}

void TrackTable::Arrange() {
    ranked_.resize(names_.Size());
    std::iota(ranked_.begin(), ranked_.end(), 0u);
    if (order_ != SortOrder::kContainer) {
        if (sortColumn_ != kColumnName) {
            // Every row's numbers, before the first comparison.
            for (std::size_t row = 0; row < facts_.size(); ++row) {
                Facts(row, sortColumn_ != kColumnLength);
            }
        }
        // Stable: rows that compare equal keep the container's order, whichever the direction.
        const auto ascending = [this](std::uint32_t x, std::uint32_t y) {
            switch (sortColumn_) {
                case kColumnLength:
                    return LengthKey(facts_[x]) < LengthKey(facts_[y]);
                case kColumnBitrate:
                    return BitrateKey(facts_[x]) < BitrateKey(facts_[y]);
                case kColumnTime:
                    return TimeKey(facts_[x]) < TimeKey(facts_[y]);
                default:
                    return CompareNatural(names_[x], names_[y]) < 0;
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
        if (ContainsFolded(names_[row], filter_)) {
            shown_.push_back(row);
        } else if (selected_[row] != 0) {
            selected_[row] = 0;
            --selectedCount_;
        }
    }
}

}  // namespace fogbell
