// Track-name lists handed out by explorer plug-ins, and the two ways explorers find a track by
// its name.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fogbell::plugin {

// A null-terminated array of count + 1 null pointers, or null when memory runs out.
char** AllocateNameList(std::size_t count);
// Copies at most maxLength characters of name into a block of its own at list[index].
// False when memory runs out.
bool SetListName(char** list, std::size_t index, const char* name, std::size_t maxLength);
// Frees every name, then the array. Null is allowed.
void FreeNameList(char** list);

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

// Sets list[i] to a copy of nameAt(i) (at most maxLength characters) for every i below count.
// When memory runs out, frees the whole list and returns false.
template <class NameAt>
bool FillNameList(char** list, std::size_t count, std::size_t maxLength, NameAt&& nameAt) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!SetListName(list, i, nameAt(i), maxLength)) {
            FreeNameList(list);
            return false;
        }
    }
    return true;
}

// Track number of a name of the form "Track %u" (as scanf reads it: spaces allowed before the
// number, an optional sign, wrapping like an unsigned conversion). 0 when the name does not
// start with "Track" followed by a number.
std::uint32_t ParseTrackNumber(const char* name);

// Names equal without regard to ASCII case (bytes above 0x7F compare exactly).
bool EqualNoCase(const char* a, const char* b);

}  // namespace fogbell::plugin
