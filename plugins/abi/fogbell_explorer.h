/*
 * Explorer plug-in interface.
 *
 * An explorer plug-in opens one kind of container (a file holding several tracks), lists its
 * tracks, hands out a track's bytes, writes a track to a file and, for some kinds, overwrites a
 * track in place. The host finds explorer libraries in "explore_plugins" beside the program and
 * binds these entry points by name at run time; it never links against a plug-in.
 *
 * Conventions
 *  - Handles are slot numbers 0..99 of the plug-in's own table; -1 means "nothing opened".
 *  - Load operations return a handle or -1. Every other operation returns non-zero, a value or a
 *    pointer on success and 0 or NULL on failure; the reason is then in fnGetErrorString().
 *  - Track names are NUL-terminated single-byte strings. Sizes and lengths are 32-bit unsigned.
 *  - Every track is listed, one name per track in container order; a name list ends only at
 *    NULL. A host takes an empty name for a track, never for the end of the list.
 *  - Each track is listed under a name of its own, unique within the container without regard
 *    to ASCII case, and every entry point that takes a name finds the track listed under it
 *    (names compare without regard to ASCII case). Where a container stores names, a track
 *    keeps its stored name unless an earlier track stores the same name or the name is empty or
 *    spaces only. A repeated name is listed with " (N)" before its extension (the part from its
 *    last dot, unless that dot starts the name): "dup (2).adx", N the smallest number from 2
 *    that no listed name holds. An empty name is listed under a stand-in made of the track's
 *    number (from 0) and the extension of its kind ("00009.adx"), made unique the same way.
 *    Tracks keeping their stored names are named first, then repeated names, then stand-ins:
 *    a renamed track never takes a name that a later track stores, and a stand-in (whose
 *    extension follows the track's bytes) never changes another track's name.
 *  - No C++ exception ever leaves an entry point.
 *
 * Ownership
 *  - Everything a plug-in returns (extension list, name lists, track pointers, error text) is
 *    owned by the plug-in. The caller never frees it.
 *  - The extension list is static: valid until the library is unloaded.
 *  - The error text pointer is valid until unload; its content changes with later calls.
 *  - A name list stays valid until the plug-in's next fnGetListFiles call (any handle, or for
 *    some plug-ins only the same handle) or until that handle is closed.
 *  - A track pointer leads into the container bytes and stays valid until fnCloseFile.
 *  - Bytes given to fnLoadFileMemory stay the caller's. They must stay valid and unmoved until
 *    fnCloseFile of that handle; the plug-in never frees them. Replacement writes into them, so
 *    they must be writable when fnReplaceFile / fnReplaceFileMemory is used.
 *  - A container opened with fnLoadFile is mapped read-write when the file may be written, else
 *    read-only (it still lists, hands out and extracts tracks; replacing a track fails with a
 *    text naming the file). A replacement changes the file on disk at once, as one journalled
 *    write: the bytes it overwrites are first saved in PATH.fogbell-journal beside the
 *    container, which is removed once the new bytes are on disk. fnLoadFile of a container
 *    whose journal is still there (the program died during a replacement) first puts the saved
 *    bytes back and then leaves the text "Restored PATH: a replacement that was cut short has
 *    been undone." instead of "OK"; the host shows that text in its status line.
 *  - A replacement file (fnReplaceFile) is only read.
 *  - A container that another program truncates while it is open is reported as damaged
 *    ("PATH was cut short by another program while it was open: it is damaged."); reading its
 *    lost bytes through a track pointer reads zeros instead of ending the program.
 *  - No replacement ever writes a byte of another track that holds bytes, of the container's
 *    tables or past its end, whatever its tables say.
 *  - fnGetRoomFile only reads the replacement file and the container. fnRebuildFile only reads
 *    them and writes the new file at outPath (created or overwritten; the caller owns it); it
 *    never changes the open container, its file on disk or the handle, which keeps viewing the
 *    old container. After a failure no file is left at outPath.
 *  - A layout text (fnGetLayout) is owned by the plug-in and valid until its next fnGetLayout
 *    call (any handle) or until unload. fnPackFiles only reads the layout text and the member
 *    files and writes the new file at outPath (created or overwritten; the caller owns it and
 *    moves it to its final name once it is complete). After a failure no file is left there.
 *  - A null track name is refused with "NULL file name.", a null path with "NULL file
 *    pointer.", null bytes with "NULL memory pointer.".
 *  - A handle opened on bytes of another handle's container must be closed before that handle.
 *
 * Threads
 *  - A plug-in serialises its own entry points: any of them may be called from any thread. Two
 *    threads working on one container still see each other's effects (a replacement changes
 *    what the other reads), and the error text is one per plug-in: read it right after the call
 *    that failed, from the same thread, while no other call into the plug-in runs.
 */
#ifndef FOGBELL_EXPLORER_H
#define FOGBELL_EXPLORER_H

#include <stdint.h>

#include "fogbell_plugin_common.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(FOGBELL_EXPLORER_PLUGIN)

