#include "unique_names.h"

#include <algorithm>
#include <cstring>

namespace fogbell::plugin {
namespace {

// The character with ASCII letters in lower case: equal folded names are equal without regard
// to case.
unsigned char Folded(char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

}  // namespace

std::uint64_t FoldedNameHash(const char* name) {
    constexpr std::uint64_t kOffsetBasis = 14695981039346656037ull;
    constexpr std::uint64_t kPrime = 1099511628211ull;
    std::uint64_t hash = kOffsetBasis;
    for (; *name != '\0'; ++name) {
        hash = (hash ^ Folded(*name)) * kPrime;
    }
    return hash ^ (hash >> 32);  // the high bits into the low ones, which pick the slot
}

bool EqualFoldedNames(const char* a, const char* b) {
    for (; Folded(*a) == Folded(*b); ++a, ++b) {
        if (*a == '\0') {
            return true;
        }
    }
    return false;
}

bool UsableStoredName(const char* name) {
    return name[std::strspn(name, " ")] != '\0';
}

std::string NumberedName(const std::string& name, std::uint64_t number) {
    const std::size_t dot = name.rfind('.');
    const std::size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, cut) + " (" + std::to_string(number) + ")" + name.substr(cut);
}

std::string FoldedName(const std::string& name) {
    std::string folded(name.size(), '\0');
    std::transform(name.begin(), name.end(), folded.begin(),
                   [](char c) { return static_cast<char>(Folded(c)); });
    return folded;
}

void UniqueNames::Reset(std::size_t count) {
    std::size_t size = 2;
    while (size < 2 * count) {
        size *= 2;
    }
    slots_.assign(size, 0);
    renamed_.clear();
}

}  // namespace fogbell::plugin
