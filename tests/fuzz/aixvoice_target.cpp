// Fuzz target of aixvoice, fed the way the program feeds it: each input is an AIX container,
// opened from memory by aixvault (loaded by name as the program loads it); every track's record
// from fnGetFilePointer goes to aixvoice's fnLoadFileMemory with the length that came with it,
// and is played to the end, rewound and played again. A container that begins with "AIXF" is
// also handed to aixvoice whole.
//
// With FOGBELL_FUZZ_AIXVOICE_RAW the input bytes also go to aixvoice as they are, whatever
// they begin with, so that bytes forged to look like a track record are tried as well.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_harness.h"

namespace {

using fogbell::fuzz::Broken;

std::unique_ptr<fogbell::test::ExplorerApi> g_vault;
std::unique_ptr<fogbell::test::DecoderApi> g_voice;

// Tracks played per container: enough for every branch, few enough to stay fast.
constexpr std::size_t kMaxTracks = 4;

void Play(const void* data, std::uint32_t size) {
    const int handle = g_voice->LoadFileMemory(-1, -1, data, size);
    if (handle >= 0) {
        fogbell::fuzz::PlayTwice(*g_voice, handle, false, false);
    }
}

void PlayRecords(std::uint8_t* bytes, std::uint32_t size) {
    const int container = g_vault->LoadFileMemory(bytes, size);
    if (container < 0) {
        return;
    }
    std::vector<std::string> names;
    if (char** list = g_vault->GetListFiles(container)) {
        for (std::size_t i = 0; list[i] != nullptr && i < kMaxTracks; ++i) {
            names.emplace_back(list[i]);
        }
    }
    for (const std::string& name : names) {
        std::uint32_t length = 0;
        const void* record = g_vault->GetFilePointer(container, name.c_str(), &length);
        if (record != nullptr) {
            Play(record, length);
        }
    }
    if (g_vault->CloseFile(container) != 1) {
        Broken("closing an open container failed: %s", g_vault->GetErrorString());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_vault = std::make_unique<fogbell::test::ExplorerApi>("aixvault");
    g_voice = std::make_unique<fogbell::test::DecoderApi>("aixvoice");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(size);
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(bytes.get(), data, size);
    }
    const std::vector<std::uint8_t> before(data, data + size);
    PlayRecords(bytes.get(), length);
    if (size >= 4 && std::memcmp(bytes.get(), "AIXF", 4) == 0) {
        Play(bytes.get(), length);
    }
#if defined(FOGBELL_FUZZ_AIXVOICE_RAW)
    if (size == 0 || std::memcmp(bytes.get(), "AIXF", size < 4 ? size : 4) != 0) {
        Play(bytes.get(), length);
    }
#endif
    if (size != 0 && std::memcmp(before.data(), bytes.get(), size) != 0) {
        Broken("listing or playing changed the container's bytes");
    }
    return 0;
}
