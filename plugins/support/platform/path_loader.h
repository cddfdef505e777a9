// The steps a plug-in takes to open a file from a path around its memory loader, whatever the
// kind of file: the checks, the free slot, the mapping, and the hand-over of the mapped file to
// the new handle's record.
#pragma once

#include <cstdint>

#include "file_checks.h"
#include "mapped_file.h"
#include "plugin_support.h"

namespace fogbell::plugin {

// Sets "OK", checks the name, finds a free slot (noFreeHandleText when there is none), refuses
// an empty file (text left at "OK"), maps it with open(path, &view) -> MappedFile* (null with
// its text) and runs load(view, length) -> handle. On success adopt(handle, file) takes the file
// over and the handle is returned; otherwise the mapping is released and -1 returned with the
// text of the step that failed.
template <class Open, class MemoryLoader, class Adopt>
int LoadFromPath(const char* path, const char* noFreeHandleText, Open&& open, MemoryLoader&& load,
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
    MappedFilePtr file(open(path, &view));
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

// Adopts a mapped file into the record of a handle that keeps it in its `file` field.
template <class Record>
void AdoptIntoRecord(int handle, MappedFile* file) {
    static_cast<Record*>(RecordAt(handle))->file = file;
}

// LoadFromPath of a file mapped read-only, for a record that keeps it in its `file` field.
template <class Record, class MemoryLoader>
int LoadReadOnlyRecord(const char* path, const char* noFreeHandleText, MemoryLoader&& load) {
    return LoadFromPath(
        path, noFreeHandleText,
        [](const char* name, void** view) { return OpenMappedFile(name, view, FileAccess::kRead); },
        load, AdoptIntoRecord<Record>);
}

}  // namespace fogbell::plugin
