// The steps every explorer takes to open a container from a path around its memory loader, and
// to open a replacement file.
#pragma once

#include <cstdint>

#include "file_checks.h"
#include "journal.h"
#include "mapped_file.h"
#include "path_loader.h"
#include "plugin_support.h"

namespace fogbell::plugin {

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

// LoadFromPath (path_loader.h) of a container: put back first when a replacement was cut short,
// and then the text says so after a successful load.
template <class MemoryLoader, class Adopt>
int LoadContainerFromPath(const char* path, const char* noFreeHandleText, MemoryLoader&& load,
                          Adopt&& adopt) {
    bool restored = false;
    const int handle = LoadFromPath(
        path, noFreeHandleText,
        [&restored](const char* name, void** view) {
            return OpenContainerFile(name, view, restored);
        },
        load, adopt);
    if (handle != kNoHandle && restored) {
        SetRestoredText(path);
    }
    return handle;
}

// LoadContainerFromPath for a record that keeps the mapped file in its `file` field.
template <class Record, class MemoryLoader>
int LoadRecordFromPath(const char* path, const char* noFreeHandleText, MemoryLoader&& load) {
    return LoadContainerFromPath(path, noFreeHandleText, load, AdoptIntoRecord<Record>);
}

}  // namespace fogbell::plugin
