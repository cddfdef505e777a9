#include "host/core/main_core.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/core/ini_file.h"
#include "host/core/native_path.h"
#include "host/core/output_names.h"
#include "host/core/track_jobs.h"
#include "host/core/track_listing.h"

namespace fogbell {
namespace {

constexpr const char* kSettingsSection = "General";
constexpr std::int32_t kVolumeFull = 10000;
constexpr std::int32_t kVolumeLowest = 5000;  // the slider's minimum, -50 dB

// A settings number: the leading decimal number of the text, 0 when there is none, saturated to
// 32 bits.
std::int32_t NumberOf(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));  // "%u" written
    }
    return value < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(value);
}

std::string UnsignedText(std::int64_t value) {
    return std::to_string(static_cast<std::uint32_t>(value));
}

std::string UserConfigDirectory() {
#if defined(_WIN32)
    // The wide form: the narrow environment is in the local code page.
    if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData) {
        return Utf8FromWide(appData) + "\\Fogbell";
    }
#endif
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return std::string(xdg) + "/fogbell";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/fogbell";
}

std::string ProgressCaption(std::size_t index, std::size_t count, const std::string& name) {
    return std::to_string(index + 1) + "/" + std::to_string(count) + ": " + name;
}

// The status line after a batch: nothing when everything worked.
std::string FailureText(const char* what, std::size_t failed, std::size_t count,
                        const std::string& firstError) {
    return std::string(what) + ": " + std::to_string(failed) + " of " + std::to_string(count) +
           " files failed. " + firstError;
}

}  // namespace

CorePaths PathsFor(const std::string& programDirectory) {
    namespace fs = std::filesystem;
    const fs::path dir = PathFromUtf8(programDirectory);
    CorePaths paths;
    const bool writable = DirectoryWritable(dir);
    paths.settingsFile =
        Utf8FromPath((writable ? dir : PathFromUtf8(UserConfigDirectory())) / "ini.ini");
    paths.decoderDirectory = Utf8FromPath(dir / "decode_plugins");
    paths.explorerDirectory = Utf8FromPath(dir / "explore_plugins");
    return paths;
}

MainCore::MainCore(MainView& view, PlaybackControl& playback) : view_(view), playback_(playback) {
    // The end-of-stream command arrives through the window's queue and may outlive the core.
    playback_.SetCommandSink([this, alive = std::weak_ptr(alive_)](int command, std::int32_t p) {
        if (!alive.expired()) {
            OnCommand(command, p);
        }
    });
}

MainCore::~MainCore() {
    if (initialized_) {
        Shutdown();
    }
    WaitForWorkers();
}

bool MainCore::Initialize(const CorePaths& paths) {
    paths_ = paths;
    view_.SetVolumeSlider(kVolumeFull);
    LoadSettings();
    host_.LoadDecoderPlugins(paths_.decoderDirectory);
    host_.LoadExplorerPlugins(paths_.explorerDirectory);
    view_.SetSaveDirectoryBox(saveDirectory_);
    view_.ApplyTopMost(view_.IsChecked(CheckId::kAlwaysOnTop));
    view_.EnableButton(ButtonId::kPreviousDirectory, false);
    view_.EnableButton(ButtonId::kPlay, false);
    view_.EnableButton(ButtonId::kStop, false);
    initialized_ = true;  // a failed start still tears down and writes the settings
    std::string error;
    if (!playback_.StartPlayThread(error)) {
        view_.ShowMessage(error, MessageIcon::kStop);
        return false;
    }
    return true;
}

void MainCore::Shutdown() {
    if (!initialized_) {
        return;
    }
    initialized_ = false;
    SaveSettings();
    // Workers use the current container and the plug-ins: they stop between tracks (or blocks)
    // and are waited for before anything they use is closed.
    stopWorkers_ = true;
    WaitForWorkers();
    CloseOpenStream();
    chain_.Close();
    playback_.Shutdown();
    host_.UnloadPlugins();
}

void MainCore::LoadSettings() {
    IniFile ini;
    ini.Load(paths_.settingsFile);
    auto value = [&](const char* key) { return ini.Get(kSettingsSection, key); };
    view_.SetCheck(CheckId::kAlwaysOnTop, NumberOf(value("Top")) != 0);
    if (std::string name = value("FileName"); !name.empty()) {
        lastFileName_ = name;
    }
    view_.SetCheck(CheckId::kLoopSound, NumberOf(value("LoopAix")) != 0);
    // A missing key is full volume, so that the first track is heard; anything else is held to
    // the slider's range. The key keeps its "%u" form when written back.
    const std::string volume = value("Volume");
    volume_ =
        volume.empty() ? kVolumeFull : std::clamp(NumberOf(volume), kVolumeLowest, kVolumeFull);
    view_.SetVolumeSlider(volume_);
    saveDirectory_ = value("SaveDir");
}

