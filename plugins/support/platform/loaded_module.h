// Entry points of another plug-in that is already loaded into the process, reached without
// loading it. Plug-ins never link each other; the AIX decoder uses this to ask the AIX explorer
// whether an address is one of the explorer's live track records.
#pragma once

#include <cstdint>

namespace fogbell::plugin {

// The entry point type that AskLoadedModule calls.
using AddressQuery = std::int32_t (*)(const void* address);

// Calls `symbol` (an AddressQuery) of every module already loaded whose file name, without its
// folder, is moduleName plus the platform's library suffix ("aixvault" -> "aixvault.so" or
// "aixvault.dll"), and returns 1 as soon as one answers non-zero. 0 when no such module is
// loaded, when it has no such entry point, or when every one answers 0. A module is never
// loaded by this call; one that is found stays loaded until the query has returned.
std::int32_t AskLoadedModule(const char* moduleName, const char* symbol, const void* address);

}  // namespace fogbell::plugin