/* Opens the container at path (mapped read-write). Returns a handle, or -1. */
FOGBELL_PLUGIN_API int32_t fnLoadFile(const char* path);

/* Opens a container from the caller's bytes (see Ownership). Returns a handle, or -1. */
FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(const void* data, uint32_t length);

/* Releases everything the handle owns. 1, or 0 for a bad handle. */
FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle);

/* The plug-in's last error text ("OK" after an operation that found none). Never NULL. */
FOGBELL_PLUGIN_API const char* fnGetErrorString(void);

/* Upper-case extensions without the dot, ending with NULL. Static. */
FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void);

/* Track names in container order, ending with NULL; or NULL on failure. */
FOGBELL_PLUGIN_API char** fnGetListFiles(int32_t handle);

/* Address of the track's data (for AIX containers, the explorer's track record), or NULL.
 * length may be NULL; otherwise it receives the track's length (as fnGetLengthFile). */
FOGBELL_PLUGIN_API const void* fnGetFilePointer(int32_t handle, const char* name, uint32_t* length);

/* Writes the track to a file at path (some plug-ins change the extension). 1, or 0. */
FOGBELL_PLUGIN_API int32_t fnExtractFile(int32_t handle, const char* name, const char* path);

/* Length of the track in the plug-in's measure (bytes, or samples for AIX), or 0. */
FOGBELL_PLUGIN_API uint32_t fnGetLengthFile(int32_t handle, const char* name);

/* Overwrites the track in place with the file at path. 1, or 0. Not every plug-in has it. */
FOGBELL_PLUGIN_API int32_t fnReplaceFile(int32_t handle, const char* name, const char* path);

/* As fnReplaceFile, from the caller's bytes. 1, or 0. Not every plug-in has it. */
FOGBELL_PLUGIN_API int32_t fnReplaceFileMemory(int32_t handle, const char* name, const void* data,
                                               uint32_t length);

/* (sample rate & 0xFFFF) << 16 | channel count, or 0. Not every plug-in has it. */
FOGBELL_PLUGIN_API uint32_t fnGetBitrate(int32_t handle, const char* name);

/* Measures the file at path as a replacement for the track: *needed receives the bytes it
 * takes inside the track (for PAC with the WAVE header the replacement is rewritten with),
 * *room the bytes the track offers in place now. fnReplaceFile takes the file whole, neither
 * cut nor refused for its size, exactly when *needed <= *room. 1, or 0 with a text (no such
 * track, a file that cannot be read or is refused as a replacement, a track whose place is
 * damaged). Changes nothing. Optional: a host without it replaces and lets the plug-in decide. */
FOGBELL_PLUGIN_API int32_t fnGetRoomFile(int32_t handle, const char* name, const char* path,
                                         uint32_t* needed, uint32_t* room);

/* Writes to outPath a complete new container equal to the open one but with the track holding
 * the file at path (as fnReplaceFile would write it, without any cut), every other track byte
 * for byte and the tables recomputed; the file is flushed to disk before 1 is returned. 0 with
 * a text otherwise (a result past 32-bit sizes included), and no file at outPath. The open
 * container and the handle stay as they were. Optional: not every plug-in has it. */
FOGBELL_PLUGIN_API int32_t fnRebuildFile(int32_t handle, const char* name, const char* path,
                                         const char* outPath);

/* The number of tracks whose bytes lie wholly or partly outside the container's bytes (a file
 * cut short: such a track cannot be read, extracted or replaced). 0 for a whole container or a
 * bad handle. One pass over the tracks the table lists; changes nothing, not even the error
 * text. Optional: a host without it finds the damage only when it reads a track. */
FOGBELL_PLUGIN_API uint32_t fnGetDamagedCount(int32_t handle);

/* 1 when the named track's bytes lie wholly or partly outside the container's bytes; 0 when
 * they lie inside it, and 0 with a text for a null name, a name the container lacks or a bad
 * handle. Optional; a plug-in that has it also has fnGetDamagedCount. */
FOGBELL_PLUGIN_API int32_t fnIsTrackDamaged(int32_t handle, const char* name);

/* The open container's layout, as a JSON object text: its kind ("format"), whether packing its
 * own members back gives it byte for byte ("exact"), and every detail a pack needs to lay it out
 * as it is (member order, stored names, offsets, dates, alignment, tables, padding). The
 * members are listed in container order, one per track of fnGetListFiles. Plug-in-owned (see
 * Ownership), or NULL with a text. Optional. */
FOGBELL_PLUGIN_API const char* fnGetLayout(int32_t handle);

/* Writes to outPath a new container holding the count files at paths[] as its members, in order:
 * laid out as the layout text says (fnGetLayout's text, maybe edited: checked as untrusted
 * input), or with the plug-in's plain layout when layout is NULL (members named after the
 * files). The file is flushed to disk before 1 is returned; 0 with a text otherwise, and no file
 * at outPath. Optional. */
FOGBELL_PLUGIN_API int32_t fnPackFiles(const char* layout, const char* const* paths, uint32_t count,
                                       const char* outPath);
