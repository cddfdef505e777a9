// Files opened through a plug-in, and the typed calls on them. A session owns its plug-in handle
// (closed when the session goes) and takes the plug-in's lock inside each call; where a call
// fails, its answer carries the plug-in's error text read under that same lock, before any other
// thread can replace it. Nothing outside the plug-in host calls an entry point or takes a
// plug-in's lock.
//
// Threads: an explorer session may be used from several threads at once (the explorer's lock
// serialises them); a decoder session by one thread at a time, as decoder handles are.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/plugins/plugin_records.h"
#include "text/packed_names.h"

namespace fogbell {

// One file or track opened through a plug-in: a container (ExplorerSession) or a stream
// (DecoderSession). Made by PluginHost, first unopened (routing only), then open.
class OpenedFile {
  public:
    // Closes the handle when it is still open.
    virtual ~OpenedFile();
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    PluginRecord* plugin = nullptr;  // the ExplorerPlugin or DecoderPlugin that serves it
    // A container's path, or the track name when it was opened from a parent's memory. Empty
    // for streams.
    std::string path;
    const void* memoryImage = nullptr;  // the track pointer it was opened from, else null
    std::uint32_t memorySize = 0;
    // What the explorer said about a container it opened from a path, when it was more than
    // "OK" (a replacement that was cut short and has been undone); empty otherwise.
    std::string openNotice;

    std::int32_t Handle() const { return handle_; }
    bool IsOpen() const { return plugin != nullptr && handle_ != FOGBELL_NO_HANDLE; }
    // Closes the handle (fnCloseFile, under the plug-in's lock). Nothing when it is not open.
    void Close();

    // The plug-in as an explorer or a decoder; null when it is of the other kind (or none).
    ExplorerPlugin* Explorer() const;
    DecoderPlugin* Decoder() const;
    // For files whose kind is known.
    ExplorerPlugin& AsExplorer() const { return static_cast<ExplorerPlugin&>(*plugin); }
    DecoderPlugin& AsDecoder() const { return static_cast<DecoderPlugin&>(*plugin); }

  protected:
    explicit OpenedFile(PluginRecord& record) : plugin(&record) {}
    std::int32_t handle_ = FOGBELL_NO_HANDLE;
};
using OpenedFilePtr = std::unique_ptr<OpenedFile>;

// Closes the file in place and empties the place. Does nothing for an empty place or a file
// that is not open.
template <class File>
void CloseOpenedFile(std::unique_ptr<File>& place) {
    if (!place || !place->IsOpen()) {
        return;
    }
    place->Close();
    place.reset();
}

// What one call into a plug-in answered, and the plug-in's error text read under the same lock
// right after it where the answer says failure (and after a replacement, whose text may hold a
// note). No text from a plug-in without fnGetErrorString.
template <class Value>
struct PluginAnswer {
    Value value{};
    std::optional<std::string> text;

    // The plug-in's text, or fallback where it gave none.
    std::string TextOr(const std::string& fallback) const { return text ? *text : fallback; }
};

// A track's bytes as the explorer handed them out (fnGetFilePointer). The explorer stays locked
// to this thread while the object holds them: the next fnGetFilePointer on the container may
// change what the pointer means (for AIX containers it is a record that selects the track).
// Open a stream or a nested container on them before letting go; those keep borrowing them.
class TrackBytes {
  public:
    TrackBytes() = default;
    TrackBytes(TrackBytes&&) = default;
    TrackBytes& operator=(TrackBytes&&) = default;

    explicit operator bool() const { return data_ != nullptr; }
    const void* Data() const { return data_; }
    std::uint32_t Size() const { return size_; }
    // Why there are no bytes: the explorer's text, or fallback without one.
    std::string TextOr(const std::string& fallback) const { return text_ ? *text_ : fallback; }
    // Lets the explorer go before the object does.
    void Release();

