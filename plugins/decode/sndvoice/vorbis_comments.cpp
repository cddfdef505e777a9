#include "vorbis_comments.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "byte_order.h"
#include "text/ascii_text.h"

namespace fogbell::snd {
namespace {

// ID3v2 tag in front of a FLAC file.
constexpr std::string_view kId3Marker{"ID3"};
constexpr std::size_t kId3HeaderSize = 10;
constexpr std::size_t kId3FlagsOffset = 5;
constexpr std::size_t kId3SizeOffset = 6;
constexpr std::uint8_t kId3FooterFlag = 0x10;
constexpr std::size_t kId3FooterSize = 10;
constexpr std::uint8_t kSyncsafeHighBit = 0x80;

// FLAC metadata blocks.
constexpr std::string_view kFlacMarker{"fLaC"};
constexpr std::size_t kFlacBlockHeaderSize = 4;
constexpr std::uint8_t kFlacLastBlock = 0x80;
constexpr std::uint8_t kFlacTypeMask = 0x7F;
constexpr std::uint8_t kFlacVorbisComment = 4;

// Ogg pages.
constexpr std::string_view kOggMarker{"OggS"};
constexpr std::size_t kOggVersionOffset = 4;
constexpr std::size_t kOggFlagsOffset = 5;
constexpr std::size_t kOggSerialOffset = 14;
constexpr std::size_t kOggSegmentCountOffset = 26;
constexpr std::size_t kOggHeaderSize = 27;  // up to and including the segment count
constexpr std::uint8_t kOggContinued = 0x01;
constexpr std::size_t kLacingFull = 255;  // a segment of this size goes on in the next one
// Comment headers are short unless they carry pictures; beyond this the rest is not read (the
// comments before it still are), nor are pages beyond kMaxPages.
constexpr std::size_t kMaxCommentPacket = 16u << 20;
constexpr std::size_t kMaxPages = 8192;
constexpr std::size_t kCodecMarkerSize = 8;  // what identifies a packet: "\x01vorbis", "OpusHead"
constexpr std::string_view kVorbisIdentification{"\x01vorbis", 7};
constexpr std::string_view kVorbisComment{"\x03vorbis", 7};
constexpr std::string_view kOpusIdentification{"OpusHead"};
constexpr std::string_view kOpusComment{"OpusTags"};

// The loop tag names; which value a name sets is in Found.
constexpr std::string_view kLoopStart{"LOOPSTART"};
constexpr std::string_view kLoopLength{"LOOPLENGTH"};
constexpr std::string_view kLoopStartAlt{"LOOP_START"};
constexpr std::string_view kLoopEnd{"LOOP_END"};
constexpr std::size_t kMaxDigits = 19;  // fits 64 bits

// Every loop tag as found (the first of each name).
struct Found {
    std::optional<std::uint64_t> loopStart, loopLength, loopStartAlt, loopEnd;
};

// True when the size bytes at p begin with marker.
bool StartsWith(const std::uint8_t* p, std::size_t size, std::string_view marker) {
    return size >= marker.size() && std::memcmp(p, marker.data(), marker.size()) == 0;
}

// A value of decimal digits only, or nothing.
std::optional<std::uint64_t> Number(std::string_view text) {
    if (text.empty() || text.size() > kMaxDigits) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// Takes note of one comment "NAME=value" when it is a loop tag seen for the first time.
void Note(std::string_view comment, Found& found) {
    const std::size_t equals = comment.find('=');
    if (equals == std::string_view::npos) {
        return;
    }
    const std::string_view name = comment.substr(0, equals);
    const std::optional<std::uint64_t> value = Number(comment.substr(equals + 1));
    for (auto [tag, slot] :
         {std::pair{kLoopStart, &found.loopStart}, std::pair{kLoopLength, &found.loopLength},
          std::pair{kLoopStartAlt, &found.loopStartAlt}, std::pair{kLoopEnd, &found.loopEnd}}) {
        if (EqualNoCaseAscii(name, tag) && !slot->has_value()) {
            *slot = value;
        }
    }
}

// Reads a comment block of size bytes, up to its end or to the first length that runs past it.
void ReadCommentBlock(const std::uint8_t* block, std::size_t size, Found& found) {
    std::size_t at = 0;
    // The next u32 length and the bytes it counts, or false when they do not fit.
    auto take = [&](std::string_view& text) {
        if (size - at < sizeof(std::uint32_t)) {
            return false;
        }
        const std::uint32_t length = plugin::ReadU32LE(block + at);
        at += sizeof(std::uint32_t);
        if (length > size - at) {
            return false;
        }
        text = std::string_view(reinterpret_cast<const char*>(block + at), length);
        at += length;
        return true;
    };
    std::string_view vendor;
    if (!take(vendor) || size - at < sizeof(std::uint32_t)) {
        return;
    }
    const std::uint32_t count = plugin::ReadU32LE(block + at);
    at += sizeof(std::uint32_t);
    std::string_view comment;
    for (std::uint32_t i = 0; i < count && take(comment); ++i) {
        Note(comment, found);
    }
}

// Where "fLaC" should be: after an ID3v2 tag when the file begins with one, else 0. size when the
// tag does not fit the bytes.
std::size_t FlacMarkerOffset(const std::uint8_t* data, std::size_t size) {
    if (!StartsWith(data, size, kId3Marker) || size < kId3HeaderSize) {
        return 0;
    }
    std::uint64_t tagSize = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t b = data[kId3SizeOffset + i];
        if ((b & kSyncsafeHighBit) != 0) {
            return size;
        }
        tagSize = (tagSize << 7) | b;
    }
    tagSize += kId3HeaderSize;
    if ((data[kId3FlagsOffset] & kId3FooterFlag) != 0) {
        tagSize += kId3FooterSize;
    }
    return tagSize < size ? static_cast<std::size_t>(tagSize) : size;
}

// The VORBIS_COMMENT block of a FLAC file, when it has one.
void ReadFlacComments(const std::uint8_t* data, std::size_t size, Found& found) {
    std::size_t at = FlacMarkerOffset(data, size);
    if (!StartsWith(data + at, size - at, kFlacMarker)) {
        return;
    }
    at += kFlacMarker.size();
    while (size - at >= kFlacBlockHeaderSize) {
        const std::uint8_t flags = data[at];
        const std::uint32_t length = plugin::ReadU32BE(data + at) & 0xFFFFFFu;
        at += kFlacBlockHeaderSize;
        const std::size_t present = std::min<std::size_t>(length, size - at);
        if ((flags & kFlacTypeMask) == kFlacVorbisComment) {
            ReadCommentBlock(data + at, present, found);
            return;
        }
        if ((flags & kFlacLastBlock) != 0 || present < length) {
            return;
        }
        at += length;
    }
}

// The first two packets of the Ogg stream of the file's first page, as far as they are read.
class OggHeaderPackets {
  public:
    // Walks the pages from the file's start until the second packet is complete, the pages end
    // or stop being Ogg pages, or a packet in progress is not continued.
    void Read(const std::uint8_t* data, std::size_t size) {
        std::size_t at = 0;
        for (std::size_t page = 0; page < kMaxPages && size - at >= kOggHeaderSize; ++page) {
            const std::uint8_t* header = data + at;
            const std::size_t segments = header[kOggSegmentCountOffset];
            if (!StartsWith(header, size - at, kOggMarker) || header[kOggVersionOffset] != 0 ||
                size - at - kOggHeaderSize < segments) {
                return;
            }
            const std::uint32_t serial = plugin::ReadU32LE(header + kOggSerialOffset);
            if (page == 0) {
                serial_ = serial;
            }
            const std::uint8_t* lacing = header + kOggHeaderSize;
            at += kOggHeaderSize + segments;
            if (serial != serial_) {  // another stream's page: stepped over
                std::size_t body = 0;
                for (std::size_t s = 0; s < segments; ++s) {
                    body += lacing[s];
                }
                at += std::min(body, size - at);
                continue;
            }
            if ((header[kOggFlagsOffset] & kOggContinued) == 0 && inPacket_) {
                return;  // the packet in progress was never finished
            }
            for (std::size_t s = 0; s < segments; ++s) {
                const std::size_t length = std::min<std::size_t>(lacing[s], size - at);
                Append(data + at, length);
                at += length;
                inPacket_ = lacing[s] == kLacingFull;
                if (length < lacing[s] || (!inPacket_ && ++packets_ == 2)) {
                    return;  // the bytes end inside the segment, or both packets are read
                }
            }
        }
    }