/* Replaces count tracks at once, names[i] with the file at paths[i], each as fnReplaceFile
 * would, as one write: the bytes every replacement overwrites are saved in one journal first,
 * so that the container is wholly old or wholly new after any failure or a crash. No track may
 * be named twice. The arrays and their strings stay the caller's and are only read. 1, or 0
 * with a text and nothing written (every replacement is checked before any byte is written; in
 * a container given as the caller's memory, which has no journal, a write refused after that
 * leaves the bytes written before it). Optional: not every plug-in has it. */
FOGBELL_PLUGIN_API int32_t fnReplaceFiles(int32_t handle, uint32_t count, const char* const* names,
                                          const char* const* paths);

/* The offset of the track's first byte in the container's bytes: where fnGetFilePointer points,
 * counted from the container's first byte. 1, or 0 with a text (no such track, a track outside
 * the container, a null offset). Optional. */
FOGBELL_PLUGIN_API int32_t fnGetTrackOffset(int32_t handle, const char* name, uint64_t* offset);

/* As fnReplaceFiles, for a container opened with fnLoadFileMemory from bytes that lie at offset
 * of the file at filePath, which an open handle (of this plug-in or another) maps read-write: a
 * container nested in that file. The bytes the replacements overwrite are saved in that file's
 * journal (filePath.fogbell-journal, as fnLoadFile of filePath expects it), under their offsets
 * in the file, and flushed before any byte changes; then only the changed bytes are written,
 * through the caller's bytes, and flushed to the file, and the journal is removed. A crash leaves
 * the file wholly old or wholly new: its next fnLoadFile puts the saved bytes back. The caller
 * guarantees that the bytes lie there and keeps the file's handle open meanwhile. 1, or 0 with a
 * text and nothing written (as fnReplaceFiles). Optional. */
FOGBELL_PLUGIN_API int32_t fnReplaceFilesWithin(int32_t handle, uint32_t count,
                                                const char* const* names,
                                                const char* const* paths, const char* filePath,
                                                uint64_t offset);

/* Writes to outPath a complete new container equal to the open one but with every track
 * names[i] holding the file at paths[i] (each as fnRebuildFile would write it), in one pass:
 * every other track byte for byte and the tables recomputed; flushed to disk before 1 is
 * returned. 0 with a text otherwise (a track named twice or missing, a file refused, a result
 * past 32-bit sizes), and no file at outPath. The arrays and their strings stay the caller's
 * and are only read; the open container and the handle stay as they were. Optional. */
FOGBELL_PLUGIN_API int32_t fnRebuildFiles(int32_t handle, uint32_t count, const char* const* names,
                                          const char* const* paths, const char* outPath);

#endif /* FOGBELL_EXPLORER_PLUGIN */

/* Entry point types, for binding by name (FnCloseFile, FnGetErrorString and FnGetSupportExt are
 * in fogbell_plugin_common.h). */
typedef int32_t (*FnExplorerLoadFile)(const char* path);
typedef int32_t (*FnExplorerLoadFileMemory)(const void* data, uint32_t length);
typedef char** (*FnGetListFiles)(int32_t handle);
typedef const void* (*FnGetFilePointer)(int32_t handle, const char* name, uint32_t* length);
typedef int32_t (*FnExtractFile)(int32_t handle, const char* name, const char* path);
typedef uint32_t (*FnGetLengthFile)(int32_t handle, const char* name);
typedef int32_t (*FnReplaceFile)(int32_t handle, const char* name, const char* path);
typedef int32_t (*FnReplaceFileMemory)(int32_t handle, const char* name, const void* data,
                                       uint32_t length);
typedef uint32_t (*FnGetBitrate)(int32_t handle, const char* name);
typedef int32_t (*FnGetRoomFile)(int32_t handle, const char* name, const char* path,
                                 uint32_t* needed, uint32_t* room);
typedef int32_t (*FnRebuildFile)(int32_t handle, const char* name, const char* path,
                                 const char* outPath);
typedef uint32_t (*FnGetDamagedCount)(int32_t handle);
typedef int32_t (*FnIsTrackDamaged)(int32_t handle, const char* name);
typedef const char* (*FnGetLayout)(int32_t handle);
typedef int32_t (*FnPackFiles)(const char* layout, const char* const* paths, uint32_t count,
                               const char* outPath);
typedef int32_t (*FnReplaceFiles)(int32_t handle, uint32_t count, const char* const* names,
                                  const char* const* paths);
typedef int32_t (*FnGetTrackOffset)(int32_t handle, const char* name, uint64_t* offset);
typedef int32_t (*FnReplaceFilesWithin)(int32_t handle, uint32_t count, const char* const* names,
                                        const char* const* paths, const char* filePath,
                                        uint64_t offset);
typedef int32_t (*FnRebuildFiles)(int32_t handle, uint32_t count, const char* const* names,
                                  const char* const* paths, const char* outPath);

#ifdef __cplusplus
}
#endif

#endif /* FOGBELL_EXPLORER_H */
