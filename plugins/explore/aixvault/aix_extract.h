// One AIX track written out as a stand-alone ADX file.
//
//   offset  width  field
//   0       28     the track's ADX header, copied from its _HeaderCri entry (entry offsets
//                  24..51), except the total-sample field at 12: BE, T - 12 x sample rate in
//                  unsigned 32-bit arithmetic (it wraps when T is below twelve seconds' worth)
//   28      2      zero
//   30      6      "(c)CRI" (usual streams have header offset 0x20 at 2, which points here)
//   36      ...    the data of the track's packets, in chain order
//
// T also serves as the byte budget of the copied data: packets are copied while the copied
// count C is not above T, so the packet that takes C past T is the last one written. A track
// whose copied data falls short of what its entry declares is cut (aix_layout.h): its file
// keeps what the container holds, and the extraction fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fogbell::aix {

inline constexpr std::size_t kAdxFileHeaderSize = 36;

// The 36-byte header of the ADX file for the track whose _HeaderCri entry is given.
std::array<std::uint8_t, kAdxFileHeaderSize> MakeAdxFileHeader(const std::uint8_t* entry);

// The extraction's file name: path with the extension of its last component replaced by
// ".adx", or ".adx" appended when the last component has none ("out/Track 3.aixf" becomes
// "out/Track 3.adx"; a dot in a folder name is left alone).
std::string AdxOutputPath(const std::string& path);

enum class CopyEnd {
    kBudget,       // the copied count passed T
    kChainEnd,     // the chain ended cleanly: everything the container holds was copied
    kCut,          // a packet ran past the container's end; the packets before it were copied
    kWriteFailed,  // write refused a block
};

struct CopyResult {
    CopyEnd end = CopyEnd::kChainEnd;
    std::uint64_t copied = 0;  // data bytes handed to write
};

// Walks the packets of a container of length bytes from firstPacket and hands the data of
// every packet of `stream` to write, in order, until the copied count passes budget, the chain
// ends or a packet is cut. Never reads outside the container.
CopyResult CopyTrackData(const std::uint8_t* base, std::uint32_t length, std::uint32_t firstPacket,
                         std::uint32_t stream, std::uint32_t budget,
                         const std::function<bool(const std::uint8_t*, std::size_t)>& write);

// Which of the count streams whose _HeaderCri entries are in table are cut: their packets, up
// to the end of the chain or a cut packet, hold fewer data bytes than DeclaredDataBytes
// (aix_layout.h); exactly those whose CopyTrackData copies fewer. One walk of the chain; never
// reads outside the container.
std::vector<bool> FindCutStreams(const std::uint8_t* base, std::uint32_t length,
                                 std::uint32_t firstPacket, const std::uint8_t* table,
                                 std::uint32_t count);

}  // namespace fogbell::aix
