// What every explorer's pack (a container built from a layout and member files) shares: the
// member files opened as read-only views, the check that a layout rebuilds its container byte
// for byte, and the layout text handed out to the host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "json_reader.h"
#include "mapped_file.h"
#include "plugin_support.h"
#include "rebuilt_container.h"

namespace fogbell::plugin {

// A member to pack: a file, read only when the container is written, or bytes in memory.
struct PackedFile {
    std::string path;                     // the file, or empty for bytes in memory
    const std::uint8_t* bytes = nullptr;  // bytes in memory: the first, or null when empty
    std::uint32_t size = 0;
};

// Appends the member's bytes to out.
void AddPackedFile(RebuiltContainer& out, const PackedFile& member);

// The count files at paths with their sizes, in order (read later, when written). False with the
// error text set ("NULL file pointer.", "Can't open PATH file.", "PATH is larger than 4 GiB.") when
// one cannot be.
bool OpenPackedFiles(const char* const* paths, std::uint32_t count, std::vector<PackedFile>& out);

// True when the container's pieces give exactly the length bytes at base.
bool SameBytes(const RebuiltContainer& container, const std::uint8_t* base, std::uint64_t length);

// Keeps text as the plug-in's layout text and returns it: valid until the next call that
// keeps one.
const char* KeepLayoutText(std::string text);

// The last component of a path (after the last '/' or '\\').
std::string FileNameOf(const char* path);

// The head of a layout: an object of format ("format"), whose "alignment" is a power of two
// up to largest. False with a text naming the field at fault.
bool ReadLayoutHead(const json::Value& value, const char* format, std::uint32_t largest,
                    std::uint32_t& alignment, std::string& error);

// The packed container written to outPath (flushed), or the error text set and no file left.
// A null layout or outPath is refused with "NULL file pointer.".
bool WritePacked(const char* outPath, const RebuiltContainer& container);

// The body of an explorer's fnPackFiles: the layout text parsed (null for none), the member
// files opened, build(layout, files, out, error) laid out and written to outPath (flushed).
// 1, or 0 with the error text set and no file at outPath.
template <class Build>
std::int32_t PackFilesEntry(const char* layout, const char* const* paths, std::uint32_t count,
                            const char* outPath, Build&& build) {
    return Guarded(0, [&] {
        if (outPath == nullptr || (count != 0 && paths == nullptr)) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        if (count == 0) {
            SetErrorText("Nothing to pack: no member files.");
            return 0;
        }
        std::string error;
        std::optional<json::Value> value;
        if (layout != nullptr && !(value = json::Parse(layout, error))) {
            SetErrorText("Damaged layout: %s.", error.c_str());
            return 0;
        }
        std::vector<PackedFile> files;
        if (!OpenPackedFiles(paths, count, files)) {
            return 0;
        }
        RebuiltContainer out;
        if (!build(value ? &*value : nullptr, files, out, error)) {
            SetErrorText("%s", error.c_str());
            return 0;
        }
        if (!WritePacked(outPath, out)) {
            return 0;
        }
        SetOk();
        return 1;
    });
}

}  // namespace fogbell::plugin
