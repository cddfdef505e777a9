// A shared library loaded at run time, and lookup of its entry points by name.
#pragma once

#include <string>

namespace fogbell {

class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library at path; false (and the loader's message in Error()) when it fails.
    bool Open(const std::string& path);
    // Unloads the library; every entry point taken from it becomes invalid.
    void Close();
    bool IsOpen() const { return module_ != nullptr; }

    // The address of the exported symbol, or null when the library lacks it.
    void* Symbol(const char* name) const;

    // Typed lookup: Entry<int (*)(int)>("fnCloseFile").
    template <class Function>
    Function Entry(const char* name) const {
        return reinterpret_cast<Function>(Symbol(name));
    }

    const std::string& Error() const { return error_; }

    // The platform's file name ending of a plug-in library, with the dot (".so", ".dll").
    static const char* Suffix();

  private:
    void* module_ = nullptr;
    std::string error_;
};

}  // namespace fogbell
