// The logic of the main window, free of any GUI: opening containers and audio files, the track
// list, nested containers, the track commands with their worker threads, the settings, and the
// start-up and tear-down order. The window forwards its events here and shows what the core
// tells its view. Its parts: main_core.cpp (start, end, commands, playback),
// main_core_settings.cpp, main_core_navigation.cpp (opening files, the track list, nested
// containers), main_core_commands.cpp (the track commands' workers), main_core_replace.cpp.
//
// Every method runs on the window thread. Worker threads touch only their progress bar, the
// status line and the plug-ins (through their sessions); they report their end through
// MainView::PostToWindow.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/app/main_view.h"
#include "host/app/playback_control.h"
#include "host/app/worker_pool.h"
#include "host/containers/container_chain.h"
#include "host/plugins/plugin_host.h"
#include "host/tracks/output_names.h"

namespace fogbell {

struct ContainerReplaceResult;  // host/containers/container_replace.h

struct CorePaths {
    std::string settingsFile;       // "ini.ini"
    std::string decoderDirectory;   // "decode_plugins"
    std::string explorerDirectory;  // "explore_plugins"
};

// The paths of a program in programDirectory. The settings file lives beside the program, or
// in the user's configuration folder when the program's folder is not writable.
CorePaths PathsFor(const std::string& programDirectory);

// The time of frames at rate as the play bar shows it: "M:SS", or "H:MM:SS" from an hour on.
std::string ClockText(std::uint64_t frames, std::uint32_t rate);

class MainCore final : private PlaybackListener {
  public:
    MainCore(MainView& view, PlaybackControl& playback);
    // Shuts down when the owner has not: that reads the view, so an owner whose view can die
    // first (a window's widgets) calls Shutdown itself while the view is still whole.
    ~MainCore();
    MainCore(const MainCore&) = delete;
    MainCore& operator=(const MainCore&) = delete;

    // Start: volume slider, settings, decoder then explorer plug-ins, save-directory box,
    // always-on-top, initial button states, then the sound device and the play thread. False
    // when those cannot be made (the reason was shown in a message box with the stop icon);
    // the window then closes, and Shutdown still writes the settings.
    bool Initialize(const CorePaths& paths);
    // Tear-down: settings written, workers stopped and waited for, playback ended, the stream,
    // the current container and every parent closed (top down), plug-ins unloaded.
    void Shutdown();

    // Button 1002: container dialog; on success the new container replaces everything.
    void OpenContainerDialog();
    // Button 1025: single audio file dialog; on success the file plays.
    void OpenAudioFileDialog();
    // Opens a container into the list without the dialog (what the dialog does with its path).
    bool OpenContainerPath(const std::string& path);
    // Plays a single audio file without the dialog.
    bool OpenAudioFilePath(const std::string& path);
    // Double-click on a row: open it as a nested container when an explorer claims it, else
    // play it.
    void OnRowDoubleClick();
    // Opens the first selected row as a container when an explorer claims its name. True when
    // the row was such a container (whether or not it opened; a failure is in the status line).
    bool OpenNestedContainer();
    // Button 1004.
    void GoToParentContainer();
    // Button 1008: every shown row selected.
    void SelectAll();
    // The names of the shown, selected rows, in the order shown.
    std::vector<std::string> CollectSelectedNames() const;
    // The filter field: only rows whose name holds text are shown (and acted on).
    void SetFilter(const std::string& text);
    // A click on a column's header: by it, then reversed, then the container's order again.
    void SortByColumn(int column);
    // The track list's rows and selection, which the view shows and selects in.
    const TrackTable& Tracks() const { return tracks_; }
    TrackTable& Tracks() { return tracks_; }

    // A drag out: writes the shown, selected tracks into folder, as stored (what "Extract..."
    // writes) or decoded to WAVE (asWave; what no decoder plays is left out), here on the
    // window's thread. The files written, in row order; the first failure's reason in error.
    // Nothing while a worker uses the container.
    std::vector<std::string> WriteSelectedTracks(const std::string& folder, bool asWave,
                                                 std::string& error);

