// The few file operations the support library needs beside the mapping, on UTF-8 paths, by the
// platform's own calls (file_ops_posix.cpp, file_ops_win32.cpp). On Windows every path is
// converted to UTF-16 at this boundary, so that any name works; nothing above it sees the
// difference.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace fogbell::plugin {

// True when something exists at path.
bool PathExists(const char* path);
// The size of the file at path; false when it cannot be asked.
bool FileSizeOf(const char* path, std::uint64_t& size);
// std::fopen for a UTF-8 path.
// The file's last modification in local time: year, month (1-12), day, hour, minute, second.
// False when the file cannot be read.
bool FileModifiedLocal(const char* path, int (&fields)[6]);
std::FILE* OpenStdioFile(const char* path, const char* mode);

// The last failed call's reason, in the system's words.
std::string LastSystemError();

// Appends size bytes to a file being written from its start; false when the write failed.
using PutBytes = std::function<bool(const std::uint8_t* data, std::size_t size)>;
// Creates (or replaces) the file at path with what fill puts, piece by piece (so that nothing
// need be whole in memory), and flushes it and its folder entry to disk. False when fill
// returned false or any step failed (LastSystemError tells why); a partial file may then remain.
bool WriteFileDurably(const std::string& path, const std::function<bool(const PutBytes&)>& fill);
// The whole file at path; false when it cannot be opened. A read that fails part-way leaves in
// out what was read, as a file cut short would.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out);
// Removes the file at path and flushes its folder entry; a missing file is no error.
void RemoveFileDurably(const std::string& path);

// True when every byte of [begin, end) lies in memory the process may write (a container handed
// in as memory may sit inside a read-only mapping). Where the system cannot be asked, memory
// handed in is taken to be writable, as the interface requires of callers.
bool MemoryWritable(std::uintptr_t begin, std::uintptr_t end);

// Writes size bytes at an offset of a file being patched; false when the write failed.
using PutBytesAt =
    std::function<bool(std::uint64_t offset, const std::uint8_t* data, std::size_t size)>;
enum class PatchResult {
    kDone,           // every patch written and flushed to disk
    kCannotOpen,     // the file cannot be opened for writing (LastSystemError)
    kLengthDiffers,  // the file is not expectedLength bytes long: nothing written
    kFailed,         // patch returned false, or a write or the flush failed (LastSystemError)
};
// Writes what patch puts into the file at path, when it is expectedLength bytes long, and
// flushes.
PatchResult PatchFileDurably(const char* path, std::uint64_t expectedLength,
                             const std::function<bool(const PutBytesAt&)>& patch);

// Writes the bytes of [data, data + size) of a shared writable view of the file at path (a view
// that another part of the process mapped) to the file, and flushes the file to disk: what
// FlushMappedRange does for a view one holds the MappedFile of. False when the system reports a
// failure.
bool FlushViewBytes(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace fogbell::plugin
