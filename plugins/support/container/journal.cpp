// The journalled container writes (journal.h). The file operations underneath are the
// platform's (file_ops.h, and FlushMappedRange of the mapped file).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "file_ops.h"
#include "journal.h"
#include "plugin_support.h"

namespace fogbell::plugin {
namespace {

constexpr std::uint8_t kMagic[8] = {'F', 'B', 'J', 'R', 'N', 'L', 1, 0};
constexpr std::size_t kMagicSize = sizeof kMagic;
constexpr std::size_t kLengthAt = 8;
constexpr std::size_t kCountAt = 16;
constexpr std::size_t kFirstRangeAt = 20;
constexpr std::size_t kRangeHeaderSize = 12;  // offset u64, length u32
constexpr std::size_t kChecksumSize = 8;

void PutLE(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint64_t GetLE(const std::uint8_t* in, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value |= std::uint64_t{in[i]} << (8 * i);
    }
    return value;
}

// FNV-1a, 64 bits: enough to tell a journal cut short or torn from a whole one.
std::uint64_t Checksum(const std::uint8_t* data, std::size_t size) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 0x100000001B3ull;
    }
    return hash;
}

// The journal's bytes for the ranges of the container at base.
std::vector<std::uint8_t> BuildJournal(const std::uint8_t* base, std::uint64_t length,
                                       const std::vector<ByteRange>& ranges) {
    std::vector<std::uint8_t> journal(kMagic, kMagic + kMagicSize);
    PutLE(journal, length, 8);
    PutLE(journal, ranges.size(), 4);
    for (const ByteRange& range : ranges) {
        PutLE(journal, range.begin, 8);
        PutLE(journal, range.end - range.begin, 4);
        journal.insert(journal.end(), base + range.begin, base + range.end);
    }
    PutLE(journal, Checksum(journal.data(), journal.size()), kChecksumSize);
    return journal;
}

struct SavedRange {
    std::uint64_t offset = 0;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
};

// The ranges of a complete journal; false for an incomplete or foreign one.
bool ParseJournal(const std::vector<std::uint8_t>& journal, std::uint64_t& containerLength,
                  std::vector<SavedRange>& ranges) {
    if (journal.size() < kFirstRangeAt + kChecksumSize ||
        std::memcmp(journal.data(), kMagic, kMagicSize) != 0) {
        return false;
    }
    const std::size_t body = journal.size() - kChecksumSize;
    if (GetLE(journal.data() + body, kChecksumSize) != Checksum(journal.data(), body)) {
        return false;
    }
    containerLength = GetLE(journal.data() + kLengthAt, 8);
    const std::uint64_t count = GetLE(journal.data() + kCountAt, 4);
    std::size_t at = kFirstRangeAt;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (body - at < kRangeHeaderSize) {
            return false;
        }
        SavedRange range;
        range.offset = GetLE(journal.data() + at, 8);
        range.length = static_cast<std::uint32_t>(GetLE(journal.data() + at + 8, 4));
        at += kRangeHeaderSize;
        if (body - at < range.length || range.offset > containerLength ||
            range.length > containerLength - range.offset) {
            return false;
        }
        range.bytes = journal.data() + at;
        at += range.length;
        ranges.push_back(range);
    }
    return at == body;
}

void RemoveJournal(const std::string& journalPath) {
    RemoveFileDurably(journalPath);
}

// The batch whose container's writes are recorded or covered by its journal, if any.
ContainerBatch* activeBatch = nullptr;
std::uint8_t* activeBase = nullptr;

}  // namespace

std::string JournalPath(const std::string& containerPath) {
    return containerPath + kJournalSuffix;
}

ContainerWrite::ContainerWrite(MappedFile* file, std::uint8_t* base, std::uint32_t length)
    : file_(file), base_(base), length_(length) {}

ContainerWrite::~ContainerWrite() {
    if (begun_) {
        Commit();
    }
}

bool ContainerWrite::Begin(const std::vector<ByteRange>& ranges) {
    for (const ByteRange& range : ranges) {
        if (range.end < range.begin || range.end > length_) {
            SetErrorText("Internal error: a write would leave the container.");
            return false;
        }
    }
    if (activeBatch != nullptr && activeBase == base_) {
        batched_ = activeBatch->Accept(ranges);
        return batched_;
    }
    if (file_ != nullptr) {
        if (!CheckMappedFileIntact(file_)) {
            return false;
        }
        if (!file_->writable) {
            SetErrorText("Can't replace a track in %s: the file is read-only.",
                         file_->path.c_str());
            return false;
        }
        const std::string journalPath = JournalPath(file_->path);
        const std::vector<std::uint8_t> journal = BuildJournal(base_, length_, ranges);
        if (!WriteFileDurably(journalPath, journal)) {
            const std::string why = LastSystemError();
            RemoveJournal(journalPath);
            SetErrorText("Can't replace a track in %s: its journal %s cannot be written (%s).",
                         file_->path.c_str(), journalPath.c_str(), why.c_str());
            return false;
        }
    }
    if (file_ == nullptr) {
        for (const ByteRange& range : ranges) {
            const auto begin = reinterpret_cast<std::uintptr_t>(base_ + range.begin);
            if (range.end > range.begin &&
                !MemoryWritable(begin, begin + (range.end - range.begin))) {
                SetErrorText(
                    "Can't replace a track here: the container lies in read-only "
                    "memory (inside a read-only file).");
                return false;
            }
        }
    }
    ranges_ = ranges;
    begun_ = true;
    return true;
}

