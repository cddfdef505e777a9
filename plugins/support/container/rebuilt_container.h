// A container rebuilt as a whole: its bytes as a row of pieces, and the writing of that row to a
// new file that is flushed to disk before it counts as written.
//
// Explorers lay out a rebuilt container as pure functions over the open container's bytes (each
// archive module's Rebuild): the tables they recompute are pieces of their own, every member
// they keep is a piece that borrows the open container's bytes, and padding is a run of zeros.
// Nothing is copied until the pieces are written, so a rebuild of a large archive needs no
// second copy of it in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mapped_file.h"

namespace fogbell::plugin {

// Sizes and offsets of every container format are 32-bit: a rebuilt container ends at or
// before this many bytes.
inline constexpr std::uint64_t kLargestContainer = 0xFFFFFFFFu;

// The round-up of value to a multiple of alignment (a power of two, at least 1).
inline std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// A member's bytes in a rebuild that may give several members new bytes at once.
struct NewMember {
    const std::uint8_t* data = nullptr;  // read when the rebuild is written: valid until then
    std::uint32_t length = 0;
    bool replaced = false;  // false: the member keeps the bytes it has
};
// One per member of the container, in table order.
using NewMembers = std::vector<NewMember>;

// The NewMembers of a rebuild that gives only the member at index (below count) new bytes.
inline NewMembers OneNewMember(std::size_t count, std::size_t index, const std::uint8_t* data,
                               std::uint32_t length) {
    NewMembers members(count);
    members[index] = NewMember{data, length, true};
    return members;
}

class RebuiltContainer {
  public:
    // Appends bytes of its own (tables, rewritten headers).
    void AddOwned(std::vector<std::uint8_t> bytes);
    // Appends size bytes read from data when written; data must stay valid and unchanged until
    // then (the open container's bytes, the replacement file's view).
    void AddBorrowed(const std::uint8_t* data, std::uint64_t size);
    // Appends the size bytes of the file at path, read when written: one file open at a time,
    // so that a pack of many files needs neither a descriptor nor a mapping per file. Writing
    // fails when the file no longer holds size bytes.
    void AddFile(std::string path, std::uint64_t size);
    // Appends size zero bytes.
    void AddZeros(std::uint64_t size);
    // Appends zeros up to the next multiple of alignment.
    void PadTo(std::uint32_t alignment) { AddZeros(AlignUp(length_, alignment) - length_); }

    // Bytes appended so far: the offset of the next piece.
    std::uint64_t Length() const { return length_; }
    // Every byte in order (for tests and small containers; a file piece reads as zeros).
    std::vector<std::uint8_t> Flatten() const;

    struct Piece {
        std::vector<std::uint8_t> own;           // the bytes when the piece has its own
        const std::uint8_t* borrowed = nullptr;  // else the bytes it borrows
        std::string file;                        // else the file it reads; empty: zeros
        std::uint64_t size = 0;
    };
    const std::vector<Piece>& Pieces() const { return pieces_; }

  private:
    std::vector<Piece> pieces_;
    std::uint64_t length_ = 0;
};

// Writes the container to a new file at path (an existing file is replaced), flushes it to disk
// and closes it. False with the plug-in's error text set ("Can't create %s file.", "Can't write
// %s file."), and the file removed, when any step failed.
// Borrowed pieces that lie in source's view (the open container's mapped file, or null) are
// written a window at a time and the window's pages let go behind the writing, so that a rebuild
// of a large archive keeps little of it resident.
bool WriteRebuiltContainer(const char* path, const RebuiltContainer& container,
                           const MappedFile* source = nullptr);

}  // namespace fogbell::plugin
