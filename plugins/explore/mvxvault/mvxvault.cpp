// mvxvault: the explorer plug-in for MVX archives (layout in mvx_archive.h).
//
// Every track is listed under a name of its own (its stored name, or a new one where the stored
// name repeats an earlier one or is empty: mvx_archive.h) and found by that name without regard
// to case. Replacement writes in place through the archive's read-write view and may keep or
// shrink a track, never grow it. Every entry point that takes a handle resets the error text
// to "OK" first; a name that is not in the archive leaves it "OK" for fnGetLengthFile and the
// replacements, which report it by their result alone. The name list is one per plug-in: each
// fnGetListFiles call, on any handle, frees the list handed out before.
#include <string>

#include "container_explorer.h"
#include "fogbell_explorer.h"
#include "member_row.h"
#include "mvx_archive.h"
#include "output_file.h"
#include "plugin_support.h"

namespace {

using namespace fogbell::plugin;
namespace mvx = fogbell::mvx;

// Written instead of the bytes of a track of size 0, without a terminator.
constexpr char kEmptyTrackText[] = "Empty Length";

// What mvxvault supports, for the explorers' template (container_explorer.h).
struct MvxTable {
    using Container = mvx::Archive;
    using Track = mvx::Track;
    using Record = ExplorerRecord<Container>;

    static constexpr const char* const kExtensions[] = {"MVX", nullptr};
    static constexpr const char* kNoFreeHandle = "Not free handles.";
    static constexpr TextReset kTextReset = TextReset::kEveryEntry;
    static constexpr NameListScope kNameList = NameListScope::kPerPlugin;
    static constexpr std::size_t kNameCapacity = kListedNameCapacity;
    static constexpr bool kSaysListFailures = true;
    static constexpr bool kQuietWhenMissing = true;
    static constexpr std::uint32_t kBitrateBytes = mvx::kBitrateBytes;

    static void SayMissing(const char* name) { SetErrorText("File %s not found.", name); }
    static void SayOutside(const char* name) {
        SetErrorText("Damaged MVX file: %s lies outside the archive.", name);
    }
    static void SayTooShort(const char* name) {
        SetErrorText("File %s is too short for an XMD header.", name);
    }
    static const char* Parse(std::uint8_t* data, std::uint32_t length, Container& archive) {
        const mvx::Status status = mvx::Parse(data, length, archive);
        return status == mvx::Status::kOk ? nullptr : mvx::StatusText(status);
    }
    static Track* Lookup(Container& archive, const char* name) {
        return mvx::FindTrack(archive, name);
    }
    static std::size_t TrackCount(const Container& archive) { return archive.tracks.size(); }
    static const Track& TrackAt(const Container& archive, std::size_t i) {
        return archive.tracks[i];
    }
    static const char* TrackName(const Container& archive, std::size_t i, char*) {
        return mvx::ListedName(archive, i);
    }
    static std::uint32_t Bitrate(const std::uint8_t* track) { return mvx::Bitrate(track); }
    static MappedFilePtr OpenReplacement(const char* path, const std::uint8_t*& bytes) {
        return OpenReplacementFile(path, bytes);
    }
    static bool Rebuild(const Container& archive, const NewMembers& members, RebuiltContainer& out,
                        std::string& error) {
        return mvx::Rebuild(archive, members, out, error);
    }

