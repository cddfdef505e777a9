// Text comparison for names, extensions and INI keys: ASCII letters match without regard to
// case; every other byte must be equal.
#pragma once

#include <algorithm>
#include <string>

namespace fogbell {

inline bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace fogbell
