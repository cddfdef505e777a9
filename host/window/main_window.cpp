#include "host/window/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QSlider>
#include <QTemporaryDir>
#include <QTreeView>
#include <QWindow>
#include <algorithm>
#include <climits>

#include "host/system/native_path.h"
#include "host/window/control_factory.h"
#include "host/window/dialog_template.h"
#include "host/window/open_filter.h"
#include "host/window/track_model.h"
#include "host/window/window_layout.h"

namespace fogbell::window {
namespace {

// A task another thread hands to the window thread. Qt deletes a posted event that never ran
// (its receiver gone), and the task with it.
class TaskEvent : public QEvent {
  public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + 1);
    explicit TaskEvent(std::function<void()> task) : QEvent(kType), task_(std::move(task)) {}
    void Run() { task_(); }

  private:
    std::function<void()> task_;
};

constexpr int kVolumeMin = 5000;
constexpr int kVolumeMax = 10000;

// Link targets of the three labels: this project's own addresses.
constexpr const char* kBugReportTarget = "mailto:bugs@fogbell.invalid";
constexpr const char* kSiteTarget = "https://fogbell.invalid/mistvale/";
constexpr const char* kForumTarget = "https://fogbell.invalid/mistvale/forum/";

// Column widths in pixels at the smallest window, filling the list; the titles come from the
// model.
constexpr std::array<int, 4> kColumnWidths{116, 60, 84, 44};

// Bitmap buttons in the order their bitmaps and tooltips are set up.
constexpr std::array<int, 9> kBitmapButtonOrder{
    kIdUpList,        kIdDownList, kIdSelectAll,        kIdPlay, kIdStop, kIdOpenAudioFile,
    kIdOpenContainer, kIdAbout,    kIdPreviousDirectory};

// Paths and names travel as bytes, UTF-8 where they are text. Linux shows them in the local
// 8-bit encoding (UTF-8). Windows shows them as its file names read them: UTF-8 where it is
// valid, any other byte as the character of its number (the local code page would garble
// both).
QString ToQt(const std::string& text) {
#if defined(_WIN32)
    return QString::fromStdWString(WideFromUtf8(text));
#else
    return QFile::decodeName(QByteArray::fromStdString(text));
#endif
}
std::string FromQt(const QString& text) {
#if defined(_WIN32)
    return Utf8FromWide(text.toStdWString().c_str());
#else
    return QFile::encodeName(text).toStdString();
#endif
}
// A path from Qt (its dialogs and drops write "/" on every system) in the system's own form.
std::string PathFromQt(const QString& path) {
    return FromQt(QDir::toNativeSeparators(path));
}

int ToInt(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(value, INT_MAX));
}

// The track list: a report-style list that reports every double-click, also on empty space.
class TrackList : public QTreeView {
  public:
    using QTreeView::QTreeView;
    std::function<void()> onDoubleClick;
    std::function<void()> onDrag;

  protected:
    void startDrag(Qt::DropActions) override {
        if (onDrag) {
            onDrag();
        }
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QTreeView::mouseDoubleClickEvent(event);
        if (event->button() == Qt::LeftButton && onDoubleClick) {
            onDoubleClick();
        }
    }
};

// The filter field: Escape empties it, and is taken by the field even when it is empty (a second
// Escape pressed to be sure must not end the program); Enter moves to the list instead of ending
// the dialog.
class FilterBox : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;
    QWidget* list = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            clear();
            return;
        }
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            list->setFocus();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

}  // namespace

MainWindow::MainWindow(WindowSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)) {
    dialogs_ = setup_.dialogs ? std::move(setup_.dialogs) : MakeQtDialogs();
    // Template 102: caption with system menu, minimise and maximise boxes; the template's size is
    // the smallest, and a larger window gives the list the room (window_layout.h).
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle("Fogbell");
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    setMinimumSize(DialogUnitsToPixels(kDialogUnits));
    resize(minimumSize());
    setAcceptDrops(true);
    CreateControls();
    ConnectControls();
    playback_ = setup_.makePlayback();
    core_ = std::make_unique<MainCore>(*this, *playback_);
}

