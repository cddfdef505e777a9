// aixvoice: the decoder plug-in for AIX streams (aix_stream.h).
//
// It opens a whole AIX container (from a path, or bytes beginning with "AIXF") and plays stream
// 0, or takes the AIX explorer's track record (fogbell_aix_record.h), once the explorer has
// vouched for it, and plays the track the record selects, straight from the explorer's view of the
// container; the record, its table and the container stay the explorer's. There is no format
// converter: the output format is the source format, whatever channelsOut and rateOut ask for.
// Every entry point that takes a handle, and both loaders, start by setting the text to "OK".
#include <cstring>
#include <memory>
#include <new>

#include "aix_layout.h"
#include "aix_stream.h"
#include "byte_order.h"
#include "file_checks.h"
#include "fogbell_decoder.h"
#include "loaded_module.h"
#include "mapped_file.h"
#include "plugin_support.h"

namespace {

using namespace fogbell::plugin;
namespace aix = fogbell::aix;

constexpr const char* kNoFreeHandle = "Not free handle.";

// AIXVOICEFILE: one open stream.
struct AixVoiceFile {
    MappedFile* file = nullptr;                // when this plug-in mapped the container
    std::unique_ptr<std::uint8_t[]> ownTable;  // a whole container's table; null for a record
    aix::StreamDecoder decoder;
};

AixVoiceFile* Lookup(int handle) {
    return LookupRecord<AixVoiceFile>(handle);
}

// Stores a record for the source in the free slot handle; -1 with "Error format _HeaderCri."
// when stream 0 gives no PCM format.
int Adopt(int handle, std::unique_ptr<AixVoiceFile> record, const aix::StreamSource& source) {
    if (!record->decoder.Open(source)) {
        SetErrorText("Error format _HeaderCri.");
        return kNoHandle;
    }
    StoreRecord(handle, record.release());
    return handle;
}

// A whole container of size bytes, playing stream 0.
int LoadContainer(int handle, const std::uint8_t* data, std::uint32_t size) {
    if (size == 0) {
        SetErrorText("Error memory size");
        return kNoHandle;
    }
    aix::Layout layout;
    const aix::LayoutStatus status = aix::ReadLayout(data, size, layout);
    if (status != aix::LayoutStatus::kOk) {
        SetErrorText("%s", aix::LayoutText(status));  // "OK" for a container without tracks
        return kNoHandle;
    }
    auto record = std::make_unique<AixVoiceFile>();
    record->ownTable = aix::CopyTable(data, layout);
    if (!record->ownTable) {
        SetErrorText("Can't allocate _HeaderCri.");
        return kNoHandle;
    }
    aix::StreamSource source;
    source.table = record->ownTable.get();
    source.trackCount = layout.trackCount;
    source.base = data;
    source.length = size;
    source.firstPacket = layout.firstPacket;
    source.selected = 0;
    return Adopt(handle, std::move(record), source);
}

// The explorer's track record, playing the track it selects.
int LoadTrackRecord(int handle, const void* data) {
    aix::StreamSource source;
    if (!aix::ReadTrackRecord(data, source)) {
        SetErrorText("Unknown format.");
        return kNoHandle;
    }
    return Adopt(handle, std::make_unique<AixVoiceFile>(), source);
}

// True when aixvault, loaded in this process, vouches that data is one of its live track
// records. Nothing at data is read to decide: the bytes of a file can look like a record.
bool IsExplorerRecord(const void* data) {
    return AskLoadedModule(FOGBELL_AIX_RECORD_OWNER, FOGBELL_AIX_RECORD_CHECK, data) != 0;
}

int LoadMemory(const void* data, std::uint32_t size) {
    const int handle = FindFreeHandle();
    if (handle == kNoHandle) {
        SetErrorText("%s", kNoFreeHandle);
        return kNoHandle;
    }
    if (!CheckMemory(data)) {
        return kNoHandle;
    }
    if (IsExplorerRecord(data)) {
        return LoadTrackRecord(handle, data);
    }
    // Anything else is a container of size bytes; ReadLayout reads none at or past size.
    return LoadContainer(handle, static_cast<const std::uint8_t*>(data), size);
}

int LoadPath(const char* path) {
    if (!CheckFileName(path)) {
        return kNoHandle;
    }
    if (GetFileLength(path) == 0) {
        SetErrorText("Error %s file size", path);
        return kNoHandle;
    }
    void* view = nullptr;
    MappedFile* file = OpenMappedFile(path, &view, FileAccess::kRead);
    if (file == nullptr) {
        return kNoHandle;
    }
    const int handle = FindFreeHandle();
    int result = kNoHandle;
    if (handle == kNoHandle) {
        SetErrorText("%s", kNoFreeHandle);
    } else {
        // A file is always a container, never a record, whatever its first bytes.
        result = LoadContainer(handle, static_cast<const std::uint8_t*>(view), MappedLength(file));
    }
    if (result == kNoHandle) {
        CloseMappedFile(file);
        return kNoHandle;
    }
    static_cast<AixVoiceFile*>(RecordAt(result))->file = file;
    return result;
}

}  // namespace

