#include "xmd_stream.h"

#include <algorithm>
#include <limits>

#include "byte_order.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define FOGBELL_XMD_VECTOR 1
#endif

namespace fogbell::xmd {
namespace {

using plugin::ReadU16LE;
using plugin::ReadU32LE;

constexpr int kShift = 14;
constexpr std::size_t kStoredSamples = 2;
constexpr std::size_t kScaleOffset = 4;
constexpr std::size_t kNibblesOffset = 6;
constexpr std::size_t kPredicted = kSamplesPerFrame - kStoredSamples;

// The nibble terms S * 16384 * n of a frame's predicted samples, wrapped to 32 bits, in order
// (low nibble first). The last two of the 16 are not samples.
struct alignas(16) Terms {
    std::uint32_t at[16];
};

#if FOGBELL_XMD_VECTOR

// The 7 nibble bytes of a frame in the low 8 bytes of a register, the eighth 0: loaded from one
// byte earlier (the scale's high byte), so that no byte past the frame is read.
inline __m128i LoadNibbles(const std::uint8_t* frame) {
    const __m128i bytes =
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(frame + kNibblesOffset - 1));
    return _mm_srli_epi64(bytes, 8);
}

// Eight nibbles, each in the top four bits of a 16-bit word (n * 4096), times the scale: as
// 32-bit lanes [n * 2048, n * 4096] against the word pair [S & 1, S >> 1] a multiply-add forms
// n * 2048 * S for any 16-bit scale, and the shift by 3 makes n * S * 16384, wrapped.
inline void StoreTerms(__m128i nibbleWords, __m128i scaleWords, std::uint32_t* terms) {
    const __m128i half = _mm_srai_epi16(nibbleWords, 1);
    const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(half, nibbleWords), scaleWords);
    const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(half, nibbleWords), scaleWords);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(terms), _mm_slli_epi32(lo, 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(terms + 4), _mm_slli_epi32(hi, 3));
}

inline __m128i ScaleWords(const std::uint8_t* frame) {
    const std::uint32_t scale = ReadU16LE(frame + kScaleOffset);
    const auto odd = static_cast<std::int16_t>(scale & 1u);
    const auto half = static_cast<std::int16_t>(scale >> 1);
    return _mm_setr_epi16(odd, half, odd, half, odd, half, odd, half);
}

// The terms of one or two frames: nibbles holds the first frame's bytes in its low 8 bytes and
// the second's (if any) in its high 8.
inline void MakeTerms(__m128i nibbles, __m128i firstScale, __m128i secondScale,
                      std::uint32_t* first, std::uint32_t* second) {
    const __m128i top = _mm_set1_epi8(static_cast<char>(0xF0));
    const __m128i zero = _mm_setzero_si128();
    const __m128i high = _mm_and_si128(nibbles, top);
    const __m128i low = _mm_and_si128(_mm_slli_epi16(nibbles, 4), top);
    const __m128i ordered = _mm_unpacklo_epi8(low, high);  // the first frame, low nibble first
    StoreTerms(_mm_unpacklo_epi8(zero, ordered), firstScale, first);
    StoreTerms(_mm_unpackhi_epi8(zero, ordered), firstScale, first + 8);
    if (second != nullptr) {
        const __m128i ordered2 = _mm_unpackhi_epi8(low, high);
        StoreTerms(_mm_unpacklo_epi8(zero, ordered2), secondScale, second);
        StoreTerms(_mm_unpackhi_epi8(zero, ordered2), secondScale, second + 8);
    }
}

void MonoTerms(const std::uint8_t* frame, Terms& terms) {
    MakeTerms(LoadNibbles(frame), ScaleWords(frame), ScaleWords(frame), terms.at, nullptr);
}

void StereoTerms(const std::uint8_t* left, const std::uint8_t* right, Terms& l, Terms& r) {
    MakeTerms(_mm_unpacklo_epi64(LoadNibbles(left), LoadNibbles(right)), ScaleWords(left),
              ScaleWords(right), l.at, r.at);
}

#else

constexpr std::size_t kNibbleBytes = 7;

// A four-bit two's-complement value (0..15 as stored) as -8..7.
inline std::int32_t SignedNibble(std::uint32_t nibble) {
    return static_cast<std::int32_t>(nibble ^ 8u) - 8;
}

