// Track-name lists handed out by explorer plug-ins, and the two ways explorers find a track by
// its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fogbell::plugin {

// Frees a list that MakeNameList made. Null is allowed.
void FreeNameList(char** list);

// One block of count + 1 pointers followed by textBytes bytes for the names they will point at;
// null when memory runs out or the size passes the address range.
char** AllocateNameBlock(std::size_t count, std::size_t textBytes);

// A name list: list[i] is a copy of nameAt(i) cut to at most maxLength characters, for every i
// below count, then a null. One block (names of a large archive cost no allocation each), freed
// with FreeNameList; null when memory runs out. nameAt is called twice for each name and must
// give the same name both times.
template <class NameAt>
char** MakeNameList(std::size_t count, std::size_t maxLength, NameAt&& nameAt) {
    std::size_t textBytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t bytes = strnlen(nameAt(i), maxLength) + 1;
        if (textBytes > SIZE_MAX - bytes) {
            return nullptr;
        }
        textBytes += bytes;
    }
    char** list = AllocateNameBlock(count, textBytes);
    if (list == nullptr) {
        return nullptr;
    }
    char* text = reinterpret_cast<char*>(list + count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        const char* name = nameAt(i);
        const std::size_t length = strnlen(name, maxLength);
        std::memcpy(text, name, length);
        text[length] = '\0';
        list[i] = text;
        text += length + 1;
    }
    list[count] = nullptr;
    return list;
}

// A name list held for the whole plug-in (explorers whose every listing frees the list handed
// out before), freed when the library is unloaded. Touched only under the plug-in lock.
struct PluginNameList {
    char** list = nullptr;

    PluginNameList() = default;
    PluginNameList(const PluginNameList&) = delete;
    PluginNameList& operator=(const PluginNameList&) = delete;
    ~PluginNameList() { FreeNameList(list); }
    // Frees the list held and holds this one instead.
    void Replace(char** names) {
        FreeNameList(list);
        list = names;
    }
};

// Track number of a name of the form "Track %u" (as scanf reads it: spaces allowed before the
// number, an optional sign, wrapping like an unsigned conversion). 0 when the name does not
// start with "Track" followed by a number.
std::uint32_t ParseTrackNumber(const char* name);

}  // namespace fogbell::plugin
