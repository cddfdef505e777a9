#include "native_path.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fogbell {

#if defined(_WIN32)

std::wstring WideFromUtf8(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
    if (count > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                            count);
    }
    return wide;
}

std::string Utf8FromWide(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') {
        return {};
    }
    const int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (count <= 1) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), count, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(count - 1));
    return narrow;
}

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
    const std::wstring widePath = WideFromUtf8(path);
    const std::wstring wideMode = WideFromUtf8(mode);
    return widePath.empty() ? nullptr : _wfopen(widePath.c_str(), wideMode.c_str());
}

#else

bool DirectoryWritable(const std::filesystem::path& directory) {
    return access(directory.c_str(), W_OK) == 0;
}

std::FILE* OpenFileUtf8(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

#endif

}  // namespace fogbell
