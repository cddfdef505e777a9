// Fuzz target of one container explorer (aixvault, pacvault, mvxvault or afsvault, chosen at
// build time by FOGBELL_FUZZ_PLUGIN), loaded from the staging folder by name as the program
// loads it.
//
// Each input is a container. It is opened from memory and listed; every track (up to
// kMaxTracks) is asked for its length, bitrate and pointer, and so are names that are not in
// the list; tracks are extracted to a scratch folder. None of that may change a byte of the
// container, a track pointer must lead inside the container, and an extracted file must hold
// the track's bytes. Then, on a private copy, a track is replaced (where the plug-in can
// replace) with the bytes of another track and with bytes of the input itself: a replacement
// may change the replaced track, but never a byte of another track that holds bytes; two tracks
// replaced at once that the plug-in refuses change nothing. Where the
// plug-in measures and rebuilds: a replacement it says fits goes in whole, and a rebuild into a
// scratch file leaves the open container as it was and gives a container that opens with the
// same names and every other track's bytes unchanged. Where the plug-in packs: a layout it calls
// exact packs the container's own tracks back byte for byte, and the input read as a layout
// text packs or is refused without leaving a file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fogbell_aix_record.h"
#include "fuzz_harness.h"
#include "test_files.h"

namespace {

using fogbell::fuzz::Broken;
using Bytes = std::vector<std::uint8_t>;

std::unique_ptr<fogbell::test::ExplorerApi> g_vault;
bool g_isAix = false;

constexpr std::size_t kMaxTracks = 16;    // tracks asked about per container
constexpr std::size_t kMaxExtracted = 4;  // tracks written to files per container

// A track as the explorer describes it, by offset into the container.
struct Track {
    std::string name;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    bool located = false;
};

std::vector<std::string> ListNames(int handle) {
    std::vector<std::string> names;
    char** list = g_vault->GetListFiles(handle);
    if (list == nullptr) {
        return names;
    }
    for (std::size_t i = 0; list[i] != nullptr && i < kMaxTracks; ++i) {
        names.emplace_back(list[i]);
    }
    return names;
}

// Asks everything about one name and checks the answers against the container's bytes.
Track Describe(int handle, const std::string& name, const std::uint8_t* base, std::size_t size) {
    Track track;
    track.name = name;
    const std::uint32_t length = g_vault->GetLengthFile(handle, name.c_str());
    if (g_vault->GetBitrate != nullptr) {
        static_cast<void>(g_vault->GetBitrate(handle, name.c_str()));
    }
    std::uint32_t pointerLength = 0xA5A5A5A5u;
    const void* pointer = g_vault->GetFilePointer(handle, name.c_str(), &pointerLength);
    const void* again = g_vault->GetFilePointer(handle, name.c_str(), nullptr);
    if (pointer != again) {
        Broken("%s: the track pointer depends on the length argument", name.c_str());
    }
    if (pointer == nullptr) {
        return track;
    }
    if (pointerLength != length) {
        Broken("%s: fnGetFilePointer gives length %u, fnGetLengthFile %u", name.c_str(),
               pointerLength, length);
    }
    if (g_isAix) {
        // The track record: it must describe this very container and no more of it.
        const auto* record = static_cast<const AIXVAULTFILE*>(pointer);
        if (record->base != base || record->containerLength > size) {
            Broken("%s: the track record names %u bytes at another place", name.c_str(),
                   record->containerLength);
        }
        return track;
    }
    const auto* first = static_cast<const std::uint8_t*>(pointer);
    if (first < base || first > base + size ||
        length > static_cast<std::size_t>(base + size - first)) {
        Broken("%s: track of %u bytes at %td lies outside the container of %zu bytes", name.c_str(),
               length, first - base, size);
    }
    track.offset = static_cast<std::uint64_t>(first - base);
    track.length = length;
    track.located = true;
    return track;
}

// Names that no container lists, or that only look like listed ones.
std::vector<std::string> StrangeNames(const std::vector<std::string>& listed) {
    std::vector<std::string> names{"",
                                   "Track 4294967295.aixf",
                                   "Track 99999999999999999999.wav",
                                   "Track -1.wav",
                                   "no such track",
                                   std::string(600, 'A')};
    if (!listed.empty()) {
        std::string upper = listed.front();
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        });
        names.push_back(upper);
        names.push_back(listed.front() + "x");
        names.push_back(listed.back().substr(0, listed.back().size() / 2));
    }
    return names;
}

