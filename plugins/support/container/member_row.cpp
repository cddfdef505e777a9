#include "member_row.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "file_ops.h"
#include "plugin_support.h"

namespace fogbell::plugin {
namespace {

constexpr std::uint32_t kHeaderSize = 8;  // magic, member count
constexpr std::uint32_t kLargestOffset = 0xFFFFFFFFu;
constexpr std::uint32_t kLargestAlignment = 2048;
constexpr std::uint32_t kLargestByte = 0xFF;

std::uint64_t TableEnd(const RowFormat& format, std::size_t count) {
    return kHeaderSize + std::uint64_t{format.entrySize} * count;
}

// The largest power of two up to kLargestAlignment dividing every offset of a member with bytes.
std::uint32_t SharedAlignment(const std::vector<std::uint32_t>& offsets,
                              const std::vector<std::uint32_t>& sizes) {
    std::uint32_t alignment = kLargestAlignment;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        while (sizes[i] != 0 && offsets[i] % alignment != 0) {
            alignment /= 2;
        }
    }
    return alignment;
}

// Where a pack of the layout puts members of the given sizes, and where the name block starts.
struct RowPlacement {
    std::vector<std::uint64_t> offsets;
    std::uint64_t membersEnd = 0;  // the end of the last member placed, or of the table
    std::uint64_t names = 0;
    std::uint64_t end = 0;
};

RowPlacement PlaceRow(const RowFormat& format, const RowLayout& layout,
                      const std::vector<std::uint32_t>& sizes) {
    const std::size_t count = layout.members.size();
    RowPlacement placement;
    placement.offsets.resize(count);
    std::uint64_t cursor = TableEnd(format, count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t recorded = layout.members[i].offset;
        if (sizes[i] == 0 && layout.placed) {
            placement.offsets[i] = recorded;  // holds no bytes: stays
            continue;
        }
        placement.offsets[i] =
            layout.placed && recorded >= cursor ? recorded : AlignUp(cursor, layout.alignment);
        cursor = placement.offsets[i] + sizes[i];
    }
    placement.membersEnd = cursor;
    placement.names = cursor + layout.tail;
    placement.end = placement.names + std::uint64_t{format.nameFieldSize} * count;
    return placement;
}

// Span keys: the table, then each member, then each member's name.
constexpr std::uint64_t kTableKey = 0;
std::uint64_t MemberKey(std::size_t i) {
    return 1 + i;
}
std::uint64_t NameKey(std::size_t count, std::size_t i) {
    return 1 + count + i;
}

// What a pack writes of its own: the table, the members with bytes, each name with its NUL
// (the rest of its field is filler).
SpanMap RowSpans(const RowFormat& format, const RowLayout& layout, const RowPlacement& placement,
                 const std::vector<std::uint32_t>& sizes) {
    const std::size_t count = layout.members.size();
    SpanMap map;
    map.Add(0, TableEnd(format, count), kTableKey);
    for (std::size_t i = 0; i < count; ++i) {
        map.Add(placement.offsets[i], sizes[i], MemberKey(i));
    }
    for (std::size_t i = 0; format.nameFieldSize != 0 && i < count; ++i) {
        const std::size_t named = layout.members[i].name.size() + 1;
        map.Add(placement.names + std::uint64_t{format.nameFieldSize} * i,
                std::min<std::size_t>(named, format.nameFieldSize), NameKey(count, i));
    }
    map.end = placement.end;
    return map;
}

// What a span key names, for a refusal.
std::string SpanName(std::size_t count, std::uint64_t key) {
    if (key == kTableKey) {
        return "the table";
    }
    return key <= count ? "member " + std::to_string(key)
                        : "the name of member " + std::to_string(key - count);
}

// The recorded sizes of a layout whose members all give one.
std::vector<std::uint32_t> RecordedSizes(const RowLayout& layout) {
    std::vector<std::uint32_t> sizes;
    for (const RowLayout::Member& member : layout.members) {
        sizes.push_back(member.size.value_or(0));
    }
    return sizes;
}

// The runs of a layout read from text, checked against its own container: every member's size
// given, no filler of the older kind beside them, each run in filler.
bool CheckLayoutRuns(const RowFormat& format, const RowLayout& layout, std::string& error) {
    if (layout.runs.empty()) {
        return true;
    }
    bool oldFill = layout.tailFill != 0;
    for (std::size_t i = 0; i < layout.members.size(); ++i) {
        if (!layout.members[i].size) {
            error = "member " + std::to_string(i + 1) + ": \"size\" is needed with \"bytes\"";
            return false;
        }
        oldFill = oldFill || layout.members[i].fillLength != 0;
    }
    if (oldFill) {
        error = "filler goes either in \"bytes\" or in \"fill\" and \"tailFill\", not both";
        return false;
    }
    const std::vector<std::uint32_t> sizes = RecordedSizes(layout);
    const RowPlacement placement = PlaceRow(format, layout, sizes);
    if (placement.end > kLargestContainer) {
        error = "its members and tail pass 4 GiB";
        return false;
    }
    const std::size_t count = layout.members.size();
    return CheckRunsInFiller(
        layout.runs, RowSpans(format, layout, placement, sizes),
        [count](std::uint64_t key) { return SpanName(count, key); }, error);
}

bool ReadWordField(const json::Value& object, const char* key, std::uint32_t& out,
                   std::string& error) {
    return json::ReadU32(object, key, kLargestOffset, out, error);
}

// A field that may be left out (it then keeps out's value).
bool ReadOptionalWord(const json::Value& object, const char* key, std::uint32_t high,
                      std::uint32_t& out, std::string& error) {
    return object.Find(key) == nullptr || json::ReadU32(object, key, high, out, error);
}

bool ReadOptionalByte(const json::Value& object, const char* key, std::uint8_t& out,
                      std::string& error) {
    std::uint32_t value = out;
    const bool read = ReadOptionalWord(object, key, kLargestByte, value, error);
    out = static_cast<std::uint8_t>(value);
    return read;
}

bool ReadRowMember(const RowFormat& format, const json::Value& value, RowLayout::Member& member,
                   std::string& error) {
    if (!value.IsObject()) {
        error = "a member is not an object";
        return false;
    }
    if (!ReadWordField(value, "offset", member.offset, error) ||
        !ReadOptionalByte(value, "fill", member.fill, error) ||
        !ReadOptionalWord(value, "fillLength", kLargestOffset, member.fillLength, error) ||
        (format.entrySize > 8 && !ReadWordField(value, "word", member.word, error))) {
        return false;
    }
    if (value.Find("size") != nullptr) {
        std::uint32_t size = 0;
        if (!ReadWordField(value, "size", size, error)) {
            return false;
        }
        member.size = size;
    }
    if (format.nameFieldSize == 0) {
        return true;
    }
    const json::Value* name = value.Find("name");
    if (name == nullptr || !name->IsString() || name->text.size() > format.nameFieldSize ||
        name->text.find('\0') != std::string::npos) {
        error = "\"name\" must be a text of at most " + std::to_string(format.nameFieldSize) +
                " bytes without NUL";
        return false;
    }
    member.name = name->text;
    return true;
}

// Files that hold just format.emptyText, for members the layout records as empty, taken as
// empty: what extraction wrote for an empty track.
void EmptyAgain(const RowFormat& format, const RowLayout& layout, std::vector<PackedFile>& files) {
    if (format.emptyText == nullptr) {
        return;
    }
    const std::size_t length = std::strlen(format.emptyText);
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::vector<std::uint8_t> bytes;
        if (layout.members[i].size == 0u && files[i].size == length && !files[i].path.empty() &&
            ReadWholeFile(files[i].path, bytes) && bytes.size() == length &&
            std::memcmp(bytes.data(), format.emptyText, length) == 0) {
            files[i] = PackedFile{};
        }
    }
}

}  // namespace