MainWindow::~MainWindow() {
    // The core reads the controls while it shuts down: it goes before any widget does. The list
    // lets go of the core's rows first: events while the widgets go would ask for them.
    TearDown();
    list_->setModel(nullptr);
    core_.reset();
    playback_.reset();
}

QWidget* MainWindow::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QAbstractButton* MainWindow::Button(int id) const {
    return static_cast<QAbstractButton*>(Control(id));
}

QWidget* MainWindow::Bar(ProgressId id) const {
    return Control(static_cast<int>(id));
}

void MainWindow::CreateControls() {
    for (const ControlTemplate& control : MainTemplate()) {
        QWidget* widget = nullptr;
        switch (control.kind) {
            case ControlKind::kGroupBox:
                widget = new QGroupBox(QString::fromUtf8(control.text), this);
                break;
            case ControlKind::kTrackList: {
                auto* list = new TrackList(this);
                list->onDoubleClick = [this] { core_->OnRowDoubleClick(); };
                list->onDrag = [this] { DragSelectedTracks(); };
                list_ = list;
                widget = list;
                break;
            }
            case ControlKind::kFilter: {
                auto* filter = new FilterBox(this);
                filter->setPlaceholderText("Filter (Ctrl+F)");
                filter->setClearButtonEnabled(true);
                filterBox_ = filter;
                widget = filter;
                break;
            }
            case ControlKind::kReadOnlyEdit:
            case ControlKind::kEdit: {
                auto* edit = new QLineEdit(this);
                edit->setReadOnly(control.kind == ControlKind::kReadOnlyEdit);
                (control.id == kIdFileNameBox ? fileNameBox_ : saveDirectoryBox_) = edit;
                widget = edit;
                break;
            }
            case ControlKind::kBitmapButton:
            case ControlKind::kTextButton:
            case ControlKind::kCheckBox:
                widget = MakeImageButton(this, control);
                break;
            case ControlKind::kVolumeSlider:
                volume_ = MakeVolumeSlider(
                    this, control, [this](int position) { OnCommand(kCommandVolume, position); });
                widget = volume_;
                break;
            case ControlKind::kProgress:
                widget = MakeCaptionProgress(this, control);
                break;
            case ControlKind::kLabel:
            case ControlKind::kStatusLine: {
                auto* label = new QLabel(QString::fromUtf8(control.text), this);
                if (control.kind == ControlKind::kStatusLine) {
                    label->setAlignment(Qt::AlignCenter);
                    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                    status_ = label;
                } else {
                    countLabel_ = label;
                }
                widget = label;
                break;
            }
            case ControlKind::kLink:
                widget = MakeLinkLabel(this, control);
                break;
            case ControlKind::kPicture:
                widget = MakePicture(this, control);
                break;
        }
        widget->setGeometry(DialogUnitsToPixels(control.place));
        placed_.push_back({widget, DialogUnitsToPixels(control.place), AnchorsOf(control.id)});
        if (control.id != kIdListGroup) {
            SetControlId(widget, control.id);
            controls_[control.id] = widget;
        }
        if (control.kind == ControlKind::kGroupBox) {
            widget->lower();  // the frame stays behind what it frames
        }
    }

    static_cast<FilterBox*>(filterBox_)->list = list_;
    // List-view in report style: several rows selectable, selection shown also without focus.
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setAllColumnsShowFocus(true);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setDragEnabled(true);
    list_->setDragDropMode(QAbstractItemView::DragOnly);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionsMovable(false);
    list_->header()->setSectionsClickable(true);
    QPalette palette = list_->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    list_->setPalette(palette);
}

