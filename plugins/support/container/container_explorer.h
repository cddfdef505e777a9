// What every explorer of a container format does around its format, once: the per-handle record,
// the checked handle at the start of each entry point, loading from memory and from a path,
// closing, the name list, a track's bytes and length, extraction's checks, and the replacement
// entry points' opening of the replacement file, down to writing a rebuilt container. An
// explorer's own file then holds its format and a table of what it supports:
//
//   struct Table {
//       using Container = ...;  // the parsed container: base, length, tracks
//       using Track = ...;      // one track: offset, Size(), InsideOf(length)
//       static constexpr const char* const kExtensions[] = {"EXT", nullptr};
//       static constexpr const char* kNoFreeHandle = "...";       // when all slots are taken
//       static constexpr TextReset kTextReset = ...;             // when "OK" is set
//       static constexpr NameListScope kNameList = ...;           // whose list a listing replaces
//       static constexpr std::size_t kNameCapacity = ...;         // characters of a name
//       static constexpr bool kSaysListFailures = ...;            // a listing out of memory
//                                                                 // says so
//       static constexpr bool kQuietWhenMissing = ...;            // lengths and replacements say
//                                                                 // nothing of a missing name
//       static void SayMissing(const char* name);                 // a name the container lacks
//       static void SayOutside(const char* name);                 // a track outside it
//       static const char* Parse(std::uint8_t* data, std::uint32_t length, Container& out);
//                                                                 // null, or what is wrong
//       static Track* Lookup(Container& container, const char* name);
//       static std::size_t TrackCount(const Container& container);
//       static const char* TrackName(const Container& container, std::size_t index,
//                                    char* buffer);               // buffer of kNameCapacity
//       static const Track& TrackAt(const Container& container, std::size_t index);
//   };
//
// and, for the entry points it exports, the table's functions named at each template function
// below. Entry points are Guarded: nothing thrown leaves the library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "container_loader.h"
#include "file_ops.h"
#include "journal.h"
#include "mapped_file.h"
#include "name_list.h"
#include "output_file.h"
#include "plugin_support.h"
#include "rebuilt_container.h"

