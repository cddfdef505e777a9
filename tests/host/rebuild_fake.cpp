// A made-up explorer with only one of the two rebuild entry points, for the replace tests: built
// twice from this source, with fnRebuildFile only (FAKE_REBUILD_ONE, extension RBO) or with
// fnRebuildFiles only (FAKE_REBUILD_MANY, extension RBM). Its container format is its own:
//
//   offset 0  "RBX1"                magic
//   offset 4  u8 count              number of tracks
//   offset 5  count records, each:  u8 room, u8 size, room bytes (the track is the first size)
//
// Tracks are named "0.bin", "1.bin", ... in order. A replacement fits when it is no larger than
// its track's room; a rebuild gives each replaced track a room of its new size.
#define FOGBELL_BUILDING_PLUGIN
#define FOGBELL_EXPLORER_PLUGIN
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "fogbell_explorer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kMagic[] = {'R', 'B', 'X', '1'};
constexpr std::size_t kCountOffset = sizeof kMagic;
constexpr std::size_t kFirstRecord = kCountOffset + 1;
constexpr std::size_t kRecordHead = 2;       // room, size
constexpr std::size_t kLargestTrack = 0xFF;  // sizes and rooms are one byte
constexpr std::size_t kLargestFile = 1 << 20;

struct Track {
    std::size_t data = 0;  // offset of the track's bytes
    std::size_t room = 0;
    std::size_t size = 0;
};

struct Container {
    Bytes bytes;
    std::string path;                // empty when opened from the caller's bytes
    std::uint8_t* memory = nullptr;  // the caller's bytes, written on a replacement
    std::vector<Track> tracks;
    std::vector<std::string> names;
    std::vector<char*> list;
};

// Every entry point holds the lock: the plug-in serialises its own calls.
std::mutex mutex;
std::map<std::int32_t, Container> containers;
std::int32_t nextHandle = 0;
const char* lastError = "OK";
constexpr const char* kNoMemory = "Out of memory.";

template <typename T>
T Failed(const char* text, T value) {
    lastError = text;
    return value;
}

// The whole file, or nothing when it cannot be read or is larger than kLargestFile.
bool ReadWhole(const char* path, Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    return in.good() || in.eof() ? bytes.size() <= kLargestFile : false;
}

