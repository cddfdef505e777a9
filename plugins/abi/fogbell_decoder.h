/*
 * Decoder plug-in interface.
 *
 * A decoder plug-in turns one audio stream of one format into 16-bit PCM, one block (one second)
 * at a time. The host finds decoder libraries in "decode_plugins" beside the program and binds
 * these entry points by name at run time; it never links against a plug-in.
 *
 * Conventions
 *  - Handles are slot numbers 0..99 of the plug-in's own table; -1 means "nothing opened".
 *  - channelsOut and rateOut request the output format; -1 means "as the source". Only the low
 *    16 bits of channelsOut are used. (The host always passes -1, -1.)
 *  - Load operations return a handle or -1 with fnGetErrorString() set. Other operations return
 *    0 or NULL for a bad handle.
 *  - fnDecodeNext returns NULL at the end of the stream, and keeps doing so until fnResetFile.
 *  - No C++ exception ever leaves an entry point.
 *
 * Formats
 *  - Every handle has a source format (the PCM the decoder produces) and an output format (the
 *    PCM fnDecodeNext delivers): both 16-bit PCM, cbSize 18. They never change for a handle.
 *  - A block holds one second of source PCM converted to the output format; only the last block
 *    of a stream may be shorter.
 *  - fnGetSizeData and fnGetCurrPos use a unit of the decoder's own; only their ratio matters.
 *
 * Ownership
 *  - Everything a plug-in returns (extension lists, format records, PCM blocks, error text) is
 *    owned by the plug-in. The caller never frees it.
 *  - A PCM block (the record and its bytes) stays valid until the next fnDecodeNext,
 *    fnResetFile, fnSeekSample or fnCloseFile on the same handle.
 *  - Format records stay valid until fnCloseFile of the handle.
 *  - The two places given to fnGetLoopPoints are the caller's; the decoder writes them during
 *    the call only, and keeps no pointer to them.
 *  - Bytes given to fnLoadFileMemory stay the caller's; they must stay valid and unchanged until
 *    fnCloseFile of that handle. The decoder reads them in place and never writes or frees them.
 *    The decoder never reads past the size given with them.
 *  - The AIX decoder also accepts, instead of stream bytes, the track record that the AIX
 *    explorer hands out (fogbell_aix_record.h); the explorer's handle must stay open until the
 *    decoder's handle is closed.
 *
 * Threads
 *  - One handle must be used by one thread at a time. Different handles of one plug-in may be
 *    used from different threads at once. The error text is one per plug-in: read it right after
 *    the call that failed.
 */
#ifndef FOGBELL_DECODER_H
#define FOGBELL_DECODER_H

#include <stdint.h>

#include "fogbell_plugin_common.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The system's own record, when its headers came first; otherwise the same record under the
 * system's names and guard, so that they can still be included after this header. */
#ifndef _WAVEFORMATEX_
#define _WAVEFORMATEX_
#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
} WAVEFORMATEX, *PWAVEFORMATEX, *NPWAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
#endif
#else
#pragma pack(push, 1)
/* The multimedia format record: 18 bytes, no gaps. */
typedef struct WAVEFORMATEX {
    uint16_t wFormatTag; /* 1: PCM */
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec; /* nBlockAlign * nSamplesPerSec */
    uint16_t nBlockAlign;     /* nChannels * 2 */
    uint16_t wBitsPerSample;  /* 16 */
    uint16_t cbSize;          /* 18 in every record a decoder hands out */
} WAVEFORMATEX;
#pragma pack(pop)
#endif

#define FOGBELL_WAVE_FORMAT_PCM 1

/* One block of PCM: interleaved little-endian signed 16-bit samples in the output format. */
typedef struct PcmBlock {
    const uint8_t* data;
    uint32_t size; /* bytes */
} PcmBlock;

#if defined(FOGBELL_DECODER_PLUGIN)

/* Opens the stream in the file at path. Returns a handle, or -1. */
FOGBELL_PLUGIN_API int32_t fnLoadFile(int32_t channelsOut, int32_t rateOut, const char* path);

/* Opens a stream from the caller's bytes (see Ownership). Returns a handle, or -1. */
FOGBELL_PLUGIN_API int32_t fnLoadFileMemory(int32_t channelsOut, int32_t rateOut, const void* data,
                                            uint32_t size);