namespace fogbell::plugin {

// When an explorer's entry points set the error text to "OK" before they begin.
enum class TextReset {
    // Only the loaders from a path and the replacement entry points (through the opening of
    // files); every other entry point leaves an earlier text in place when it succeeds.
    kOnOpen,
    // Every entry point that takes a handle, and the memory loader.
    kEveryEntry,
};

// Whose name list a listing replaces.
enum class NameListScope {
    kPerHandle,  // each handle keeps the list last handed out for it
    kPerPlugin,  // one list for the whole plug-in: any listing frees the one before
};

// Writes an extracted track's size bytes to a new file at outPath; 0 with "Can't create %s
// file." or "Can't write %s file." naming path, the path the caller asked for.
inline int WriteExtractedTrack(const char* outPath, const char* path, const std::uint8_t* data,
                               std::uint32_t size) {
    switch (WriteWholeFile(outPath, data, size)) {
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

// One open container of a table's format.
template <class Container>
struct ExplorerRecord {
    std::int32_t handle = kNoHandle;
    MappedFile* file = nullptr;  // set when the plug-in mapped the container itself
    Container container;
    char** list = nullptr;  // the name list last handed out for this handle (kPerHandle)

    ExplorerRecord() = default;
    ExplorerRecord(const ExplorerRecord&) = delete;
    ExplorerRecord& operator=(const ExplorerRecord&) = delete;
    ~ExplorerRecord() {
        FreeNameList(list);
        CloseMappedFile(file);
    }
};

template <class Table>
class ContainerExplorer {
  public:
    using Container = typename Table::Container;
    using Track = typename Table::Track;
    using Record = ExplorerRecord<Container>;

    // --- Helpers for the table's own entry points.

    // The checked record of a handle, after setting "OK" where the table resets on every entry.
    static Record* Begin(int handle) {
        if constexpr (Table::kTextReset == TextReset::kEveryEntry) {
            SetOk();
        }
        return LookupRecord<Record>(handle);
    }

    // The track called name, or null: "NULL file name." for no name, the table's kMissingText
    // for a name the container lacks (unless quiet).
    static Track* Find(Record& record, const char* name, bool quiet = false) {
        if (name == nullptr) {
            SetErrorText("NULL file name.");
            return nullptr;
        }
        Track* track = Table::Lookup(record.container, name);
        if (track == nullptr && !quiet) {
            Table::SayMissing(name);
        }
        return track;
    }

    // Find, then null with a text when the track's bytes lie outside the container or the
    // container's file was cut short on disk since it was opened (the system is asked).
    static Track* FindReadable(Record& record, const char* name) {
        Track* track = FindInside(record, name);
        return track != nullptr && CheckMappedFileIntact(record.file) ? track : nullptr;
    }

    // Find, then null with a text when the track's bytes lie outside the container or a touch
    // of the container's view has met a page that a cut took away. The system is not asked:
    // for the calls that only hand out a pointer, which the host makes row after row.
    static Track* FindInside(Record& record, const char* name) {
        Track* track = Find(record, name);
        if (track == nullptr) {
            return nullptr;
        }
        if (!track->InsideOf(record.container.length)) {
            Table::SayOutside(name);
            return nullptr;
        }
        return CheckMappingUndamaged(record.file) ? track : nullptr;
    }

    // Parses the container in data and stores a new record in the free slot handle; the
    // handle, or kNoHandle with the table's text.
    static int OpenInSlot(int handle, std::uint8_t* data, std::uint32_t length) {
        Container container;
        if (const char* wrong = Table::Parse(data, length, container)) {
            SetErrorText("%s", wrong);
            return kNoHandle;
        }
        auto* record = new (std::nothrow) Record;
        if (record == nullptr) {
            SetErrorText("Can't allocate struct.");
            return kNoHandle;
        }
        record->handle = handle;
        record->container = std::move(container);
        StoreRecord(handle, record);
        return handle;
    }

    // The free slot, or kNoHandle with the table's text.
    static int FreeSlot() {
        const int handle = FindFreeHandle();
        if (handle == kNoHandle) {
            SetErrorText("%s", Table::kNoFreeHandle);
        }
        return handle;
    }

    // The memory loader behind fnLoadFileMemory and fnLoadFile: data checked, a free slot, the
    // container parsed into a new record.
    static int LoadMemory(std::uint8_t* data, std::uint32_t length) {
        if constexpr (Table::kTextReset == TextReset::kEveryEntry) {
            SetOk();
        }
        if (!CheckMemory(data)) {
            return kNoHandle;
        }
        const int handle = FreeSlot();
        return handle == kNoHandle ? kNoHandle : OpenInSlot(handle, data, length);
    }

    // --- The entry points' bodies.

    // fnLoadFile: the container at path, put back first after a cut-short replacement.
    static std::int32_t LoadFile(const char* path) {
        return Guarded(kNoHandle, [&] {
            return LoadRecordFromPath<Record>(path, Table::kNoFreeHandle, LoadMemory);
        });
    }

    // fnLoadFileMemory: the caller's bytes, which replacements write into.
    static std::int32_t LoadFileMemory(const void* data, std::uint32_t length) {
        return Guarded(kNoHandle, [&] {
            return LoadMemory(static_cast<std::uint8_t*>(const_cast<void*>(data)), length);
        });
    }

    static std::int32_t CloseFile(std::int32_t handle) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            if (record == nullptr) {
                return 0;
            }
            ReleaseHandle(handle);
            delete record;
            return 1;
        });
    }

    static const char* const* SupportExt() { return Table::kExtensions; }

    // fnGetListFiles: the tracks' names (TrackCount, TrackName) in a list that the next listing
    // frees, of this handle or of the plug-in as the table says.
    static char** ListFiles(std::int32_t handle) {
        return Guarded<char**>(nullptr, [&]() -> char** {
            Record* record = Begin(handle);
            if (record == nullptr) {
                return nullptr;
            }
            char**& slot =
                Table::kNameList == NameListScope::kPerHandle ? record->list : pluginList_.list;
            FreeNameList(slot);
            slot = nullptr;
            const std::size_t count = Table::TrackCount(record->container);
            char buffer[Table::kNameCapacity];
            char** list = MakeNameList(count, Table::kNameCapacity, [&](std::size_t i) {
                return Table::TrackName(record->container, i, buffer);
            });
            if (list == nullptr) {
                if (Table::kSaysListFailures) {
                    SetErrorText("Can't allocate %u pointers", static_cast<unsigned>(count + 1));
                }
                return nullptr;
            }
            slot = list;
            return list;
        });
    }

