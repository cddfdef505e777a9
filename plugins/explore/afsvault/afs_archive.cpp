#include "afs_archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "byte_order.h"
#include "journal.h"
#include "member_room.h"

namespace fogbell::afs {
namespace {

using plugin::ReadU16BE;
using plugin::ReadU16LE;
using plugin::ReadU32LE;
using plugin::WriteU16LE;
using plugin::WriteU32LE;

constexpr std::uint8_t kMagic[4] = {'A', 'F', 'S', 0};
constexpr std::uint32_t kFallbackPointerSize = 8;  // name-table offset and size after the table

// The name-table offset: the preferred word before member 0, else the word after the offset
// table; 0 when neither is readable.
std::uint32_t FindNameTable(const std::uint8_t* base, std::uint32_t length, std::uint32_t count) {
    const std::uint32_t firstOffset = ReadU32LE(base + kHeaderSize);
    if (firstOffset >= kFallbackPointerSize &&
        plugin::InsideContainer(firstOffset - 8u, 4, length)) {
        const std::uint32_t preferred = ReadU32LE(base + firstOffset - 8u);
        if (preferred != 0) {
            return preferred;
        }
    }
    const std::uint64_t fallback = kHeaderSize + std::uint64_t{kPairSize} * count;
    return plugin::InsideContainer(fallback, 4, length) ? ReadU32LE(base + fallback) : 0;
}

bool IsAdx(const std::uint8_t* data, std::uint32_t size) {
    if (size < 4 || data[0] != 0x80) {
        return false;
    }
    const std::uint32_t headerOffset = ReadU16BE(data + 2);
    return headerOffset >= 2 && plugin::InsideContainer(headerOffset - 2u, 6, size) &&
           std::memcmp(data + headerOffset - 2, "(c)CRI", 6) == 0;
}

void ReadNameEntry(Entry& entry) {
    std::memcpy(entry.name, entry.nameEntry, kNameLength);
    entry.name[kNameLength] = '\0';
    for (int field = 0; field < kDateFields; ++field) {
        entry.date[field] = ReadU16LE(entry.nameEntry + kDateOffset + 2 * field);
    }
}

// Room as the archive's own layout gives it: up to the next member in table order, the last
// member up to the name table (or the archive's end when there is none).
std::int64_t LayoutRoom(const Archive& archive, std::size_t index) {
    const std::int64_t offset = archive.entries[index].offset;
    if (index + 1 < archive.entries.size()) {
        return std::int64_t{archive.entries[index + 1].offset} - offset;
    }
    const std::uint32_t end = archive.hasNameTable ? archive.nameTableOffset : archive.length;
    return std::int64_t{end} - offset;
}

// Fills every entry's room: the layout's room, cut so that a replacement can never run past the
// archive's end or into another member, the header, the name-table pointer before member 0 or
// the name table; refused (kNoRoom) for a member that starts inside one of those or shares its
// first byte with another member. A well-formed archive keeps the layout's rooms unchanged.
void ComputeRooms(Archive& archive) {
    const auto count = static_cast<std::uint64_t>(archive.entries.size());
    std::vector<plugin::ByteRange> guarded;
    guarded.push_back({0, kHeaderSize + kPairSize * count + kFallbackPointerSize});
    const std::uint32_t firstOffset = archive.entries.front().offset;
    if (firstOffset >= kFallbackPointerSize) {
        guarded.push_back({firstOffset - kFallbackPointerSize, firstOffset});
    }
    if (archive.hasNameTable) {
        guarded.push_back({archive.nameTableOffset,
                           archive.nameTableOffset + std::uint64_t{kNameEntrySize} * count});
    }
    std::vector<plugin::MemberPlace> places;
    places.reserve(archive.entries.size());
    for (const Entry& entry : archive.entries) {
        places.push_back({entry.offset, entry.Size()});
    }
    const std::vector<std::int64_t> limits = plugin::MemberLimits(places, guarded, archive.length);
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
        Entry& entry = archive.entries[i];
        const std::int64_t room = LayoutRoom(archive, i);
        const bool usable = entry.InsideOf(archive.length) && room >= 0 && limits[i] != kNoRoom;
        entry.room = usable ? std::min(room, limits[i]) : kNoRoom;
    }
}

}  // namespace

