#include "loaded_module.h"

#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace fogbell::plugin {
namespace {

#if defined(_WIN32)
constexpr const char* kLibrarySuffix = ".dll";
#else
constexpr const char* kLibrarySuffix = ".so";
#endif

#if !defined(_WIN32)
// The part of a path after its last folder separator.
const char* FileNameOf(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}
#endif

}  // namespace

#if defined(_WIN32)

std::int32_t AskLoadedModule(const char* moduleName, const char* symbol, const void* address) {
    const std::string fileName = std::string(moduleName) + kLibrarySuffix;
    HMODULE module = nullptr;
    // Flag 0: the module's reference count is raised, so it cannot go away during the query.
    if (!GetModuleHandleExA(0, fileName.c_str(), &module) || module == nullptr) {
        return 0;
    }
    std::int32_t answer = 0;
    // GetProcAddress hands out every entry point as FARPROC; the real type is AddressQuery. The
    // cast goes through void* so that the compiler accepts the change of function type.
    if (auto query = reinterpret_cast<AddressQuery>(
            reinterpret_cast<void*>(GetProcAddress(module, symbol)))) {
        answer = query(address) != 0 ? 1 : 0;
    }
    FreeLibrary(module);
    return answer;
}

#else

namespace {

struct Search {
    std::string fileName;
    std::vector<std::string> paths;
};

int CollectMatching(dl_phdr_info* info, std::size_t /*size*/, void* data) {
    auto& search = *static_cast<Search*>(data);
    if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0' &&
        search.fileName == FileNameOf(info->dlpi_name)) {
        search.paths.emplace_back(info->dlpi_name);
    }
    return 0;  // go on: the same file name may be loaded from two folders
}

}  // namespace

std::int32_t AskLoadedModule(const char* moduleName, const char* symbol, const void* address) {
    Search search;
    search.fileName = std::string(moduleName) + kLibrarySuffix;
    dl_iterate_phdr(CollectMatching, &search);
    for (const std::string& path : search.paths) {
        // RTLD_NOLOAD: only a module that is loaded already is returned (and held until dlclose).
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (module == nullptr) {
            continue;  // unloaded since the search
        }
        std::int32_t answer = 0;
        if (auto query = reinterpret_cast<AddressQuery>(dlsym(module, symbol))) {
            answer = query(address) != 0 ? 1 : 0;
        }
        dlclose(module);
        if (answer != 0) {
            return 1;
        }
    }
    return 0;
}

#endif

}  // namespace fogbell::plugin
