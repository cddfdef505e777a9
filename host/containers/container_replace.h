// Replacing a track inside a container, in place when the replacement fits the track's room and
// by rebuilding the container when it does not, for the command line and the window alike.
//
// In place: the innermost container's own fnReplaceFile on its open handle, exactly as a plain
// replacement (a container file on disk is changed through its journal, journal.h). A nested
// container's bytes lie in the outermost file's view, where a plain write would bypass that
// file's journal: the innermost's explorer is told where its bytes lie in the file (the sum of
// the offsets, fnGetTrackOffset, of the tracks that lead to it) and replaces the track there with
// fnReplaceFilesWithin, journalling only the bytes that change in the outermost file's journal.
// A kill at any moment leaves that file wholly old or wholly new, and the replacement costs what
// the same one in a file of its own costs. With explorers that lack those entry points the track
// is replaced in a private copy of the innermost container's bytes (fnLoadFileMemory +
// fnReplaceFile on the copy), and the changed container, of the same size, goes back as its
// parent's track the same way, outwards, until the outermost file's own journalled
// fnReplaceFile writes it: a copy of each inner container in memory and in a temporary file.
//
// Rebuild, from the innermost container outwards: the innermost container's explorer writes a
// complete new container with the track replaced (fnRebuildFile) to a temporary file; those
// bytes then replace the track of the parent that holds it, in a private copy of the parent's
// bytes when they fit the track's room (fnLoadFileMemory + fnReplaceFile on the copy), or by a
// rebuild of the parent; and so on outwards. Only the outermost level touches the file on disk:
// either its own journalled fnReplaceFile (the new inner bytes fit) or a rebuild into a
// temporary file in the same folder, flushed, then renamed over the original (and the folder
// flushed) only when complete. Any failure removes the temporaries and leaves the original as
// it was; so does a process killed half-way (the rename is the one step that changes it).
//
// A temporary beside the original is named ".NAME.fogbell-rebuild-PID-N" (hidden, with the
// writing process's id); those of inner levels are "fogbell-rebuild-PID-N.tmp" in the system's
// temporary folder. A process killed mid-rebuild leaves them behind; they are never read, and
// the next rebuild (of the same container, for those beside it) removes those whose process no
// longer runs.
//
// After a rebuild the open handles of the chain still view the old container (the outermost
// one maps the replaced file, which lives on until it is closed; inner ones keep their old
// tables): callers close every level and open the container again before using it. After a
// replacement in place in a nested container the inner handles keep their old tables over the
// new bytes: callers open the inner levels again too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/plugins/plugin_host.h"

namespace fogbell {

struct ContainerReplaceRequest {
    // The open containers, outermost first; the outermost opened from its file on disk (its
    // path), each other one from its parent's track bytes (OpenedFile::memoryImage).
    std::vector<const ExplorerSession*> chain;
    // links[i] is the name of chain[i]'s track that chain[i + 1] was opened from (one fewer
    // than chain).
    std::vector<std::string> links;
    // The track of the innermost container to replace, as its explorer names it.
    std::string track;
    // The file to put in, already in the track's format (ConvertedReplacement::Path()).
    std::string replacement;
    // Whether a replacement that does not fit may rebuild the containers.
    bool allowRebuild = false;
    // Called once when a rebuilt file is complete, just before it replaces the original, for a
    // caller that can close every level of the chain there (the chain is not used after it).
    // Windows refuses to replace a file that is still mapped, so a rebuild there needs it; on
    // POSIX systems the handles may stay open and view the old file until they are closed.
    std::function<void()> releaseChain;
};

enum class ContainerReplaceOutcome {
    kReplacedInPlace,  // the track was overwritten in place
    kRebuilt,          // the container was rebuilt; callers close and reopen the chain
    kNeedsRebuild,     // nothing written: it does not fit, and rebuilding was not allowed
    kFailed,           // text says why; the container file is as it was
};

struct ContainerReplaceResult {
    ContainerReplaceOutcome outcome = ContainerReplaceOutcome::kFailed;
    // For the user: the plug-in's text after a replacement in place ("OK", or a note such as a
    // cut it made), a sentence after a rebuild or when one is needed, the reason of a failure.
    std::string text;
    // kNeedsRebuild: the bytes the replacement takes in the track and the bytes the track offers.
    std::uint64_t size = 0;
    std::uint64_t room = 0;
    // kNeedsRebuild: whether rebuilding could be tried (the innermost container's kind can be
    // rebuilt and the outermost is a file on disk).
    bool rebuildable = false;
};

// Replaces the track as above. The explorers are called through their sessions, call by call.
ContainerReplaceResult ReplaceInContainer(const ContainerReplaceRequest& request);

// Several tracks of the innermost container replaced as one step: the container is wholly old
// or wholly new after a failure or a kill. In place when every replacement fits: for a file on
// disk one fnReplaceFiles (one journal for every range); for a nested container one
// fnReplaceFilesWithin as above, or, with explorers that lack it, the tracks are replaced in a
// temporary copy of its bytes, which then goes back as its parent's track as ReplaceInContainer
// puts it. When one does not fit and rebuilding is allowed, the innermost
// container is rebuilt into a temporary file in one pass with every replacement (its explorer's
// fnRebuildFiles), and the result replaces the file on disk by a rename, or goes back to the
// parent as above.
struct BatchReplaceRequest {
    std::vector<const ExplorerSession*> chain;  // as ContainerReplaceRequest
    std::vector<std::string> links;
    // The innermost's tracks, each at most once, and the files to put in, in their formats.
    std::vector<std::string> tracks;
    std::vector<std::string> replacements;
    bool allowRebuild = false;
    std::function<void()> releaseChain;
};

struct BatchReplaceResult {
    ContainerReplaceOutcome outcome = ContainerReplaceOutcome::kFailed;
    // A note or the reason of a failure, as ContainerReplaceResult's.
    std::string text;
    // The track a failure belongs to, when it is one track's (index into tracks), else -1.
    int failedTrack = -1;
    // Every track that does not fit in place (indices into tracks), with its sizes.
    std::vector<std::size_t> tooBig;
    std::vector<std::uint64_t> sizes;
    std::vector<std::uint64_t> rooms;
    bool rebuildable = false;  // as ContainerReplaceResult's
};

BatchReplaceResult ReplaceManyInContainer(const BatchReplaceRequest& request);

// The temporary file a rebuild of the container at path writes beside it, for a process and a
// number (the name above).
std::string RebuildTemporaryPath(const std::string& path, long processId, unsigned number);

// Removes the temporaries beside the container at path left by rebuilds whose process no longer
// runs; returns how many it removed.
int RemoveStaleRebuildTemporaries(const std::string& path);

}  // namespace fogbell