bool RowLayoutOf(const RowFormat& format, const std::uint8_t* base, std::uint32_t length,
                 RowLayout& layout, std::string& error) {
    layout = RowLayout{};
    if (length < kHeaderSize) {
        error = "Can't describe the container: its header is cut short.";
        return false;
    }
    const std::uint32_t count = ReadU32LE(base + 4);
    const std::uint64_t names = std::uint64_t{format.nameFieldSize} * count;
    const std::uint64_t tableEnd = TableEnd(format, count);
    if (tableEnd + names > length) {
        error = "Can't describe the container: its tables run past its end.";
        return false;
    }
    const std::uint64_t namesAt = length - names;
    std::vector<std::uint32_t> offsets(count), sizes(count);
    std::uint64_t cursor = tableEnd;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = base + kHeaderSize + std::size_t{format.entrySize} * i;
        offsets[i] = ReadU32LE(entry);
        sizes[i] = ReadU32LE(entry + 4);
        RowLayout::Member member;
        member.offset = offsets[i];
        member.size = sizes[i];
        member.word = format.entrySize > 8 ? ReadU32LE(entry + 8) : 0;
        if (format.nameFieldSize != 0) {
            const auto* field = reinterpret_cast<const char*>(base + namesAt) +
                                std::size_t{format.nameFieldSize} * i;
            member.name.assign(field, std::find(field, field + format.nameFieldSize, '\0'));
        }
        const std::uint64_t end = std::uint64_t{offsets[i]} + sizes[i];
        if (sizes[i] != 0 && (offsets[i] < tableEnd || end > namesAt)) {
            error = "Can't describe the container: member " + std::to_string(i + 1) +
                    " lies outside it.";
            return false;
        }
        if (sizes[i] != 0 && offsets[i] >= cursor) {
            cursor = end;
        }
        layout.members.push_back(std::move(member));
    }
    layout.alignment = SharedAlignment(offsets, sizes);
    layout.tail = static_cast<std::uint32_t>(namesAt - std::min(cursor, namesAt));
    // The filler is found where a pack of the layout puts it: only where that is where the
    // container has it, every member in its place.
    const RowPlacement placement = PlaceRow(format, layout, sizes);
    const bool inPlace = std::equal(offsets.begin(), offsets.end(), placement.offsets.begin()) &&
                         placement.end == length;
    layout.runsComplete =
        inPlace && FindRuns(base, length, RowSpans(format, layout, placement, sizes), layout.runs);
    if (!layout.runsComplete) {
        layout.runs.clear();
    }
    return true;
}

