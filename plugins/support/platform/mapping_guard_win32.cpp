// Windows implementation of the guard for mapped views whose pages can no longer be read
// (mapping_guard.h).
//
// A touch of such a page raises EXCEPTION_IN_PAGE_ERROR (the file's network share or removable
// disk is gone, a read failed), or, under Wine when a Linux program has cut the file short,
// EXCEPTION_ACCESS_VIOLATION. A vectored exception handler sees it before any frame of the
// faulting thread. For an address inside a registered view it puts a view of memory of its own
// in the file's place, at the same address, holding every byte the file still gives and zeros
// for the rest, marks the view damaged and lets the touch run again. Windows cannot unmap part
// of a view, so the whole view is replaced at once. The bytes are read into the new memory
// before the old view goes, and a thread that touches the view while it is away faults and
// waits, so no thread sees a zero where the file still has a byte. (Wine maps a view in two
// steps, zeros first: there a thread that reads at that very moment may.)
//
// An access violation is ours only when the access is one the view allows (a read, or a write to
// a writable view): a write to a read-only view is a bug of the program and stays an error, as
// do faults anywhere else, which are passed on untouched.
#include <windows.h>

#include <cstdint>
#include <mutex>

#include "mapping_guard.h"
#include "mapping_guard_slots.h"

namespace fogbell::plugin {
namespace {

// Reads go through a DWORD count; a megabyte at a time keeps each call short.
constexpr DWORD kReadChunk = 1u << 20;
// ExceptionInformation of an access violation or an in-page error.
constexpr std::size_t kAccessKind = 0;  // 0 read, 1 write, 8 execution
constexpr std::size_t kAddress = 1;
constexpr ULONG_PTR kRead = 0;
constexpr ULONG_PTR kWrite = 1;

std::once_flag g_installOnce;

// Copies the file's bytes from offset 0 into to (length bytes of writable memory) as far as
// the file still holds them and can be read; the rest stays zero.
void ReadBack(HANDLE file, std::uint8_t* to, std::size_t length) {
    LARGE_INTEGER size{};
    if (file == nullptr || !GetFileSizeEx(file, &size) || size.QuadPart <= 0) {
        return;
    }
    const auto available = static_cast<unsigned long long>(size.QuadPart);
    const std::size_t wanted = available < length ? static_cast<std::size_t>(available) : length;
    for (std::size_t done = 0; done < wanted;) {
        const std::size_t left = wanted - done;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(done);
        at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(done) >> 32);
        DWORD got = 0;
        if (!ReadFile(file, to + done, left < kReadChunk ? static_cast<DWORD>(left) : kReadChunk,
                      &got, &at) ||
            got == 0) {
            return;
        }
        done += got;
    }
}

// Puts a view of fresh memory, filled from the file, in the place of the slot's view; false
// when the system refused a step (the view may then be gone: the fault is passed on).
bool ReplaceView(GuardSlot& slot) {
    auto* const base = reinterpret_cast<void*>(slot.begin.load(std::memory_order_relaxed));
    const std::size_t length =
        slot.end.load(std::memory_order_relaxed) - slot.begin.load(std::memory_order_relaxed);
    const auto size = static_cast<std::uint64_t>(length);
    HANDLE memory =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                           static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
    if (memory == nullptr) {
        return false;
    }
    void* fill = MapViewOfFile(memory, FILE_MAP_WRITE, 0, 0, length);
    bool replaced = false;
    if (fill != nullptr) {
        ReadBack(static_cast<HANDLE>(slot.file.load(std::memory_order_relaxed)),
                 static_cast<std::uint8_t*>(fill), length);
        // The new view keeps the view's own access: a write to a read-only container stays a
        // fault.
        const DWORD access =
            slot.writable.load(std::memory_order_relaxed) ? FILE_MAP_WRITE : FILE_MAP_READ;
        replaced = UnmapViewOfFile(base) != 0 &&
                   MapViewOfFileEx(memory, access, 0, 0, length, base) == base;
        UnmapViewOfFile(fill);
    }
    CloseHandle(memory);  // the view at base keeps the memory alive
    return replaced;
}

// True when the page at address may now be accessed as asked: a retried touch then succeeds
// instead of faulting again for ever.
bool Accessible(std::uintptr_t address, bool write) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0 ||
        region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) {
        return false;
    }
    constexpr DWORD kWritable =
        PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return !write || (region.Protect & kWritable) != 0;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    const bool inPage = record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR;
    if ((!inPage && record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION) ||
        record.NumberParameters <= kAddress) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const ULONG_PTR kind = record.ExceptionInformation[kAccessKind];
    const auto address = static_cast<std::uintptr_t>(record.ExceptionInformation[kAddress]);
    GuardSlot* slot = GuardSlotHolding(address);
    if (slot == nullptr || (kind != kRead && kind != kWrite)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const bool write = kind == kWrite;
    if (!inPage && write && !slot->writable.load(std::memory_order_relaxed)) {
        return EXCEPTION_CONTINUE_SEARCH;  // a write to a read-only view: a real bug
    }
    int state = kMapped;
    if (slot->state.compare_exchange_strong(state, kReplacing, std::memory_order_acq_rel)) {
        state = ReplaceView(*slot) ? kReplaced : kLost;
        slot->state.store(state, std::memory_order_release);
    }
    while (state == kReplacing) {
        Sleep(1);
        state = slot->state.load(std::memory_order_acquire);
    }
    return state == kReplaced && Accessible(address, write) ? EXCEPTION_CONTINUE_EXECUTION
                                                            : EXCEPTION_CONTINUE_SEARCH;
}

// Keeps the library that holds OnException loaded until the process ends: the system calls the
// handler for as long as it is registered, and it is never removed.
void StayLoaded() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&OnException), &self);
}

void Install() {
    StayLoaded();
    AddVectoredExceptionHandler(1, OnException);  // first: before handlers that would report it
}

}  // namespace

bool GuardMapping(const void* view, std::size_t length, bool writable, void* file) {
    if (view == nullptr || length == 0) {
        return false;
    }
    std::call_once(g_installOnce, Install);
    return RegisterGuardedView(view, length, writable, file);
}

}  // namespace fogbell::plugin
