#include "host/system/native_path.h"

#include <algorithm>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>

#include <atomic>

#include "host/system/system_files.h"
#include "text/windows_path.h"
#else
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace fogbell {

#if defined(_WIN32)

// Windows has no access test for folders that means anything: a file is created and removed.
bool DirectoryWritable(const std::filesystem::path& directory) {
    wchar_t probe[MAX_PATH + 1] = {};
    if (GetTempFileNameW(directory.c_str(), L"fbw", 0, probe) == 0) {
        return false;
    }
    DeleteFileW(probe);
    return true;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    const std::wstring widePath = SystemWidePath(path);
    const std::wstring wideMode = WideFromUtf8(mode);
    return widePath.empty() ? nullptr : _wfopen(widePath.c_str(), wideMode.c_str());
}

// The new file gets a name of its own beside the old one (a rename cannot cross volumes), is
// flushed, and is moved over the old one with MoveFileExW, which replaces it in one step.
bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
    const std::wstring target = SystemWidePath(path);
    if (target.empty()) {
        return false;
    }
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = target + L".new-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(attempt);
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        constexpr std::size_t kMaxChunk = 1u << 30;  // WriteFile moves a DWORD at a time
        const DWORD chunk = static_cast<DWORD>(std::min(bytes.size() - done, kMaxChunk));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
        done += written;
    }
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    ok = ok && MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(temporary.c_str());
    }
    return ok;
}

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}

bool StandardErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

bool MakeFreshFolder(const std::string& prefix, std::string& made, std::string& why) {
    static std::atomic<unsigned> counter{0};
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = prefix + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(counter++) + "-" +
                                 std::to_string(GetTickCount() % 100000);
        if (CreateDirectoryW(SystemWidePath(name).c_str(), nullptr)) {
            made = name;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            why = SystemErrorText(GetLastError());
            return false;
        }
    }
    why = SystemErrorText(ERROR_ALREADY_EXISTS);
    return false;
}

// MoveFileExW without MOVEFILE_REPLACE_EXISTING refuses an existing target in the same step.
MoveOutcome MoveFileTo(const std::string& from, const std::string& to, bool replace,
                       std::string& why) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (MoveFileExW(SystemWidePath(from).c_str(), SystemWidePath(to).c_str(), flags)) {
        return MoveOutcome::kMoved;
    }
    const DWORD code = GetLastError();
    if (!replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)) {
        return MoveOutcome::kTargetExists;
    }
    why = SystemErrorText(code);
    return MoveOutcome::kFailed;
}

#else

bool DirectoryWritable(const std::filesystem::path& directory) {
    return access(directory.c_str(), W_OK) == 0;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

namespace {

// Writes all bytes to fd, resuming after short writes and interruptions.
bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a rename in directory durable; a failure here loses nothing that was there before.
void SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
    constexpr mode_t kNewFileMode = 0644;
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
        return false;
    }
    std::string temporary = path + ".new-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : kNewFileMode;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(std::filesystem::path(path).parent_path().string());
    return true;
}

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

bool MakeFreshFolder(const std::string& prefix, std::string& made, std::string& why) {
    std::string pattern = prefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    made = pattern;
    return true;
}

MoveOutcome MoveFileTo(const std::string& from, const std::string& to, bool replace,
                       std::string& why) {
    if (!replace) {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return MoveOutcome::kMoved;
        }
        if (errno == EEXIST) {
            return MoveOutcome::kTargetExists;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            return MoveOutcome::kNoExclusive;
        }
        why = std::strerror(errno);
        return MoveOutcome::kFailed;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        why = std::strerror(errno);
        return MoveOutcome::kFailed;
    }
    return MoveOutcome::kMoved;
}

#endif

}  // namespace fogbell
