#include "name_list.h"

#include <cstdlib>
#include <cstring>

#include "text/ascii_text.h"

namespace fogbell::plugin {

char** AllocateNameBlock(std::size_t count, std::size_t textBytes) {
    if (count >= SIZE_MAX / sizeof(char*) || textBytes > SIZE_MAX - (count + 1) * sizeof(char*)) {
        return nullptr;
    }
    return static_cast<char**>(std::malloc((count + 1) * sizeof(char*) + textBytes));
}

void FreeNameList(char** list) {
    std::free(list);
}

std::uint32_t ParseTrackNumber(const char* name) {
    static constexpr char kPrefix[] = "Track";
    if (name == nullptr || std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) {
        return 0;
    }
    const char* p = name + sizeof kPrefix - 1;
    while (IsAsciiSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (!IsAsciiDigit(*p)) {
        return 0;
    }
    std::uint64_t value = 0;
    constexpr std::uint64_t kSaturated = 0xFFFFFFFFu;
    for (; IsAsciiDigit(*p); ++p) {
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > kSaturated) {
            value = kSaturated;  // out of range: like strtoul, the largest value
        }
    }
    const auto number = static_cast<std::uint32_t>(value);
    return negative ? 0u - number : number;
}

}  // namespace fogbell::plugin