void MainWindow::ConnectControls() {
    const auto onClick = [this](int id, auto handler) {
        connect(Button(id), &QAbstractButton::clicked, this, handler);
    };
    onClick(kIdChooseSaveDirectory, [this] { core_->ChooseSaveDirectory(); });
    onClick(kIdAbout, [this] { dialogs_->ShowAbout(this); });
    onClick(kIdAlwaysOnTop, [this] {
        alwaysOnTop_ = ButtonCheck(Button(kIdAlwaysOnTop));
        ApplyTopMost(alwaysOnTop_);
    });
    onClick(kIdLoopSound, [this] {
        loopSound_ = ButtonCheck(Button(kIdLoopSound));
        core_->OnLoopSoundChanged();
    });
    onClick(kIdOpenContainer, [this] { core_->OpenContainerDialog(); });
    onClick(kIdPreviousDirectory, [this] { core_->GoToParentContainer(); });
    onClick(kIdPlay, [this] { core_->StartPlayback(); });
    onClick(kIdStop, [this] { core_->StopPlayback(); });
    onClick(kIdSelectAll, [this] { core_->SelectAll(); });
    onClick(kIdContextMenu, [this] { ShowTrackMenuUnderButton(); });
    onClick(kIdOpenAudioFile, [this] { core_->OpenAudioFileDialog(); });
    onClick(kIdExit, [this] { OnCommand(kIdExit); });
    connect(list_, &QTreeView::customContextMenuRequested, this,
            [this](const QPoint& position) { OnListRightClick(position); });
    connect(list_->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { core_->SortByColumn(column); });
    connect(filterBox_, &QLineEdit::textChanged, this,
            [this](const QString& text) { core_->SetFilter(FromQt(text)); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        filterBox_->setFocus(Qt::ShortcutFocusReason);
        filterBox_->selectAll();
    });
    connect(&playTimer_, &QTimer::timeout, this, [this] { core_->OnPlayTimer(); });
    list_->installEventFilter(this);  // the list takes Space and Enter itself otherwise
    window::SetProgressSeeking(
        Bar(ProgressId::kPlay),
        [this](std::int32_t position) {
            return core_->SeekBar(static_cast<std::uint32_t>(std::max(position, 0)));
        },
        [this](int direction) { return core_->SeekBy(direction * kSeekStepSeconds); });
}

bool MainWindow::Initialize() {
    // 1. The controls exist (constructor). 2. System menu with the About item.
    BuildSystemMenu();
    // 3. The icon, as the big and the small window icon.
    setWindowIcon(ProgramIcon());
    // 4, 5: the paths came with the setup; the sound output holds nothing yet.
    // 6. Volume slider: 5000 to 10000. 7. Settings, then decoder and explorer plug-ins (the
    // core puts the slider at 10000 before it reads the settings).
    volume_->blockSignals(true);
    volume_->setRange(kVolumeMin, kVolumeMax);
    volume_->blockSignals(false);
    // (The core then also creates the sound device and the idle play thread, step 18; when it
    // cannot, it has shown why, and the program ends with the cancel result.)
    coreStarted_ = true;
    if (!core_->Initialize(setup_.paths)) {
        done(QDialog::Rejected);
        return false;
    }
    // 8 to 12: links, picture, image buttons, text buttons, progress captions.
    SetUpControls();
    // 13. The save directory. 14. Always on the top. 15. "Previous directory" off.
    SetSaveDirectoryBox(core_->SaveDirectory());
    ApplyTopMost(IsChecked(CheckId::kAlwaysOnTop));
    EnableButton(ButtonId::kPreviousDirectory, false);
    // 16. List columns, all left-aligned (the model's titles).
    for (int i = 0; i < static_cast<int>(kColumnWidths.size()); ++i) {
        list_->header()->resizeSection(i, kColumnWidths[static_cast<std::size_t>(i)]);
    }
    list_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    RestorePlacement();
    // The dialogs start in the folder of the last container.
    const QFileInfo last(ToQt(SplitChainPath(core_->LastFileName()).front()));
    if (last.isAbsolute() && last.dir().exists()) {
        dialogs_->StartIn(last.absolutePath());
    }
    // 17. No stream, no container (the core starts so). 18. The play thread waits (above).
    // 19. The caption. 20. The play timer.
    setWindowTitle(QString(kCaptionStart) + kCaptionVersion);
    playTimer_.start(kPlayTimerPeriodMs);
    // 21.
    return true;
}

