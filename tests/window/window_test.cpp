// The main window as the user meets it: its controls, the routing of their events to the core
// with the real staged plug-ins, start-up, tear-down and the settings it writes.
#include "host/window/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTreeWidget>
#include <QWindow>
#include <thread>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "host/core/ini_file.h"
#include "host/playback/play_engine.h"
#include "host/playback/sound_output.h"
#include "host/window/control_factory.h"
#include "host/window/dialog_template.h"
#include "host/window/open_filter.h"
#include "scripted_dialogs.h"
#include "test_files.h"

namespace fogbell::window {
namespace {

using fogbell::test::AfsBuilder;
using fogbell::test::Bytes;
using fogbell::test::Pattern;

// Runs the window thread's queue until it is empty.
void Drain() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

class Window : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directory(dir.File("out")); }

    // A window on the staged plug-ins with its settings in the test's folder, playing on the
    // null sound device at eight times real time.
    void Open(bool show = true) {
        SoundOutputOptions sound;
        sound.kind = SoundOutputOptions::Kind::kNull;
        sound.speed = 8.0;
        ASSERT_TRUE(TryOpen(sound));
        if (show) {
            window->show();
        }
    }

    // The same with this sound output; false when the window could not start.
    bool TryOpen(const SoundOutputOptions& sound) {
        WindowSetup setup;
        setup.paths.settingsFile = dir.File("ini.ini");
        setup.paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
        setup.paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
        setup.pictureFile = QString::fromStdString(dir.File("pic.jpg"));
        setup.makePlayback = [sound](MainView& view) {
            return std::make_unique<PlayEngine>(view, sound);
        };
        setup.dialogs = std::make_unique<test::ScriptedDialogs>(script);
        window = std::make_unique<MainWindow>(std::move(setup));
        return window->Initialize();
    }

    std::string Save(const Bytes& bytes, const std::string& name) {
        fogbell::test::WriteFile(dir.File(name), bytes);
        return dir.File(name);
    }

    // disk.afs holds inner.afs (which holds song.bin) and a plain member.
    std::string NestedArchive() {
        const Bytes inner = AfsBuilder().Add("song.bin", Pattern(40, 7)).Build().bytes;
        return Save(
            AfsBuilder().Add("inner.afs", inner).Add("bgm01.bin", Pattern(100, 1)).Build().bytes,
            "disk.afs");
    }

    // An archive with a long ADX track (20 seconds) and a short one.
    std::string PlayableArchive() {
        fogbell::test::AdxOptions options;
        options.channels = 2;
        options.totalSamples = 32 * 27000;
        const Bytes longTrack =
            fogbell::test::BuildAdx(options, fogbell::test::AdxFrames(27000, 2, 4), true);
        return Save(
            AfsBuilder().Add("long.adx", longTrack).Add("x.bin", Pattern(8, 2)).Build().bytes,
            "music.afs");
    }

    std::string AdxFile() {
        fogbell::test::AdxOptions options;
        options.channels = 2;
        options.totalSamples = 32 * 10;
        return Save(fogbell::test::BuildAdx(options, fogbell::test::AdxFrames(10, 2, 3), true),
                    "voice.adx");
    }

    template <typename T = QWidget>
    T* Get(int id) {
        return dynamic_cast<T*>(window->Control(id));
    }
    QAbstractButton* ButtonOf(int id) { return Get<QAbstractButton>(id); }
    QTreeWidget* List() { return Get<QTreeWidget>(kIdTrackList); }
    QString Status() { return Get<QLabel>(kIdStatus)->text(); }

    void DoubleClickRow(int row) {
        QTreeWidget* list = List();
        const QPoint at = list->visualItemRect(list->topLevelItem(row)).center();
        QWidget* viewport = list->viewport();
        const QPointF local(at);
        const QPointF global(viewport->mapToGlobal(at));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
            QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
            QApplication::sendEvent(viewport, &event);
        }
    }

    void Key(int key, QWidget* to = nullptr) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(to ? to : window.get(), &press);
    }

    std::string Setting(const char* key) {
        IniFile ini;
        ini.Load(dir.File("ini.ini"));
        return ini.Get("General", key);
    }

    fogbell::test::TempDir dir;
    test::DialogScript script;
    std::unique_ptr<MainWindow> window;
};