bool WriteWhole(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

// Reads the records of container.bytes, every offset checked against its size.
bool Parse(Container& container) {
    const Bytes& b = container.bytes;
    if (b.size() < kFirstRecord || !std::equal(std::begin(kMagic), std::end(kMagic), b.begin())) {
        return false;
    }
    std::size_t at = kFirstRecord;
    for (std::size_t i = 0; i < b[kCountOffset]; ++i) {
        if (b.size() - at < kRecordHead) {
            return false;
        }
        const Track track{at + kRecordHead, b[at], b[at + 1]};
        if (track.size > track.room || b.size() - track.data < track.room) {
            return false;
        }
        container.tracks.push_back(track);
        container.names.push_back(std::to_string(i) + ".bin");
        at = track.data + track.room;
    }
    for (std::string& name : container.names) {
        container.list.push_back(name.data());
    }
    container.list.push_back(nullptr);
    return true;
}

std::int32_t Open(Container container) {
    if (!Parse(container)) {
        return Failed("Not an RBX container.", FOGBELL_NO_HANDLE);
    }
    containers[nextHandle] = std::move(container);
    lastError = "OK";
    return nextHandle++;
}

Container* Find(std::int32_t handle) {
    const auto it = containers.find(handle);
    return it == containers.end() ? nullptr : &it->second;
}

// The index of the named track, or -1.
int TrackIndex(const Container& container, const char* name) {
    for (std::size_t i = 0; name != nullptr && i < container.names.size(); ++i) {
        if (container.names[i] == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The container with each named track holding its file, every replaced track's room its new
// size, written to outPath.
std::int32_t Rebuild(std::int32_t handle, std::uint32_t count, const char* const* names,
                     const char* const* paths, const char* outPath) try {
    const std::lock_guard lock(mutex);
    const Container* container = Find(handle);
    if (container == nullptr || names == nullptr || paths == nullptr || outPath == nullptr) {
        return Failed("Bad handle or arguments.", 0);
    }
    std::vector<Bytes> contents(container->tracks.size());
    std::vector<bool> replaced(container->tracks.size(), false);
    for (std::uint32_t i = 0; i < count; ++i) {
        const int index = TrackIndex(*container, names[i]);
        if (index < 0 || replaced[static_cast<std::size_t>(index)] || paths[i] == nullptr ||
            !ReadWhole(paths[i], contents[static_cast<std::size_t>(index)]) ||
            contents[static_cast<std::size_t>(index)].size() > kLargestTrack) {
            return Failed("Can't rebuild with this file.", 0);
        }
        replaced[static_cast<std::size_t>(index)] = true;
    }
    Bytes out(container->bytes.begin(), container->bytes.begin() + kFirstRecord);
    for (std::size_t i = 0; i < container->tracks.size(); ++i) {
        const Track& track = container->tracks[i];
        const auto* data = container->bytes.data() + track.data;
        const Bytes bytes = replaced[i] ? contents[i] : Bytes(data, data + track.room);
        const std::size_t size = replaced[i] ? bytes.size() : track.size;
        out.push_back(static_cast<std::uint8_t>(bytes.size()));
        out.push_back(static_cast<std::uint8_t>(size));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return WriteWhole(outPath, out) ? 1 : Failed("Can't write the rebuilt file.", 0);
} catch (...) {
    return Failed(kNoMemory, 0);
}

}  // namespace

extern "C" {

int32_t fnLoadFile(const char* path) try {
    const std::lock_guard lock(mutex);
    Container container;
    if (path == nullptr || !ReadWhole(path, container.bytes)) {
        return Failed("Can't read the file.", FOGBELL_NO_HANDLE);
    }
    container.path = path;
    return Open(std::move(container));
} catch (...) {
    return Failed(kNoMemory, FOGBELL_NO_HANDLE);
}

int32_t fnLoadFileMemory(const void* data, uint32_t length) try {
    const std::lock_guard lock(mutex);
    if (data == nullptr || length > kLargestFile) {
        return Failed("NULL memory pointer.", FOGBELL_NO_HANDLE);
    }
    Container container;
    container.memory = static_cast<std::uint8_t*>(const_cast<void*>(data));
    container.bytes.assign(container.memory, container.memory + length);
    return Open(std::move(container));
} catch (...) {
    return Failed(kNoMemory, FOGBELL_NO_HANDLE);
}

int32_t fnCloseFile(int32_t handle) {
    const std::lock_guard lock(mutex);
    return containers.erase(handle) == 1 ? 1 : 0;
}

const char* fnGetErrorString() {
    const std::lock_guard lock(mutex);
    return lastError;
}

const char* const* fnGetSupportExt() {
#if defined(FAKE_REBUILD_ONE)
    static const char* const kExtensions[] = {"RBO", nullptr};
#else
    static const char* const kExtensions[] = {"RBM", nullptr};
#endif
    return kExtensions;
}

char** fnGetListFiles(int32_t handle) {
    const std::lock_guard lock(mutex);
    Container* container = Find(handle);
    return container != nullptr ? container->list.data() : Failed("Bad handle.", nullptr);
}

const void* fnGetFilePointer(int32_t handle, const char* name, uint32_t* length) {
    const std::lock_guard lock(mutex);
    const Container* container = Find(handle);
    const int index = container != nullptr ? TrackIndex(*container, name) : -1;
    if (index < 0) {
        return Failed("No such track.", nullptr);
    }
    const Track& track = container->tracks[static_cast<std::size_t>(index)];
    if (length != nullptr) {
        *length = static_cast<uint32_t>(track.size);
    }
    return container->bytes.data() + track.data;
}

int32_t fnExtractFile(int32_t handle, const char* name, const char* path) try {
    const std::lock_guard lock(mutex);
    const Container* container = Find(handle);
    const int index = container != nullptr ? TrackIndex(*container, name) : -1;
    if (index < 0 || path == nullptr) {
        return Failed("No such track.", 0);
    }
    const Track& track = container->tracks[static_cast<std::size_t>(index)];
    const auto* data = container->bytes.data() + track.data;
    return WriteWhole(path, Bytes(data, data + track.size)) ? 1 : Failed("Can't write.", 0);
} catch (...) {
    return Failed(kNoMemory, 0);
}

int32_t fnGetRoomFile(int32_t handle, const char* name, const char* path, uint32_t* needed,
                      uint32_t* room) try {
    const std::lock_guard lock(mutex);
    const Container* container = Find(handle);
    const int index = container != nullptr ? TrackIndex(*container, name) : -1;
    Bytes bytes;
    if (index < 0 || path == nullptr || needed == nullptr || room == nullptr ||
        !ReadWhole(path, bytes)) {
        return Failed("Can't measure.", 0);
    }
    *needed = static_cast<uint32_t>(bytes.size());
    *room = static_cast<uint32_t>(container->tracks[static_cast<std::size_t>(index)].room);
    return 1;
} catch (...) {
    return Failed(kNoMemory, 0);
}

int32_t fnReplaceFile(int32_t handle, const char* name, const char* path) try {
    const std::lock_guard lock(mutex);
    Container* container = Find(handle);
    const int index = container != nullptr ? TrackIndex(*container, name) : -1;
    Bytes bytes;
    if (index < 0 || path == nullptr || !ReadWhole(path, bytes)) {
        return Failed("Can't replace.", 0);
    }
    const Track& track = container->tracks[static_cast<std::size_t>(index)];
    if (bytes.size() > track.room) {
        return Failed("The file does not fit the track.", 0);
    }
    std::copy(bytes.begin(), bytes.end(), container->bytes.begin() + static_cast<long>(track.data));
    container->bytes[track.data - 1] = static_cast<std::uint8_t>(bytes.size());
    if (container->memory != nullptr) {
        std::memcpy(container->memory, container->bytes.data(), container->bytes.size());
    } else if (!WriteWhole(container->path, container->bytes)) {
        return Failed("Can't write the container.", 0);
    }
    container->tracks[static_cast<std::size_t>(index)].size = bytes.size();
    lastError = "OK";
    return 1;
} catch (...) {
    return Failed(kNoMemory, 0);
}

#if defined(FAKE_REBUILD_ONE)
int32_t fnRebuildFile(int32_t handle, const char* name, const char* path, const char* outPath) {
    return Rebuild(handle, 1, &name, &path, outPath);
}
#else
int32_t fnRebuildFiles(int32_t handle, uint32_t count, const char* const* names,
                       const char* const* paths, const char* outPath) {
    return Rebuild(handle, count, names, paths, outPath);
}
#endif

}  // extern "C"