void MainCore::SaveSettings() {
    IniFile ini;
    ini.Load(paths_.settingsFile);  // other keys and sections are kept
    std::string fileName = view_.FileNameBox();
    if (fileName.empty() && view_.RowCount() > 0) {
        fileName = view_.CellText(0, kColumnName);
    }
    // A value the file cannot hold (a control byte in a track name) is written empty: it must
    // not forge keys, and a stale value must not stand in for it.
    auto store = [&](const char* key, const std::string& value) {
        if (!ini.Set(kSettingsSection, key, value)) {
            ini.Set(kSettingsSection, key, "");
        }
    };
    store("FileName", fileName);
    ini.Set(kSettingsSection, "Top", UnsignedText(view_.IsChecked(CheckId::kAlwaysOnTop)));
    ini.Set(kSettingsSection, "LoopAix", UnsignedText(view_.IsChecked(CheckId::kLoopSound)));
    ini.Set(kSettingsSection, "Volume", UnsignedText(volume_));
    saveDirectory_ = view_.SaveDirectoryBox();
    store("SaveDir", saveDirectory_);
    std::error_code ignored;
    std::filesystem::create_directories(PathFromUtf8(paths_.settingsFile).parent_path(), ignored);
    // A failed write is not reported; it leaves the old file whole.
    ini.Save(paths_.settingsFile);
}

// ---------------------------------------------------------------------------------------------
// Opening files and the track list

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

void MainCore::CloseOpenStream() {
    auto exclusion = playback_.ExcludeRefill();
    CloseOpenStream(exclusion);
}

void MainCore::CloseOpenStream(const PlaybackControl::Exclusion& held) {
    playback_.ReleaseStream(held);
    CloseOpenedFile(openStream_);
}

void MainCore::OpenContainerDialog() {
    if (runningWorkers_ > 0) {
        return;  // a worker uses the current container
    }
    if (auto path = view_.AskOpenFile(BuildOpenFilter(host_.ExplorerExtensions()))) {
        OpenContainerPath(*path);
    }
}

bool MainCore::OpenContainerPath(const std::string& path) {
    if (runningWorkers_ > 0) {
        return false;
    }
    std::string error;
    ContainerChain opened(host_);
    const ExplorerSession* container =
        opened.OpenFile(path, error) ? opened.Innermost() : nullptr;
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
    view_.EnableButton(ButtonId::kPreviousDirectory, runningWorkers_ == 0);
    return true;
}