    // The track menu's items with their states.
    std::vector<MenuItem> TrackMenuItems() const;
    // Right-click on the list (with rows) or button 1014: shows the menu, runs the choice.
    void ShowTrackMenu(int x, int y);
    // Menu and private commands (2024-2027, 2031, 2032). False for any other identifier.
    bool OnCommand(int command, std::int32_t parameter = 0);
    // Button 1016.
    void ChooseSaveDirectory();
    // "Replace file": asks for a file, and on a worker turns a WAVE into the track's format
    // (host/containers/replacement_file.h) and writes it into the track. A replacement larger than
    // the track's room is written only when the user agrees to have the container rebuilt; the
    // containers are then opened again from disk down to the level that was shown.
    void ReplaceTrack();
    // True from "Replace file" until its replacement has been written or given up (and the
    // containers opened again after a rebuild): one replacement at a time.
    bool IsReplacing() const { return replacing_; }

    // Play: the single audio file opened last, else the first selected row, which opens when it
    // is a container (as a double-click does).
    void StartPlayback();
    void StopPlayback();
    // Whether Play has something to play now: the single audio file opened last, or a selected
    // row of the open container that a decoder plays or an explorer opens.
    bool CanPlay() const;
    // Play on while nothing plays and CanPlay holds; the view calls it when the user changed the
    // selection.
    void UpdatePlayButton();
    // The 100 ms timer: the play bar where the sound is, its caption with the time
    // ("name  0:12 / 1:45"), and the volume.
    void OnPlayTimer();
    // The "Loop sound" check box changed (and at start): the engine is told its state.
    void OnLoopSoundChanged();
    // Seeking the track that plays: whether its decoder can; to a place on the play bar (in the
    // bar's range); by seconds from where the sound is (Left and Right). False when it cannot.
    bool CanSeek() const;
    bool IsPlaying() const { return playback_.IsPlaying(); }
    bool SeekBar(std::uint32_t units);
    bool SeekBy(int seconds);
    // The next track start begins that many seconds in (the command line's --start).
    void SetStartSeconds(double seconds) { startSeconds_ = seconds; }

    // Blocks until every worker started so far has ended (tests and the command line).
    void WaitForWorkers() { workers_.WaitForAll(); }
    int RunningWorkers() const { return workers_.Running(); }
    // Threads not yet joined: a worker's thread is joined when its end reaches the window.
    std::size_t WorkerThreads() const { return workers_.Threads(); }
    // Replaces how worker threads are started (by default a plain std::thread).
    void SetThreadStarter(ThreadStarter starter) { workers_.SetThreadStarter(std::move(starter)); }

    const PluginHost& Host() const { return host_; }
    const ExplorerSession* CurrentContainer() const { return chain_.Innermost(); }
    std::size_t NestingDepth() const { return chain_.Depth(); }
    // How each level was opened: the container's path on disk, then the track name that opened
    // each nested level in its parent (the last may have failed to open).
    std::vector<std::string> ChainNames() const { return chain_.Names(); }
    const DecoderSession* OpenStream() const { return openStream_.get(); }
    const std::string& SaveDirectory() const { return saveDirectory_; }
    // The folder of the last file chosen to replace a track ("" before the first).
    const std::string& ReplaceDirectory() const { return replaceDirectory_; }
    // The container shown as the command line names it: the file's absolute path, then the name
    // of each nested level, joined by "::" (as read from the settings until one is opened).
    const std::string& LastFileName() const { return lastFileName_; }
    std::int32_t Volume() const { return volume_; }

  private:
    // PlaybackListener: what the engine reports becomes what the window shows.
    void PlayFailed(const std::string& reason) override;
    void PlayStarted(const std::string& trackName, std::uint32_t size) override;
    void PlayEnded(std::int32_t track) override;

    static constexpr std::int32_t kVolumeFull = 10000;
    static constexpr std::int32_t kVolumeLowest = 5000;  // the slider's minimum, -50 dB

    // A new list from the container; the filter is cleared unless keepFilter (the same
    // container listed again). The status line says so of a damaged container (DamageNotice,
    // also returned; "" for a whole one).
    std::string FillTrackList(const ExplorerSession& container, bool keepFilter = false);
    // "Count files: N", or "Count files: shown of all" while a filter is set.
    void ShowCount();
    // The chain in the file-name box (the path as opened, then each nested name, joined by
    // " \u203A ") and in lastFileName_.
    void ShowChain();
    void CloseOpenStream();
    void CloseOpenStream(const PlaybackControl::Exclusion& held);
    // Starts computing the waveform of the track that has just started (from the container
    // shown when fromRow, else name is a path); the play bar gets it when it is ready. The
    // track change has stopped the previous computation.
    void StartWaveform(const std::string& name, bool fromRow);
    // Stops the waveform's computation (before anything it reads may close or change) and
    // takes the waveform off the play bar. Never with the explorer's lock held: the job takes it.
    void StopWaveform();
    void LoadSettings();
    void SaveSettings();

