// Seed inputs of the fuzz targets, made by the same builders as the test fixtures: small, valid
// containers and streams of every kind, from which the fuzzer mutates its way into damaged ones.
// Regression cases may also be written as a recipe: a named seed and a few byte edits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fogbell::fuzz {

using Bytes = std::vector<std::uint8_t>;

struct Seed {
    std::string name;
    Bytes bytes;
};

// The fuzz targets, one per plug-in (sndvoice's where it is built).
const std::vector<std::string>& FuzzTargets();

// The seeds of one target (empty for an unknown one).
std::vector<Seed> SeedsFor(const std::string& target);

// Builds the bytes a recipe text describes, or throws std::runtime_error naming the bad line.
// One command per line; '#' starts a comment:
//   seed TARGET NAME         start from that seed's bytes
//   set OFFSET HEX...        overwrite bytes from OFFSET (hexadecimal byte values)
//   fill OFFSET COUNT BYTE   overwrite COUNT bytes from OFFSET with one value
//   truncate LENGTH          keep the first LENGTH bytes
//   append HEX...            add bytes at the end
// Numbers are decimal or 0x-prefixed hexadecimal. Edits past the end grow the bytes with zeros.
Bytes BuildRecipe(const std::string& recipe);

}  // namespace fogbell::fuzz
