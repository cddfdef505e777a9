#include "member_row.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "plugin_support.h"

namespace fogbell::plugin {
namespace {

constexpr std::uint32_t kHeaderSize = 8;  // magic, member count
constexpr std::uint32_t kLargestOffset = 0xFFFFFFFFu;
constexpr std::uint32_t kLargestAlignment = 2048;
constexpr std::size_t kFillBlock = 64 * 1024;
constexpr std::uint32_t kLargestByte = 0xFF;

std::uint64_t TableEnd(const RowFormat& format, std::size_t count) {
    return kHeaderSize + std::uint64_t{format.entrySize} * count;
}

// The byte of a run of one value, or false when the bytes differ.
bool RunByte(const std::uint8_t* bytes, std::uint64_t size, std::uint8_t& fill) {
    fill = size == 0 ? 0 : bytes[0];
    return std::all_of(bytes, bytes + size, [fill](std::uint8_t b) { return b == fill; });
}

// The gap's leading run of one byte (none when it starts with zero): the filler a tool wrote
// after a member, before the zeros that align the next.
void LeadingRun(const std::uint8_t* bytes, std::uint64_t size, RowLayout::Member& member) {
    member.fill = size == 0 ? 0 : bytes[0];
    const std::uint8_t fill = member.fill;
    const auto* end =
        std::find_if(bytes, bytes + size, [fill](std::uint8_t b) { return b != fill; });
    member.fillLength = fill == 0 ? 0 : static_cast<std::uint32_t>(end - bytes);
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

// Appends size bytes of fill (zeros without memory; other bytes from one shared block).
void AddFill(RebuiltContainer& out, std::uint64_t size, std::uint8_t fill, FillBlocks& fills) {
    if (fill == 0) {
        out.AddZeros(size);
        return;
    }
    std::vector<std::uint8_t>& block = fills.blocks[fill];
    if (block.empty()) {
        block.assign(kFillBlock, fill);
    }
    for (std::uint64_t left = size; left != 0;) {
        const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(left, kFillBlock));
        out.AddBorrowed(block.data(), step);
        left -= step;
    }
}

bool ReadByteField(const json::Value& object, const char* key, std::uint8_t& out,
                   std::string& error) {
    std::uint32_t value = 0;
    const bool read = json::ReadU32(object, key, kLargestByte, value, error);
    out = static_cast<std::uint8_t>(value);
    return read;
}

bool ReadWordField(const json::Value& object, const char* key, std::uint32_t& out,
                   std::string& error) {
    return json::ReadU32(object, key, kLargestOffset, out, error);
}

bool ReadRowMember(const RowFormat& format, const json::Value& value, RowLayout::Member& member,
                   std::string& error) {
    if (!value.IsObject()) {
        error = "a member is not an object";
        return false;
    }
    if (!ReadWordField(value, "offset", member.offset, error) ||
        !ReadByteField(value, "fill", member.fill, error) ||
        !ReadWordField(value, "fillLength", member.fillLength, error) ||
        (format.entrySize > 8 && !ReadWordField(value, "word", member.word, error))) {
        return false;
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
            LeadingRun(base + cursor, offsets[i] - cursor, member);
            cursor = end;
        }
        layout.members.push_back(std::move(member));
    }
    layout.alignment = SharedAlignment(offsets, sizes);
    layout.tail = static_cast<std::uint32_t>(namesAt - std::min(cursor, namesAt));
    RunByte(base + namesAt - layout.tail, layout.tail, layout.tailFill);
    return true;
}

std::string RowLayoutText(const RowFormat& format, const RowLayout& layout, bool exact) {
    std::string text = "{\"format\": \"" + std::string(format.name) +
                       "\", \"exact\": " + (exact ? "true" : "false") +
                       ", \"alignment\": " + std::to_string(layout.alignment) +
                       ", \"tail\": " + std::to_string(layout.tail) +
                       ", \"tailFill\": " + std::to_string(layout.tailFill) + ", \"members\": [";
    for (std::size_t i = 0; i < layout.members.size(); ++i) {
        const RowLayout::Member& member = layout.members[i];
        text += std::string(i == 0 ? "" : ",") +
                "\n  {\"offset\": " + std::to_string(member.offset) +
                ", \"fill\": " + std::to_string(member.fill) +
                ", \"fillLength\": " + std::to_string(member.fillLength);
        if (format.entrySize > 8) {
            text += ", \"word\": " + std::to_string(member.word);
        }
        if (format.nameFieldSize != 0) {
            text += ", \"name\": " + json::Quoted(member.name);
        }
        text += "}";
    }
    return text + "]}";
}

bool ReadRowLayout(const RowFormat& format, const json::Value& value, std::size_t count,
                   RowLayout& layout, std::string& error) {
    layout = RowLayout{};
    if (!ReadLayoutHead(value, format.name, kLargestAlignment, layout.alignment, error)) {
        return false;
    }
    if (!ReadWordField(value, "tail", layout.tail, error) ||
        !ReadByteField(value, "tailFill", layout.tailFill, error)) {
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
    return true;
}

bool PackRow(const RowFormat& format, const RowLayout& layout, const std::vector<PackedFile>& files,
             FillBlocks& fills, RebuiltContainer& out, std::string& error) {
    const std::size_t count = layout.members.size();
    std::vector<std::uint64_t> offsets(count);
    std::uint64_t cursor = TableEnd(format, count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t recorded = layout.members[i].offset;
        if (files[i].size == 0 && layout.placed) {
            offsets[i] = recorded;  // holds no bytes: stays
            continue;
        }
        offsets[i] =
            layout.placed && recorded >= cursor ? recorded : AlignUp(cursor, layout.alignment);
        cursor = offsets[i] + files[i].size;
    }
    const std::uint64_t names = std::uint64_t{format.nameFieldSize} * count;
    if (cursor + layout.tail + names > kLargestContainer) {
        error = "Can't pack the container: it would pass 4 GiB, more than its offsets reach.";
        return false;
    }
    std::vector<std::uint8_t> tables(format.magic.begin(), format.magic.end());
    tables.resize(static_cast<std::size_t>(TableEnd(format, count)), 0);
    WriteU32LE(&tables[4], static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* entry = &tables[kHeaderSize + format.entrySize * i];
        WriteU32LE(entry, static_cast<std::uint32_t>(offsets[i]));
        WriteU32LE(entry + 4, files[i].size);
        if (format.entrySize > 8) {
            WriteU32LE(entry + 8, layout.members[i].word);
        }
    }
    out.AddOwned(std::move(tables));
    for (std::size_t i = 0; i < count; ++i) {
        if (files[i].size != 0) {
            const std::uint64_t gap = offsets[i] - out.Length();
            const std::uint64_t run = std::min<std::uint64_t>(gap, layout.members[i].fillLength);
            AddFill(out, run, layout.members[i].fill, fills);
            out.AddZeros(gap - run);
            AddPackedFile(out, files[i]);
        }
    }
    AddFill(out, layout.tail, layout.tailFill, fills);
    if (format.nameFieldSize != 0) {
        std::vector<std::uint8_t> block(static_cast<std::size_t>(names), 0);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& name = layout.members[i].name;
            std::copy(name.begin(), name.end(),
                      block.begin() + static_cast<std::ptrdiff_t>(format.nameFieldSize * i));
        }
        out.AddOwned(std::move(block));
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
    return PackRow(format, layout, members, fills, packed, error) &&
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
            if (value == nullptr) {
                row.placed = false;
                row.members.resize(count);
                for (std::uint32_t i = 0; i < count; ++i) {
                    row.members[i].name = FileNameOf(paths[i]);
                    row.members[i].name.resize(
                        std::min<std::size_t>(row.members[i].name.size(), format.nameFieldSize));
                }
            }
            return PackRow(format, row, files, fills, out, error);
        });
}

}  // namespace fogbell::plugin
