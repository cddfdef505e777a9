// The steps adxvoice and xmdvoice take to open a stream from a path around their memory loader.
#pragma once

#include <cstdint>

#include "file_checks.h"
#include "mapped_file.h"
#include "plugin_support.h"

namespace fogbell::plugin {

// Checks the name, maps the file (which sets "OK") and runs load(view, length) -> handle. On
// success adopt(handle, file) takes the file over and the handle is returned; otherwise the
// mapping is released and -1 returned with the text of the step that failed. There is no
// free-slot or length test before the mapping: the memory loader refuses what it cannot use,
// and an empty file cannot be mapped.
template <class MemoryLoader, class Adopt>
int LoadStreamFromPath(const char* path, MemoryLoader&& load, Adopt&& adopt) {
    if (!CheckFileName(path)) {
        return kNoHandle;
    }
    void* view = nullptr;
    MappedFilePtr file(OpenMappedFile(path, &view, FileAccess::kRead));
    if (!file) {
        return kNoHandle;
    }
    const int handle = load(static_cast<const std::uint8_t*>(view), MappedLength(file.get()));
    if (handle == kNoHandle) {
        return kNoHandle;
    }
    adopt(handle, file.release());
    return handle;
}

}  // namespace fogbell::plugin
