#include "host/containers/container_replace.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "host/system/durable_files.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTemporaryMark = ".fogbell-rebuild-";

// A number no other temporary of this process uses, even one made at the same time.
unsigned NextNumber() {
    static std::atomic<unsigned> counter{0};
    return ++counter;
}

// Temporary files that are removed when the object goes, unless kept.
class Temporaries {
  public:
    Temporaries() = default;
    Temporaries(const Temporaries&) = delete;
    Temporaries& operator=(const Temporaries&) = delete;
    ~Temporaries() {
        for (const std::string& path : paths_) {
            RemovePath(path);
        }
    }
    std::string Add(std::string path) {
        paths_.push_back(path);
        return path;
    }
    // The file at path is no longer a temporary (it was renamed into place).
    void Keep(const std::string& path) { std::erase(paths_, path); }

  private:
    std::vector<std::string> paths_;
};

// Temporaries for the new bytes of inner containers (never the file on disk) go to the
// system's temporary folder as fogbell-rebuild-PID-N.tmp.
constexpr const char* kInnerPrefix = "fogbell-rebuild-";
constexpr const char* kInnerSuffix = ".tmp";

fs::path InnerTemporaryFolder() {
    std::error_code error;
    const fs::path folder = fs::temp_directory_path(error);
    return error ? fs::path(".") : folder;
}

std::string InnerTemporaryPath() {
    const std::string name = kInnerPrefix + std::to_string(CurrentProcessId()) + "-" +
                             std::to_string(NextNumber()) + kInnerSuffix;
    return Utf8FromPath(InnerTemporaryFolder() / PathFromUtf8(name));
}

enum class Fit { kFits, kTooBig, kUnknown, kFailed };

// Whether the file at path fits the track of the container without being cut or refused.
Fit MeasureFit(const ExplorerSession& container, const std::string& track, const std::string& path,
               std::uint32_t& needed, std::uint32_t& room, std::string& error) {
    if (!container.CanMeasureRoom()) {
        return Fit::kUnknown;
    }
    const PluginAnswer<bool> measured = container.MeasureRoom(track, path, needed, room);
    if (!measured.value) {
        error = measured.TextOr("Error replacing file.");
        return Fit::kFailed;
    }
    return needed <= room ? Fit::kFits : Fit::kTooBig;
}

// fnReplaceFile of the file at path into the track of the container; false with the text.
bool ReplaceThrough(const ExplorerSession& container, const std::string& track,
                    const std::string& path, std::string& text) {
    if (!container.CanReplace()) {
        text = "Tracks of this container cannot be replaced.";
        return false;
    }
    const PluginAnswer<bool> replaced = container.Replace(track, path);
    text = replaced.TextOr(replaced.value ? "OK" : "Error replacing file.");
    return replaced.value;
}

// fnRebuildFile of the container into outPath; false with the text.
bool RebuildInto(const ExplorerSession& container, const std::string& track,
                 const std::string& path, const std::string& outPath, std::string& error) {
    if (!container.CanRebuild()) {
        error = "A container of this kind (" + container.path + ") cannot be rebuilt.";
        return false;
    }
    const PluginAnswer<bool> rebuilt = container.Rebuild(track, path, outPath);
    if (!rebuilt.value) {
        error = rebuilt.TextOr("Error rebuilding file.");
    }
    return rebuilt.value;
}