// Extracts a track and checks the file against the track's bytes.
void Extract(int handle, const Track& track, std::size_t index, const std::uint8_t* base) {
    const std::string path = fogbell::fuzz::ScratchFolder() + "/t" + std::to_string(index) + ".bin";
    if (g_vault->ExtractFile(handle, track.name.c_str(), path.c_str()) != 1 || !track.located) {
        return;
    }
    // pacvault writes "t<i>.wav"; mvxvault and afsvault the path as given.
    const std::string written = std::strcmp(FOGBELL_FUZZ_PLUGIN, "pacvault") == 0
                                    ? path.substr(0, path.size() - 4) + ".wav"
                                    : path;
    const Bytes file = fogbell::test::ReadFile(written);
    if (track.length == 0 && std::strcmp(FOGBELL_FUZZ_PLUGIN, "mvxvault") == 0) {
        // mvxvault writes a short text in place of an empty track.
        if (file != fogbell::test::BytesOf("Empty Length")) {
            Broken("%s: the file of an empty track does not say so", track.name.c_str());
        }
        return;
    }
    if (file.size() != track.length ||
        (track.length != 0 && std::memcmp(file.data(), base + track.offset, track.length) != 0)) {
        Broken("%s: the extracted file (%zu bytes) differs from the track (%u bytes)",
               track.name.c_str(), file.size(), track.length);
    }
}

// True when two names find the same track: mvxvault and afsvault look names up without regard
// to ASCII case, so "d" also finds a track listed as "D" that comes first.
bool SameLookup(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto fold = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        return fold(x) == fold(y);
    });
}

// True when a write to the track that starts at `replaced` may legitimately change bytes of
// `other`: only a track that begins before the replaced one and reaches into it. (Two tracks
// that start at the same byte are both refused when both hold bytes.)
bool MayShare(const Track& replaced, const Track& other) {
    return other.offset < replaced.offset && other.offset + other.length > replaced.offset;
}

// After writing `written` bytes over `replaced`, no other located track that holds bytes and
// does not reach into it may have changed inside the written window [offset, offset + written).
// (Outside the window a replacement updates the container's own tables: its size field, dates.)
void CheckNeighbours(const Bytes& before, const Bytes& after, const std::vector<Track>& tracks,
                     const Track& replaced, std::uint64_t written, const char* how) {
    const std::uint64_t windowEnd =
        std::min<std::uint64_t>(replaced.offset + written, after.size());
    for (const Track& other : tracks) {
        if (!other.located || other.length == 0 || &other == &replaced ||
            SameLookup(other.name, replaced.name) || MayShare(replaced, other)) {
            continue;
        }
        const std::uint64_t from = std::max(other.offset, replaced.offset);
        const std::uint64_t to = std::min(other.offset + other.length, windowEnd);
        if (from >= to) {
            continue;
        }
        const auto first = static_cast<std::ptrdiff_t>(from);
        const auto last = static_cast<std::ptrdiff_t>(to);
        if (!std::equal(before.begin() + first, before.begin() + last, after.begin() + first)) {
            Broken("replacing %s (%u bytes at %llu) %s changed %s (%u bytes at %llu)",
                   replaced.name.c_str(), replaced.length,
                   static_cast<unsigned long long>(replaced.offset), how, other.name.c_str(),
                   other.length, static_cast<unsigned long long>(other.offset));
        }
    }
}

// Replaces one track of a private copy twice (from memory, then from a file) and checks the
// neighbours after each.
void ReplaceInCopy(const std::uint8_t* data, std::size_t size, const std::vector<Track>& tracks) {
    if (g_vault->ReplaceFileMemory == nullptr || tracks.empty()) {
        return;
    }
    Bytes copy(data, data + size);
    const int handle = g_vault->LoadFileMemory(copy.data(), static_cast<std::uint32_t>(size));
    if (handle < 0) {
        Broken("a private copy of a container that opened does not open: %s",
               g_vault->GetErrorString());
    }
    const std::uint32_t pick = fogbell::fuzz::InputHash(data, size);
    const Track& replaced = tracks[pick % tracks.size()];
    const Track& donor = tracks[(pick / 7 + 1) % tracks.size()];

    // The other track's bytes (a valid stream in every seed), then a slice of the input itself.
    Bytes replacement;
    if (donor.located) {
        replacement.assign(data + donor.offset, data + donor.offset + donor.length);
    }
    if (!replaced.located) {
        g_vault->CloseFile(handle);
        return;  // where it lies is unknown, so its neighbours cannot be told apart
    }
    Bytes before = copy;
    if (g_vault->ReplaceFileMemory(handle, replaced.name.c_str(), replacement.data(),
                                   static_cast<std::uint32_t>(replacement.size())) == 1) {
        CheckNeighbours(before, copy, tracks, replaced, replacement.size(), "from memory");
    }
    const std::size_t sliceStart = size / 3;
    const std::string path =
        fogbell::fuzz::WriteScratchFile("replacement.bin", data + sliceStart, size - sliceStart);
    before = copy;
    if (g_vault->ReplaceFile(handle, replaced.name.c_str(), path.c_str()) == 1) {
        CheckNeighbours(before, copy, tracks, replaced, size - sliceStart, "from a file");
    }
    // The container must still describe itself sensibly after both.
    for (const std::string& name : ListNames(handle)) {
        Describe(handle, name, copy.data(), copy.size());
    }
    if (g_vault->CloseFile(handle) != 1) {
        Broken("closing the copy failed: %s", g_vault->GetErrorString());
    }
}

