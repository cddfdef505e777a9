// A sound file that libsndfile reads, opened over bytes in memory through libsndfile's virtual
// I/O: every read is cut at the end of the bytes, so nothing past them is ever touched, and
// nothing is ever written. libsndfile tells the format from the bytes, not from a name.
//
// Where libsndfile's decoding begins and ends (the same as FFmpeg's decode of the same files, to
// the sample; the sndvoice tests measure it):
//   MP3    mpg123 decodes with gapless playback: the encoder delay and the padding that a LAME or
//          Xing info frame records are dropped, so the stream is the encoder's input. Without an
//          info frame nothing is dropped (the decoder's delay stays in front, as in FFmpeg), and
//          the length is an estimate until the stream has been decoded to its end.
//   Opus   the header's pre-skip is dropped, and the last page's granule position cuts the
//          padding at the end.
//   Vorbis the last page's granule position cuts the end; the stream begins with sample 0.
//   FLAC, AIFF and WAVE (PCM, ADPCM, mu-law, A-law, ...) have neither.
//
// The start: a rewind opens the bytes again, so that every pass decodes alike. libsndfile's own
// seek to the start leaves some decoders' state as it was (mpg123 then gives a damaged MP3 one
// step otherwise than the first time).
//
// Seeking: libsndfile lands FLAC, MP3, AIFF and WAVE on the exact sample. Two codecs need help:
//   Vorbis a seek from somewhere near the target, or to the last page, can land hundreds or
//          thousands of samples off (the first lapped block at the new place is wrong). Every
//          Vorbis seek opens the bytes again and goes to a second before the target, then decodes
//          up to it: exact in thousands of random seeks, hundreds of them in the last seconds.
//   Opus   libsndfile starts decoding 80 ms before the target, after which the decoder is not
//          always settled to the last bit (a 16-bit sample one step off, now and then). Seeks
//          start half a second before the target instead and decode up to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

namespace fogbell::snd {

// The bytes libsndfile reads through the virtual I/O, and where it reads now.
struct ByteSource {
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;  // may lie past the end: a read there gives nothing
};

class SoundFile {
  public:
    // Opens the size bytes at data, which must stay unchanged while the object lives. Null with
    // the reason in error: "Is not an audio file libsndfile reads: " and libsndfile's text.
    static std::unique_ptr<SoundFile> Open(const std::uint8_t* data, std::uint32_t size,
                                           std::string& error);
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    std::uint32_t Channels() const { return channels_; }
    std::uint32_t Rate() const { return rate_; }
    // Samples per channel as the file gives them (see MP3 above).
    std::uint64_t Frames() const { return frames_; }
    // An Ogg file (Vorbis or Opus): its channels are in Vorbis order.
    bool IsOgg() const;
    // The channel positions libsndfile read from the file (SF_CHANNEL_MAP_* values), or none.
    std::vector<int> ChannelMap() const;
    // The first sampler loop of an AIFF or WAVE file (end: the first sample after it), when the
    // file has one: true with start < end.
    bool InstrumentLoop(std::uint64_t& start, std::uint64_t& end) const;

    // Reads up to frames frames as floats (channels interleaved, full scale +-1). Fewer only at
    // the end of the stream or on a decoding error, which Failure() then names.
    std::size_t Read(float* out, std::size_t frames);
    // The text of the decoding error that stopped Read or Seek, or empty.
    const std::string& Failure() const { return failure_; }

    // Moves so that the next Read begins at frame (the strategies above). False when libsndfile
    // could not get there: the reading position is then unknown until Rewind.
    bool Seek(std::uint64_t frame);
    // Reads and drops frames frames; the frames actually passed (fewer at the end or an error).
    std::uint64_t Skip(std::uint64_t frames);
    // Back to the first frame, with no failure: the bytes opened again. False with Failure()
    // when they no longer open.
    bool Rewind();

    // Where libsndfile reads in the bytes now (for letting go of a mapped file's pages).
    std::uint64_t ReadOffset() const { return source_.position; }

  private:
    SoundFile(const std::uint8_t* data, std::uint32_t size);
    // Opens the bytes from their start into handle_; what went wrong, or empty.
    std::string OpenHandle();
    void CloseHandle();

    ByteSource source_;
    sf_private_tag* handle_ = nullptr;
    std::uint32_t channels_ = 0;
    std::uint32_t rate_ = 0;
    std::uint64_t frames_ = 0;
    int format_ = 0;  // libsndfile's SF_FORMAT_* of the file
    std::string failure_;
    std::vector<float> scratch_;  // for Skip
};

}  // namespace fogbell::snd
