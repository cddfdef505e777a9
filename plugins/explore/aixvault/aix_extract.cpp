#include "aix_extract.h"

#include <cstring>

#include "aix_layout.h"
#include "byte_order.h"

namespace fogbell::aix {
namespace {

constexpr std::size_t kAdxTotalField = 12;
constexpr std::size_t kAdxRateField = 8;
constexpr std::uint32_t kSecondsCut = 12;
constexpr char kSignature[] = "(c)CRI";

#if defined(_WIN32)
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

}  // namespace

std::array<std::uint8_t, kAdxFileHeaderSize> MakeAdxFileHeader(const std::uint8_t* entry) {
    std::array<std::uint8_t, kAdxFileHeaderSize> header{};
    std::memcpy(header.data(), entry + kEntryAdxHeader, kAdxHeaderCopySize);
    const std::uint32_t rate = plugin::ReadU32BE(header.data() + kAdxRateField);
    const std::uint32_t total = plugin::ReadU32BE(header.data() + kAdxTotalField);
    plugin::WriteU32BE(header.data() + kAdxTotalField, total - kSecondsCut * rate);
    // Bytes 28 and 29 stay zero.
    std::memcpy(header.data() + kAdxHeaderCopySize + 2, kSignature, sizeof kSignature - 1);
    return header;
}

std::string AdxOutputPath(const std::string& path) {
    const std::size_t separator = path.find_last_of(kSeparators);
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    return (hasExtension ? path.substr(0, dot) : path) + ".adx";
}

CopyResult CopyTrackData(const std::uint8_t* base, std::uint32_t length, std::uint32_t firstPacket,
                         std::uint32_t stream, std::uint32_t budget,
                         const std::function<bool(const std::uint8_t*, std::size_t)>& write) {
    CopyResult result;
    std::uint32_t offset = firstPacket;
    while (result.copied <= budget) {
        Packet packet;
        const PacketStatus status = ReadPacket(base, length, offset, packet);
        if (status == PacketStatus::kEnd) {
            result.end = CopyEnd::kChainEnd;
            return result;
        }
        if (status == PacketStatus::kCut) {
            result.end = CopyEnd::kCut;
            return result;
        }
        if (packet.stream == stream) {
            if (!write(packet.data, packet.size)) {
                result.end = CopyEnd::kWriteFailed;
                return result;
            }
            result.copied += packet.size;
        }
        offset = packet.next;
    }
    result.end = CopyEnd::kBudget;
    return result;
}

std::vector<bool> FindCutStreams(const std::uint8_t* base, std::uint32_t length,
                                 std::uint32_t firstPacket, const std::uint8_t* table,
                                 std::uint32_t count) {
    std::vector<bool> cut(count, false);
    std::vector<std::uint64_t> present(count, 0);
    Packet packet;
    for (std::uint32_t offset = firstPacket;
         ReadPacket(base, length, offset, packet) == PacketStatus::kPacket; offset = packet.next) {
        if (packet.stream < count) {
            present[packet.stream] += packet.size;
        }
    }
    for (std::uint32_t stream = 0; stream < count; ++stream) {
        cut[stream] = present[stream] < DeclaredDataBytes(ReadStreamHeader(EntryOf(table, stream)));
    }
    return cut;
}

}  // namespace fogbell::aix
