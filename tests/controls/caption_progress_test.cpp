// The caption progress bar: gradient colours at given x, the empty look at the ends of its
// range, the share taken of rangeMax, and the caption.
#include "host/controls/caption_progress.h"

#include "render_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fogbell {
namespace {

using test::PixelAt;
using test::Render;

const QColor kBlack(0, 0, 0);

// 255 pixels wide: each of the 255 bands is one pixel, band i has green 255 - i.
TEST(CaptionProgressTest, GradientColourFollowsXAndRestIsBlack) {
    CCaptionProgress bar;
    bar.resize(255, 20);
    bar.SetRange(0, 100);
    bar.SetPos(50);  // filled width trunc(0.5 * 255) = 127
    EXPECT_EQ(bar.FilledWidth(), 127);
    const QImage image = Render(bar);
    EXPECT_EQ(PixelAt(image, 0, 0), QColor(0, 255, 255));  // cyan at the left edge
    EXPECT_EQ(PixelAt(image, 10, 0), QColor(0, 245, 255));
    EXPECT_EQ(PixelAt(image, 100, 19), QColor(0, 155, 255));
    // Whole bands: the band that crosses the filled width is still drawn.
    EXPECT_EQ(PixelAt(image, 127, 0), QColor(0, 128, 255));
    EXPECT_EQ(PixelAt(image, 128, 0), kBlack);
    EXPECT_EQ(PixelAt(image, 254, 0), kBlack);
}

// 510 pixels: bands two pixels wide, so the colour at x is that of band x / 2.
TEST(CaptionProgressTest, WideBarUsesWiderBands) {
    CCaptionProgress bar;
    bar.resize(510, 16);
    bar.SetRange(0, 1000);
    bar.SetPos(999);
    const QImage image = Render(bar);
    EXPECT_EQ(PixelAt(image, 100, 0), QColor(0, 205, 255));
    EXPECT_EQ(PixelAt(image, 101, 0), QColor(0, 205, 255));
    EXPECT_EQ(PixelAt(image, 102, 0), QColor(0, 204, 255));
    EXPECT_EQ(PixelAt(image, 508, 0), QColor(0, 1, 255));  // nearly blue at the right
}

TEST(CaptionProgressTest, TheColourAtAPointDoesNotDependOnThePosition) {
    CCaptionProgress bar;
    bar.resize(255, 20);
    bar.SetRange(0, 100);
    bar.SetPos(30);
    const QColor early = PixelAt(Render(bar), 40, 0);
    bar.SetPos(90);
    EXPECT_EQ(PixelAt(Render(bar), 40, 0), early);
}

TEST(CaptionProgressTest, AtRangeMaxTheBarLooksEmptyLikeAtZero) {
    CCaptionProgress bar;
    bar.resize(200, 20);
    bar.SetCaption(QStringLiteral("Play file.."));
    bar.CreateCaptionFont();
    bar.SetRange(0, 100);
    const QImage atMin = Render(bar);
    EXPECT_EQ(PixelAt(atMin, 5, 0), kBlack);
    bar.SetPos(100);
    EXPECT_EQ(bar.FilledWidth(), 0);
    const QImage atMax = Render(bar);
    EXPECT_EQ(atMax, atMin);
    bar.SetPos(150);  // beyond the top as well
    EXPECT_EQ(Render(bar), atMin);
}

TEST(CaptionProgressTest, ShareIsOfRangeMaxNotOfTheSpan) {
    CCaptionProgress bar;
    bar.resize(300, 20);
    bar.SetRange(50, 150);
    EXPECT_EQ(bar.GetPos(), 50);  // SetRange puts the position at the bottom
    bar.SetPos(100);
    EXPECT_EQ(bar.FilledWidth(), 200);  // 100 / 150 of 300, not half
    const QImage image = Render(bar);
    EXPECT_NE(PixelAt(image, 195, 0), kBlack);
    EXPECT_EQ(PixelAt(image, 210, 0), kBlack);
}

TEST(CaptionProgressTest, RangeEndingAtZeroDrawsNoFill) {
    CCaptionProgress bar;
    bar.resize(100, 20);
    bar.SetRange(-10, 0);
    bar.SetPos(-5);
    EXPECT_EQ(bar.FilledWidth(), 0);
    const QImage image = Render(bar);
    EXPECT_EQ(PixelAt(image, 90, 0), kBlack);
}

TEST(CaptionProgressTest, FullThirtyTwoBitRange) {
    CCaptionProgress bar;
    bar.resize(100, 20);
    bar.SetRange(0, 2'000'000'000);
    bar.SetPos(1'000'000'000);
    EXPECT_EQ(bar.RangeMax(), 2'000'000'000);
    EXPECT_EQ(bar.FilledWidth(), 50);
}

TEST(CaptionProgressTest, CaptionIsWhiteAndCentred) {
    CCaptionProgress bar;
    bar.resize(200, 20);
    bar.SetCaption(QStringLiteral("Save file.."));
    bar.CreateCaptionFont();
    const QImage image = Render(bar);
    const QRect ink = test::InkBounds(image, kBlack);
    ASSERT_TRUE(ink.isValid());
    EXPECT_NEAR(ink.center().x(), 100, 3);
    EXPECT_NEAR(ink.center().y(), 10, 3);
    EXPECT_TRUE(test::ColourBounds(image, QColor(255, 255, 255)).isValid());
    // Over the gradient the caption is drawn too.
    bar.SetPos(60);
    EXPECT_TRUE(test::ColourBounds(Render(bar), QColor(255, 255, 255)).isValid());
}

TEST(CaptionProgressTest, TheCaptionIsOutlinedInBlackOverABrightWaveform) {
    CCaptionProgress bar;
    bar.resize(200, 20);
    bar.SetRange(0, 100);
    bar.SetPos(50);
    bar.SetWaveform(std::vector<std::int16_t>(200, -32768), std::vector<std::int16_t>(200, 32767));
    bar.SetCaption(QStringLiteral("HH"));
    bar.CreateCaptionFont();
    const QImage image = Render(bar);
    // The caption's strokes: near-white pixels (the waveform has no red in it).
    QRect white;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = PixelAt(image, x, y);
            if (c.red() > 200 && c.green() > 200 && c.blue() > 200) {
                white |= QRect(x, y, 1, 1);
            }
        }
    }
    ASSERT_TRUE(white.isValid());
    // Beside the strokes (within their smoothed edge), left and right at their middle row, the
    // bright waveform gives way to near-black.
    const int row = white.center().y();
    const auto dark = [&](int x) {
        const QColor c = PixelAt(image, x, row);
        return std::max({c.red(), c.green(), c.blue()}) < 80;
    };
    EXPECT_TRUE(dark(white.left() - 1) || dark(white.left() - 2));
    EXPECT_TRUE(dark(white.right() + 1) || dark(white.right() + 2));
    EXPECT_FALSE(dark(white.left() - 6));  // the waveform, not a band
}

TEST(CaptionProgressTest, WindowTextIsKeptButNeverDrawn) {
    CCaptionProgress bar;
    bar.resize(200, 20);
    const QImage before = Render(bar);
    bar.SetWindowText(QStringLiteral("Track 2.aixf"));
    EXPECT_EQ(bar.GetWindowText(), QStringLiteral("Track 2.aixf"));
    EXPECT_EQ(Render(bar), before);
}

}  // namespace
}  // namespace fogbell
