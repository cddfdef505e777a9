// The bytes a container holds where its pack writes filler of its own: the gaps between its
// tables and members, its tail, the unused ends of fixed-size fields. A pack writes zeros there;
// a layout keeps what else the container holds as runs, so that a pack gives it back byte for
// byte:
//
//   "bytes": [[offset, length, "hex"], ...]
//
// offset and length in bytes of the container the layout describes; "hex" is either the length
// bytes themselves or one byte that repeats length times, so that a megabyte of 0xFF filler
// takes one short run. Runs are sorted, apart from each other and lie wholly in filler.
//
// What a pack lays out is described as spans: stretches it writes with content of its own (a
// member's bytes, a table, a name), each with a key that names the same span in every pack of
// one layout. Filler is everything between spans. A run belongs to the filler after the span
// before it: when a member grows or shrinks, the runs after it move with the end of the span
// they follow and are cut where the next span now starts (or dropped when their span holds no
// bytes any more).
//
// The layout is user-editable input: counts, offsets and hexadecimal digits are checked, and a
// layout keeps at most kMaxRuns runs and kMaxRunBytes bytes written out in full; a container
// with more odd filler than that is described without it (and cannot be packed back exactly).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "json_reader.h"
#include "rebuilt_container.h"

namespace fogbell::plugin {

inline constexpr std::size_t kMaxRuns = 65536;
inline constexpr std::size_t kMaxRunBytes = 1u << 20;

struct ByteRun {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::vector<std::uint8_t> bytes;  // length bytes, or one byte that repeats length times
};
using ByteRuns = std::vector<ByteRun>;

struct Span {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::uint64_t key = 0;
};

// The spans of one laid-out container, sorted and apart, and the container's length.
struct SpanMap {
    std::vector<Span> spans;
    std::uint64_t end = 0;

    // Appends a span after the last one (empty spans are left out).
    void Add(std::uint64_t start, std::uint64_t size, std::uint64_t key);
};

// Blocks of one repeated byte that fill pieces borrow (one per value, made on first use): they
// must outlive the writing of the container that borrows them.
struct FillBlocks {
    std::array<std::vector<std::uint8_t>, 256> blocks;
};

// Appends size bytes of fill: zeros without memory, other bytes borrowed from fills.
void AddFill(RebuiltContainer& out, std::uint64_t size, std::uint8_t fill, FillBlocks& fills);

// The runs of the bytes other than zero in the filler of map over the length bytes at base.
// False when they pass kMaxRuns or kMaxRunBytes.
bool FindRuns(const std::uint8_t* base, std::uint64_t length, const SpanMap& map, ByteRuns& runs);

// The runs as the JSON array text of the "bytes" field.
std::string RunsText(const ByteRuns& runs);

// The "bytes" field of a layout object (absent or null: no runs), every run checked as above
// except against filler; false with a text naming the run at fault.
bool ReadRuns(const json::Value& layout, ByteRuns& runs, std::string& error);

// True when every run lies in the filler of recorded (the layout's own container); false with a
// text naming the run and the span it meets (named by name(key)) or the container's end.
bool CheckRunsInFiller(const ByteRuns& runs, const SpanMap& recorded,
                       const std::function<std::string(std::uint64_t)>& name, std::string& error);

// The runs of recorded moved into packed (the same layout with members of other sizes), as
// described above.
ByteRuns MoveRuns(const ByteRuns& runs, const SpanMap& recorded, const SpanMap& packed);

// in with the runs written over its filler; out borrows what in borrows, and fills.
// False when a run meets a piece that is not filler of the pack's own (zeros or its own
// bytes), which runs checked and moved as above never do.
bool OverlayRuns(const RebuiltContainer& in, const ByteRuns& runs, FillBlocks& fills,
                 RebuiltContainer& out);

}  // namespace fogbell::plugin
