// pacvault: the explorer plug-in for PAC containers (layout in pac_container.h).
//
// Tracks are listed as "Track %u.wav" and found by the number in the name. Replacement writes
// in place through the container's read-write view, within the track's current size. Every
// entry point that takes a handle resets the error text to "OK" first. The name list is one
// per plug-in: each fnGetListFiles call, on any handle, frees the list handed out before.
#include <cstdio>
#include <new>
#include <string>

#include "container_loader.h"
#include "file_checks.h"
#include "fogbell_explorer.h"
#include "mapped_file.h"
#include "name_list.h"
#include "output_file.h"
#include "pac_container.h"
#include "plugin_support.h"
#include "rebuilt_container.h"

namespace {

using namespace fogbell::plugin;
namespace pac = fogbell::pac;

constexpr const char* kNoFreeHandle = "Not free handles.";
constexpr const char* kTrackNamePattern = "Track %u.wav";
constexpr std::size_t kTrackNameCapacity = 32;

// PACVAULTFILE: one open container.
struct PacVaultFile {
    std::int32_t handle = kNoHandle;
    MappedFile* file = nullptr;  // set when the plug-in mapped the container itself
    pac::Container container;
};

// The plug-in's name list, replaced by every fnGetListFiles call (under the plug-in lock) and
// freed when the library is unloaded.
struct PluginNameList {
    char** list = nullptr;
    PluginNameList() = default;
    PluginNameList(const PluginNameList&) = delete;
    PluginNameList& operator=(const PluginNameList&) = delete;
    ~PluginNameList() { FreeNameList(list); }
};
PluginNameList g_nameList;

// The checked record of a handle after resetting the text, as every entry point begins.
PacVaultFile* Begin(int handle) {
    SetOk();
    return LookupRecord<PacVaultFile>(handle);
}

// The track that name gives, or null with the text for a missing name.
pac::Track* FindTrack(PacVaultFile& record, const char* name) {
    if (name == nullptr) {
        SetErrorText("NULL file name.");
        return nullptr;
    }
    pac::Track* track = pac::FindTrack(record.container, name);
    if (track == nullptr) {
        SetErrorText("%s file not found.", name);
    }
    return track;
}

// The track that name gives when its bytes lie inside the container, else null with a text.
pac::Track* FindReadableTrack(PacVaultFile& record, const char* name) {
    pac::Track* track = FindTrack(record, name);
    if (track != nullptr && !track->InsideOf(record.container.length)) {
        SetErrorText("Damaged PAC file: %s lies outside the container.", name);
        return nullptr;
    }
    if (track != nullptr && !CheckMappedFileIntact(record.file)) {
        return nullptr;  // cut short on disk since it was opened
    }
    return track;
}

int LoadFromMemory(std::uint8_t* data, std::uint32_t length) {
    SetOk();
    if (!CheckMemory(data)) {
        return kNoHandle;
    }
    const int handle = FindFreeHandle();
    if (handle == kNoHandle) {
        SetErrorText("%s", kNoFreeHandle);
        return kNoHandle;
    }
    pac::Container container;
    const pac::Status status = pac::Parse(data, length, container);
    if (status != pac::Status::kOk) {
        SetErrorText("%s", pac::StatusText(status));
        return kNoHandle;
    }
    auto* record = new (std::nothrow) PacVaultFile;
    if (record == nullptr) {
        SetErrorText("Can't allocate struct.");
        return kNoHandle;
    }
    record->handle = handle;
    record->container = std::move(container);
    StoreRecord(handle, record);
    return handle;
}

int ReplaceTrack(PacVaultFile& record, const char* name, const std::uint8_t* data,
                 std::uint32_t length) {
    if (name == nullptr) {
        SetErrorText("NULL file name.");
        return 0;
    }
    if (!CheckMemory(data)) {
        return 0;
    }
    if (length < pac::kMinimumReplacement) {
        SetErrorText("Error size file.");
        return 0;
    }
    pac::Track* track = FindTrack(record, name);
    if (track == nullptr) {
        return 0;
    }
    const pac::ReplaceResult result =
        pac::Replace(record.container, *track, data, length, record.file);
    switch (result.status) {
        case pac::ReplaceStatus::kOk:
            return 1;
        case pac::ReplaceStatus::kCut:
            // Still a success: the track holds the replacement's first bytes.
            SetErrorText("File too long. Maximum size: %u", static_cast<unsigned>(result.room));
            return 1;
        case pac::ReplaceStatus::kNoPlace:
            if (!track->InsideOf(record.container.length)) {
                SetErrorText("Damaged PAC file: %s lies outside the container.", name);
            } else {
                SetErrorText("Can't replace %s: its place in the container is damaged.", name);
            }
            return 0;
        case pac::ReplaceStatus::kTooSmall:
            SetErrorText("Can't replace %s: the track is smaller than a WAVE header.", name);
            return 0;
        case pac::ReplaceStatus::kBadWave:
        case pac::ReplaceStatus::kNotWritten:
            return 0;  // the header reader's or the write's text stays
    }
    return 0;
}

// The replacement file at path mapped read-only, or null with a text (as fnReplaceFile opens
// it).
MappedFilePtr OpenReplacement(const char* path, const std::uint8_t*& bytes) {
    if (!CheckFileName(path)) {
        return nullptr;
    }
    if (GetFileLength(path) < pac::kMinimumReplacement) {
        SetErrorText("Error size %s file.", path);
        return nullptr;
    }
    void* view = nullptr;
    MappedFilePtr source(OpenMappedFile(path, &view, FileAccess::kRead));
    bytes = static_cast<const std::uint8_t*>(view);
    return source;  // null: the mapping's text stays
}

int MeasureRoom(PacVaultFile& record, const char* name, const std::uint8_t* data,
                std::uint32_t length, std::uint32_t* needed, std::uint32_t* room) {
    pac::Track* track = FindTrack(record, name);
    if (track == nullptr) {
        return 0;
    }
    pac::RefreshLimits(record.container);
    if (!track->InsideOf(record.container.length)) {
        SetErrorText("Damaged PAC file: %s lies outside the container.", name);
        return 0;
    }
    if (track->Room() == kNoRoom) {
        SetErrorText("Can't replace %s: its place in the container is damaged.", name);
        return 0;
    }
    std::uint64_t bytes = 0;
    if (!pac::MeasureReplacement(data, length, bytes)) {
        return 0;
    }
    if (bytes > kLargestContainer) {
        SetErrorText("Can't replace %s: the replacement would pass 4 GiB.", name);
        return 0;
    }
    if (needed != nullptr) {
        *needed = static_cast<std::uint32_t>(bytes);
    }
    if (room != nullptr) {
        *room = static_cast<std::uint32_t>(track->Room());
    }
    return 1;
}

int RebuildContainer(PacVaultFile& record, const char* name, const std::uint8_t* data,
                     std::uint32_t length, const char* outPath) {
    pac::Track* track = FindTrack(record, name);
    if (track == nullptr || !CheckMappedFileIntact(record.file)) {
        return 0;
    }
    RebuiltContainer rebuilt;
    std::string error;
    if (!pac::Rebuild(record.container, *track, data, length, rebuilt, error)) {
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

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(const char* path) {
    return Guarded(kNoHandle, [&] {
        return LoadRecordFromPath<PacVaultFile>(path, kNoFreeHandle, LoadFromMemory);
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(const void* data, uint32_t length) {
    return Guarded(kNoHandle, [&] {
        // The container's bytes are the caller's; replacement writes into them.
        return LoadFromMemory(static_cast<std::uint8_t*>(const_cast<void*>(data)), length);
    });
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return Guarded(0, [&] {
        PacVaultFile* record = Begin(handle);
        if (record == nullptr) {
            return 0;
        }
        CloseMappedFile(record->file);
        delete record;
        ReleaseHandle(handle);
        return 1;
    });
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"PAC", nullptr};
    return kExtensions;
}

FOGBELL_PLUGIN_API char** fnGetListFiles(int32_t handle) {
    return Guarded<char**>(nullptr, [&]() -> char** {
        PacVaultFile* record = Begin(handle);
        if (record == nullptr) {
            return nullptr;
        }
        FreeNameList(g_nameList.list);
        g_nameList.list = nullptr;
        const std::size_t count = record->container.tracks.size();
        char** list = AllocateNameList(count);
        if (list == nullptr) {
            SetErrorText("Can't allocate %u pointers", static_cast<unsigned>(count + 1));
            return nullptr;
        }
        char name[kTrackNameCapacity];
        if (!FillNameList(list, count, sizeof name, [&](std::size_t i) {
                std::snprintf(name, sizeof name, kTrackNamePattern, static_cast<unsigned>(i));
                return name;
            })) {
            SetErrorText("Not enough memory.");
            return nullptr;
        }
        g_nameList.list = list;
        return list;
    });
}

FOGBELL_PLUGIN_API const void* fnGetFilePointer(int32_t handle, const char* name,
                                                uint32_t* length) {
    return Guarded<const void*>(nullptr, [&]() -> const void* {
        if (length != nullptr) {
            *length = 0;
        }
        PacVaultFile* record = Begin(handle);
        pac::Track* track = record ? FindReadableTrack(*record, name) : nullptr;
        if (track == nullptr) {
            return nullptr;
        }
        if (length != nullptr) {
            *length = track->Size();
        }
        return record->container.base + track->offset;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetLengthFile(int32_t handle, const char* name) {
    return Guarded(0u, [&]() -> uint32_t {
        PacVaultFile* record = Begin(handle);
        pac::Track* track = record ? FindTrack(*record, name) : nullptr;
        return track ? track->Size() : 0;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetBitrate(int32_t handle, const char* name) {
    return Guarded(0u, [&]() -> uint32_t {
        PacVaultFile* record = Begin(handle);
        pac::Track* track = record ? FindReadableTrack(*record, name) : nullptr;
        if (track == nullptr) {
            return 0;
        }
        if (track->Size() < pac::kBitrateBytes) {
            SetErrorText("%s is too short for a WAVE header.", name);
            return 0;
        }
        return pac::Bitrate(record->container.base + track->offset);
    });
}

FOGBELL_PLUGIN_API int32_t fnExtractFile(int32_t handle, const char* name, const char* path) {
    return Guarded(0, [&] {
        PacVaultFile* record = Begin(handle);
        pac::Track* track = record ? FindReadableTrack(*record, name) : nullptr;
        if (track == nullptr) {
            return 0;
        }
        if (path == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        const std::string output = pac::WavePath(path);
        switch (
            WriteWholeFile(output.c_str(), record->container.base + track->offset, track->Size())) {
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
    });
}

FOGBELL_PLUGIN_API int32_t fnReplaceFileMemory(int32_t handle, const char* name, const void* data,
                                               uint32_t length) {
    return Guarded(0, [&] {
        PacVaultFile* record = Begin(handle);
        return record ? ReplaceTrack(*record, name, static_cast<const std::uint8_t*>(data), length)
                      : 0;
    });
}

FOGBELL_PLUGIN_API int32_t fnReplaceFile(int32_t handle, const char* name, const char* path) {
    return Guarded(0, [&] {
        PacVaultFile* record = Begin(handle);
        if (record == nullptr || !CheckFileName(path)) {
            return 0;
        }
        if (GetFileLength(path) < pac::kMinimumReplacement) {
            SetErrorText("Error size %s file.", path);
            return 0;
        }
        void* view = nullptr;
        MappedFilePtr source(OpenMappedFile(path, &view, FileAccess::kRead));
        if (!source) {
            return 0;  // the mapping's text stays
        }
        // The view's own length bounds every read, whatever the file's size was a moment ago.
        return ReplaceTrack(*record, name, static_cast<const std::uint8_t*>(view),
                            MappedLength(source.get()));
    });
}

FOGBELL_PLUGIN_API int32_t fnGetRoomFile(int32_t handle, const char* name, const char* path,
                                         uint32_t* needed, uint32_t* room) {
    return Guarded(0, [&] {
        PacVaultFile* record = Begin(handle);
        const std::uint8_t* bytes = nullptr;
        MappedFilePtr source = record ? OpenReplacement(path, bytes) : nullptr;
        if (!source) {
            return 0;
        }
        SetOk();
        return MeasureRoom(*record, name, bytes, MappedLength(source.get()), needed, room);
    });
}

FOGBELL_PLUGIN_API int32_t fnRebuildFile(int32_t handle, const char* name, const char* path,
                                         const char* outPath) {
    return Guarded(0, [&] {
        PacVaultFile* record = Begin(handle);
        if (record == nullptr) {
            return 0;
        }
        if (outPath == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        const std::uint8_t* bytes = nullptr;
        MappedFilePtr source = OpenReplacement(path, bytes);
        if (!source) {
            return 0;
        }
        SetOk();
        return RebuildContainer(*record, name, bytes, MappedLength(source.get()), outPath);
    });
}

}  // extern "C"
