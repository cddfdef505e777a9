// POSIX implementation of the guard for truncated mapped files (mapping_guard.h).
#include <dlfcn.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>

#include "mapping_guard.h"
#include "mapping_guard_slots.h"

namespace fogbell::plugin {
namespace {

std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous {};
std::once_flag g_installOnce;

// Maps a page of zeros over the page at address. It is readable and writable whatever the
// view's protection was: writes to it reach no file, and the container is refused as damaged
// before anything is meant to be written.
bool ReplaceLostPage(std::uintptr_t address) {
    const std::uintptr_t page = address & ~(g_pageSize - 1);
    void* mapped = mmap(reinterpret_cast<void*>(page), g_pageSize, PROT_READ | PROT_WRITE,
                        MAP_FIXED | MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped != MAP_FAILED;
}

void PassOn(int signal, siginfo_t* info, void* context) {
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler == SIG_DFL || g_previous.sa_handler == SIG_IGN) {
        // The default action: returning re-runs the touch, which now ends the process as a
        // SIGBUS always did.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(SIGBUS, &fallback, nullptr);
        return;
    }
    g_previous.sa_handler(signal);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    GuardSlot* slot = GuardSlotHolding(address);
    if (slot != nullptr && ReplaceLostPage(address)) {
        slot->state.store(kReplaced, std::memory_order_release);
        return;
    }
    PassOn(signal, info, context);
}

// Keeps the library that holds OnBusError loaded until the process ends: the handler chain may
// lead to it for as long as the process runs.
void StayLoaded() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OnBusError), &info) != 0 && info.dli_fname != nullptr) {
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);  // never closed
    }
}

void Install() {
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) {
        g_pageSize = static_cast<std::uintptr_t>(page);
    }
    StayLoaded();
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previous);
}

}  // namespace

// Only lost pages are replaced here, so neither the view's access nor its file is needed.
bool GuardMapping(const void* view, std::size_t length, bool /*writable*/, void* /*file*/) {
    if (view == nullptr || length == 0) {
        return false;
    }
    std::call_once(g_installOnce, Install);
    return RegisterGuardedView(view, length, false, nullptr);
}

}  // namespace fogbell::plugin