/* Releases everything the handle owns. 1, or 0 for a bad handle. */
FOGBELL_PLUGIN_API int32_t fnCloseFile(int32_t handle);

/* Rewinds to the start of the stream. 1, or 0 for a bad handle. */
FOGBELL_PLUGIN_API int32_t fnResetFile(int32_t handle);

/* The next block, or NULL at the end of the stream or for a bad handle. */
FOGBELL_PLUGIN_API const PcmBlock* fnDecodeNext(int32_t handle);

/* Position reached, in the decoder's unit. 0 for a bad handle. */
FOGBELL_PLUGIN_API uint32_t fnGetCurrPos(int32_t handle);

/* Size of the whole stream, in the decoder's unit. 0 for a bad handle. */
FOGBELL_PLUGIN_API uint32_t fnGetSizeData(int32_t handle);

/* The source and the output format, or NULL for a bad handle. */
FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatSource(int32_t handle);
FOGBELL_PLUGIN_API const WAVEFORMATEX* fnGetFormatOut(int32_t handle);

/* Optional. The stream's loop, in samples per channel of the source format: *loopStart is the
 * first sample of the loop, *loopEnd the first sample after it, with
 * loopStart < loopEnd <= the stream's sample count. Returns 1 when the stream has such a loop.
 * Returns 0, leaving both places unchanged, when it has none (the error text is not changed
 * then) or for a bad handle. A decoder without this entry point has no loops. Any thread that
 * may use the handle may ask; the answer never changes over the handle's life. */
FOGBELL_PLUGIN_API int32_t fnGetLoopPoints(int32_t handle, uint32_t* loopStart, uint32_t* loopEnd);

/* Optional. Moves the stream so that the next fnDecodeNext begins with sample `sample` (samples
 * per channel of the source format, counted from the stream's start), exactly as if the stream
 * had been decoded from its start and everything before that sample dropped; a sample at or past
 * the end leaves the stream ended (fnDecodeNext returns NULL until the next seek or reset).
 * fnGetCurrPos follows the move. Returns 1, or 0 for a bad handle (the stream is not moved).
 * Any PCM block handed out before is invalid after the call. A decoder without this entry point
 * cannot seek. */
FOGBELL_PLUGIN_API int32_t fnSeekSample(int32_t handle, uint32_t sample);

/* The plug-in's last error text. Never NULL. */
FOGBELL_PLUGIN_API const char* fnGetErrorString(void);

/* Upper-case extensions without the dot, ending with NULL. Static. */
FOGBELL_PLUGIN_API const char* const* fnGetSupportExt(void);

/* Optional. Upper-case extensions without the dot, ending with NULL, that the decoder reads only
 * as a fallback: the host offers it a file or track with one of these extensions only when no
 * decoder that lists the extension in fnGetSupportExt opens it (decoders with the extension as
 * a fallback are then tried in load order). Static and owned by the plug-in, like the list of
 * fnGetSupportExt; any thread may ask at any time. A decoder without this entry point has no
 * fallback extensions. */
FOGBELL_PLUGIN_API const char* const* fnGetFallbackExt(void);

#endif /* FOGBELL_DECODER_PLUGIN */

/* Entry point types, for binding by name (FnCloseFile, FnGetErrorString and FnGetSupportExt are
 * in fogbell_plugin_common.h). */
typedef int32_t (*FnDecoderLoadFile)(int32_t channelsOut, int32_t rateOut, const char* path);
typedef int32_t (*FnDecoderLoadFileMemory)(int32_t channelsOut, int32_t rateOut, const void* data,
                                           uint32_t size);
typedef int32_t (*FnResetFile)(int32_t handle);
typedef const PcmBlock* (*FnDecodeNext)(int32_t handle);
typedef uint32_t (*FnGetCurrPos)(int32_t handle);
typedef uint32_t (*FnGetSizeData)(int32_t handle);
typedef const WAVEFORMATEX* (*FnGetFormat)(int32_t handle);
typedef int32_t (*FnGetLoopPoints)(int32_t handle, uint32_t* loopStart, uint32_t* loopEnd);
typedef int32_t (*FnSeekSample)(int32_t handle, uint32_t sample);
typedef const char* const* (*FnGetFallbackExt)(void);

#ifdef __cplusplus
}

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is the packed 18-byte record");
#endif

#endif /* FOGBELL_DECODER_H */