// ---------------------------------------------------------------------------------------------
// The controls of template 102

struct ExpectedControl {
    int id;
    const char* text;
    const char* tooltip;
    bool enabled;
    bool flat;
    bool bitmap;
};

TEST_F(Window, EveryControlHasItsTextTooltipAndInitialState) {
    Open();
    const ExpectedControl expected[] = {
        {1016, "Directory for save", "Select directory for save.", true, true, false},
        {1002, "", "Open (*.aix;*.afs;*.pac,*.mvx) files.", true, false, true},
        {1025, "", "Open (*.adx;*.wav;*.xmd) files.", true, false, true},
        {1006, "", "About program.", true, false, true},
        {2, "Exit", "Close application.", true, true, false},
        {1004, "", "Previous directory", false, false, true},
        {1008, "", "Select all files.", true, false, true},
        {1014, "Context menu", "Context menu\nAccess on Right click button.", true, false, false},
        {1017, "", "Up list", false, false, true},
        {1024, "", "Down list.", false, false, true},
        {1009, "", "Play.", false, false, true},
        {1010, "", "Stop.", false, false, true},
        {1013, "Loop sound", "", true, true, false},
        {1007, "Always on the top", "Always on the top.", true, true, false},
    };
    for (const ExpectedControl& control : expected) {
        SCOPED_TRACE(control.id);
        QAbstractButton* button = ButtonOf(control.id);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), control.text);
        EXPECT_EQ(ButtonTooltip(button), control.tooltip);
        EXPECT_EQ(ButtonHasBalloonTooltip(button), *control.tooltip != '\0');
        EXPECT_EQ(button->isEnabled(), control.enabled);
        EXPECT_EQ(ButtonIsFlat(button), control.flat);
        EXPECT_EQ(ButtonHasBitmap(button), control.bitmap);
        EXPECT_FALSE(ButtonCheck(button));  // no settings: both boxes clear
    }
    for (const QPushButton* button : window->findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();  // no default button
    }
    EXPECT_EQ(Get<QLabel>(kIdCountLabel)->text(), "Count files: 0");
    EXPECT_EQ(Status(), "Status");
    EXPECT_EQ(Get<QLabel>(kIdStatus)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_TRUE(Get<QLineEdit>(kIdFileNameBox)->isReadOnly());
    EXPECT_FALSE(Get<QLineEdit>(kIdSaveDirectoryBox)->isReadOnly());
    EXPECT_EQ(ProgressCaption(window->Control(kIdPlayProgress)), "Play file..");
    EXPECT_EQ(ProgressCaption(window->Control(kIdSaveProgress)), "Save file..");
    EXPECT_EQ(ProgressCaption(window->Control(kIdExtractProgress)), "Extract file..");
    EXPECT_EQ(window->PlayText(), "Progress1");  // the play bar's undrawn window text
    EXPECT_EQ(Get<QLabel>(kIdBugReports)->text(), "Bug reports");
    EXPECT_EQ(Get<QLabel>(kIdSiteLink)->text(), "----- Mistvale's -----");
    EXPECT_EQ(Get<QLabel>(kIdForumLink)->text(), "----- Mistvale's forum -----");
    EXPECT_TRUE(LinkTarget(window->Control(kIdBugReports)).startsWith("mailto:"));
    EXPECT_TRUE(LinkTarget(window->Control(kIdSiteLink)).startsWith("https://"));
    EXPECT_NE(LinkTarget(window->Control(kIdForumLink)), LinkTarget(window->Control(kIdSiteLink)));
    QSlider* slider = Get<QSlider>(kIdVolume);
    EXPECT_EQ(slider->minimum(), 5000);
    EXPECT_EQ(slider->maximum(), 10000);
    EXPECT_EQ(slider->value(), 10000);  // no "Volume" setting: full volume
    EXPECT_EQ(window->Core().Volume(), 10000);
    EXPECT_EQ(ProgressWindowText(window->Control(kIdPlayProgress)), "Progress1");
}

