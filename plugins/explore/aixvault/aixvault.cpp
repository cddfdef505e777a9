// aixvault: the explorer plug-in for AIX containers (layout in aix_layout.h).
//
// Each stream of a container is a track named "Track %u.aixf". The track pointer is the
// handle's record AIXVAULTFILE (fogbell_aix_record.h), from which aixvoice plays the track that
// the last fnGetFilePointer selected; fnIsTrackRecord vouches for a record before aixvoice
// reads it. Tracks are extracted as stand-alone ADX files
// (aix_extract.h); they cannot be replaced. Every entry point but fnGetErrorString and
// fnGetSupportExt starts by setting the text to "OK".
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "aix_extract.h"
#include "aix_layout.h"
#include "container_loader.h"
#include "fogbell_aix_record.h"
#include "fogbell_explorer.h"
#include "mapped_file.h"
#include "name_list.h"
#include "output_file.h"
#include "plugin_support.h"

namespace {

using namespace fogbell::plugin;
namespace aix = fogbell::aix;

constexpr const char* kNoFreeHandle = "Not free handles.";
constexpr const char* kNamePattern = "Track %u.aixf";

// The name list is one per plug-in: listing any handle frees the list handed out before.
PluginNameList g_names;

AIXVAULTFILE* Lookup(int handle) {
    return LookupRecord<AIXVAULTFILE>(handle);
}

// 1 unless the container file was cut short on disk since it was opened (text set).
int CheckIntact(const AIXVAULTFILE& record) {
    return record.borrowed != 0 || CheckMappedFileIntact(static_cast<MappedFile*>(record.file));
}

// CheckIntact without asking the system while no touch has met a lost page (mapped_file.h).
int CheckUndamaged(const AIXVAULTFILE& record) {
    return record.borrowed != 0 || CheckMappingUndamaged(static_cast<MappedFile*>(record.file));
}

std::uint32_t TrackCount(const AIXVAULTFILE& record) {
    std::uint32_t count = 0;
    std::memcpy(&count, record.header + FOGBELL_AIX_HEADER_TRACK_COUNT, sizeof count);
    return count;
}

// The track a name selects ("Track %u"; any other name is track 0). False with "NULL file
// name." for no name, or "Error track number." when it is not below the track count.
bool FindTrack(const AIXVAULTFILE& record, const char* name, std::uint32_t& track) {
    if (name == nullptr) {
        SetErrorText("NULL file name.");
        return false;
    }
    track = ParseTrackNumber(name);
    if (track >= TrackCount(record)) {
        SetErrorText("Error track number.");
        return false;
    }
    return true;
}

aix::StreamHeader StreamOf(const AIXVAULTFILE& record, std::uint32_t track) {
    return aix::ReadStreamHeader(aix::EntryOf(record.table, track));
}

int LoadFromMemory(const std::uint8_t* data, std::uint32_t length) {
    if (!CheckMemory(data)) {
        return kNoHandle;
    }
    const int handle = FindFreeHandle();
    if (handle == kNoHandle) {
        SetErrorText("%s", kNoFreeHandle);
        return kNoHandle;
    }
    aix::Layout layout;
    const aix::LayoutStatus status = aix::ReadLayout(data, length, layout);
    if (status != aix::LayoutStatus::kOk) {
        SetErrorText("%s", aix::LayoutText(status));  // "OK" for a container without tracks
        return kNoHandle;
    }
    std::unique_ptr<std::uint8_t[]> table = aix::CopyTable(data, layout);
    if (!table) {
        SetErrorText("Can't allocate _HeaderCri.");
        return kNoHandle;
    }
    auto* record = new AIXVAULTFILE{};
    record->handle = handle;
    std::memcpy(record->header, layout.header, sizeof record->header);
    record->table = table.release();
    record->base = data;
    record->packets = data + layout.firstPacket;
    record->packetsCopy = record->packets;
    record->borrowed = 1;
    record->file = nullptr;
    record->firstTrackTotal = StreamOf(*record, 0).total;
    record->containerLength = length;
    record->selectedTrack = 0;
    StoreRecord(handle, record);
    return handle;
}

void CloseRecord(int handle, AIXVAULTFILE* record) {
    if (record->borrowed == 0) {
        CloseMappedFile(static_cast<MappedFile*>(record->file));
    }
    delete[] record->table;
    delete record;
    ReleaseHandle(handle);
}

// The names "Track 0.aixf" .. "Track N-1.aixf" in a new list, or null when memory runs out.
char** MakeNames(std::uint32_t count) {
    char name[kPathCapacity];
    return MakeNameList(count, sizeof name, [&](std::size_t i) {
        std::snprintf(name, sizeof name, kNamePattern, static_cast<unsigned>(i));
        return name;
    });
}

// Writes track `track` of the record to the file out (already created). 1 when the file holds
// all the data the track's entry declares; 0 with a text when the track is cut (a packet runs
// past the container's end, or the chain ends short of the declared data) or a write failed
// (the file keeps what was written before).
int WriteTrack(const AIXVAULTFILE& record, std::uint32_t track, OutputFile& out,
               const char* outPath) {
    const std::uint8_t* entry = aix::EntryOf(record.table, track);
    const aix::StreamHeader stream = aix::ReadStreamHeader(entry);
    const auto header = aix::MakeAdxFileHeader(entry);
    out.Write(header.data(), header.size());
    const auto firstPacket = static_cast<std::uint32_t>(record.packetsCopy - record.base);
    const aix::CopyResult copied = aix::CopyTrackData(
        record.base, record.containerLength, firstPacket, track, stream.total,
        [&out](const std::uint8_t* data, std::size_t size) { return out.Write(data, size); });
    const bool written = out.Close();
    if (!written || copied.end == aix::CopyEnd::kWriteFailed) {
        SetErrorText("Can't write file: %s", outPath);
        return 0;
    }
    if (copied.copied < aix::DeclaredDataBytes(stream)) {
        if (copied.end == aix::CopyEnd::kCut) {
            SetErrorText("Error size AIXPData.");
        } else {
            SetErrorText("%s", aix::CutText(stream, copied.copied).c_str());
        }
        return 0;
    }
    return 1;
}

// Which tracks a cut in the packet chain reaches before their budget (aix_extract.h).
std::vector<bool> CutTracks(const AIXVAULTFILE& record) {
    const auto firstPacket = static_cast<std::uint32_t>(record.packetsCopy - record.base);
    return aix::FindCutStreams(record.base, record.containerLength, firstPacket, record.table,
                               TrackCount(record));
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(const char* path) {
    return Guarded(kNoHandle, [&] {
        return LoadContainerFromPath(
            path, kNoFreeHandle, LoadFromMemory, [](int handle, MappedFile* file) {
                auto* record = static_cast<AIXVAULTFILE*>(RecordAt(handle));
                record->borrowed = 0;
                record->file = file;
            });
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(const void* data, uint32_t length) {
    return Guarded(kNoHandle, [&] {
        SetOk();
        return LoadFromMemory(static_cast<const std::uint8_t*>(data), length);
    });
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return Guarded(0, [&] {
        SetOk();
        AIXVAULTFILE* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        CloseRecord(handle, record);
        return 1;
    });
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"AIX", nullptr};
    return kExtensions;
}

FOGBELL_PLUGIN_API char** fnGetListFiles(int32_t handle) {
    return Guarded<char**>(nullptr, [&]() -> char** {
        SetOk();
        AIXVAULTFILE* record = Lookup(handle);
        if (record == nullptr) {
            return nullptr;
        }
        g_names.Replace(nullptr);
        const std::uint32_t count = TrackCount(*record);
        char** list = MakeNames(count);
        if (list == nullptr) {
            CloseRecord(handle, record);
            SetErrorText("Can't allocate %u pointers", count + 1);
            return nullptr;
        }
        g_names.Replace(list);
        return list;
    });
}

FOGBELL_PLUGIN_API const void* fnGetFilePointer(int32_t handle, const char* name,
                                                uint32_t* length) {
    return Guarded<const void*>(nullptr, [&]() -> const void* {
        SetOk();
        AIXVAULTFILE* record = Lookup(handle);
        std::uint32_t track = 0;
        if (record == nullptr || !FindTrack(*record, name, track) || !CheckUndamaged(*record)) {
            return nullptr;  // the length is left as it was
        }
        record->selectedTrack = track;
        if (length != nullptr) {
            *length = StreamOf(*record, track).total;
        }
        return record;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetLengthFile(int32_t handle, const char* name) {
    return Guarded(0u, [&]() -> uint32_t {
        SetOk();
        AIXVAULTFILE* record = Lookup(handle);
        std::uint32_t track = 0;
        if (record == nullptr || !FindTrack(*record, name, track)) {
            return 0;
        }
        return StreamOf(*record, track).total;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetBitrate(int32_t handle, const char* name) {
    return Guarded(0u, [&]() -> uint32_t {
        SetOk();
        AIXVAULTFILE* record = Lookup(handle);
        std::uint32_t track = 0;
        if (record == nullptr || !FindTrack(*record, name, track)) {
            return 0;
        }
        return aix::PackBitrate(StreamOf(*record, track));
    });
}

// The records are the handle table's entries: an address is a record exactly while a slot
// holds it. Nothing at the address is read, and the error text is left alone, so that aixvoice
// may ask between any two calls of the host.
FOGBELL_PLUGIN_API int32_t fnIsTrackRecord(const void* address) {
    return Guarded(0, [&] {
        if (address == nullptr) {
            return 0;
        }
        for (int handle = 0; handle < kHandleCount; ++handle) {
            if (RecordAt(handle) == address) {
                return 1;
            }
        }
        return 0;
    });
}

FOGBELL_PLUGIN_API int32_t fnExtractFile(int32_t handle, const char* name, const char* path) {
    return Guarded(0, [&] {
        SetOk();
        AIXVAULTFILE* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        if (name == nullptr) {
            SetErrorText("NULL file name.");
            return 0;
        }
        if (path == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        if (!CheckIntact(*record)) {
            return 0;
        }
        const std::string outPath = aix::AdxOutputPath(path);
        OutputFile out;
        if (!out.Create(outPath.c_str())) {
            SetErrorText("Can't create file: %s", path);
            return 0;
        }
        std::uint32_t track = 0;
        if (!FindTrack(*record, name, track)) {
            return 0;  // the file stays on disk, empty
        }
        return WriteTrack(*record, track, out, outPath.c_str());
    });
}

// A track is damaged when its packets hold less data than its entry declares, wherever the
// container's end fell (aix_layout.h): the one walk of the packet chain that extraction makes,
// for every track at once.
FOGBELL_PLUGIN_API uint32_t fnGetDamagedCount(int32_t handle) {
    return Guarded(0u, [&]() -> uint32_t {
        const auto* record = static_cast<const AIXVAULTFILE*>(RecordAt(handle));
        if (record == nullptr) {
            return 0u;
        }
        const std::vector<bool> cut = CutTracks(*record);
        return static_cast<uint32_t>(std::count(cut.begin(), cut.end(), true));
    });
}

FOGBELL_PLUGIN_API int32_t fnIsTrackDamaged(int32_t handle, const char* name) {
    return Guarded(0, [&] {
        SetOk();
        AIXVAULTFILE* record = Lookup(handle);
        std::uint32_t track = 0;
        if (record == nullptr || !FindTrack(*record, name, track)) {
            return 0;
        }
        return CutTracks(*record)[track] ? 1 : 0;
    });
}

}  // extern "C"
