// Windows implementation of the mapped file: CreateFileW + CreateFileMappingW + MapViewOfFile,
// read-write when allowed. Paths arrive as UTF-8 and are converted here (wide_path.h).
#include <windows.h>

#include <algorithm>
#include <limits>
#include <new>

#include "mapped_file.h"
#include "mapping_guard.h"
#include "plugin_support.h"
#include "wide_path.h"

namespace fogbell::plugin {

namespace {

// Shared with other readers and writers, as the file was always opened; deleting or renaming
// it while it is open is allowed too, as on other systems.
constexpr DWORD kShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// True when an open for writing failed only because writing is not allowed here: the file may
// still be opened for reading.
bool WritingRefused(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

// Opens path as access asks; the handle, or INVALID_HANDLE_VALUE. writable tells how.
HANDLE OpenHandle(const std::wstring& path, FileAccess access, bool& writable) {
    writable = false;
    // A file marked read-only is opened for reading without trying to write: Windows refuses
    // the write anyway, and Wine running as root would allow it.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool markedReadOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (access == FileAccess::kReadWriteOrRead && !markedReadOnly) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareMode, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            writable = true;
            return file;
        }
        if (!WritingRefused(GetLastError())) {
            return INVALID_HANDLE_VALUE;
        }
    }
    return CreateFileW(path.c_str(), GENERIC_READ, kShareMode, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

MappedFile* OpenMappedFile(const char* path, void** view, FileAccess access) {
    SetOk();
    if (path == nullptr) {
        SetErrorText("NULL file pointer.");
        return nullptr;
    }
    bool writable = false;
    const std::wstring widePath = SystemPathFromUtf8(path);
    HANDLE handle =
        widePath.empty() ? INVALID_HANDLE_VALUE : OpenHandle(widePath, access, writable);
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrorText("Unable to open the file: %s!", path);
        return nullptr;
    }
    auto* file = new (std::nothrow) MappedFile;
    if (file == nullptr) {
        CloseHandle(handle);
        SetErrorText("Unable to open the file: %s!", path);
        return nullptr;
    }
    file->handle = handle;
    file->writable = writable;
    file->path = path;
    if (view == nullptr) {
        return file;  // opened without a view
    }

    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart <= 0 ||
        static_cast<unsigned long long>(size.QuadPart) > std::numeric_limits<std::size_t>::max()) {
        SetErrorText("Unable to map the file: %s!", path);
        CloseMappedFile(file);
        return nullptr;
    }
    HANDLE mapping = CreateFileMappingW(handle, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY,
                                        0, 0, nullptr);
    if (mapping == nullptr) {
        SetErrorText("Unable to map the file: %s!", path);
        CloseMappedFile(file);
        return nullptr;
    }
    void* address = MapViewOfFile(mapping, writable ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ, 0, 0, 0);
    // The view keeps the mapping alive; its handle is not needed any more.
    CloseHandle(mapping);
    if (address == nullptr) {
        SetErrorText("Unable to mapview the file: %s!", path);
        CloseMappedFile(file);
        return nullptr;
    }
    file->view = address;
    file->length = static_cast<std::size_t>(size.QuadPart);
    GuardMapping(address, file->length, writable, handle);
    *view = address;
    return file;
}

void CloseMappedFile(MappedFile* file) {
    if (file == nullptr) {
        return;
    }
    if (file->view != nullptr) {
        UnguardMapping(file->view);
        UnmapViewOfFile(file->view);  // the file's view, or the guard's view in its place
    }
    if (file->handle != nullptr) {
        CloseHandle(file->handle);
    }
    delete file;
}

// Windows refuses to shorten a file while a view of it is mapped (ERROR_USER_MAPPED_FILE), but
// a file on a share can still change beneath the view, and a page can fail to come in while
// the file keeps its length (mapping_guard.h): each gets its own text.
int CheckMappedFileIntact(const MappedFile* file) {
    if (file == nullptr || file->view == nullptr) {
        return 1;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file->handle, &size) &&
        static_cast<unsigned long long>(size.QuadPart) < file->length) {
        SetErrorText("%s was cut short by another program while it was open: it is damaged.",
                     file->path.c_str());
        return 0;
    }
    if (MappingDamaged(file->view)) {
        SetErrorText("%s could not be read while it was open: it is damaged.", file->path.c_str());
        return 0;
    }
    return 1;
}

bool FlushMappedRange(const MappedFile* file, std::uint64_t from, std::uint64_t end) {
    if (file == nullptr || file->view == nullptr || end <= from || end > file->length) {
        return file != nullptr && end <= from;
    }
    // FlushViewOfFile writes the dirty pages; FlushFileBuffers makes the system put them and
    // the file's metadata on the disk.
    return FlushViewOfFile(static_cast<std::uint8_t*>(file->view) + from,
                           static_cast<SIZE_T>(end - from)) != 0 &&
           FlushFileBuffers(file->handle) != 0;
}

void ReleaseMappedRange(const MappedFile* file, std::uint64_t from, std::uint64_t end) {
    if (file == nullptr || file->view == nullptr) {
        return;
    }
    const std::uint64_t stop = std::min<std::uint64_t>(end, file->length);
    if (stop <= from) {
        return;
    }
    // Unlocking pages that were never locked takes them out of the working set (the call then
    // reports ERROR_NOT_LOCKED, which is the expected answer); they come back from the file.
    VirtualUnlock(static_cast<std::uint8_t*>(file->view) + from, static_cast<SIZE_T>(stop - from));
}

std::uint32_t MappedLength(const MappedFile* file) {
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    if (file == nullptr) {
        return 0;
    }
    return file->length > kMax ? kMax : static_cast<std::uint32_t>(file->length);
}

}  // namespace fogbell::plugin
