// Playback from the window through the engine on the null sound device.
#include "window_fixture.h"

namespace fogbell::window {
namespace {

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
    EXPECT_EQ(ProgressCaption(bar), kPlayBarIdle);  // the stopped track's time is gone
    EXPECT_EQ(window->Core().OpenStream(), nullptr);
    // Play follows the user's selection: off for a row nothing plays, and for none.
    List()->selectionModel()->select(List()->model()->index(1, 0),
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_FALSE(ButtonOf(kIdPlay)->isEnabled());
    List()->selectionModel()->clearSelection();
    EXPECT_FALSE(ButtonOf(kIdPlay)->isEnabled());
    SelectRow(0);
    EXPECT_TRUE(ButtonOf(kIdPlay)->isEnabled());
}

// A click on the play bar moves the sound there, Left goes back five seconds; Space on the list
// stops and plays the selection again.
TEST_F(Window, TheBarSeeksByClickAndKeysAndSpaceStopsAndPlays) {
    Open();
    fogbell::test::AdxOptions options;
    options.channels = 2;
    options.totalSamples = 32 * 82000;  // about a minute: 7 s at the null device's speed
    const std::string archive =
        Save(AfsBuilder()
                 .Add("minute.adx",
                      fogbell::test::BuildAdx(options, fogbell::test::AdxFrames(82000, 2, 5), true))
                 .Build()
                 .bytes,
             "minute.afs");
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(archive)));
    DoubleClickRow(0);
    auto* bar = window->Control(kIdPlayProgress);
    ASSERT_TRUE(RunUntil([&] { return ProgressPos(bar) > 0; }));
    const double top = ProgressMaximum(bar);
    const auto share = [&] { return ProgressPos(bar) / top; };
    ASSERT_LT(share(), 0.3);

    const QPoint threeQuarters(bar->width() * 3 / 4, bar->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(threeQuarters),
                      QPointF(bar->mapToGlobal(threeQuarters)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    EXPECT_TRUE(RunUntil([&] { return share() >= 0.74; }, 2000));  // playing on: 3 s
    EXPECT_LT(share(), 0.9);                                       // there, not at the end
    Key(Qt::Key_Left, bar);  // five seconds of about sixty back
    EXPECT_TRUE(RunUntil([&] { return share() < 0.74; }));
    EXPECT_GT(share(), 0.6);

    List()->setFocus();  // where a user's keys go after a click on the list
    Key(Qt::Key_Space, List());
    EXPECT_FALSE(window->Core().IsPlaying());
    EXPECT_EQ(ProgressPos(bar), 0);
    ASSERT_TRUE(Selected(0));
    List()->setFocus();  // disabling Stop moved the focus on to the next tab stop
    Key(Qt::Key_Space, List());
    EXPECT_TRUE(window->Core().IsPlaying());
    EXPECT_TRUE(ProgressCaption(bar).startsWith("minute.adx"));
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

}  // namespace
}  // namespace fogbell::window