std::uint32_t Entry::Size() const {
    return ReadU32LE(table + 4);
}

bool Entry::InsideOf(std::uint32_t length) const {
    return plugin::InsideContainer(offset, Size(), length);
}

const char* StatusText(Status status) {
    switch (status) {
        case Status::kOk:
            return "OK";
        case Status::kNotAfs:
            return "Is not AFS file.";
        case Status::kEmpty:
            return "Is not AFS file, or file is empty";
        case Status::kTruncated:
            return "Damaged AFS file: the header is cut short.";
        case Status::kTableOutside:
            return "Damaged AFS file: the file table runs past the end of the file.";
    }
    return "Is not AFS file.";
}

Status Parse(std::uint8_t* base, std::uint32_t length, Archive& archive) {
    if (length < sizeof kMagic || std::memcmp(base, kMagic, sizeof kMagic) != 0) {
        return Status::kNotAfs;
    }
    if (length < kHeaderSize) {
        return Status::kTruncated;
    }
    const std::uint32_t count = ReadU32LE(base + 4);
    if (count == 0) {
        return Status::kEmpty;
    }
    if (!plugin::InsideContainer(kHeaderSize, std::uint64_t{kPairSize} * count, length)) {
        return Status::kTableOutside;
    }

    archive.base = base;
    archive.length = length;
    archive.nameTableOffset = FindNameTable(base, length, count);
    archive.hasNameTable = archive.nameTableOffset != 0 &&
                           plugin::InsideContainer(archive.nameTableOffset,
                                                   std::uint64_t{kNameEntrySize} * count, length);
    archive.entries.assign(count, Entry{});
    for (std::uint32_t i = 0; i < count; ++i) {
        Entry& entry = archive.entries[i];
        entry.table = base + kHeaderSize + std::size_t{kPairSize} * i;
        entry.offset = ReadU32LE(entry.table);
        if (archive.hasNameTable) {
            entry.nameEntry = base + archive.nameTableOffset + std::size_t{kNameEntrySize} * i;
            ReadNameEntry(entry);
        } else {
            const std::string generated = StandInName(archive, i);
            std::snprintf(entry.name, sizeof entry.name, "%s", generated.c_str());
        }
    }
    ComputeRooms(archive);
    archive.names.Assign(
        archive.entries.size(), [&](std::size_t i) { return archive.entries[i].name; },
        [&](std::size_t i) { return StandInName(archive, i); });
    return Status::kOk;
}

const char* ListedName(const Archive& archive, std::size_t i) {
    return archive.names.Name(i, archive.entries[i].name);
}

Entry* FindEntry(Archive& archive, const char* name) {
    const std::size_t found =
        archive.names.Find(name, [&](std::size_t i) { return archive.entries[i].name; });
    return found == plugin::UniqueNames::kNone ? nullptr : &archive.entries[found];
}

std::string StandInName(const Archive& archive, std::size_t i) {
    const Entry& entry = archive.entries[i];
    const char* extension = entry.InsideOf(archive.length)
                                ? GuessExtension(archive.base + entry.offset, entry.Size())
                                : "bin";
    char name[plugin::kListedNameCapacity];
    std::snprintf(name, sizeof name, "%05zu.%s", i, extension);
    return name;
}

