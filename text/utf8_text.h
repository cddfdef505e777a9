// UTF-8 as names from containers give it: bytes that need not be UTF-8 at all. Valid sequences
// are told from the rest by one rule (no overlong forms, no surrogates, nothing above
// U+10FFFF), which the JSON writer, the host's paths and the plug-ins' paths all follow.
//
// The wide form is UTF-16 in wchar_t units, as the wide Win32 calls take it; the conversions are
// plain code, so that they give the same units on every system and are tested on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fogbell {

// Length of the valid UTF-8 sequence starting at text[i] (i < text.size()): 1 for an ASCII
// byte, 2 to 4 for a longer sequence, 0 when the byte starts none (a stray continuation byte, a
// sequence cut short, an overlong form, a surrogate, beyond U+10FFFF).
constexpr std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || length > text.size() - i) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    if (length >= 3) {
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
            return 0;
        }
    }
    return length;
}

// The UTF-16 form of UTF-8 text. A byte that belongs to no valid sequence stands for the
// character of the same number (U+0080 to U+00FF, as in Latin-1), so that every name gives one
// file name and different names stay different.
inline std::wstring WideFromUtf8(std::string_view text) {
    constexpr unsigned kLeadBits[] = {0, 0, 0x1F, 0x0F, 0x07};  // a lead byte's bits, by length
    constexpr std::uint32_t kFirstPaired = 0x10000;             // needs a surrogate pair
    std::wstring wide;
    wide.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length <= 1) {
            wide += static_cast<wchar_t>(lead);  // ASCII, or a byte standing for itself
            ++i;
            continue;
        }
        std::uint32_t code = lead & kLeadBits[length];
        for (std::size_t k = 1; k < length; ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if (code >= kFirstPaired) {
            code -= kFirstPaired;
            wide += static_cast<wchar_t>(0xD800 + (code >> 10));
            wide += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(code);
        }
        i += length;
    }
    return wide;
}

// The UTF-8 form of UTF-16 text. A surrogate without its partner becomes U+FFFD, as the
// system's own conversion (WideCharToMultiByte) makes it.
inline std::string Utf8FromWide(std::wstring_view wide) {
    constexpr std::uint32_t kReplacement = 0xFFFD;
    std::string text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t code = static_cast<std::uint32_t>(wide[i]) & 0xFFFF;
        if (code >= 0xD800 && code <= 0xDFFF) {
            const std::uint32_t low =
                i + 1 < wide.size() ? static_cast<std::uint32_t>(wide[i + 1]) & 0xFFFF : 0;
            if (code <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                code = kReplacement;
            }
        }
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += static_cast<char>(0xE0 | (code >> 12));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (code >> 18));
            text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

// As above for a NUL-terminated text; empty for none.
inline std::string Utf8FromWide(const wchar_t* wide) {
    return wide == nullptr ? std::string() : Utf8FromWide(std::wstring_view(wide));
}

}  // namespace fogbell