bool ContainerWrite::Commit() {
    if (batched_) {
        return true;  // the batch commits
    }
    if (!begun_) {
        return true;
    }
    begun_ = false;
    if (file_ == nullptr || ranges_.empty()) {
        if (file_ != nullptr) {
            RemoveJournal(JournalPath(file_->path));
        }
        return true;
    }
    std::uint64_t first = length_;
    std::uint64_t end = 0;
    for (const ByteRange& range : ranges_) {
        if (range.end > range.begin) {
            first = std::min(first, range.begin);
            end = std::max(end, range.end);
        }
    }
    if (end > first && !FlushMappedRange(file_, first, end)) {
        SetErrorText(
            "Can't flush %s to disk: the replacement will be undone when it is "
            "opened next.",
            file_->path.c_str());
        return false;
    }
    RemoveJournal(JournalPath(file_->path));
    return true;
}

ContainerBatch::ContainerBatch(MappedFile* file, std::uint8_t* base, std::uint32_t length)
    : write_(file, base, length), file_(file), base_(base) {
    activeBatch = this;
    activeBase = base;
}

ContainerBatch::~ContainerBatch() {
    if (writing_ && !done_) {
        Undo();
    }
    activeBatch = nullptr;
    activeBase = nullptr;
}

bool ContainerBatch::Accept(const std::vector<ByteRange>& ranges) {
    if (!writing_) {
        ranges_.insert(ranges_.end(), ranges.begin(), ranges.end());
        ++recorded_;
        return false;
    }
    for (const ByteRange& range : ranges) {
        const bool covered =
            range.end == range.begin ||
            std::any_of(ranges_.begin(), ranges_.end(), [&range](const ByteRange& saved) {
                return saved.begin <= range.begin && range.end <= saved.end;
            });
        if (!covered) {
            SetErrorText("Internal error: a write lies outside the replacements' journal.");
            return false;
        }
    }
    return true;
}

bool ContainerBatch::StartWriting() {
    // The container's own write takes the journal; the ones of each replacement then join it.
    activeBatch = nullptr;
    const bool begun = write_.Begin(ranges_);
    activeBatch = this;
    writing_ = begun;
    return begun;
}

bool ContainerBatch::Commit() {
    done_ = true;
    return write_.Commit();
}

bool ContainerBatch::Undo() {
    done_ = true;
    write_.begun_ = false;  // its commit would remove the journal
    if (file_ == nullptr) {
        return false;
    }
    const std::string journalPath = JournalPath(file_->path);
    std::vector<std::uint8_t> journal;
    std::uint64_t containerLength = 0;
    std::vector<SavedRange> saved;
    if (!ReadWholeFile(journalPath, journal) || !ParseJournal(journal, containerLength, saved)) {
        return false;  // the journal stays: the next open puts the old bytes back
    }
    std::uint64_t first = containerLength;
    std::uint64_t end = 0;
    for (const SavedRange& range : saved) {
        if (range.length != 0) {
            std::memcpy(base_ + range.offset, range.bytes, range.length);
            first = std::min(first, range.offset);
            end = std::max(end, range.offset + range.length);
        }
    }
    if (end > first && !FlushMappedRange(file_, first, end)) {
        return false;
    }
    RemoveJournal(journalPath);
    return true;
}

JournalRecovery RecoverJournal(const char* path) {
    const std::string journalPath = JournalPath(path);
    std::vector<std::uint8_t> journal;
    if (!ReadWholeFile(journalPath, journal)) {
        return JournalRecovery::kNone;
    }
    std::uint64_t containerLength = 0;
    std::vector<SavedRange> ranges;
    if (!ParseJournal(journal, containerLength, ranges)) {
        RemoveJournal(journalPath);
        return JournalRecovery::kDiscarded;
    }

    std::vector<FilePatch> patches;
    for (const SavedRange& range : ranges) {
        patches.push_back({range.offset, range.bytes, range.length});
    }
    switch (PatchFileDurably(path, containerLength, patches)) {
        case PatchResult::kDone:
            break;
        case PatchResult::kLengthDiffers:
            SetErrorText(
                "Can't open %s: a replacement was cut short, and the file's length has "
                "changed since, so it cannot be undone.",
                path);
            return JournalRecovery::kFailed;
        case PatchResult::kCannotOpen:
        case PatchResult::kFailed:
            SetErrorText("Can't open %s: a replacement was cut short and cannot be undone (%s).",
                         path, LastSystemError().c_str());
            return JournalRecovery::kFailed;
    }
    RemoveJournal(journalPath);
    return JournalRecovery::kRestored;
}

void SetRestoredText(const char* path) {
    SetErrorText("Restored %s: a replacement that was cut short has been undone.", path);
}

}  // namespace fogbell::plugin