// Replaces the track of an inner container in a private copy of its bytes and writes the
// copy to outPath; false with the text. The open container and its parent stay as they were.
// text: the plug-in's text after a replacement that succeeded ("OK", or a note such as a cut).
bool ReplaceInCopy(const ExplorerSession& container, const std::string& track,
                   const std::string& path, const std::string& outPath, std::string& error,
                   std::string& text) {
    if (container.memoryImage == nullptr) {
        error = "Error replacing file.";
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(container.memoryImage);
    std::vector<std::uint8_t> copy(bytes, bytes + container.memorySize);
    {
        const ExplorerSessionPtr copied =
            container.OpenBytes(copy.data(), container.memorySize, error);
        if (!copied) {
            return false;
        }
        if (!ReplaceThrough(*copied, track, path, text)) {
            error = text;
            return false;
        }
    }
    std::ofstream out(StreamPath(outPath), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(copy.data()),
              static_cast<std::streamsize>(copy.size()));
    out.close();
    if (!out) {
        error = "Can't write " + outPath + " file.";
        return false;
    }
    return true;
}

// Renames the complete rebuilt file over the original and flushes the folder; false with the
// text (the original is then as it was).
bool ReplaceOriginal(const std::string& rebuilt, const std::string& original, std::string& error) {
    // The new file takes the original's permissions, not those a new file gets.
    CopyPermissions(original, rebuilt);
    std::string why;
    if (MoveFileTo(rebuilt, original, true, why) != MoveOutcome::kMoved) {
        error = "Can't replace " + original + " with its rebuilt copy: " + why + ".";
        return false;
    }
    // The rename is done; a folder that cannot be flushed only delays its durability.
    SyncFolder(PathFromUtf8(original).parent_path());
    return true;
}

// Removes the files of the folder named PREFIX + PID-N + SUFFIX whose process no longer runs;
// returns how many it removed. Names of any other shape are left alone.
int RemoveStale(const std::string& folder, const std::string& prefix, const std::string& suffix) {
    std::vector<std::string> stale;
    for (const std::string& name : FolderNames(folder)) {
        if (name.size() <= prefix.size() + suffix.size() ||
            name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string rest =
            name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || dash + 1 == rest.size() ||
            rest.find_first_not_of("0123456789-") != std::string::npos) {
            continue;
        }
        const long id = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
        if (!ProcessRunning(id)) {
            stale.push_back(Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name)));
        }
    }
    int removed = 0;
    for (const std::string& file : stale) {
        removed += RemovePath(file) ? 1 : 0;
    }
    return removed;
}

// Removes the inner levels' temporaries of processes that no longer run, with the journals of
// those a batch was replacing tracks in.
void RemoveStaleInnerTemporaries() {
    const std::string folder = Utf8FromPath(InnerTemporaryFolder());
    RemoveStale(folder, kInnerPrefix, kInnerSuffix);
    RemoveStale(folder, kInnerPrefix, std::string(kInnerSuffix) + ".fogbell-journal");
}

std::string RebuiltText() {
    return "The container was rebuilt.";
}

// The resolved path of the outermost container's file into original when it may be written;
// false with the text.
bool ResolveWritable(const ExplorerSession& outermost, std::string& original, std::string& text) {
    std::string why;
    if (!ResolvedPath(outermost.path, original, why)) {
        text = "Can't find " + outermost.path + ": " + why + ".";
        return false;
    }
    if (!FileWritable(PathFromUtf8(original))) {
        text = "Can't replace a track of " + outermost.path +
               ": the file is read-only (no write permission or a read-only disk).";
        return false;
    }
    return true;
}

}  // namespace

std::string RebuildTemporaryPath(const std::string& path, long processId, unsigned number) {
    const fs::path original = PathFromUtf8(path);
    const std::string name = "." + Utf8FromPath(original.filename()) + kTemporaryMark +
                             std::to_string(processId) + "-" + std::to_string(number);
    return Utf8FromPath(original.parent_path() / PathFromUtf8(name));
}

int RemoveStaleRebuildTemporaries(const std::string& path) {
    const fs::path original = PathFromUtf8(path);
    const fs::path folder = original.parent_path().empty() ? fs::path(".") : original.parent_path();
    return RemoveStale(Utf8FromPath(folder),
                       "." + Utf8FromPath(original.filename()) + kTemporaryMark, "");
}

