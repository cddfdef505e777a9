// Opening containers and single audio files, the track list, and walking into the containers
// inside a container and back out, through the container chain.
#include <string>
#include <vector>

#include "host/core/main_core.h"
#include "host/core/track_listing.h"

namespace fogbell {

void MainCore::FillTrackList(const ExplorerSession& container) {
    if (!container.IsOpen() || container.Explorer() == nullptr) {
        return;
    }
    view_.DeleteAllRows();
    const auto rows = ListTracks(host_, container);
    if (!rows) {
        return;
    }
    for (std::size_t i = 0; i < rows->size(); ++i) {
        const TrackRow& row = (*rows)[i];
        const int index = static_cast<int>(i);
        view_.InsertRow(index, row.name);
        view_.SetCell(index, kColumnLength, row.length);
        view_.SetCell(index, kColumnBitrate, row.bitrate);
    }
    // An empty container shows a count of 0 rather than the count of the list it replaced.
    view_.SetCountLabel("Count files: " + std::to_string(rows->size()));
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
    const ExplorerSession* container = opened.OpenFile(path, error) ? opened.Innermost() : nullptr;
    if (container == nullptr) {
        view_.SetStatus(error);  // the old container, its rows and its parents stay
        return false;
    }
    FillTrackList(*container);
    const std::string notice = container->openNotice;
    CloseOpenStream();
    chain_ = std::move(opened);  // the old levels close, innermost first
    view_.EnableButton(ButtonId::kPreviousDirectory, false);
    view_.EnableButton(ButtonId::kPlay, false);
    view_.EnableButton(ButtonId::kStop, false);
    view_.SetFileNameBox(path);
    lastFileName_ = path;
    if (!notice.empty()) {
        view_.SetStatus(notice);
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
    const bool container = OpenNestedContainer();
    view_.SetPlayText("");
    // A container row was opened (or its open reported why not): there is nothing to play, and
    // playing now would stop the track that plays and report a failure after a good open.
    if (!container) {
        StartPlayback();
    }
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
    lastFileName_ = name;
    view_.SetFileNameBox(name);
    // While a worker runs, "Previous directory" stays off: it could close the worker's container.
    view_.EnableButton(ButtonId::kPreviousDirectory, workers_.Running() == 0);
    return true;
}

void MainCore::GoToParentContainer() {
    if (chain_.Depth() == 0 || workers_.Running() > 0) {
        return;
    }
    StopPlayback();
    chain_.Leave();
    const ExplorerSession& parent = *chain_.Innermost();
    FillTrackList(parent);
    lastFileName_ = parent.path;
    view_.SetFileNameBox(parent.path);
    if (chain_.Depth() == 0) {
        view_.EnableButton(ButtonId::kPreviousDirectory, false);
    }
}

void MainCore::SelectAll() {
    for (int row = 0; row < view_.RowCount(); ++row) {
        view_.SelectRow(row);
    }
}

std::vector<std::string> MainCore::CollectSelectedNames() const {
    std::vector<std::string> names;
    for (int row = 0; row < view_.RowCount(); ++row) {
        if (view_.IsRowSelected(row)) {
            names.push_back(view_.CellText(row, kColumnName));
        }
    }
    return names;
}

}  // namespace fogbell
