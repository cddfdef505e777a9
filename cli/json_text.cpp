#include "cli/json_text.h"

#include <cstdio>

#include "text/utf8_text.h"

namespace fogbell::cli {

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
