#include "mvx_archive.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "journal.h"
#include "name_list.h"

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
    for (Track& track : archive.tracks) {
        if (plugin::EqualNoCase(track.name, name)) {
            return &track;
        }
    }
    return nullptr;
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

}  // namespace fogbell::mvx
