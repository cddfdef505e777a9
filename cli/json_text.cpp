#include "cli/json_text.h"

#include <cstdio>

namespace fogbell::cli {

std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4
                               : lead >= 0xE0               ? 3
                               : lead >= 0xC2               ? 2
                                                            : 0;
    if (length == 0 || lead > 0xF4 || i + length > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
        return 0;
    }
    return length;
}

namespace {

std::string Escaped(unsigned code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", code);
    return buffer;
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += Escaped(c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (std::size_t n = Utf8SequenceLength(text, i); n != 0) {
            out.append(text, i, n);
            i += n - 1;
        } else {
            out += Escaped(c);
        }
    }
    return out + "\"";
}

}  // namespace fogbell::cli
