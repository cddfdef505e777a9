#include "dynamic_library.h"

#include <dlfcn.h>

#include <utility>

namespace fogbell {

DynamicLibrary::~DynamicLibrary() {
    Close();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : module_(std::exchange(other.module_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        module_ = std::exchange(other.module_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynamicLibrary::Open(const std::string& path) {
    Close();
    // RTLD_LOCAL: plug-ins export the same names and must never see each other's symbols.
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const char* message = dlerror();
        error_ = message ? message : "cannot load " + path;
        return false;
    }
    error_.clear();
    return true;
}

void DynamicLibrary::Close() {
    if (module_ != nullptr) {
        dlclose(module_);
        module_ = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const {
    return module_ ? dlsym(module_, name) : nullptr;
}

const char* DynamicLibrary::Suffix() {
#if defined(_WIN32)
    return ".dll";
#else
    return ".so";
#endif
}

}  // namespace fogbell
