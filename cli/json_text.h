// JSON string literals for names that come from containers' own bytes.
#pragma once

#include <string>

namespace fogbell::cli {

// text as a quoted JSON string. Valid UTF-8 is kept; any other byte above 0x7F is read as
// Latin-1, so the output is always valid JSON whatever the container held.
std::string JsonString(const std::string& text);

// Length of the valid UTF-8 sequence of two to four bytes starting at s[i] (no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 (also for an ASCII byte).
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i);

}  // namespace fogbell::cli
