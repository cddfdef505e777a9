// "Replace file" of the main window: the chosen file is turned into the track's own format on a
// worker thread and written into the track in place; a replacement larger than the track's room
// is written only after the user agreed to have the container rebuilt, and the containers are
// then opened again from disk.
//
// One replacement runs at a time (IsReplacing). Its steps:
//   1. window thread: the track and the file are chosen;
//   2. worker: the file is converted, and written in place when it fits;
//   3. window thread: success or failure is shown, or the user is asked about a rebuild, or
//      whether to replace a looped track without a loop when its loop does not fit the new
//      length (yes: back to step 2 without a loop), or whether to write a file the track's
//      decoder cannot read as it is (yes: back to step 2 with the file's own bytes);
//   4. window thread, once no worker runs: playback stops and the window's containers are
//      released, names kept (a rebuilt file takes the old one's place, and Windows renames no
//      file over one that is still mapped);
//   5. worker: the containers are opened from their names on the worker's own chain and rebuilt
//      (outwards, for nested containers); the worker's chain is closed before the new file takes
//      the old one's place;
//   6. window thread: every level is opened again from disk, whatever the rebuild's outcome.
#include <algorithm>
#include <filesystem>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "host/app/main_core.h"
#include "host/containers/container_replace.h"
#include "host/containers/replace_report.h"
#include "host/containers/replacement_file.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell {
namespace {

constexpr const char* kReplaced = "File replaced.";
// After the decoders' own filters in the replacement dialog.
constexpr const char* kEveryFileFilter = "All files (*.*)|*.*|";

// The last part of a path, for texts that name the chosen file.
std::string FileNameOf(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    return name.empty() ? path : name;
}

// The folder part of a path ("" for a bare name).
std::string FolderOf(const std::string& path) {
    return Utf8FromPath(PathFromUtf8(path).parent_path());
}

}  // namespace

struct MainCore::ReplaceJob {
    // The window's containers from the file on disk down to the one whose track is replaced,
    // and the track names that lead from each to the next: the replacement in place writes
    // through them (the window keeps them open while any worker runs).
    std::vector<const ExplorerSession*> chain;
    std::vector<std::string> links;
    // The names that lead to the container (the file's path, then each track name), from which
    // a rebuild opens its own chain.
    std::vector<std::string> names;
    std::string track;
    std::string file;
    // The loop the converted stream carries (track_conversion.h): what the WAVE or the track
    // keeps, or none once the user agreed to drop a loop that does not fit.
    ReplacementLoop loop;
    // The user agreed to write the file's own bytes, which the track's decoder cannot read.
    bool raw = false;
    // Made on the worker; the converted file lives until the job ends.
    std::unique_ptr<ConvertedReplacement> replacement;
    // The window's chain was released for a rebuild: it is opened again when the rebuild ends.
    bool chainReleased = false;

    // The file on disk that a rebuild writes, as texts name it.
    std::string ContainerName() const { return FileNameOf(names.front()); }
};

void MainCore::ReplaceTrack() {
    const ExplorerSession* current = chain_.Innermost();
    if (current == nullptr || !current->IsOpen()) {
        return;
    }
    const std::vector<std::string> selected = CollectSelectedNames();
    if (selected.empty()) {
        return;
    }
    if (replacing_) {
        view_.SetStatus("Another replacement is still running.");
        return;
    }
    // Audio files first (what the decoders read), then every file; the dialog starts where the
    // last replacement came from.
    const std::optional<std::string> path =
        view_.AskReplacementFile("Replace " + selected.front(),
                                 BuildOpenFilter(host_.DecoderExtensions()) + kEveryFileFilter,
                                 ReplacementStartFolder());
    if (!path) {
        return;
    }
    replaceDirectory_ = FolderOf(*path);
    if (!current->CanReplace()) {
        view_.SetStatus("Error replacing file.");
        return;
    }
    auto job = std::make_shared<ReplaceJob>();
    job->chain = chain_.Levels();
    job->links = chain_.Links();
    job->names = chain_.Names();
    job->track = selected.front();
    job->file = *path;
    // The row goes on showing the track as it was listed, as every row read before does.
    if (const long row = tracks_.FindShown(job->track); row >= 0) {
        tracks_.Fill(static_cast<std::size_t>(row));
    }
    StartReplaceWorker(std::move(job));
}

