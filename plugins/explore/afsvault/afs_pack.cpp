#include "afs_pack.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "file_ops.h"

namespace fogbell::afs {
namespace {

using plugin::WriteU16LE;
using plugin::WriteU32LE;

constexpr std::uint32_t kPointerPairSize = 8;  // name-table offset and size
// The four bytes after a name entry's date.
constexpr std::uint32_t kNameEndOffset = kDateOffset + 2 * kDateFields;
constexpr std::uint32_t kLargestOffset = 0xFFFFFFFFu;
constexpr std::uint16_t kLargestDateField = 0xFFFF;

struct PointerName {
    PackLayout::Pointer pointer;
    const char* text;
};
constexpr PointerName kPointerNames[] = {
    {PackLayout::Pointer::kBeforeFirstMember, "before-first-member"},
    {PackLayout::Pointer::kAfterOffsetTable, "after-offset-table"},
    {PackLayout::Pointer::kBoth, "both"},
};

// The end of the header, the offset table and the name-table pointer pair after it.
std::uint64_t TablesEnd(std::size_t count) {
    return kHeaderSize + std::uint64_t{kPairSize} * count + kPointerPairSize;
}

bool PointerBefore(PackLayout::Pointer pointer) {
    return pointer != PackLayout::Pointer::kAfterOffsetTable;
}
bool PointerAfter(PackLayout::Pointer pointer) {
    return pointer != PackLayout::Pointer::kBeforeFirstMember;
}

// Where each member goes (layout rule in afs_pack.h), where the name table goes and the end.
struct Placement {
    std::vector<std::uint64_t> offsets;
    std::uint64_t nameTable = 0;
    std::uint64_t end = 0;
};

// The next free place for a member of size bytes recorded at recorded, after cursor.
std::uint64_t Place(std::uint64_t recorded, std::uint64_t cursor, bool placed,
                    std::uint32_t alignment) {
    return placed && recorded >= cursor ? recorded : plugin::AlignUp(cursor, alignment);
}

Placement PlaceAll(const PackLayout& layout, const std::vector<std::uint32_t>& sizes) {
    const std::size_t count = layout.members.size();
    Placement placement;
    placement.offsets.resize(count);
    const std::uint64_t tablesEnd = TablesEnd(count);
    // Member 0 ends the tables: right after them, or far enough for the pointer pair before it
    // to lie past them; computed, it leaves room for that pair.
    const std::uint64_t first = layout.members[0].offset;
    placement.offsets[0] =
        layout.placed && (first == tablesEnd || first >= tablesEnd + kPointerPairSize)
            ? layout.members[0].offset
            : plugin::AlignUp(tablesEnd + kPointerPairSize, layout.alignment);
    std::uint64_t cursor = placement.offsets[0] + sizes[0];
    for (std::size_t i = 1; i < count; ++i) {
        if (sizes[i] == 0 && layout.placed) {
            placement.offsets[i] = layout.members[i].offset;  // holds no bytes: stays
            continue;
        }
        placement.offsets[i] =
            Place(layout.members[i].offset, cursor, layout.placed, layout.alignment);
        cursor = placement.offsets[i] + sizes[i];
    }
    if (layout.hasNameTable) {
        placement.nameTable =
            Place(layout.nameTableOffset, cursor, layout.placed, layout.alignment);
        cursor = placement.nameTable + std::uint64_t{kNameEntrySize} * count;
    }
    placement.end = cursor + layout.tail;
    return placement;
}

// A pair that names the name table; afterTable: the one after the offset table.
std::vector<std::uint8_t> PointerPair(const PackLayout& layout, const Placement& placement,
                                      bool afterTable) {
    std::vector<std::uint8_t> pair(kPointerPairSize, 0);
    const auto plain = static_cast<std::uint32_t>(kNameEntrySize * layout.members.size());
    const std::uint32_t size = layout.nameTableSize.value_or(plain);
    WriteU32LE(pair.data(), static_cast<std::uint32_t>(placement.nameTable));
    WriteU32LE(pair.data() + 4, afterTable ? layout.nameTableSizeAfter.value_or(size) : size);
    return pair;
}

// Where the pointer pairs go: after the offset table, before member 0 (apart from the tables),
// or both in one when member 0 follows the tables directly.
struct PointerPlaces {
    bool afterTable = false;
    bool beforeMember = false;
};

PointerPlaces PointersOf(const PackLayout& layout, const Placement& placement) {
    const bool before = layout.hasNameTable && PointerBefore(layout.pointer);
    const bool shared = before && placement.offsets[0] == TablesEnd(layout.members.size());
    return {(layout.hasNameTable && PointerAfter(layout.pointer)) || shared, before && !shared};
}

// Span keys: the header with the offset table, the pair after it, the pair before member 0,
// each member, then per name entry its name and its date with the last four bytes.
constexpr std::uint64_t kTablesKey = 0;
constexpr std::uint64_t kPairAfterKey = 1;
constexpr std::uint64_t kPairBeforeKey = 2;
constexpr std::uint64_t kFirstMemberKey = 3;

// What a pack writes of its own (filler_runs.h): every byte but the gaps, the tail, the pointer
// slot not used and each name's bytes after its NUL.
plugin::SpanMap AfsSpans(const PackLayout& layout, const Placement& placement,
                         const std::vector<std::uint32_t>& sizes) {
    const std::size_t count = layout.members.size();
    const std::uint64_t tablesEnd = TablesEnd(count);
    const PointerPlaces pointers = PointersOf(layout, placement);
    plugin::SpanMap map;
    map.Add(0, tablesEnd - kPointerPairSize, kTablesKey);
    if (pointers.afterTable) {
        map.Add(tablesEnd - kPointerPairSize, kPointerPairSize, kPairAfterKey);
    }
    if (pointers.beforeMember) {
        map.Add(placement.offsets[0] - kPointerPairSize, kPointerPairSize, kPairBeforeKey);
    }
    for (std::size_t i = 0; i < count; ++i) {
        map.Add(placement.offsets[i], sizes[i], kFirstMemberKey + i);
    }
    for (std::size_t i = 0; layout.hasNameTable && i < count; ++i) {
        const std::uint64_t entry = placement.nameTable + std::uint64_t{kNameEntrySize} * i;
        const std::uint64_t key = kFirstMemberKey + count + 2 * i;
        map.Add(entry, std::min<std::size_t>(layout.members[i].name.size() + 1, kNameLength), key);
        map.Add(entry + kDateOffset, kNameEntrySize - kDateOffset, key + 1);
    }
    map.end = placement.end;
    return map;
}

// What a span key names, for a refusal.
std::string SpanName(std::size_t count, std::uint64_t key) {
    switch (key) {
        case kTablesKey:
            return "the offset table";
        case kPairAfterKey:
        case kPairBeforeKey:
            return "the name table's pointer";
        default:
            break;
    }
    const std::uint64_t member = key - kFirstMemberKey;
    return member < count ? "member " + std::to_string(member + 1)
                          : "the name entry of member " + std::to_string((member - count) / 2 + 1);
}

std::vector<std::uint32_t> SizesOf(const std::vector<plugin::PackedFile>& files) {
    std::vector<std::uint32_t> sizes;
    for (const plugin::PackedFile& file : files) {
        sizes.push_back(file.size);
    }
    return sizes;
}

// The recorded sizes of a layout whose members all give one.
std::vector<std::uint32_t> RecordedSizes(const PackLayout& layout) {
    std::vector<std::uint32_t> sizes;
    for (const PackLayout::Member& member : layout.members) {
        sizes.push_back(member.size.value_or(0));
    }
    return sizes;
}

// Appends the header, offset table and pointers, up to member 0: only the tables are built in
// memory, whatever offset member 0 has.
void AddPrefix(const PackLayout& layout, const Placement& placement,
               const std::vector<std::uint32_t>& sizes, plugin::RebuiltContainer& out) {
    const std::size_t count = layout.members.size();
    const std::uint8_t header[kHeaderSize] = {'A', 'F', 'S', 0};
    std::vector<std::uint8_t> tables(std::begin(header), std::end(header));
    tables.resize(static_cast<std::size_t>(TablesEnd(count)), 0);
    WriteU32LE(&tables[4], static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* pair = tables.data() + kHeaderSize + kPairSize * i;
        WriteU32LE(pair, static_cast<std::uint32_t>(placement.offsets[i]));
        WriteU32LE(pair + 4, sizes[i]);
    }
    // Member 0 right after the tables: the pair before it is the one after the offset table.
    const PointerPlaces pointers = PointersOf(layout, placement);
    if (pointers.afterTable) {
        const std::vector<std::uint8_t> pointer = PointerPair(layout, placement, true);
        std::copy(pointer.begin(), pointer.end(), tables.end() - kPointerPairSize);
    }
    out.AddOwned(std::move(tables));
    if (pointers.beforeMember) {
        out.AddZeros(placement.offsets[0] - kPointerPairSize - out.Length());
        out.AddOwned(PointerPair(layout, placement, false));
    }
    out.AddZeros(placement.offsets[0] - out.Length());
}

std::vector<std::uint8_t> NameTable(const PackLayout& layout,
                                    const std::vector<std::uint32_t>& sizes) {
    std::vector<std::uint8_t> table(std::size_t{kNameEntrySize} * layout.members.size(), 0);
    for (std::size_t i = 0; i < layout.members.size(); ++i) {
        const PackLayout::Member& member = layout.members[i];
        std::uint8_t* entry = table.data() + kNameEntrySize * i;
        std::memcpy(entry, member.name.data(), member.name.size());
        for (std::size_t field = 0; field < member.date.size(); ++field) {
            WriteU16LE(entry + kDateOffset + 2 * field, member.date[field]);
        }
        const bool sized = layout.nameEnds == PackLayout::NameEnds::kSizes;
        const bool listed = layout.nameEnds == PackLayout::NameEnds::kListed;
        WriteU32LE(entry + kNameEndOffset, sized ? sizes[i] : listed ? member.nameEnd : 0);
    }
    return table;
}

// How the archive's name entries end (PackLayout::NameEnds), each member's value kept.
void NameEndsOf(const Archive& archive, PackLayout& layout) {
    bool zero = true;
    bool sized = true;
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
        const std::uint32_t end = plugin::ReadU32LE(archive.entries[i].nameEntry + kNameEndOffset);
        layout.members[i].nameEnd = end;
        zero = zero && end == 0;
        sized = sized && end == archive.entries[i].Size();
    }
    layout.nameEnds = zero    ? PackLayout::NameEnds::kZero
                      : sized ? PackLayout::NameEnds::kSizes
                              : PackLayout::NameEnds::kListed;
}

// The size words of the pairs that name the name table, kept when not 48 N: the one before
// member 0 (or the only one), and the one after the offset table when it says otherwise.
void NameTableSizeOf(const Archive& archive, PackLayout& layout) {
    const std::uint64_t after = TablesEnd(archive.entries.size()) - kPointerPairSize + 4;
    const std::uint64_t before = archive.entries.front().offset - kPointerPairSize + 4;
    const std::uint32_t size =
        plugin::ReadU32LE(archive.base + (PointerBefore(layout.pointer) ? before : after));
    if (size != kNameEntrySize * archive.entries.size()) {
        layout.nameTableSize = size;
    }
    if (layout.pointer == PackLayout::Pointer::kBoth &&
        plugin::ReadU32LE(archive.base + after) != size) {
        layout.nameTableSizeAfter = plugin::ReadU32LE(archive.base + after);
    }
}

// The filler of an archive whose members a pack of its layout puts where they are.
void FindArchiveRuns(const Archive& archive, PackLayout& layout) {
    std::vector<std::uint32_t> sizes;
    for (const Entry& entry : archive.entries) {
        sizes.push_back(entry.Size());
    }
    const Placement placement = PlaceAll(layout, sizes);
    bool inPlace = placement.end == archive.length &&
                   (!layout.hasNameTable || placement.nameTable == archive.nameTableOffset);
    for (std::size_t i = 0; inPlace && i < sizes.size(); ++i) {
        inPlace = placement.offsets[i] == archive.entries[i].offset;
    }
    layout.runsComplete =
        inPlace && plugin::FindRuns(archive.base, archive.length,
                                    AfsSpans(layout, placement, sizes), layout.runs);
    if (!layout.runsComplete) {
        layout.runs.clear();
    }
}

bool ReadOffset(const json::Value& object, const char* key, std::uint32_t& out,
                std::string& error) {
    return json::ReadU32(object, key, kLargestOffset, out, error);
}

bool ReadDate(const json::Value& member, Date& date, std::string& error) {
    const json::Value* value = member.Find("date");
    if (value == nullptr || !value->IsArray() || value->items.size() != date.size()) {
        error = "\"date\" must be six whole numbers";
        return false;
    }
    for (std::size_t i = 0; i < date.size(); ++i) {
        const json::Value& field = value->items[i];
        if (field.type != json::Value::Type::kInteger || field.integer < 0 ||
            field.integer > kLargestDateField) {
            error = "\"date\" fields must lie in 0..65535";
            return false;
        }
        date[i] = static_cast<std::uint16_t>(field.integer);
    }
    return true;
}

bool ReadMember(const json::Value& value, bool named, PackLayout::Member& member,
                std::string& error) {
    if (!value.IsObject() || !ReadOffset(value, "offset", member.offset, error)) {
        error = value.IsObject() ? error : "a member is not an object";
        return false;
    }
    if (value.Find("size") != nullptr) {
        std::uint32_t size = 0;
        if (!ReadOffset(value, "size", size, error)) {
            return false;
        }
        member.size = size;
    }
    if (!named) {
        return true;
    }
    const json::Value* name = value.Find("name");
    if (name == nullptr || !name->IsString() || name->text.size() > kNameLength ||
        name->text.find('\0') != std::string::npos) {
        error = "\"name\" must be a text of at most 32 bytes without NUL";
        return false;
    }
    member.name = name->text;
    return ReadDate(value, member.date, error);
}

// An optional size word of the nameTable object.
bool ReadSizeWord(const json::Value& table, const char* key, std::optional<std::uint32_t>& out,
                  std::string& error) {
    if (table.Find(key) == nullptr) {
        return true;
    }
    std::uint32_t size = 0;
    if (!ReadOffset(table, key, size, error)) {
        error = "nameTable: " + error;
        return false;
    }
    out = size;
    return true;
}

bool ReadNameTable(const json::Value& value, PackLayout& layout, std::string& error) {
    const json::Value* table = value.Find("nameTable");
    if (table == nullptr || table->type == json::Value::Type::kNull) {
        layout.hasNameTable = false;
        return true;
    }
    if (!table->IsObject() || !ReadOffset(*table, "offset", layout.nameTableOffset, error)) {
        error = "nameTable: " + (table->IsObject() ? error : "must be an object or null");
        return false;
    }
    if (!ReadSizeWord(*table, "size", layout.nameTableSize, error) ||
        !ReadSizeWord(*table, "sizeAfter", layout.nameTableSizeAfter, error)) {
        return false;
    }
    const json::Value* pointer = table->Find("pointer");
    for (const PointerName& known : kPointerNames) {
        if (pointer != nullptr && pointer->IsString() && pointer->text == known.text) {
            layout.pointer = known.pointer;
            return true;
        }
    }
    error =
        "nameTable: \"pointer\" must be \"before-first-member\", \"after-offset-table\" or "
        "\"both\"";
    return false;
}

// "nameEnds": absent or null (zero), "sizes", or one number per member.
bool ReadNameEnds(const json::Value& value, PackLayout& layout, std::string& error) {
    const json::Value* ends = value.Find("nameEnds");
    if (ends == nullptr || ends->type == json::Value::Type::kNull) {
        return true;
    }
    if (ends->IsString() && ends->text == "sizes") {
        layout.nameEnds = PackLayout::NameEnds::kSizes;
        return true;
    }
    error = "\"nameEnds\" must be \"sizes\" or one number in 0..4294967295 per member";
    if (!ends->IsArray() || ends->items.size() != layout.members.size()) {
        return false;
    }
    for (std::size_t i = 0; i < ends->items.size(); ++i) {
        const json::Value& end = ends->items[i];
        if (end.type != json::Value::Type::kInteger || end.integer < 0 ||
            end.integer > kLargestOffset) {
            return false;
        }
        layout.members[i].nameEnd = static_cast<std::uint32_t>(end.integer);
    }
    layout.nameEnds = PackLayout::NameEnds::kListed;
    return true;
}

// The runs of a layout read from text, checked against its own archive: every member's size
// given, each run in filler.
bool CheckLayoutRuns(const PackLayout& layout, std::string& error) {
    if (layout.runs.empty()) {
        return true;
    }
    for (std::size_t i = 0; i < layout.members.size(); ++i) {
        if (!layout.members[i].size) {
            error = "member " + std::to_string(i + 1) + ": \"size\" is needed with \"bytes\"";
            return false;
        }
    }
    const std::vector<std::uint32_t> sizes = RecordedSizes(layout);
    const Placement placement = PlaceAll(layout, sizes);
    if (placement.end > plugin::kLargestContainer) {
        error = "its members, name table and tail pass 4 GiB";
        return false;
    }
    const std::size_t count = layout.members.size();
    return plugin::CheckRunsInFiller(
        layout.runs, AfsSpans(layout, placement, sizes),
        [count](std::uint64_t key) { return SpanName(count, key); }, error);
}

}  // namespace

