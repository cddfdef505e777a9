// The image button: its paint layers on rendered images, the check box state, hover, clicks
// and the focus hand-over when it is disabled.
#include "host/controls/image_button.h"

#include "host/controls/balloon_tip.h"

#include "render_helpers.h"

#include <QApplication>
#include <QHelpEvent>
#include <QPalette>
#include <QTest>
#include <QVBoxLayout>

#include <string>

#include <gtest/gtest.h>

namespace fogbell {
namespace {

using test::ColourBounds;
using test::PixelAt;
using test::Render;

const QColor kGreen(0, 200, 0);

QColor Face(const QWidget& w) {
    return test::Rgb8(w.palette().color(QPalette::Active, QPalette::Button));
}

// A 10 x 10 bitmap of `key` with a green 4 x 4 square at (3, 3).
QImage KeyedSquare(QColor key) {
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(key);
    for (int y = 3; y < 7; ++y) {
        for (int x = 3; x < 7; ++x) {
            image.setPixel(x, y, kGreen.rgb());
        }
    }
    return image;
}

TEST(ImageButtonTest, CheckedCheckBoxIsFilledRedWithWhiteTextAndKeepsItWhileHovered) {
    CImageButton box(QStringLiteral("Loop sound"), CImageButton::Kind::kCheckBox);
    box.SetFlat(true);
    box.resize(100, 24);
    const QColor red(CImageButton::kCheckedFill);
    const QColor white(CImageButton::kCheckedText);
    ASSERT_FALSE(ColourBounds(Render(box).copy(20, 0, 80, 24), white).isValid());
    // Unchecked it is still visibly a control: a resting frame and an empty box.
    const int boxLeft = CImageButton::kCheckMarkLeft;
    const int boxTop = (24 - CImageButton::kCheckMarkSide) / 2;
    QImage idle = Render(box);
    EXPECT_EQ(PixelAt(idle, 2, 2), Face(box));
    EXPECT_EQ(PixelAt(idle, 50, 0), test::Rgb8(box.palette().color(QPalette::Mid)));
    EXPECT_EQ(PixelAt(idle, boxLeft, boxTop + 4), test::Rgb8(box.palette().color(QPalette::Shadow)));
    EXPECT_EQ(PixelAt(idle, boxLeft + 4, boxTop + 1), test::Rgb8(box.palette().color(QPalette::Base)));

    box.SetCheck(1);
    EXPECT_EQ(box.GetCheck(), 1);
    QImage checked = Render(box);
    EXPECT_EQ(PixelAt(checked, 2, 2), red);
    // The caption right of the box is drawn in white on the red.
    const QRect caption(boxLeft + CImageButton::kCheckMarkSide + 2, 0, 80, 24);
    EXPECT_TRUE(ColourBounds(checked.copy(caption), white).isValid());
    test::SendEnter(box, QPoint(5, 5));
    ASSERT_TRUE(box.IsHover());
    EXPECT_EQ(PixelAt(Render(box), 2, 20), red);

    box.SetCheck(0);
    test::SendLeave(box);
    EXPECT_EQ(PixelAt(Render(box), 2, 2), Face(box));
}

TEST(ImageButtonTest, ClickTogglesTheCheckBeforeTheParentHearsOfIt) {
    CImageButton box(QStringLiteral("Always on the top"), CImageButton::Kind::kCheckBox);
    std::vector<int> seen;
    QObject::connect(&box, &QAbstractButton::clicked, [&] { seen.push_back(box.GetCheck()); });
    box.click();
    box.click();
    EXPECT_EQ(seen, (std::vector<int>{1, 0}));
}

TEST(ImageButtonTest, SetCheckOnAPushButtonChangesNothing) {
    CImageButton button(QStringLiteral("Exit"));
    button.SetCheck(1);
    EXPECT_EQ(button.GetCheck(), 0);
    button.click();
    EXPECT_EQ(button.GetCheck(), 0);
}

TEST(ImageButtonTest, FlatButtonIsFramedAtRestAndRaisedWhileHovered) {
    CImageButton button(QStringLiteral("Directory for save"));
    button.SetFlat(true);
    button.resize(120, 26);
    const QPalette& pal = button.palette();
    const int midX = 60;
    const int bottom = button.height() - 1;

    QImage idle = Render(button);  // a thin frame at rest
    EXPECT_EQ(PixelAt(idle, midX, 0), test::Rgb8(pal.color(QPalette::Mid)));
    EXPECT_EQ(PixelAt(idle, midX, bottom), test::Rgb8(pal.color(QPalette::Mid)));

    test::SendEnter(button, QPoint(10, 10));
    QImage hovered = Render(button);
    EXPECT_EQ(PixelAt(hovered, midX, 0), test::Rgb8(pal.color(QPalette::Light)));  // raised
    EXPECT_EQ(PixelAt(hovered, midX, bottom), test::Rgb8(pal.color(QPalette::Dark)));

    button.setDown(true);
    QImage pressed = Render(button);
    EXPECT_EQ(PixelAt(pressed, midX, 0), test::Rgb8(pal.color(QPalette::Dark)));  // sunken
    EXPECT_EQ(PixelAt(pressed, midX, bottom), test::Rgb8(pal.color(QPalette::Light)));
    button.setDown(false);

    test::SendLeave(button);
    EXPECT_FALSE(button.IsHover());
    EXPECT_EQ(Render(button), idle);
}

TEST(ImageButtonTest, FlatButtonWithoutDrawBorderStaysBorderless) {
    CImageButton button(QStringLiteral("OK"));
    button.SetFlat(true);
    button.SetDrawBorder(false);
    button.resize(80, 24);
    test::SendEnter(button, QPoint(10, 10));
    EXPECT_EQ(PixelAt(Render(button), 40, 0), Face(button));
}

TEST(ImageButtonTest, RaisedButtonHasItsTwoPixelBorder) {
    CImageButton button(QStringLiteral("Context menu"));
    button.resize(100, 26);
    const QPalette& pal = button.palette();
    QImage image = Render(button);
    const int b = button.height() - 1;
    const int r = button.width() - 1;
    EXPECT_EQ(PixelAt(image, 50, 0), test::Rgb8(pal.color(QPalette::Light)));
    EXPECT_EQ(PixelAt(image, 50, 1), test::Rgb8(pal.color(QPalette::Midlight)));
    EXPECT_EQ(PixelAt(image, 50, b), test::Rgb8(pal.color(QPalette::Shadow)));
    EXPECT_EQ(PixelAt(image, 50, b - 1), test::Rgb8(pal.color(QPalette::Dark)));
    EXPECT_EQ(PixelAt(image, r, 10), test::Rgb8(pal.color(QPalette::Shadow)));
    EXPECT_EQ(PixelAt(image, r - 1, 10), test::Rgb8(pal.color(QPalette::Dark)));

    button.setDown(true);  // pressed: a single shadow frame
    image = Render(button);
    EXPECT_EQ(PixelAt(image, 50, 0), test::Rgb8(pal.color(QPalette::Dark)));
    EXPECT_EQ(PixelAt(image, 50, 1), Face(button));
}

TEST(ImageButtonTest, DefaultButtonGetsABlackFrame) {
    CImageButton button(QStringLiteral("OK"));
    button.setDefault(true);
    button.resize(80, 24);
    QImage image = Render(button);
    EXPECT_EQ(PixelAt(image, 40, 0), QColor(Qt::black));
    EXPECT_EQ(PixelAt(image, 40, 1), test::Rgb8(button.palette().color(QPalette::Light)));
}

// Each key colour the windows use lets the background show where the bitmap has it.
class ColourKeyTest : public ::testing::TestWithParam<QRgb> {};

TEST_P(ColourKeyTest, KeyColourIsTransparent) {
    const QColor key(GetParam());
    CImageButton button;
    ASSERT_EQ(button.SetBitmap(KeyedSquare(key), key), 0);
    button.SetFlat(true);  // a thin frame at the edge only, so background and image inside
    button.resize(30, 30);
    QImage image = Render(button);
    // The bitmap sits centred at (10, 10); its key corner shows the button face.
    EXPECT_EQ(PixelAt(image, 10, 10), Face(button));
    EXPECT_EQ(PixelAt(image, 19, 19), Face(button));
    EXPECT_EQ(ColourBounds(image, kGreen), QRect(13, 13, 4, 4));
    // Inside the frame nothing but the face and the green square: no key pixel reaches the
    // screen.
    for (int y = 1; y + 1 < image.height(); ++y) {
        for (int x = 1; x + 1 < image.width(); ++x) {
            const QColor c = PixelAt(image, x, y);
            ASSERT_TRUE(c == Face(button) || c == kGreen) << x << "," << y;
        }
    }

    const QImage mask = button.Mask();
    ASSERT_FALSE(mask.isNull());
    EXPECT_EQ(mask.pixelIndex(0, 0), 1);
    EXPECT_EQ(mask.pixelIndex(4, 4), 0);
    EXPECT_EQ(qAlpha(button.Bitmap().pixel(0, 0)), 0);
}

INSTANTIATE_TEST_SUITE_P(WindowKeys, ColourKeyTest,
                         ::testing::Values(qRgb(192, 192, 192), qRgb(15, 0, 0), qRgb(0, 0, 0)),
                         [](const ::testing::TestParamInfo<QRgb>& param) {
                             return "Key" + std::to_string(param.param & 0xFFFFFFu);
                         });

TEST(ImageButtonTest, NullBitmapLeavesTheButtonWithoutImage) {
    CImageButton button;
    ASSERT_EQ(button.SetBitmap(KeyedSquare(Qt::black), Qt::black), 0);
    EXPECT_EQ(button.SetBitmap(QImage(), Qt::black), 0);
    EXPECT_TRUE(button.Bitmap().isNull());
    button.resize(30, 30);
    EXPECT_FALSE(ColourBounds(Render(button), kGreen).isValid());
}

TEST(ImageButtonTest, DisabledBitmapIsEmbossed) {
    CImageButton button;
    button.SetBitmap(KeyedSquare(Qt::black), Qt::black);
    button.SetFlat(true);
    button.resize(30, 30);
    button.setEnabled(false);
    const QPalette& pal = button.palette();
    QImage image = Render(button);
    EXPECT_FALSE(ColourBounds(image, kGreen).isValid());
    // Ink in the shadow colour at its place, the highlight one pixel right and down.
    EXPECT_EQ(ColourBounds(image, test::Rgb8(pal.color(QPalette::Dark))), QRect(13, 13, 4, 4));
    EXPECT_EQ(PixelAt(image, 17, 17), test::Rgb8(pal.color(QPalette::Light)));
    EXPECT_EQ(PixelAt(image, 17, 14), test::Rgb8(pal.color(QPalette::Light)));
    EXPECT_EQ(PixelAt(image, 12, 12), Face(button));

    button.SetShowDisabledBitmap(false);
    EXPECT_EQ(ColourBounds(Render(button), kGreen), QRect(13, 13, 4, 4));
}

TEST(ImageButtonTest, PressedPushButtonMovesImageByOnePixel) {
    CImageButton button;
    button.SetBitmap(KeyedSquare(Qt::black), Qt::black);
    button.SetFlat(true);
    button.resize(30, 30);
    const QRect idle = ColourBounds(Render(button), kGreen);
    button.setDown(true);
    EXPECT_EQ(ColourBounds(Render(button), kGreen), idle.translated(1, 1));
}

TEST(ImageButtonTest, ImageGoesLeftOfTheCaption) {
    CImageButton button(QStringLiteral("Go"));
    button.SetBitmap(KeyedSquare(Qt::black), Qt::black);
    button.SetFlat(true);
    button.resize(100, 30);
    QImage image = Render(button);
    // marginX from the left edge: the bitmap starts at x = 3, its green square at 6.
    EXPECT_EQ(ColourBounds(image, kGreen), QRect(6, 13, 4, 4));
    const QRect text = test::InkBounds(image, Face(button), QRect(14, 0, 86, 30));
    ASSERT_TRUE(text.isValid());
    // Centred in the area right of the image (x 13 to 99).
    EXPECT_NEAR(text.center().x(), 13 + 87 / 2, 3);
}

TEST(ImageButtonTest, LongCaptionWrapsAndStaysCentred) {
    CImageButton button(QStringLiteral("Check server version"));
    button.SetFlat(true);
    button.resize(70, 60);
    const QImage image = Render(button);
    const QRect ink = test::InkBounds(image, Face(button));
    ASSERT_TRUE(ink.isValid());
    const int lineHeight = button.fontMetrics().height();
    EXPECT_GT(ink.height(), lineHeight);  // more than one line
    EXPECT_LE(ink.width(), 70);
    EXPECT_NEAR(ink.center().x(), 35, 3);
    EXPECT_NEAR(ink.center().y(), 30, 3);
}

TEST(ImageButtonTest, DoubleClickGivesTwoClicks) {
    CImageButton button(QStringLiteral("Play"));
    button.resize(60, 24);
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    const QPoint at(10, 10);
    test::SendPress(button, at);
    test::SendRelease(button, at);
    test::SendDoubleClick(button, at);
    test::SendRelease(button, at);
    EXPECT_EQ(clicks, 2);
}

TEST(ImageButtonTest, HoverDoesNotStartDuringADragFromElsewhere) {
    CImageButton button(QStringLiteral("Exit"));
    button.SetFlat(true);
    button.resize(60, 24);
    test::SendMove(button, QPoint(10, 10), Qt::LeftButton);
    EXPECT_FALSE(button.IsHover());
    test::SendMove(button, QPoint(10, 10));
    EXPECT_TRUE(button.IsHover());
    test::SendMove(button, QPoint(100, 10));  // outside
    EXPECT_FALSE(button.IsHover());
}

TEST(ImageButtonTest, NonFlatButtonNeverHovers) {
    CImageButton button(QStringLiteral("Exit"));
    button.resize(60, 24);
    test::SendEnter(button, QPoint(10, 10));
    test::SendMove(button, QPoint(10, 10));
    EXPECT_FALSE(button.IsHover());
}

TEST(ImageButtonTest, TooltipTextAndActivation) {
    CImageButton button;
    button.SetBalloonTooltip();
    EXPECT_TRUE(button.IsBalloonTooltip());
    button.SetTooltipText(QString(), true);  // no text: nothing happens
    EXPECT_TRUE(button.toolTip().isEmpty());
    button.SetTooltipText(QStringLiteral("Context menu\nAccess on Right click button."), true);
    EXPECT_EQ(button.toolTip(), QStringLiteral("Context menu\nAccess on Right click button."));
    button.ActivateTooltip(false);
    EXPECT_TRUE(button.toolTip().isEmpty());
    button.ActivateTooltip(true);
    EXPECT_EQ(button.TooltipText(), button.toolTip());
}

TEST(ImageButtonTest, BalloonTooltipShowsItsTextUnderTheButtonAndHidesOnLeave) {
    QWidget window;
    auto* button =
        new CImageButton(QStringLiteral("Exit"), CImageButton::Kind::kPushButton, &window);
    button->setGeometry(20, 20, 80, 24);
    button->SetBalloonTooltip();
    button->SetTooltipText(QStringLiteral("Close application."), true);
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QHelpEvent help(QEvent::ToolTip, QPoint(10, 10), button->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(button, &help);
    const CBalloonTip* balloon = button->Balloon();
    ASSERT_NE(balloon, nullptr);
    EXPECT_TRUE(balloon->isVisible());
    EXPECT_EQ(balloon->Text(), QStringLiteral("Close application."));
    EXPECT_GE(balloon->geometry().top(), button->mapToGlobal(QPoint(0, button->height())).y());
    EXPECT_LE(balloon->width(), CBalloonTip::kMaxTipWidth + 40);

    test::SendLeave(*button);
    EXPECT_FALSE(balloon->isVisible());

    QApplication::sendEvent(button, &help);
    ASSERT_TRUE(balloon->isVisible());
    button->ActivateTooltip(false);  // deactivating hides it, and an inactive tip shows nothing
    EXPECT_FALSE(balloon->isVisible());
    QApplication::sendEvent(button, &help);
    EXPECT_FALSE(balloon->isVisible());
}

TEST(ImageButtonTest, PlainTooltipButtonMakesNoBalloon) {
    CImageButton button(QStringLiteral("Exit"));
    button.SetTooltipText(QStringLiteral("Close application."), true);
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(&button, &help);
    EXPECT_EQ(button.Balloon(), nullptr);
}

class FocusWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&window);
        for (auto* b : {&first, &second, &third}) {
            b->setParent(&window);
            layout->addWidget(b);
        }
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QWidget window;
    CImageButton first{QStringLiteral("Play")};
    CImageButton second{QStringLiteral("Stop")};
    CImageButton third{QStringLiteral("Exit")};
};

TEST_F(FocusWindow, DisablingMovesTheFocusToTheNextTabStopEvenWithoutFocus) {
    third.setFocus();
    ASSERT_TRUE(third.hasFocus());
    first.setEnabled(false);
    EXPECT_TRUE(second.hasFocus());
}

TEST_F(FocusWindow, DisablingTheFocusedButtonMovesTheFocusOn) {
    second.setFocus();
    second.setEnabled(false);
    EXPECT_TRUE(third.hasFocus());
}

TEST_F(FocusWindow, WithNoOtherTabStopTheParentTakesTheFocus) {
    second.setEnabled(false);
    third.setEnabled(false);
    first.setFocus();
    first.setEnabled(false);
    EXPECT_FALSE(first.hasFocus());
    EXPECT_TRUE(window.hasFocus());
}

TEST(ImageButtonTest, PaletteChangeResetsTheColoursToTheButtonColours) {
    CImageButton button(QStringLiteral("Exit"));
    button.SetFlat(true);
    button.resize(60, 24);
    button.SetColours(Qt::yellow, Qt::black, Qt::yellow, Qt::black, Qt::yellow, Qt::black);
    EXPECT_EQ(PixelAt(Render(button), 2, 2), QColor(Qt::yellow));
    QPalette pal = button.palette();
    pal.setColor(QPalette::Button, QColor(200, 220, 240));
    button.setPalette(pal);
    EXPECT_EQ(PixelAt(Render(button), 2, 2), QColor(200, 220, 240));
}

}  // namespace
}  // namespace fogbell
