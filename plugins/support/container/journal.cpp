// The journalled container writes (journal.h). The file operations underneath are the
// platform's (file_ops.h, and FlushMappedRange of the mapped file).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

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

// How many journal bytes are read at a time: the journal is never whole in memory, whatever the
// size of the ranges it saves.
constexpr std::size_t kReadChunk = 1u << 20;

void PutLE(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint64_t GetLE(const std::uint8_t* in, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        value |= std::uint64_t{in[i]} << (8 * i);
    }
    return value;
}

// FNV-1a, 64 bits, fed piece by piece: enough to tell a journal cut short or torn from a whole
// one.
class Checksum {
  public:
    void Add(const std::uint8_t* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            hash_ = (hash_ ^ data[i]) * 0x100000001B3ull;
        }
    }
    std::uint64_t Value() const { return hash_; }

  private:
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

// Writes the journal of ranges (offsets into the view at base) through put, each range saved
// under its offset plus shift, for a container of containerLength bytes; false when a write
// failed. The saved bytes go from the view to the file without a copy.
bool PutJournal(const PutBytes& put, const std::uint8_t* base, std::uint64_t shift,
                std::uint64_t containerLength, const std::vector<ByteRange>& ranges) {
    Checksum checksum;
    const auto emit = [&](const std::uint8_t* data, std::size_t size) {
        checksum.Add(data, size);
        return put(data, size);
    };
    std::uint8_t header[kFirstRangeAt];
    std::memcpy(header, kMagic, kMagicSize);
    PutLE(header + kLengthAt, containerLength, 8);
    PutLE(header + kCountAt, ranges.size(), 4);
    if (!emit(header, sizeof header)) {
        return false;
    }
    for (const ByteRange& range : ranges) {
        std::uint8_t rangeHeader[kRangeHeaderSize];
        PutLE(rangeHeader, range.begin + shift, 8);
        PutLE(rangeHeader + 8, range.end - range.begin, 4);
        if (!emit(rangeHeader, sizeof rangeHeader) ||
            !emit(base + range.begin, static_cast<std::size_t>(range.end - range.begin))) {
            return false;
        }
    }
    std::uint8_t sum[kChecksumSize];
    PutLE(sum, checksum.Value(), kChecksumSize);
    return put(sum, sizeof sum);
}

// Writes the journal of the ranges at journalPath and flushes it; false with the system's
// reason in why (a partial journal is removed).
bool WriteJournal(const std::string& journalPath, const std::uint8_t* base, std::uint64_t shift,
                  std::uint64_t containerLength, const std::vector<ByteRange>& ranges,
                  std::string& why) {
    const bool written = WriteFileDurably(journalPath, [&](const PutBytes& put) {
        return PutJournal(put, base, shift, containerLength, ranges);
    });
    if (!written) {
        why = LastSystemError();
        RemoveFileDurably(journalPath);
    }
    return written;
}

// Receives a piece of a saved range: data goes at offset of the container.
using SavedPiece = std::function<bool(std::uint64_t offset, const std::uint8_t* data,
                                      std::size_t size)>;

// A journal file read from its start, a chunk at a time.
class JournalReader {
  public:
    explicit JournalReader(const std::string& path)
        : file_(OpenStdioFile(path.c_str(), "rb")), path_(path) {}
    ~JournalReader() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;

    bool Exists() const { return file_ != nullptr; }

    // Walks a complete journal from its start: containerLength receives its container's length,
    // and piece (when set) every saved range's bytes in order. False for an incomplete or
    // foreign journal, a read that failed, or a piece that returned false; pieces already given
    // were given. Run once without piece to know the journal whole before acting on it.
    bool Walk(std::uint64_t& containerLength, const SavedPiece& piece) {
        std::uint64_t size = 0;
        if (!FileSizeOf(path_.c_str(), size) || size < kFirstRangeAt + kChecksumSize ||
            std::fseek(file_, 0, SEEK_SET) != 0) {
            return false;
        }
        const std::uint64_t body = size - kChecksumSize;
        Checksum checksum;
        std::uint8_t header[kFirstRangeAt];
        if (!Read(header, sizeof header, checksum) ||
            std::memcmp(header, kMagic, kMagicSize) != 0) {
            return false;
        }
        containerLength = GetLE(header + kLengthAt, 8);
        const std::uint64_t count = GetLE(header + kCountAt, 4);
        std::uint64_t at = kFirstRangeAt;
        std::vector<std::uint8_t> chunk;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::uint8_t rangeHeader[kRangeHeaderSize];
            if (body - at < kRangeHeaderSize || !Read(rangeHeader, sizeof rangeHeader, checksum)) {
                return false;
            }
            at += kRangeHeaderSize;
            const std::uint64_t offset = GetLE(rangeHeader, 8);
            const std::uint64_t length = GetLE(rangeHeader + 8, 4);
            if (body - at < length || offset > containerLength ||
                length > containerLength - offset) {
                return false;
            }
            for (std::uint64_t done = 0; done < length;) {
                const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(
                    length - done, kReadChunk));
                chunk.resize(step);
                if (!Read(chunk.data(), step, checksum) ||
                    (piece && !piece(offset + done, chunk.data(), step))) {
                    return false;
                }
                done += step;
            }
            at += length;
        }
        std::uint8_t sum[kChecksumSize];
        Checksum ignored;
        return at == body && Read(sum, sizeof sum, ignored) &&
               GetLE(sum, kChecksumSize) == checksum.Value();
    }

  private:
    bool Read(std::uint8_t* out, std::size_t size, Checksum& checksum) {
        if (std::fread(out, 1, size, file_) != size) {
            return false;
        }
        checksum.Add(out, size);
        return true;
    }

    std::FILE* file_;
    std::string path_;
};

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

