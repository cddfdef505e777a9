// UTF-8 <-> UTF-16 for the Windows system calls: every path inside the plug-ins is UTF-8 and is
// converted only where it meets the system, into the form that works at any length. Header-only;
// Windows builds only.
#pragma once

#if defined(_WIN32)

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace fogbell::plugin {

// The UTF-16 form of a UTF-8 text. Names come from containers as bytes and need not be UTF-8:
// a byte that does not belong to a valid UTF-8 sequence stands for the character of the same
// number (U+0080 to U+00FF, as in Latin-1), so that every name gives one file name and
// different names stay different. Valid UTF-8 is decoded as such.
inline std::wstring WideFromUtf8(const char* text) {
    if (text == nullptr) {
        return {};
    }
    const std::size_t size = std::strlen(text);
    std::wstring wide;
    wide.reserve(size);
    for (std::size_t i = 0; i < size;) {
        const auto lead = static_cast<unsigned char>(text[i]);
        // Length of the UTF-8 sequence starting here, 0 when it is none (bad lead byte, a
        // continuation byte missing, an overlong form, a surrogate, beyond U+10FFFF).
        std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
        if (length > size - i) {
            length = 0;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                length = 0;
            }
        }
        if (length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
                (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
                length = 0;
            }
        }
        if (length <= 1) {
            wide += static_cast<wchar_t>(lead);  // ASCII, or a byte standing for itself
            ++i;
            continue;
        }
        constexpr unsigned kLeadBits[] = {0, 0, 0x1F, 0x0F, 0x07};
        std::uint32_t code = lead & kLeadBits[length];
        for (std::size_t k = 1; k < length; ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (code >= 0x10000) {  // a surrogate pair
            code -= 0x10000;
            wide += static_cast<wchar_t>(0xD800 + (code >> 10));
            wide += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(code);
        }
        i += length;
    }
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

// The extended form of a full path as GetFullPathNameW gives it (absolute, backslashes, no `.`
// or `..`): `C:\a` gives `\\?\C:\a`, `\\server\share\a` gives `\\?\UNC\server\share\a`. Device
// paths (`\\.\`) and paths already in the extended form stay as they are.
inline std::wstring ExtendedPath(const std::wstring& full) {
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) {
        return full;
    }
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    const bool drive = full.size() >= 3 && full[1] == L':' && full[2] == L'\\';
    return drive ? L"\\\\?\\" + full : full;
}

// A UTF-8 path as the wide Win32 calls take it at any length (without the extended form they
// refuse paths longer than MAX_PATH): made absolute against the current folder, forward slashes
// turned into backslashes, `.` and `..` resolved (the extended form resolves nothing itself),
// then extended. Empty for an empty path. The same as the host's SystemWidePath.
inline std::wstring SystemPathFromUtf8(const char* text) {
    const std::wstring path = WideFromUtf8(text);
    if (path.empty() || path.rfind(L"\\\\?\\", 0) == 0) {
        return path;
    }
    // A failure leaves the path to the call that uses it, which then reports it.
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

}  // namespace fogbell::plugin

#endif
