// afsvault: the explorer plug-in for AFS archives (layout in afs_archive.h).
//
// Every member is listed under a name of its own (its stored name, or a new one where the stored
// name repeats an earlier one or is empty: afs_archive.h) and found by that name without regard
// to case. Replacement writes in place through the archive's read-write view, within the
// member's room. Only fnLoadFile and fnReplaceFile reset the error text to "OK": the other
// entry points leave the text of an earlier call in place when they succeed, so a caller reads
// the text right after a failed call.
#include <string>

#include "afs_archive.h"
#include "afs_pack.h"
#include "container_explorer.h"
#include "fogbell_explorer.h"
#include "plugin_support.h"

namespace {

using namespace fogbell::plugin;
namespace afs = fogbell::afs;
namespace json = fogbell::json;

// What afsvault supports, for the explorers' template (container_explorer.h).
struct AfsTable {
    using Container = afs::Archive;
    using Track = afs::Entry;
    using Record = ExplorerRecord<Container>;

    static constexpr const char* const kExtensions[] = {"AFS", nullptr};
    static constexpr const char* kNoFreeHandle = "Not free handle";
    static constexpr TextReset kTextReset = TextReset::kOnOpen;  // AFSVAULTFILE's texts
    static constexpr NameListScope kNameList = NameListScope::kPerHandle;
    static constexpr std::size_t kNameCapacity = kListedNameCapacity;
    static constexpr bool kSaysListFailures = false;
    static constexpr bool kQuietWhenMissing = false;

    static void SayMissing(const char* name) { SetErrorText("%s file not found.", name); }
    static void SayOutside(const char* name) {
        SetErrorText("Damaged AFS file: %s lies outside the archive.", name);
    }
    static const char* Parse(std::uint8_t* data, std::uint32_t length, Container& archive) {
        const afs::Status status = afs::Parse(data, length, archive);
        return status == afs::Status::kOk ? nullptr : afs::StatusText(status);
    }
    static Track* Lookup(Container& archive, const char* name) {
        return afs::FindEntry(archive, name);
    }
    static std::size_t TrackCount(const Container& archive) { return archive.entries.size(); }
    static const Track& TrackAt(const Container& archive, std::size_t i) {
        return archive.entries[i];
    }
    static const char* TrackName(const Container& archive, std::size_t i, char*) {
        return afs::ListedName(archive, i);
    }
    static MappedFilePtr OpenReplacement(const char* path, const std::uint8_t*& bytes) {
        return OpenReplacementFile(path, bytes);
    }
    static bool Rebuild(const Container& archive, const NewMembers& members, RebuiltContainer& out,
                        std::string& error) {
        return afs::Rebuild(archive, members, afs::LocalDate(), out, error);
    }

    static int Extract(Record& record, Track& entry, const char* name, const char* path);
    static int Replace(Record& record, const char* name, const std::uint8_t* data,
                       std::uint32_t length);
    static int MeasureRoom(Record& record, Track& entry, const char* name, const std::uint8_t*,
                           std::uint32_t length, std::uint32_t* needed, std::uint32_t* room);
};

using Vault = ContainerExplorer<AfsTable>;

// The archive's layout text (afs_pack.h), or null with a text.
const char* ArchiveLayout(AfsTable::Record& record) {
    if (!CheckMappedFileIntact(record.file)) {
        return nullptr;
    }
    afs::PackLayout layout;
    std::string error;
    if (!afs::LayoutOf(record.container, layout, error)) {
        SetErrorText("%s", error.c_str());
        return nullptr;
    }
    return KeepLayoutText(afs::LayoutText(layout, afs::PacksExactly(record.container, layout)));
}

// The archive of the member files: the layout's, or the plain one without a layout.
bool PackArchive(const json::Value* value, const char* const* paths, std::uint32_t count,
                 const std::vector<PackedFile>& files, FillBlocks& fills, RebuiltContainer& out,
                 std::string& error) {
    afs::PackLayout layout;
    if (value != nullptr && !afs::ReadLayout(*value, count, layout, error)) {
        error = "Damaged layout: " + error + ".";
        return false;
    }
    if (value == nullptr && !afs::PlainLayout(paths, count, layout, error)) {
        return false;
    }
    return afs::Pack(layout, files, fills, out, error);
}

// The member's bytes as they are stored.
int AfsTable::Extract(Record& record, Track& entry, const char*, const char* path) {
    return WriteExtractedTrack(path, path, record.container.base + entry.offset, entry.Size());
}

int AfsTable::Replace(Record& record, const char* name, const std::uint8_t* data,
                      std::uint32_t length) {
    if (length != 0 && !CheckMemory(data)) {
        return 0;
    }
    afs::Entry* entry = Vault::Find(record, name);
    if (entry == nullptr) {
        return 0;
    }
    afs::RefreshRooms(record.container);
    if (entry->room == afs::kNoRoom) {
        SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
        return 0;
    }
    if (std::int64_t{length} > entry->room) {
        SetErrorText("File too long. Maximum size: %u", static_cast<unsigned>(entry->room));
        return 0;
    }
    return afs::Replace(record.container, *entry, data, length, record.file) ? 1 : 0;
}

int AfsTable::MeasureRoom(Record& record, Track& entry, const char* name, const std::uint8_t*,
                          std::uint32_t length, std::uint32_t* needed, std::uint32_t* room) {
    afs::RefreshRooms(record.container);
    if (entry.room == afs::kNoRoom) {
        SetErrorText("Can't replace %s: its place in the archive is damaged.", name);
        return 0;
    }
    if (needed != nullptr) {
        *needed = length;
    }
    if (room != nullptr) {
        *room = static_cast<std::uint32_t>(entry.room);
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
    return Guarded<const char*>(nullptr, [&]() -> const char* {
        AfsTable::Record* record = Vault::Begin(handle);
        return record == nullptr ? nullptr : ArchiveLayout(*record);
    });
}

FOGBELL_PLUGIN_API int32_t fnPackFiles(const char* layout, const char* const* paths, uint32_t count,
                                       const char* outPath) {
    FillBlocks fills;  // borrowed by the packed archive until it is written
    return PackFilesEntry(
        layout, paths, count, outPath,
        [&](const fogbell::json::Value* value, const std::vector<PackedFile>& files,
            RebuiltContainer& out, std::string& error) {
            return PackArchive(value, paths, count, files, fills, out, error);
        });
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
