// AFS archives as layouts (a description a user may edit) and archives packed from a layout and
// member files (layout of the archive in afs_archive.h).
//
// A layout records what a recomputed archive would not reproduce: the alignment, each member's
// offset (gaps included) and size, stored name and date, where the name table sits, which
// pointer names it and the size its pointers give when not 48 per member ("size", and
// "sizeAfter" for the pair after the offset table when the two differ), the length of what
// follows the last member or name table (tail), the last four bytes of each name entry
// ("nameEnds": absent when all are zero, "sizes" when each holds its member's size, as
// archives commonly have it, else one number per member), and every byte other than zero that
// a pack writes as filler: gaps, the tail, the pointer slot the archive does not use, a name
// entry's bytes after its name ("bytes", filler_runs.h). A pack places each member at its
// recorded offset when that lies at or after the end of the member before it, else at the next
// multiple of the alignment after it (a member that grew moves the ones after it); a member
// without bytes keeps its recorded offset. The name table follows the same rule after the last
// member. Only an archive whose members lie in table order, apart, after the tables, packs back
// byte for byte; its layout says whether it does ("exact"). A pack without a layout names each
// member after its file, with the file's date and its size in the entry's last four bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "afs_archive.h"
#include "filler_runs.h"
#include "json_reader.h"
#include "packed_files.h"
#include "rebuilt_container.h"

namespace fogbell::afs {

struct PackLayout {
    enum class Pointer { kBeforeFirstMember, kAfterOffsetTable, kBoth };
    // The last four bytes of each name entry: zero, the member's size, or as listed.
    enum class NameEnds { kZero, kSizes, kListed };
    struct Member {
        std::string name;  // the stored name (without a name table: none)
        std::uint32_t offset = 0;
        std::optional<std::uint32_t> size;  // as recorded (needed with runs)
        Date date{};
        std::uint32_t nameEnd = 0;  // NameEnds::kListed
    };
    std::uint32_t alignment = kLargestAlignment;
    bool hasNameTable = true;
    bool placed = true;  // false: offsets are computed (a plain layout)
    std::uint32_t nameTableOffset = 0;
    Pointer pointer = Pointer::kBeforeFirstMember;
    std::optional<std::uint32_t> nameTableSize;  // the pointers' size word when not 48 N
    // The size word of the pair after the offset table when both pairs name the table and it
    // differs from the other's.
    std::optional<std::uint32_t> nameTableSizeAfter;
    NameEnds nameEnds = NameEnds::kZero;
    std::uint32_t tail = 0;
    std::vector<Member> members;
    plugin::ByteRuns runs;
    bool runsComplete = true;  // false: the filler passed what a layout keeps
};

// The layout of a parsed archive; false with a text when a member lies outside the archive.
bool LayoutOf(const Archive& archive, PackLayout& layout, std::string& error);

// The layout as a JSON object text; exact says whether it packs the archive back byte for byte.
std::string LayoutText(const PackLayout& layout, bool exact);

// The layout from a JSON value (a layout text, maybe edited) for count member files; false with
// a text naming the field at fault.
bool ReadLayout(const json::Value& value, std::size_t count, PackLayout& layout,
                std::string& error);

// A plain layout of the files at paths: their file names as stored names, their modification
// dates, 2048-byte alignment, the name table after the last member. False with a text for a
// name longer than a name entry holds.
bool PlainLayout(const char* const* paths, std::uint32_t count, PackLayout& layout,
                 std::string& error);

// Lays out in out the archive of layout holding the member files (one per layout member, in
// order); out borrows their bytes and fill blocks that fills keeps (both must outlive out's
// writing). False with a text when it would pass 32-bit offsets.
bool Pack(const PackLayout& layout, const std::vector<plugin::PackedFile>& files,
          plugin::FillBlocks& fills, plugin::RebuiltContainer& out, std::string& error);

// True when packing the archive's own members with its layout gives the archive byte for byte.
bool PacksExactly(const Archive& archive, const PackLayout& layout);

}  // namespace fogbell::afs