bool LayoutOf(const Archive& archive, PackLayout& layout, std::string& error) {
    layout = PackLayout{};
    layout.alignment = Alignment(archive);
    layout.hasNameTable = archive.hasNameTable;
    layout.nameTableOffset = archive.nameTableOffset;
    std::uint64_t end = archive.entries.front().offset;
    for (const Entry& entry : archive.entries) {
        if (!entry.InsideOf(archive.length)) {
            error = std::string("Can't describe the archive: ") + entry.name + " lies outside it.";
            return false;
        }
        PackLayout::Member member;
        member.offset = entry.offset;
        member.size = entry.Size();
        if (archive.hasNameTable) {
            // The stored bytes up to the first NUL, whatever name the entry is listed under.
            const auto* stored = reinterpret_cast<const char*>(entry.nameEntry);
            member.name.assign(stored, std::find(stored, stored + kNameLength, '\0'));
            std::copy(std::begin(entry.date), std::end(entry.date), member.date.begin());
        }
        layout.members.push_back(std::move(member));
        if (entry.Size() != 0) {
            end = std::max(end, std::uint64_t{entry.offset} + entry.Size());
        }
    }
    if (archive.hasNameTable) {
        end = std::max(
            end, archive.nameTableOffset + std::uint64_t{kNameEntrySize} * archive.entries.size());
        const std::uint32_t first = archive.entries.front().offset;
        const bool before =
            first >= TablesEnd(archive.entries.size()) &&
            plugin::ReadU32LE(archive.base + first - kPointerPairSize) == archive.nameTableOffset;
        const bool after = plugin::ReadU32LE(archive.base + TablesEnd(archive.entries.size()) -
                                             kPointerPairSize) == archive.nameTableOffset;
        layout.pointer = before && after ? PackLayout::Pointer::kBoth
                         : before        ? PackLayout::Pointer::kBeforeFirstMember
                                         : PackLayout::Pointer::kAfterOffsetTable;
    }
    layout.tail =
        static_cast<std::uint32_t>(archive.length - std::min<std::uint64_t>(end, archive.length));
    if (archive.hasNameTable) {
        NameEndsOf(archive, layout);
        NameTableSizeOf(archive, layout);
    }
    FindArchiveRuns(archive, layout);
    return true;
}

