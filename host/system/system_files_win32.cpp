// Windows implementation of the file operations on UTF-8 paths (system_files.h): the wide Win32
// calls on paths in the extended form.
#include "host/system/system_files.h"

#include <windows.h>

#include "host/system/native_path.h"
#include "text/windows_path.h"

namespace fogbell {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool Attributes(const std::string& path, DWORD& attributes) {
    attributes = GetFileAttributesW(SystemWidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES;
}

// A folder to look into, not a link to one (which RemoveTree removes without following).
bool IsRealFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

}  // namespace

std::string SystemErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result = length ? Utf8FromWide(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.')) {
        result.pop_back();
    }
    return result;
}

std::filesystem::path StreamPath(const std::string& path) {
    return std::filesystem::path(SystemWidePath(path));
}

bool IsFolder(const std::string& path) {
    DWORD attributes = 0;
    return Attributes(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool NameTaken(const std::string& path) {
    DWORD attributes = 0;  // of a link itself: GetFileAttributesW does not follow it
    return Attributes(path, attributes);
}

bool CanReadFile(const std::string& path, std::string& why) {
    HANDLE file = CreateFileW(SystemWidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    CloseHandle(file);
    return true;
}

bool SizeOfFile(const std::string& path, std::uint64_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(SystemWidePath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

bool RemovePath(const std::string& path) {
    DWORD attributes = 0;
    if (!Attributes(path, attributes)) {
        return false;
    }
    const std::wstring wide = SystemWidePath(path);
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(wide.c_str()) != 0
                                                        : DeleteFileW(wide.c_str()) != 0;
}

void RemoveTree(const std::string& path) {
    DWORD attributes = 0;
    if (Attributes(path, attributes) && IsRealFolder(attributes)) {
        for (const std::string& name : FolderNames(path)) {
            RemoveTree(path + "\\" + name);
        }
    }
    RemovePath(path);
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::wstring pattern = SystemWidePath(folder);
    if (pattern.empty()) {
        return {};
    }
    pattern += pattern.back() == L'\\' ? L"*" : L"\\*";
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(Utf8FromWide(name.c_str()));
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The path the system itself gives for the open file: links resolved, the volume named by its
// drive letter. Where the system cannot name it (Wine stops at MAX_PATH characters there), the
// full path of the file that was opened, with its links left as they are.
bool ResolvedPath(const std::string& path, std::string& resolved, std::string& why) {
    const std::wstring wide = SystemWidePath(path);
    HANDLE file = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemErrorText(GetLastError());
        return false;
    }
    constexpr DWORD kLongest = 32768;  // the longest path the system takes
    std::wstring final(kLongest, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, final.data(), kLongest,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= kLongest) {
        final = wide;
    } else {
        final.resize(length);
    }
    resolved = Utf8FromWide(OrdinaryPath(final).c_str());
    return true;
}

void CopyPermissions(const std::string&, const std::string&) {}

}  // namespace fogbell