namespace {

// Puts the new bytes of the request's track outwards, from the innermost level to the file on
// disk: a level whose track takes bytes that do not fit (rebuild, and then as the parent's
// measure says) is rebuilt into a temporary, any other is replaced in a private copy of its
// bytes; the outermost changes either through its own journalled fnReplaceFile or by a rebuilt
// file renamed over original. inPlace: nothing may be rebuilt (the innermost fits; every new
// inner container then has its old size), and the outcome is kReplacedInPlace with the
// innermost plug-in's text.
ContainerReplaceResult WriteOutwards(const ContainerReplaceRequest& request, bool inPlace,
                                     const std::string& original) {
    ContainerReplaceResult result;
    const auto& chain = request.chain;
    Temporaries temporaries;
    std::size_t level = chain.size() - 1;
    std::string track = request.track;
    std::string replacement = request.replacement;
    std::string innermostText = "OK";
    bool rebuild = !inPlace;
    std::uint32_t needed = 0;
    std::uint32_t room = 0;
    for (;;) {
        const ExplorerSession& container = *chain[level];
        if (level == 0) {
            if (!rebuild) {
                // The new inner bytes fit: the file on disk changes through its journal, so a
                // kill at any moment leaves it wholly old or wholly new.
                std::string text;
                if (!ReplaceThrough(container, track, replacement, text)) {
                    result.text = text;
                    return result;
                }
            } else {
                const std::string rebuilt = temporaries.Add(RebuildTemporaryPath(
                    original, static_cast<long>(CurrentProcessId()), NextNumber()));
                if (!RebuildInto(container, track, replacement, rebuilt, result.text)) {
                    return result;
                }
                if (request.releaseChain) {
                    request.releaseChain();
                }
                if (!ReplaceOriginal(rebuilt, original, result.text)) {
                    return result;
                }
                temporaries.Keep(rebuilt);
            }
            result.outcome = inPlace ? ContainerReplaceOutcome::kReplacedInPlace
                                     : ContainerReplaceOutcome::kRebuilt;
            result.text = inPlace ? innermostText : RebuiltText();
            return result;
        }
        const std::string next = temporaries.Add(InnerTemporaryPath());
        std::string text;
        const bool made =
            rebuild ? RebuildInto(container, track, replacement, next, result.text)
                    : ReplaceInCopy(container, track, replacement, next, result.text, text);
        if (!made) {
            return result;
        }
        if (level == chain.size() - 1 && !rebuild) {
            innermostText = text;
        }
        // The container's new bytes replace its track in the parent.
        replacement = next;
        track = request.links[level - 1];
        --level;
        switch (MeasureFit(*chain[level], track, replacement, needed, room, result.text)) {
            case Fit::kFailed:
                return result;
            case Fit::kFits:
                rebuild = false;
                break;
            case Fit::kUnknown:
                // Without a measure the parent is rebuilt when it can be, else replaced; in
                // place the new bytes have the old ones' size and are replaced.
                rebuild = !inPlace && chain[level]->CanRebuild();
                break;
            case Fit::kTooBig:
                if (inPlace) {
                    result.text = "The replaced container no longer fits its place.";
                    return result;
                }
                rebuild = true;
                break;
        }
    }
}

// Where the innermost container's first byte lies in the outermost file: the sum of the offsets
// of the tracks that lead to it. None unless the outermost is a file on disk, every level above
// the innermost tells its tracks' offsets and the innermost can replace within that file.
std::optional<std::uint64_t> InnermostOffset(const std::vector<const ExplorerSession*>& chain,
                                             const std::vector<std::string>& links) {
    if (chain.size() < 2 || chain.front()->memoryImage != nullptr ||
        !chain.back()->CanReplaceWithin()) {
        return std::nullopt;
    }
    std::uint64_t offset = 0;
    for (std::size_t level = 0; level + 1 < chain.size(); ++level) {
        if (!chain[level]->CanTellOffsets()) {
            return std::nullopt;
        }
        const auto told = chain[level]->TrackOffset(links[level]).value;
        if (!told || *told > std::numeric_limits<std::uint64_t>::max() - offset) {
            return std::nullopt;
        }
        // A level inside another lies in the same view: the offset it tells must lead to the
        // bytes the level below was opened from.
        if (level > 0 && static_cast<const std::uint8_t*>(chain[level]->memoryImage) + *told !=
                             chain[level + 1]->memoryImage) {
            return std::nullopt;
        }
        offset += *told;
    }
    return offset;
}

// Replaces tracks of the innermost container in place, straight into the outermost file's view
// and journalled in that file's journal: only the bytes that change are written. false with the
// text.
bool ReplaceWithin(const std::vector<const ExplorerSession*>& chain, std::uint64_t offset,
                   const std::vector<std::string>& tracks, const std::vector<std::string>& files,
                   std::string& text) {
    const PluginAnswer<bool> replaced =
        chain.back()->ReplaceManyWithin(tracks, files, chain.front()->path, offset);
    text = replaced.TextOr(replaced.value ? "OK" : "Error replacing file.");
    return replaced.value;
}

}  // namespace