const char* GuessExtension(const std::uint8_t* data, std::uint32_t size) {
    struct Signature {
        const char* magic;
        std::size_t length;
        const char* extension;
    };
    static constexpr Signature kSignatures[] = {
        {"AFS\0", 4, "afs"}, {"AIXF", 4, "aix"},  {"RIFF", 4, "wav"},
        {"SDPA", 4, "pac"},  {"MVX\0", 4, "mvx"},
    };
    if (IsAdx(data, size)) {
        return "adx";
    }
    for (const Signature& signature : kSignatures) {
        if (size >= signature.length && std::memcmp(data, signature.magic, signature.length) == 0) {
            return signature.extension;
        }
    }
    return "bin";
}

void RefreshRooms(Archive& archive) {
    ComputeRooms(archive);
}

bool Replace(Archive& archive, Entry& entry, const std::uint8_t* data, std::uint32_t length,
             plugin::MappedFile* file) {
    std::uint8_t* base = archive.base;
    const auto at = [base](const std::uint8_t* p) { return static_cast<std::uint64_t>(p - base); };
    std::vector<plugin::ByteRange> ranges = {
        {entry.offset, std::uint64_t{entry.offset} + length},
        {at(entry.table + 4), at(entry.table + 8)},
    };
    if (entry.nameEntry != nullptr) {
        const std::uint64_t date = at(entry.nameEntry + kDateOffset);
        ranges.push_back({date, date + 2 * kDateFields});
    }
    plugin::ContainerWrite write(file, base, archive.length);
    if (!write.Begin(ranges)) {
        return false;
    }
    if (length != 0) {
        std::memmove(base + entry.offset, data, length);
    }
    WriteU32LE(entry.table + 4, length);
    if (entry.nameEntry != nullptr) {
        const Date date = LocalDate();
        for (std::size_t field = 0; field < date.size(); ++field) {
            entry.date[field] = date[field];
            WriteU16LE(entry.nameEntry + kDateOffset + 2 * field, date[field]);
        }
    }
    return write.Commit();
}

Date LocalDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    const int fields[kDateFields] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                     local.tm_hour,        local.tm_min,     local.tm_sec};
    Date date{};
    for (std::size_t field = 0; field < date.size(); ++field) {
        date[field] = static_cast<std::uint16_t>(fields[field]);
    }
    return date;
}

std::uint32_t Alignment(const Archive& archive) {
    std::uint32_t alignment = kLargestAlignment;
    const auto shareAlignment = [&](std::uint32_t offset) {
        while (offset % alignment != 0) {
            alignment /= 2;
        }
    };
    shareAlignment(archive.entries.front().offset);
    for (const Entry& entry : archive.entries) {
        if (entry.Size() != 0) {
            shareAlignment(entry.offset);
        }
    }
    return alignment;
}

bool Rebuild(const Archive& archive, const Entry& entry, const std::uint8_t* data,
             std::uint32_t length, const Date& date, plugin::RebuiltContainer& out,
             std::string& error) {
    const std::size_t target = static_cast<std::size_t>(&entry - archive.entries.data());
    return Rebuild(archive, plugin::OneNewMember(archive.entries.size(), target, data, length),
                   date, out, error);
}

