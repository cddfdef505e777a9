// The window's life: how the program ends and writes its settings, always on the top across
// runs, and calls from other threads while it runs.
#include "window_fixture.h"

namespace fogbell::window {
namespace {

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
    EXPECT_EQ(Setting("SaveDir"), QDir::toNativeSeparators("/kept").toStdString());
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

TEST_F(Window, ATaskStillQueuedWhenTheWindowGoesIsDroppedNotRun) {
    Open();
    auto token = std::make_shared<int>(0);
    bool ran = false;
    std::thread worker([&, held = token] { window->PostToWindow([held, &ran] { ran = true; }); });
    worker.join();
    EXPECT_EQ(token.use_count(), 2);  // the queued task holds it
    window.reset();
    Drain();
    EXPECT_FALSE(ran);
    EXPECT_EQ(token.use_count(), 1);  // the task went with the window, captures and all
}

}  // namespace
}  // namespace fogbell::window
