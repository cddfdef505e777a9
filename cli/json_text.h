// JSON text: string literals for names that come from containers' own bytes, and the members
// of arrays joined.
#pragma once

#include <string>
#include <vector>

namespace fogbell::cli {

// text as a quoted JSON string. Valid UTF-8 is kept; any other byte above 0x7F is read as
// Latin-1, so the output is always valid JSON whatever the container held.
std::string JsonString(const std::string& text);

// parts with separator between each two: the members of a JSON array, or a list in a line.
inline std::string Joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : separator) + part;
    }
    return text;
}

}  // namespace fogbell::cli