void MainCore::StartReplaceWorker(std::shared_ptr<ReplaceJob> job) {
    replacing_ = true;
    view_.SetStatus("Replacing " + job->track + " with " + FileNameOf(job->file) + "...");
    WorkerBody body = [this, job]() -> std::function<void()> {
        // Converting a long WAVE takes seconds: its progress is shown on the save bar.
        bool converting = false;
        std::uint32_t shownSize = 0;
        ConversionControl control;
        control.stop = &stopWorkers_;
        control.progress = [&](std::uint32_t position, std::uint32_t size) {
            if (!converting || size != shownSize) {
                converting = true;
                shownSize = size;
                view_.SetProgressCaption(ProgressId::kSave, "Converting " + job->track);
                view_.SetProgressRange(ProgressId::kSave, 0, size);
            }
            view_.SetProgressPos(ProgressId::kSave, position);
        };
        job->replacement = std::make_unique<ConvertedReplacement>(
            host_, *job->chain.back(), job->track, job->file, control, job->loop, job->raw);
        if (converting) {
            view_.SetProgressCaption(ProgressId::kSave, "Convert done");
            view_.SetProgressPos(ProgressId::kSave, 0);
        }
        if (job->replacement->LoopRefused()) {
            const std::string why = job->replacement->Error();
            return [this, job, why] { AskToDropLoop(job, why); };
        }
        if (job->replacement->Unplayable()) {
            const std::string why = job->replacement->Error();
            return [this, job, why] { AskToWriteRaw(job, why); };
        }
        if (!job->replacement->Ok()) {
            const std::string text = std::string(kWindowNotReplaced) + "can't convert " +
                                     FileNameOf(job->file) + ". " + job->replacement->Error();
            return [this, text] { EndReplace(text, false); };
        }
        if (stopWorkers_) {
            return [this] { EndReplace("", false); };  // the window is closing: nothing written
        }
        const ContainerReplaceResult result = ReplaceInContainer(ContainerReplaceRequest{
            job->chain, job->links, job->track, job->replacement->Path(), false, {}});
        return [this, job, result] { OnReplaced(job, result); };
    };
    if (!LaunchWorker("Replace file", std::move(body))) {
        replacing_ = false;
    }
}

void MainCore::OnReplaced(const std::shared_ptr<ReplaceJob>& job,
                          const ContainerReplaceResult& result) {
    if (job->chainReleased) {
        // Nothing else uses the released chain: it opens from disk as the file now is, rebuilt
        // or as it was.
        job->chainReleased = false;
        ReopenContainerChain();
    } else if (result.outcome == ContainerReplaceOutcome::kReplacedInPlace &&
               job->links.size() > 0) {
        // The inner levels' tables still describe their old bytes.
        ReopenContainerChain();
    }
    // What happened to the loop is said with the success.
    const std::string note = job->replacement ? job->replacement->Note() : std::string();
    const auto said = [&note](const std::string& status) {
        return note.empty() ? status : status + (status.ends_with('.') ? " " : ". ") + note;
    };
    if (result.outcome == ContainerReplaceOutcome::kNeedsRebuild && result.rebuildable) {
        AskToRebuild(job, result);
        return;
    }
    const ReplaceReport report = DescribeReplace(result, ReplaceReader::kWindow);
    EndReplace(report.replaced ? said(report.text) : report.text, report.replaced);
}

void MainCore::EndReplace(const std::string& status, bool replaced) {
    replacing_ = false;
    if (!initialized_) {
        return;  // the window is closing: nobody reads the texts
    }
    // Set also when empty: "Replacing..." or "Rebuilding..." is over.
    view_.SetStatus(status);
    if (replaced) {
        view_.ShowMessage(kReplaced, MessageIcon::kNone);
    }
}

std::string MainCore::ReplacementStartFolder() const {
    if (!replaceDirectory_.empty() && IsFolder(replaceDirectory_)) {
        return replaceDirectory_;
    }
    const std::vector<std::string> names = chain_.Names();
    return names.empty() ? std::string() : FolderOf(names.front());
}

void MainCore::AskToRebuild(const std::shared_ptr<ReplaceJob>& job,
                            const ContainerReplaceResult& result) {
    if (!initialized_) {
        replacing_ = false;
        return;
    }
    const bool converted = job->replacement->Path() != job->file;
    const std::string question =
        FileNameOf(job->file) + (converted ? " in the track's format needs " : " needs ") +
        std::to_string(result.size) + " bytes, but " + job->track + " has room for " +
        std::to_string(result.room) + " only.\n\nRebuild " + job->ContainerName() +
        " to make room for it? Every other track stays as it is.";
    if (!view_.AskYesNo(question)) {
        EndReplace(std::string(kWindowNotReplaced) + job->track + " keeps its old sound.", false);
        return;
    }
    view_.SetStatus("Rebuilding " + job->ContainerName() + "...");
    // The window's containers are released for the rebuild, so it waits for every worker that
    // reads them (this one's report included): OnWorkersEnded starts it.
    pendingRebuild_ = job;
    if (workers_.Running() == 0) {
        StartPendingRebuild();
    }
}

