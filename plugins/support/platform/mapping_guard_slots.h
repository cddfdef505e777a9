// The table of views the guard knows (mapping_guard.h), shared by the POSIX and the Windows
// fault handlers. Registrations fill and empty it under a lock; a handler reads it without one,
// as it may run in any thread at any moment (a signal handler may take no lock at all).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace fogbell::plugin {

// What became of a registered view. POSIX replaces lost pages one at a time and only ever
// moves a view from kMapped to kReplaced. On Windows the thread that moves a view from kMapped
// to kReplacing replaces the whole view, and every other thread that faults on it meanwhile
// waits until it is kReplaced or kLost.
enum GuardState : int {
    kMapped,     // the file's own pages
    kReplacing,  // one thread is putting memory of its own in the view's place
    kReplaced,   // lost pages (POSIX) or the whole view (Windows) are the guard's own memory
    kLost,       // the replacement failed: faults are passed on as they would have been
};

struct GuardSlot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};  // 0: the slot is free
    std::atomic<void*> file{nullptr};    // Windows: the file's HANDLE
    std::atomic<bool> writable{false};
    std::atomic<int> state{kMapped};
};

// Adds a view to the table (GuardMapping, once its handler is installed); false when no slot is
// left.
bool RegisterGuardedView(const void* view, std::size_t length, bool writable, void* file);
// The slot of the registered view that holds address, or null. Takes no lock.
GuardSlot* GuardSlotHolding(std::uintptr_t address);

}  // namespace fogbell::plugin
