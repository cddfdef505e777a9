// One stream of an AIX container (layout in aix_layout.h) decoded to 16-bit PCM, one second
// per block.
//
// The walk goes through the packets in chain order and decodes the payload of every packet of
// the selected stream, frame group by frame group (stereo: an 18-byte left frame then an
// 18-byte right frame, 128 bytes of PCM; any other channel count: one 18-byte frame, 64 bytes).
// A payload that is not a whole number of groups decodes its whole groups only. Each packet of
// the stream lowers what remains of the stream's total value T by its payload size.
//
// A block is one second of PCM (the format's nAvgBytesPerSec). A call walks until the second
// is full, holding back what it decoded past the second for the next call. The stream ends:
//  - at the first call that finds nothing left of T (what was held back still comes out first,
//    as a last, shorter block);
//  - where the chain ends, where a packet runs past the container's end, or at a frame whose
//    scale has its top bit set (the ADX end marker): the partial second decoded so far is
//    delivered as the last block, as it is (no padding).
// A walk that ends at the chain's end or at a cut packet before the stream's packets held the
// data its entry declares (aix_layout.h) has met a cut: the call that ends it says so.
// The format (channels and rate, 16-bit PCM) is stream 0's, whichever stream plays; the
// prediction coefficients follow the played stream's own rate and cutoff.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "adx_frame.h"
#include "aix_layout.h"
#include "fogbell_aix_record.h"
#include "fogbell_decoder.h"

namespace fogbell::aix {

// A second of PCM larger than this is refused: no real stream comes near it, and a damaged
// header must not make the decoder allocate gigabytes.
inline constexpr std::uint64_t kMaxBlockSize = 16u << 20;

// What the walk reads: a container's bytes, its stream table and the stream to play.
struct StreamSource {
    const std::uint8_t* table = nullptr;  // trackCount _HeaderCri entries of 52 bytes
    std::uint32_t trackCount = 0;
    const std::uint8_t* base = nullptr;
    std::uint32_t length = 0;       // the walk never reads at or past base + length
    std::uint32_t firstPacket = 0;  // offset of the first packet
    std::uint32_t selected = 0;
};

// Takes the explorer's record (fogbell_aix_record.h) apart. False when data is not such a
// record: a handle outside 0..99 or a header without "AIXF" (checked in that order, so that
// other bytes are not read further), a misaligned address, no tracks, a selected track not
// below the count, missing table or container, or a first packet outside the container.
bool ReadTrackRecord(const void* data, StreamSource& source);

class StreamDecoder {
  public:
    // Prepares decoding of source.selected (whose table and bytes must outlive the decoder)
    // and rewinds. False when stream 0's PCM frame (2 bytes per channel) times its rate is 0 or
    // above kMaxBlockSize: such a stream has no PCM format to deliver.
    bool Open(const StreamSource& source);

    // Back to the first packet: the next block is the stream's first.
    void Rewind();

    // The next block, or null at the end of the stream. The block stays valid until the next
    // call of Next or Rewind.
    const PcmBlock* Next();

    enum class Cut {
        kNone,
        kPacket,  // a packet runs past the container's end
        kShort,   // the chain ended before the declared data
    };
    // How the last Next found the stream cut: the walk ended in it short of the declared data.
    Cut MetCut() const { return metCut_; }
    // The played stream's entry fields.
    const StreamHeader& Played() const { return played_; }
    // The played stream's data bytes the walk has read since the last rewind.
    std::uint64_t Consumed() const { return consumed_; }

    const WAVEFORMATEX& Format() const { return format_; }
    // The played stream's total value T.
    std::uint32_t Size() const { return total_; }
    // T minus what remains, never above T. Safe to read from another thread while the stream
    // decodes (the host polls it for its progress bar while its play thread decodes).
    std::uint32_t Position() const;

  private:
    // Reads the packet at the walk's position and, when it belongs to the played stream,
    // decodes its whole groups at pcm_ + fill. False when the walk has ended.
    bool DecodePacket(std::size_t& fill);
    // The walk met the end of the chain or of the audio: nothing remains of the stream.
    void EndWalk();
    // Decodes one frame group into out (64 or 128 bytes). False at an end marker.
    bool DecodeGroup(const std::uint8_t* group, std::uint8_t* out);

    StreamSource source_;
    WAVEFORMATEX format_{};
    bool stereo_ = false;
    std::size_t groupSize_ = adx::kFrameSize;
    std::size_t groupPcm_ = 2 * adx::kSamplesPerFrame;
    adx::Coefficients coefficients_ = adx::kStandardCoefficients;
    std::uint32_t total_ = 0;
    StreamHeader played_;
    std::uint64_t declared_ = 0;  // DeclaredDataBytes of the played stream
    std::uint64_t consumed_ = 0;

    std::uint32_t next_ = 0;                  // offset of the next packet
    std::atomic<std::int64_t> remaining_{0};  // of T; 0 or less once the stream has ended
    adx::History history_[2];
    std::size_t blockSize_ = 0;
    std::size_t carry_ = 0;  // decoded bytes held back at pcm_ + blockSize_
    // blockSize_ + the most one payload can decode to: a packet begun below one second always
    // fits. Only bytes written by decoding are ever handed out.
    std::unique_ptr<std::uint8_t[]> pcm_;
    PcmBlock block_{};
    Cut metCut_ = Cut::kNone;
};

}  // namespace fogbell::aix