ContainerReplaceResult ReplaceInContainer(const ContainerReplaceRequest& request) {
    ContainerReplaceResult result;
    const auto& chain = request.chain;
    if (chain.empty() || request.links.size() + 1 != chain.size()) {
        result.text = "Error replacing file.";
        return result;
    }
    const ExplorerSession& innermost = *chain.back();
    if (!innermost.CanReplace()) {
        result.text = "Tracks of this container cannot be replaced.";
        return result;
    }
    std::uint32_t needed = 0;
    std::uint32_t room = 0;
    switch (MeasureFit(innermost, request.track, request.replacement, needed, room, result.text)) {
        case Fit::kFailed:
            return result;
        case Fit::kFits:
        case Fit::kUnknown:
            // The plug-in decides, as a plain replacement always has.
            if (const auto offset = InnermostOffset(chain, request.links)) {
                // The innermost's bytes lie in the outermost file's view: its explorer writes
                // the track there, journalled in that file's journal.
                result.outcome = ReplaceWithin(chain, *offset, {request.track},
                                               {request.replacement}, result.text)
                                     ? ContainerReplaceOutcome::kReplacedInPlace
                                     : ContainerReplaceOutcome::kFailed;
                return result;
            }
            if (chain.size() > 1) {
                // The innermost's bytes lie in its parent's: written there directly they would
                // bypass the outer file's journal. Without an explorer that journals them in
                // that file, they change in a copy and go back outwards.
                RemoveStaleInnerTemporaries();
                return WriteOutwards(request, true, std::string());
            }
            result.outcome =
                ReplaceThrough(innermost, request.track, request.replacement, result.text)
                    ? ContainerReplaceOutcome::kReplacedInPlace
                    : ContainerReplaceOutcome::kFailed;
            return result;
        case Fit::kTooBig:
            break;
    }
    const ExplorerSession& outermost = *chain.front();
    result.rebuildable = innermost.CanRebuild() && outermost.memoryImage == nullptr;
    if (!request.allowRebuild) {
        result.outcome = ContainerReplaceOutcome::kNeedsRebuild;
        result.size = needed;
        result.room = room;
        result.text = "The replacement takes " + std::to_string(needed) +
                      " bytes but the track has room for " + std::to_string(room) +
                      ": the container must be rebuilt.";
        return result;
    }
    if (!result.rebuildable) {
        // Worded from the same entry point that decided: a replacement of one track is rebuilt
        // with fnRebuildFile.
        result.text = !innermost.CanRebuild()
                          ? "A container of this kind cannot be rebuilt."
                          : "The container was not opened from a file: it cannot be rebuilt.";
        return result;
    }
    std::string original;
    if (!ResolveWritable(outermost, original, result.text)) {
        return result;
    }
    // What earlier rebuilds killed half-way left behind, here and in the temporary folder.
    RemoveStaleRebuildTemporaries(original);
    RemoveStaleInnerTemporaries();
    return WriteOutwards(request, false, original);
}