TEST_F(Window, AMissingPictureIsReportedAndLeavesTheControlEmpty) {
    Open();
    EXPECT_FALSE(PictureLoaded(window->Control(kIdPicture)));
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].title, "CPicture Error");
    EXPECT_EQ(script.messages[0].icon, QMessageBox::Critical);
}

TEST_F(Window, ThePictureBesideTheProgramIsShown) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    ASSERT_TRUE(image.save(QString::fromStdString(dir.File("pic.jpg")), "JPG"));
    Open();
    EXPECT_TRUE(PictureLoaded(window->Control(kIdPicture)));
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(Window, EveryControlLiesInsideTheFixedWindowWithoutOverlapping) {
    Open();
    const QSize size = DialogUnitsToPixels(kDialogUnits);
    EXPECT_EQ(window->minimumSize(), size);
    EXPECT_EQ(window->maximumSize(), size);
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    std::vector<QRect> places;
    for (const ControlTemplate& control : MainTemplate()) {
        if (control.id == kIdListGroup) {
            continue;
        }
        SCOPED_TRACE(control.id);
        QWidget* widget = window->Control(control.id);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->property("controlId").toInt(), control.id);
        EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(widget->geometry()));
        EXPECT_EQ(widget->geometry(), DialogUnitsToPixels(control.place));
        for (const QRect& other : places) {
            EXPECT_FALSE(other.intersects(widget->geometry()));
        }
        places.push_back(widget->geometry());
    }
}

TEST_F(Window, TheListHasItsThreeColumns) {
    Open();
    QTreeWidget* list = List();
    ASSERT_EQ(list->columnCount(), 3);
    const char* titles[] = {"File Name", "Length", "Bitrate"};
    const int widths[] = {130, 90, 90};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list->headerItem()->text(i), titles[i]);
        EXPECT_EQ(list->header()->sectionSize(i), widths[i]);
        EXPECT_TRUE(list->headerItem()->textAlignment(i) & Qt::AlignLeft);
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
}

TEST_F(Window, CaptionIconTimerAndTheSystemMenusAboutItem) {
    Open();
    EXPECT_EQ(window->windowTitle(), "Mistvale's Sound Explorer Version 1.7");
    EXPECT_TRUE(window->IsTimerRunning());
    const QList<QAction*> actions = window->SystemMenu()->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), "&About Fogbell...");
    actions.back()->trigger();
    EXPECT_EQ(script.abouts, 1);
    ButtonOf(kIdAbout)->click();
    EXPECT_EQ(script.abouts, 2);
    window->OnCommand(31);  // every system command 16 to 31 is About
    EXPECT_EQ(script.abouts, 3);
}

// ---------------------------------------------------------------------------------------------
// Routing to the core

TEST_F(Window, OpenContainerGoIntoANestedOneAndBack) {
    Open();
    const std::string disk = NestedArchive();
    script.openFileAnswers.push_back(QString::fromStdString(disk));
    ButtonOf(kIdOpenContainer)->click();
    ASSERT_EQ(script.filters.size(), 1u);
    EXPECT_TRUE(script.filters[0].front().startsWith("Support Files (*."));
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(List()->topLevelItem(0)->text(0), "inner.afs");
    EXPECT_EQ(List()->topLevelItem(0)->text(2), "..");
    EXPECT_EQ(List()->topLevelItem(1)->text(1), "100");
    EXPECT_EQ(Get<QLabel>(kIdCountLabel)->text(), "Count files: 2");
    EXPECT_EQ(Get<QLineEdit>(kIdFileNameBox)->text().toStdString(), disk);
    EXPECT_FALSE(ButtonOf(kIdPreviousDirectory)->isEnabled());

    DoubleClickRow(0);
    ASSERT_EQ(List()->topLevelItemCount(), 1);
    EXPECT_EQ(List()->topLevelItem(0)->text(0), "song.bin");
    EXPECT_EQ(Get<QLineEdit>(kIdFileNameBox)->text(), "inner.afs");
    EXPECT_TRUE(ButtonOf(kIdPreviousDirectory)->isEnabled());
    EXPECT_EQ(window->PlayText(), "");  // the double-click cleared what Play starts
    EXPECT_EQ(window->Core().NestingDepth(), 1u);

    ButtonOf(kIdPreviousDirectory)->click();
    EXPECT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(Get<QLineEdit>(kIdFileNameBox)->text().toStdString(), disk);
    EXPECT_FALSE(ButtonOf(kIdPreviousDirectory)->isEnabled());
    EXPECT_EQ(window->Core().NestingDepth(), 0u);
}

