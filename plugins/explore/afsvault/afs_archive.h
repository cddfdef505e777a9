// AFS archive: a simple archive of named files, all numbers little-endian u32.
//
//   offset        width   field
//   0             4       magic "AFS\0"
//   4             4       member count N
//   8             8 x N   per member: offset from the archive's first byte, size in bytes
//   8 + 8N        4       name-table offset, used when the preferred word below is 0
//   8 + 8N + 4    4       name-table size (not read)
//   offset0 - 8   4       name-table offset, preferred when not 0 (offset0 = member 0's offset)
//
// Name table: N entries of 48 bytes in member order: name (32 bytes, NUL-terminated when
// shorter), year, month, day, hour, minute, second (u16 each), 4 bytes not used.
//
// Every member is listed and found under a name of its own (unique_names.h): its stored name, or
// where that repeats an earlier one or is empty, a new one; the stand-in for an unusable name
// is the name an archive without a name table gives the member ("00012.adx", StandInName).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mapped_file.h"
#include "member_room.h"
#include "rebuilt_container.h"
#include "unique_names.h"

namespace fogbell::afs {

inline constexpr std::uint32_t kHeaderSize = 8;
inline constexpr std::uint32_t kPairSize = 8;
inline constexpr std::uint32_t kNameEntrySize = 48;
inline constexpr std::size_t kNameLength = 32;
inline constexpr std::uint32_t kDateOffset = 32;
inline constexpr int kDateFields = 6;
// Room of a member that must never be replaced: its bytes or its room lie outside the archive
// or over a neighbour, the header or the name table.
inline constexpr std::int64_t kNoRoom = plugin::kNoRoom;

struct Entry {
    std::uint8_t* table = nullptr;  // the member's offset/size pair inside the archive
    std::uint32_t offset = 0;       // as read at load: replacements never move a member
    // The stored name (cut at its first NUL), or the generated name without a name table.
    char name[kNameLength + 1] = {};
    std::uint16_t date[kDateFields] = {};
    std::int64_t room = kNoRoom;
    std::uint8_t* nameEntry = nullptr;  // its 48-byte name entry; null without a name table

    // The size field of the offset table, read at each use (replacements rewrite it).
    std::uint32_t Size() const;
    // True when the member's bytes lie inside an archive of length bytes, checked at each use.
    bool InsideOf(std::uint32_t length) const;
};

struct Archive {
    std::uint8_t* base = nullptr;
    std::uint32_t length = 0;
    bool hasNameTable = false;
    std::uint32_t nameTableOffset = 0;
    std::vector<Entry> entries;
    plugin::UniqueNames names;  // the listed names and their index
};

// The name member i is listed and found under.
const char* ListedName(const Archive& archive, std::size_t i);

// The name member i has in the archive's name table, cut at its first NUL (the generated name
// of an archive without a name table); the 48 bytes of its name entry are at Entry::nameEntry.
inline const char* StoredName(const Archive& archive, std::size_t i) {
    return archive.entries[i].name;
}

enum class Status { kOk, kNotAfs, kEmpty, kTruncated, kTableOutside };

// The user-facing text of a failed parse.
const char* StatusText(Status status);

// Reads the archive of length bytes at base into archive, checking every field against the
// length. Members that lie outside the archive stay listed; InsideOf tells them apart.
// Without a usable name table the members get generated names ("00012.adx").
Status Parse(std::uint8_t* base, std::uint32_t length, Archive& archive);

// The entry whose listed name equals name without regard to case, or null.
Entry* FindEntry(Archive& archive, const char* name);

// The name of member i of an archive without a name table, and the stand-in for an unusable
// stored name: its number and the kind its bytes show ("00012.adx").
std::string StandInName(const Archive& archive, std::size_t i);

// Extension (without the dot) that the first bytes of a member suggest; "bin" when unknown.
const char* GuessExtension(const std::uint8_t* data, std::uint32_t size);

// Sets every entry's room from the archive's tables as they are now. Sizes change with each
// replacement (an empty member may grow), so rooms are set afresh before each one.
void RefreshRooms(Archive& archive);

// Overwrites the entry's bytes with length bytes of data (which must fit its room, as
// RefreshRooms set it), sets its size in the offset table and stamps its name entry with the
// local time, as one journalled write (journal.h; file: the archive's mapped file, or null for
// a caller's memory). False with a text when the write could not be made safely.
bool Replace(Archive& archive, Entry& entry, const std::uint8_t* data, std::uint32_t length,
             plugin::MappedFile* file);

// Year, month, day, hour, minute and second, as a name entry stores them.
using Date = std::array<std::uint16_t, kDateFields>;

// The local time now, as a replacement stamps a member's name entry.
Date LocalDate();

// Members are realigned to at most this: the sector size archives are laid out for.
inline constexpr std::uint32_t kLargestAlignment = 2048;

// The archive's alignment: the largest power of two up to kLargestAlignment that divides member
// 0's offset and the offset of every member holding bytes.
std::uint32_t Alignment(const Archive& archive);

// Lays out in out a new archive equal to archive but with entry (one of its entries) holding
// the length bytes at data and its name entry stamped with date (layout above). out borrows
// archive's bytes and data. False with a text in error when the archive cannot be rebuilt: a
// member lies outside it, member 0 starts inside the tables, or the result would pass 32-bit
// offsets.
bool Rebuild(const Archive& archive, const Entry& entry, const std::uint8_t* data,
             std::uint32_t length, const Date& date, plugin::RebuiltContainer& out,
             std::string& error);
// As above, with every member that members marks replaced holding its new bytes and stamped
// with date, in one pass (members: one per entry).
bool Rebuild(const Archive& archive, const plugin::NewMembers& members, const Date& date,
             plugin::RebuiltContainer& out, std::string& error);

}  // namespace fogbell::afs
