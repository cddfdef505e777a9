#include "unique_names.h"

#include <cstring>

#include "text/ascii_text.h"

namespace fogbell::plugin {

std::uint64_t FoldedNameHash(const char* name) {
    constexpr std::uint64_t kOffsetBasis = 14695981039346656037ull;
    constexpr std::uint64_t kPrime = 1099511628211ull;
    std::uint64_t hash = kOffsetBasis;
    for (; *name != '\0'; ++name) {
        hash = (hash ^ static_cast<unsigned char>(ToLowerAscii(*name))) * kPrime;
    }
    return hash ^ (hash >> 32);  // the high bits into the low ones, which pick the slot
}

bool UsableStoredName(const char* name) {
    return name[std::strspn(name, " ")] != '\0';
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
