// Where a container's members may be rewritten in place without touching anything else.
//
// Explorers that replace a member in place write from the member's first byte onwards. In a
// well-formed container that never reaches another member, the header or the tables; in a
// damaged one the table may place members over each other or over the container's own
// structures. MemberLimits tells, for each member, how far a write may go.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace fogbell::plugin {

// Limit of a member that must never be written: it starts past the container's end, inside a
// guarded range, or at the same byte as another member that holds bytes.
inline constexpr std::int64_t kNoRoom = -1;

// Bytes [begin, end) of the container that no replacement may write (header, tables, names).
struct ByteRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// Where a member lies, as the container's table gives it when the container is opened.
struct MemberPlace {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// For each member, the number of bytes from its offset that a write may cover: up to the first
// byte of the next member that holds bytes, the next guarded range or the container's end,
// whichever comes first. kNoRoom for a member that may not be written at all: it starts past
// the container's end, inside a guarded range, or on a byte that another member holding bytes
// covers (its twin at the same offset included, whether this member holds bytes or not; a
// member whose bytes run past the container's end covers only its first byte).
// Members of size 0 hold no bytes and are no obstacle to others. Sizes change by replacement
// (an empty member may grow), so callers compute the limits from the current sizes at each
// replacement.
inline std::vector<std::int64_t> MemberLimits(const std::vector<MemberPlace>& members,
                                              const std::vector<ByteRange>& guarded,
                                              std::uint32_t length) {
    // First bytes of everything a write must stop at.
    std::vector<std::uint64_t> obstacles;
    // The members that hold bytes, by first byte, with the furthest end reached so far: a byte
    // lies inside one of them when some member starting at or before it ends after it.
    struct Span {
        std::uint64_t begin;
        std::uint64_t end;
    };
    std::vector<Span> filled;
    for (const MemberPlace& member : members) {
        if (member.size != 0) {
            obstacles.push_back(member.offset);
            // A member whose bytes run past the end can never be read: it covers nothing, and
            // only its first byte stops the others.
            const std::uint64_t end = std::uint64_t{member.offset} + member.size;
            filled.push_back(
                {member.offset, end <= length ? end : member.offset + std::uint64_t{1}});
        }
    }
    for (const ByteRange& range : guarded) {
        if (range.end > range.begin) {
            obstacles.push_back(range.begin);
        }
    }
    std::sort(obstacles.begin(), obstacles.end());
    std::sort(filled.begin(), filled.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    std::vector<std::uint64_t> furthestEnd(filled.size());
    std::uint64_t furthest = 0;
    for (std::size_t i = 0; i < filled.size(); ++i) {
        furthest = std::max(furthest, filled[i].end);
        furthestEnd[i] = furthest;
    }
    const auto startsBefore = [&](std::uint64_t offset) {  // filled members beginning < offset
        return static_cast<std::size_t>(
            std::lower_bound(filled.begin(), filled.end(), offset,
                             [](const Span& s, std::uint64_t o) { return s.begin < o; }) -
            filled.begin());
    };

    std::vector<std::int64_t> limits;
    limits.reserve(members.size());
    for (const MemberPlace& member : members) {
        const std::uint64_t offset = member.offset;
        const bool inGuarded = std::any_of(guarded.begin(), guarded.end(), [&](const ByteRange& r) {
            return offset >= r.begin && offset < r.end;
        });
        const std::size_t before = startsBefore(offset);
        const std::size_t atOrBefore = startsBefore(offset + 1);
        const bool insideEarlier = before > 0 && furthestEnd[before - 1] > offset;
        // Members holding bytes that start on this very byte, this one not counted.
        const std::size_t twins = atOrBefore - before - (member.size != 0 ? 1 : 0);
        if (offset > length || inGuarded || insideEarlier || twins > 0) {
            limits.push_back(kNoRoom);
            continue;
        }
        std::uint64_t limit = length - offset;
        const auto next = std::upper_bound(obstacles.begin(), obstacles.end(), offset);
        if (next != obstacles.end()) {
            limit = std::min(limit, *next - offset);
        }
        limits.push_back(static_cast<std::int64_t>(limit));
    }
    return limits;
}

// True when [offset, offset + size) lies inside a container of length bytes.
inline bool InsideContainer(std::uint64_t offset, std::uint64_t size, std::uint32_t length) {
    return offset <= length && size <= length - offset;
}

}  // namespace fogbell::plugin
