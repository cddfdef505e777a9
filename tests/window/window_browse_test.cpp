// Browsing a large archive in the window: the list's model against the core's rows, the filter,
// sorting by a column's header, and commands that act on the rows shown.
#include <QShortcut>
#include <QTemporaryDir>
#include <cstring>

#include "window_fixture.h"

namespace fogbell::window {
namespace {

constexpr int kMembers = 1200;

std::string PathFromQtForTest(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

class Browse : public Window {
  protected:
    // voice_0.adx to voice_1199.adx in that order, each a short ADX; the odd ones at 22050 Hz.
    std::string ManyVoices() {
        AfsBuilder builder;
        for (int i = 0; i < kMembers; ++i) {
            fogbell::test::AdxOptions options;
            options.rate = i % 2 == 0 ? 44100 : 22050;
            options.totalSamples = 32;
            builder.Add("voice_" + std::to_string(i) + ".adx",
                        fogbell::test::BuildAdx(options, fogbell::test::AdxFrames(1, 1, 5), true));
        }
        return Save(builder.Build().bytes, "voices.afs");
    }

    void OpenVoices() {
        Open();
        ASSERT_TRUE(window->OpenPath(QString::fromStdString(ManyVoices())));
    }

    QLineEdit* Filter() { return Get<QLineEdit>(kIdFilter); }
    QString Count() { return Get<QLabel>(kIdCountLabel)->text(); }
    void ClickHeader(int column) { emit List()->header()->sectionClicked(column); }
    std::vector<QString> FirstNames(int count) {
        std::vector<QString> names;
        for (int row = 0; row < count; ++row) {
            names.push_back(Cell(row, kColumnName));
        }
        return names;
    }
};

TEST_F(Browse, TheModelShowsTheCoresRowsWithTheirPlaceAsTooltip) {
    OpenVoices();
    const TrackTable& tracks = window->Core().Tracks();
    ASSERT_EQ(Rows(), kMembers);
    ASSERT_EQ(tracks.ShownCount(), static_cast<std::size_t>(kMembers));
    for (int row : {0, 1, 777, kMembers - 1}) {
        const TrackRow core = tracks.Row(tracks.ContainerRow(static_cast<std::size_t>(row)));
        EXPECT_EQ(Cell(row, kColumnName).toStdString(), core.name);
        EXPECT_EQ(Cell(row, kColumnLength).toStdString(), core.length);
        EXPECT_EQ(Cell(row, kColumnBitrate).toStdString(), core.bitrate);
        EXPECT_EQ(List()->model()->index(row, kColumnName).data(Qt::ToolTipRole).toString(),
                  QString("#%1").arg(row + 1));
    }
    EXPECT_EQ(Cell(1, kColumnBitrate), "22050Hz,1Ch");

    // Selections go both ways: the list's into the core, the core's "select all" into the list.
    SelectRow(3);
    SelectRow(5);
    EXPECT_EQ(window->Core().CollectSelectedNames(),
              (std::vector<std::string>{"voice_3.adx", "voice_5.adx"}));
    ButtonOf(kIdSelectAll)->click();
    EXPECT_TRUE(Selected(0));
    EXPECT_TRUE(Selected(kMembers - 1));
    EXPECT_EQ(List()->selectionModel()->selection().size(), 1);  // one range, not 1200
    EXPECT_EQ(tracks.SelectedCount(), static_cast<std::size_t>(kMembers));
}

TEST_F(Browse, TheFilterShowsMatchingRowsAndCommandsActOnThemOnly) {
    OpenVoices();
    Get<QLineEdit>(kIdSaveDirectoryBox)->setText(QString::fromStdString(dir.File("out")));
    // Ctrl+F reaches the field (through the window's shortcut).
    QShortcut* find = window->findChild<QShortcut*>();
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(find->key(), QKeySequence(QKeySequence::Find));
    QApplication::setActiveWindow(window.get());
    emit find->activated();
    EXPECT_TRUE(Filter()->hasFocus());

    struct Case {
        const char* text;
        int shown;
    } cases[] = {{"VOICE_11", 111}, {"_119", 11}, {"1199.", 1}, {"nothing", 0}, {"", kMembers}};
    for (const Case& c : cases) {
        Filter()->setText(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Rows(), c.shown);
        EXPECT_EQ(Count(), *c.text == '\0'
                               ? QString("Count files: %1").arg(kMembers)
                               : QString("Count files: %1 of %2").arg(c.shown).arg(kMembers));
        for (int row = 0; row < Rows(); ++row) {
            EXPECT_TRUE(Cell(row, kColumnName).contains(c.text, Qt::CaseInsensitive));
        }
    }

    // Select all, then narrow the filter: "Extract..." writes the rows shown, none hidden.
    ButtonOf(kIdSelectAll)->click();
    Filter()->setText("voice_119");
    EXPECT_EQ(window->Core().CollectSelectedNames().size(), 11u);
    window->OnCommand(kCommandExtract);
    window->Core().WaitForWorkers();
    Drain();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("out")),
                            std::filesystem::directory_iterator()),
              11);
    EXPECT_TRUE(fogbell::test::FileExists(dir.File("out/voice_1195.adx")));