std::string RowLayoutText(const RowFormat& format, const RowLayout& layout, bool exact) {
    std::string text = "{\"format\": \"" + std::string(format.name) +
                       "\", \"exact\": " + (exact ? "true" : "false") +
                       ", \"alignment\": " + std::to_string(layout.alignment) +
                       ", \"tail\": " + std::to_string(layout.tail) + ", \"members\": [";
    for (std::size_t i = 0; i < layout.members.size(); ++i) {
        const RowLayout::Member& member = layout.members[i];
        text += std::string(i == 0 ? "" : ",") +
                "\n  {\"offset\": " + std::to_string(member.offset) +
                ", \"size\": " + std::to_string(member.size.value_or(0));
        if (format.entrySize > 8) {
            text += ", \"word\": " + std::to_string(member.word);
        }
        if (format.nameFieldSize != 0) {
            text += ", \"name\": " + json::Quoted(member.name);
        }
        text += "}";
    }
    text += "]";
    if (!layout.runs.empty()) {
        text += ", \"bytes\": " + RunsText(layout.runs);
    }
    return text + "}";
}

bool ReadRowLayout(const RowFormat& format, const json::Value& value, std::size_t count,
                   RowLayout& layout, std::string& error) {
    layout = RowLayout{};
    if (!ReadLayoutHead(value, format.name, kLargestAlignment, layout.alignment, error)) {
        return false;
    }
    if (!ReadWordField(value, "tail", layout.tail, error) ||
        !ReadOptionalByte(value, "tailFill", layout.tailFill, error)) {
        return false;
    }
    const json::Value* members = value.Find("members");
    if (members == nullptr || !members->IsArray() || members->items.size() != count) {
        error = "\"members\" must list one member per file (" + std::to_string(count) + ")";
        return false;
    }
    layout.members.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!ReadRowMember(format, members->items[i], layout.members[i], error)) {
            error = "member " + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    return ReadRuns(value, layout.runs, error) && CheckLayoutRuns(format, layout, error);
}

