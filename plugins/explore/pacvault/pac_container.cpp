#include "pac_container.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "journal.h"
#include "name_list.h"
#include "plugin_support.h"

namespace fogbell::pac {
namespace {

using plugin::InsideContainer;
using plugin::kNoRoom;
using plugin::ReadU16LE;
using plugin::ReadU32LE;
using plugin::WriteU16LE;
using plugin::WriteU32LE;

constexpr std::uint8_t kMagic[4] = {'S', 'D', 'P', 'A'};
constexpr std::uint32_t kSizeField = 4;  // within a table entry
constexpr std::uint32_t kChannelsAt = 22;
constexpr std::uint32_t kRateAt = 24;

// The written header's two length fields subtract these from the replacement's length.
constexpr std::uint32_t kRiffLengthBias = 44;
constexpr std::uint32_t kDataLengthBias = 86;
constexpr std::uint32_t kWrittenFmtSize = 18;
constexpr std::size_t kFormatBytes = 16;  // format tag up to bits per sample

#if defined(_WIN32)
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

// value - bias, or 0 where that would go below zero: a short replacement must not leave a
// length field of nearly 4 GiB for readers to trust.
std::uint32_t LessOrZero(std::uint32_t value, std::uint32_t bias) {
    return value > bias ? value - bias : 0;
}

}  // namespace

std::uint32_t Track::Size() const {
    return ReadU32LE(entry + kSizeField);
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
        case Status::kNotPac:
            return "Is not Audio format.";
        case Status::kTruncated:
            return "Damaged PAC file: the header is cut short.";
        case Status::kTableOutside:
            return "Damaged PAC file: the track table runs past the end of the file.";
    }
    return "Is not Audio format.";
}

Status Parse(std::uint8_t* base, std::uint32_t length, Container& container) {
    if (length < sizeof kMagic || std::memcmp(base, kMagic, sizeof kMagic) != 0) {
        return Status::kNotPac;
    }
    if (length < kHeaderSize) {
        return Status::kTruncated;
    }
    const std::uint32_t count = ReadU32LE(base + 4);
    const std::uint64_t tableBytes = std::uint64_t{kEntrySize} * count;
    if (!InsideContainer(kHeaderSize, tableBytes, length)) {
        return Status::kTableOutside;
    }

    container.base = base;
    container.length = length;
    container.tableEnd = kHeaderSize + tableBytes;
    container.tracks.assign(count, Track{});
    for (std::uint32_t i = 0; i < count; ++i) {
        Track& track = container.tracks[i];
        track.entry = base + kHeaderSize + std::size_t{kEntrySize} * i;
        track.offset = ReadU32LE(track.entry);
    }
    RefreshLimits(container);
    return Status::kOk;
}

void RefreshLimits(Container& container) {
    std::vector<plugin::MemberPlace> places;
    places.reserve(container.tracks.size());
    for (const Track& track : container.tracks) {
        places.push_back({track.offset, track.Size()});
    }
    const std::vector<plugin::ByteRange> guarded = {{0, container.tableEnd}};
    const std::vector<std::int64_t> limits =
        plugin::MemberLimits(places, guarded, container.length);
    for (std::size_t i = 0; i < container.tracks.size(); ++i) {
        container.tracks[i].limit = limits[i];
    }
}

Track* FindTrack(Container& container, const char* name) {
    const std::uint32_t number = plugin::ParseTrackNumber(name);
    return number < container.tracks.size() ? &container.tracks[number] : nullptr;
}

std::uint32_t Bitrate(const std::uint8_t* track) {
    return ((ReadU32LE(track + kRateAt) & 0xFFFFu) << 16) | ReadU16LE(track + kChannelsAt);
}

std::string WavePath(const char* path) {
    std::string out(path);
    const std::size_t separator = out.find_last_of(kSeparators);
    const std::size_t dot = out.find_last_of('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
        out.resize(dot);
    }
    return out + ".wav";
}

std::array<std::uint8_t, kWrittenHeaderSize> RewrittenHeader(const wave::WaveFileHeader& wave,
                                                             std::uint32_t length) {
    std::array<std::uint8_t, kWrittenHeaderSize> header{};
    std::uint8_t* p = header.data();
    // Tags hold their characters in file order: copied, never converted.
    std::memcpy(p + 0, &wave.riffTag, 4);
    WriteU32LE(p + 4, LessOrZero(length, kRiffLengthBias));
    std::memcpy(p + 8, &wave.waveTag, 4);
    std::memcpy(p + 12, &wave.fmtTag, 4);
    WriteU32LE(p + 16, kWrittenFmtSize);
    std::memcpy(p + 20, &wave.formatTag, kFormatBytes);
    WriteU16LE(p + 36, 0);  // no extra format bytes
    std::memcpy(p + 38, &wave.dataTag, 4);
    WriteU32LE(p + 42, LessOrZero(length, kDataLengthBias));
    return header;
}

ReplaceResult Replace(Container& container, Track& track, const std::uint8_t* data,
                      std::uint32_t length, plugin::MappedFile* file) {
    RefreshLimits(container);
    ReplaceResult result;
    const std::int64_t room = track.Room();
    if (!track.InsideOf(container.length) || room == kNoRoom) {
        result.status = ReplaceStatus::kNoPlace;
        return result;
    }
    if (room < kWrittenHeaderSize) {
        result.status = ReplaceStatus::kTooSmall;
        return result;
    }
    // The header is read within all the bytes supplied, even when the replacement is cut below:
    // a file too short for its own header is refused here.
    wave::WaveFileHeader wave{};
    const std::uint32_t dataOffset = wave::ReadWaveHeader(&wave, data, length);
    if (dataOffset == 0 || dataOffset > length) {
        if (dataOffset != 0) {
            plugin::SetErrorText("Unknown waveformat.");
        }
        result.status = ReplaceStatus::kBadWave;
        return result;
    }

    result.status = ReplaceStatus::kOk;
    std::uint32_t kept = length;
    if (kept > room) {
        kept = static_cast<std::uint32_t>(room);
        result.status = ReplaceStatus::kCut;
        result.room = kept;
    }
    // The rewritten header may be longer than the replacement's own (44 bytes, or cut inside
    // a long fact chunk): the samples are cut so that header and samples stay within the room.
    const std::uint64_t available = kept > dataOffset ? kept - dataOffset : 0;
    const std::uint64_t samples =
        std::min<std::uint64_t>(available, static_cast<std::uint64_t>(room) - kWrittenHeaderSize);
    result.samples = static_cast<std::uint32_t>(samples);

    const auto header = RewrittenHeader(wave, kept);
    std::uint8_t* target = container.base + track.offset;
    const auto sizeField = static_cast<std::uint64_t>(track.entry + kSizeField - container.base);
    plugin::ContainerWrite write(file, container.base, container.length);
    if (!write.Begin({{track.offset, track.offset + kWrittenHeaderSize + samples},
                      {sizeField, sizeField + 4}})) {
        result.status = ReplaceStatus::kNotWritten;
        return result;
    }
    // Samples first, by memmove: data may be the track's own bytes, whose sample bytes the new
    // header would otherwise overwrite before they are copied.
    if (samples != 0) {
        std::memmove(target + kWrittenHeaderSize, data + dataOffset, samples);
    }
    std::memcpy(target, header.data(), header.size());
    WriteU32LE(track.entry + kSizeField, kept);
    if (!write.Commit()) {
        result.status = ReplaceStatus::kNotWritten;
    }
    return result;
}

}  // namespace fogbell::pac