void MainWindow::SetUpControls() {
    const MessageBoxFn box = [this](QWidget* owner, QMessageBox::Icon icon, const QString& title,
                                    const QString& text) {
        dialogs_->ShowMessage(owner ? owner : this, icon, title, text);
    };
    // 8. Links: text, then target.
    SetUpLinkLabel(Control(kIdBugReports), FindControl(kIdBugReports)->text, kBugReportTarget, box);
    SetUpLinkLabel(Control(kIdSiteLink), FindControl(kIdSiteLink)->text, kSiteTarget, box);
    SetUpLinkLabel(Control(kIdForumLink), FindControl(kIdForumLink)->text, kForumTarget, box);
    // 9. The picture beside the program.
    LoadPicture(Control(kIdPicture), setup_.pictureFile, box);
    // 10. Bitmap buttons: bitmap with its transparent colour, balloon tooltip, initial state.
    for (int id : kBitmapButtonOrder) {
        const ControlTemplate* control = FindControl(id);
        SetUpBitmapAndTooltip(Button(id), *control);
        Button(id)->setEnabled(control->initiallyEnabled);
    }
    // 11. Text buttons and check boxes: balloon tooltips, then the flat look.
    for (int id : {kIdContextMenu, kIdExit, kIdAlwaysOnTop, kIdChooseSaveDirectory}) {
        SetUpBitmapAndTooltip(Button(id), *FindControl(id));
    }
    for (int id : {kIdChooseSaveDirectory, kIdExit, kIdLoopSound, kIdAlwaysOnTop}) {
        SetButtonFlat(Button(id));
    }
    // 12. Progress bars: caption, then caption font.
    for (int id : {kIdSaveProgress, kIdPlayProgress, kIdExtractProgress}) {
        SetUpProgressCaption(Control(id), QString::fromUtf8(FindControl(id)->text));
    }
}

void MainWindow::BuildSystemMenu() {
    if (systemMenu_ != nullptr) {
        return;
    }
    systemMenu_ = new QMenu(this);
    systemMenu_->setObjectName("systemMenu");
    systemMenu_->addAction("Mi&nimize", this, [this] { showMinimized(); });
    systemMenu_->addAction("&Close", this, [this] { close(); });
    systemMenu_->addSeparator();
    QAction* about =
        systemMenu_->addAction(kSystemAboutText, this, [this] { OnCommand(kSystemAboutCommand); });
    about->setData(kSystemAboutCommand);
}

void MainWindow::OnCommand(int command, std::int32_t parameter) {
    if (command >= kSystemAboutCommand && command <= kSystemAboutCommand + 15) {
        dialogs_->ShowAbout(this);
        return;
    }
    if (core_->OnCommand(command, parameter)) {
        return;
    }
    if (command == kIdOk) {
        accept();
    } else if (command == kIdExit) {  // the cancel command
        reject();
    }
}

void MainWindow::done(int result) {
    TearDown();
    QDialog::done(result);
}

void MainWindow::TearDown() {
    if (tornDown_) {
        return;
    }
    tornDown_ = true;
    // Settings first, then (inside the core) the workers are stopped and joined, the stream,
    // the current container and its parents closed, the play thread ended, the sound device
    // released and the plug-ins unloaded. The timer can fire only on this thread, so it is
    // quiet from here on.
    playTimer_.stop();
    if (coreStarted_) {
        core_->Shutdown();
        SavePlacement();
    }
}

bool MainWindow::OpenPath(const QString& path) {
    const std::string name = PathFromQt(path);
    if (core_->Host().FindExplorer(name)) {
        return core_->OpenContainerPath(name);
    }
    if (core_->Host().FindDecoder(name)) {
        return core_->OpenAudioFilePath(name);
    }
    SetStatus("Format unsupported.");
    return false;
}

void MainWindow::ShowTrackMenuUnderButton() {
    const QWidget* button = Button(kIdContextMenu);
    const QPoint at = button->mapToGlobal(QPoint(0, button->height()));
    core_->ShowTrackMenu(at.x(), at.y());
}

