// File names made from track names. Track names come from the containers' own bytes, so they
// must never lead a write outside the chosen folder, and two tracks of one run must never share a
// file. The explorers number the names they list by the same rule as the host numbers the files
// it writes, so that a name looks the same in the list and on disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include "text/ascii_text.h"

namespace fogbell {

// name with " (number)" before its extension (the part from its last dot, unless that dot
// starts the name): "dup.adx" and 2 give "dup (2).adx", ".wav" and 2 give ".wav (2)".
inline std::string NumberedName(std::string_view name, std::uint64_t number) {
    const std::size_t dot = name.rfind('.');
    const std::size_t cut = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
    return std::string(name.substr(0, cut)) + " (" + std::to_string(number) + ")" +
           std::string(name.substr(cut));
}

// The track name as one safe file name: path separators ("/" and "\"), control characters and
// the characters that common file systems refuse (< > : " | ? *) become "_"; a name that is
// empty or made of dots only ("." or "..") has every character replaced by "_" ("_" when
// empty). Any other name is kept as it is, bytes above ASCII too (the wide form keeps each one
// apart), and names Windows reserves for devices too (the extended form of a path reaches a
// file of that name).
inline std::string SafeOutputName(std::string_view trackName) {
    const auto refused = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || std::strchr("/\\<>:\"|?*", c) != nullptr;
    };
    std::string name(trackName);
    std::replace_if(name.begin(), name.end(), refused, '_');
    if (name.empty()) {
        return "_";
    }
    if (name.find_first_not_of('.') == std::string::npos) {
        name.assign(name.size(), '_');
    }
    return name;
}

// The file names of one run of outputs (an extraction, a save of several tracks), so that no two
// tracks of the run are written to one file, even where their names are equal or become equal
// as safe names ("a:b" and "a?b") or differ only in case (one file on Windows).
class DistinctFileNames {
  public:
    // fileName when no name taken before equals it without regard to ASCII case, else
    // NumberedName(fileName, N) with N the first number from 2 that gives a free name. The name
    // returned is taken.
    std::string Take(const std::string& fileName) {
        constexpr std::uint64_t kFirstNumber = 2;  // "a.adx" is the first, "a (2).adx" the next
        std::string name = fileName;
        for (std::uint64_t number = kFirstNumber; !taken_.insert(ToLowerAscii(name)).second;
             ++number) {
            name = NumberedName(fileName, number);
        }
        return name;
    }

  private:
    std::unordered_set<std::string> taken_;  // in ASCII lower case
};

}  // namespace fogbell
