/*
 * What both plug-in interfaces share: how entry points are marked for export.
 *
 * A plug-in's sources define FOGBELL_BUILDING_PLUGIN; the entry points then get default
 * visibility (or dllexport) while everything else in the library stays hidden. The host
 * includes the interface headers only for the entry point types and never links a plug-in.
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

/* Handle value that names nothing: what the load operations return on failure. */
#define FOGBELL_NO_HANDLE (-1)

#endif /* FOGBELL_PLUGIN_COMMON_H */
