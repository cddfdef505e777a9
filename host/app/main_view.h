// What the core asks of the main window. The desktop window implements it with its toolkit;
// tests implement it with a fake. Identifiers are the window's control ids.
//
// Threads: the core calls the view from the window thread, except for the methods marked
// "any thread", which worker threads and the play thread call while they run. Those must never
// block the calling thread on the window thread: an implementation queues them (a posted,
// never a blocking, cross-thread call) or answers from state it guards itself. The window
// thread joins the workers and the play thread at shutdown; a worker waiting there for the
// window would never end.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/audio/waveform.h"
#include "host/tracks/track_table.h"

namespace fogbell {

enum class ButtonId {
    kOpenContainer = 1002,
    kPreviousDirectory = 1004,
    kSelectAll = 1008,
    kPlay = 1009,
    kStop = 1010,
    kOpenAudioFile = 1025,
};

enum class ProgressId {
    kPlay = 1012,
    kSave = 1018,
    kExtract = 1019,
};

enum class CheckId {
    kAlwaysOnTop = 1007,
    kLoopSound = 1013,
};

// The play bar's caption while nothing plays.
inline constexpr const char* kPlayBarIdle = "Play file..";

// Commands of the track menu and of playback, as the window receives them.
enum CommandId : int {
    kCommandExtractAll = 2024,
    kCommandExtract = 2025,
    kCommandReplace = 2026,
    kCommandSaveWave = 2027,
    kCommandVolume = 2031,
    kCommandEndOfStream = 2032,
};

// kNone: a plain box with only its text and an OK button.
enum class MessageIcon { kNone, kInformation, kStop };

// What to do with an output file that exists already.
enum class OverwriteAnswer { kReplace, kKeep, kReplaceAll, kKeepAll };

struct MenuItem {
    int command;
    std::string text;
    bool enabled;
};

class MainView {
  public:
    virtual ~MainView() = default;

    // Track list (1000): a view of the core's table, which keeps the rows and their selection;
    // the view draws the shown rows and changes the selection through the table. BindTracks
    // comes once, from the core's constructor. TracksChanged: the shown rows changed as a whole
    // (a new list, the filter, the order), with their selection. SelectionChanged: only which
    // rows are selected; focusRow, unless -1, is a shown row to bring into sight.
    virtual void BindTracks(TrackTable& table) = 0;
    virtual void TracksChanged() = 0;
    virtual void SelectionChanged(long focusRow) = 0;

    virtual void SetCountLabel(const std::string& text) = 0;  // 1003
    virtual std::string CountLabel() const = 0;
    virtual void SetStatus(const std::string& text) = 0;       // 1005; any thread
    virtual void SetFileNameBox(const std::string& text) = 0;  // 1001
    virtual std::string FileNameBox() const = 0;
    virtual void SetSaveDirectoryBox(const std::string& text) = 0;  // 1015
    virtual std::string SaveDirectoryBox() const = 0;

    virtual void EnableButton(ButtonId id, bool enabled) = 0;  // any thread
    virtual bool IsButtonEnabled(ButtonId id) const = 0;

    // Progress bars; any thread. SetProgressRange also puts the position at low.
    virtual void SetProgressCaption(ProgressId id, const std::string& caption) = 0;
    virtual void SetProgressRange(ProgressId id, std::uint32_t low, std::uint32_t high) = 0;
    virtual void SetProgressPos(ProgressId id, std::uint32_t position) = 0;
    // The play bar's picture of the playing track (empty: none); window thread. A view that
    // draws no waveform ignores it.
    virtual void SetPlayWaveform(const Waveform& /*wave*/) {}
    // The play bar's window text (not drawn): what Play starts.
    virtual void SetPlayText(const std::string& text) = 0;
    virtual std::string PlayText() const = 0;

    virtual void SetCheck(CheckId id, bool checked) = 0;
    virtual bool IsChecked(CheckId id) const = 0;  // any thread
    virtual void ApplyTopMost(bool topMost) = 0;
    virtual void SetVolumeSlider(std::int32_t position) = 0;

    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // A question with the buttons Yes and No; true for Yes (No, and a closed box, are false).
    virtual bool AskYesNo(const std::string& text) = 0;
    // An output file exists: replace it, keep it, or the same for every other one of the
    // command. A box closed without an answer keeps every file.
    virtual OverwriteAnswer AskOverwrite(const std::string& path) = 0;
    // Open-file dialog with a filter ("" for none); nothing when cancelled.
    virtual std::optional<std::string> AskOpenFile(const std::string& filter) = 0;
    // The file that replaces a track: an open-file dialog with this title and filter, starting in
    // folder ("": where the dialogs are); nothing when cancelled. A view without such a dialog
    // asks with its plain one.
    virtual std::optional<std::string> AskReplacementFile(const std::string& title,
                                                          const std::string& filter,
                                                          const std::string& folder) {
        static_cast<void>(title);
        static_cast<void>(folder);
        return AskOpenFile(filter);
    }
    // Folder browser; nothing when cancelled.
    virtual std::optional<std::string> AskFolder(const std::string& title) = 0;
    // Shows a popup menu at a screen position; the chosen command, or nothing.
    virtual std::optional<int> ShowMenu(const std::vector<MenuItem>& items, int x, int y) = 0;

    // Runs a function on the window thread later (after the current event); any thread. It
    // must not wait for the task: a worker's last task joins the worker's own thread.
    virtual void PostToWindow(std::function<void()> task) = 0;
};

}  // namespace fogbell
