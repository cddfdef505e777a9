// POSIX implementation of the support library's file operations (file_ops.h).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "file_ops.h"

namespace fogbell::plugin {
namespace {

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Flushes a folder's entries (a file created or removed in it) to disk. Some file systems
// cannot flush a folder; what they keep is then all that can be had.
void FlushFolder(const std::string& file) {
    const int folder = open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
}

bool WriteAllAt(int descriptor, const std::uint8_t* data, std::size_t size, std::uint64_t at) {
    while (size > 0) {
        const ssize_t written = pwrite(descriptor, data, size, static_cast<off_t>(at));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        at += static_cast<std::uint64_t>(written);
    }
    return true;
}

}  // namespace

bool PathExists(const char* path) {
    return access(path, F_OK) == 0;
}

bool FileSizeOf(const char* path, std::uint64_t& size) {
    struct stat info {};
    if (stat(path, &info) != 0 || info.st_size < 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool FileModifiedLocal(const char* path, int (&fields)[6]) {
    struct stat info {};
    std::tm local{};
    if (stat(path, &info) != 0 || localtime_r(&info.st_mtime, &local) == nullptr) {
        return false;
    }
    const int values[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                           local.tm_hour,        local.tm_min,     local.tm_sec};
    std::copy(values, values + 6, fields);
    return true;
}

std::FILE* OpenStdioFile(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

std::string LastSystemError() {
    return std::strerror(errno);
}

bool WriteFileDurably(const std::string& path, const std::function<bool(const PutBytes&)>& fill) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return false;
    }
    std::uint64_t at = 0;
    const PutBytes put = [descriptor, &at](const std::uint8_t* data, std::size_t size) {
        const bool written = WriteAllAt(descriptor, data, size, at);
        at += size;
        return written;
    };
    bool saved = fill(put) && fsync(descriptor) == 0;
    const int error = errno;
    saved = close(descriptor) == 0 && saved;
    if (!saved) {
        errno = error;
        return false;
    }
    FlushFolder(path);
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out) {
    out.clear();
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || info.st_size < 0) {
        close(descriptor);
        return true;  // nothing readable: an empty journal
    }
    out.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = read(descriptor, out.data() + done, out.size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            out.resize(done);  // shorter than it said: read as cut short
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    close(descriptor);
    return true;
}

void RemoveFileDurably(const std::string& path) {
    unlink(path.c_str());
    FlushFolder(path);
}

PatchResult PatchFileDurably(const char* path, std::uint64_t expectedLength,
                             const std::function<bool(const PutBytesAt&)>& patch) {
    const int descriptor = open(path, O_RDWR | O_CLOEXEC);
    if (descriptor < 0) {
        return PatchResult::kCannotOpen;
    }
    struct stat info {};
    if (fstat(descriptor, &info) != 0 ||
        static_cast<std::uint64_t>(info.st_size) != expectedLength) {
        close(descriptor);
        return PatchResult::kLengthDiffers;
    }
    const PutBytesAt put = [descriptor](std::uint64_t at, const std::uint8_t* data,
                                        std::size_t size) {
        return WriteAllAt(descriptor, data, size, at);
    };
    const bool written = patch(put) && fsync(descriptor) == 0;
    const int error = errno;
    close(descriptor);
    errno = error;
    return written ? PatchResult::kDone : PatchResult::kFailed;
}

bool FlushViewBytes(const std::string&, const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return true;
    }
    // msync writes a shared mapping's pages to its file whoever mapped it, and waits for the
    // disk; it wants a page-aligned address.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t start = begin / page * page;
    return msync(reinterpret_cast<void*>(start), size + (begin - start), MS_SYNC) == 0;
}

// Linux lists its mappings with their permissions in /proc/self/maps.
bool MemoryWritable(std::uintptr_t begin, std::uintptr_t end) {
    std::FILE* maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) {
        return true;
    }
    std::uintptr_t covered = begin;
    char line[512];
    while (covered < end && std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long low = 0;
        unsigned long high = 0;
        char permissions[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &low, &high, permissions) != 3) {
            continue;
        }
        if (covered >= low && covered < high) {
            if (permissions[1] != 'w') {
                break;
            }
            covered = high;
        }
    }
    std::fclose(maps);
    return covered >= end;
}

}  // namespace fogbell::plugin
