// The main window's controls as the user meets them: texts, tooltips, states, places, the list's
// columns, the caption, the icon and the system menu.
#include "window_fixture.h"
#include "host/window/window_layout.h"

namespace fogbell::window {
namespace {

// The controls of template 102.

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

TEST_F(Window, EveryControlLiesInsideTheSmallestWindowWithoutOverlapping) {
    Open();
    const QSize size = DialogUnitsToPixels(kDialogUnits);
    EXPECT_EQ(window->minimumSize(), size);
    EXPECT_EQ(window->size(), size);
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
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

TEST_F(Window, ALargerWindowGivesTheListTheRoomAndKeepsTheOtherControlsAtTheirEdges) {
    Open();
    const QSize smallest = window->size();
    window->resize(smallest + QSize(300, 200));
    struct Case {
        int id;
        QPoint moved;
        QSize grown;
    } cases[] = {
        {kIdTrackList, {0, 0}, {300, 200}},  {kIdFileNameBox, {0, 0}, {300, 0}},
        {kIdFilter, {0, 0}, {300, 0}},       {kIdCountLabel, {0, 200}, {0, 0}},
        {kIdPlay, {300, 0}, {0, 0}},         {kIdExit, {300, 0}, {0, 0}},
        {kIdPlayProgress, {0, 200}, {300, 0}}, {kIdVolume, {0, 200}, {0, 0}},
        {kIdStatus, {0, 200}, {300, 0}},     {kIdChooseSaveDirectory, {300, 200}, {0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        const QRect place = DialogUnitsToPixels(FindControl(c.id)->place);
        EXPECT_EQ(window->Control(c.id)->geometry(),
                  QRect(place.topLeft() + c.moved, place.size() + c.grown));
    }
    window->resize(smallest);
    EXPECT_EQ(List()->geometry(), DialogUnitsToPixels(FindControl(kIdTrackList)->place));
}

TEST_F(Window, TheColumnsShareWhatTheListGainsAndGiveItBack) {
    Open();
    const QSize smallest = window->size();
    QHeaderView* header = List()->header();
    const auto widths = [header] {
        std::vector<int> all;
        for (int i = 0; i < header->count(); ++i) {
            all.push_back(header->sectionSize(i));
        }
        return all;
    };
    const std::vector<int> before = widths();
    window->resize(smallest + QSize(300, 0));
    const std::vector<int> grown = widths();
    EXPECT_EQ(grown, ShareWidth(before, 300));
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_GT(grown[i], before[i]) << i;
    }
    window->resize(smallest);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_NEAR(widths()[i], before[i], 2) << i;
    }
}

TEST(ShareWidth, SharesInProportionAndTheNameColumnTakesTheRest) {
    struct Case {
        std::vector<int> widths;
        int delta;
        std::vector<int> shared;
    } cases[] = {
        {{100, 50, 50}, 100, {150, 75, 75}},
        {{100, 50, 50}, 101, {151, 75, 75}},  // the rounding's rest to the name
        {{100, 50, 50}, -180, {24, 24, 24}},  // never narrower than kNarrowestColumn
        {{0, 0}, 50, {0, 0}},                 // nothing to share by
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShareWidth(c.widths, c.delta), c.shared) << c.delta;
    }
}

TEST_F(Window, SizePlaceAndColumnWidthsAreKeptInTheSettings) {
    Open();
    window->setGeometry(QRect(QPoint(30, 40), window->minimumSize() + QSize(120, 80)));
    List()->header()->resizeSection(kColumnName, 222);
    const QRect kept = window->geometry();
    window->done(QDialog::Rejected);
    // The other columns took their shares of the 120 pixels the list gained.
    const std::vector<int> shared = ShareWidth({116, 60, 84, 44}, 120);
    EXPECT_EQ(Setting("ColumnWidths"),
              QString("222,%1,%2,%3").arg(shared[1]).arg(shared[2]).arg(shared[3]).toStdString());
    EXPECT_EQ(Setting("WindowPlace"), QString("%1,%2,%3,%4")
                                          .arg(kept.x())
                                          .arg(kept.y())
                                          .arg(kept.width())
                                          .arg(kept.height())
                                          .toStdString());
    window.reset();
    Open(false);
    EXPECT_EQ(window->geometry().size(), kept.size());
    EXPECT_EQ(List()->header()->sectionSize(kColumnName), 222);
}

TEST_F(Window, StoredPlacementsThatMakeNoSenseAreLeftOut) {
    struct Case {
        const char* place;
        const char* widths;
        QSize size;
        int nameWidth;
    } cases[] = {
        {"1,2,3", "5,5", DialogUnitsToPixels(kDialogUnits), 116},     // too few numbers
        {"0,0,10,10", "0,90,90,40", DialogUnitsToPixels(kDialogUnits), 116},  // below the minimum
        {"a,b,c,d", "99999,1,1,1", DialogUnitsToPixels(kDialogUnits), 116},
        {"0,0,900,700", "50,60,70,40", QSize(900, 700), 50},
        {"0,0,900,700", "50,60,70", QSize(900, 700), 116},  // the three columns of old
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.place);
        fogbell::test::WriteFile(
            dir.File("ini.ini"),
            fogbell::test::BytesOf(std::string("[General]\r\nWindowPlace=") + c.place +
                                   "\r\nColumnWidths=" + c.widths + "\r\n"));
        Open(false);
        EXPECT_EQ(window->size(), c.size);
        EXPECT_EQ(List()->header()->sectionSize(kColumnName), c.nameWidth);
        window.reset();
    }
}

TEST_F(Window, ImageButtonsHaveAccessibleNamesAndDescriptions) {
    Open();
    struct Case {
        int id;
        const char* name;
    } cases[] = {{kIdPlay, "Play"},           {kIdStop, "Stop"},
                 {kIdOpenContainer, "Open container"}, {kIdOpenAudioFile, "Open audio file"},
                 {kIdPreviousDirectory, "Previous directory"}, {kIdSelectAll, "Select all files"},
                 {kIdAbout, "About"},         {kIdExit, "Exit"}};
    for (const Case& c : cases) {
        EXPECT_EQ(ButtonOf(c.id)->accessibleName(), c.name);
        EXPECT_EQ(ButtonOf(c.id)->accessibleDescription(),
                  QString::fromUtf8(FindControl(c.id)->tooltip));
    }
}

TEST_F(Window, TheListHasItsFourColumns) {
    Open();
    QTreeView* list = List();
    ASSERT_EQ(list->model()->columnCount(), 4);
    const char* titles[] = {"File Name", "Length", "Bitrate", "Time"};
    const int widths[] = {116, 60, 84, 44};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list->model()->headerData(i, Qt::Horizontal).toString(), titles[i]);
        EXPECT_EQ(list->header()->sectionSize(i), widths[i]);
        EXPECT_TRUE(list->model()->headerData(i, Qt::Horizontal, Qt::TextAlignmentRole)
                        .value<Qt::Alignment>() &
                    Qt::AlignLeft);
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

}  // namespace
}  // namespace fogbell::window