// Replaces the first two tracks of a private copy at once with a slice of the input: when the
// plug-in refuses, not a byte may have changed.
void ReplaceTwoInCopy(const std::uint8_t* data, std::size_t size,
                      const std::vector<Track>& tracks) {
    if (g_vault->ReplaceFiles == nullptr || tracks.size() < 2 || size < 2) {
        return;
    }
    Bytes copy(data, data + size);
    const int handle = g_vault->LoadFileMemory(copy.data(), static_cast<std::uint32_t>(size));
    if (handle < 0) {
        return;
    }
    const std::size_t sliceStart = size / 2;
    const std::string path =
        fogbell::fuzz::WriteScratchFile("batch.bin", data + sliceStart, size - sliceStart);
    const char* names[] = {tracks[0].name.c_str(), tracks[1].name.c_str()};
    const char* paths[] = {path.c_str(), path.c_str()};
    if (g_vault->ReplaceFiles(handle, 2, names, paths) != 1 &&
        std::memcmp(copy.data(), data, size) != 0) {
        Broken("a refused fnReplaceFiles changed the container: %s", g_vault->GetErrorString());
    }
    g_vault->CloseFile(handle);
}

// Rebuilds a private copy with its first two tracks replaced at once by a slice of the input:
// the copy must not change, a refusal leaves no output, and a result must open again.
void RebuildTwoFromCopy(const std::uint8_t* data, std::size_t size,
                        const std::vector<Track>& tracks) {
    if (g_vault->RebuildFiles == nullptr || tracks.size() < 2 || size < 2) {
        return;
    }
    Bytes copy(data, data + size);
    const int handle = g_vault->LoadFileMemory(copy.data(), static_cast<std::uint32_t>(size));
    if (handle < 0) {
        return;
    }
    const std::string path =
        fogbell::fuzz::WriteScratchFile("batch.bin", data + size / 2, size - size / 2);
    const std::string out = fogbell::fuzz::ScratchFolder() + "/rebuilt-two.bin";
    const char* names[] = {tracks[0].name.c_str(), tracks[1].name.c_str()};
    const char* paths[] = {path.c_str(), path.c_str()};
    const int rebuilt = g_vault->RebuildFiles(handle, 2, names, paths, out.c_str());
    g_vault->CloseFile(handle);
    if (copy != Bytes(data, data + size)) {
        Broken("rebuilding two tracks changed the open container");
    }
    if (rebuilt != 1) {
        if (fogbell::test::FileExists(out)) {
            Broken("a failed rebuild of two tracks left its output: %s", g_vault->GetErrorString());
        }
        return;
    }
    Bytes result = fogbell::test::ReadFile(out);
    const int reopened =
        g_vault->LoadFileMemory(result.data(), static_cast<std::uint32_t>(result.size()));
    if (reopened < 0) {
        Broken("the container rebuilt with two tracks does not open: %s",
               g_vault->GetErrorString());
    }
    g_vault->CloseFile(reopened);
    std::remove(out.c_str());
}

// Measures a slice of the input as a replacement for a track of a private copy: when the
// plug-in says it fits, replacing it must succeed in full (no cut, "OK").
void MeasureAndReplace(const std::uint8_t* data, std::size_t size, const Track& replaced,
                       const std::string& path) {
    Bytes copy(data, data + size);
    const int handle = g_vault->LoadFileMemory(copy.data(), static_cast<std::uint32_t>(size));
    if (handle < 0) {
        return;
    }
    std::uint32_t needed = 0, room = 0;
    if (g_vault->GetRoomFile(handle, replaced.name.c_str(), path.c_str(), &needed, &room) == 1 &&
        needed <= room) {
        if (g_vault->ReplaceFile(handle, replaced.name.c_str(), path.c_str()) != 1 ||
            std::strcmp(g_vault->GetErrorString(), "OK") != 0) {
            Broken("%s: a replacement of %u bytes said to fit a room of %u was not taken whole: %s",
                   replaced.name.c_str(), needed, room, g_vault->GetErrorString());
        }
    }
    g_vault->CloseFile(handle);
}

