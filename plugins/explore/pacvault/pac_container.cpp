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

namespace {

// The header reader's verdict on a replacement: its data offset, or 0 with a text set.
std::uint32_t ReadReplacementHeader(const std::uint8_t* data, std::uint32_t length,
                                    wave::WaveFileHeader& wave) {
    if (length < kMinimumReplacement) {
        plugin::SetErrorText("Error size file.");
        return 0;
    }
    const std::uint32_t dataOffset = wave::ReadWaveHeader(&wave, data, length);
    if (dataOffset == 0 || dataOffset > length) {
        if (dataOffset != 0) {
            plugin::SetErrorText("Unknown waveformat.");
        }
        return 0;
    }
    return dataOffset;
}

// Bytes a replacement of length bytes with its samples at dataOffset takes when written whole.
std::uint64_t NeededBytes(std::uint32_t length, std::uint32_t dataOffset) {
    return std::max<std::uint64_t>(length, std::uint64_t{kWrittenHeaderSize} + length - dataOffset);
}

}  // namespace

bool MeasureReplacement(const std::uint8_t* data, std::uint32_t length, std::uint64_t& needed) {
    wave::WaveFileHeader wave{};
    const std::uint32_t dataOffset = ReadReplacementHeader(data, length, wave);
    if (dataOffset == 0) {
        return false;
    }
    needed = NeededBytes(length, dataOffset);
    return true;
}

bool Rebuild(const Container& container, const Track& track, const std::uint8_t* data,
             std::uint32_t length, plugin::RebuiltContainer& out, std::string& error) {
    const std::size_t target = static_cast<std::size_t>(&track - container.tracks.data());
    return Rebuild(container, plugin::OneNewMember(container.tracks.size(), target, data, length),
                   out, error);
}

bool Rebuild(const Container& container, const plugin::NewMembers& members,
             plugin::RebuiltContainer& out, std::string& error) {
    const std::size_t count = container.tracks.size();
    if (members.size() != count) {
        error = "Can't rebuild the container: the new members do not match its table.";
        return false;
    }
    // Each replacement's WAVE header, where its samples start and the bytes it takes.
    std::vector<wave::WaveFileHeader> waves(count);
    std::vector<std::uint32_t> dataOffsets(count, 0);
    std::vector<std::uint64_t> sizes(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (!members[i].replaced) {
            sizes[i] = container.tracks[i].Size();
            continue;
        }
        dataOffsets[i] = ReadReplacementHeader(members[i].data, members[i].length, waves[i]);
        if (dataOffsets[i] == 0) {
            error = plugin::ErrorText();
            return false;
        }
        sizes[i] = NeededBytes(members[i].length, dataOffsets[i]);
        if (sizes[i] > plugin::kLargestContainer) {
            error =
                "Can't rebuild the container: it would pass 4 GiB, more than PAC offsets reach.";
            return false;
        }
    }
    const std::uint32_t prefixEnd = container.tracks.front().offset;
    if (prefixEnd < container.tableEnd) {
        error = "Can't rebuild the container: its first track starts inside its table.";
        return false;
    }
    if (prefixEnd > container.length) {
        error = "Can't rebuild the container: its first track starts past its end.";
        return false;
    }
    std::uint64_t oldEnd = prefixEnd;
    std::uint64_t newLength = prefixEnd;
    for (std::size_t i = 0; i < count; ++i) {
        const Track& other = container.tracks[i];
        if (!members[i].replaced && !other.InsideOf(container.length)) {
            error =
                "Can't rebuild the container: Track " + std::to_string(i) + ".wav lies outside it.";
            return false;
        }
        if (other.Size() != 0 && other.InsideOf(container.length)) {
            oldEnd = std::max(oldEnd, std::uint64_t{other.offset} + other.Size());
        }
        newLength += sizes[i];
    }
    const std::uint64_t tail = container.length - oldEnd;
    newLength += tail;
    if (newLength > plugin::kLargestContainer) {
        error = "Can't rebuild the container: it would pass 4 GiB, more than PAC offsets reach.";
        return false;
    }

    std::vector<std::uint8_t> prefix(container.base, container.base + prefixEnd);
    std::uint64_t cursor = prefixEnd;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* entry = prefix.data() + kHeaderSize + kEntrySize * i;
        WriteU32LE(entry, static_cast<std::uint32_t>(cursor));
        WriteU32LE(entry + kSizeField, static_cast<std::uint32_t>(sizes[i]));
        cursor += sizes[i];
    }
    out.AddOwned(std::move(prefix));
    for (std::size_t i = 0; i < count; ++i) {
        if (members[i].replaced) {
            const std::uint32_t length = members[i].length;
            const std::uint32_t samples = length - dataOffsets[i];
            const auto header = RewrittenHeader(waves[i], length);
            out.AddOwned(std::vector<std::uint8_t>(header.begin(), header.end()));
            out.AddBorrowed(members[i].data + dataOffsets[i], samples);
            out.AddZeros(sizes[i] - kWrittenHeaderSize - samples);
        } else {
            const Track& other = container.tracks[i];
            out.AddBorrowed(container.base + other.offset, other.Size());
        }
    }
    out.AddBorrowed(container.base + oldEnd, tail);
    return true;
}

}  // namespace fogbell::pac