bool PackRow(const RowFormat& format, const RowLayout& layout, const std::vector<PackedFile>& files,
             FillBlocks& fills, RebuiltContainer& out, std::string& error) {
    const std::size_t count = layout.members.size();
    std::vector<std::uint32_t> sizes;
    for (const PackedFile& file : files) {
        sizes.push_back(file.size);
    }
    const RowPlacement placement = PlaceRow(format, layout, sizes);
    if (placement.end > kLargestContainer) {
        error = "Can't pack the container: it would pass 4 GiB, more than its offsets reach.";
        return false;
    }
    std::vector<std::uint8_t> tables(format.magic.begin(), format.magic.end());
    tables.resize(static_cast<std::size_t>(TableEnd(format, count)), 0);
    WriteU32LE(&tables[4], static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* entry = &tables[kHeaderSize + format.entrySize * i];
        WriteU32LE(entry, static_cast<std::uint32_t>(placement.offsets[i]));
        WriteU32LE(entry + 4, files[i].size);
        if (format.entrySize > 8) {
            WriteU32LE(entry + 8, layout.members[i].word);
        }
    }
    RebuiltContainer plain;
    plain.AddOwned(std::move(tables));
    for (std::size_t i = 0; i < count; ++i) {
        if (files[i].size != 0) {
            const std::uint64_t gap = placement.offsets[i] - plain.Length();
            const std::uint64_t run = std::min<std::uint64_t>(gap, layout.members[i].fillLength);
            AddFill(plain, run, layout.members[i].fill, fills);
            plain.AddZeros(gap - run);
            AddPackedFile(plain, files[i]);
        }
    }
    AddFill(plain, layout.tail, layout.tailFill, fills);
    if (format.nameFieldSize != 0) {
        std::vector<std::uint8_t> block(static_cast<std::size_t>(placement.end - placement.names),
                                        0);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& name = layout.members[i].name;
            std::copy(name.begin(), name.end(),
                      block.begin() + static_cast<std::ptrdiff_t>(format.nameFieldSize * i));
        }
        plain.AddOwned(std::move(block));
    }
    if (layout.runs.empty()) {
        out = std::move(plain);
        return true;
    }
    const std::vector<std::uint32_t> recorded = RecordedSizes(layout);
    const ByteRuns runs = MoveRuns(
        layout.runs, RowSpans(format, layout, PlaceRow(format, layout, recorded), recorded),
        RowSpans(format, layout, placement, sizes));
    if (!OverlayRuns(plain, runs, fills, out)) {
        error = "Can't pack the container: its filler runs over a member.";
        return false;
    }
    return true;
}

bool RowPacksExactly(const RowFormat& format, const std::uint8_t* base, std::uint32_t length,
                     const RowLayout& layout) {
    const std::size_t count = layout.members.size();
    std::vector<PackedFile> members(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = base + kHeaderSize + std::size_t{format.entrySize} * i;
        members[i].size = ReadU32LE(entry + 4);
        members[i].bytes = members[i].size == 0 ? nullptr : base + ReadU32LE(entry);
    }
    FillBlocks fills;
    RebuiltContainer packed;
    std::string error;
    return layout.runsComplete && PackRow(format, layout, members, fills, packed, error) &&
           SameBytes(packed, base, length);
}

const char* RowLayoutEntry(const RowFormat& format, const std::uint8_t* base,
                           std::uint32_t length) {
    RowLayout layout;
    std::string error;
    if (!RowLayoutOf(format, base, length, layout, error)) {
        SetErrorText("%s", error.c_str());
        return nullptr;
    }
    return KeepLayoutText(
        RowLayoutText(format, layout, RowPacksExactly(format, base, length, layout)));
}

std::int32_t RowPackEntry(const RowFormat& format, const char* layout, const char* const* paths,
                          std::uint32_t count, const char* outPath) {
    FillBlocks fills;
    return PackFilesEntry(
        layout, paths, count, outPath,
        [&](const json::Value* value, const std::vector<PackedFile>& files, RebuiltContainer& out,
            std::string& error) {
            RowLayout row;
            if (value != nullptr && !ReadRowLayout(format, *value, count, row, error)) {
                error = "Damaged layout: " + error + ".";
                return false;
            }
            std::vector<PackedFile> members = files;
            if (value != nullptr) {
                EmptyAgain(format, row, members);
            } else {
                row.placed = false;
                row.members.resize(count);
                for (std::uint32_t i = 0; i < count; ++i) {
                    row.members[i].name = FileNameOf(paths[i]);
                    row.members[i].name.resize(
                        std::min<std::size_t>(row.members[i].name.size(), format.nameFieldSize));
                }
            }
            return PackRow(format, row, members, fills, out, error);
        });
}

}  // namespace fogbell::plugin