    // fnGetFilePointer: the track's bytes inside the container; length 0 on failure. Bytes
    // that a cut nothing has touched yet took away read as zeros (mapping_guard.h); the calls
    // that read the bytes themselves then refuse the container.
    static const void* FilePointer(std::int32_t handle, const char* name, std::uint32_t* length) {
        return Guarded<const void*>(nullptr, [&]() -> const void* {
            if (length != nullptr) {
                *length = 0;
            }
            Record* record = Begin(handle);
            Track* track = record ? FindInside(*record, name) : nullptr;
            if (track == nullptr) {
                return nullptr;
            }
            if (length != nullptr) {
                *length = track->Size();
            }
            return record->container.base + track->offset;
        });
    }

    static std::uint32_t LengthFile(std::int32_t handle, const char* name) {
        return Guarded(0u, [&]() -> std::uint32_t {
            Record* record = Begin(handle);
            Track* track = record ? Find(*record, name, Table::kQuietWhenMissing) : nullptr;
            return track ? track->Size() : 0;
        });
    }

    // fnGetDamagedCount: the tracks that do not lie inside the container's bytes, in one pass
    // over the table (0 for a bad handle). The error text is left alone.
    static std::uint32_t DamagedCount(std::int32_t handle) {
        return Guarded(0u, [&]() -> std::uint32_t {
            const auto* record = static_cast<const Record*>(RecordAt(handle));
            if (record == nullptr) {
                return 0u;
            }
            const Container& container = record->container;
            const std::size_t count = Table::TrackCount(container);
            std::uint32_t damaged = 0;
            for (std::size_t i = 0; i < count; ++i) {
                damaged += Table::TrackAt(container, i).InsideOf(container.length) ? 0u : 1u;
            }
            return damaged;
        });
    }