  private:
    friend class ExplorerSession;
    std::unique_lock<std::recursive_mutex> lock_;
    const void* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::optional<std::string> text_;
};

// A stream's loop, in samples per channel: start < end.
struct LoopPoints {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    bool operator==(const LoopPoints&) const = default;
};

class ExplorerSession;
class DecoderSession;
using ExplorerSessionPtr = std::unique_ptr<ExplorerSession>;
using DecoderSessionPtr = std::unique_ptr<DecoderSession>;

// A container opened through an explorer plug-in.
class ExplorerSession final : public OpenedFile {
  public:
    // Opens a container from memory when memory is set, else from the path name; null with the
    // explorer's text (or "Error loading file." without one) when it refuses.
    static ExplorerSessionPtr Open(ExplorerPlugin& explorer, const std::string& name,
                                   const void* memory, std::uint32_t size, std::string& error);
    // Unopened: the first plug-in serving a name, before anything is opened.
    explicit ExplorerSession(ExplorerPlugin& explorer) : OpenedFile(explorer) {}

    const ExplorerPlugin& Plugin() const { return AsExplorer(); }
    bool HasLengths() const { return Plugin().HasLengths(); }
    bool CanReplace() const { return Plugin().CanReplace(); }
    bool CanMeasureRoom() const { return Plugin().CanMeasureRoom(); }
    bool CanRebuild() const { return Plugin().CanRebuild(); }
    bool CanReplaceMany() const { return Plugin().CanReplaceMany(); }
    bool CanRebuildMany() const { return Plugin().CanRebuildMany(); }
    bool CanTellOffsets() const { return Plugin().CanTellOffsets(); }
    bool CanReplaceWithin() const { return Plugin().CanReplaceWithin(); }

    // Opens other bytes (a private copy of this container's) with the same explorer, as a
    // container named as this one.
    ExplorerSessionPtr OpenBytes(const void* data, std::uint32_t size, std::string& error) const;

    // Runs body while no other thread can call the explorer: what body asks of it (names,
    // lengths, bytes) comes from one state of the container.
    void Exclusively(const std::function<void()>& body) const;

    // fnGetListFiles: the names in the explorer's order, up to the null that ends them (an empty
    // name is a track's too), copied under the lock (the list is valid only until the next
    // listing); none when the explorer gives no list.
    PluginAnswer<std::optional<std::vector<std::string>>> ListNames() const;
    // The same names packed into names (emptied first); false with the text when the explorer
    // gives no list.
    PluginAnswer<bool> ListNames(PackedNames& names) const;
    // fnGetLengthFile: the track's length in the explorer's measure; none without the entry.
    std::optional<std::uint32_t> Length(const std::string& track) const;
    // fnGetDamagedCount: how many tracks lie wholly or partly outside the container's bytes; 0
    // without the entry.
    std::uint32_t DamagedCount() const;
    // fnIsTrackDamaged: whether the track lies so; false without the entry.
    bool IsDamaged(const std::string& track) const;
    // fnGetFilePointer: the track's bytes, held as described at TrackBytes.
    TrackBytes Track(const std::string& track) const;
    // fnExtractFile: writes the track to outPath (the explorer may change the extension).
    PluginAnswer<bool> Extract(const std::string& track, const std::string& outPath) const;
    // fnReplaceFile: overwrites the track with the file named file. The text is read after a
    // success too ("OK", or a note such as a cut the explorer made). False without the entry.
    PluginAnswer<bool> Replace(const std::string& track, const std::string& file) const;
    // fnGetRoomFile: the bytes the file named file takes in the track and the bytes the track
    // offers. False without the entry (CanMeasureRoom).
    PluginAnswer<bool> MeasureRoom(const std::string& track, const std::string& file,
                                   std::uint32_t& needed, std::uint32_t& room) const;
    // fnRebuildFile: writes to outPath the container with the track holding the file named
    // file. False without the entry (CanRebuild).
    PluginAnswer<bool> Rebuild(const std::string& track, const std::string& file,
                               const std::string& outPath) const;
    bool CanPack() const { return Plugin().CanPack(); }
    // fnGetLayout: the open container's layout text (plugin_session_pack.cpp); none with the text,
    // or without the entry (CanPack).
    PluginAnswer<std::optional<std::string>> Layout() const;
    // fnPackFiles: writes to outPath a container of the files at paths, laid out as layout says
    // (the explorer's plain layout without one). Needs no open container. False with the text,
    // or without the entry.
    PluginAnswer<bool> Pack(const std::optional<std::string>& layout,
                            const std::vector<std::string>& paths,
                            const std::string& outPath) const;
    // fnReplaceFiles: overwrites tracks[i] with the file named files[i], all as one journalled
    // write. False without the entry (CanReplaceMany).
    PluginAnswer<bool> ReplaceMany(const std::vector<std::string>& tracks,
                                   const std::vector<std::string>& files) const;
    // fnGetTrackOffset: where the track's bytes begin in the container's; none with the text,
    // or without the entry (CanTellOffsets).
    PluginAnswer<std::optional<std::uint64_t>> TrackOffset(const std::string& track) const;
    // fnReplaceFilesWithin: as ReplaceMany in a container opened from memory that lies at
    // offset of the file at filePath (mapped read-write by an open session), journalled in that
    // file's journal. False without the entry (CanReplaceWithin).
    PluginAnswer<bool> ReplaceManyWithin(const std::vector<std::string>& tracks,
                                         const std::vector<std::string>& files,
                                         const std::string& filePath, std::uint64_t offset) const;
    // fnRebuildFiles: writes to outPath the container with tracks[i] holding the file named
    // files[i], in one pass. False with the text, or without the entry (CanRebuildMany).
    PluginAnswer<bool> RebuildMany(const std::vector<std::string>& tracks,
                                   const std::vector<std::string>& files,
                                   const std::string& outPath) const;

