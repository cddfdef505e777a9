#include "wave_samples.h"

#include <cmath>
#include <cstring>

#include "byte_order.h"
#include "plugin_support.h"

namespace fogbell::wave {
namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::int32_t kUnsignedZero = 128;
constexpr double kFloatScale = 32768.0;
constexpr std::int64_t kInt16Max = 32767;
constexpr std::int64_t kInt16Min = -32768;

// Names of the compressed formats WAVE files commonly hold, for the refusal text.
struct TagName {
    std::uint16_t tag;
    const char* name;
};
constexpr TagName kTagNames[] = {{0x0002, "Microsoft ADPCM"},
                                 {0x0006, "A-law"},
                                 {0x0007, "mu-law"},
                                 {0x0011, "IMA ADPCM"},
                                 {0x0031, "GSM 6.10"},
                                 {0x0050, "MPEG audio"},
                                 {0x0055, "MPEG Layer 3"},
                                 {0x00FF, "AAC"},
                                 {0x2000, "AC-3"},
                                 {0x0092, "Dolby AC-3 SPDIF"},
                                 {kTagExtensible, "WAVE_FORMAT_EXTENSIBLE"}};

bool RefuseTag(std::uint16_t tag) {
    for (const TagName& known : kTagNames) {
        if (known.tag == tag) {
            plugin::SetErrorText("Unsupported waveformat: %s (format tag 0x%04X).", known.name,
                                 tag);
            return false;
        }
    }
    plugin::SetErrorText("Unsupported waveformat: format tag 0x%04X.", tag);
    return false;
}

bool RefuseDepth(const char* what, std::uint16_t bits) {
    plugin::SetErrorText("Unsupported waveformat: %u-bit %s.", static_cast<unsigned>(bits), what);
    return false;
}

// value / 2^shift rounded half away from zero, clipped to int16.
std::int16_t TopBits(std::int64_t value, unsigned shift) {
    const std::int64_t half = std::int64_t{1} << (shift - 1);
    const std::int64_t magnitude = ((value < 0 ? -value : value) + half) >> shift;
    const std::int64_t rounded = value < 0 ? -magnitude : magnitude;
    return static_cast<std::int16_t>(rounded > kInt16Max ? kInt16Max : rounded);
}

std::int32_t ReadS24LE(const std::uint8_t* p) {
    const auto raw = static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16));
    return static_cast<std::int32_t>(raw << 8) >> 8;  // sign-extended
}

}  // namespace

std::uint32_t BytesPerSample(SampleKind kind) {
    switch (kind) {
        case SampleKind::kUnsigned8:
            return 1;
        case SampleKind::kInt16:
            return 2;
        case SampleKind::kInt24:
            return 3;
        case SampleKind::kInt32:
        case SampleKind::kFloat32:
            return 4;
        case SampleKind::kFloat64:
            break;
    }
    return 8;
}

bool SampleKindOf(const WaveFileHeader& header, SampleKind& kind) {
    const std::uint16_t bits = header.bitsPerSample;
    if (header.formatTag == kTagPcm) {
        switch (bits) {
            case 8:
                kind = SampleKind::kUnsigned8;
                break;
            case 16:
                kind = SampleKind::kInt16;
                break;
            case 24:
                kind = SampleKind::kInt24;
                break;
            case 32:
                kind = SampleKind::kInt32;
                break;
            default:
                return RefuseDepth("PCM", bits);
        }
    } else if (header.formatTag == kTagFloat) {
        if (bits != 32 && bits != 64) {
            return RefuseDepth("float", bits);
        }
        kind = bits == 32 ? SampleKind::kFloat32 : SampleKind::kFloat64;
    } else {
        return RefuseTag(header.formatTag);
    }
    if (std::uint32_t{header.blockAlign} != std::uint32_t{header.channels} * BytesPerSample(kind)) {
        plugin::SetErrorText("WAVE block align %u does not fit %u channels of %u bits.",
                             static_cast<unsigned>(header.blockAlign),
                             static_cast<unsigned>(header.channels), static_cast<unsigned>(bits));
        return false;
    }
    return true;
}

std::int16_t FloatToPcm16(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double scaled = std::round(value * kFloatScale);
    if (scaled >= static_cast<double>(kInt16Max)) {
        return static_cast<std::int16_t>(kInt16Max);
    }
    if (scaled <= static_cast<double>(kInt16Min)) {
        return static_cast<std::int16_t>(kInt16Min);
    }
    return static_cast<std::int16_t>(scaled);
}

void ToPcm16(SampleKind kind, const std::uint8_t* source, std::size_t samples, std::int16_t* out) {
    const std::uint32_t width = BytesPerSample(kind);
    for (std::size_t i = 0; i < samples; ++i) {
        const std::uint8_t* p = source + i * width;
        switch (kind) {
            case SampleKind::kUnsigned8:
                out[i] = static_cast<std::int16_t>((p[0] - kUnsignedZero) * 256);
                break;
            case SampleKind::kInt16:
                out[i] = static_cast<std::int16_t>(plugin::ReadU16LE(p));
                break;
            case SampleKind::kInt24:
                out[i] = TopBits(ReadS24LE(p), 8);
                break;
            case SampleKind::kInt32:
                out[i] = TopBits(static_cast<std::int32_t>(plugin::ReadU32LE(p)), 16);
                break;
            case SampleKind::kFloat32: {
                const std::uint32_t raw = plugin::ReadU32LE(p);
                float value = 0;
                std::memcpy(&value, &raw, sizeof value);
                out[i] = FloatToPcm16(static_cast<double>(value));
                break;
            }
            case SampleKind::kFloat64: {
                const std::uint64_t raw =
                    plugin::ReadU32LE(p) | (std::uint64_t{plugin::ReadU32LE(p + 4)} << 32);
                double value = 0;
                std::memcpy(&value, &raw, sizeof value);
                out[i] = FloatToPcm16(value);
                break;
            }
        }
    }
}

}  // namespace fogbell::wave
