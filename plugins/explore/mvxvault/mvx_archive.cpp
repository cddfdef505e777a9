#include "mvx_archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "byte_order.h"
#include "journal.h"

namespace fogbell::mvx {
namespace {

using plugin::InsideContainer;
using plugin::kNoRoom;
using plugin::ReadU16LE;
using plugin::ReadU32LE;
using plugin::WriteU32LE;

constexpr std::uint8_t kMagic[4] = {'M', 'V', 'X', 0};
constexpr std::uint32_t kSizeField = 4;  // within a table pair

}  // namespace

std::uint32_t Track::Size() const {
    return ReadU32LE(pair + kSizeField);
}

bool Track::InsideOf(std::uint32_t length) const {
    return InsideContainer(offset, Size(), length);
}

std::int64_t Track::Room() const {
    return limit == kNoRoom ? kNoRoom : std::min<std::int64_t>(Size(), limit);
}

const char* StatusText(Status status) {
    switch (status) {
        case Status::kOk:
            return "OK";
        case Status::kNotMvx:
            return "Is Not MVX file format.";
        case Status::kTruncated:
            return "Damaged MVX file: the header is cut short.";
        case Status::kTableOutside:
            return "Damaged MVX file: the track table runs past the end of the file.";
        case Status::kNamesOutside:
            return "Damaged MVX file: the name block does not fit between the track table and "
                   "the end of the file.";
    }
    return "Is Not MVX file format.";
}

Status Parse(std::uint8_t* base, std::uint32_t length, Archive& archive) {
    if (length < sizeof kMagic || std::memcmp(base, kMagic, sizeof kMagic) != 0) {
        return Status::kNotMvx;
    }
    if (length < kHeaderSize) {
        return Status::kTruncated;
    }
    const std::uint32_t count = ReadU32LE(base + 4);
    const std::uint64_t tableEnd = kHeaderSize + std::uint64_t{kPairSize} * count;
    if (tableEnd > length) {
        return Status::kTableOutside;
    }
    // The name block ends the archive and must not reach back into the table.
    const std::uint64_t nameBytes = std::uint64_t{kNameFieldSize} * count;
    if (nameBytes > length - tableEnd) {
        return Status::kNamesOutside;
    }
    const std::uint64_t nameBlock = length - nameBytes;

    archive.base = base;
    archive.length = length;
    archive.tableEnd = tableEnd;
    archive.nameBlock = nameBlock;
    archive.tracks.assign(count, Track{});
    for (std::uint32_t i = 0; i < count; ++i) {
        Track& track = archive.tracks[i];
        track.pair = base + kHeaderSize + std::size_t{kPairSize} * i;
        track.offset = ReadU32LE(track.pair);
        std::memcpy(track.name, base + nameBlock + std::size_t{kNameFieldSize} * i, kNameFieldSize);
        track.name[kNameFieldSize] = '\0';
    }
    RefreshLimits(archive);
    archive.names.Assign(
        count, [&](std::size_t i) { return archive.tracks[i].name; }, StandInName);
    return Status::kOk;
}

void RefreshLimits(Archive& archive) {
    std::vector<plugin::MemberPlace> places;
    places.reserve(archive.tracks.size());
    for (const Track& track : archive.tracks) {
        places.push_back({track.offset, track.Size()});
    }
    const std::vector<plugin::ByteRange> guarded = {{0, archive.tableEnd},
                                                    {archive.nameBlock, archive.length}};
    const std::vector<std::int64_t> limits = plugin::MemberLimits(places, guarded, archive.length);
    for (std::size_t i = 0; i < archive.tracks.size(); ++i) {
        archive.tracks[i].limit = limits[i];
    }
}

Track* FindTrack(Archive& archive, const char* name) {
    const std::size_t found =
        archive.names.Find(name, [&](std::size_t i) { return archive.tracks[i].name; });
    return found == plugin::UniqueNames::kNone ? nullptr : &archive.tracks[found];
}

const char* ListedName(const Archive& archive, std::size_t i) {
    return archive.names.Name(i, archive.tracks[i].name);
}

std::string StandInName(std::size_t i) {
    char name[plugin::kListedNameCapacity];
    std::snprintf(name, sizeof name, "%05zu.xmd", i);
    return name;
}

std::uint32_t Bitrate(const std::uint8_t* track) {
    return (std::uint32_t{ReadU16LE(track + 1)} << 16) | track[0];
}

ReplaceStatus Replace(Archive& archive, Track& track, const std::uint8_t* data,
                      std::uint32_t length, plugin::MappedFile* file) {
    RefreshLimits(archive);
    const std::int64_t room = track.Room();
    if (!track.InsideOf(archive.length) || room == kNoRoom) {
        return ReplaceStatus::kNoPlace;
    }
    if (length > room) {
        return ReplaceStatus::kTooBig;
    }
    const auto pair = static_cast<std::uint64_t>(track.pair - archive.base);
    plugin::ContainerWrite write(file, archive.base, archive.length);
    if (!write.Begin({{track.offset, std::uint64_t{track.offset} + length},
                      {pair + kSizeField, pair + kSizeField + 4}})) {
        return ReplaceStatus::kNotWritten;
    }
    // Bytes first, by memmove, then the size: data may be the archive's own bytes.
    if (length != 0) {
        std::memmove(archive.base + track.offset, data, length);
    }
    WriteU32LE(track.pair + kSizeField, length);
    return write.Commit() ? ReplaceStatus::kOk : ReplaceStatus::kNotWritten;
}

bool Rebuild(const Archive& archive, const Track& track, const std::uint8_t* data,
             std::uint32_t length, plugin::RebuiltContainer& out, std::string& error) {
    const std::size_t target = static_cast<std::size_t>(&track - archive.tracks.data());
    return Rebuild(archive, plugin::OneNewMember(archive.tracks.size(), target, data, length), out,
                   error);
}

bool Rebuild(const Archive& archive, const plugin::NewMembers& members,
             plugin::RebuiltContainer& out, std::string& error) {
    const std::size_t count = archive.tracks.size();
    if (count == 0) {
        error = "Can't rebuild the archive: it holds no tracks.";
        return false;
    }
    if (members.size() != count) {
        error = "Can't rebuild the archive: the new members do not match its table.";
        return false;
    }
    // The size track i has in the rebuilt archive.
    const auto newSize = [&](std::size_t i) {
        return members[i].replaced ? members[i].length : archive.tracks[i].Size();
    };
    const std::uint32_t prefixEnd = archive.tracks.front().offset;
    if (prefixEnd < archive.tableEnd || prefixEnd > archive.nameBlock) {
        error =
            "Can't rebuild the archive: its first track starts inside its table or its "
            "name block.";
        return false;
    }
    std::uint64_t newLength = prefixEnd + (archive.length - archive.nameBlock);
    for (std::size_t i = 0; i < count; ++i) {
        const Track& other = archive.tracks[i];
        if (!members[i].replaced && !other.InsideOf(archive.length)) {
            error = std::string("Can't rebuild the archive: ") + ListedName(archive, i) +
                    " lies outside it.";
            return false;
        }
        newLength += newSize(i);
    }
    if (newLength > plugin::kLargestContainer) {
        error = "Can't rebuild the archive: it would pass 4 GiB, more than MVX offsets reach.";
        return false;
    }

    std::vector<std::uint8_t> prefix(archive.base, archive.base + prefixEnd);
    std::uint64_t cursor = prefixEnd;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* pair = prefix.data() + kHeaderSize + kPairSize * i;
        WriteU32LE(pair, static_cast<std::uint32_t>(cursor));
        WriteU32LE(pair + kSizeField, newSize(i));
        cursor += newSize(i);
    }
    out.AddOwned(std::move(prefix));
    for (std::size_t i = 0; i < count; ++i) {
        if (members[i].replaced) {
            out.AddBorrowed(members[i].data, members[i].length);
        } else {
            const Track& other = archive.tracks[i];
            out.AddBorrowed(archive.base + other.offset, other.Size());
        }
    }
    out.AddBorrowed(archive.base + archive.nameBlock, archive.length - archive.nameBlock);
    return true;
}

}  // namespace fogbell::mvx
