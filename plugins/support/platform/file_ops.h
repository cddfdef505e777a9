// The few file operations the support library needs beside the mapping, on UTF-8 paths, by the
// platform's own calls (file_ops_posix.cpp, file_ops_win32.cpp). On Windows every path is
// converted to UTF-16 at this boundary, so that any name works; nothing above it sees the
// difference.
#pragma once

#include <cstdint>
#include <cstdio>
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

// Creates (or replaces) the file at path with bytes and flushes it and its folder entry to disk.
// False when any step failed (LastSystemError tells why); a partial file may then remain.
bool WriteFileDurably(const std::string& path, const std::vector<std::uint8_t>& bytes);
// The whole file at path; false when it cannot be opened. A read that fails part-way leaves in
// out what was read, as a file cut short would.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out);
// Removes the file at path and flushes its folder entry; a missing file is no error.
void RemoveFileDurably(const std::string& path);

// True when every byte of [begin, end) lies in memory the process may write (a container handed
// in as memory may sit inside a read-only mapping). Where the system cannot be asked, memory
// handed in is taken to be writable, as the interface requires of callers.
bool MemoryWritable(std::uintptr_t begin, std::uintptr_t end);

// Bytes to put back at an offset of a file.
struct FilePatch {
    std::uint64_t offset = 0;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
};
enum class PatchResult {
    kDone,           // every patch written and flushed to disk
    kCannotOpen,     // the file cannot be opened for writing (LastSystemError)
    kLengthDiffers,  // the file is not expectedLength bytes long: nothing written
    kFailed,         // a write or the flush failed (LastSystemError)
};
// Writes the patches into the file at path, when it is expectedLength bytes long, and flushes.
PatchResult PatchFileDurably(const char* path, std::uint64_t expectedLength,
                             const std::vector<FilePatch>& patches);

}  // namespace fogbell::plugin