    // Escape in the field empties it and leaves the window open, also pressed again.
    Key(Qt::Key_Escape, Filter());
    EXPECT_EQ(Filter()->text(), "");
    EXPECT_EQ(Rows(), kMembers);
    Key(Qt::Key_Escape, Filter());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->IsTornDown());

    // Another container clears the filter.
    Filter()->setText("voice_2");
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    EXPECT_EQ(Filter()->text(), "");
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Count(), "Count files: 2");
}

TEST_F(Browse, HeaderClicksSortNaturallyThenReverseThenRestoreTheContainersOrder) {
    OpenVoices();
    struct Case {
        int column;
        std::vector<QString> first;
        bool indicator;
    } cases[] = {
        {kColumnName, {"voice_0.adx", "voice_1.adx", "voice_2.adx"}, true},
        {kColumnName, {"voice_1199.adx", "voice_1198.adx", "voice_1197.adx"}, true},
        {kColumnName, {"voice_0.adx", "voice_1.adx", "voice_2.adx"}, false},
        // 22050 Hz before 44100 Hz, each in the container's order.
        {kColumnBitrate, {"voice_1.adx", "voice_3.adx", "voice_5.adx"}, true},
    };
    for (const Case& c : cases) {
        ClickHeader(c.column);
        EXPECT_EQ(FirstNames(3), c.first);
        EXPECT_EQ(List()->header()->isSortIndicatorShown(), c.indicator);
    }
    // A sorted, filtered list keeps both; the tooltip keeps the container's place.
    Filter()->setText("voice_99");
    EXPECT_EQ(
        FirstNames(Rows()),
        (std::vector<QString>{"voice_99.adx", "voice_991.adx", "voice_993.adx", "voice_995.adx",
                              "voice_997.adx", "voice_999.adx", "voice_990.adx", "voice_992.adx",
                              "voice_994.adx", "voice_996.adx", "voice_998.adx"}));
    EXPECT_EQ(List()->model()->index(0, 0).data(Qt::ToolTipRole).toString(), "#100");
}

TEST_F(Browse, PreviousDirectorySelectsTheRowOneCameFrom) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    ClickHeader(kColumnName);  // bgm01.bin, inner.afs
    ASSERT_EQ(Cell(1, kColumnName), "inner.afs");
    DoubleClickRow(1);
    ASSERT_EQ(window->Core().NestingDepth(), 1u);
    ButtonOf(kIdPreviousDirectory)->click();
    EXPECT_TRUE(Selected(1));
    EXPECT_FALSE(Selected(0));
    EXPECT_EQ(List()->currentIndex().row(), 1);
    EXPECT_EQ(window->Core().CollectSelectedNames(), (std::vector<std::string>{"inner.afs"}));
}

