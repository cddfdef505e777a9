#include "host/system/durable_files.h"

#include <windows.h>

#include "host/system/system_files.h"
#include "text/windows_path.h"

namespace fogbell {
namespace {

// FlushFileBuffers of what CreateFileW(path, access, flags) gives; false when either fails.
bool FlushPath(const std::filesystem::path& path, DWORD access, DWORD flags) {
    const HANDLE file = CreateFileW(SystemWidePath(path.wstring()).c_str(), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool flushed = FlushFileBuffers(file) != 0;
    return CloseHandle(file) != 0 && flushed;
}

}  // namespace

bool SyncFile(const std::filesystem::path& path) {
    return FlushPath(path, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL);
}

bool SyncFolder(const std::filesystem::path&) {
    // NTFS journals the rename itself; a folder has nothing to flush here.
    return true;
}

bool FileWritable(const std::filesystem::path& path) {
    const HANDLE file = CreateFileW(SystemWidePath(path.wstring()).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

bool ProcessRunning(long id) {
    if (id <= 0) {
        return true;
    }
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) {
        return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
    }
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) != 0 && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

}  // namespace fogbell