namespace {

// Writes size bytes at data to a new file at path; false with the text.
bool WriteBytes(const std::string& path, const void* data, std::uint32_t size, std::string& error) {
    std::ofstream out(StreamPath(path), std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        error = "Can't write " + path + " file.";
    }
    return static_cast<bool>(out);
}

// The new bytes of a batch's innermost container, made in a temporary file and open there.
class BatchCopy {
  public:
    BatchCopy(const ExplorerSession& innermost, Temporaries& temporaries, std::string path)
        : innermost_(innermost), temporaries_(temporaries), path_(std::move(path)) {}

    // Starts from a copy of the innermost's bytes (a nested container's); false with the text.
    bool StartFromCopy(std::string& error) {
        temporaries_.Add(path_);
        return WriteBytes(path_, innermost_.memoryImage, innermost_.memorySize, error) &&
               Open(error);
    }
    // Starts from the innermost rebuilt in one pass with every track holding its file; false
    // with the text.
    bool StartFromRebuild(const std::vector<std::string>& tracks,
                          const std::vector<std::string>& files, std::string& error) {
        temporaries_.Add(path_);
        const PluginAnswer<bool> rebuilt = innermost_.RebuildMany(tracks, files, path_);
        if (!rebuilt.value) {
            error = rebuilt.TextOr("Error rebuilding the container.");
            return false;
        }
        return Open(error);
    }
    // Puts every file into its track of the copy, in place (each fits: it fitted the track it
    // was copied from); false with the text and the index of the one that failed.
    bool PutAll(const std::vector<std::string>& tracks, const std::vector<std::string>& files,
                std::string& error, int& failed) {
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            if (!ReplaceThrough(*open_, tracks[i], files[i], error)) {
                failed = static_cast<int>(i);
                return false;
            }
        }
        return true;
    }
    // Closes the copy and names its file.
    const std::string& Finish() {
        CloseOpenedFile(open_);
        return path_;
    }

  private:
    bool Open(std::string& error) {
        open_ = ExplorerSession::Open(innermost_.AsExplorer(), path_, nullptr, 0, error);
        return open_ != nullptr;
    }

    const ExplorerSession& innermost_;
    Temporaries& temporaries_;
    std::string path_;
    ExplorerSessionPtr open_;
};

// Measures every replacement of the batch into result (tooBig, sizes, rooms); false with the
// failure set.
bool MeasureBatch(const BatchReplaceRequest& request, BatchReplaceResult& result) {
    const ExplorerSession& innermost = *request.chain.back();
    for (std::size_t i = 0; i < request.tracks.size(); ++i) {
        std::uint32_t needed = 0;
        std::uint32_t room = 0;
        const Fit fit = MeasureFit(innermost, request.tracks[i], request.replacements[i], needed,
                                   room, result.text);
        if (fit == Fit::kFailed) {
            result.failedTrack = static_cast<int>(i);
            return false;
        }
        if (fit == Fit::kTooBig) {
            result.tooBig.push_back(i);
            result.sizes.push_back(needed);
            result.rooms.push_back(room);
        }
    }
    return true;
}

// Every replacement of a batch that fits, into the file on disk as one journalled write.
BatchReplaceResult ReplaceManyInPlace(const BatchReplaceRequest& request) {
    BatchReplaceResult result;
    const ExplorerSession& container = *request.chain.back();
    if (request.tracks.size() == 1) {
        const bool replaced =
            ReplaceThrough(container, request.tracks[0], request.replacements[0], result.text);
        result.outcome =
            replaced ? ContainerReplaceOutcome::kReplacedInPlace : ContainerReplaceOutcome::kFailed;
        return result;
    }
    if (!container.CanReplaceMany()) {
        result.text = "Several tracks of this container cannot be replaced at once.";
        return result;
    }
    const PluginAnswer<bool> replaced = container.ReplaceMany(request.tracks, request.replacements);
    result.text = replaced.TextOr(replaced.value ? "OK" : "Error replacing file.");
    result.outcome = replaced.value ? ContainerReplaceOutcome::kReplacedInPlace
                                    : ContainerReplaceOutcome::kFailed;
    return result;
}

}  // namespace