extern "C" {

FOGBELL_PLUGIN_API int32_t fnLoadFile(int32_t channelsOut, int32_t rateOut, const char* path) {
    static_cast<void>(channelsOut);  // no converter: the output is the source format
    static_cast<void>(rateOut);
    return Guarded(kNoHandle, [&] {
        SetOk();
        return LoadPath(path);
    });
}

FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(int32_t channelsOut, int32_t rateOut, const void* data,
                                            uint32_t size) {
    static_cast<void>(channelsOut);
    static_cast<void>(rateOut);
    return Guarded(kNoHandle, [&] {
        SetOk();
        return LoadMemory(data, size);
    });
}

FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {
    return Guarded(0, [&] {
        SetOk();
        AixVoiceFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        CloseMappedFile(record->file);
        delete record;
        ReleaseHandle(handle);
        return 1;
    });
}

FOGBELL_PLUGIN_API int32_t fnResetFile(int32_t handle) {
    return GuardedUnlocked(0, [&] {
        SetOk();
        AixVoiceFile* record = Lookup(handle);
        if (record == nullptr) {
            return 0;
        }
        record->decoder.Rewind();
        return 1;
    });
}

FOGBELL_PLUGIN_API const PcmBlock* fnDecodeNext(int32_t handle) {
    return GuardedUnlocked<const PcmBlock*>(nullptr, [&]() -> const PcmBlock* {
        SetOk();
        AixVoiceFile* record = Lookup(handle);
        if (record == nullptr) {
            return nullptr;
        }
        const aix::StreamDecoder& decoder = record->decoder;
        const PcmBlock* block = record->decoder.Next();
        if (decoder.MetCut() == aix::StreamDecoder::Cut::kPacket) {
            SetErrorText("Error size AIXPData.");
        } else if (decoder.MetCut() == aix::StreamDecoder::Cut::kShort) {
            SetErrorText("%s", aix::CutText(decoder.Played(), decoder.Consumed()).c_str());
        }
        return block;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetCurrPos(int32_t handle) {
    return GuardedUnlocked(0u, [&]() -> uint32_t {
        SetOk();
        AixVoiceFile* record = Lookup(handle);
        return record ? record->decoder.Position() : 0;
    });
}

FOGBELL_PLUGIN_API uint32_t fnGetSizeData(int32_t handle) {
    return GuardedUnlocked(0u, [&]() -> uint32_t {
        SetOk();
        AixVoiceFile* record = Lookup(handle);
        return record ? record->decoder.Size() : 0;
    });
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatSource(int32_t handle) {
    return GuardedUnlocked<const WAVEFORMATEX*>(nullptr, [&]() -> const WAVEFORMATEX* {
        SetOk();
        AixVoiceFile* record = Lookup(handle);
        return record ? &record->decoder.Format() : nullptr;
    });
}

FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatOut(int32_t handle) {
    return fnGetFormatSource(handle);  // no converter: one format record serves both
}

FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {
    static const char* const kExtensions[] = {"AIXF", "AIX", nullptr};
    return kExtensions;
}

}  // extern "C"