void MainCore::GoToParentContainer() {
    if (chain_.Depth() == 0 || runningWorkers_ > 0) {
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

// ---------------------------------------------------------------------------------------------
// Track commands

std::vector<MenuItem> MainCore::TrackMenuItems() const {
    const std::vector<std::string> selected = CollectSelectedNames();
    const std::size_t n = selected.size();
    const ExplorerSession* current = chain_.Innermost();
    const bool container = current != nullptr;
    const bool decoder = n > 0 && host_.FindDecoder(selected.front()) != nullptr;
    const bool replace = n == 1 && container && current->CanReplace();
    return {
        {kCommandExtract, "Extract...", n > 0 && container},
        {kCommandSaveWave, "Save as wav..", n > 0 && container && (n > 1 || decoder)},
        {kCommandReplace, "Replace file", replace},
        {kCommandExtractAll, "Extract all files...", view_.RowCount() > 0},
    };
}

void MainCore::ShowTrackMenu(int x, int y) {
    const std::vector<MenuItem> items = TrackMenuItems();
    const std::optional<int> choice = view_.ShowMenu(items, x, y);
    if (!choice) {
        return;
    }
    for (const MenuItem& item : items) {
        if (item.command == *choice && item.enabled) {
            OnCommand(*choice);
        }
    }
}

bool MainCore::OnCommand(int command, std::int32_t parameter) {
    switch (command) {
        case kCommandExtractAll:
        case kCommandExtract:
            pendingCommand_ = command;
            StartExtract(command);
            return true;
        case kCommandReplace:
            ReplaceTrack();
            return true;
        case kCommandSaveWave:
            StartSaveWave();
            return true;
        case kCommandVolume:
            volume_ = std::clamp(parameter, kVolumeLowest, kVolumeFull);
            playback_.SetVolume(volume_ - kVolumeFull);
            return true;
        case kCommandEndOfStream:
            // Posted by the play thread; one posted for an earlier track never stops this one.
            if (playback_.IsCurrentEndOfStream(parameter)) {
                StopPlayback();
            }
            return true;
        default:
            return false;
    }
}

bool MainCore::PrepareSaveDirectory() {
    saveDirectory_ = view_.SaveDirectoryBox();
    std::error_code error;
    if (saveDirectory_.empty()) {
        view_.SetStatus("Select a directory for save first.");
        return false;
    }
    if (!std::filesystem::is_directory(PathFromUtf8(saveDirectory_), error)) {
        view_.SetStatus("Directory for save not found: " + saveDirectory_);
        return false;
    }
    return true;
}

void MainCore::BeginWorker() {
    ++runningWorkers_;
    view_.EnableButton(ButtonId::kPreviousDirectory, false);
    view_.EnableButton(ButtonId::kOpenContainer, false);
}

void MainCore::EndWorker(std::uint64_t id) {
    // The thread posted its end as its last step: the join waits for its return at most.
    if (auto worker = workers_.find(id); worker != workers_.end()) {
        if (worker->second.joinable()) {
            worker->second.join();
        }
        workers_.erase(worker);
    }
    if (--runningWorkers_ > 0) {
        return;  // the last worker to end gives the buttons back
    }
    view_.EnableButton(ButtonId::kPreviousDirectory, chain_.Depth() > 0);
    view_.EnableButton(ButtonId::kOpenContainer, true);
    if (reopenPending_) {
        // A rebuild renamed new files over the open ones; nothing uses the old ones any more.
        reopenPending_ = false;
        ReopenContainerChain();
        replacing_ = false;
    }
}

bool MainCore::LaunchWorker(const char* what, WorkerBody body) {
    BeginWorker();
    const std::uint64_t id = ++lastWorkerId_;
    try {
        workers_.emplace(id, startThread_([this, id, body = std::move(body)] {
                             std::function<void()> report = body();
                             view_.PostToWindow([this, alive = std::weak_ptr(alive_), id, report] {
                                 if (alive.expired()) {
                                     return;
                                 }
                                 report();
                                 EndWorker(id);
                             });
                         }));
    } catch (const std::system_error& error) {
        EndWorker(id);
        view_.SetStatus(std::string(what) + ": can't start a worker thread (" +
                        error.code().message() + ").");
        return false;
    }
    return true;
}

void MainCore::WaitForWorkers() {
    for (auto& [id, worker] : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
    workers_.clear();
}

void MainCore::StartExtract(int mode) {
    if (chain_.Innermost() == nullptr || !PrepareSaveDirectory()) {
        return;
    }
    std::vector<std::string> names;
    if (mode == kCommandExtractAll) {
        for (int row = 0; row < view_.RowCount(); ++row) {
            names.push_back(view_.CellText(row, kColumnName));
        }
    } else {
        names = CollectSelectedNames();
    }
    const ExplorerSession* container = chain_.Innermost();
    WorkerBody body = [this, container, names = std::move(names),
                       directory = saveDirectory_]() -> std::function<void()> {
        const std::size_t count = names.size();
        view_.SetProgressRange(ProgressId::kExtract, 0, static_cast<std::uint32_t>(count));
        std::size_t failed = 0;
        std::string firstError;
        for (std::size_t d = 0; d < count && !stopWorkers_; ++d) {
            view_.SetProgressCaption(ProgressId::kExtract, ProgressCaption(d, count, names[d]));
            view_.SetProgressPos(ProgressId::kExtract, static_cast<std::uint32_t>(d));
            std::string error;
            if (!ExtractTrack(*container, names[d], directory, error)) {
                if (failed++ == 0) {
                    firstError = names[d] + ": " + error;
                }
            }
        }
        view_.SetProgressCaption(ProgressId::kExtract, "Extract done");
        view_.SetProgressPos(ProgressId::kExtract, 0);
        return [this, failed, count, firstError] {
            if (failed > 0) {
                view_.SetStatus(FailureText("Extract", failed, count, firstError));
            }
        };
    };
    LaunchWorker("Extract", std::move(body));
}

void MainCore::StartSaveWave() {
    if (chain_.Innermost() == nullptr || !PrepareSaveDirectory()) {
        return;
    }
    const ExplorerSession* container = chain_.Innermost();
    WorkerBody body = [this, container, names = CollectSelectedNames(),
                       directory = saveDirectory_]() -> std::function<void()> {
        const std::size_t count = names.size();
        std::size_t failed = 0;
        std::string firstError;
        for (std::size_t i = 0; i < count && !stopWorkers_; ++i) {
            const std::string& name = names[i];
            SaveCallbacks callbacks;
            callbacks.fileCreated = [&] {
                view_.SetProgressCaption(ProgressId::kSave, ProgressCaption(i, count, name));
            };
            callbacks.range = [&](std::uint32_t size) {
                view_.SetProgressRange(ProgressId::kSave, 0, size);
            };
            callbacks.position = [&](std::uint32_t position) {
                view_.SetProgressPos(ProgressId::kSave, position);
            };
            callbacks.stop = &stopWorkers_;
            std::string error;
            const std::string out = OutputPath(directory, name, ".wav");
            if (!SaveTrackAsWave(host_, container, name, out, callbacks, error)) {
                if (failed++ == 0) {
                    firstError = name + ": " + error;
                }
            }
        }
        view_.SetProgressCaption(ProgressId::kSave, "Save done");
        view_.SetProgressPos(ProgressId::kSave, 0);
        return [this, failed, count, firstError] {
            if (failed > 0) {
                view_.SetStatus(FailureText("Save as wav", failed, count, firstError));
            }
        };
    };
    LaunchWorker("Save as wav", std::move(body));
}

void MainCore::ChooseSaveDirectory() {
    if (auto folder = view_.AskFolder("Select Folder")) {
        saveDirectory_ = *folder;
    }
    view_.SetSaveDirectoryBox(saveDirectory_);
}

// ---------------------------------------------------------------------------------------------
// Playback

void MainCore::StartPlayback() {
    view_.SetProgressPos(ProgressId::kPlay, 0);
    // The play text is a full path (the single-file command) and is kept whole; a name taken
    // from a row is only ever looked up in the open container, never opened as a path.
    const std::string text = view_.PlayText();
    const std::vector<std::string> selected = CollectSelectedNames();
    const bool fromRow = !selected.empty() && text.empty();
    const std::string name = fromRow ? selected.front() : text;

    std::string error;
    // Order: the explorer, then the refill exclusion, then the decoder. The track's bytes stay
    // held until the decoder has taken them (an AIX record selects the track).
    TrackBytes track;
    if (fromRow) {
        if (chain_.Innermost() != nullptr && chain_.Innermost()->IsOpen()) {
            track = chain_.Innermost()->Track(name);
            if (!track) {
                error = host_.FindDecoder(name) ? track.TextOr("Error loading file.")
                                                : "Format unsupported.";
            }
        } else {
            error = "No container is open.";
        }
    }
    // The whole track change happens under the exclusion: the feeding thread never sees the old
    // stream closed under it, nor the new one before the engine has taken it.
    auto exclusion = playback_.ExcludeRefill();
    CloseOpenStream(exclusion);
    if (error.empty()) {
        openStream_ = host_.OpenStream(name, track.Data(), track.Size(), error);
    }
    track.Release();
    if (!openStream_) {
        view_.SetStatus(error);
        return;
    }
    playback_.Play(exclusion, *openStream_, name);
}

void MainCore::StopPlayback() {
    auto exclusion = playback_.ExcludeRefill();
    playback_.Stop(exclusion);
    view_.SetProgressPos(ProgressId::kPlay, 0);
    view_.EnableButton(ButtonId::kPlay, true);
    view_.EnableButton(ButtonId::kStop, false);
    CloseOpenStream(exclusion);
}

void MainCore::OnPlayTimer() {
    if (!playback_.IsPlaying()) {
        return;
    }
    std::optional<std::uint32_t> position;
    {
        // The feeding thread decodes on this handle; ask for the position between its steps.
        auto exclusion = playback_.ExcludeRefill();
        if (openStream_ && openStream_->IsOpen()) {
            position = openStream_->Position();
        }
    }
    if (!position) {
        return;
    }
    view_.SetProgressPos(ProgressId::kPlay, *position);
    playback_.SetVolume(volume_ - kVolumeFull);
}

}  // namespace fogbell
