// Windows implementation of the support library's file operations (file_ops.h): the wide
// Win32 calls, with UTF-8 paths converted at this boundary into the form that works at any
// length (wide_path.h).
#include <windows.h>

#include <limits>

#include "file_ops.h"
#include "wide_path.h"

namespace fogbell::plugin {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// WriteFile and ReadFile move at most a DWORD at a time.
constexpr std::size_t kMaxChunk = 1u << 30;

HANDLE OpenWide(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    const std::wstring wide = SystemPathFromUtf8(path.c_str());
    if (wide.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(wide.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// Writes size bytes at offset at; false on the first failure.
bool WriteAllAt(HANDLE file, const std::uint8_t* data, std::size_t size, std::uint64_t at) {
    while (size > 0) {
        const std::size_t chunk = size < kMaxChunk ? size : kMaxChunk;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD written = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(chunk), &written, &where) || written == 0) {
            return false;
        }
        data += written;
        size -= written;
        at += written;
    }
    return true;
}

}  // namespace

bool PathExists(const char* path) {
    const std::wstring wide = SystemPathFromUtf8(path);
    return !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FileSizeOf(const char* path, std::uint64_t& size) {
    const std::wstring wide = SystemPathFromUtf8(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

bool FileModifiedLocal(const char* path, int (&fields)[6]) {
    const std::wstring wide = SystemPathFromUtf8(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME local{};
    SYSTEMTIME time{};
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToSystemTime(&local, &time)) {
        return false;
    }
    const int values[6] = {time.wYear, time.wMonth,  time.wDay,
                           time.wHour, time.wMinute, time.wSecond};
    for (int i = 0; i < 6; ++i) {
        fields[i] = values[i];
    }
    return true;
}

std::FILE* OpenStdioFile(const char* path, const char* mode) {
    const std::wstring widePath = SystemPathFromUtf8(path);
    const std::wstring wideMode = WideFromUtf8(mode);
    if (widePath.empty() || wideMode.empty()) {
        return nullptr;
    }
    return _wfopen(widePath.c_str(), wideMode.c_str());
}

std::string LastSystemError() {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? Utf8FromWide(text) : std::string();
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(error) : message;
}

// NTFS journals its own metadata, so a created or removed entry needs no folder flush here.
bool WriteFileDurably(const std::string& path, const std::function<bool(const PutBytes&)>& fill) {
    HANDLE file = OpenWide(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::uint64_t at = 0;
    const PutBytes put = [file, &at](const std::uint8_t* data, std::size_t size) {
        const bool written = WriteAllAt(file, data, size, at);
        at += size;
        return written;
    };
    const bool saved = fill(put) && FlushFileBuffers(file);
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return saved;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out) {
    out.clear();
    HANDLE file = OpenWide(path, GENERIC_READ, kShareAll, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
        static_cast<unsigned long long>(size.QuadPart) <= std::numeric_limits<std::size_t>::max()) {
        out.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (done < out.size()) {
            const std::size_t left = out.size() - done;
            DWORD got = 0;
            if (!ReadFile(file, out.data() + done,
                          static_cast<DWORD>(left < kMaxChunk ? left : kMaxChunk), &got, nullptr) ||
                got == 0) {
                break;  // read as cut short
            }
            done += got;
        }
        out.resize(done);
    }
    CloseHandle(file);
    return true;
}

void RemoveFileDurably(const std::string& path) {
    const std::wstring wide = SystemPathFromUtf8(path.c_str());
    if (!wide.empty()) {
        DeleteFileW(wide.c_str());
    }
}

PatchResult PatchFileDurably(const char* path, std::uint64_t expectedLength,
                             const std::function<bool(const PutBytesAt&)>& patch) {
    HANDLE file = OpenWide(path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return PatchResult::kCannotOpen;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) ||
        static_cast<std::uint64_t>(size.QuadPart) != expectedLength) {
        CloseHandle(file);
        return PatchResult::kLengthDiffers;
    }
    const PutBytesAt put = [file](std::uint64_t at, const std::uint8_t* data, std::size_t count) {
        return WriteAllAt(file, data, count, at);
    };
    const bool written = patch(put) && FlushFileBuffers(file);
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return written ? PatchResult::kDone : PatchResult::kFailed;
}

bool FlushViewBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return true;
    }
    // FlushViewOfFile writes the dirty pages of whichever view holds them; FlushFileBuffers, on
    // a handle of our own (the view's owner shares writing), puts them and the metadata on disk.
    if (FlushViewOfFile(data, static_cast<SIZE_T>(size)) == 0) {
        return false;
    }
    HANDLE file = OpenWide(path, GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool flushed = FlushFileBuffers(file) != 0;
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return flushed;
}

// VirtualQuery describes the region of pages each address lies in; every region up to end must
// be committed with a protection that allows writing.
bool MemoryWritable(std::uintptr_t begin, std::uintptr_t end) {
    constexpr DWORD kWritable =
        PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    std::uintptr_t covered = begin;
    while (covered < end) {
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(reinterpret_cast<const void*>(covered), &region, sizeof region) == 0) {
            return false;
        }
        if (region.State != MEM_COMMIT || (region.Protect & kWritable) == 0 ||
            (region.Protect & PAGE_GUARD) != 0) {
            return false;
        }
        const auto regionEnd =
            reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (regionEnd <= covered) {
            return false;
        }
        covered = regionEnd;
    }
    return true;
}

}  // namespace fogbell::plugin