TEST_F(Window, ACancelledDialogChangesNothing) {
    Open();
    ButtonOf(kIdOpenContainer)->click();  // no answer: cancelled
    ButtonOf(kIdOpenAudioFile)->click();
    EXPECT_EQ(script.filters.size(), 2u);
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_EQ(Status(), "Status");
}

TEST_F(Window, SelectAllAndTheTrackMenuFromTheButtonAndTheList) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    QTreeWidget* list = List();

    // Right-click on the list, at the pointer.
    emit list->customContextMenuRequested(QPoint(5, 5));
    ASSERT_EQ(script.menus.size(), 1u);
    EXPECT_EQ(script.menuPositions[0], list->viewport()->mapToGlobal(QPoint(5, 5)));
    const std::vector<MenuItem>& none = script.menus[0];
    ASSERT_EQ(none.size(), 4u);
    EXPECT_EQ(none[0].text, "Extract...");
    EXPECT_FALSE(none[0].enabled);  // nothing selected
    EXPECT_EQ(none[3].text, "Extract all files...");
    EXPECT_TRUE(none[3].enabled);

    ButtonOf(kIdSelectAll)->click();
    EXPECT_TRUE(list->topLevelItem(0)->isSelected());
    EXPECT_TRUE(list->topLevelItem(1)->isSelected());

    // The button: the menu opens at its lower-left corner.
    QAbstractButton* menuButton = ButtonOf(kIdContextMenu);
    menuButton->click();
    ASSERT_EQ(script.menus.size(), 2u);
    EXPECT_EQ(script.menuPositions[1], menuButton->mapToGlobal(QPoint(0, menuButton->height())));
    EXPECT_TRUE(script.menus[1][0].enabled);  // "Extract..." with two rows selected
}

TEST_F(Window, TheListsRightClickShowsNoMenuWithoutRows) {
    Open();
    emit List()->customContextMenuRequested(QPoint(5, 5));
    EXPECT_TRUE(script.menus.empty());
    ButtonOf(kIdContextMenu)->click();  // the button always shows it
    EXPECT_EQ(script.menus.size(), 1u);
}

TEST_F(Window, ExtractAllFromTheMenuRunsAWorkerAndReportsOnItsBar) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    Get<QLineEdit>(kIdSaveDirectoryBox)->setText(QString::fromStdString(dir.File("out")));
    script.menuChoice = kCommandExtractAll;
    ButtonOf(kIdContextMenu)->click();
    EXPECT_FALSE(ButtonOf(kIdOpenContainer)->isEnabled());  // the worker holds the container
    window->Core().WaitForWorkers();
    Drain();
    EXPECT_TRUE(ButtonOf(kIdOpenContainer)->isEnabled());
    EXPECT_EQ(ProgressCaption(window->Control(kIdExtractProgress)), "Extract done");
    EXPECT_TRUE(fogbell::test::FileExists(dir.File("out/bgm01.bin")));
    EXPECT_EQ(fogbell::test::ReadFile(dir.File("out/bgm01.bin")), Pattern(100, 1));
}

