#include "rebuilt_container.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "output_file.h"
#include "plugin_support.h"

namespace fogbell::plugin {

void RebuiltContainer::AddOwned(std::vector<std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    Piece piece;
    piece.size = bytes.size();
    piece.own = std::move(bytes);
    length_ += piece.size;
    pieces_.push_back(std::move(piece));
}

void RebuiltContainer::AddBorrowed(const std::uint8_t* data, std::uint64_t size) {
    if (size == 0) {
        return;
    }
    Piece piece;
    piece.borrowed = data;
    piece.size = size;
    length_ += size;
    pieces_.push_back(std::move(piece));
}

void RebuiltContainer::AddFile(std::string path, std::uint64_t size) {
    if (size == 0) {
        return;
    }
    Piece piece;
    piece.file = std::move(path);
    piece.size = size;
    length_ += size;
    pieces_.push_back(std::move(piece));
}

void RebuiltContainer::AddZeros(std::uint64_t size) {
    if (size == 0) {
        return;
    }
    Piece piece;
    piece.size = size;
    length_ += size;
    pieces_.push_back(std::move(piece));
}

std::vector<std::uint8_t> RebuiltContainer::Flatten() const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(length_);
    for (const Piece& piece : pieces_) {
        if (!piece.own.empty()) {
            bytes.insert(bytes.end(), piece.own.begin(), piece.own.end());
        } else if (piece.borrowed != nullptr) {
            bytes.insert(bytes.end(), piece.borrowed, piece.borrowed + piece.size);
        } else {
            bytes.insert(bytes.end(), piece.size, 0);
        }
    }
    return bytes;
}

namespace {

// Bytes of a borrowed piece written between two releases of the source's pages.
constexpr std::uint64_t kWriteWindow = 8 * kReleaseStep;

// The offset of data in source's view, or false when data does not lie in it.
bool OffsetInView(const MappedFile* source, const std::uint8_t* data, std::uint64_t& offset) {
    if (source == nullptr || source->view == nullptr) {
        return false;
    }
    const auto first = reinterpret_cast<std::uintptr_t>(source->view);
    const auto at = reinterpret_cast<std::uintptr_t>(data);
    if (at < first || at - first >= source->length) {
        return false;
    }
    offset = at - first;
    return true;
}

// Writes a borrowed piece; where it lies in source's view, a window at a time, each window's
// pages let go once written.
void WriteBorrowed(OutputFile& out, const std::uint8_t* data, std::uint64_t size,
                   const MappedFile* source) {
    std::uint64_t offset = 0;
    if (!OffsetInView(source, data, offset)) {
        out.Write(data, static_cast<std::size_t>(size));
        return;
    }
    for (std::uint64_t done = 0; done < size;) {
        const std::uint64_t step = std::min(size - done, kWriteWindow);
        out.Write(data + done, static_cast<std::size_t>(step));
        ReleaseMappedRange(source, offset + done, offset + done + step);
        done += step;
    }
}

// Writes a file piece: the file mapped for reading, its pages let go behind the writing, and
// closed again. False with the text when it cannot be opened or no longer holds the piece's size.
bool WriteFilePiece(OutputFile& out, const RebuiltContainer::Piece& piece) {
    void* view = nullptr;
    const MappedFilePtr file(OpenMappedFile(piece.file.c_str(), &view, FileAccess::kRead));
    if (!file) {
        SetErrorText("Can't open %s file.", piece.file.c_str());
        return false;
    }
    if (MappedLength(file.get()) != piece.size) {
        SetErrorText("%s changed while it was packed.", piece.file.c_str());
        return false;
    }
    WriteBorrowed(out, static_cast<const std::uint8_t*>(view), piece.size, file.get());
    return true;
}

}  // namespace

bool WriteRebuiltContainer(const char* path, const RebuiltContainer& container,
                           const MappedFile* source) {
    OutputFile out;
    if (!out.Create(path)) {
        SetErrorText("Can't create %s file.", path);
        return false;
    }
    // Zeros go out from one small block, written as often as a run needs.
    static constexpr std::size_t kZeroBlock = 64 * 1024;
    static const std::vector<std::uint8_t> zeros(kZeroBlock, 0);
    for (const RebuiltContainer::Piece& piece : container.Pieces()) {
        if (!piece.own.empty()) {
            out.Write(piece.own.data(), piece.own.size());
        } else if (piece.borrowed != nullptr) {
            WriteBorrowed(out, piece.borrowed, piece.size, source);
        } else if (!piece.file.empty()) {
            if (!WriteFilePiece(out, piece)) {
                out.Close();
                std::remove(path);
                return false;
            }
        } else {
            for (std::uint64_t left = piece.size; left != 0;) {
                const auto step =
                    static_cast<std::size_t>(std::min<std::uint64_t>(left, kZeroBlock));
                out.Write(zeros.data(), step);
                left -= step;
            }
        }
    }
    const bool synced = out.Sync();
    if (!out.Close() || !synced) {
        std::remove(path);
        SetErrorText("Can't write %s file.", path);
        return false;
    }
    return true;
}

}  // namespace fogbell::plugin
