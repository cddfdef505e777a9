// Windows paths at any length. Without the extended form (`\\?\C:\...`, `\\?\UNC\server\share\...`)
// the wide Win32 calls refuse paths longer than MAX_PATH; in that form they take the path as it
// is, so it must be absolute and resolved first. The host and the plug-ins put every path they
// hand the system through SystemWidePath, so that a name reaches the same file from either side.
//
// The forms themselves are plain text rules, tested on every system; SystemWidePath asks the
// system to resolve the path and exists on Windows only (its <windows.h> belongs in the sources
// that call the system, never in a header of wider reach).
#pragma once

#include <string>
#include <string_view>

#if defined(_WIN32)
#include <windows.h>

#include "text/utf8_text.h"
#endif

namespace fogbell {

inline constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";          // \\?\ before a full path
inline constexpr std::wstring_view kExtendedUncPrefix = L"\\\\?\\UNC\\";  // \\?\UNC\ before server
inline constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";            // \\.\ before a device
inline constexpr std::wstring_view kUncPrefix = L"\\\\";                  // \\ before server\share

// True when text begins with start.
constexpr bool StartsWithWide(std::wstring_view text, std::wstring_view start) {
    return text.substr(0, start.size()) == start;
}

// The extended form of a full path as GetFullPathNameW gives it (absolute, backslashes, no `.`
// or `..`): `C:\a` gives `\\?\C:\a`, `\\server\share\a` gives `\\?\UNC\server\share\a`. Device
// paths (`\\.\`), paths already in the extended form and anything not a full path stay as they
// are.
inline std::wstring ExtendedPath(const std::wstring& full) {
    if (StartsWithWide(full, kExtendedPrefix) || StartsWithWide(full, kDevicePrefix)) {
        return full;
    }
    if (StartsWithWide(full, kUncPrefix)) {
        return std::wstring(kExtendedUncPrefix) + full.substr(kUncPrefix.size());
    }
    const bool drive = full.size() >= 3 && full[1] == L':' && full[2] == L'\\';
    return drive ? std::wstring(kExtendedPrefix) + full : full;
}

// The ordinary form of an extended path (the one texts show and further paths are built on).
inline std::wstring OrdinaryPath(const std::wstring& path) {
    if (StartsWithWide(path, kExtendedUncPrefix)) {
        return std::wstring(kUncPrefix) + path.substr(kExtendedUncPrefix.size());
    }
    if (StartsWithWide(path, kExtendedPrefix)) {
        return path.substr(kExtendedPrefix.size());
    }
    return path;
}

#if defined(_WIN32)
// The path as the wide Win32 calls take it at any length: made absolute against the current
// folder, forward slashes turned into backslashes, `.` and `..` resolved (the extended form
// resolves nothing itself), then extended. Empty for an empty path.
inline std::wstring SystemWidePath(const std::wstring& path) {
    if (path.empty() || StartsWithWide(path, kExtendedPrefix)) {
        return path;
    }
    // GetFullPathNameW takes and gives paths of any length; a failure leaves the path to the
    // call that uses it, which then reports it.
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return path;
    }
    full.resize(length);
    return ExtendedPath(full);
}

// As above for a UTF-8 path (WideFromUtf8).
inline std::wstring SystemWidePath(std::string_view utf8) {
    return SystemWidePath(WideFromUtf8(utf8));
}
#endif

}  // namespace fogbell
