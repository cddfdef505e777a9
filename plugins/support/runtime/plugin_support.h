// The plug-in runtime, compiled into every plug-in: the handle table, the last error text, the
// plug-in-wide lock, the guard that keeps exceptions inside, and the argument checks shared by
// all entry points. It needs nothing of the platform: file checks are platform/file_checks.h.
//
// Each plug-in links its own copy, so every plug-in has its own table and its own text and
// nothing is shared between plug-ins or with the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>

namespace fogbell::plugin {

inline constexpr int kHandleCount = 100;
inline constexpr int kNoHandle = -1;
inline constexpr std::size_t kErrorTextCapacity = 1024;
// Paths and names are formatted into texts of this size (the platform's classic path limit).
inline constexpr std::size_t kPathCapacity = 260;

// Holds the plug-in-wide lock: the handle table's slots and the error text are shared by all
// handles, and the host calls one plug-in from several threads. Re-entrant, so an entry point
// that holds it may call helpers that take it again.
class PluginLock {
  public:
    PluginLock();
    ~PluginLock();
    PluginLock(const PluginLock&) = delete;
    PluginLock& operator=(const PluginLock&) = delete;
};

// Index of the lowest free slot, or kNoHandle when all are taken. Sets no text.
int FindFreeHandle();
// Stores a record in a slot that FindFreeHandle returned.
void StoreRecord(int handle, void* record);
// Empties a slot (the caller frees the record).
void ReleaseHandle(int handle);
// The record in a slot; null for a free slot or a handle outside the table.
void* RecordAt(int handle);

// 1 when 0 <= handle < kHandleCount, else 0 with "Handle is invalid.[%08X]".
int CheckHandle(int handle);
// CheckHandle, then 0 with "NULL pointer struct" when the slot is empty.
int CheckHandleRecord(int handle, const void* record);

// The checked record of a handle, or null with the text of CheckHandleRecord.
template <class Record>
Record* LookupRecord(int handle) {
    auto* record = static_cast<Record*>(RecordAt(handle));
    return CheckHandleRecord(handle, record) ? record : nullptr;
}

// Replaces the error text (printf style, always cut to fit the buffer). Returns the characters
// written.
int SetErrorText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Sets the text to "OK".
void SetOk();
// The error text buffer (what fnGetErrorString hands out).
const char* ErrorText();

// 1 for a non-null pointer, else 0 with "NULL memory pointer.".
int CheckMemory(const void* pointer);

// Runs one entry point's body under the plug-in lock. Whatever the body throws is turned into
// the failure result and an error text, so nothing crosses the library boundary.
template <class Result, class Body>
Result Guarded(Result failure, Body&& body) noexcept {
    try {
        PluginLock lock;
        return body();
    } catch (const std::bad_alloc&) {
        SetErrorText("Not enough memory.");
    } catch (...) {
        SetErrorText("Internal error.");
    }
    return failure;
}

// As Guarded, without holding the lock: for work on one handle's own state that may run
// beside calls on other handles (decoding). Helpers it calls lock what they share.
template <class Result, class Body>
Result GuardedUnlocked(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetErrorText("Not enough memory.");
    } catch (...) {
        SetErrorText("Internal error.");
    }
    return failure;
}

}  // namespace fogbell::plugin