// Rebuilds a private copy with one track replaced by the file at path into a scratch file and
// opens the result: the copy must not change, the names must stay (but the replaced track's,
// which an AFS without a name table derives from its bytes), and every other located track
// must hold the same bytes.
void RebuildCopy(const std::uint8_t* data, std::size_t size, const std::vector<Track>& tracks,
                 const Track& replaced, const std::string& path) {
    Bytes copy(data, data + size);
    const int handle = g_vault->LoadFileMemory(copy.data(), static_cast<std::uint32_t>(size));
    if (handle < 0) {
        return;
    }
    const std::vector<std::string> names = ListNames(handle);
    const std::string out = fogbell::fuzz::ScratchFolder() + "/rebuilt.bin";
    const int rebuilt =
        g_vault->RebuildFile(handle, replaced.name.c_str(), path.c_str(), out.c_str());
    g_vault->CloseFile(handle);
    if (copy != Bytes(data, data + size)) {
        Broken("rebuilding %s changed the open container", replaced.name.c_str());
    }
    if (rebuilt != 1) {
        if (fogbell::test::FileExists(out)) {
            Broken("a failed rebuild left its output: %s", g_vault->GetErrorString());
        }
        return;
    }
    Bytes result = fogbell::test::ReadFile(out);
    const int reopened =
        g_vault->LoadFileMemory(result.data(), static_cast<std::uint32_t>(result.size()));
    if (reopened < 0) {
        Broken("the rebuilt container does not open: %s", g_vault->GetErrorString());
    }
    const std::vector<std::string> now = ListNames(reopened);
    if (now.size() != names.size()) {
        Broken("the rebuilt container lists %zu tracks, the old one %zu", now.size(), names.size());
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (now[i] != names[i] && !SameLookup(names[i], replaced.name)) {
            Broken("track %zu was %s and is %s after the rebuild", i, names[i].c_str(),
                   now[i].c_str());
        }
    }
    for (const Track& other : tracks) {
        if (!other.located || SameLookup(other.name, replaced.name)) {
            continue;
        }
        std::uint32_t length = 0;
        const auto* bytes = static_cast<const std::uint8_t*>(
            g_vault->GetFilePointer(reopened, other.name.c_str(), &length));
        if (bytes == nullptr || length != other.length ||
            (length != 0 && std::memcmp(bytes, data + other.offset, length) != 0)) {
            Broken("%s changed in the rebuilt container", other.name.c_str());
        }
    }
    g_vault->CloseFile(reopened);
}

// The rebuild checks, with a slice of the input as the replacement.
void RebuildChecks(const std::uint8_t* data, std::size_t size, const std::vector<Track>& tracks) {
    if (g_vault->RebuildFile == nullptr || g_vault->GetRoomFile == nullptr || tracks.empty() ||
        size == 0) {
        return;
    }
    const std::uint32_t pick = fogbell::fuzz::InputHash(data, size);
    const Track& replaced = tracks[(pick / 3) % tracks.size()];
    const std::size_t sliceStart = size / 4;
    const std::string path =
        fogbell::fuzz::WriteScratchFile("rebuild.bin", data + sliceStart, size - sliceStart);
    MeasureAndReplace(data, size, replaced, path);
    RebuildCopy(data, size, tracks, replaced, path);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_vault = std::make_unique<fogbell::test::ExplorerApi>(FOGBELL_FUZZ_PLUGIN);
    g_isAix = std::strcmp(FOGBELL_FUZZ_PLUGIN, "aixvault") == 0;
    fogbell::fuzz::ScratchFolder();
    return 0;
}