    // fnIsTrackDamaged: 1 when the named track does not lie inside the container's bytes.
    static std::int32_t TrackDamaged(std::int32_t handle, const char* name) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            const Track* track = record ? Find(*record, name) : nullptr;
            return track != nullptr && !track->InsideOf(record->container.length) ? 1 : 0;
        });
    }

    // fnGetBitrate: Table::Bitrate(bytes) of a track of at least Table::kBitrateBytes, else 0
    // with Table::SayTooShort(name).
    static std::uint32_t Bitrate(std::int32_t handle, const char* name) {
        return Guarded(0u, [&]() -> std::uint32_t {
            Record* record = Begin(handle);
            Track* track = record ? FindReadable(*record, name) : nullptr;
            if (track == nullptr) {
                return 0;
            }
            if (track->Size() < Table::kBitrateBytes) {
                Table::SayTooShort(name);
                return 0;
            }
            return Table::Bitrate(record->container.base + track->offset);
        });
    }

    // fnExtractFile: Table::Extract(record, track, name, path) of a readable track.
    static std::int32_t ExtractFile(std::int32_t handle, const char* name, const char* path) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            Track* track = record ? FindReadable(*record, name) : nullptr;
            if (track == nullptr) {
                return 0;
            }
            if (path == nullptr) {
                SetErrorText("NULL file pointer.");
                return 0;
            }
            return Table::Extract(*record, *track, name, path);
        });
    }

    // fnReplaceFileMemory: Table::Replace(record, name, data, length).
    static std::int32_t ReplaceFileMemory(std::int32_t handle, const char* name, const void* data,
                                          std::uint32_t length) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            return record ? Table::Replace(*record, name, static_cast<const std::uint8_t*>(data),
                                           length)
                          : 0;
        });
    }

    // fnReplaceFile: the file opened by Table::OpenReplacement, then Table::Replace.
    static std::int32_t ReplaceFile(std::int32_t handle, const char* name, const char* path) {
        return WithReplacement(
            handle, path, [] { return true; },
            [&](Record& record, const std::uint8_t* bytes, std::uint32_t length) {
                return Table::Replace(record, name, bytes, length);
            });
    }

    // fnGetRoomFile: Table::MeasureRoom(record, track, name, bytes, length, needed, room) of the
    // track found, with "OK" set once the file is open.
    static std::int32_t RoomFile(std::int32_t handle, const char* name, const char* path,
                                 std::uint32_t* needed, std::uint32_t* room) {
        return WithReplacement(
            handle, path, [] { return true; },
            [&](Record& record, const std::uint8_t* bytes, std::uint32_t length) {
                SetOk();
                Track* track = Find(record, name);
                return track ? Table::MeasureRoom(record, *track, name, bytes, length, needed, room)
                             : 0;
            });
    }

    // fnRebuildFile: Table::Rebuild(container, members, out, error), members giving only the
    // named track new bytes, written to outPath and flushed; no file is left there after a
    // failure.
    static std::int32_t RebuildFile(std::int32_t handle, const char* name, const char* path,
                                    const char* outPath) {
        const auto named = [outPath] {
            if (outPath == nullptr) {
                SetErrorText("NULL file pointer.");
            }
            return outPath != nullptr;
        };
        return WithReplacement(
            handle, path, named,
            [&](Record& record, const std::uint8_t* bytes, std::uint32_t length) {
                SetOk();
                return WriteRebuilt(record, name, bytes, length, outPath);
            });
    }

    // fnReplaceFiles: Table::Replace of each named track with its file, all under one journal
    // (ContainerBatch): each replacement first records its ranges, then every range is saved
    // at once and each replacement writes. Nothing is written when a name, a file or a
    // replacement is refused; a failure while writing puts the saved bytes back.
    static std::int32_t ReplaceFiles(std::int32_t handle, std::uint32_t count,
                                     const char* const* names, const char* const* paths) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            return record ? ReplaceAll(*record, count, names, paths, nullptr) : 0;
        });
    }

    // fnReplaceFilesWithin: as ReplaceFiles for a container handed in as memory that lies at
    // offset of the file at filePath, mapped for writing elsewhere: the batch's journal is that
    // file's (EnclosingFile).
    static std::int32_t ReplaceFilesWithin(std::int32_t handle, std::uint32_t count,
                                           const char* const* names, const char* const* paths,
                                           const char* filePath, std::uint64_t offset) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            if (record == nullptr) {
                return 0;
            }
            if (filePath == nullptr) {
                SetErrorText("NULL file pointer.");
                return 0;
            }
            if (record->file != nullptr) {
                SetErrorText("This container was opened from its own file: replace its tracks "
                             "with fnReplaceFiles.");
                return 0;
            }
            EnclosingFile enclosing{filePath, offset, 0};
            if (!FileSizeOf(filePath, enclosing.length)) {
                SetErrorText("Unable to open the file: %s!", filePath);
                return 0;
            }
            if (offset > enclosing.length ||
                record->container.length > enclosing.length - offset) {
                SetErrorText("Internal error: the container does not lie inside %s.", filePath);
                return 0;
            }
            return ReplaceAll(*record, count, names, paths, &enclosing);
        });
    }

    // fnGetTrackOffset: where the track's bytes begin in the container's.
    static std::int32_t TrackOffset(std::int32_t handle, const char* name, std::uint64_t* offset) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            Track* track = record ? FindInside(*record, name) : nullptr;
            if (track == nullptr) {
                return 0;
            }
            if (offset == nullptr) {
                SetErrorText("NULL memory pointer.");
                return 0;
            }
            *offset = track->offset;
            return 1;
        });
    }

    // fnRebuildFiles: Table::Rebuild(container, members, out, error) with every named track
    // holding its file, in one pass, written to outPath and flushed; no file is left there after
    // a failure.
    static std::int32_t RebuildFiles(std::int32_t handle, std::uint32_t count,
                                     const char* const* names, const char* const* paths,
                                     const char* outPath) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            if (record == nullptr) {
                return 0;
            }
            if (names == nullptr || paths == nullptr || outPath == nullptr) {
                SetErrorText("NULL file pointer.");
                return 0;
            }
            NewMembers members(Table::TrackCount(record->container));
            std::vector<MappedFilePtr> sources;
            for (std::uint32_t i = 0; i < count; ++i) {
                Track* track = Find(*record, names[i]);
                if (track == nullptr) {
                    return 0;
                }
                NewMember& member = members[IndexOf(record->container, *track)];
                if (member.replaced) {
                    SetErrorText("%s is named twice.", names[i]);
                    return 0;
                }
                const std::uint8_t* bytes = nullptr;
                sources.push_back(Table::OpenReplacement(paths[i], bytes));
                if (!sources.back()) {
                    return 0;
                }
                member = NewMember{bytes, MappedLength(sources.back().get()), true};
            }
            SetOk();
            return WriteRebuilt(*record, members, outPath);
        });
    }

  private:
    // The body of ReplaceFiles and ReplaceFilesWithin: the batch journalled in the record's own
    // file, or in the enclosing file when one is given.
    static std::int32_t ReplaceAll(Record& record, std::uint32_t count, const char* const* names,
                                   const char* const* paths, const EnclosingFile* enclosing) {
        if (names == nullptr || paths == nullptr) {
            SetErrorText("NULL file pointer.");
            return 0;
        }
        std::vector<MappedFilePtr> sources;
        std::vector<const std::uint8_t*> bytes(count, nullptr);
        std::vector<const Track*> tracks;
        for (std::uint32_t i = 0; i < count; ++i) {
            const Track* track = Find(record, names[i]);
            if (track == nullptr) {
                return 0;
            }
            if (std::find(tracks.begin(), tracks.end(), track) != tracks.end()) {
                SetErrorText("%s is named twice.", names[i]);
                return 0;
            }
            tracks.push_back(track);
            sources.push_back(Table::OpenReplacement(paths[i], bytes[i]));
            if (!sources.back()) {
                return 0;
            }
        }
        SetOk();
        const auto replaceEach = [&] {
            for (std::uint32_t i = 0; i < count; ++i) {
                if (Table::Replace(record, names[i], bytes[i], MappedLength(sources[i].get())) ==
                    0) {
                    return i;
                }
            }
            return count;
        };
        std::optional<ContainerBatch> batch;
        if (enclosing != nullptr) {
            batch.emplace(*enclosing, record.container.base, record.container.length);
        } else {
            batch.emplace(record.file, record.container.base, record.container.length);
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            // While the batch records every replacement stops at its write; one that
            // recorded nothing was refused, with its text.
            const std::size_t before = batch->Recorded();
            Table::Replace(record, names[i], bytes[i], MappedLength(sources[i].get()));
            if (batch->Recorded() == before) {
                return 0;
            }
        }
        if (!batch->StartWriting()) {
            return 0;
        }
        SetOk();
        if (replaceEach() != count) {
            const std::string why = ErrorText();
            batch->Undo();
            SetErrorText("%s", why.c_str());
            return 0;
        }
        return batch->Commit() ? 1 : 0;
    }

    // The body of the entry points that take a replacement file: body(record, bytes, length)
    // with the checked record, once ready() agrees, and the file that Table::OpenReplacement
    // opened (the view's own length bounds every read); 0 when any of them fails.
    template <class Ready, class Body>
    static std::int32_t WithReplacement(std::int32_t handle, const char* path, Ready&& ready,
                                        Body&& body) {
        return Guarded(0, [&] {
            Record* record = Begin(handle);
            if (record == nullptr || !ready()) {
                return 0;
            }
            const std::uint8_t* bytes = nullptr;
            MappedFilePtr source = Table::OpenReplacement(path, bytes);
            if (!source) {
                return 0;
            }
            return body(*record, bytes, MappedLength(source.get()));
        });
    }

    // The position of track (one of the container's) in its table.
    static std::size_t IndexOf(const Container& container, const Track& track) {
        return static_cast<std::size_t>(&track - &Table::TrackAt(container, 0));
    }

    static int WriteRebuilt(Record& record, const char* name, const std::uint8_t* data,
                            std::uint32_t length, const char* outPath) {
        Track* track = Find(record, name);
        if (track == nullptr) {
            return 0;
        }
        return WriteRebuilt(record,
                            OneNewMember(Table::TrackCount(record.container),
                                         IndexOf(record.container, *track), data, length),
                            outPath);
    }

    // The container rebuilt with members' new bytes, written to outPath and flushed.
    static int WriteRebuilt(Record& record, const NewMembers& members, const char* outPath) {
        if (!CheckMappedFileIntact(record.file)) {
            return 0;
        }
        RebuiltContainer rebuilt;
        std::string error;
        if (!Table::Rebuild(record.container, members, rebuilt, error)) {
            SetErrorText("%s", error.c_str());
            return 0;
        }
        if (!WriteRebuiltContainer(outPath, rebuilt, record.file)) {
            return 0;
        }
        // A container cut short on disk while it was copied gave zeros for its lost bytes.
        if (!CheckMappedFileIntact(record.file)) {
            std::remove(outPath);
            return 0;
        }
        return 1;
    }

    // The plug-in's name list (kPerPlugin), freed when the library is unloaded.
    static inline PluginNameList pluginList_;
};

}  // namespace fogbell::plugin
