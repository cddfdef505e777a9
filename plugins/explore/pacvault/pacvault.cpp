// pacvault: the explorer plug-in for PAC containers (layout in pac_container.h).
//
// Tracks are listed as "Track %u.wav" and found by the number in the name. Replacement writes
// in place through the container's read-write view, within the track's current size. Every
// entry point that takes a handle resets the error text to "OK" first. The name list is one
// per plug-in: each fnGetListFiles call, on any handle, frees the list handed out before.
#include <cstdio>
#include <string>

#include "container_explorer.h"
#include "file_checks.h"
#include "fogbell_explorer.h"
#include "member_row.h"
#include "pac_container.h"
#include "plugin_support.h"

namespace {

using namespace fogbell::plugin;
namespace pac = fogbell::pac;

constexpr const char* kTrackNamePattern = "Track %u.wav";

// What pacvault supports, for the explorers' template (container_explorer.h).
struct PacTable {
    using Container = pac::Container;
    using Track = pac::Track;
    using Record = ExplorerRecord<Container>;

    static constexpr const char* const kExtensions[] = {"PAC", nullptr};
    static constexpr const char* kNoFreeHandle = "Not free handles.";
    static constexpr TextReset kTextReset = TextReset::kEveryEntry;
    static constexpr NameListScope kNameList = NameListScope::kPerPlugin;
    static constexpr std::size_t kNameCapacity = 32;
    static constexpr bool kSaysListFailures = true;
    static constexpr bool kQuietWhenMissing = false;
    static constexpr std::uint32_t kBitrateBytes = pac::kBitrateBytes;

    static void SayMissing(const char* name) { SetErrorText("%s file not found.", name); }
    static void SayOutside(const char* name) {
        SetErrorText("Damaged PAC file: %s lies outside the container.", name);
    }
    static void SayTooShort(const char* name) {
        SetErrorText("%s is too short for a WAVE header.", name);
    }
    static const char* Parse(std::uint8_t* data, std::uint32_t length, Container& container) {
        const pac::Status status = pac::Parse(data, length, container);
        return status == pac::Status::kOk ? nullptr : pac::StatusText(status);
    }
    static Track* Lookup(Container& container, const char* name) {
        return pac::FindTrack(container, name);
    }
    static std::size_t TrackCount(const Container& container) { return container.tracks.size(); }
    static const Track& TrackAt(const Container& container, std::size_t i) {
        return container.tracks[i];
    }
    static const char* TrackName(const Container&, std::size_t i, char* buffer) {
        std::snprintf(buffer, kNameCapacity, kTrackNamePattern, static_cast<unsigned>(i));
        return buffer;
    }
    static std::uint32_t Bitrate(const std::uint8_t* track) { return pac::Bitrate(track); }
    static bool Rebuild(const Container& container, const NewMembers& members,
                        RebuiltContainer& out, std::string& error) {
        return pac::Rebuild(container, members, out, error);
    }

    static MappedFilePtr OpenReplacement(const char* path, const std::uint8_t*& bytes);
    static int Extract(Record& record, Track& track, const char* name, const char* path);
    static int Replace(Record& record, const char* name, const std::uint8_t* data,
                       std::uint32_t length);
    static int MeasureRoom(Record& record, Track& track, const char* name, const std::uint8_t* data,
                           std::uint32_t length, std::uint32_t* needed, std::uint32_t* room);
};

using Vault = ContainerExplorer<PacTable>;

// The PAC container as a row of members, for layouts and packs (member_row.h).
constexpr RowFormat kRowFormat{"pac", {'S', 'D', 'P', 'A'}, 12, 0};

// The replacement file at path mapped read-only, or null with a text: a file too short for a
// WAVE header is refused before it is mapped.
MappedFilePtr PacTable::OpenReplacement(const char* path, const std::uint8_t*& bytes) {
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

// The track's WAVE file, written under path with the extension ".wav".
int PacTable::Extract(Record& record, Track& track, const char*, const char* path) {
    return WriteExtractedTrack(pac::WavePath(path).c_str(), path,
                               record.container.base + track.offset, track.Size());
}

int PacTable::Replace(Record& record, const char* name, const std::uint8_t* data,
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
    pac::Track* track = Vault::Find(record, name);
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
                SayOutside(name);
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

int PacTable::MeasureRoom(Record& record, Track& track, const char* name, const std::uint8_t* data,
                          std::uint32_t length, std::uint32_t* needed, std::uint32_t* room) {
    pac::RefreshLimits(record.container);
    if (!track.InsideOf(record.container.length)) {
        SayOutside(name);
        return 0;
    }
    if (track.Room() == kNoRoom) {
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
        *room = static_cast<std::uint32_t>(track.Room());
    }
    return 1;
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(const char* path) {
    return Vault::LoadFile(path);
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
