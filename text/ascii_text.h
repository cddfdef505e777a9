// ASCII rules for names, extensions, INI keys and tags, the same in every
// process whatever locale it runs in (the window's process sets the user's,
// under which the C library's case functions may fold bytes above ASCII, or
// fold "I" to a dotless i). Only the ASCII letters change case; every other
// byte stays as it is and compares exactly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fogbell {

constexpr char ToLowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char ToUpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// text with its ASCII letters in lower case.
inline std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = ToLowerAscii(c);
    }
    return lower;
}

// text with its ASCII letters in upper case.
inline std::string ToUpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        c = ToUpperAscii(c);
    }
    return upper;
}

// True when a and b are equal but for the case of ASCII letters.
constexpr bool EqualNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// As above for NUL-terminated names, without measuring them first (lookups
// compare many).
constexpr bool EqualNoCaseAscii(const char* a, const char* b) {
    for (; ToLowerAscii(*a) == ToLowerAscii(*b); ++a, ++b) {
        if (*a == '\0') {
            return true;
        }
    }
    return false;
}

constexpr bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Space, tab, line feed, vertical tab, form feed, carriage return: white space
// as the "C" locale has it.
constexpr bool IsAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The value of a hexadecimal digit (either case), or -1 for any other byte.
constexpr int HexDigitValue(char c) {
    return IsAsciiDigit(c)        ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

}  // namespace fogbell
