// afsvault: the explorer plug-in for AFS archives (layout in afs_archive.h).
//
// Members are listed under their stored names and found by the first name equal without regard
// to case. Replacement writes in place through the archive's read-write view, within the
// member's room. Only fnLoadFile and fnReplaceFile reset the error text to "OK": the other
// entry points leave the text of an earlier call in place when they succeed, so a caller reads
// the text right after a failed call.
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "afs_archive.h"
#include "container_loader.h"
#include "fogbell_explorer.h"
#include "mapped_file.h"
#include "name_list.h"
#include "output_file.h"
#include "plugin_support.h"
#include "rebuilt_container.h"

namespace {

using namespace fogbell::plugin;
namespace afs = fogbell::afs;

constexpr const char* kNoFreeHandle = "Not free handle";

// AFSVAULTFILE: one open archive.
struct AfsVaultFile {
    std::int32_t handle = kNoHandle;
    MappedFile* file = nullptr;  // set when the plug-in mapped the archive itself
    afs::Archive archive;
    char** list = nullptr;  // the name list last handed out for this handle
};

AfsVaultFile* Lookup(int handle) {
    return LookupRecord<AfsVaultFile>(handle);
}

// The member called name, or null with the text for a missing name.
afs::Entry* FindMember(AfsVaultFile& record, const char* name) {
    if (name == nullptr) {
        SetErrorText("NULL file name.");
        return nullptr;
    }
    afs::Entry* entry = afs::FindEntry(record.archive, name);
    if (entry == nullptr) {
        SetErrorText("%s file not found.", name);
    }
    return entry;
}

// The member called name when its bytes lie inside the archive, else null with a text.
afs::Entry* FindReadableMember(AfsVaultFile& record, const char* name) {
    afs::Entry* entry = FindMember(record, name);
    if (entry != nullptr && !entry->InsideOf(record.archive.length)) {
        SetErrorText("Damaged AFS file: %s lies outside the archive.", name);
        return nullptr;
    }
    if (entry != nullptr && !CheckMappedFileIntact(record.file)) {
        return nullptr;  // cut short on disk since it was opened
    }
    return entry;
}

int LoadFromMemory(std::uint8_t* data, std::uint32_t length) {
    if (!CheckMemory(data)) {
        return kNoHandle;
    }
    const int handle = FindFreeHandle();
    if (handle == kNoHandle) {
        SetErrorText("%s", kNoFreeHandle);
        return kNoHandle;
    }
    afs::Archive archive;
    const afs::Status status = afs::Parse(data, length, archive);
    if (status != afs::Status::kOk) {
        SetErrorText("%s", afs::StatusText(status));
        return kNoHandle;
    }
    auto* record = new (std::nothrow) AfsVaultFile;
    if (record == nullptr) {
        SetErrorText("Can't allocate struct.");
        return kNoHandle;
    }
    record->handle = handle;
    record->archive = std::move(archive);
    StoreRecord(handle, record);
    return handle;
}

int ReplaceMember(AfsVaultFile& record, const char* name, const std::uint8_t* data,
                  std::uint32_t length) {
    if (length != 0 && !CheckMemory(data)) {
        return 0;
    }
    afs::Entry* entry = FindMember(record, name);
    if (entry == nullptr) {
        return 0;
    }
    afs::RefreshRooms(record.archive);
    if (entry->room == afs::kNoRoom) {
        SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
        return 0;
    }
    if (std::int64_t{length} > entry->room) {
        SetErrorText("File too long. Maximum size: %u", static_cast<unsigned>(entry->room));
        return 0;
    }
    return afs::Replace(record.archive, *entry, data, length, record.file) ? 1 : 0;
}

int MeasureRoom(AfsVaultFile& record, const char* name, std::uint32_t length, std::uint32_t* needed,
                std::uint32_t* room) {
    afs::Entry* entry = FindMember(record, name);
    if (entry == nullptr) {
        return 0;
    }
    afs::RefreshRooms(record.archive);
    if (entry->room == afs::kNoRoom) {
        SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
        return 0;
    }
    if (needed != nullptr) {
        *needed = length;
    }
    if (room != nullptr) {
        *room = static_cast<std::uint32_t>(entry->room);
    }
    return 1;
}

int RebuildArchive(AfsVaultFile& record, const char* name, const std::uint8_t* data,
                   std::uint32_t length, const char* outPath) {
    afs::Entry* entry = FindMember(record, name);
    if (entry == nullptr || !CheckMappedFileIntact(record.file)) {
        return 0;
    }
    RebuiltContainer rebuilt;
    std::string error;
    if (!afs::Rebuild(record.archive, *entry, data, length, afs::LocalDate(), rebuilt, error)) {
        SetErrorText("%s", error.c_str());
        return 0;
    }
    if (!WriteRebuiltContainer(outPath, rebuilt)) {
        return 0;
    }
    // A container cut short on disk while it was copied gave zeros for its lost bytes.
    if (!CheckMappedFileIntact(record.file)) {
        std::remove(outPath);
        return 0;
    }
    return 1;
}

// Writes size bytes to path; 0 with a text when the file cannot be created or written.
int WriteFile(const char* path, const std::uint8_t* data, std::uint32_t size) {
    switch (WriteWholeFile(path, data, size)) {
        case WriteResult::kOk:
            return 1;
        case WriteResult::kCreateFailed:
            SetErrorText("Can't create %s file.", path);
            return 0;
        case WriteResult::kWriteFailed:
            break;
    }
    SetErrorText("Can't write %s file.", path);
    return 0;
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(const char* path) {
    return Guarded(kNoHandle, [&] {
        return LoadRecordFromPath<AfsVaultFile>(path, kNoFreeHandle, LoadFromMemory);
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(const void* data, uint32_t length) {
    return Guarded(kNoHandle, [&] {
        // The archive's bytes are the caller's; replacement writes into them.
        return LoadFromMemory(static_cast<std::uint8_t*>(const_cast<void*>(data)), length);
    });
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return Guarded(0, [&] {
        AfsVaultFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        FreeNameList(record->list);
        CloseMappedFile(record->file);
        delete record;
        ReleaseHandle(handle);
        return 1;
    });
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"AFS", nullptr};
    return kExtensions;
}

FOGBELL_PLUGIN_API char** fnGetListFiles(int32_t handle) {
    return Guarded<char**>(nullptr, [&]() -> char** {
        AfsVaultFile* record = Lookup(handle);
        if (record == nullptr) {
            return nullptr;
        }
        FreeNameList(record->list);
        record->list = nullptr;
        const auto& entries = record->archive.entries;
        char** list = AllocateNameList(entries.size());
        if (list == nullptr) {
            return nullptr;
        }
        if (!FillNameList(list, entries.size(), afs::kNameLength,
                          [&](std::size_t i) { return entries[i].name; })) {
            return nullptr;
        }
        record->list = list;
        return list;
    });
}

FOGBELL_PLUGIN_API const void* fnGetFilePointer(int32_t handle, const char* name,
                                                uint32_t* length) {
    return Guarded<const void*>(nullptr, [&]() -> const void* {
        if (length != nullptr) {
            *length = 0;
        }
        AfsVaultFile* record = Lookup(handle);
        afs::Entry* entry = record ? FindReadableMember(*record, name) : nullptr;
        if (entry == nullptr) {
            return nullptr;
        }
        if (length != nullptr) {
            *length = entry->Size();
        }
        return record->archive.base + entry->offset;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetLengthFile(int32_t handle, const char* name) {
    return Guarded(0u, [&]() -> uint32_t {
        AfsVaultFile* record = Lookup(handle);
        afs::Entry* entry = record ? FindMember(*record, name) : nullptr;
        return entry ? entry->Size() : 0;
    });
}

FOGBELL_PLUGIN_API int32_t fnExtractFile(int32_t handle, const char* name, const char* path) {
    return Guarded(0, [&] {
        AfsVaultFile* record = Lookup(handle);
        afs::Entry* entry = record ? FindReadableMember(*record, name) : nullptr;
        if (entry == nullptr) {
            return 0;
        }
        if (path == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        return WriteFile(path, record->archive.base + entry->offset, entry->Size());
    });
}

FOGBELL_PLUGIN_API int32_t fnReplaceFileMemory(int32_t handle, const char* name, const void* data,
                                               uint32_t length) {
    return Guarded(0, [&] {
        AfsVaultFile* record = Lookup(handle);
        return record ? ReplaceMember(*record, name, static_cast<const std::uint8_t*>(data), length)
                      : 0;
    });
}

FOGBELL_PLUGIN_API int32_t fnReplaceFile(int32_t handle, const char* name, const char* path) {
    return Guarded(0, [&] {
        AfsVaultFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        if (path == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        GetFileLength(path);
        void* view = nullptr;
        MappedFilePtr source(OpenMappedFile(path, &view, FileAccess::kRead));
        if (!source) {
            SetErrorText("Can't open %s file.", path);
            return 0;
        }
        return ReplaceMember(*record, name, static_cast<const std::uint8_t*>(view),
                             MappedLength(source.get()));
    });
}

FOGBELL_PLUGIN_API int32_t fnGetRoomFile(int32_t handle, const char* name, const char* path,
                                         uint32_t* needed, uint32_t* room) {
    return Guarded(0, [&] {
        AfsVaultFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        const std::uint8_t* bytes = nullptr;
        MappedFilePtr source = OpenReplacementFile(path, bytes);
        if (!source) {
            return 0;
        }
        SetOk();
        return MeasureRoom(*record, name, MappedLength(source.get()), needed, room);
    });
}

FOGBELL_PLUGIN_API int32_t fnRebuildFile(int32_t handle, const char* name, const char* path,
                                         const char* outPath) {
    return Guarded(0, [&] {
        AfsVaultFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        if (outPath == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        const std::uint8_t* bytes = nullptr;
        MappedFilePtr source = OpenReplacementFile(path, bytes);
        if (!source) {
            return 0;
        }
        SetOk();
        return RebuildArchive(*record, name, bytes, MappedLength(source.get()), outPath);
    });
}

}  // extern "C"
