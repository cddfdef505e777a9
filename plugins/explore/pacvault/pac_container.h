// PAC container: a small table of offsets in front of a row of complete RIFF WAVE files. All
// numbers are little-endian u32.
//
//   offset     width    field
//   0          4        magic "SDPA"
//   4          4        track count N
//   8          12 x N   per track: offset from the container's first byte, size in bytes,
//                       4 bytes that are neither read nor written
//
// Tracks are named "Track %u.wav" from 0 and found by the number in the name. Of a track's
// WAVE file only the channel count (u16 at 22) and the sample rate (u32 at 24) are read here.
//
// A replacement never moves a track and never grows it: the new WAVE file is rewritten with a
// fixed 46-byte header (an 18-byte fmt chunk with no extra format bytes) in front of its sample
// data, cut to the track's current size, and the table's size becomes the replacement's
// (cut) length. The header's RIFF length is written as that length - 44 and its data length as
// that length - 86 (0 where the length is smaller), the values rewritten containers have always
// carried. For a replacement with a 44-byte header the written bytes are two more than the
// table's new size (they still lie within the old size); where header and samples would not
// fit the track's size, the last sample bytes are dropped.
//
// A rebuild (Rebuild) writes a new container instead: the header, the table and any bytes
// before track 0 as they were, with offsets and sizes rewritten (the third word of each entry
// kept); the tracks in table order, back to back; then whatever followed the old container's
// last track. The replaced track holds the rewritten header and every sample byte, padded with
// zeros up to the replacement's own length where that is longer; its size covers all of that,
// so the same file replaces it again in place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mapped_file.h"
#include "member_room.h"
#include "rebuilt_container.h"
#include "wave_header.h"

namespace fogbell::pac {

inline constexpr std::uint32_t kHeaderSize = 8;
inline constexpr std::uint32_t kEntrySize = 12;
// Size of the WAVE header that a replacement is rewritten with.
inline constexpr std::uint32_t kWrittenHeaderSize = 46;
// Replacements shorter than this are refused before their header is looked at.
inline constexpr std::uint32_t kMinimumReplacement = 32;
// A track must hold this many bytes for its channel count and sample rate to be read.
inline constexpr std::uint32_t kBitrateBytes = 28;

struct Track {
    std::uint8_t* entry = nullptr;  // its 12-byte table entry inside the container
    std::uint32_t offset = 0;       // as read at opening: replacements never move a track
    // Bytes from offset that a replacement may reach (plugin::kNoRoom: never replaceable).
    std::int64_t limit = plugin::kNoRoom;

    // The table's size field, read at each use (replacements rewrite it).
    std::uint32_t Size() const;
    // True when the track's bytes lie inside a container of length bytes, checked at each use.
    bool InsideOf(std::uint32_t length) const;
    // Bytes a replacement may write now: the size, cut at the limit; kNoRoom when none.
    std::int64_t Room() const;
};

struct Container {
    std::uint8_t* base = nullptr;
    std::uint32_t length = 0;
    std::uint64_t tableEnd = 0;  // the header and track table end here
    std::vector<Track> tracks;
};

enum class Status { kOk, kNotPac, kTruncated, kTableOutside };

// The user-facing text of a failed parse.
const char* StatusText(Status status);

// Reads the container of length bytes at base, checking the header and the table against the
// length. Tracks that lie outside the container stay listed; InsideOf tells them apart.
Status Parse(std::uint8_t* base, std::uint32_t length, Container& container);

// The track that name gives by its number ("Track %u", no number reads as 0), or null when
// the number is not below the count.
Track* FindTrack(Container& container, const char* name);

// (sample rate & 0xFFFF) << 16 | channel count, from a track of at least kBitrateBytes bytes.
std::uint32_t Bitrate(const std::uint8_t* track);

// The extraction's output path: path with the extension of its file name (from its last "."
// after the last separator) replaced by ".wav", or ".wav" appended when it has none.
std::string WavePath(const char* path);

// The 46 header bytes written in front of a replacement's samples, for a replacement of
// length bytes (after the cut to the track's room) whose header the reader gave as wave.
std::array<std::uint8_t, kWrittenHeaderSize> RewrittenHeader(const wave::WaveFileHeader& wave,
                                                             std::uint32_t length);

enum class ReplaceStatus {
    kOk,          // written whole
    kCut,         // written, cut to the track's room (the replacement was longer)
    kNoPlace,     // the track lies outside the container or over something else
    kTooSmall,    // the track's room cannot hold the 46-byte header
    kBadWave,     // the replacement's header was refused (the reader's text is set)
    kNotWritten,  // the journalled write failed (text set); the container is as it was
};

struct ReplaceResult {
    ReplaceStatus status = ReplaceStatus::kNoPlace;
    std::uint32_t room = 0;     // the track's room when the replacement was cut
    std::uint32_t samples = 0;  // sample bytes written after the header
};

// Rewrites the track with the length bytes at data (a WAVE file of at least
// kMinimumReplacement bytes): the fixed header, then as many of its sample bytes as fit in the
// track's room (limits refreshed from the table as it is now); sets the table's size to the
// (cut) length; all as one journalled write (journal.h; file: the container's mapped file, or
// null for a caller's memory). Data may lie anywhere, even inside the track itself. Nothing is
// written unless the status is kOk or kCut.
ReplaceResult Replace(Container& container, Track& track, const std::uint8_t* data,
                      std::uint32_t length, plugin::MappedFile* file = nullptr);

// Sets every track's limit from the table as it is now; Replace does so itself.
void RefreshLimits(Container& container);

// The bytes that the length bytes at data (a WAVE file) take in a track when written whole:
// the replacement's own length or the rewritten header and every sample byte, the larger.
// Replace writes it neither cut nor refused for its size exactly when this is at most the
// track's Room(). False when the header is refused (the reader's text, or "Unknown
// waveformat."), or the file is shorter than kMinimumReplacement ("Error size file.").
bool MeasureReplacement(const std::uint8_t* data, std::uint32_t length, std::uint64_t& needed);

// Lays out in out a new container equal to container but with track (one of its tracks)
// holding the WAVE file of length bytes at data (layout above); out borrows the container's
// bytes and data. False with a text in error when it cannot be rebuilt: the replacement is
// refused, a track lies outside the container, track 0 starts inside the table, or the result
// would pass 32-bit sizes.
bool Rebuild(const Container& container, const Track& track, const std::uint8_t* data,
             std::uint32_t length, plugin::RebuiltContainer& out, std::string& error);
// As above, with every track that members marks replaced holding its WAVE file, in one pass
// (members: one per track).
bool Rebuild(const Container& container, const plugin::NewMembers& members,
             plugin::RebuiltContainer& out, std::string& error);

}  // namespace fogbell::pac
