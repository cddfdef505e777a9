// Loop tags in the Vorbis comments of FLAC, Ogg Vorbis and Opus files. libsndfile hands out only
// a few named comments (title, artist, ...), so the comment block is found and read here.
//
// Byte layout read:
//   Comment block (little-endian): u32 vendor length and the vendor text; u32 comment count;
//   for each comment, u32 length and that many bytes "NAME=value" (NAME in ASCII, any case).
//   FLAC: an optional ID3v2 tag first ("ID3", u8 major and u8 minor version, u8 flags, the size
//   as four bytes of 7 bits each, big-endian; 10 bytes more when flag 0x10 adds a footer); then
//   "fLaC" and the metadata blocks, each a 4-byte header (bit 7 of the first byte: last block;
//   bits 0-6: the type, 4 = VORBIS_COMMENT; then a 24-bit big-endian length) followed by its
//   bytes. A VORBIS_COMMENT block is one comment block.
//   Ogg: pages, each "OggS", u8 version (0), u8 flags (0x01: the page goes on with a packet
//   begun before; 0x02: the stream's first page), u64 granule position, u32 serial number,
//   u32 page sequence, u32 CRC, u8 segment count and the segment sizes (a byte each), then the
//   segments. A packet is its segments up to and including the first one shorter than 255 bytes,
//   and may go on over the stream's next pages. The file's first page names the stream read
//   here; the stream's first packet is the codec's identification ("\x01vorbis" or "OpusHead"),
//   its second the comment header: "\x03vorbis" and a comment block (then a framing bit), or
//   "OpusTags" and a comment block.
//
// The loop, in samples per channel of the decoded stream (for Opus: at 48 kHz, after the
// pre-skip that the decoder drops):
//   LOOPSTART=S with LOOPLENGTH=L    samples S to S + L
//   LOOP_START=S with LOOP_END=E     samples S to E (E is the first sample after the loop)
//   a start alone                    from S to the end of the stream
// LOOPSTART is taken before LOOP_START, LOOPLENGTH before LOOP_END, and of a name given twice the
// first value that is a number (decimal digits only). A loop that does not lie inside the stream
// (S < end <= its sample count) is no loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace fogbell::snd {

struct LoopTags {
    std::optional<std::uint64_t> start;   // LOOPSTART, else LOOP_START
    std::optional<std::uint64_t> length;  // LOOPLENGTH
    std::optional<std::uint64_t> end;     // LOOP_END
};

// The loop tags of the file in the size bytes at data: none when the file is neither FLAC nor
// Ogg, has no comment block, or the block cannot be read. A comment block that runs past its
// bytes keeps the tags of the comments before the damage.
LoopTags ReadLoopTags(const std::uint8_t* data, std::size_t size);

// The loop the tags give in a stream of frames samples: true with [start, end), else false.
bool LoopFromTags(const LoopTags& tags, std::uint64_t frames, std::uint64_t& start,
                  std::uint64_t& end);

}  // namespace fogbell::snd
