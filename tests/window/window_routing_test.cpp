// The routing of the window's events to the core with the real staged plug-ins: opening and
// walking containers, the track menu and its workers, the volume, files from outside, and the
// open-file filter.
#include "window_fixture.h"

namespace fogbell::window {
namespace {

// ---------------------------------------------------------------------------------------------
// Routing to the core

TEST_F(Window, OpenContainerGoIntoANestedOneAndBack) {
    Open();
    const std::string disk = NestedArchive();
    script.openFileAnswers.push_back(QString::fromStdString(disk));
    ButtonOf(kIdOpenContainer)->click();
    ASSERT_EQ(script.filters.size(), 1u);
    EXPECT_TRUE(script.filters[0].front().startsWith("Support Files (*."));
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), "inner.afs");
    EXPECT_EQ(Cell(0, 2), "..");
    EXPECT_EQ(Cell(1, 1), "100");
    EXPECT_EQ(Get<QLabel>(kIdCountLabel)->text(), "Count files: 2");
    EXPECT_EQ(Get<QLineEdit>(kIdFileNameBox)->text().toStdString(), disk);
    EXPECT_FALSE(ButtonOf(kIdPreviousDirectory)->isEnabled());

    DoubleClickRow(0);
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, 0), "song.bin");
    EXPECT_EQ(Get<QLineEdit>(kIdFileNameBox)->text().toStdString(),
              disk + " \xE2\x80\xBA inner.afs");
    EXPECT_TRUE(ButtonOf(kIdPreviousDirectory)->isEnabled());
    EXPECT_EQ(window->PlayText(), "");  // the double-click cleared what Play starts
    EXPECT_EQ(window->Core().NestingDepth(), 1u);

    ButtonOf(kIdPreviousDirectory)->click();
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Get<QLineEdit>(kIdFileNameBox)->text().toStdString(), disk);
    EXPECT_FALSE(ButtonOf(kIdPreviousDirectory)->isEnabled());
    EXPECT_EQ(window->Core().NestingDepth(), 0u);
}

TEST_F(Window, ACancelledDialogChangesNothing) {
    Open();
    ButtonOf(kIdOpenContainer)->click();  // no answer: cancelled
    ButtonOf(kIdOpenAudioFile)->click();
    EXPECT_EQ(script.filters.size(), 2u);
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(Status(), "Status");
}

TEST_F(Window, SelectAllAndTheTrackMenuFromTheButtonAndTheList) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    QTreeView* list = List();

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
    EXPECT_TRUE(Selected(0));
    EXPECT_TRUE(Selected(1));

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
    SelectRow(1);
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
    // The file dialog named the track, listed audio files first and started beside the archive.
    EXPECT_EQ(script.openTitles.back(), "Replace bgm01.bin");
    EXPECT_TRUE(script.filters.back().front().startsWith("Support Files ("));
    EXPECT_EQ(script.filters.back().back(), "All files (*.*)");
    EXPECT_EQ(QDir(script.openFolders.back()), QDir(QString::fromStdString(dir.Path().string())));
    EXPECT_EQ(QtMessageIcon(MessageIcon::kNone), QMessageBox::NoIcon);
    EXPECT_EQ(QtMessageIcon(MessageIcon::kStop), QMessageBox::Critical);
}

TEST_F(Window, AReplacementLargerThanItsRoomIsAQuestion) {
    Open();
    const std::string archive = NestedArchive();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(archive)));
    const Bytes before = fogbell::test::ReadFile(archive);
    SelectRow(1);
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
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(1, 1), "5000");
    EXPECT_TRUE(Selected(1));
    EXPECT_FALSE(Selected(0));
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
// Files from outside: the command line and drops

TEST_F(Window, APathOpensAContainerOrPlaysAnAudioFile) {
    Open();
    EXPECT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    EXPECT_EQ(Rows(), 2);
    const std::string adx = AdxFile();
    EXPECT_TRUE(window->OpenPath(QString::fromStdString(adx)));
    EXPECT_EQ(window->PlayText(), adx);
    EXPECT_EQ(Rows(), 2);  // the container's rows stay
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
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(window->FileNameBox(), disk);
}

TEST_F(Window, TrackNamesKeepTheirExactBytes) {
    Open();
    const std::string odd = "caf\xE9.bin";  // Latin-1, not UTF-8
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(
        Save(AfsBuilder().Add(odd, Pattern(8, 1)).Build().bytes, "odd.afs"))));
    EXPECT_EQ(window->Core().Tracks().ShownName(0), odd);
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