void MainWindow::OnListRightClick(const QPoint& viewportPosition) {
    if (tracks_->ShownCount() > 0) {
        const QPoint at = list_->viewport()->mapToGlobal(viewportPosition);
        core_->ShowTrackMenu(at.x(), at.y());
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier) {
        systemMenu_->popup(mapToGlobal(QPoint(0, 0)));
        return;
    }
    if (OnPlayerKey(event)) {
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // A focused push button takes Enter; elsewhere Enter is the dialog's OK.
        if (auto* button = qobject_cast<QAbstractButton*>(focusWidget());
            button != nullptr && button->isEnabled()) {
            button->click();
        } else {
            OnCommand(kIdOk);
        }
        return;
    }
    QDialog::keyPressEvent(event);  // Escape: cancel
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress &&
        OnPlayerKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool MainWindow::OnPlayerKey(QKeyEvent* event) {
    if (event->modifiers() != Qt::NoModifier && event->modifiers() != Qt::KeypadModifier) {
        return false;
    }
    const bool onList = focusWidget() == list_;
    switch (event->key()) {
        case Qt::Key_Space:
            // A focused button takes Space itself; elsewhere it plays the selection or stops.
            if (qobject_cast<QAbstractButton*>(focusWidget()) != nullptr) {
                return false;
            }
            if (core_->IsPlaying()) {
                core_->StopPlayback();
            } else if (!core_->CollectSelectedNames().empty()) {
                core_->OnRowDoubleClick();
            }
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (onList && !core_->CollectSelectedNames().empty()) {
                core_->OnRowDoubleClick();  // opens a container, plays a track
                return true;
            }
            return false;
        case Qt::Key_Backspace:
            if (Button(kIdPreviousDirectory)->isEnabled()) {
                core_->GoToParentContainer();
                return true;
            }
            return false;
        default:
            return false;
    }
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    // The window's free area offers the system menu (the title bar's menu is the desktop's).
    systemMenu_->popup(event->globalPos());
}

std::unique_ptr<QMimeData> MainWindow::MakeDragData(const QString& folder, bool asWave) {
    std::string error;
    const std::vector<std::string> files =
        core_->WriteSelectedTracks(PathFromQt(folder), asWave, error);
    if (!error.empty()) {
        SetStatus(error);
    }
    if (files.empty()) {
        return nullptr;
    }
    QList<QUrl> urls;
    for (const std::string& file : files) {
        urls << QUrl::fromLocalFile(ToQt(file));
    }
    auto carried = std::make_unique<QMimeData>();
    carried->setUrls(urls);
    return carried;
}

void MainWindow::DragSelectedTracks() {
    // The alternative drop (Alt, Option on a Mac) carries WAVE files instead of stored tracks.
    const bool asWave = QGuiApplication::keyboardModifiers().testFlag(Qt::AltModifier);
    QTemporaryDir folder;
    if (!folder.isValid()) {
        return;
    }
    std::unique_ptr<QMimeData> carried = MakeDragData(folder.path(), asWave);
    if (!carried) {
        return;
    }
    auto* drag = new QDrag(list_);
    drag->setMimeData(carried.release());
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == list_) {
        return;  // the list's own tracks are not opened again
    }
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        event->acceptProposedAction();
        OpenPath(urls.front().toLocalFile());
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const QSize gained = size() - minimumSize();
    for (const Placed& control : placed_) {
        control.widget->setGeometry(
            Anchored(control.place, control.anchors, gained.width(), gained.height()));
    }
    // The columns share what the list gained or lost. Only a resize of the shown window has an
    // old size: the placement restored before the first show keeps its stored widths.
    if (event->oldSize().isValid() && event->size().width() != event->oldSize().width()) {
        QHeaderView* header = list_->header();
        std::vector<int> widths;
        for (int i = 0; i < header->count(); ++i) {
            widths.push_back(header->sectionSize(i));
        }
        widths = ShareWidth(widths, event->size().width() - event->oldSize().width());
        for (int i = 0; i < header->count(); ++i) {
            header->resizeSection(i, widths[static_cast<std::size_t>(i)]);
        }
    }
}

void MainWindow::RestorePlacement() {
    const WindowPlacement placement = LoadPlacement(setup_.paths.settingsFile, minimumSize());
    if (placement.frame) {
        setGeometry(*placement.frame);
    }
    for (std::size_t i = 0; i < placement.columnWidths.size(); ++i) {
        list_->header()->resizeSection(static_cast<int>(i), placement.columnWidths[i]);
    }
}

void MainWindow::SavePlacement() const {
    WindowPlacement placement;
    placement.frame = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    for (int i = 0; i < list_->header()->count(); ++i) {
        placement.columnWidths.push_back(list_->header()->sectionSize(i));
    }
    window::SavePlacement(setup_.paths.settingsFile, placement);
}