std::string LayoutText(const PackLayout& layout, bool exact) {
    std::string text = "{\"format\": \"afs\", \"exact\": " + std::string(exact ? "true" : "false") +
                       ", \"alignment\": " + std::to_string(layout.alignment) + ", \"nameTable\": ";
    if (layout.hasNameTable) {
        const char* pointer = kPointerNames[static_cast<int>(layout.pointer)].text;
        text += "{\"offset\": " + std::to_string(layout.nameTableOffset) + ", \"pointer\": \"" +
                pointer + "\"";
        if (layout.nameTableSize) {
            text += ", \"size\": " + std::to_string(*layout.nameTableSize);
        }
        if (layout.nameTableSizeAfter) {
            text += ", \"sizeAfter\": " + std::to_string(*layout.nameTableSizeAfter);
        }
        text += "}";
    } else {
        text += "null";
    }
    text += ", \"tail\": " + std::to_string(layout.tail);
    if (layout.nameEnds == PackLayout::NameEnds::kSizes) {
        text += ", \"nameEnds\": \"sizes\"";
    } else if (layout.nameEnds == PackLayout::NameEnds::kListed) {
        text += ", \"nameEnds\": [";
        for (std::size_t i = 0; i < layout.members.size(); ++i) {
            text += (i == 0 ? "" : ", ") + std::to_string(layout.members[i].nameEnd);
        }
        text += "]";
    }
    text += ", \"members\": [";
    for (std::size_t i = 0; i < layout.members.size(); ++i) {
        const PackLayout::Member& member = layout.members[i];
        text +=
            std::string(i == 0 ? "" : ",") + "\n  {\"offset\": " + std::to_string(member.offset);
        if (member.size) {
            text += ", \"size\": " + std::to_string(*member.size);
        }
        if (layout.hasNameTable) {
            text += ", \"name\": " + json::Quoted(member.name) + ", \"date\": [";
            for (std::size_t field = 0; field < member.date.size(); ++field) {
                text += (field == 0 ? "" : ", ") + std::to_string(member.date[field]);
            }
            text += "]";
        }
        text += "}";
    }
    text += "]";
    if (!layout.runs.empty()) {
        text += ", \"bytes\": " + plugin::RunsText(layout.runs);
    }
    return text + "}";
}

