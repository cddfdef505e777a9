// The table of guarded views (mapping_guard_slots.h) and the parts of the guard's interface
// that are the same on every system.
#include "mapping_guard_slots.h"

#include <mutex>

#include "mapping_guard.h"

namespace fogbell::plugin {
namespace {

constexpr std::size_t kGuardSlots = 256;

GuardSlot g_slots[kGuardSlots];
std::mutex g_slotsMutex;  // registrations only; the handlers never take it

GuardSlot* FindSlot(const void* view) {
    const auto begin = reinterpret_cast<std::uintptr_t>(view);
    for (GuardSlot& slot : g_slots) {
        if (slot.end.load(std::memory_order_relaxed) != 0 &&
            slot.begin.load(std::memory_order_relaxed) == begin) {
            return &slot;
        }
    }
    return nullptr;
}

}  // namespace

bool RegisterGuardedView(const void* view, std::size_t length, bool writable, void* file) {
    std::lock_guard lock(g_slotsMutex);
    for (GuardSlot& slot : g_slots) {
        if (slot.end.load(std::memory_order_relaxed) == 0) {
            const auto begin = reinterpret_cast<std::uintptr_t>(view);
            slot.state.store(kMapped, std::memory_order_relaxed);
            slot.file.store(file, std::memory_order_relaxed);
            slot.writable.store(writable, std::memory_order_relaxed);
            slot.begin.store(begin, std::memory_order_relaxed);
            slot.end.store(begin + length, std::memory_order_release);
            return true;
        }
    }
    return false;
}

GuardSlot* GuardSlotHolding(std::uintptr_t address) {
    for (GuardSlot& slot : g_slots) {
        const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (end != 0 && address >= slot.begin.load(std::memory_order_relaxed) && address < end) {
            return &slot;
        }
    }
    return nullptr;
}

void UnguardMapping(const void* view) {
    std::lock_guard lock(g_slotsMutex);
    if (GuardSlot* slot = FindSlot(view)) {
        slot->end.store(0, std::memory_order_release);
    }
}

bool MappingDamaged(const void* view) {
    std::lock_guard lock(g_slotsMutex);
    const GuardSlot* slot = FindSlot(view);
    return slot != nullptr && slot->state.load(std::memory_order_acquire) != kMapped;
}

}  // namespace fogbell::plugin
