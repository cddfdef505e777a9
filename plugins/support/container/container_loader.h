// The steps every explorer takes to open a container from a path around its memory loader.
#pragma once

#include <cstdint>
#include <memory>

#include "journal.h"
#include "mapped_file.h"
#include "plugin_support.h"

namespace fogbell::plugin {

struct MappedFileCloser {
    void operator()(MappedFile* file) const { CloseMappedFile(file); }
};
using MappedFilePtr = std::unique_ptr<MappedFile, MappedFileCloser>;

// Maps the replacement file at path for reading; bytes receives its first byte. Null with "NULL
// file pointer." or "Can't open PATH file." when it cannot be read.
inline MappedFilePtr OpenReplacementFile(const char* path, const std::uint8_t*& bytes) {
    if (path == nullptr) {
        SetErrorText("NULL file pointer.");
        return nullptr;
    }
    void* view = nullptr;
    MappedFilePtr source(OpenMappedFile(path, &view, FileAccess::kRead));
    if (!source) {
        SetErrorText("Can't open %s file.", path);
        return nullptr;
    }
    bytes = static_cast<const std::uint8_t*>(view);
    return source;
}

// Opens the container at path for an explorer: first puts back what a replacement that was cut
// short had overwritten (journal.h; restored tells whether it did), then maps the file,
// read-write when it may be written, else read-only. Null with a text on failure.
inline MappedFile* OpenContainerFile(const char* path, void** view, bool& restored) {
    restored = false;
    if (path != nullptr) {
        const JournalRecovery recovery = RecoverJournal(path);
        if (recovery == JournalRecovery::kFailed) {
            return nullptr;
        }
        restored = recovery == JournalRecovery::kRestored;
    }
    return OpenMappedFile(path, view, FileAccess::kReadWriteOrRead);
}

// Sets "OK", checks the name, finds a free slot (noFreeHandleText when there is none), refuses
// an empty file (text left at "OK"), maps the file (kReadWriteOrRead: a container, put back
// first when a replacement was cut short; kRead: a stream) and runs load(view, length) ->
// handle. On success adopt(handle, file) takes the file over and the handle is returned, with
// the text saying so when the container was put back; otherwise the mapping is released and -1
// returned with the text of the step that failed.
template <class MemoryLoader, class Adopt>
int LoadContainerFromPath(const char* path, const char* noFreeHandleText, MemoryLoader&& load,
                          Adopt&& adopt, FileAccess access = FileAccess::kReadWriteOrRead) {
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
    bool restored = false;
    MappedFilePtr file(access == FileAccess::kRead ? OpenMappedFile(path, &view, access)
                                                   : OpenContainerFile(path, &view, restored));
    if (!file) {
        return kNoHandle;
    }
    const int handle = load(static_cast<std::uint8_t*>(view), MappedLength(file.get()));
    if (handle == kNoHandle) {
        return kNoHandle;
    }
    adopt(handle, file.release());
    if (restored) {
        SetRestoredText(path);
    }
    return handle;
}

// LoadContainerFromPath for a record that keeps the mapped file in its `file` field.
template <class Record, class MemoryLoader>
int LoadRecordFromPath(const char* path, const char* noFreeHandleText, MemoryLoader&& load,
                       FileAccess access = FileAccess::kReadWriteOrRead) {
    return LoadContainerFromPath(
        path, noFreeHandleText, load,
        [](int handle, MappedFile* file) { static_cast<Record*>(RecordAt(handle))->file = file; },
        access);
}

}  // namespace fogbell::plugin