void MainWindow::OnWindowThread(std::function<void()> task) {
    if (std::this_thread::get_id() == windowThread_) {
        task();
    } else {
        // Queued, never blocking: the window thread may be joining this very thread.
        PostToWindow(std::move(task));
    }
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == TaskEvent::kType) {
        static_cast<TaskEvent*>(event)->Run();
        return true;
    }
    return QDialog::event(event);
}

// ---------------------------------------------------------------------------------------------
// MainView

void MainWindow::BindTracks(TrackTable& table) {
    tracks_ = &table;
    model_ = new TrackModel(table, ToQt, this);
    list_->setModel(model_);
    // The header draws no column as selected, so it gets a selection of its own that stays
    // empty: asking the list's selection whether a whole column is selected walks every row at
    // each paint of the header, a long pause after "select all" on a huge archive.
    list_->header()->setSelectionModel(new QItemSelectionModel(model_, list_->header()));
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                TakeViewSelection(selected, deselected);
            });
}

void MainWindow::TracksChanged() {
    model_->Refresh();
    ShowCoreSelection();
    const QString filter = ToQt(tracks_->Filter());
    if (filterBox_->text() != filter) {
        const QSignalBlocker quiet(filterBox_);  // the core set it: nothing to send back
        filterBox_->setText(filter);
    }
    QHeaderView* header = list_->header();
    header->setSortIndicatorShown(tracks_->Order() != SortOrder::kContainer);
    header->setSortIndicator(tracks_->SortColumn(), tracks_->Order() == SortOrder::kDescending
                                                        ? Qt::DescendingOrder
                                                        : Qt::AscendingOrder);
}

void MainWindow::SelectionChanged(long focusRow) {
    ShowCoreSelection();
    if (focusRow >= 0 && focusRow < model_->rowCount()) {
        const QModelIndex index = model_->index(static_cast<int>(focusRow), kColumnName);
        list_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        list_->scrollTo(index);
    }
}

void MainWindow::ShowCoreSelection() {
    // Runs of selected rows become ranges: "select all" is one range, whatever the count.
    QItemSelection selection;
    const int rows = model_->rowCount();
    const int lastColumn = model_->columnCount() - 1;
    for (int row = 0; row < rows;) {
        if (!tracks_->IsSelected(static_cast<std::size_t>(row))) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < rows && tracks_->IsSelected(static_cast<std::size_t>(row))) {
            ++row;
        }
        selection.select(model_->index(first, 0), model_->index(row - 1, lastColumn));
    }
    showingCoreSelection_ = true;
    list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    showingCoreSelection_ = false;
}

void MainWindow::TakeViewSelection(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
    if (showingCoreSelection_) {
        return;
    }
    const auto take = [this](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges) {
            for (int row = range.top(); row <= range.bottom(); ++row) {
                tracks_->SetSelected(static_cast<std::size_t>(row), on);
            }
        }
    };
    take(deselected, false);
    take(selected, true);
    core_->UpdatePlayButton();
}

void MainWindow::SetCountLabel(const std::string& text) {
    countLabel_->setText(ToQt(text));
}

std::string MainWindow::CountLabel() const {
    return FromQt(countLabel_->text());
}

void MainWindow::SetStatus(const std::string& text) {
    OnWindowThread([this, text] { status_->setText(ToQt(text)); });
}

void MainWindow::SetFileNameBox(const std::string& text) {
    fileNameText_ = text;
    fileNameBox_->setText(ToQt(text));
}

std::string MainWindow::FileNameBox() const {
    return fileNameText_;
}

void MainWindow::SetSaveDirectoryBox(const std::string& text) {
    saveDirectoryBox_->setText(ToQt(text));
}

std::string MainWindow::SaveDirectoryBox() const {
    return PathFromQt(saveDirectoryBox_->text());
}

void MainWindow::EnableButton(ButtonId id, bool enabled) {
    OnWindowThread([this, id, enabled] { Button(static_cast<int>(id))->setEnabled(enabled); });
}

bool MainWindow::IsButtonEnabled(ButtonId id) const {
    return Button(static_cast<int>(id))->isEnabled();
}

void MainWindow::SetProgressCaption(ProgressId id, const std::string& caption) {
    OnWindowThread([this, id, caption] { window::SetProgressCaption(Bar(id), ToQt(caption)); });
}

