// Fogbell's main window: dialog template 102 as a Qt dialog. It shows what the core tells it
// (it is the core's MainView) and forwards every control event to the core, as the routing
// table below says. The window owns the core and the sound output, and shuts the core down
// (settings written, workers joined, streams and containers closed, plug-ins unloaded) before
// any of its widgets goes away.
//
// Routing: 1002 open container; 1025 open audio file; 1004 parent container; 1008 select all;
// 1009 play; 1010 stop; 1016 choose the save directory; 1006 and the system menu's About item
// the About window; 1007 always on top; 1014 track menu under the button; 1013, 1017, 1024
// nothing; 2 (Exit), Escape (outside the filter field) and the close box end with "cancel",
// Enter with "OK". List: a
// right-click (with rows) shows the track menu at the pointer, a double-click opens a nested
// container and plays. The slider sends 2031, the play thread's end of stream 2032; the
// 100 ms timer moves the play bar.
//
// Threads: everything runs on the window thread except the view's "any thread" methods, which
// never block their caller: calls from other threads are queued to the window thread, and the
// check boxes' states are read from a copy kept for them.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "fogbell_version.h"
#include "host/app/main_core.h"
#include "host/app/main_view.h"
#include "host/app/playback_control.h"
#include "host/window/window_dialogs.h"

class QAbstractButton;
class QLabel;
class QLineEdit;
class QMenu;
class QItemSelection;
class QMimeData;
class QSlider;
class QTreeView;

namespace fogbell::window {

class TrackModel;

struct WindowSetup {
    CorePaths paths;
    QString pictureFile;  // "pic.jpg" beside the program
    // The sound output the window plays through.
    std::function<std::unique_ptr<PlaybackControl>()> makePlayback;
    // Modal interactions; Qt's when not set.
    std::unique_ptr<WindowDialogs> dialogs;
};

// The window caption after start-up.
inline constexpr const char* kCaptionStart = "Mistvale's Sound Explorer ";
inline constexpr const char* kCaptionVersion = "Version " FOGBELL_VERSION;
// The system menu's About item.
inline constexpr int kSystemAboutCommand = 16;
inline constexpr const char* kSystemAboutText = "&About Fogbell...";
inline constexpr int kPlayTimerPeriodMs = 100;

class MainWindow : public QDialog, public MainView {
    Q_OBJECT