bool ReadLayout(const json::Value& value, std::size_t count, PackLayout& layout,
                std::string& error) {
    layout = PackLayout{};
    if (!plugin::ReadLayoutHead(value, "afs", kLargestAlignment, layout.alignment, error)) {
        return false;
    }
    if (!ReadNameTable(value, layout, error) || !ReadOffset(value, "tail", layout.tail, error)) {
        return false;
    }
    const json::Value* members = value.Find("members");
    if (members == nullptr || !members->IsArray() || members->items.size() != count || count == 0) {
        error = "\"members\" must list one member per file (" + std::to_string(count) + ")";
        return false;
    }
    layout.members.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!ReadMember(members->items[i], layout.hasNameTable, layout.members[i], error)) {
            error = "member " + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    return ReadNameEnds(value, layout, error) && plugin::ReadRuns(value, layout.runs, error) &&
           CheckLayoutRuns(layout, error);
}

bool PlainLayout(const char* const* paths, std::uint32_t count, PackLayout& layout,
                 std::string& error) {
    layout = PackLayout{};
    layout.placed = false;
    layout.nameEnds = PackLayout::NameEnds::kSizes;
    layout.members.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        PackLayout::Member& member = layout.members[i];
        member.name = plugin::FileNameOf(paths[i]);
        if (member.name.size() > kNameLength) {
            error = "Can't pack " + member.name + ": an AFS name holds at most 32 bytes.";
            return false;
        }
        int fields[kDateFields] = {};
        if (plugin::FileModifiedLocal(paths[i], fields)) {
            for (int field = 0; field < kDateFields; ++field) {
                member.date[static_cast<std::size_t>(field)] =
                    static_cast<std::uint16_t>(fields[field]);
            }
        }
    }
    return true;
}