void MainWindow::SetProgressRange(ProgressId id, std::uint32_t low, std::uint32_t high) {
    OnWindowThread(
        [this, id, low, high] { window::SetProgressRange(Bar(id), ToInt(low), ToInt(high)); });
}

void MainWindow::SetProgressPos(ProgressId id, std::uint32_t position) {
    OnWindowThread([this, id, position] { window::SetProgressPos(Bar(id), ToInt(position)); });
}

void MainWindow::SetPlayWaveform(const Waveform& wave) {
    window::SetProgressWaveform(Bar(ProgressId::kPlay), wave.low, wave.high);
}

void MainWindow::SetPlayText(const std::string& text) {
    playText_ = text;
    SetProgressWindowText(Bar(ProgressId::kPlay), ToQt(text));
}

std::string MainWindow::PlayText() const {
    return playText_;
}

void MainWindow::SetCheck(CheckId id, bool checked) {
    SetButtonCheck(Button(static_cast<int>(id)), checked);
    (id == CheckId::kAlwaysOnTop ? alwaysOnTop_ : loopSound_) = checked;
}

bool MainWindow::IsChecked(CheckId id) const {
    return id == CheckId::kAlwaysOnTop ? alwaysOnTop_.load() : loopSound_.load();
}

void MainWindow::ApplyTopMost(bool topMost) {
    Qt::WindowFlags flags = windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint) == topMost && windowHandle() == nullptr) {
        return;
    }
    flags.setFlag(Qt::WindowStaysOnTopHint, topMost);
    if (QWindow* handle = windowHandle()) {
        // Changing the widget's flags would hide the window and so end the running dialog;
        // the native window takes the new state in place, position and size unchanged.
        overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

void MainWindow::SetVolumeSlider(std::int32_t position) {
    // A position set by the program is not a user's move: it sends no 2031.
    const QSignalBlocker quiet(volume_);
    volume_->setValue(std::clamp(position, kVolumeMin, kVolumeMax));
}

void MainWindow::ShowMessage(const std::string& text, MessageIcon icon) {
    // Captioned with the application's name, as the dialog framework does.
    dialogs_->ShowMessage(this, QtMessageIcon(icon), QCoreApplication::applicationName(),
                          ToQt(text));
}

bool MainWindow::AskYesNo(const std::string& text) {
    return dialogs_->AskYesNo(this, QCoreApplication::applicationName(), ToQt(text));
}

OverwriteAnswer MainWindow::AskOverwrite(const std::string& path) {
    // In the order of OverwriteAnswer; the last, "Keep all", is also what closing the box means.
    const QStringList buttons{"Replace", "Keep", "Replace all", "Keep all"};
    const int chosen = dialogs_->AskChoice(
        this, QCoreApplication::applicationName(),
        ToQt(path) + "\nexists already in the folder for save. Replace it?", buttons);
    return static_cast<OverwriteAnswer>(std::clamp(chosen, 0, 3));
}

std::optional<std::string> MainWindow::AskOpenFile(const std::string& filter) {
    if (auto path = dialogs_->AskOpenFile(this, QtNameFilters(filter), {}, {})) {
        return PathFromQt(*path);
    }
    return std::nullopt;
}

std::optional<std::string> MainWindow::AskReplacementFile(const std::string& title,
                                                          const std::string& filter,
                                                          const std::string& folder) {
    if (auto path = dialogs_->AskOpenFile(this, QtNameFilters(filter), ToQt(title), ToQt(folder))) {
        return PathFromQt(*path);
    }
    return std::nullopt;
}

std::optional<std::string> MainWindow::AskFolder(const std::string& title) {
    if (auto folder = dialogs_->AskFolder(this, ToQt(title))) {
        return PathFromQt(*folder);
    }
    return std::nullopt;
}

std::optional<int> MainWindow::ShowMenu(const std::vector<MenuItem>& items, int x, int y) {
    return dialogs_->ShowMenu(this, items, QPoint(x, y));
}

void MainWindow::PostToWindow(std::function<void()> task) {
    // Our own event: posting it asks nothing of Qt about the calling thread, so a worker never
    // gets Qt's per-thread bookkeeping.
    QCoreApplication::postEvent(this, new TaskEvent(std::move(task)));
}

}  // namespace fogbell::window