TEST_F(Window, ReplaceShowsAPlainBoxWithoutIcon) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    List()->topLevelItem(1)->setSelected(true);
    script.openFileAnswers.push_back(QString::fromStdString(Save(Pattern(60, 9), "new.bin")));
    script.messages.clear();  // the missing picture's box at start
    window->OnCommand(kCommandReplace);
    EXPECT_FALSE(ButtonOf(kIdOpenContainer)->isEnabled());  // written on a worker
    window->Core().WaitForWorkers();
    Drain();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, "File replaced.");
    EXPECT_EQ(script.messages[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(script.messages[0].title, "Fogbell");
    EXPECT_EQ(Status(), "Replace OK");
    EXPECT_TRUE(ButtonOf(kIdOpenContainer)->isEnabled());
    EXPECT_EQ(QtMessageIcon(MessageIcon::kNone), QMessageBox::NoIcon);
    EXPECT_EQ(QtMessageIcon(MessageIcon::kStop), QMessageBox::Critical);
}

TEST_F(Window, AReplacementLargerThanItsRoomIsAQuestion) {
    Open();
    const std::string archive = NestedArchive();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(archive)));
    const Bytes before = fogbell::test::ReadFile(archive);
    List()->topLevelItem(1)->setSelected(true);
    script.openFileAnswers.push_back(QString::fromStdString(Save(Pattern(5000, 9), "big.bin")));
    script.yesNoAnswers.push_back(false);
    script.messages.clear();
    window->OnCommand(kCommandReplace);
    window->Core().WaitForWorkers();
    Drain();
    ASSERT_EQ(script.questions.size(), 1u);
    EXPECT_EQ(script.questions[0].title, "Fogbell");
    EXPECT_TRUE(script.questions[0].text.startsWith(
        "big.bin needs 5000 bytes, but bgm01.bin has room for "))
        << script.questions[0].text.toStdString();
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(Status(), "File not replaced: bgm01.bin keeps its old sound.");
    EXPECT_EQ(fogbell::test::ReadFile(archive), before);

    // Yes: the archive is rebuilt and the list filled again, the replaced row still selected.
    script.openFileAnswers.push_back(QString::fromStdString(dir.File("big.bin")));
    script.yesNoAnswers.push_back(true);
    window->OnCommand(kCommandReplace);
    for (int rounds = 0; rounds < 5 && window->Core().IsReplacing(); ++rounds) {
        window->Core().WaitForWorkers();
        Drain();
    }
    ASSERT_FALSE(window->Core().IsReplacing());
    EXPECT_EQ(script.questions.size(), 2u);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, "File replaced.");
    EXPECT_EQ(Status(), "Replace OK: The container was rebuilt.");
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(List()->topLevelItem(1)->text(1), "5000");
    EXPECT_TRUE(List()->topLevelItem(1)->isSelected());
    EXPECT_FALSE(List()->topLevelItem(0)->isSelected());
    EXPECT_TRUE(ButtonOf(kIdOpenContainer)->isEnabled());
}

TEST_F(Window, ChooseSaveDirectoryFillsTheBoxAndCancelPutsTheStoredOneBack) {
    Open();
    script.folderAnswers.push_back(QString::fromStdString(dir.File("out")));
    ButtonOf(kIdChooseSaveDirectory)->click();
    EXPECT_EQ(Get<QLineEdit>(kIdSaveDirectoryBox)->text().toStdString(), dir.File("out"));
    Get<QLineEdit>(kIdSaveDirectoryBox)->setText("typed");
    ButtonOf(kIdChooseSaveDirectory)->click();  // cancelled
    EXPECT_EQ(Get<QLineEdit>(kIdSaveDirectoryBox)->text().toStdString(), dir.File("out"));
}

