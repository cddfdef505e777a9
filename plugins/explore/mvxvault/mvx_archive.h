// MVX archive: named XMD sound files, all numbers little-endian. L is the archive's length.
//
//   offset       width    field
//   0            4        magic "MVX\0"
//   4            4        track count N
//   8            8 x N    per track: offset from the archive's first byte, size in bytes
//   L - 16 x N   16 x N   name block: per track, in table order, a 16-byte name field holding
//                         the name NUL-terminated (a name of 16 characters fills it entirely)
//
// The name block is found from the end, so the archive's length must be known to open it.
// Every track is listed and found under a name of its own (unique_names.h): its stored name, or
// where that repeats an earlier one or is empty, a new one; the stand-in for an unusable name
// is the track's number with the extension of its kind ("00012.xmd", StandInName).
// A track's first byte is its channel count and the next two bytes (u16) its sample rate.
//
// A replacement never moves a track and never grows it: it may keep or shrink the track's
// current size, and the bytes after a shorter replacement keep their old content.
//
// A rebuild (Rebuild) writes a new archive instead: the header, the table and any bytes before
// track 0 as they were, with offsets and sizes rewritten; the tracks in table order, back to
// back, the replaced one holding the replacement; then the name block as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mapped_file.h"
#include "member_room.h"
#include "rebuilt_container.h"
#include "unique_names.h"

namespace fogbell::mvx {

inline constexpr std::uint32_t kHeaderSize = 8;
inline constexpr std::uint32_t kPairSize = 8;
inline constexpr std::uint32_t kNameFieldSize = 16;
// A track must hold this many bytes for its channel count and sample rate to be read.
inline constexpr std::uint32_t kBitrateBytes = 3;

struct Track {
    std::uint8_t* pair = nullptr;  // its offset/size pair inside the archive
    std::uint32_t offset = 0;      // as read at opening: replacements never move a track
    // Its stored name, at most 16 characters even when the field holds no NUL.
    char name[kNameFieldSize + 1] = {};
    // Bytes from offset that a replacement may reach (plugin::kNoRoom: never replaceable).
    std::int64_t limit = plugin::kNoRoom;

    // The table's size field, read at each use (replacements rewrite it).
    std::uint32_t Size() const;
    // True when the track's bytes lie inside an archive of length bytes, checked at each use.
    bool InsideOf(std::uint32_t length) const;
    // Bytes a replacement may write now: the size, cut at the limit; kNoRoom when none.
    std::int64_t Room() const;
};

struct Archive {
    std::uint8_t* base = nullptr;
    std::uint32_t length = 0;
    std::uint64_t tableEnd = 0;   // the header and track table end here
    std::uint64_t nameBlock = 0;  // the name block starts here and ends the archive
    std::vector<Track> tracks;
    plugin::UniqueNames names;  // the listed names and their index
};

enum class Status { kOk, kNotMvx, kTruncated, kTableOutside, kNamesOutside };

// The user-facing text of a failed parse.
const char* StatusText(Status status);

// Reads the archive of length bytes at base, checking the header, the table and the name
// block against the length. Tracks that lie outside the archive stay listed; InsideOf tells
// them apart. An archive of no tracks is valid.
Status Parse(std::uint8_t* base, std::uint32_t length, Archive& archive);

// The track whose listed name equals name without regard to case, or null.
Track* FindTrack(Archive& archive, const char* name);

// The name track i is listed and found under.
const char* ListedName(const Archive& archive, std::size_t i);

// The name track i has in the name block (at most 16 characters, cut at its first NUL).
inline const char* StoredName(const Archive& archive, std::size_t i) {
    return archive.tracks[i].name;
}

// The stand-in for an unusable stored name: the track's number and extension ("00012.xmd").
std::string StandInName(std::size_t i);

// (sample rate & 0xFFFF) << 16 | channel count, from a track of at least kBitrateBytes bytes.
std::uint32_t Bitrate(const std::uint8_t* track);

// Sets every track's limit from the archive's table as it is now (sizes change with each
// replacement); Replace does so itself before it writes.
void RefreshLimits(Archive& archive);

enum class ReplaceStatus {
    kOk,          // written
    kNoPlace,     // the track lies outside the archive or over something else
    kTooBig,      // longer than the track's room; nothing written
    kNotWritten,  // the journalled write failed (text set); the archive is as it was
};

// Overwrites the track's first length bytes with data and sets its size to length, when that
// fits the track's Room() with limits refreshed, as one journalled write (journal.h; file: the
// archive's mapped file, or null for a caller's memory). Data may lie anywhere, even inside the
// archive.
ReplaceStatus Replace(Archive& archive, Track& track, const std::uint8_t* data,
                      std::uint32_t length, plugin::MappedFile* file = nullptr);

// Lays out in out a new archive equal to archive but with track (one of its tracks) holding the
// length bytes at data (layout above); out borrows the archive's bytes and data. False with a
// text in error when it cannot be rebuilt: a track lies outside the archive, track 0 starts
// inside the table or the name block, or the result would pass 32-bit sizes.
bool Rebuild(const Archive& archive, const Track& track, const std::uint8_t* data,
             std::uint32_t length, plugin::RebuiltContainer& out, std::string& error);
// As above, with every track that members marks replaced holding its new bytes, in one pass
// (members: one per track).
bool Rebuild(const Archive& archive, const plugin::NewMembers& members,
             plugin::RebuiltContainer& out, std::string& error);

}  // namespace fogbell::mvx