    // Of the tracks whose output file exists already, the user chooses which to replace; the
    // rest are left out of outputs and counted in kept. Before the worker starts.
    void LeaveOutKept(std::vector<TrackOutput>& outputs, std::size_t& kept);
    void StartExtract(int mode);
    void StartSaveWave();
    // The play bar with nothing playing: at its start, its caption kPlayBarIdle.
    void ShowPlayBarIdle();
    // Where the replacement dialog starts: the last replacement's folder while it exists, else
    // the folder of the container file shown.
    std::string ReplacementStartFolder() const;
    // Takes the save directory from its box, asking for one when the box is empty; false with a
    // status text when it is unusable or none was chosen.
    bool PrepareSaveDirectory();
    // Starts a worker (buttons that could close its container go off while workers run); what
    // names the command in the status line when its thread cannot be started, false then.
    using WorkerBody = WorkerPool::Body;
    bool LaunchWorker(const char* what, WorkerBody body);
    // After the last worker: the buttons come back, and a rebuild that waited for the workers
    // starts (StartPendingRebuild).
    void OnWorkersEnded();

    // The steps of "Replace file" after the file was chosen (main_core_replace.cpp).
    struct ReplaceJob;
    void StartReplaceWorker(std::shared_ptr<ReplaceJob> job);
    void OnReplaced(const std::shared_ptr<ReplaceJob>& job, const ContainerReplaceResult& result);
    void AskToRebuild(const std::shared_ptr<ReplaceJob>& job, const ContainerReplaceResult& result);
    void AskToDropLoop(const std::shared_ptr<ReplaceJob>& job, const std::string& why);
    void AskToWriteRaw(const std::shared_ptr<ReplaceJob>& job, const std::string& why);
    // Releases the window's containers and starts the rebuild that waited for the workers.
    void StartPendingRebuild();
    // On the rebuild's worker: the containers opened again from their names, and rebuilt.
    ContainerReplaceResult RebuildOnOwnChain(const ReplaceJob& job) const;
    // Shows the end of a replacement ("File replaced." when replaced) and lets the next start.
    void EndReplace(const std::string& status, bool replaced);
    // Closes every container (and the stream) and opens the chain again from disk, down to the
    // level that was shown, with its list filled and the same rows selected.
    void ReopenContainerChain();

    MainView& view_;
    PlaybackControl& playback_;
    TrackTable tracks_;
    PluginHost host_;
    CorePaths paths_;
    bool initialized_ = false;

    // The container shown (innermost) and its parents; bottom = opened from disk.
    ContainerChain chain_{host_};
    // After the chain: a stream may borrow a container's bytes, so it closes first.
    DecoderSessionPtr openStream_;

    std::string saveDirectory_;
    std::string replaceDirectory_;
    std::string lastFileName_;
    std::int32_t volume_ = 0;
    int pendingCommand_ = 0;
    std::string playingName_;  // the play bar's caption without its time
    double startSeconds_ = 0;  // where the next track start begins

    // The end-of-stream command may reach the window thread after the core is gone (the
    // window's event loop can outlive it); it holds this weakly and does nothing then.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    bool replacing_ = false;  // window thread only
    // The rebuild the user agreed to, until no worker reads the window's containers.
    std::shared_ptr<ReplaceJob> pendingRebuild_;
    std::atomic<bool> stopWorkers_{false};
    // The waveform its job finished, until the play timer hands it to the view.
    std::mutex waveformMutex_;
    std::optional<Waveform> readyWaveform_;
    // The playing track's length from its waveform (0 until then): what the caption shows.
    std::uint64_t playingFrames_ = 0;
    // After everything its job reads (plug-ins, the chain): its thread is joined first.
    WaveformWorker waveform_;
    // Last: its threads are waited for before anything they use goes.
    WorkerPool workers_{[this](std::function<void()> task) { view_.PostToWindow(std::move(task)); },
                        [this] { OnWorkersEnded(); }};
};

}  // namespace fogbell