TEST_F(Window, VolumeCommandAndSliderMovesReachTheCore) {
    Open();
    window->OnCommand(kCommandVolume, 7500);
    EXPECT_EQ(window->Core().Volume(), 7500);
    QSlider* slider = Get<QSlider>(kIdVolume);
    window->SetVolumeSlider(8000);  // the program's own setting sends nothing
    EXPECT_EQ(window->Core().Volume(), 7500);
    // The pointer moving over the slider reports where it stands.
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), slider->mapToGlobal(QPointF(3, 3)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
    EXPECT_EQ(window->Core().Volume(), 8000);
    // So does a key, without any pointer movement.
    QKeyEvent key(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(slider, &key);
    EXPECT_EQ(window->Core().Volume(), 10000);
}

TEST_F(Window, AnEndOfStreamForNoTrackThatPlaysChangesNothing) {
    Open();
    window->EnableButton(ButtonId::kStop, true);
    window->OnCommand(kCommandEndOfStream, 12345);
    EXPECT_TRUE(ButtonOf(kIdStop)->isEnabled());
}

TEST_F(Window, LoopAndDisabledButtonsDoNothingButToggle) {
    Open();
    ButtonOf(kIdLoopSound)->click();
    EXPECT_TRUE(window->IsChecked(CheckId::kLoopSound));
    ButtonOf(kIdUpList)->click();  // disabled: no click reaches anything
    ButtonOf(kIdDownList)->click();
    EXPECT_EQ(Status(), "Status");
    window->done(QDialog::Rejected);
    EXPECT_EQ(Setting("LoopAix"), "1");
}

// ---------------------------------------------------------------------------------------------
// Playback through the engine on the null sound device

// Runs the window thread's events until done() holds or about seconds have passed.
template <typename Done>
bool RunUntil(Done done, int milliseconds = 8000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

TEST_F(Window, DoubleClickPlaysATrackAndTheTimerMovesThePlayBar) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(PlayableArchive())));
    DoubleClickRow(0);
    EXPECT_TRUE(window->Core().OpenStream() != nullptr);
    EXPECT_FALSE(ButtonOf(kIdPlay)->isEnabled());
    EXPECT_TRUE(ButtonOf(kIdStop)->isEnabled());
    EXPECT_EQ(ProgressCaption(window->Control(kIdPlayProgress)), "long.adx");
    QWidget* bar = window->Control(kIdPlayProgress);
    EXPECT_TRUE(RunUntil([&] { return ProgressPos(bar) > 0; }));  // the 100 ms timer
    EXPECT_GT(ProgressMaximum(bar), ProgressPos(bar));
    ButtonOf(kIdStop)->click();
    EXPECT_TRUE(ButtonOf(kIdPlay)->isEnabled());
    EXPECT_FALSE(ButtonOf(kIdStop)->isEnabled());
    EXPECT_EQ(ProgressPos(bar), 0);
    EXPECT_EQ(window->Core().OpenStream(), nullptr);
}

TEST_F(Window, TheEndOfAStreamStopsThroughCommand2032) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(AdxFile())));  // a fraction of a second
    EXPECT_TRUE(ButtonOf(kIdStop)->isEnabled());
    // The play thread posts 2032 after the last block was heard; the window stops.
    EXPECT_TRUE(RunUntil([&] { return ButtonOf(kIdPlay)->isEnabled(); }));
    EXPECT_FALSE(ButtonOf(kIdStop)->isEnabled());
    EXPECT_EQ(window->Core().OpenStream(), nullptr);
}

TEST_F(Window, PlayReplaysTheLastFileAfterStop) {
    Open();
    const std::string adx = AdxFile();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(adx)));
    ButtonOf(kIdStop)->click();
    ButtonOf(kIdPlay)->click();
    EXPECT_TRUE(ButtonOf(kIdStop)->isEnabled());
    EXPECT_EQ(window->PlayText(), adx);
    EXPECT_EQ(ProgressWindowText(window->Control(kIdPlayProgress)).toStdString(), adx);
}

TEST_F(Window, ClosingWhilePlayingEndsThePlayThreadFirst) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(PlayableArchive())));
    DoubleClickRow(0);
    ASSERT_TRUE(ButtonOf(kIdStop)->isEnabled());
    Key(Qt::Key_Escape);
    EXPECT_TRUE(window->IsTornDown());
    EXPECT_EQ(window->Core().OpenStream(), nullptr);
    EXPECT_FALSE(window->Core().Host().Decoders().size() > 0);
}

