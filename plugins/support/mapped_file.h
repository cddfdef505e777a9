// A container file opened as one read-write memory view, so that writes through the view
// change the file on disk at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fogbell::plugin {

// An open file, and its view when one was mapped. Owned by whoever opened it; released with
// CloseMappedFile.
struct MappedFile {
    int descriptor = -1;
    void* view = nullptr;
    std::size_t length = 0;
};

// Opens path read-write and, when view is not null, maps the whole file read-write and stores
// the view's address through it. Sets "OK" first. Returns null on failure with "Unable to open
// the file: %s!" or "Unable to map the file: %s!" (an empty file cannot be mapped).
MappedFile* OpenMappedFile(const char* path, void** view);

// Unmaps the view (when mapped), closes the file and frees the record. Null is allowed.
void CloseMappedFile(MappedFile* file);

// The mapped length as a 32-bit container length: formats address at most 2^32 - 1 bytes, so a
// longer file is seen as its first 2^32 - 1 bytes.
std::uint32_t MappedLength(const MappedFile* file);

}  // namespace fogbell::plugin
