// AFS archives as layouts (a description a user may edit) and archives packed from a layout and
// member files (layout of the archive in afs_archive.h).
//
// A layout records what a recomputed archive would not reproduce: the alignment, each member's
// offset (gaps included), stored name and date, where the name table sits and which pointer
// names it, and the zero bytes after the last member or name table (tail). A pack places each
// member at its recorded offset when that lies at or after the end of the member before it,
// else at the next multiple of the alignment after it (a member that grew moves the ones after
// it); a member without bytes keeps its recorded offset. The name table follows the same rule
// after the last member. Every byte that no field, member or name entry holds is zero: an
// archive with other bytes there cannot be packed back byte for byte, and its layout says so
// ("exact": false).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afs_archive.h"
#include "json_reader.h"
#include "packed_files.h"
#include "rebuilt_container.h"

namespace fogbell::afs {

struct PackLayout {
    enum class Pointer { kBeforeFirstMember, kAfterOffsetTable, kBoth };
    struct Member {
        std::string name;  // the stored name (without a name table: none)
        std::uint32_t offset = 0;
        Date date{};
    };
    std::uint32_t alignment = kLargestAlignment;
    bool hasNameTable = true;
    bool placed = true;  // false: offsets are computed (a plain layout)
    std::uint32_t nameTableOffset = 0;
    Pointer pointer = Pointer::kBeforeFirstMember;
    std::uint32_t tail = 0;
    std::vector<Member> members;
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
// order); out borrows their bytes. False with a text when it would pass 32-bit offsets.
bool Pack(const PackLayout& layout, const std::vector<plugin::PackedFile>& files,
          plugin::RebuiltContainer& out, std::string& error);

// True when packing the archive's own members with its layout gives the archive byte for byte.
bool PacksExactly(const Archive& archive, const PackLayout& layout);

}  // namespace fogbell::afs