void MonoTerms(const std::uint8_t* frame, Terms& terms) {
    const std::uint32_t scale = ReadU16LE(frame + kScaleOffset) * (1u << kShift);
    for (std::size_t i = 0; i < kNibbleBytes; ++i) {
        const std::uint32_t byte = frame[kNibblesOffset + i];
        terms.at[2 * i] = scale * static_cast<std::uint32_t>(SignedNibble(byte & 0x0Fu));
        terms.at[2 * i + 1] = scale * static_cast<std::uint32_t>(SignedNibble(byte >> 4));
    }
}

void StereoTerms(const std::uint8_t* left, const std::uint8_t* right, Terms& l, Terms& r) {
    MonoTerms(left, l);
    MonoTerms(right, r);
}

#endif

// The terms are read back from memory, each as the operand of the add it feeds: cheaper than
// moving them one by one from vector registers, which the compiler would otherwise do.
inline void KeepInMemory() {
#if defined(__GNUC__)
    asm volatile("" ::: "memory");
#endif
}

// One predicted value: the nibble's term plus the wrapped products, shifted right with sign.
inline std::int32_t Predict(std::uint32_t term, std::int32_t h1, std::int32_t h2) {
    const std::uint32_t sum =
        term + static_cast<std::uint32_t>(kFirstCoefficient) * static_cast<std::uint32_t>(h1) -
        static_cast<std::uint32_t>(kSecondCoefficient) * static_cast<std::uint32_t>(h2);
    return static_cast<std::int32_t>(sum) >> kShift;
}

inline std::int16_t Low16(std::int32_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

inline std::int32_t StoredSample(const std::uint8_t* frame, std::size_t index) {
    return static_cast<std::int16_t>(ReadU16LE(frame + 2 * index));
}

// One frame from its terms into out, out + stride, ...
template <std::size_t kStride>
inline void DecodeWithTerms(const std::uint8_t* frame, const Terms& terms, std::int16_t* out) {
    std::int32_t h2 = StoredSample(frame, 0);
    std::int32_t h1 = StoredSample(frame, 1);
    out[0] = static_cast<std::int16_t>(h2);
    out[kStride] = static_cast<std::int16_t>(h1);
#pragma GCC unroll 14
    for (std::size_t k = 0; k < kPredicted; ++k) {
        const std::int32_t v = Predict(terms.at[k], h1, h2);
        out[(kStoredSamples + k) * kStride] = Low16(v);
        h2 = h1;
        h1 = v;
    }
}

// A left and a right frame into 16 interleaved pairs; the two recursions run side by side.
inline void DecodeStereo(const std::uint8_t* left, std::int16_t* out) {
    const std::uint8_t* right = left + kFrameSize;
    Terms l;
    Terms r;
    StereoTerms(left, right, l, r);
    KeepInMemory();
    std::int32_t l2 = StoredSample(left, 0);
    std::int32_t l1 = StoredSample(left, 1);
    std::int32_t r2 = StoredSample(right, 0);
    std::int32_t r1 = StoredSample(right, 1);
    out[0] = static_cast<std::int16_t>(l2);
    out[1] = static_cast<std::int16_t>(r2);
    out[2] = static_cast<std::int16_t>(l1);
    out[3] = static_cast<std::int16_t>(r1);
#pragma GCC unroll 14
    for (std::size_t k = 0; k < kPredicted; ++k) {
        const std::int32_t lv = Predict(l.at[k], l1, l2);
        const std::int32_t rv = Predict(r.at[k], r1, r2);
        out[2 * (kStoredSamples + k)] = Low16(lv);
        out[2 * (kStoredSamples + k) + 1] = Low16(rv);
        l2 = l1;
        l1 = lv;
        r2 = r1;
        r1 = rv;
    }
}

inline void DecodeMono(const std::uint8_t* frame, std::int16_t* out) {
    Terms terms;
    MonoTerms(frame, terms);
    KeepInMemory();
    DecodeWithTerms<1>(frame, terms, out);
}

}  // namespace

const char* StatusText(HeaderStatus status) {
    switch (status) {
        case HeaderStatus::kOk:
            return "OK";
        case HeaderStatus::kTooShort:
            return "XMD file is shorter than its 12-byte header.";
        case HeaderStatus::kNoChannels:
            break;
    }
    return "XMD file has no channels.";
}

