// The steps every explorer takes to open a container from a path around its memory loader.
#pragma once

#include <cstdint>
#include <memory>

#include "mapped_file.h"
#include "plugin_support.h"

namespace fogbell::plugin {

struct MappedFileCloser {
    void operator()(MappedFile* file) const { CloseMappedFile(file); }
};
using MappedFilePtr = std::unique_ptr<MappedFile, MappedFileCloser>;

// Sets "OK", checks the name, finds a free slot (noFreeHandleText when there is none), refuses
// an empty file (text left at "OK"), maps the file read-write and runs
// load(view, length) -> handle. On success adopt(handle, file) takes the file over and the
// handle is returned; otherwise the mapping is released and -1 returned with the text of the
// step that failed.
template <class MemoryLoader, class Adopt>
int LoadContainerFromPath(const char* path, const char* noFreeHandleText, MemoryLoader&& load,
                          Adopt&& adopt) {
    SetOk();
    if (!CheckFileName(path)) {
        return kNoHandle;
    }
    if (FindFreeHandle() == kNoHandle) {
        SetErrorText("%s", noFreeHandleText);
        return kNoHandle;
    }
    if (GetFileLength(path) == 0) {
        return kNoHandle;
    }
    void* view = nullptr;
    MappedFilePtr file(OpenMappedFile(path, &view));
    if (!file) {
        return kNoHandle;
    }
    const int handle = load(static_cast<std::uint8_t*>(view), MappedLength(file.get()));
    if (handle == kNoHandle) {
        return kNoHandle;
    }
    adopt(handle, file.release());
    return handle;
}

// LoadContainerFromPath for a record that keeps the mapped file in its `file` field.
template <class Record, class MemoryLoader>
int LoadRecordFromPath(const char* path, const char* noFreeHandleText, MemoryLoader&& load) {
    return LoadContainerFromPath(path, noFreeHandleText, load, [](int handle, MappedFile* file) {
        static_cast<Record*>(RecordAt(handle))->file = file;
    });
}

}  // namespace fogbell::plugin