  private:
    // fnGetListFiles under the lock: visit(begin, end) over the names up to the null that
    // ends them, while the list is valid. False with the explorer's text when it gives none.
    template <class Visit>
    bool VisitNames(std::optional<std::string>& text, Visit&& visit) const;
};

// An audio stream opened through a decoder plug-in.
class DecoderSession final : public OpenedFile {
  public:
    // Opens a stream from memory when memory is set, else from path, in the channel count and
    // rate asked for (-1: the source's). Null with the decoder's text (or "Error loading file."
    // without one, and for memory given to a decoder that cannot load from memory).
    static DecoderSessionPtr Open(DecoderPlugin& decoder, const std::string& path,
                                  const void* memory, std::uint32_t size, std::int32_t channels,
                                  std::int32_t rate, std::string& error);
    // Unopened: the first plug-in serving a name, before anything is opened.
    explicit DecoderSession(DecoderPlugin& decoder) : OpenedFile(decoder) {}

    const DecoderPlugin& Plugin() const { return AsDecoder(); }

    // fnGetFormatSource / fnGetFormatOut, copied; none when the decoder gives none (a text only
    // from a decoder that has the entry).
    PluginAnswer<std::optional<WAVEFORMATEX>> SourceFormat() const;
    PluginAnswer<std::optional<WAVEFORMATEX>> OutputFormat() const;
    // fnGetSizeData / fnGetCurrPos; none without the entry.
    std::optional<std::uint32_t> SizeData() const;
    std::optional<std::uint32_t> Position() const;
    // Whether the decoder has fnDecodeNext at all.
    bool CanDecode() const;
    // fnDecodeNext: the next block (the decoder's until the next call on this handle), or null
    // at the end of the stream or without the entry.
    const PcmBlock* DecodeNext() const;
    // fnResetFile: back to the start of the stream; false when the decoder has no such entry.
    bool Reset() const;
    // fnGetLoopPoints: the stream's loop in samples per channel, first sample and the first
    // after it; none when the stream has none or the decoder has no such entry.
    std::optional<LoopPoints> Loop() const;
    // Whether the decoder has fnSeekSample.
    bool CanSeek() const;
    // fnSeekSample: the next block begins with that sample (per channel of the source); false
    // without the entry or when the decoder refuses.
    bool Seek(std::uint32_t sample) const;

  private:
    // One of the two format entries, copied, with the text when it gives none.
    PluginAnswer<std::optional<WAVEFORMATEX>> Format(FnGetFormat entry) const;
};

}  // namespace fogbell