    std::vector<std::uint8_t> identification;  // its first kCodecMarkerSize bytes
    std::vector<std::uint8_t> comment;         // at most kMaxCommentPacket bytes

  private:
    void Append(const std::uint8_t* bytes, std::size_t length) {
        std::vector<std::uint8_t>& packet = packets_ == 0 ? identification : comment;
        const std::size_t cap = packets_ == 0 ? kCodecMarkerSize : kMaxCommentPacket;
        const std::size_t kept = std::min(length, cap - std::min(cap, packet.size()));
        packet.insert(packet.end(), bytes, bytes + kept);
    }

    std::uint32_t serial_ = 0;
    std::size_t packets_ = 0;  // packets completed
    bool inPacket_ = false;    // the last segment was full: the packet goes on
};

// The comment header of an Ogg Vorbis or Opus file, when it has one.
void ReadOggComments(const std::uint8_t* data, std::size_t size, Found& found) {
    OggHeaderPackets packets;
    packets.Read(data, size);
    const std::vector<std::uint8_t>& id = packets.identification;
    const std::vector<std::uint8_t>& comment = packets.comment;
    std::string_view marker;
    if (StartsWith(id.data(), id.size(), kVorbisIdentification)) {
        marker = kVorbisComment;
    } else if (StartsWith(id.data(), id.size(), kOpusIdentification)) {
        marker = kOpusComment;
    } else {
        return;  // another codec in Ogg
    }
    if (StartsWith(comment.data(), comment.size(), marker)) {
        ReadCommentBlock(comment.data() + marker.size(), comment.size() - marker.size(), found);
    }
}

}  // namespace

LoopTags ReadLoopTags(const std::uint8_t* data, std::size_t size) {
    Found found;
    if (data != nullptr) {
        if (StartsWith(data, size, kOggMarker)) {
            ReadOggComments(data, size, found);
        } else {
            ReadFlacComments(data, size, found);
        }
    }
    LoopTags tags;
    tags.start = found.loopStart ? found.loopStart : found.loopStartAlt;
    tags.length = found.loopLength;
    tags.end = found.loopEnd;
    return tags;
}

bool LoopFromTags(const LoopTags& tags, std::uint64_t frames, std::uint64_t& start,
                  std::uint64_t& end) {
    if (!tags.start) {
        return false;
    }
    const std::uint64_t first = *tags.start;
    std::uint64_t after = frames;
    if (tags.length) {
        if (*tags.length > frames || first > frames - *tags.length) {
            return false;  // past the end (checked so that first + length cannot overflow)
        }
        after = first + *tags.length;
    } else if (tags.end) {
        after = *tags.end;
    }
    if (first >= after || after > frames) {
        return false;
    }
    start = first;
    end = after;
    return true;
}

}  // namespace fogbell::snd
