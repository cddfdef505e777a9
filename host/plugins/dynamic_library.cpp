#include "host/plugins/dynamic_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <utility>

#include "host/system/native_path.h"

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

#if defined(_WIN32)

namespace {

// The system's text for an error code, in UTF-8.
std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? Utf8FromWide(text) : std::string();
    if (text != nullptr) {
        LocalFree(text);
    }
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

}  // namespace

bool DynamicLibrary::Open(const std::string& path) {
    Close();
    // The path is UTF-8; LoadLibraryW takes it as UTF-16. No error box for a library that fails.
    const std::wstring wide = WideFromUtf8(path);
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    module_ = wide.empty() ? nullptr : LoadLibraryW(wide.c_str());
    const DWORD error = GetLastError();
    SetErrorMode(previousMode);
    if (module_ == nullptr) {
        error_ = "cannot load " + path + ": " + SystemMessage(error);
        return false;
    }
    error_.clear();
    return true;
}

void DynamicLibrary::Close() {
    if (module_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(module_));
        module_ = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const {
    return module_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name))
                   : nullptr;
}

#else

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

#endif

const char* DynamicLibrary::Suffix() {
#if defined(_WIN32)
    return ".dll";
#else
    return ".so";
#endif
}

}  // namespace fogbell