  public:
    explicit MainWindow(WindowSetup setup, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up after the controls exist. False when the program must end at once (no sound
    // device, no play thread): the reason has been shown and the window torn down.
    bool Initialize();
    // Opens a container, or plays a single audio file, by its path (command line and drops).
    bool OpenPath(const QString& path);
    // Menu and private commands: 2024-2027, 2031 (parameter: the slider's position), 2032,
    // system-menu commands 16-31; anything else goes to the dialog (1 OK, 2 cancel).
    void OnCommand(int command, std::int32_t parameter = 0);
    // Ends the dialog; the core is shut down first.
    void done(int result) override;
    // Runs the tasks other threads post to the window (PostToWindow).
    bool event(QEvent* event) override;

    MainCore& Core() { return *core_; }
    QWidget* Control(int id) const;
    QMenu* SystemMenu() const { return systemMenu_; }
    bool IsTimerRunning() const { return playTimer_.isActive(); }
    bool IsTornDown() const { return tornDown_; }
    // What a drag of the selected rows carries: the tracks written into folder (as stored, or as
    // WAVE files with asWave) as file addresses; null when nothing was written.
    std::unique_ptr<QMimeData> MakeDragData(const QString& folder, bool asWave);

    // MainView
    void BindTracks(TrackTable& table) override;
    void TracksChanged() override;
    void SelectionChanged(long focusRow) override;
    void SetCountLabel(const std::string& text) override;
    std::string CountLabel() const override;
    void SetStatus(const std::string& text) override;
    void SetFileNameBox(const std::string& text) override;
    std::string FileNameBox() const override;
    void SetSaveDirectoryBox(const std::string& text) override;
    std::string SaveDirectoryBox() const override;
    void EnableButton(ButtonId id, bool enabled) override;
    bool IsButtonEnabled(ButtonId id) const override;
    void SetProgressCaption(ProgressId id, const std::string& caption) override;
    void SetProgressRange(ProgressId id, std::uint32_t low, std::uint32_t high) override;
    void SetProgressPos(ProgressId id, std::uint32_t position) override;
    void SetPlayWaveform(const Waveform& wave) override;
    void SetPlayText(const std::string& text) override;
    std::string PlayText() const override;
    void SetCheck(CheckId id, bool checked) override;
    bool IsChecked(CheckId id) const override;
    void ApplyTopMost(bool topMost) override;
    void SetVolumeSlider(std::int32_t position) override;
    void ShowMessage(const std::string& text, MessageIcon icon) override;
    bool AskYesNo(const std::string& text) override;
    OverwriteAnswer AskOverwrite(const std::string& path) override;
    std::optional<std::string> AskOpenFile(const std::string& filter) override;
    std::optional<std::string> AskReplacementFile(const std::string& title,
                                                  const std::string& filter,
                                                  const std::string& folder) override;
    std::optional<std::string> AskFolder(const std::string& title) override;
    std::optional<int> ShowMenu(const std::vector<MenuItem>& items, int x, int y) override;
    void PostToWindow(std::function<void()> task) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Space plays the selection or stops; Enter on the list opens or plays the selected row;
    // Backspace goes to the parent container. True when the key was taken.
    bool OnPlayerKey(QKeyEvent* event);
    bool eventFilter(QObject* watched, QEvent* event) override;
    static constexpr int kSeekStepSeconds = 5;  // Left and Right on the play bar
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateControls();
    // The size, place and column widths kept in the settings file: restored at start, written at
    // the end.
    void RestorePlacement();
    void SavePlacement() const;
    void ConnectControls();
    void SetUpControls();
    void BuildSystemMenu();
    void ShowTrackMenuUnderButton();
    void OnListRightClick(const QPoint& viewportPosition);
    // A drag out of the list: the tracks go through a temporary folder, removed when the drop
    // is over (the target has copied them by then).
    void DragSelectedTracks();
    // The list's selection as the core's table has it.
    void ShowCoreSelection();
    // A user's selection in the list, taken into the core's table.
    void TakeViewSelection(const QItemSelection& selected, const QItemSelection& deselected);
    // Settings written, workers joined, everything closed, plug-ins unloaded; once.
    void TearDown();
    // Runs task now on the window thread, or queues it there from any other thread.
    void OnWindowThread(std::function<void()> task);
    QAbstractButton* Button(int id) const;
    QWidget* Bar(ProgressId id) const;

    WindowSetup setup_;
    const std::thread::id windowThread_ = std::this_thread::get_id();
    std::unique_ptr<WindowDialogs> dialogs_;
    std::map<int, QWidget*> controls_;
    // Every control (the group box too) with its place at the template's size and its anchors.
    struct Placed {
        QWidget* widget;
        QRect place;
        unsigned anchors;
    };
    std::vector<Placed> placed_;
    QTreeView* list_ = nullptr;
    TrackModel* model_ = nullptr;
    TrackTable* tracks_ = nullptr;       // the core's
    bool showingCoreSelection_ = false;  // the list's selection changes come from the core
    QLineEdit* filterBox_ = nullptr;
    QLineEdit* fileNameBox_ = nullptr;
    QLineEdit* saveDirectoryBox_ = nullptr;
    QLabel* countLabel_ = nullptr;
    QLabel* status_ = nullptr;
    QSlider* volume_ = nullptr;
    QMenu* systemMenu_ = nullptr;
    QTimer playTimer_;
    std::string fileNameText_;            // the file-name box's exact bytes
    std::string playText_ = "Progress1";  // the play bar's window text, never drawn
    // The check boxes' states, for the threads that read them (1007, 1013).
    std::atomic<bool> alwaysOnTop_{false};
    std::atomic<bool> loopSound_{false};

    std::unique_ptr<PlaybackControl> playback_;
    std::unique_ptr<MainCore> core_;
    bool coreStarted_ = false;
    bool tornDown_ = false;
};

}  // namespace fogbell::window
