// Opening containers and single audio files, the track list, and walking into the containers
// inside a container and back out, through the container chain.
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "host/app/main_core.h"
#include "host/system/native_path.h"
#include "host/tracks/track_listing.h"

namespace fogbell {
namespace {

constexpr const char* kShownSeparator = " \xE2\x80\xBA ";  // " › "
constexpr const char* kPathSeparator = "::";               // as the command line splits chains

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(path), error);
    return error ? path : Utf8FromPath(absolute);
}

}  // namespace

void MainCore::ShowChain() {
    const std::vector<std::string> names = chain_.Names();
    std::string shown;
    std::string path;
    for (std::size_t i = 0; i < names.size(); ++i) {
        shown += (i == 0 ? "" : kShownSeparator) + names[i];
        path += i == 0 ? names[i] : kPathSeparator + names[i];
    }
    view_.SetFileNameBox(shown);
    lastFileName_ = path;
}

std::string MainCore::FillTrackList(const ExplorerSession& container, bool keepFilter) {
    if (!container.IsOpen() || container.Explorer() == nullptr) {
        return {};
    }
    if (!keepFilter) {
        tracks_.SetFilter("");
    }
    // The names only: each row's length and format are read when it is first drawn or sorted.
    PackedNames names;
    const bool listed = container.ListNames(names).value;
    const std::uint32_t damaged = listed ? container.DamagedCount() : 0;
    const std::size_t total = names.Size();
    tracks_.Reset(std::move(names),
                  listed ? std::make_unique<ContainerFacts>(host_, container, damaged) : nullptr);
    view_.TracksChanged();
    UpdatePlayButton();
    if (listed) {
        // An empty container shows a count of 0 rather than the count of the list it replaced.
        ShowCount();
    }
    std::string notice = DamageNotice(container.path, damaged, total);
    if (!notice.empty()) {
        view_.SetStatus(notice);
    }
    return notice;
}

void MainCore::ShowCount() {
    std::string count = std::to_string(tracks_.ShownCount());
    if (!tracks_.Filter().empty()) {
        count += " of " + std::to_string(tracks_.TotalCount());
    }
    view_.SetCountLabel("Count files: " + count);
}

void MainCore::SetFilter(const std::string& text) {
    if (text == tracks_.Filter()) {
        return;
    }
    tracks_.SetFilter(text);
    view_.TracksChanged();
    ShowCount();
    UpdatePlayButton();  // the filter may have hidden the selected rows
}

void MainCore::SortByColumn(int column) {
    tracks_.CycleSort(column);
    view_.TracksChanged();
}

void MainCore::OpenContainerDialog() {
    if (workers_.Running() > 0) {
        return;  // a worker uses the current container
    }
    if (auto path = view_.AskOpenFile(BuildOpenFilter(host_.ExplorerExtensions()))) {
        OpenContainerPath(*path);
    }
}

bool MainCore::OpenContainerPath(const std::string& path) {
    if (workers_.Running() > 0) {
        return false;
    }
    std::string error;
    ContainerChain opened(host_);
    // Absolute: the chain is opened again from it after a rebuild, and kept in the settings,
    // whatever the working folder is then.
    const ExplorerSession* container =
        opened.OpenFile(AbsolutePath(path), error) ? opened.Innermost() : nullptr;
    if (container == nullptr) {
        view_.SetStatus(error);  // the old container, its rows and its parents stay
        return false;
    }
    // What played belonged to what was open before: it ends, and the play bar forgets it.
    if (playback_.IsPlaying()) {
        StopPlayback();
    } else {
        CloseOpenStream();
        ShowPlayBarIdle();
    }
    view_.SetPlayText("");
    view_.SetStatus("");  // it spoke of what was open before
    const std::string damage = FillTrackList(*container);
    const std::string notice = container->openNotice;
    chain_ = std::move(opened);  // the old levels close, innermost first
    view_.EnableButton(ButtonId::kPreviousDirectory, false);
    UpdatePlayButton();
    ShowChain();
    if (!notice.empty()) {
        view_.SetStatus(damage.empty() ? notice : notice + " " + damage);
    }
    return true;
}

void MainCore::OpenAudioFileDialog() {
    if (auto path = view_.AskOpenFile(BuildOpenFilter(host_.DecoderExtensions()))) {
        OpenAudioFilePath(*path);
    }
}

bool MainCore::OpenAudioFilePath(const std::string& path) {
    std::string error;
    DecoderSessionPtr trial = host_.OpenStream(path, nullptr, 0, error);
    if (!trial) {
        view_.SetStatus(error);
        return false;
    }
    CloseOpenStream();
    CloseOpenedFile(trial);
    view_.EnableButton(ButtonId::kPlay, false);
    view_.EnableButton(ButtonId::kStop, false);
    view_.SetPlayText(path);
    StartPlayback();
    return true;
}

void MainCore::OnRowDoubleClick() {
    // A row, not the single file opened last: a container row opens (or its open reports why
    // not) and nothing plays then, so the track that plays goes on.
    view_.SetPlayText("");
    StartPlayback();
}

bool MainCore::OpenNestedContainer() {
    const std::vector<std::string> names = CollectSelectedNames();
    const ExplorerSession* current = chain_.Innermost();
    if (names.empty() || current == nullptr) {
        return false;
    }
    const std::string& name = names.front();
    if (!host_.FindExplorer(name)) {
        return false;  // not a container: the double-click only plays
    }
    if (!current->IsOpen()) {
        return false;
    }
    std::string error;
    switch (chain_.Enter(name, error)) {
        case ContainerChain::Entry::kNoBytes:
            view_.SetStatus(error);
            return true;
        case ContainerChain::Entry::kRefused:
            view_.SetStatus(error);  // the parent's rows stay; "Previous directory" brings it back
            break;
        case ContainerChain::Entry::kOpened:
            FillTrackList(*chain_.Innermost());
            break;
    }
    ShowChain();
    // While a worker runs, "Previous directory" stays off: it could close the worker's container.
    view_.EnableButton(ButtonId::kPreviousDirectory, workers_.Running() == 0);
    return true;
}

void MainCore::GoToParentContainer() {
    if (chain_.Depth() == 0 || workers_.Running() > 0) {
        return;
    }
    StopPlayback();
    const std::string left = chain_.Names().back();  // the row the nested level came from
    tracks_.DropSource();                            // its container closes now
    chain_.Leave();
    const ExplorerSession& parent = *chain_.Innermost();
    FillTrackList(parent);
    if (const long row = tracks_.FindShown(left); row >= 0) {
        tracks_.SetSelected(static_cast<std::size_t>(row), true);
        view_.SelectionChanged(row);
    }
    UpdatePlayButton();
    ShowChain();
    if (chain_.Depth() == 0) {
        view_.EnableButton(ButtonId::kPreviousDirectory, false);
    }
}

void MainCore::SelectAll() {
    tracks_.SelectAll();
    view_.SelectionChanged(-1);
    UpdatePlayButton();
}

std::vector<std::string> MainCore::CollectSelectedNames() const {
    return tracks_.SelectedNames();
}

}  // namespace fogbell
