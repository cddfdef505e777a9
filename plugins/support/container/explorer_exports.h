// The export block of a container explorer, written once: every entry point a container
// explorer exports, each forwarding to the function of the same job of its Vault, a
// ContainerExplorer<Table> (container_explorer.h) or a struct derived from one that adds what
// the template leaves to the format:
//
//   Layout(handle)                         fnGetLayout
//   Pack(layout, paths, count, outPath)    fnPackFiles
//
// and may hide a template function with one of its own (a fnLoadFile of its own, say). An
// explorer's file ends with
//
//   FOGBELL_CONTAINER_EXPLORER_EXPORTS(Vault)
//   FOGBELL_CONTAINER_EXPLORER_BITRATE_EXPORT(Vault)   // where it tells a track's bitrate
//
// at file scope. fnGetErrorString is the support library's (plugin_support.h).
#pragma once

#include <cstdint>

#include "fogbell_explorer.h"

#define FOGBELL_CONTAINER_EXPLORER_EXPORTS(Vault)                                                  \
    extern "C" {                                                                                   \
    FOGBELL_PLUGIN_API int32_t fnLoadFile(const char* path) {                                      \
        return Vault::LoadFile(path);                                                              \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(const void* data, uint32_t length) {               \
        return Vault::LoadFileMemory(data, length);                                                \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle) {                                       \
        return Vault::CloseFile(handle);                                                           \
    }                                                                                              \
    FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void) {                                  \
        return Vault::SupportExt();                                                                \
    }                                                                                              \
    FOGBELL_PLUGIN_API char** fnGetListFiles(int32_t handle) {                                     \
        return Vault::ListFiles(handle);                                                           \
    }                                                                                              \
    FOGBELL_PLUGIN_API const void* fnGetFilePointer(int32_t handle, const char* name,              \
                                                    uint32_t* length) {                            \
        return Vault::FilePointer(handle, name, length);                                           \
    }                                                                                              \
    FOGBELL_PLUGIN_API uint32_t fnGetLengthFile(int32_t handle, const char* name) {                \
        return Vault::LengthFile(handle, name);                                                    \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnExtractFile(int32_t handle, const char* name, const char* path) { \
        return Vault::ExtractFile(handle, name, path);                                             \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnReplaceFileMemory(int32_t handle, const char* name,               \
                                                   const void* data, uint32_t length) {            \
        return Vault::ReplaceFileMemory(handle, name, data, length);                               \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnReplaceFile(int32_t handle, const char* name, const char* path) { \
        return Vault::ReplaceFile(handle, name, path);                                             \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnGetRoomFile(int32_t handle, const char* name, const char* path,   \
                                             uint32_t* needed, uint32_t* room) {                   \
        return Vault::RoomFile(handle, name, path, needed, room);                                  \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnRebuildFile(int32_t handle, const char* name, const char* path,   \
                                             const char* outPath) {                                \
        return Vault::RebuildFile(handle, name, path, outPath);                                    \
    }                                                                                              \
    FOGBELL_PLUGIN_API const char* fnGetLayout(int32_t handle) {                                   \
        return Vault::Layout(handle);                                                              \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnPackFiles(const char* layout, const char* const* paths,           \
                                           uint32_t count, const char* outPath) {                  \
        return Vault::Pack(layout, paths, count, outPath);                                         \
    }                                                                                              \
    FOGBELL_PLUGIN_API uint32_t fnGetDamagedCount(int32_t handle) {                                \
        return Vault::DamagedCount(handle);                                                        \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnIsTrackDamaged(int32_t handle, const char* name) {                \
        return Vault::TrackDamaged(handle, name);                                                  \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnReplaceFiles(int32_t handle, uint32_t count,                      \
                                              const char* const* names,                            \
                                              const char* const* paths) {                          \
        return Vault::ReplaceFiles(handle, count, names, paths);                                   \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnRebuildFiles(int32_t handle, uint32_t count,                      \
                                              const char* const* names, const char* const* paths,  \
                                              const char* outPath) {                               \
        return Vault::RebuildFiles(handle, count, names, paths, outPath);                          \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnReplaceFilesWithin(                                               \
        int32_t handle, uint32_t count, const char* const* names, const char* const* paths,        \
        const char* filePath, uint64_t offset) {                                                   \
        return Vault::ReplaceFilesWithin(handle, count, names, paths, filePath, offset);           \
    }                                                                                              \
    FOGBELL_PLUGIN_API int32_t fnGetTrackOffset(int32_t handle, const char* name,                  \
                                                uint64_t* offset) {                                \
        return Vault::TrackOffset(handle, name, offset);                                           \
    }                                                                                              \
    }

// fnGetBitrate, for an explorer whose Table tells a track's bitrate (container_explorer.h).
#define FOGBELL_CONTAINER_EXPLORER_BITRATE_EXPORT(Vault)                                    \
    extern "C" FOGBELL_PLUGIN_API uint32_t fnGetBitrate(int32_t handle, const char* name) { \
        return Vault::Bitrate(handle, name);                                                \
    }
