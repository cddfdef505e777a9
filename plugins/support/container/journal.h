// Crash-safe writes into a mapped container file, and the undoing of writes that a crash cut
// short.
//
// A replacement rewrites a few byte ranges of a container in place, through its mapping. So
// that a crash or a power loss half-way never leaves the container half old and half new, the
// bytes about to change are first saved in a journal beside the container (the container's
// path + kJournalSuffix), and the journal and its folder are flushed to disk before the first
// byte changes. After the writes the mapping is flushed and the journal removed. When a
// container is opened while its journal is still there, RecoverJournal puts the saved bytes
// back first: the container is then byte for byte as it was before the interrupted write.
// The journal goes to disk straight from the view and is read back a chunk at a time, so memory
// never holds it whole, whatever the size of the ranges.
//
// Journal layout (all numbers little-endian):
//   offset  width  field
//   0       8      magic "FBJRNL" 01 00
//   8       8      the container's length when the journal was written
//   16      4      range count R
//   20      ...    R ranges, each: offset (u64), length L (u32), then the L saved bytes
//   end-8   8      FNV-1a 64-bit checksum of every byte before it
// A journal is complete when it ends right after the checksum of its last range and the
// checksum holds. An incomplete journal was cut short while it was written, before any byte of
// the container changed: it is simply removed.
//
// Use (every explorer that replaces in place):
//   ContainerWrite write(file, base, length);      // file: null for a caller's memory
//   if (!write.Begin({{offset, offset + n}, ...})) return failure;   // text set, nothing written
//   ... write the declared ranges through base ...
//   write.Commit();                                 // flush, remove the journal
// A container handed in as memory (fnLoadFileMemory) has no file: Begin only checks the ranges
// (inside the container, and writable memory: a container nested in a read-only file lies in
// a read-only view) and the bytes are written directly, as the caller owns them. When the
// caller says where that memory lies in a mapped file (EnclosingFile), the ranges are also
// journalled in that file's journal, under their offsets in the file, and flushed to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mapped_file.h"
#include "member_room.h"

namespace fogbell::plugin {

inline constexpr const char* kJournalSuffix = ".fogbell-journal";

// The journal's path for a container path.
std::string JournalPath(const std::string& containerPath);

// Where a container handed in as memory lies in a file that some open handle (of any plug-in)
// has mapped for writing: a container nested in that file, its bytes the file's from offset on.
// Its writes are journalled in that file's journal, under their offsets in the file, so that the
// file's next open puts them back as it puts back the file's own.
struct EnclosingFile {
    std::string path;          // as that handle named it: the journal lies beside it
    std::uint64_t offset = 0;  // where the container's first byte lies in the file
    std::uint64_t length = 0;  // the file's length
};

// One replacement's writes into one container.
class ContainerWrite {
  public:
    // file: the container's mapped file, or null when base is a caller's memory. The object must
    // not outlive the file's view.
    ContainerWrite(MappedFile* file, std::uint8_t* base, std::uint32_t length);
    // A container at base lying in the enclosing file's writable view.
    ContainerWrite(const EnclosingFile& enclosing, std::uint8_t* base, std::uint32_t length);
    // Commits when begun and not yet committed: the writes made are kept.
    ~ContainerWrite();
    ContainerWrite(const ContainerWrite&) = delete;
    ContainerWrite& operator=(const ContainerWrite&) = delete;

    // Declares every byte range the write will change and, for a file, saves their bytes in the
    // journal and flushes it. False with a text when the ranges leave the container, the file or
    // the memory is read-only, or the journal cannot be written; nothing has been written then.
    bool Begin(const std::vector<ByteRange>& ranges);
    // Flushes the declared ranges to disk and removes the journal. False with a text when the
    // flush failed: the journal stays, so the next open puts the old bytes back.
    bool Commit();

  private:
    friend class ContainerBatch;
    // The path of the file whose journal covers the writes; null for a caller's memory alone.
    const std::string* JournalledPath() const;
    // Saves the ranges' bytes in that journal and flushes it; false with a text.
    bool Journal(const std::vector<ByteRange>& ranges);
    // Flushes the bytes [first, end) of the container and its file to disk.
    bool Flush(std::uint64_t first, std::uint64_t end) const;

    MappedFile* file_;
    EnclosingFile enclosing_;  // path empty unless the container lies in an enclosing file
    std::uint8_t* base_;
    std::uint32_t length_;
    std::vector<ByteRange> ranges_;
    bool begun_ = false;
    bool batched_ = false;  // inside a ContainerBatch's journal: it commits, not this write
};

// Several replacements in one container as one journalled write (fnReplaceFiles). While the
// batch records, every ContainerWrite on its container records its ranges and refuses to
// write (the replacement fails, having changed nothing); StartWriting then saves every range
// recorded in one journal, and each replacement runs again: its writes must lie within them
// and are kept for the batch's one Commit. Undo puts the saved bytes back after a replacement
// failed while writing. One batch is active at a time (the plug-in serialises its calls).
class ContainerBatch {
  public:
    ContainerBatch(MappedFile* file, std::uint8_t* base, std::uint32_t length);
    // A batch in a container lying in the enclosing file (its journal).
    ContainerBatch(const EnclosingFile& enclosing, std::uint8_t* base, std::uint32_t length);
    // Undoes a batch that started writing and was neither committed nor undone.
    ~ContainerBatch();
    ContainerBatch(const ContainerBatch&) = delete;
    ContainerBatch& operator=(const ContainerBatch&) = delete;

    // How many replacements have recorded their ranges so far.
    std::size_t Recorded() const { return recorded_; }
    // The journal of every recorded range, as ContainerWrite::Begin; false with a text.
    bool StartWriting();
    // As ContainerWrite::Commit, once for every replacement.
    bool Commit();
    // Puts back the bytes the journal saved, flushes them and removes the journal; for a
    // caller's memory (no journal) nothing can be put back. False when that failed.
    bool Undo();

  private:
    friend class ContainerWrite;
    // The ranges of a ContainerWrite on base: recorded (false: nothing may be written yet), or
    // checked against those recorded once writing (false with a text when outside them).
    bool Accept(const std::vector<ByteRange>& ranges);

    ContainerWrite write_;
    std::uint8_t* base_;
    std::vector<ByteRange> ranges_;
    std::size_t recorded_ = 0;
    bool writing_ = false;
    bool done_ = false;
};

enum class JournalRecovery {
    kNone,       // no journal
    kDiscarded,  // an incomplete journal: nothing had been overwritten; removed
    kRestored,   // the saved bytes were put back and the journal removed
    kFailed,     // a complete journal that cannot be applied (text set); it stays
};

// Looks for the journal of the container at path and acts on it as JournalRecovery says.
// Sets a text only for kFailed.
JournalRecovery RecoverJournal(const char* path);

// The text a successful open leaves after kRestored, for the host's status line.
void SetRestoredText(const char* path);

}  // namespace fogbell::plugin
