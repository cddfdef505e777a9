// What every fuzz target shares: the libFuzzer entry points it defines, the way a broken rule
// is reported (abort with a message, which libFuzzer and the replay driver both catch), a
// private scratch folder, and the decoding walk of the decoder targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin_api.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fogbell::fuzz {

// Prints the broken rule and aborts: a finding, not an ordinary failure of the input.
[[noreturn]] void Broken(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A folder of this process's own under the temporary folder, removed at exit.
const std::string& ScratchFolder();
// Removes everything inside the scratch folder.
void ClearScratchFolder();
// Writes bytes to a file in the scratch folder and returns its path.
std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

// At most this many blocks are decoded per pass, so that a stream whose header claims hours
// still runs in milliseconds; the first blocks reach every branch of a decoder.
inline constexpr std::size_t kMaxBlocks = 6;

// What one pass over a stream gave.
struct DecodePass {
    std::uint64_t hash = 0;   // of every byte of every block
    std::uint64_t bytes = 0;  // total
    bool ended = false;       // fnDecodeNext returned null before kMaxBlocks
};

// Decodes up to kMaxBlocks blocks of an open handle, touching every byte handed out and
// checking that each block but the last is whole frames of the output format (blockAlign
// bytes each; 0: no check) and that none exceeds maxBlock bytes.
DecodePass DecodeBlocks(test::DecoderApi& api, int handle, std::uint32_t blockAlign,
                        std::uint32_t maxBlock);

// The walk a player makes over an open handle: formats, size, every block to the end, then a
// rewind and the same blocks again. wholeFormats: the handle's formats obey the 16-bit PCM
// rules (false for aixvoice, whose block alignment comes from the stream); wholeFrames: every
// block is whole frames of the output format. Closes the handle.
void PlayTwice(test::DecoderApi& api, int handle, bool wholeFormats, bool wholeFrames);

// A small hash of the input, to pick tracks and formats deterministically.
std::uint32_t InputHash(const std::uint8_t* data, std::size_t size);

}  // namespace fogbell::fuzz
