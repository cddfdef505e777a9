/*
 * The AIX track record: what the AIX explorer (aixvault) hands out as the "track pointer" of
 * an AIX container's track, and what the AIX decoder (aixvoice) accepts in place of stream
 * bytes. Neither plug-in links against the other; this header is the whole contract.
 *
 * Layout. Field order and widths are fixed; every field sits at its natural alignment. On a
 * 32-bit build the offsets are 0, 4, 84, 88, 92, 96, 100, 104, 108, 112, 116, 120 (128 bytes in
 * all); on a 64-bit build the pointers widen and the offsets are those asserted at the end.
 *
 *   handle           the record's own slot number in the explorer's handle table (0..99)
 *   header           copy of the container's first 80 bytes, the big-endian words at header
 *                    offsets 4 (table offset) and 44 converted to native order; the track count
 *                    is the native word at header offset 64
 *   table            the explorer's copy of the stream header table: trackCount entries of 52
 *                    bytes (the _HeaderCri records)
 *   base             first byte of the container
 *   packets          first packet (the byte after the table's 8-byte marker)
 *   packetsCopy      the same value; this is the one the decoder reads
 *   borrowed         1 when the container bytes are the caller's, 0 when the explorer mapped
 *                    the file itself
 *   file             the explorer's mapped-file object when it mapped the file, else null;
 *                    opaque to every other reader
 *   firstTrackTotal  the total value T of track 0
 *   containerLength  the container's length in bytes: base .. base + containerLength - 1 is
 *                    everything a reader of the record may touch. A packet walk ends there.
 *   selectedTrack    the track chosen by the explorer's last fnGetFilePointer on this handle
 *   reserved         not set by the explorer
 *
 * Ownership. The record and everything it names belong to the explorer and stay valid until
 * the explorer's fnCloseFile of that handle. A reader never writes the record and never frees,
 * unmaps or closes the table, the container or the file. A decoder handle opened on a record
 * must be closed before the explorer's handle.
 *
 * Proving a record. The bytes of a file can be made to look like a record, and a record names
 * memory by address, so no field of one is read before aixvault has vouched for it. aixvault
 * exports one more entry point, fnIsTrackRecord(address): 1 when the address is one of its
 * live records (a handle between its fnLoadFile / fnLoadFileMemory and its fnCloseFile), 0
 * otherwise; it reads nothing at the address, takes aixvault's own lock and leaves its error
 * text alone. aixvoice finds the aixvault module that is already loaded into the process (by
 * its file name FOGBELL_AIX_RECORD_OWNER plus the platform's library suffix, never loading it)
 * and asks it before it touches the data; when aixvault is not loaded, nothing is a record.
 *
 * Telling a record from a container. aixvoice's fnLoadFileMemory takes data that aixvault
 * vouches for as this record; anything else is a whole container of the given size (which must
 * begin with "AIXF"); no byte at or past the given size is read.
 */
#ifndef FOGBELL_AIX_RECORD_H
#define FOGBELL_AIX_RECORD_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The module that owns records, and its entry point that vouches for one. */
#define FOGBELL_AIX_RECORD_OWNER "aixvault"
#define FOGBELL_AIX_RECORD_CHECK "fnIsTrackRecord"
typedef int32_t (*FnIsTrackRecord)(const void* address);

#define FOGBELL_AIX_HEADER_SIZE 80
/* Offsets inside header. */
#define FOGBELL_AIX_HEADER_TABLE_OFFSET 4
#define FOGBELL_AIX_HEADER_TRACK_COUNT 64

typedef struct AIXVAULTFILE {
    int32_t handle;
    uint8_t header[FOGBELL_AIX_HEADER_SIZE];
    const uint8_t* table;
    const uint8_t* base;
    const uint8_t* packets;
    const uint8_t* packetsCopy;
    int32_t borrowed;
    void* file;
    uint32_t firstTrackTotal;
    uint32_t containerLength;
    uint32_t selectedTrack;
    uint8_t reserved[8];
} AIXVAULTFILE;

#ifdef __cplusplus
}
#define FOGBELL_AIX_ASSERT(condition, text) static_assert(condition, text)
#else
#define FOGBELL_AIX_ASSERT(condition, text) _Static_assert(condition, text)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
/* 32-bit pointers: the record's offsets with 4-byte pointers. */
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, handle) == 0, "handle at 0");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, header) == 4, "header at 4");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, table) == 84, "table at 84");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, base) == 88, "base at 88");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, packets) == 92, "packets at 92");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, packetsCopy) == 96, "packetsCopy at 96");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, borrowed) == 100, "borrowed at 100");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, file) == 104, "file at 104");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, firstTrackTotal) == 108, "firstTrackTotal at 108");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, containerLength) == 112, "containerLength at 112");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, selectedTrack) == 116, "selectedTrack at 116");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, reserved) == 120, "reserved at 120");
FOGBELL_AIX_ASSERT(sizeof(AIXVAULTFILE) == 128, "128 bytes");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
/* The same order with 8-byte pointers at their natural alignment. */
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, handle) == 0, "handle at 0");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, header) == 4, "header at 4");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, table) == 88, "table at 88");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, base) == 96, "base at 96");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, packets) == 104, "packets at 104");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, packetsCopy) == 112, "packetsCopy at 112");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, borrowed) == 120, "borrowed at 120");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, file) == 128, "file at 128");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, firstTrackTotal) == 136, "firstTrackTotal at 136");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, containerLength) == 140, "containerLength at 140");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, selectedTrack) == 144, "selectedTrack at 144");
FOGBELL_AIX_ASSERT(offsetof(AIXVAULTFILE, reserved) == 148, "reserved at 148");
FOGBELL_AIX_ASSERT(sizeof(AIXVAULTFILE) == 160, "160 bytes");
#else
#error "AIXVAULTFILE: the layout is fixed for 32-bit and 64-bit pointers only"
#endif

#undef FOGBELL_AIX_ASSERT

#endif /* FOGBELL_AIX_RECORD_H */