// Packs the listed tracks' files with the container's own layout (which must give the container
// back when it says "exact") and with the input itself as the layout text.
void PackChecks(int handle, const std::uint8_t* data, std::size_t size,
                const std::vector<std::string>& names, const std::vector<Track>& tracks) {
    if (g_vault->GetLayout == nullptr || g_vault->PackFiles == nullptr || tracks.empty()) {
        return;
    }
    const char* given = g_vault->GetLayout(handle);
    const std::string layout = given == nullptr ? "" : given;
    std::vector<std::string> paths;
    std::vector<const char*> pointers;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        paths.push_back(fogbell::fuzz::ScratchFolder() + "/m" + std::to_string(i));
        const Bytes bytes = tracks[i].located ? Bytes(data + tracks[i].offset,
                                                      data + tracks[i].offset + tracks[i].length)
                                              : Bytes{};
        fogbell::test::WriteFile(paths.back(), bytes);
        pointers.push_back(paths.back().c_str());
    }
    const std::string out = fogbell::fuzz::ScratchFolder() + "/packed.bin";
    const auto count = static_cast<std::uint32_t>(pointers.size());
    // Every track by a name of its own, each located: the files are the members.
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    const bool distinct = std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
    const bool whole =
        std::all_of(tracks.begin(), tracks.end(), [](const Track& t) { return t.located; });
    // Every member listed: the layout writes one {"offset": ...} object per member.
    std::size_t members = 0;
    for (std::size_t at = 0; (at = layout.find("{\"offset\"", at)) != std::string::npos; ++at) {
        ++members;
    }
    if (layout.find("\"exact\": true") != std::string::npos && names.size() < kMaxTracks &&
        members == names.size() && distinct && whole) {
        if (g_vault->PackFiles(layout.c_str(), pointers.data(), count, out.c_str()) != 1) {
            Broken("an exact layout does not pack: %s", g_vault->GetErrorString());
        }
        if (fogbell::test::ReadFile(out) != Bytes(data, data + size)) {
            Broken("an exact layout packs a container that differs from the original");
        }
    }
    std::remove(out.c_str());
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (g_vault->PackFiles(text.c_str(), pointers.data(), count, out.c_str()) != 1 &&
        fogbell::test::FileExists(out)) {
        Broken("a refused pack left a file behind");
    }
}

// The damage the explorer reports must match what it hands out: a track it calls damaged has no
// bytes to hand out (AIX tracks excepted: their record is handed out), and a whole list of
// distinct names holds exactly the counted damaged tracks.
void CheckDamage(int handle, const std::vector<Track>& tracks) {
    if (g_vault->GetDamagedCount == nullptr || g_vault->IsTrackDamaged == nullptr) {
        return;
    }
    const std::uint32_t counted = g_vault->GetDamagedCount(handle);
    std::uint32_t marked = 0;
    bool distinct = true;
    for (const Track& track : tracks) {
        const bool damaged = g_vault->IsTrackDamaged(handle, track.name.c_str()) == 1;
        if (damaged && track.located && !g_isAix) {
            Broken("%s: called damaged, yet its bytes are handed out", track.name.c_str());
        }
        marked += damaged ? 1u : 0u;
        distinct = distinct && std::count_if(tracks.begin(), tracks.end(), [&](const Track& t) {
                                   return SameLookup(t.name, track.name);
                               }) == 1;
    }
    if (tracks.size() < kMaxTracks && distinct && marked != counted) {
        Broken("%u damaged tracks counted, %u marked", counted, marked);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFFFFFFu) {
        return 0;
    }
    // An exact-size copy of our own, so that any read past the container is caught.
    Bytes bytes(data, data + size);
    const int handle = g_vault->LoadFileMemory(bytes.data(), static_cast<std::uint32_t>(size));
    if (handle < 0) {
        return 0;
    }
    const std::vector<std::string> names = ListNames(handle);
    std::vector<Track> tracks;
    for (const std::string& name : names) {
        tracks.push_back(Describe(handle, name, bytes.data(), size));
    }
    CheckDamage(handle, tracks);
    for (const std::string& name : StrangeNames(names)) {
        const Track strange = Describe(handle, name, bytes.data(), size);
        Extract(handle, strange, 99, bytes.data());
    }
    for (std::size_t i = 0; i < tracks.size() && i < kMaxExtracted; ++i) {
        Extract(handle, tracks[i], i, bytes.data());
    }
    fogbell::fuzz::ClearScratchFolder();
    PackChecks(handle, bytes.data(), size, names, tracks);
    fogbell::fuzz::ClearScratchFolder();
    if (g_vault->CloseFile(handle) != 1) {
        Broken("closing an open container failed: %s", g_vault->GetErrorString());
    }
    if (size != 0 && std::memcmp(bytes.data(), data, size) != 0) {
        Broken("listing or extracting changed the container's bytes");
    }
    ReplaceInCopy(data, size, tracks);
    ReplaceTwoInCopy(data, size, tracks);
    RebuildTwoFromCopy(data, size, tracks);
    fogbell::fuzz::ClearScratchFolder();
    RebuildChecks(data, size, tracks);
    fogbell::fuzz::ClearScratchFolder();
    return 0;
}
