// POSIX implementation of the mapped container file: open + shared read-write mmap.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

#include "mapped_file.h"
#include "plugin_support.h"

namespace fogbell::plugin {

MappedFile* OpenMappedFile(const char* path, void** view) {
    SetOk();
    if (path == nullptr) {
        SetErrorText("NULL file pointer.");
        return nullptr;
    }
    const int descriptor = open(path, O_RDWR | O_CLOEXEC);
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
    void* address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (address == MAP_FAILED) {
        SetErrorText("Unable to mapview the file: %s!", path);
        CloseMappedFile(file);
        return nullptr;
    }
    file->view = address;
    file->length = length;
    *view = address;
    return file;
}

void CloseMappedFile(MappedFile* file) {
    if (file == nullptr) {
        return;
    }
    if (file->view != nullptr) {
        munmap(file->view, file->length);
    }
    if (file->descriptor >= 0) {
        close(file->descriptor);
    }
    delete file;
}

std::uint32_t MappedLength(const MappedFile* file) {
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    if (file == nullptr) {
        return 0;
    }
    return file->length > kMax ? kMax : static_cast<std::uint32_t>(file->length);
}

}  // namespace fogbell::plugin
