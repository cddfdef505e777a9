// mvxvault: the explorer plug-in for MVX archives (layout in mvx_archive.h).
//
// Tracks are listed under their stored names and found by the first name equal without regard
// to case. Replacement writes in place through the archive's read-write view and may keep or
// shrink a track, never grow it. Every entry point that takes a handle resets the error text
// to "OK" first; a name that is not in the archive leaves it "OK" for fnGetLengthFile and the
// replacements, which report it by their result alone. The name list is one per plug-in: each
// fnGetListFiles call, on any handle, frees the list handed out before.
#include <cstdio>
#include <new>
#include <string>

#include "container_loader.h"
#include "fogbell_explorer.h"
#include "mapped_file.h"
#include "mvx_archive.h"
#include "name_list.h"
#include "output_file.h"
#include "plugin_support.h"
#include "rebuilt_container.h"

namespace {

using namespace fogbell::plugin;
namespace mvx = fogbell::mvx;

constexpr const char* kNoFreeHandle = "Not free handles.";
// Written instead of the bytes of a track of size 0, without a terminator.
constexpr char kEmptyTrackText[] = "Empty Length";

// MVXVAULTFILE: one open archive.
struct MvxVaultFile {
    std::int32_t handle = kNoHandle;
    MappedFile* file = nullptr;  // set when the plug-in mapped the archive itself
    mvx::Archive archive;
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
MvxVaultFile* Begin(int handle) {
    SetOk();
    return LookupRecord<MvxVaultFile>(handle);
}

// The track called name, or null; a missing name sets no text (callers word it), a null name
// does.
mvx::Track* FindTrack(MvxVaultFile& record, const char* name) {
    if (name == nullptr) {
        SetErrorText("NULL file name.");
        return nullptr;
    }
    return mvx::FindTrack(record.archive, name);
}

// The track called name when its bytes lie inside the archive, else null with a text.
mvx::Track* FindReadableTrack(MvxVaultFile& record, const char* name) {
    mvx::Track* track = FindTrack(record, name);
    if (track == nullptr) {
        if (name != nullptr) {
            SetErrorText("File %s not found.", name);
        }
        return nullptr;
    }
    if (!track->InsideOf(record.archive.length)) {
        SetErrorText("Damaged MVX file: %s lies outside the archive.", name);
        return nullptr;
    }
    if (!CheckMappedFileIntact(record.file)) {
        return nullptr;  // cut short on disk since it was opened
    }
    return track;
}

// Parses the archive and stores a new record in the free slot handle.
int OpenArchive(int handle, std::uint8_t* data, std::uint32_t length) {
    mvx::Archive archive;
    const mvx::Status status = mvx::Parse(data, length, archive);
    if (status != mvx::Status::kOk) {
        SetErrorText("%s", mvx::StatusText(status));
        return kNoHandle;
    }
    auto* record = new (std::nothrow) MvxVaultFile;
    if (record == nullptr) {
        SetErrorText("Can't allocate struct.");
        return kNoHandle;
    }
    record->handle = handle;
    record->archive = std::move(archive);
    StoreRecord(handle, record);
    return handle;
}

// The free slot, or kNoHandle with the plug-in's text.
int FreeSlot() {
    const int handle = FindFreeHandle();
    if (handle == kNoHandle) {
        SetErrorText("%s", kNoFreeHandle);
    }
    return handle;
}

int ReplaceTrack(MvxVaultFile& record, const char* name, const std::uint8_t* data,
                 std::uint32_t length) {
    mvx::Track* track = FindTrack(record, name);
    if (track == nullptr) {
        return 0;
    }
    if (length != 0 && !CheckMemory(data)) {
        return 0;
    }
    switch (mvx::Replace(record.archive, *track, data, length, record.file)) {
        case mvx::ReplaceStatus::kOk:
            return 1;
        case mvx::ReplaceStatus::kTooBig:
            SetErrorText("File too big. Maximum size: %u.", static_cast<unsigned>(track->Room()));
            return 0;
        case mvx::ReplaceStatus::kNoPlace:
            if (!track->InsideOf(record.archive.length)) {
                SetErrorText("Damaged MVX file: %s lies outside the archive.", name);
            } else {
                SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
            }
            return 0;
        case mvx::ReplaceStatus::kNotWritten:
            return 0;  // the write's text stays
    }
    return 0;
}

int MeasureRoom(MvxVaultFile& record, const char* name, std::uint32_t length, std::uint32_t* needed,
                std::uint32_t* room) {
    mvx::Track* track = FindTrack(record, name);
    if (track == nullptr) {
        if (name != nullptr) {
            SetErrorText("File %s not found.", name);
        }
        return 0;
    }
    mvx::RefreshLimits(record.archive);
    if (!track->InsideOf(record.archive.length)) {
        SetErrorText("Damaged MVX file: %s lies outside the archive.", name);
        return 0;
    }
    if (track->Room() == kNoRoom) {
        SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
        return 0;
    }
    if (needed != nullptr) {
        *needed = length;
    }
    if (room != nullptr) {
        *room = static_cast<std::uint32_t>(track->Room());
    }
    return 1;
}

int RebuildArchive(MvxVaultFile& record, const char* name, const std::uint8_t* data,
                   std::uint32_t length, const char* outPath) {
    mvx::Track* track = FindTrack(record, name);
    if (track == nullptr) {
        if (name != nullptr) {
            SetErrorText("File %s not found.", name);
        }
        return 0;
    }
    if (!CheckMappedFileIntact(record.file)) {
        return 0;
    }
    RebuiltContainer rebuilt;
    std::string error;
    if (!mvx::Rebuild(record.archive, *track, data, length, rebuilt, error)) {
        SetErrorText("%s", error.c_str());
        return 0;
    }
    if (!WriteRebuiltContainer(outPath, rebuilt)) {
        return 0;
    }
    // An archive cut short on disk while it was copied gave zeros for its lost bytes.
    if (!CheckMappedFileIntact(record.file)) {
        std::remove(outPath);
        return 0;
    }
    return 1;
}

}  // namespace

extern "C" {

// Unlike the other explorers, the free slot is looked for before the path is even opened, and
// a bad path is reported by the open itself.
FOGBELL_PLUGIN_API int32_t fnLoadFile(const char* path) {
    return Guarded(kNoHandle, [&] {
        SetOk();
        const int handle = FreeSlot();
        if (handle == kNoHandle) {
            return kNoHandle;
        }
        void* view = nullptr;
        bool restored = false;
        MappedFilePtr file(OpenContainerFile(path, &view, restored));
        if (!file) {
            return kNoHandle;
        }
        // The names are found from the end of what is mapped.
        if (OpenArchive(handle, static_cast<std::uint8_t*>(view), MappedLength(file.get())) ==
            kNoHandle) {
            return kNoHandle;
        }
        static_cast<MvxVaultFile*>(RecordAt(handle))->file = file.release();
        if (restored) {
            SetRestoredText(path);
        }
        return handle;
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(const void* data, uint32_t length) {
    return Guarded(kNoHandle, [&] {
        SetOk();
        if (!CheckMemory(data)) {
            return kNoHandle;
        }
        const int handle = FreeSlot();
        if (handle == kNoHandle) {
            return kNoHandle;
        }
        // The archive's bytes are the caller's; replacement writes into them.
        return OpenArchive(handle, static_cast<std::uint8_t*>(const_cast<void*>(data)), length);
    });
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return Guarded(0, [&] {
        MvxVaultFile* record = Begin(handle);
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
    static const char* const kExtensions[] = {"MVX", nullptr};
    return kExtensions;
}

FOGBELL_PLUGIN_API char** fnGetListFiles(int32_t handle) {
    return Guarded<char**>(nullptr, [&]() -> char** {
        MvxVaultFile* record = Begin(handle);
        if (record == nullptr) {
            return nullptr;
        }
        FreeNameList(g_nameList.list);
        g_nameList.list = nullptr;
        const auto& tracks = record->archive.tracks;
        char** list = AllocateNameList(tracks.size());
        if (list == nullptr) {
            SetErrorText("Can't allocate %u pointers", static_cast<unsigned>(tracks.size() + 1));
            return nullptr;
        }
        if (!FillNameList(list, tracks.size(), mvx::kNameFieldSize,
                          [&](std::size_t i) { return tracks[i].name; })) {
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
        MvxVaultFile* record = Begin(handle);
        mvx::Track* track = record ? FindReadableTrack(*record, name) : nullptr;
        if (track == nullptr) {
            return nullptr;
        }
        if (length != nullptr) {
            *length = track->Size();
        }
        return record->archive.base + track->offset;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetLengthFile(int32_t handle, const char* name) {
    return Guarded(0u, [&]() -> uint32_t {
        MvxVaultFile* record = Begin(handle);
        mvx::Track* track = record ? FindTrack(*record, name) : nullptr;
        return track ? track->Size() : 0;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetBitrate(int32_t handle, const char* name) {
    return Guarded(0u, [&]() -> uint32_t {
        MvxVaultFile* record = Begin(handle);
        mvx::Track* track = record ? FindReadableTrack(*record, name) : nullptr;
        if (track == nullptr) {
            return 0;
        }
        if (track->Size() < mvx::kBitrateBytes) {
            SetErrorText("File %s is too short for an XMD header.", name);
            return 0;
        }
        return mvx::Bitrate(record->archive.base + track->offset);
    });
}

FOGBELL_PLUGIN_API int32_t fnExtractFile(int32_t handle, const char* name, const char* path) {
    return Guarded(0, [&] {
        MvxVaultFile* record = Begin(handle);
        mvx::Track* track = record ? FindReadableTrack(*record, name) : nullptr;
        if (track == nullptr) {
            return 0;
        }
        if (path == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        OutputFile out;
        if (!out.Create(path)) {
            SetErrorText("Can't create file %s.", name);
            return 0;
        }
        const std::uint32_t size = track->Size();
        if (size != 0) {
            out.Write(record->archive.base + track->offset, size);
        } else {
            out.Write(kEmptyTrackText, sizeof kEmptyTrackText - 1);
        }
        if (!out.Close()) {
            SetErrorText("Can't write file %s.", name);
            return 0;
        }
        return 1;
    });
}

FOGBELL_PLUGIN_API int32_t fnReplaceFileMemory(int32_t handle, const char* name, const void* data,
                                               uint32_t length) {
    return Guarded(0, [&] {
        MvxVaultFile* record = Begin(handle);
        return record ? ReplaceTrack(*record, name, static_cast<const std::uint8_t*>(data), length)
                      : 0;
    });
}

FOGBELL_PLUGIN_API int32_t fnReplaceFile(int32_t handle, const char* name, const char* path) {
    return Guarded(0, [&] {
        MvxVaultFile* record = Begin(handle);
        if (record == nullptr) {
            return 0;
        }
        const std::uint8_t* bytes = nullptr;
        MappedFilePtr source = OpenReplacementFile(path, bytes);
        if (!source) {
            return 0;
        }
        // The view's own length bounds every read.
        return ReplaceTrack(*record, name, bytes, MappedLength(source.get()));
    });
}

FOGBELL_PLUGIN_API int32_t fnGetRoomFile(int32_t handle, const char* name, const char* path,
                                         uint32_t* needed, uint32_t* room) {
    return Guarded(0, [&] {
        MvxVaultFile* record = Begin(handle);
        const std::uint8_t* bytes = nullptr;
        MappedFilePtr source = record ? OpenReplacementFile(path, bytes) : nullptr;
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
        MvxVaultFile* record = Begin(handle);
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
