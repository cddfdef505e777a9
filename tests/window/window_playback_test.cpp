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

}  // namespace
}  // namespace fogbell::window