TEST_F(Window, NoSoundDeviceEndsTheProgramWithAStopBoxAndStillWritesTheSettings) {
    fogbell::test::WriteFile(dir.File("ini.ini"), fogbell::test::BytesOf("[General]\nTop=1\n"));
    fogbell::test::SetEnvironment("SDL_AUDIODRIVER", "fogbell-no-such-driver");
    EXPECT_FALSE(TryOpen(SoundOutputOptions{}));  // SDL, with no driver to find
    fogbell::test::UnsetEnvironment("SDL_AUDIODRIVER");
    ASSERT_FALSE(script.messages.empty());
    EXPECT_EQ(script.messages.back().icon, QMessageBox::Critical);
    EXPECT_TRUE(script.messages.back().text.startsWith("DirectSoundCreate: "));
    EXPECT_TRUE(window->IsTornDown());
    EXPECT_EQ(Setting("Top"), "1");
    EXPECT_NE(Setting("Volume"), "");  // written at the failed start too
}

// ---------------------------------------------------------------------------------------------
// Files from outside: the command line and drops

TEST_F(Window, APathOpensAContainerOrPlaysAnAudioFile) {
    Open();
    EXPECT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    EXPECT_EQ(List()->topLevelItemCount(), 2);
    const std::string adx = AdxFile();
    EXPECT_TRUE(window->OpenPath(QString::fromStdString(adx)));
    EXPECT_EQ(window->PlayText(), adx);
    EXPECT_EQ(List()->topLevelItemCount(), 2);  // the container's rows stay
    EXPECT_FALSE(window->OpenPath(QString::fromStdString(Save(Pattern(4, 1), "notes.txt"))));
    EXPECT_EQ(Status(), "Format unsupported.");
}

TEST_F(Window, ADroppedContainerOpens) {
    Open();
    const std::string disk = NestedArchive();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(disk))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(window->FileNameBox(), disk);
}

TEST_F(Window, TrackNamesKeepTheirExactBytes) {
    Open();
    const std::string odd = "caf\xE9.bin";  // Latin-1, not UTF-8
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(
        Save(AfsBuilder().Add(odd, Pattern(8, 1)).Build().bytes, "odd.afs"))));
    EXPECT_EQ(window->CellText(0, kColumnName), odd);
}

// ---------------------------------------------------------------------------------------------
// Ending the program

TEST_F(Window, EscapeEndsTheProgramAndWritesTheSettings) {
    Open();
    Get<QLineEdit>(kIdSaveDirectoryBox)->setText("/somewhere/typed");
    Key(Qt::Key_Escape);
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_TRUE(window->IsTornDown());
    EXPECT_FALSE(window->isVisible());
    // Kept in the system's own form of a path.
    EXPECT_EQ(Setting("SaveDir"), QDir::toNativeSeparators("/somewhere/typed").toStdString());
    EXPECT_TRUE(window->Core().Host().Explorers().empty());  // plug-ins unloaded
}

TEST_F(Window, EnterOutsideAButtonIsOkAndEndsTheProgram) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    List()->setFocus();
    Key(Qt::Key_Return, List());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_TRUE(window->IsTornDown());
    EXPECT_EQ(window->Core().CurrentContainer(), nullptr);
    EXPECT_EQ(Setting("FileName"), dir.File("disk.afs"));
}

TEST_F(Window, EnterOnAFocusedButtonClicksIt) {
    Open();
    ButtonOf(kIdAbout)->setFocus();
    Key(Qt::Key_Return);
    EXPECT_EQ(script.abouts, 1);
    EXPECT_FALSE(window->IsTornDown());
}

TEST_F(Window, TheCloseBoxAndExitEndWithCancel) {
    Open();
    window->close();
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_TRUE(window->IsTornDown());
    EXPECT_EQ(Setting("Top"), "0");

    Open();
    ButtonOf(kIdExit)->click();
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_TRUE(window->IsTornDown());
}

TEST_F(Window, DestroyingTheWindowShutsTheCoreDownFirst) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    Get<QLineEdit>(kIdSaveDirectoryBox)->setText("/kept");
    window.reset();  // no done(): the destructor still writes the settings from live widgets
    EXPECT_EQ(Setting("SaveDir"), "/kept");
    EXPECT_EQ(Setting("FileName"), dir.File("disk.afs"));
}

// ---------------------------------------------------------------------------------------------
// Always on the top

