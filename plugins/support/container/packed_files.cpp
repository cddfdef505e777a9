#include "packed_files.h"

#include <cstring>

#include "file_ops.h"
#include "plugin_support.h"

namespace fogbell::plugin {

bool OpenPackedFiles(const char* const* paths, std::uint32_t count, std::vector<PackedFile>& out) {
    out.clear();
    out.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const char* path = paths[i];
        std::uint64_t size = 0;
        if (path == nullptr) {
            SetErrorText("NULL file pointer.");
            return false;
        }
        if (!FileSizeOf(path, size)) {
            SetErrorText("Can't open %s file.", path);
            return false;
        }
        if (size > kLargestContainer) {
            SetErrorText("%s is larger than 4 GiB.", path);
            return false;
        }
        PackedFile packed;
        packed.path = path;
        packed.size = static_cast<std::uint32_t>(size);
        out.push_back(std::move(packed));
    }
    return true;
}

void AddPackedFile(RebuiltContainer& out, const PackedFile& member) {
    if (member.path.empty()) {
        out.AddBorrowed(member.bytes, member.size);
    } else {
        out.AddFile(member.path, member.size);
    }
}

bool SameBytes(const RebuiltContainer& container, const std::uint8_t* base, std::uint64_t length) {
    if (container.Length() != length) {
        return false;
    }
    std::uint64_t at = 0;
    for (const RebuiltContainer::Piece& piece : container.Pieces()) {
        const std::uint8_t* here = base + at;
        if (!piece.own.empty()) {
            if (std::memcmp(here, piece.own.data(), piece.own.size()) != 0) {
                return false;
            }
        } else if (!piece.file.empty()) {
            return false;  // only bytes in memory are compared
        } else if (piece.borrowed != nullptr) {
            if (piece.borrowed != here && std::memcmp(here, piece.borrowed, piece.size) != 0) {
                return false;
            }
        } else {
            for (std::uint64_t i = 0; i < piece.size; ++i) {
                if (here[i] != 0) {
                    return false;
                }
            }
        }
        at += piece.size;
    }
    return true;
}

const char* KeepLayoutText(std::string text) {
    static std::string kept;
    kept = std::move(text);
    return kept.c_str();
}

std::string FileNameOf(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}

bool ReadLayoutHead(const json::Value& value, const char* format, std::uint32_t largest,
                    std::uint32_t& alignment, std::string& error) {
    const json::Value* kind = value.Find("format");
    if (!value.IsObject() || kind == nullptr || !kind->IsString() || kind->text != format) {
        error = std::string("not a layout of this kind (\"format\": \"") + format + "\")";
        return false;
    }
    if (!json::ReadU32(value, "alignment", largest, alignment, error)) {
        return false;
    }
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
        error = "\"alignment\" must be a power of two";
        return false;
    }
    return true;
}

bool WritePacked(const char* outPath, const RebuiltContainer& container) {
    if (outPath == nullptr) {
        SetErrorText("NULL file pointer.");
        return false;
    }
    return WriteRebuiltContainer(outPath, container);
}

}  // namespace fogbell::plugin
