// UTF-8 <-> UTF-16 for the Windows system calls: every path inside the plug-ins is UTF-8 and is
// converted only where it meets the system. Header-only; Windows builds only.
#pragma once

#if defined(_WIN32)

#include <windows.h>

#include <string>

namespace fogbell::plugin {

// The UTF-16 form of a UTF-8 text (bytes that are not UTF-8 become U+FFFD, so such a name names
// no file rather than a different one).
inline std::wstring WideFromUtf8(const char* text) {
    if (text == nullptr || *text == '\0') {
        return {};
    }
    const int count = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (count <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), count);
    wide.resize(static_cast<std::size_t>(count - 1));  // without the terminator
    return wide;
}

// The UTF-8 form of a UTF-16 text.
inline std::string Utf8FromWide(const wchar_t* text) {
    if (text == nullptr || *text == L'\0') {
        return {};
    }
    const int count = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), count, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(count - 1));
    return narrow;
}

}  // namespace fogbell::plugin

#endif