TEST_F(Window, AlwaysOnTheTopIsSavedAndRestored) {
    Open();
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ButtonOf(kIdAlwaysOnTop)->click();
    EXPECT_TRUE(window->IsChecked(CheckId::kAlwaysOnTop));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_NE(window->windowHandle(), nullptr);
    EXPECT_TRUE(window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->isVisible());  // switching does not hide (and so end) the dialog
    window->done(QDialog::Rejected);
    EXPECT_EQ(Setting("Top"), "1");

    Open();  // the next start opens topmost
    EXPECT_TRUE(ButtonCheck(ButtonOf(kIdAlwaysOnTop)));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ButtonOf(kIdAlwaysOnTop)->click();  // unchecking takes effect at once
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    window->done(QDialog::Rejected);
    EXPECT_EQ(Setting("Top"), "0");
}

// ---------------------------------------------------------------------------------------------
// Threads

TEST_F(Window, CallsFromOtherThreadsNeverWaitForTheWindowThread) {
    Open();
    // The window thread is busy joining the worker: a blocking call would never return.
    std::thread worker([this] {
        window->SetStatus("from a worker");
        window->SetProgressCaption(ProgressId::kSave, "1/1: x");
        window->SetProgressRange(ProgressId::kSave, 0, 10);
        window->SetProgressPos(ProgressId::kSave, 4);
        window->EnableButton(ButtonId::kSelectAll, false);
        EXPECT_FALSE(window->IsChecked(CheckId::kLoopSound));
        window->PostToWindow([this] { window->SetCountLabel("posted"); });
    });
    worker.join();
    EXPECT_EQ(Status(), "Status");  // nothing has reached the widgets yet
    Drain();
    EXPECT_EQ(Status(), "from a worker");
    EXPECT_EQ(ProgressCaption(window->Control(kIdSaveProgress)), "1/1: x");
    EXPECT_EQ(ProgressPos(window->Control(kIdSaveProgress)), 4);
    EXPECT_EQ(ProgressMaximum(window->Control(kIdSaveProgress)), 10);
    EXPECT_FALSE(ButtonOf(kIdSelectAll)->isEnabled());
    EXPECT_EQ(window->CountLabel(), "posted");
}

// ---------------------------------------------------------------------------------------------
// The open-file filter

TEST(OpenFilter, CoreFiltersBecomeQtNameFilters) {
    EXPECT_EQ(QtNameFilters(""), QStringList());
    EXPECT_EQ(
        QtNameFilters("Support Files (*.AIX;*.AFS)|*.AIX;*.AFS|Audio files (*.AIX)|*.AIX|"
                      "Audio files (*.AFS)|*.AFS|"),
        (QStringList{"Support Files (*.AIX *.AFS)", "Audio files (*.AIX)", "Audio files (*.AFS)"}));
    EXPECT_EQ(QtNameFilters(BuildOpenFilter({"ADX"})),
              (QStringList{"Support Files (*.ADX)", "Audio files (*.ADX)"}));
}

TEST(OpenFilter, TheFileDialogMatchesExtensionsInAnyCase) {
    fogbell::test::TempDir dir;
    for (const char* name : {"a.aix", "b.AIX", "c.Aix", "d.txt", "e.aixf"}) {
        fogbell::test::WriteFile(dir.File(name), {1});
    }
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilters(QtNameFilters(BuildOpenFilter({"AIX"})));
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    bool loaded = false;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, [&] { loaded = true; });
    dialog.setDirectory(QString::fromStdString(dir.Path().string()));
    for (int i = 0; i < 200 && !loaded; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    ASSERT_TRUE(loaded);
    QCoreApplication::processEvents();
    const QModelIndex root = model->index(QString::fromStdString(dir.Path().string()));
    QStringList shown;
    for (int row = 0; row < model->rowCount(root); ++row) {
        const QModelIndex index = model->index(row, 0, root);
        if (index.flags() & Qt::ItemIsEnabled) {
            shown << index.data().toString();
        }
    }
    shown.sort();
    EXPECT_EQ(shown, (QStringList{"a.aix", "b.AIX", "c.Aix"}));
}

}  // namespace
}  // namespace fogbell::window
