/*
 * What both plug-in interfaces share: how entry points are marked for export, and the entry
 * points whose types are the same in both.
 *
 * A plug-in's sources define FOGBELL_BUILDING_PLUGIN; the entry points then get default
 * visibility (or dllexport) while everything else in the library stays hidden. Explorers also
 * define FOGBELL_EXPLORER_PLUGIN and decoders FOGBELL_DECODER_PLUGIN, which declare that kind's
 * entry points (the two kinds share names such as fnLoadFile with different types). The host
 * includes both interface headers for the entry point types only and never links a plug-in.
 */
#ifndef FOGBELL_PLUGIN_COMMON_H
#define FOGBELL_PLUGIN_COMMON_H

#if defined(FOGBELL_BUILDING_PLUGIN)
#if defined(_WIN32)
#define FOGBELL_PLUGIN_API __declspec(dllexport)
#else
#define FOGBELL_PLUGIN_API __attribute__((visibility("default")))
#endif
#else
#define FOGBELL_PLUGIN_API
#endif

#include <stdint.h>

/* Handle value that names nothing: what the load operations return on failure. */
#define FOGBELL_NO_HANDLE (-1)

#ifdef __cplusplus
extern "C" {
#endif

/* Entry points that explorers and decoders share, with the same types. */
typedef int32_t (*FnCloseFile)(int32_t handle);
typedef const char* (*FnGetErrorString)(void);
typedef const char* const* (*FnGetSupportExt)(void);

#ifdef __cplusplus
}
#endif

#endif /* FOGBELL_PLUGIN_COMMON_H */
