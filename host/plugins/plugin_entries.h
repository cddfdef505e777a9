// Every entry point the plug-in host binds, named once per kind. From these two lists come the
// kind rule (which exports make a library an explorer or a decoder: plugin_host.cpp), the
// records' fields (plugin_records.h) and the binding (plugin_host.cpp).
//
// A row is X(NAME, TYPE, NEED, HOLDER):
//   NAME    the exported name, which is also the record's field
//   TYPE    the interface headers' pointer type
//   NEED    Required (a library of the kind lacking it is left out) or Optional
//   HOLDER  Common when the record part both kinds share keeps it (the same name and type in
//           both lists), Kind when the kind's own record does
//
// A name that only one list holds tells the kind: a library exporting it cannot be of the other
// kind. The order of a list is the order in which a left-out library's missing or foreign entry
// points are named.
#pragma once

#include "fogbell_decoder.h"
#include "fogbell_explorer.h"

// fnGetDamagedCount and fnIsTrackDamaged are bound both or neither (plugin_host.cpp).
// fnReplaceFileMemory, fnGetBitrate and fnGetFallbackExt are bound, though no session calls
// them yet: they still tell the kind.
#define FOGBELL_EXPLORER_ENTRIES(X)                               \
    X(fnLoadFile, FnExplorerLoadFile, Required, Kind)             \
    X(fnCloseFile, FnCloseFile, Required, Common)                 \
    X(fnGetListFiles, FnGetListFiles, Required, Kind)             \
    X(fnGetFilePointer, FnGetFilePointer, Required, Kind)         \
    X(fnExtractFile, FnExtractFile, Required, Kind)               \
    X(fnLoadFileMemory, FnExplorerLoadFileMemory, Required, Kind) \
    X(fnGetSupportExt, FnGetSupportExt, Required, Common)         \
    X(fnGetErrorString, FnGetErrorString, Optional, Common)       \
    X(fnGetLengthFile, FnGetLengthFile, Optional, Kind)           \
    X(fnReplaceFile, FnReplaceFile, Optional, Kind)               \
    X(fnReplaceFileMemory, FnReplaceFileMemory, Optional, Kind)   \
    X(fnGetBitrate, FnGetBitrate, Optional, Kind)                 \
    X(fnGetRoomFile, FnGetRoomFile, Optional, Kind)               \
    X(fnRebuildFile, FnRebuildFile, Optional, Kind)               \
    X(fnReplaceFiles, FnReplaceFiles, Optional, Kind)             \
    X(fnRebuildFiles, FnRebuildFiles, Optional, Kind)             \
    X(fnGetDamagedCount, FnGetDamagedCount, Optional, Kind)       \
    X(fnIsTrackDamaged, FnIsTrackDamaged, Optional, Kind)         \
    X(fnGetLayout, FnGetLayout, Optional, Kind)                   \
    X(fnPackFiles, FnPackFiles, Optional, Kind)                   \
    X(fnGetTrackOffset, FnGetTrackOffset, Optional, Kind)         \
    X(fnReplaceFilesWithin, FnReplaceFilesWithin, Optional, Kind)

#define FOGBELL_DECODER_ENTRIES(X)                               \
    X(fnLoadFile, FnDecoderLoadFile, Required, Kind)             \
    X(fnCloseFile, FnCloseFile, Required, Common)                \
    X(fnLoadFileMemory, FnDecoderLoadFileMemory, Optional, Kind) \
    X(fnGetSupportExt, FnGetSupportExt, Optional, Common)        \
    X(fnGetErrorString, FnGetErrorString, Optional, Common)      \
    X(fnDecodeNext, FnDecodeNext, Optional, Kind)                \
    X(fnGetFormatOut, FnGetFormat, Optional, Kind)               \
    X(fnGetFormatSource, FnGetFormat, Optional, Kind)            \
    X(fnGetSizeData, FnGetSizeData, Optional, Kind)              \
    X(fnGetCurrPos, FnGetCurrPos, Optional, Kind)                \
    X(fnResetFile, FnResetFile, Optional, Kind)                  \
    X(fnGetLoopPoints, FnGetLoopPoints, Optional, Kind)          \
    X(fnSeekSample, FnSeekSample, Optional, Kind)                \
    X(fnGetFallbackExt, FnGetFallbackExt, Optional, Kind)

// A record's field for a row it holds: FOGBELL_KIND_FIELD in the kind's record,
// FOGBELL_COMMON_FIELD in the part both share.
#define FOGBELL_FIELD_IF_Kind_Kind(name, type) type name = nullptr;
#define FOGBELL_FIELD_IF_Kind_Common(name, type)
#define FOGBELL_FIELD_IF_Common_Kind(name, type)
#define FOGBELL_FIELD_IF_Common_Common(name, type) type name = nullptr;
#define FOGBELL_KIND_FIELD(name, type, need, holder) FOGBELL_FIELD_IF_Kind_##holder(name, type)
#define FOGBELL_COMMON_FIELD(name, type, need, holder) FOGBELL_FIELD_IF_Common_##holder(name, type)