bool Rebuild(const Archive& archive, const plugin::NewMembers& members, const Date& date,
             plugin::RebuiltContainer& out, std::string& error) {
    const std::size_t count = archive.entries.size();
    if (members.size() != count) {
        error = "Can't rebuild the archive: the new members do not match its table.";
        return false;
    }
    // The size member i has in the rebuilt archive.
    const auto newSize = [&](std::size_t i) {
        return members[i].replaced ? members[i].length : archive.entries[i].Size();
    };
    // The header, the offset table and the name-table pointer pair after it stay in place,
    // with member 0 where it was: the preferred pointer before it then keeps its place too.
    const std::uint64_t tablesEnd =
        kHeaderSize + std::uint64_t{kPairSize} * count + kFallbackPointerSize;
    const std::uint32_t prefixEnd = archive.entries.front().offset;
    if (prefixEnd < tablesEnd) {
        error = "Can't rebuild the archive: its first member starts inside its tables.";
        return false;
    }
    if (prefixEnd > archive.length) {
        error = "Can't rebuild the archive: its first member starts past its end.";
        return false;
    }
    std::uint64_t oldEnd = prefixEnd;  // the end of the last member or of the name table
    for (std::size_t i = 0; i < count; ++i) {
        const Entry& member = archive.entries[i];
        if (!members[i].replaced && !member.InsideOf(archive.length)) {
            error = std::string("Can't rebuild the archive: ") + ListedName(archive, i) +
                    " lies outside it.";
            return false;
        }
        if (member.Size() != 0 && member.InsideOf(archive.length)) {
            oldEnd = std::max(oldEnd, std::uint64_t{member.offset} + member.Size());
        }
    }
    const std::uint64_t nameBytes = std::uint64_t{kNameEntrySize} * count;
    if (archive.hasNameTable) {
        oldEnd = std::max(oldEnd, archive.nameTableOffset + nameBytes);
    }
    const std::uint32_t alignment = Alignment(archive);

    // Offsets first: members in table order, each at the next multiple of the alignment.
    std::vector<std::uint64_t> offsets(count);
    std::uint64_t cursor = prefixEnd;
    for (std::size_t i = 0; i < count; ++i) {
        offsets[i] = plugin::AlignUp(cursor, alignment);
        cursor = offsets[i] + newSize(i);
    }
    const std::uint64_t nameTable = plugin::AlignUp(cursor, alignment);
    const std::uint64_t tail = archive.length - oldEnd;
    const std::uint64_t newLength =
        (archive.hasNameTable ? nameTable + nameBytes : nameTable) + tail;
    if (newLength > plugin::kLargestContainer) {
        error = "Can't rebuild the archive: it would pass 4 GiB, more than AFS offsets reach.";
        return false;
    }

    std::vector<std::uint8_t> prefix(archive.base, archive.base + prefixEnd);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* pair = prefix.data() + kHeaderSize + kPairSize * i;
        WriteU32LE(pair, static_cast<std::uint32_t>(offsets[i]));
        WriteU32LE(pair + 4, newSize(i));
    }
    // Both name-table pointers that gave the old place (the one read, and the other where it
    // agreed) get the new one, so that readers of either find the table. Without a usable name
    // table both are cleared: a pointer into nothing must not come to point into the new archive.
    for (std::uint8_t* pointer : {prefix.data() + prefixEnd - kFallbackPointerSize,
                                  prefix.data() + kHeaderSize + kPairSize * count}) {
        if (!archive.hasNameTable) {
            WriteU32LE(pointer, 0);
        } else if (ReadU32LE(pointer) == archive.nameTableOffset) {
            WriteU32LE(pointer, static_cast<std::uint32_t>(nameTable));
        }
    }
    out.AddOwned(std::move(prefix));
    for (std::size_t i = 0; i < count; ++i) {
        out.AddZeros(offsets[i] - out.Length());
        if (members[i].replaced) {
            out.AddBorrowed(members[i].data, members[i].length);
        } else {
            const Entry& member = archive.entries[i];
            out.AddBorrowed(archive.base + member.offset, member.Size());
        }
    }
    out.AddZeros(nameTable - out.Length());
    if (archive.hasNameTable) {
        std::vector<std::uint8_t> names(archive.base + archive.nameTableOffset,
                                        archive.base + archive.nameTableOffset + nameBytes);
        for (std::size_t i = 0; i < count; ++i) {
            if (!members[i].replaced) {
                continue;
            }
            std::uint8_t* stamp = names.data() + kNameEntrySize * i + kDateOffset;
            for (std::size_t field = 0; field < date.size(); ++field) {
                WriteU16LE(stamp + 2 * field, date[field]);
            }
        }
        out.AddOwned(std::move(names));
    }
    out.AddBorrowed(archive.base + oldEnd, tail);
    return true;
}

}  // namespace fogbell::afs
