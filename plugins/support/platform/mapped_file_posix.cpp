// POSIX implementation of the mapped file: open + shared mmap, read-write when allowed.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "mapped_file.h"
#include "mapping_guard.h"
#include "plugin_support.h"

namespace fogbell::plugin {

namespace {

// True when an open for writing failed only because writing is not allowed here: the file may
// still be opened for reading.
bool WritingRefused(int error) {
    return error == EACCES || error == EROFS || error == EPERM || error == ETXTBSY;
}

// Opens path as access asks; the descriptor, or -1. writable tells how it was opened.
int OpenDescriptor(const char* path, FileAccess access, bool& writable) {
    writable = false;
    if (access == FileAccess::kReadWriteOrRead) {
        const int descriptor = open(path, O_RDWR | O_CLOEXEC);
        if (descriptor >= 0) {
            writable = true;
            return descriptor;
        }
        if (!WritingRefused(errno)) {
            return -1;
        }
    }
    return open(path, O_RDONLY | O_CLOEXEC);
}

}  // namespace

MappedFile* OpenMappedFile(const char* path, void** view, FileAccess access) {
    SetOk();
    if (path == nullptr) {
        SetErrorText("NULL file pointer.");
        return nullptr;
    }
    bool writable = false;
    const int descriptor = OpenDescriptor(path, access, writable);
    if (descriptor < 0) {
        SetErrorText("Unable to open the file: %s!", path);
        return nullptr;
    }
    auto* file = new (std::nothrow) MappedFile;
    if (file == nullptr) {
        close(descriptor);
        SetErrorText("Unable to open the file: %s!", path);
        return nullptr;
    }
    file->descriptor = descriptor;
    file->writable = writable;
    file->path = path;
    if (view == nullptr) {
        return file;  // opened without a view
    }

    struct stat info {};
    if (fstat(descriptor, &info) != 0 || info.st_size <= 0 || !S_ISREG(info.st_mode)) {
        SetErrorText("Unable to map the file: %s!", path);
        CloseMappedFile(file);
        return nullptr;
    }
    const auto length = static_cast<std::size_t>(info.st_size);
    const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* address = mmap(nullptr, length, protection, MAP_SHARED, descriptor, 0);
    if (address == MAP_FAILED) {
        SetErrorText("Unable to mapview the file: %s!", path);
        CloseMappedFile(file);
        return nullptr;
    }
    file->view = address;
    file->length = length;
    GuardMapping(address, length);
    *view = address;
    return file;
}

void CloseMappedFile(MappedFile* file) {
    if (file == nullptr) {
        return;
    }
    if (file->view != nullptr) {
        UnguardMapping(file->view);
        munmap(file->view, file->length);
    }
    if (file->descriptor >= 0) {
        close(file->descriptor);
    }
    delete file;
}

int CheckMappedFileIntact(const MappedFile* file) {
    if (file == nullptr || file->view == nullptr) {
        return 1;
    }
    struct stat info {};
    const bool shorter = fstat(file->descriptor, &info) == 0 &&
                         static_cast<std::uint64_t>(info.st_size) < file->length;
    if (shorter || MappingDamaged(file->view)) {
        SetErrorText("%s was cut short by another program while it was open: it is damaged.",
                     file->path.c_str());
        return 0;
    }
    return 1;
}

bool FlushMappedRange(const MappedFile* file, std::uint64_t from, std::uint64_t end) {
    if (file == nullptr || file->view == nullptr || end <= from || end > file->length) {
        return file != nullptr && end <= from;
    }
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t start = from / page * page;  // msync wants a page-aligned address
    return msync(static_cast<std::uint8_t*>(file->view) + start,
                 static_cast<std::size_t>(end - start), MS_SYNC) == 0;
}

void ReleaseMappedRange(const MappedFile* file, std::uint64_t from, std::uint64_t end) {
    if (file == nullptr || file->view == nullptr) {
        return;
    }
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t start = (from + page - 1) / page * page;
    const std::uint64_t stop = std::min<std::uint64_t>(end, file->length) / page * page;
    if (stop <= start) {
        return;
    }
    // A shared file mapping: the pages go back to the page cache (written pages stay written),
    // not lost. posix_madvise's POSIX_MADV_DONTNEED is a mere hint that glibc ignores.
    madvise(static_cast<std::uint8_t*>(file->view) + start, static_cast<std::size_t>(stop - start),
            MADV_DONTNEED);
}

std::uint32_t MappedLength(const MappedFile* file) {
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    if (file == nullptr) {
        return 0;
    }
    return file->length > kMax ? kMax : static_cast<std::uint32_t>(file->length);
}

}  // namespace fogbell::plugin
