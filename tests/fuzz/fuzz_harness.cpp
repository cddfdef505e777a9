#include "fuzz_harness.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

// libsndfile 1.2.0 leaks the Vorbis codec setup it allocated when a damaged Ogg Vorbis header
// makes its open fail: sf_open returns null and leaves its caller nothing to free. The leak is
// libsndfile's own, so LeakSanitizer is told of it by the allocating function's name only; a
// file a plug-in fails to close still counts.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:vorbis_info_init\n";
}

namespace fogbell::fuzz {
namespace {

std::string MakeScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/fogbell-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        Broken("cannot create a scratch folder from %s", pattern.c_str());
    }
    return pattern;
}

void RemoveScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(ScratchFolder(), error);
}

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

}  // namespace

void Broken(const char* format, ...) {
    std::fputs("fuzz rule broken: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::string made = MakeScratchFolder();
        return made;
    }();
    static const bool registered = std::atexit(RemoveScratchFolder) == 0;
    static_cast<void>(registered);
    return folder;
}

void ClearScratchFolder() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ScratchFolder(), error)) {
        std::filesystem::remove_all(entry.path(), error);
    }
}

std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = ScratchFolder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (size != 0) {
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (!out) {
        Broken("cannot write the scratch file %s", path.c_str());
    }
    return path;
}

std::uint32_t InputHash(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = kFnvOffset;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * kFnvPrime;
    }
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

DecodePass DecodeBlocks(test::DecoderApi& api, int handle, std::uint32_t blockAlign,
                        std::uint32_t maxBlock) {
    DecodePass pass;
    pass.hash = kFnvOffset;
    bool partFrame = false;
    for (std::size_t i = 0; i < kMaxBlocks; ++i) {
        const PcmBlock* block = api.DecodeNext(handle);
        if (block == nullptr) {
            pass.ended = true;
            return pass;
        }
        if (block->size != 0 && block->data == nullptr) {
            Broken("block %zu holds %u bytes at a null address", i, block->size);
        }
        // Only the last block may end in part of a frame (wavvoice passes on a data chunk of
        // any length); a part frame followed by more blocks shifts every later sample.
        if (partFrame) {
            Broken("block %zu follows a block that ends in part of a frame of %u bytes", i,
                   blockAlign);
        }
        partFrame = blockAlign != 0 && block->size % blockAlign != 0;
        if (block->size > maxBlock) {
            Broken("block %zu holds %u bytes, more than one second (%u)", i, block->size, maxBlock);
        }
        for (std::uint32_t b = 0; b < block->size; ++b) {
            pass.hash = (pass.hash ^ block->data[b]) * kFnvPrime;
        }
        pass.bytes += block->size;
    }
    return pass;
}

namespace {

// The rules every format record a decoder hands out keeps (16-bit PCM, consistent figures). A
// source record may also be a WAVE file's own PCM or float samples of any whole byte width.
void CheckPcmFormat(const WAVEFORMATEX& f, const char* which, bool source = false) {
    constexpr std::uint16_t kFloatTag = 3;
    const bool pcm16 = f.wFormatTag == FOGBELL_WAVE_FORMAT_PCM && f.wBitsPerSample == 16;
    const bool wider = source &&
                       (f.wFormatTag == FOGBELL_WAVE_FORMAT_PCM || f.wFormatTag == kFloatTag) &&
                       f.wBitsPerSample >= 8 && f.wBitsPerSample % 8 == 0;
    if ((!pcm16 && !wider) || f.cbSize != 18) {
        Broken("%s format: tag %u, %u bits, cbSize %u", which, f.wFormatTag, f.wBitsPerSample,
               f.cbSize);
    }
    if (f.nChannels == 0 || f.nBlockAlign != f.nChannels * (f.wBitsPerSample / 8u) ||
        f.nAvgBytesPerSec != std::uint64_t{f.nBlockAlign} * f.nSamplesPerSec) {
        Broken("%s format: %u channels, block %u, %u Hz, %u bytes/s", which, f.nChannels,
               f.nBlockAlign, f.nSamplesPerSec, f.nAvgBytesPerSec);
    }
}

}  // namespace

void PlayTwice(test::DecoderApi& api, int handle, bool wholeFormats, bool wholeFrames) {
    const WAVEFORMATEX* source = api.GetFormatSource(handle);
    const WAVEFORMATEX* out = api.GetFormatOut(handle);
    if (source == nullptr || out == nullptr) {
        Broken("an open handle has no format record");
    }
    std::uint32_t blockAlign = 0;
    std::uint32_t maxBlock = 0xFFFFFFFFu;
    if (wholeFormats) {
        CheckPcmFormat(*source, "source", true);
        CheckPcmFormat(*out, "output");
        blockAlign = wholeFrames ? out->nBlockAlign : 0;
        // One second of source PCM converted: the output second, give or take a frame of
        // rounding in the rate change.
        maxBlock = out->nAvgBytesPerSec + 8u * out->nBlockAlign;
    }
    static_cast<void>(api.GetSizeData(handle));
    if (api.GetCurrPos(handle) != 0) {
        Broken("position %u before the first block", api.GetCurrPos(handle));
    }
    const DecodePass first = DecodeBlocks(api, handle, blockAlign, maxBlock);
    if (first.ended && api.DecodeNext(handle) != nullptr) {
        Broken("a block after the end of the stream");
    }
    static_cast<void>(api.GetCurrPos(handle));
    if (api.ResetFile(handle) != 1) {
        Broken("rewinding an open handle failed: %s", api.GetErrorString());
    }
    if (api.GetCurrPos(handle) != 0) {
        Broken("position %u after a rewind", api.GetCurrPos(handle));
    }
    const DecodePass second = DecodeBlocks(api, handle, blockAlign, maxBlock);
    if (first.ended != second.ended || first.bytes != second.bytes || first.hash != second.hash) {
        Broken("the second pass differs from the first: %llu bytes%s against %llu bytes%s",
               static_cast<unsigned long long>(first.bytes), first.ended ? " (ended)" : "",
               static_cast<unsigned long long>(second.bytes), second.ended ? " (ended)" : "");
    }
    if (api.CloseFile(handle) != 1) {
        Broken("closing an open handle failed: %s", api.GetErrorString());
    }
}

}  // namespace fogbell::fuzz