BatchReplaceResult ReplaceManyInContainer(const BatchReplaceRequest& request) {
    BatchReplaceResult result;
    const auto& chain = request.chain;
    if (chain.empty() || request.links.size() + 1 != chain.size() || request.tracks.empty() ||
        request.tracks.size() != request.replacements.size()) {
        result.text = "Error replacing file.";
        return result;
    }
    const ExplorerSession& innermost = *chain.back();
    if (!innermost.CanReplace()) {
        result.text = "Tracks of this container cannot be replaced.";
        return result;
    }
    if (!MeasureBatch(request, result)) {
        return result;
    }
    const bool nested = chain.size() > 1;
    if (result.tooBig.empty() && !nested) {
        return ReplaceManyInPlace(request);
    }
    if (result.tooBig.empty()) {
        if (const auto offset = InnermostOffset(chain, request.links)) {
            result.outcome =
                ReplaceWithin(chain, *offset, request.tracks, request.replacements, result.text)
                    ? ContainerReplaceOutcome::kReplacedInPlace
                    : ContainerReplaceOutcome::kFailed;
            return result;
        }
    }
    // A batch is rebuilt in one pass, with every replacement.
    result.rebuildable = innermost.CanRebuildMany() && chain.front()->memoryImage == nullptr;
    if (!result.tooBig.empty() && !request.allowRebuild) {
        result.outcome = ContainerReplaceOutcome::kNeedsRebuild;
        result.text = "Some replacements do not fit their tracks: the container must be rebuilt.";
        return result;
    }
    if (!result.tooBig.empty() && !result.rebuildable) {
        // Worded from the same entry point that decided: a batch is rebuilt with fnRebuildFiles.
        result.text = !innermost.CanRebuildMany()
                          ? "A container of this kind cannot be rebuilt."
                          : "The container was not opened from a file: it cannot be rebuilt.";
        return result;
    }
    std::string original;
    if (!nested) {
        if (!ResolveWritable(*chain.front(), original, result.text)) {
            return result;
        }
        RemoveStaleRebuildTemporaries(original);
    }
    RemoveStaleInnerTemporaries();

    // The new innermost container, in a temporary file: beside the file on disk, which it
    // replaces by a rename, or in the temporary folder for a nested one.
    Temporaries temporaries;
    BatchCopy copy(innermost, temporaries,
                   nested ? InnerTemporaryPath()
                          : RebuildTemporaryPath(original, static_cast<long>(CurrentProcessId()),
                                                 NextNumber()));
    const bool made =
        result.tooBig.empty()
            ? copy.StartFromCopy(result.text) &&
                  copy.PutAll(request.tracks, request.replacements, result.text, result.failedTrack)
            : copy.StartFromRebuild(request.tracks, request.replacements, result.text);
    if (!made) {
        return result;
    }
    const std::string newContainer = copy.Finish();
    if (!nested) {
        if (request.releaseChain) {
            request.releaseChain();
        }
        if (!ReplaceOriginal(newContainer, original, result.text)) {
            return result;
        }
        temporaries.Keep(newContainer);
        result.outcome = ContainerReplaceOutcome::kRebuilt;
        result.text = RebuiltText();
        return result;
    }
    // The new inner container goes back as its parent's track, as one replacement.
    ContainerReplaceRequest parent;
    parent.chain.assign(chain.begin(), chain.end() - 1);
    parent.links.assign(request.links.begin(), request.links.end() - 1);
    parent.track = request.links.back();
    parent.replacement = newContainer;
    parent.allowRebuild = request.allowRebuild;
    parent.releaseChain = request.releaseChain;
    const ContainerReplaceResult put = ReplaceInContainer(parent);
    result.outcome = put.outcome;
    result.text = put.text;
    if (put.outcome == ContainerReplaceOutcome::kNeedsRebuild) {
        result.text = "The changed inner container does not fit its place: " + put.text;
        result.rebuildable = put.rebuildable;
    }
    return result;
}

}  // namespace fogbell