bool Pack(const PackLayout& layout, const std::vector<plugin::PackedFile>& files,
          plugin::FillBlocks& fills, plugin::RebuiltContainer& out, std::string& error) {
    if (layout.members.empty() || files.size() != layout.members.size()) {
        error = "Can't pack an AFS archive without members.";
        return false;
    }
    const std::vector<std::uint32_t> sizes = SizesOf(files);
    const Placement placement = PlaceAll(layout, sizes);
    if (placement.end > plugin::kLargestContainer) {
        error = "Can't pack the archive: it would pass 4 GiB, more than AFS offsets reach.";
        return false;
    }
    plugin::RebuiltContainer plain;
    AddPrefix(layout, placement, sizes, plain);
    plugin::AddPackedFile(plain, files[0]);
    for (std::size_t i = 1; i < files.size(); ++i) {
        if (files[i].size != 0) {
            plain.AddZeros(placement.offsets[i] - plain.Length());
            plugin::AddPackedFile(plain, files[i]);
        }
    }
    if (layout.hasNameTable) {
        plain.AddZeros(placement.nameTable - plain.Length());
        plain.AddOwned(NameTable(layout, sizes));
    }
    plain.AddZeros(placement.end - plain.Length());
    if (layout.runs.empty()) {
        out = std::move(plain);
        return true;
    }
    const std::vector<std::uint32_t> recorded = RecordedSizes(layout);
    const plugin::ByteRuns runs =
        plugin::MoveRuns(layout.runs, AfsSpans(layout, PlaceAll(layout, recorded), recorded),
                         AfsSpans(layout, placement, sizes));
    if (!plugin::OverlayRuns(plain, runs, fills, out)) {
        error = "Can't pack the archive: its filler runs over a member.";
        return false;
    }
    return true;
}

bool PacksExactly(const Archive& archive, const PackLayout& layout) {
    std::vector<plugin::PackedFile> members(archive.entries.size());
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].bytes = archive.base + archive.entries[i].offset;
        members[i].size = archive.entries[i].Size();
    }
    plugin::FillBlocks fills;
    plugin::RebuiltContainer packed;
    std::string error;
    return layout.runsComplete && Pack(layout, members, fills, packed, error) &&
           plugin::SameBytes(packed, archive.base, archive.length);
}

}  // namespace fogbell::afs
