// Where a container's members may be rewritten in place without touching anything else.
//
// Explorers that replace a member in place write from the member's first byte onwards. In a
// well-formed container that never reaches another member, the header or the tables; in a
// damaged one the table may place members over each other or over the container's own
// structures. MemberLimits tells, for each member, how far a write may go.
#pragma once

#include <algorithm>
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
// whichever comes first; kNoRoom for a member that may not be written at all. Members of size 0
// hold no bytes and are no obstacle to others. Sizes only ever shrink by replacement, so limits
// computed from the sizes at opening stay safe.
inline std::vector<std::int64_t> MemberLimits(const std::vector<MemberPlace>& members,
                                              const std::vector<ByteRange>& guarded,
                                              std::uint32_t length) {
    // First bytes of everything a write must stop at, and of members that hold bytes.
    std::vector<std::uint64_t> obstacles;
    std::vector<std::uint64_t> filledStarts;
    for (const MemberPlace& member : members) {
        if (member.size != 0) {
            obstacles.push_back(member.offset);
            filledStarts.push_back(member.offset);
        }
    }
    for (const ByteRange& range : guarded) {
        if (range.end > range.begin) {
            obstacles.push_back(range.begin);
        }
    }
    std::sort(obstacles.begin(), obstacles.end());
    std::sort(filledStarts.begin(), filledStarts.end());

    std::vector<std::int64_t> limits;
    limits.reserve(members.size());
    for (const MemberPlace& member : members) {
        const std::uint64_t offset = member.offset;
        const bool inGuarded = std::any_of(guarded.begin(), guarded.end(), [&](const ByteRange& r) {
            return offset >= r.begin && offset < r.end;
        });
        const auto same = std::equal_range(filledStarts.begin(), filledStarts.end(), offset);
        const auto sharing = same.second - same.first - (member.size != 0 ? 1 : 0);
        if (offset > length || inGuarded || (member.size != 0 && sharing > 0)) {
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
