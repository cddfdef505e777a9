// A container or stream file opened as one memory view. A container is mapped read-write when
// the file can be opened for writing, so that writes through the view change the file on disk
// at once; otherwise (no write permission, a read-only mount) it is mapped read-only and can
// still be listed, played and extracted. Files that are only read are always mapped read-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "mapping_guard.h"

namespace fogbell::plugin {

// How a file is to be opened.
enum class FileAccess {
    kReadWriteOrRead,  // read-write when the file allows it, else read-only (containers)
    kRead,             // read-only (streams, replacement files)
};

// An open file, and its view when one was mapped. Owned by whoever opened it; released with
// CloseMappedFile.
struct MappedFile {
#if defined(_WIN32)
    void* handle = nullptr;  // the file's HANDLE
#else
    int descriptor = -1;
#endif
    void* view = nullptr;
    std::size_t length = 0;
    bool writable = false;  // the view may be written (the file was opened read-write)
    std::string path;       // as the caller named it: journals and texts name the file by it
};

// Opens path and, when view is not null, maps the whole file and stores the view's address
// through it. Sets "OK" first. Returns null on failure with "Unable to open the file: %s!" or
// "Unable to map the file: %s!" (an empty file cannot be mapped).
MappedFile* OpenMappedFile(const char* path, void** view,
                           FileAccess access = FileAccess::kReadWriteOrRead);

// Unmaps the view (when mapped), closes the file and frees the record. Null is allowed.
void CloseMappedFile(MappedFile* file);

// 1 while file (null: a caller's memory, always 1) still holds every byte of its view: the file
// is no shorter than the view and no touch of the view has met a page that could not be read
// (mapping_guard.h). Otherwise 0 with "%s was cut short by another program while it was open:
// it is damaged." naming the file, or, when the file is not shorter (Windows: a page failed to
// come in), "%s could not be read while it was open: it is damaged.".
int CheckMappedFileIntact(const MappedFile* file);

// As CheckMappedFileIntact, but the system is asked about the file only once a touch of the view
// has met a page that could not be read: 1 until then. For calls that read no byte of the view
// themselves and are made once per track; a cut that nothing has touched yet reads zeros at the
// first touch, which then marks the view damaged.
inline int CheckMappingUndamaged(const MappedFile* file) {
    if (file == nullptr || file->view == nullptr || !MappingDamaged(file->view)) {
        return 1;
    }
    return CheckMappedFileIntact(file);  // 0 with the text that tells how it was damaged
}

// Flushes the view's bytes from..end (offsets into the view) and the file to disk; false when the
// system reports a failure.
bool FlushMappedRange(const MappedFile* file, std::uint64_t from, std::uint64_t end);

// Lets the system take back the pages of file's view that lie wholly inside [from, end) (offsets
// into the view): they stay mapped and come back from the file when touched again, so memory
// holds only what is being read. Nothing for a null file or one without a view; never for the
// caller's memory, whose pages would be lost.
void ReleaseMappedRange(const MappedFile* file, std::uint64_t from, std::uint64_t end);

// How far a forward reader moves before the pages behind it are let go: a multiple of every page
// size, large enough that the calls cost nothing beside the reading.
inline constexpr std::uint64_t kReleaseStep = 1u << 20;

// For a reader of file's view now at offset: releases the pages from released up to offset once
// they make kReleaseStep bytes, and moves released there. A reader that went back (a loop, a
// seek) starts again from there. Nothing for a null file.
inline void ReleaseBehind(const MappedFile* file, std::uint64_t offset, std::uint64_t& released) {
    if (file == nullptr) {
        return;
    }
    if (offset < released) {
        released = offset / kReleaseStep * kReleaseStep;
    }
    if (offset - released >= kReleaseStep) {
        const std::uint64_t end = offset / kReleaseStep * kReleaseStep;
        ReleaseMappedRange(file, released, end);
        released = end;
    }
}

// The mapped length as a 32-bit container length: formats address at most 2^32 - 1 bytes, so a
// longer file is seen as its first 2^32 - 1 bytes.
std::uint32_t MappedLength(const MappedFile* file);

struct MappedFileCloser {
    void operator()(MappedFile* file) const { CloseMappedFile(file); }
};
// A mapped file closed when the pointer goes.
using MappedFilePtr = std::unique_ptr<MappedFile, MappedFileCloser>;

}  // namespace fogbell::plugin
