// Byte-order helpers. Records are in the machine's (little-endian) order; the big-endian
// fields of a format are read and written only through these.
#pragma once

#include <cstdint>
#include <cstring>

namespace fogbell::plugin {

// Bytes b0..b3 give (b0 << 24) | (b1 << 16) | (b2 << 8) | b3.
inline std::uint32_t ReadU32BE(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

// Bytes b0, b1 give (b0 << 8) | b1.
inline std::uint16_t ReadU16BE(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Stores value most significant byte first.
inline void WriteU32BE(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 24);
    p[1] = static_cast<std::uint8_t>(value >> 16);
    p[2] = static_cast<std::uint8_t>(value >> 8);
    p[3] = static_cast<std::uint8_t>(value);
}

// Little-endian fields, read without alignment requirements.
inline std::uint32_t ReadU32LE(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

inline std::uint16_t ReadU16LE(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void WriteU32LE(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

inline void WriteU16LE(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

// A four-character tag compared as bytes in file order ("RIFF", "AIXP", ...).
inline bool HasTag(const std::uint8_t* p, const char (&tag)[5]) {
    return std::memcmp(p, tag, 4) == 0;
}

}  // namespace fogbell::plugin
