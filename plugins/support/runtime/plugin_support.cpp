#include "plugin_support.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "fogbell_plugin_common.h"

namespace fogbell::plugin {
namespace {

std::recursive_mutex& PluginMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::array<void*, kHandleCount> g_slots{};
char g_errorText[kErrorTextCapacity] = {};

bool InTable(int handle) {
    return handle >= 0 && handle < kHandleCount;
}

std::size_t SlotIndex(int handle) {
    return static_cast<std::size_t>(handle);
}

}  // namespace

PluginLock::PluginLock() {
    PluginMutex().lock();
}
PluginLock::~PluginLock() {
    PluginMutex().unlock();
}

int FindFreeHandle() {
    PluginLock lock;
    for (int handle = 0; handle < kHandleCount; ++handle) {
        if (g_slots[SlotIndex(handle)] == nullptr) {
            return handle;
        }
    }
    return kNoHandle;
}

void StoreRecord(int handle, void* record) {
    PluginLock lock;
    if (InTable(handle)) {
        g_slots[SlotIndex(handle)] = record;
    }
}

void ReleaseHandle(int handle) {
    StoreRecord(handle, nullptr);
}

void* RecordAt(int handle) {
    PluginLock lock;
    return InTable(handle) ? g_slots[SlotIndex(handle)] : nullptr;
}

int CheckHandle(int handle) {
    if (InTable(handle)) {
        return 1;
    }
    SetErrorText("Handle is invalid.[%08X]", static_cast<unsigned>(handle));
    return 0;
}

int CheckHandleRecord(int handle, const void* record) {
    if (!CheckHandle(handle)) {
        return 0;
    }
    if (record == nullptr) {
        SetErrorText("NULL pointer struct");
        return 0;
    }
    return 1;
}

int SetErrorText(const char* format, ...) {
    PluginLock lock;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(g_errorText, sizeof g_errorText, format, args);
    va_end(args);
    if (written < 0) {
        g_errorText[0] = '\0';
        return 0;
    }
    const auto capacity = static_cast<int>(sizeof g_errorText - 1);
    return written < capacity ? written : capacity;
}

void SetOk() {
    SetErrorText("OK");
}

const char* ErrorText() {
    return g_errorText;
}

int CheckMemory(const void* pointer) {
    if (pointer == nullptr) {
        SetErrorText("NULL memory pointer.");
        return 0;
    }
    return 1;
}

}  // namespace fogbell::plugin

extern "C" FOGBELL_PLUGIN_API const char* fnGetErrorString(void) {
    return fogbell::plugin::ErrorText();
}