HeaderStatus ReadHeader(const std::uint8_t* data, std::uint32_t size, Header& header) {
    if (size < kHeaderSize) {
        return HeaderStatus::kTooShort;
    }
    header.channels = data[kChannelsField];
    header.sampleRate = ReadU16LE(data + kRateField);
    header.dataLength = ReadU32LE(data + kLengthField);
    return header.channels == 0 ? HeaderStatus::kNoChannels : HeaderStatus::kOk;
}

std::string CheckPlausible(const Header& header, std::uint32_t size) {
    const std::string refused = "Is not XMD file: its header declares ";
    if (header.channels > kMaxChannels) {
        return refused + std::to_string(header.channels) + " channels; XMD streams have 1 or 2.";
    }
    if (header.sampleRate == 0) {
        return refused + "a sample rate of 0 Hz.";
    }
    const std::uint64_t needed = std::uint64_t{kHeaderSize} + header.dataLength;
    const std::uint64_t group = std::uint64_t{kFrameSize} * header.channels;
    // A cut inside the last group leaves fewer than a group's bytes missing.
    if (needed < size + group) {
        return {};
    }
    const std::uint64_t frames = (std::uint64_t{header.dataLength} + kFrameSize - 1) / kFrameSize;
    return refused + std::to_string(frames) + " frames, which need " + std::to_string(needed) +
           " bytes; the file has " + std::to_string(size) + ".";
}

void DecodeFrame(const std::uint8_t* frame, std::int16_t* out, std::size_t stride) {
    if (stride == 1) {
        DecodeMono(frame, out);
        return;
    }
    std::int16_t samples[kSamplesPerFrame];
    DecodeMono(frame, samples);
    for (std::size_t i = 0; i < kSamplesPerFrame; ++i) {
        out[i * stride] = samples[i];
    }
}

void FrameStream::Attach(const std::uint8_t* data, std::uint32_t size, const Header& header) {
    data_ = data;
    size_ = size;
    mono_ = header.channels == 1;
    lengthPerGroup_ = std::int64_t{kFrameSize} * header.channels;
    dataLength_ = header.dataLength;
    Rewind();
}

void FrameStream::Rewind() {
    readOffset_ = kHeaderSize;
    remaining_.store(dataLength_, std::memory_order_relaxed);
}

std::size_t FrameStream::DecodeGroup(std::int16_t* out) {
    return DecodeGroupsPast(out, 0);
}

std::size_t FrameStream::DecodeGroupsPast(std::int16_t* out, std::size_t room) {
    const std::int64_t remaining = remaining_.load(std::memory_order_relaxed);
    if (remaining <= 0) {
        return 0;
    }
    const std::size_t groupSize = mono_ ? kFrameSize : 2 * kFrameSize;
    const std::size_t groupSamples = mono_ ? kSamplesPerFrame : 2 * kSamplesPerFrame;
    // The groups the caller asks for (the first to pass room), those the length still wants,
    // and those the bytes hold.
    const std::size_t wanted = room / groupSamples + 1;
    const auto counted =
        static_cast<std::size_t>((remaining + lengthPerGroup_ - 1) / lengthPerGroup_);
    const std::size_t whole = (size_ - readOffset_) / groupSize;
    const std::size_t limit = std::min(wanted, counted);
    const std::size_t groups = std::min(limit, whole);
    const std::uint8_t* frame = data_ + readOffset_;
    if (mono_) {
        for (std::size_t g = 0; g < groups; ++g) {
            DecodeMono(frame + g * kFrameSize, out + g * kSamplesPerFrame);
        }
    } else {
        for (std::size_t g = 0; g < groups; ++g) {
            DecodeStereo(frame + g * groupSize, out + g * groupSamples);
        }
    }
    readOffset_ += static_cast<std::uint32_t>(groups * groupSize);
    std::int64_t left = remaining - static_cast<std::int64_t>(groups) * lengthPerGroup_;
    if (groups < limit) {
        left = 0;  // the bytes end here
    }
    remaining_.store(left, std::memory_order_relaxed);
    return groups * groupSamples;
}

std::uint32_t FrameStream::Position() const {
    const std::int64_t consumed =
        std::int64_t{dataLength_} - remaining_.load(std::memory_order_relaxed);
    constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(consumed, 0, kMax));
}

}  // namespace fogbell::xmd
