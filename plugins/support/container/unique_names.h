// The names an explorer lists a container's tracks under when the container stores names of its
// own, and the index that finds a track by such a name.
//
// Every track is listed under a name of its own, unique within the container without regard to
// ASCII case (lookups ignore case). A track keeps its stored name when that name is usable (not
// empty and not spaces only) and no track before it stores the same name. Every other track is
// given a new name, in track order: a repeated name gets " (N)" before its extension (the part
// from its last dot, unless that dot starts the name): "dup (2).adx", N from 2 up to the first
// value no listed name holds; an unusable name gets the explorer's stand-in, made unique the
// same way. Tracks keeping their stored names are named first, then repeated names, then
// stand-ins: a renamed track never takes the name a later track stores, and a stand-in (which
// may follow the track's bytes) never changes another track's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "text/ascii_text.h"
#include "text/file_names.h"

namespace fogbell::plugin {

// Characters of a listed name: a stored name of up to 32 characters with " (N)" added.
inline constexpr std::size_t kListedNameCapacity = 64;

// FNV-1a of the name with ASCII letters in lower case, its high bits folded into its low ones.
std::uint64_t FoldedNameHash(const char* name);
// A stored name that can stand for its track: not empty and not spaces only.
bool UsableStoredName(const char* name);

// The listed names of one container, and their index: an open-addressed table hashed on the
// folded name, at least twice as many slots as tracks. A slot holds the track number and the
// high half of its name's hash, so that a probe compares names only when their hashes agree:
// building and lookups stay fast in containers of a million tracks. Only the names that differ
// from the stored ones are kept. Stored is a callable giving track i's stored name, a
// NUL-terminated string that stays in place while the names are used.
class UniqueNames {
  public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // Lists count tracks (rule above); standIn(i) gives the std::string stand-in of track i.
    template <class Stored, class StandIn>
    void Assign(std::size_t count, const Stored& stored, const StandIn& standIn) {
        Reset(count);
        std::vector<std::size_t> repeated;
        std::vector<std::size_t> unusable;
        for (std::size_t i = 0; i < count; ++i) {
            if (!UsableStoredName(stored(i))) {
                unusable.push_back(i);
            } else if (!Insert(i, stored)) {
                repeated.push_back(i);
            }
        }
        // The next number to try for each base name, folded: a thousand repeats of one name
        // cost a thousand tries, not half a million.
        std::unordered_map<std::string, std::uint64_t> nextNumber;
        const auto rename = [&](std::size_t i, const std::string& base) {
            constexpr std::uint64_t kFirstNumber = 2;  // "dup.adx" is the first, "dup (2).adx" next
            std::string& name = renamed_[i];
            name = base;
            std::uint64_t& number =
                nextNumber.try_emplace(ToLowerAscii(base), kFirstNumber).first->second;
            while (!Insert(i, stored)) {
                name = NumberedName(base, number++);
            }
        };
        for (const std::size_t i : repeated) {
            rename(i, stored(i));
        }
        for (const std::size_t i : unusable) {
            rename(i, standIn(i));
        }
    }

    // The name track i is listed under; stored is its stored name.
    const char* Name(std::size_t i, const char* stored) const {
        if (renamed_.empty()) {
            return stored;
        }
        const auto found = renamed_.find(i);
        return found == renamed_.end() ? stored : found->second.c_str();
    }

    // The track listed under name without regard to ASCII case, or kNone.
    template <class Stored>
    std::size_t Find(const char* name, const Stored& stored) const {
        if (slots_.empty()) {
            return kNone;
        }
        const std::uint64_t hash = FoldedNameHash(name);
        for (std::size_t slot = hash & Mask(); slots_[slot] != 0; slot = (slot + 1) & Mask()) {
            const std::size_t track = TrackOf(slots_[slot]);
            if ((slots_[slot] & kTagBits) == (hash & kTagBits) &&
                EqualNoCaseAscii(Name(track, stored(track)), name)) {
                return track;
            }
        }
        return kNone;
    }

  private:
    static constexpr std::uint64_t kTagBits = 0xFFFFFFFF00000000ull;  // the hash's high half
    static constexpr std::uint64_t kTrackBits = 0xFFFFFFFFull;        // track number + 1

    static std::size_t TrackOf(std::uint64_t slot) {
        return static_cast<std::size_t>((slot & kTrackBits) - 1);
    }
    std::size_t Mask() const { return slots_.size() - 1; }

    // Empties the names and the index, with room for count tracks.
    void Reset(std::size_t count);

    // Indexes track i under its listed name; false (nothing added) when a track holds the name.
    template <class Stored>
    bool Insert(std::size_t i, const Stored& stored) {
        const char* name = Name(i, stored(i));
        const std::uint64_t hash = FoldedNameHash(name);
        std::size_t slot = hash & Mask();
        for (; slots_[slot] != 0; slot = (slot + 1) & Mask()) {
            const std::size_t track = TrackOf(slots_[slot]);
            if ((slots_[slot] & kTagBits) == (hash & kTagBits) &&
                EqualNoCaseAscii(Name(track, stored(track)), name)) {
                return false;
            }
        }
        // Track numbers fit: a table of 8 bytes a track lies inside 2^32 bytes.
        slots_[slot] = (hash & kTagBits) | (i + 1);
        return true;
    }

    std::vector<std::uint64_t> slots_;                      // 0 for a free slot
    std::unordered_map<std::size_t, std::string> renamed_;  // listed names not stored ones
};

}  // namespace fogbell::plugin