    static int Extract(Record& record, Track& track, const char* name, const char* path);
    static int Replace(Record& record, const char* name, const std::uint8_t* data,
                       std::uint32_t length);
    static int MeasureRoom(Record& record, Track& track, const char* name, const std::uint8_t*,
                           std::uint32_t length, std::uint32_t* needed, std::uint32_t* room);
};

using Vault = ContainerExplorer<MvxTable>;

// The MVX container as a row of members, for layouts and packs (member_row.h).
constexpr RowFormat kRowFormat{"mvx", {'M', 'V', 'X', 0}, 8, 16, kEmptyTrackText};

// The track's bytes, or "Empty Length" for an empty track; texts name the track as asked for.
int MvxTable::Extract(Record& record, Track& track, const char* name, const char* path) {
    OutputFile out;
    if (!out.Create(path)) {
        SetErrorText("Can't create file %s.", name);
        return 0;
    }
    const std::uint32_t size = track.Size();
    if (size != 0) {
        out.Write(record.container.base + track.offset, size);
    } else {
        out.Write(kEmptyTrackText, sizeof kEmptyTrackText - 1);
    }
    if (!out.Close()) {
        SetErrorText("Can't write file %s.", name);
        return 0;
    }
    return 1;
}

int MvxTable::Replace(Record& record, const char* name, const std::uint8_t* data,
                      std::uint32_t length) {
    mvx::Track* track = Vault::Find(record, name, kQuietWhenMissing);
    if (track == nullptr) {
        return 0;
    }
    if (length != 0 && !CheckMemory(data)) {
        return 0;
    }
    switch (mvx::Replace(record.container, *track, data, length, record.file)) {
        case mvx::ReplaceStatus::kOk:
            return 1;
        case mvx::ReplaceStatus::kTooBig:
            SetErrorText("File too big. Maximum size: %u.", static_cast<unsigned>(track->Room()));
            return 0;
        case mvx::ReplaceStatus::kNoPlace:
            if (!track->InsideOf(record.container.length)) {
                SayOutside(name);
            } else {
                SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
            }
            return 0;
        case mvx::ReplaceStatus::kNotWritten:
            return 0;  // the write's text stays
    }
    return 0;
}

int MvxTable::MeasureRoom(Record& record, Track& track, const char* name, const std::uint8_t*,
                          std::uint32_t length, std::uint32_t* needed, std::uint32_t* room) {
    mvx::RefreshLimits(record.container);
    if (!track.InsideOf(record.container.length)) {
        SayOutside(name);
        return 0;
    }
    if (track.Room() == kNoRoom) {
        SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
        return 0;
    }
    if (needed != nullptr) {
        *needed = length;
    }
    if (room != nullptr) {
        *room = static_cast<std::uint32_t>(track.Room());
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
        const int handle = Vault::FreeSlot();
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
        if (Vault::OpenInSlot(handle, static_cast<std::uint8_t*>(view), MappedLength(file.get())) ==
            kNoHandle) {
            return kNoHandle;
        }
        AdoptIntoRecord<Vault::Record>(handle, file.release());
        if (restored) {
            SetRestoredText(path);
        }
        return handle;
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(const void* data, uint32_t length) {
    return Vault::LoadFileMemory(data, length);
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return Vault::CloseFile(handle);
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    return Vault::SupportExt();
}

FOGBELL_PLUGIN_API char** fnGetListFiles(int32_t handle) {
    return Vault::ListFiles(handle);
}

FOGBELL_PLUGIN_API const void* fnGetFilePointer(int32_t handle, const char* name,
                                                uint32_t* length) {
    return Vault::FilePointer(handle, name, length);
}

FOGBELL_PLUGIN_API uint32_t fnGetLengthFile(int32_t handle, const char* name) {
    return Vault::LengthFile(handle, name);
}

FOGBELL_PLUGIN_API uint32_t fnGetBitrate(int32_t handle, const char* name) {
    return Vault::Bitrate(handle, name);
}

FOGBELL_PLUGIN_API int32_t fnExtractFile(int32_t handle, const char* name, const char* path) {
    return Vault::ExtractFile(handle, name, path);
}

FOGBELL_PLUGIN_API int32_t fnReplaceFileMemory(int32_t handle, const char* name, const void* data,
                                               uint32_t length) {
    return Vault::ReplaceFileMemory(handle, name, data, length);
}

FOGBELL_PLUGIN_API int32_t fnReplaceFile(int32_t handle, const char* name, const char* path) {
    return Vault::ReplaceFile(handle, name, path);
}

FOGBELL_PLUGIN_API int32_t fnGetRoomFile(int32_t handle, const char* name, const char* path,
                                         uint32_t* needed, uint32_t* room) {
    return Vault::RoomFile(handle, name, path, needed, room);
}

FOGBELL_PLUGIN_API int32_t fnRebuildFile(int32_t handle, const char* name, const char* path,
                                         const char* outPath) {
    return Vault::RebuildFile(handle, name, path, outPath);
}

FOGBELL_PLUGIN_API const char* fnGetLayout(int32_t handle) {
    return RowLayoutOfHandle<Vault>(kRowFormat, handle);
}

FOGBELL_PLUGIN_API int32_t fnPackFiles(const char* layout, const char* const* paths, uint32_t count,
                                       const char* outPath) {
    return RowPackEntry(kRowFormat, layout, paths, count, outPath);
}

FOGBELL_PLUGIN_API uint32_t fnGetDamagedCount(int32_t handle) {
    return Vault::DamagedCount(handle);
}

FOGBELL_PLUGIN_API int32_t fnIsTrackDamaged(int32_t handle, const char* name) {
    return Vault::TrackDamaged(handle, name);
}

FOGBELL_PLUGIN_API int32_t fnReplaceFilesWithin(int32_t handle, uint32_t count,
                                                const char* const* names,
                                                const char* const* paths, const char* filePath,
                                                uint64_t offset) {
    return Vault::ReplaceFilesWithin(handle, count, names, paths, filePath, offset);
}

FOGBELL_PLUGIN_API int32_t fnGetTrackOffset(int32_t handle, const char* name, uint64_t* offset) {
    return Vault::TrackOffset(handle, name, offset);
}

FOGBELL_PLUGIN_API int32_t fnReplaceFiles(int32_t handle, uint32_t count, const char* const* names,
                                          const char* const* paths) {
    return Vault::ReplaceFiles(handle, count, names, paths);
}

FOGBELL_PLUGIN_API int32_t fnRebuildFiles(int32_t handle, uint32_t count, const char* const* names,
                                          const char* const* paths, const char* outPath) {
    return Vault::RebuildFiles(handle, count, names, paths, outPath);
}

}  // extern "C"