void MainCore::AskToDropLoop(const std::shared_ptr<ReplaceJob>& job, const std::string& why) {
    if (!initialized_) {
        replacing_ = false;
        return;
    }
    job->replacement.reset();  // its temporary goes: the conversion runs again
    if (!view_.AskYesNo(why + "\n\nReplace " + job->track + " with " + FileNameOf(job->file) +
                        " without a loop?")) {
        EndReplace(std::string(kWindowNotReplaced) + job->track + " keeps its old sound.", false);
        return;
    }
    job->loop = ReplacementLoop{LoopChoice::kNone, {}};
    StartReplaceWorker(job);
}

void MainCore::AskToWriteRaw(const std::shared_ptr<ReplaceJob>& job, const std::string& why) {
    if (!initialized_) {
        replacing_ = false;
        return;
    }
    job->replacement.reset();
    if (!view_.AskYesNo(why + "\n\nWrite " + FileNameOf(job->file) + " into " + job->track +
                        " as it is all the same?")) {
        EndReplace(std::string(kWindowNotReplaced) + job->track + " keeps its old sound.", false);
        return;
    }
    job->raw = true;
    StartReplaceWorker(job);
}

void MainCore::StartPendingRebuild() {
    const std::shared_ptr<ReplaceJob> job = std::exchange(pendingRebuild_, nullptr);
    if (!job) {
        return;
    }
    if (!initialized_) {
        replacing_ = false;
        return;
    }
    // A stream may play from the container's bytes: it ends before they are released.
    if (playback_.IsPlaying()) {
        StopPlayback();
    } else {
        CloseOpenStream();
    }
    tracks_.DropSource();  // the rows stay shown while the containers are closed
    chain_.Release();
    job->chainReleased = true;
    WorkerBody body = [this, job]() -> std::function<void()> {
        const ContainerReplaceResult rebuilt = RebuildOnOwnChain(*job);
        return [this, job, rebuilt] { OnReplaced(job, rebuilt); };
    };
    if (!LaunchWorker("Rebuild", std::move(body))) {
        job->chainReleased = false;
        ReopenContainerChain();
        replacing_ = false;
    }
}

ContainerReplaceResult MainCore::RebuildOnOwnChain(const ReplaceJob& job) const {
    ContainerChain chain(host_);
    std::string error;
    if (!chain.OpenNames(job.names, error)) {
        ContainerReplaceResult failed;
        failed.text = std::string(kWindowNotReplaced) + "can't open " + job.ContainerName() +
                      " again. " + error;
        return failed;
    }
    ContainerReplaceRequest request{chain.Levels(),          chain.Links(), job.track,
                                    job.replacement->Path(), true,          {}};
    // Closed before the rebuilt file takes the old one's place; nothing uses it after that.
    request.releaseChain = [&chain] { chain.Close(); };
    return ReplaceInContainer(request);
}

void MainCore::ReopenContainerChain() {
    if (!initialized_ || chain_.Empty()) {
        return;
    }
    const std::vector<std::string> selected = CollectSelectedNames();
    // A stream may play from the old bytes of a container: it ends before they are closed.
    if (playback_.IsPlaying()) {
        StopPlayback();
    } else {
        CloseOpenStream();
    }
    std::string error;
    tracks_.DropSource();
    const bool whole = chain_.Reopen(error);
    if (chain_.Empty()) {
        tracks_.Clear();
        view_.TracksChanged();
        view_.SetCountLabel("Count files: 0");
        view_.SetStatus(error);
        view_.EnableButton(ButtonId::kPreviousDirectory, false);
        return;
    }
    // The deepest level that opens is shown, with the reason when it is not the one that was.
    FillTrackList(*chain_.Innermost(), true);
    const std::unordered_set<std::string_view> wasSelected(selected.begin(), selected.end());
    for (std::size_t row = 0; row < tracks_.ShownCount(); ++row) {
        if (wasSelected.count(tracks_.ShownName(row)) != 0) {
            tracks_.SetSelected(row, true);
        }
    }
    view_.SelectionChanged(-1);
    UpdatePlayButton();  // the selected rows play as before the rebuild
    ShowChain();
    view_.EnableButton(ButtonId::kPreviousDirectory, chain_.Depth() > 0 && workers_.Running() == 0);
    if (!whole) {
        view_.SetStatus(error);
    }
}

}  // namespace fogbell