TEST_F(Browse, ExistingFilesInTheSaveFolderAreAskedAboutOnce) {
    Open();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(NestedArchive())));
    Get<QLineEdit>(kIdSaveDirectoryBox)->setText(QString::fromStdString(dir.File("out")));
    const auto extractAll = [this] {
        window->OnCommand(kCommandExtractAll);
        window->Core().WaitForWorkers();
        Drain();
    };
    extractAll();
    EXPECT_TRUE(script.choices.empty());  // nothing there yet
    fogbell::test::WriteFile(dir.File("out/bgm01.bin"), Bytes{1, 2, 3});

    // "Keep all" (also what closing the box means): nothing written over, and told so.
    script.choiceAnswers.push_back(3);
    extractAll();
    ASSERT_EQ(script.choices.size(), 1u);  // one question for two files
    EXPECT_EQ(script.choices[0], (QStringList{"Replace", "Keep", "Replace all", "Keep all"}));
    EXPECT_TRUE(script.questions.back().text.contains("inner.afs"));
    EXPECT_EQ(fogbell::test::ReadFile(dir.File("out/bgm01.bin")), (Bytes{1, 2, 3}));
    EXPECT_EQ(Status(), "Extract: 2 existing files kept.");

    // "Keep" the first, "Replace" the second.
    script.choiceAnswers = {1, 0};
    extractAll();
    EXPECT_EQ(script.choices.size(), 3u);
    EXPECT_EQ(fogbell::test::ReadFile(dir.File("out/bgm01.bin")), Pattern(100, 1));
    EXPECT_EQ(Status(), "Extract: 1 existing file kept.");
}

TEST_F(Browse, TheChainIsShownAndKeptAndTheDialogsStartWhereItIs) {
    Open();
    const std::string disk = NestedArchive();
    ASSERT_TRUE(window->OpenPath(QString::fromStdString(disk)));
    DoubleClickRow(0);
    EXPECT_EQ(Get<QLineEdit>(kIdFileNameBox)->text().toStdString(),
              disk + " \xE2\x80\xBA inner.afs");
    window->done(QDialog::Rejected);
    EXPECT_EQ(Setting("FileName"), disk + "::inner.afs");
    window.reset();
    Open(false);
    EXPECT_EQ(QDir(script.startFolder), QFileInfo(QString::fromStdString(disk)).dir());
}

TEST_F(Browse, ADragCarriesTheSelectedTracksAsFilesStoredOrAsWave) {
    OpenVoices();
    SelectRow(2);
    SelectRow(5);
    struct Case {
        bool asWave;
        std::vector<QString> names;
        const char* magic;
    } cases[] = {{false, {"voice_2.adx", "voice_5.adx"}, "\x80"},
                 {true, {"voice_2.adx.wav", "voice_5.adx.wav"}, "RIFF"}};
    for (const Case& c : cases) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const std::unique_ptr<QMimeData> data = window->MakeDragData(folder.path(), c.asWave);
        ASSERT_NE(data, nullptr);
        const QList<QUrl> urls = data->urls();
        ASSERT_EQ(urls.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const QString file = urls[i].toLocalFile();
            EXPECT_EQ(QFileInfo(file).fileName(), c.names[static_cast<std::size_t>(i)]);
            const Bytes bytes = fogbell::test::ReadFile(PathFromQtForTest(file));
            ASSERT_GE(bytes.size(), 4u);
            EXPECT_EQ(
                std::string(bytes.begin(), bytes.begin() + static_cast<long>(std::strlen(c.magic))),
                c.magic);
        }
    }
    // Nothing selected: nothing to drag.
    window->Core().Tracks().ClearSelection();
    QTemporaryDir empty;
    EXPECT_EQ(window->MakeDragData(empty.path(), false), nullptr);
}

}  // namespace
}  // namespace fogbell::window
