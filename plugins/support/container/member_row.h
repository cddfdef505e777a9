// Layouts and packs of the containers that are a row of members behind a table: a 4-byte
// magic, the member count, one entry per member (offset, size, and for some kinds a word of
// their own), the members, the bytes after the last one (tail), and for some kinds a block of
// fixed-size name fields at the very end.
//
// A layout records each member's offset and size, each entry's own word and name, the tail's
// length, the alignment, and every byte other than zero in the gaps, the tail and the name
// fields after their names (filler_runs.h). A pack places each member at its recorded offset
// when that lies at or after the end of the member before it, else at the next multiple of the
// alignment after it; a member without bytes keeps its recorded offset. Only a container whose
// members lie in table order, apart, packs back byte for byte; its layout says whether it does.
//
// Layouts written before runs were kept give a gap's filler as one byte and its count at the
// gap's start ("fill", "fillLength") and the tail's as one byte ("tailFill"); they still pack
// as they did. A layout gives its filler one way or the other, not both.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "container_explorer.h"
#include "filler_runs.h"
#include "json_reader.h"
#include "packed_files.h"
#include "rebuilt_container.h"

namespace fogbell::plugin {

// What sets one kind of row container apart.
struct RowFormat {
    const char* name;  // "format" of its layouts: "pac"
    std::array<std::uint8_t, 4> magic;
    std::uint32_t entrySize;      // 8 (offset, size) or 12 (offset, size, word)
    std::uint32_t nameFieldSize;  // size of each name field at the end; 0: no names
    // What the kind's extraction writes for an empty track (null: its bytes, none): a file
    // holding just this, for a member a layout records as empty, packs empty again.
    const char* emptyText = nullptr;
};

struct RowLayout {
    struct Member {
        std::uint32_t offset = 0;
        std::optional<std::uint32_t> size;  // as recorded (needed with runs)
        std::uint8_t fill = 0;  // the gap before it: fillLength bytes of fill, then zeros
        std::uint32_t fillLength = 0;
        std::uint32_t word = 0;  // the entry's own word (entrySize 12)
        std::string name;        // stored name (nameFieldSize != 0)
    };
    std::uint32_t alignment = 16;
    std::uint32_t tail = 0;
    std::uint8_t tailFill = 0;
    bool placed = true;  // false: offsets are computed
    std::vector<Member> members;
    ByteRuns runs;
    bool runsComplete = true;  // false: the filler passed what a layout keeps
};

// The layout of the container of length bytes at base whose table is read as format says;
// false with a text when a member lies outside it or over the table.
bool RowLayoutOf(const RowFormat& format, const std::uint8_t* base, std::uint32_t length,
                 RowLayout& layout, std::string& error);

std::string RowLayoutText(const RowFormat& format, const RowLayout& layout, bool exact);

// The layout from a JSON value for count member files; false with a text naming the field.
bool ReadRowLayout(const RowFormat& format, const json::Value& value, std::size_t count,
                   RowLayout& layout, std::string& error);

// Lays out in out the container of the layout holding the files; out borrows their bytes, the
// layout's runs and fill blocks that fills keeps (all must outlive out's writing). False with a
// text when it would pass 32-bit offsets.
bool PackRow(const RowFormat& format, const RowLayout& layout, const std::vector<PackedFile>& files,
             FillBlocks& fills, RebuiltContainer& out, std::string& error);

// True when packing the container's own members with its layout gives it back byte for byte.
bool RowPacksExactly(const RowFormat& format, const std::uint8_t* base, std::uint32_t length,
                     const RowLayout& layout);

// fnGetLayout and fnPackFiles of a row container kind (plain layouts: the files' names, when
// the kind has names, members back to back at the alignment).
const char* RowLayoutEntry(const RowFormat& format, const std::uint8_t* base, std::uint32_t length);
std::int32_t RowPackEntry(const RowFormat& format, const char* layout, const char* const* paths,
                          std::uint32_t count, const char* outPath);

// fnGetLayout of a row container kind whose explorer (container_explorer.h) keeps the
// container's base and length.
template <class Vault>
const char* RowLayoutOfHandle(const RowFormat& format, std::int32_t handle) {
    return Guarded<const char*>(nullptr, [&]() -> const char* {
        auto* record = Vault::Begin(handle);
        if (record == nullptr || !CheckMappedFileIntact(record->file)) {
            return nullptr;
        }
        return RowLayoutEntry(format, record->container.base, record->container.length);
    });
}

// A container explorer (container_explorer.h) whose layouts and packs are those of a row of
// members in kFormat: the Layout and Pack of its export block (explorer_exports.h).
template <class Explorer, const RowFormat& kFormat>
struct RowPacked : Explorer {
    static const char* Layout(std::int32_t handle) {
        return RowLayoutOfHandle<Explorer>(kFormat, handle);
    }
    static std::int32_t Pack(const char* layout, const char* const* paths, std::uint32_t count,
                             const char* outPath) {
        return RowPackEntry(kFormat, layout, paths, count, outPath);
    }
};

}  // namespace fogbell::plugin