ContainerWrite::ContainerWrite(const EnclosingFile& enclosing, std::uint8_t* base,
                               std::uint32_t length)
    : file_(nullptr), enclosing_(enclosing), base_(base), length_(length) {}

ContainerWrite::~ContainerWrite() {
    if (begun_) {
        Commit();
    }
}

const std::string* ContainerWrite::JournalledPath() const {
    if (file_ != nullptr) {
        return &file_->path;
    }
    return enclosing_.path.empty() ? nullptr : &enclosing_.path;
}

bool ContainerWrite::Journal(const std::vector<ByteRange>& ranges) {
    const std::string& path = *JournalledPath();
    const std::string journalPath = JournalPath(path);
    // A container in an enclosing file saves its ranges under their offsets in that file.
    const std::uint64_t shift = file_ != nullptr ? 0 : enclosing_.offset;
    const std::uint64_t containerLength = file_ != nullptr ? length_ : enclosing_.length;
    std::string why;
    if (!WriteJournal(journalPath, base_, shift, containerLength, ranges, why)) {
        SetErrorText("Can't replace a track in %s: its journal %s cannot be written (%s).",
                     path.c_str(), journalPath.c_str(), why.c_str());
        return false;
    }
    return true;
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
    } else {
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
    if (JournalledPath() != nullptr && !Journal(ranges)) {
        return false;
    }
    ranges_ = ranges;
    begun_ = true;
    return true;
}

bool ContainerWrite::Flush(std::uint64_t first, std::uint64_t end) const {
    if (end <= first) {
        return true;
    }
    return file_ != nullptr
               ? FlushMappedRange(file_, first, end)
               : FlushViewBytes(enclosing_.path, base_ + first, static_cast<std::size_t>(end - first));
}

bool ContainerWrite::Commit() {
    if (batched_) {
        return true;  // the batch commits
    }
    if (!begun_) {
        return true;
    }
    begun_ = false;
    const std::string* path = JournalledPath();
    if (path == nullptr) {
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
    if (!Flush(first, end)) {
        SetErrorText(
            "Can't flush %s to disk: the replacement will be undone when it is "
            "opened next.",
            path->c_str());
        return false;
    }
    RemoveJournal(JournalPath(*path));
    return true;
}

ContainerBatch::ContainerBatch(MappedFile* file, std::uint8_t* base, std::uint32_t length)
    : write_(file, base, length), base_(base) {
    activeBatch = this;
    activeBase = base;
}

ContainerBatch::ContainerBatch(const EnclosingFile& enclosing, std::uint8_t* base,
                               std::uint32_t length)
    : write_(enclosing, base, length), base_(base) {
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
    const std::string* path = write_.JournalledPath();
    if (path == nullptr) {
        return false;
    }
    const std::string journalPath = JournalPath(*path);
    const std::uint64_t shift = write_.file_ != nullptr ? 0 : write_.enclosing_.offset;
    const std::uint64_t length = write_.length_;
    std::uint64_t first = length;
    std::uint64_t end = 0;
    {
        JournalReader journal(journalPath);
        std::uint64_t containerLength = 0;
        const SavedPiece putBack = [&](std::uint64_t at, const std::uint8_t* data,
                                       std::size_t size) {
            // Saved under the file's offsets; only bytes of this container are put back.
            if (at < shift || at - shift > length || size > length - (at - shift)) {
                return false;
            }
            std::memcpy(base_ + (at - shift), data, size);
            first = std::min(first, at - shift);
            end = std::max(end, at - shift + size);
            return true;
        };
        if (!journal.Walk(containerLength, nullptr) || !journal.Walk(containerLength, putBack)) {
            return false;  // the journal stays: the next open puts the old bytes back
        }
    }
    if (!write_.Flush(first, end)) {
        return false;
    }
    RemoveJournal(journalPath);
    return true;
}

JournalRecovery RecoverJournal(const char* path) {
    const std::string journalPath = JournalPath(path);
    bool whole = false;
    PatchResult patched = PatchResult::kDone;
    {
        JournalReader journal(journalPath);
        if (!journal.Exists()) {
            return JournalRecovery::kNone;
        }
        std::uint64_t containerLength = 0;
        // Known whole before a byte is put back: a journal cut short changed nothing.
        whole = journal.Walk(containerLength, nullptr);
        if (whole) {
            patched = PatchFileDurably(path, containerLength, [&](const PutBytesAt& put) {
                return journal.Walk(containerLength,
                                    [&put](std::uint64_t at, const std::uint8_t* data,
                                           std::size_t size) { return put(at, data, size); });
            });
        }
    }
    if (!whole) {
        RemoveJournal(journalPath);
        return JournalRecovery::kDiscarded;
    }
    switch (patched) {
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
