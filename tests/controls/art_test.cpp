// The drawn pictures: every button bitmap is there and keeps its key colour (so the colour-key
// code has something to do), and the icons are there.
#include "host/controls/art.h"

#include <gtest/gtest.h>

namespace fogbell {
namespace {

bool Contains(const QImage& image, QColor colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (QColor(image.pixel(x, y)) == colour) {
                return true;
            }
        }
    }
    return false;
}

TEST(ArtTest, EveryBitmapHasATwiceAsDetailedOneOfTheSameSizeOnTheScreen) {
    for (int id = 129; id <= 138; ++id) {
        const QImage single = art::Bitmap(id);
        const QImage doubled = art::Bitmap(id, 2.0);
        ASSERT_FALSE(doubled.isNull()) << id;
        EXPECT_EQ(doubled.size(), single.size() * 2) << id;
        EXPECT_EQ(doubled.devicePixelRatio(), 2.0) << id;
        EXPECT_EQ(doubled.deviceIndependentSize(), QSizeF(single.size())) << id;
        EXPECT_EQ(QColor(doubled.pixel(0, 0)), art::BitmapKey(id)) << id;
        // The same picture: every colour of the small one is in the large one.
        for (int y = 0; y < single.height(); ++y) {
            for (int x = 0; x < single.width(); ++x) {
                ASSERT_TRUE(Contains(doubled, QColor(single.pixel(x, y)))) << id;
            }
        }
    }
    EXPECT_EQ(art::Bitmap(133, 1.0), art::Bitmap(133));
}

TEST(ArtTest, EveryBitmapHasItsKeyAndSomethingElse) {
    for (int id = 129; id <= 138; ++id) {
        const QImage bitmap = art::Bitmap(id);
        ASSERT_FALSE(bitmap.isNull()) << id;
        const QColor key = art::BitmapKey(id);
        EXPECT_EQ(QColor(bitmap.pixel(0, 0)), key) << id;  // corners show the background
        bool other = false;
        for (int y = 0; y < bitmap.height() && !other; ++y) {
            for (int x = 0; x < bitmap.width() && !other; ++x) {
                other = QColor(bitmap.pixel(x, y)) != key;
            }
        }
        EXPECT_TRUE(other) << id;
    }
    EXPECT_EQ(art::BitmapKey(129), QColor(0, 0, 0));
    EXPECT_EQ(art::BitmapKey(130), QColor(15, 0, 0));
    EXPECT_EQ(art::BitmapKey(133), QColor(192, 192, 192));
    // A key is exact: the red of 15 of 130 is no colour of the grey-keyed bitmaps.
    EXPECT_FALSE(Contains(art::Bitmap(133), QColor(15, 0, 0)));
}

TEST(ArtTest, UnknownIdsGiveNothing) {
    EXPECT_TRUE(art::Bitmap(128).isNull());
    EXPECT_TRUE(art::Bitmap(139).isNull());
    EXPECT_TRUE(art::IconImage(1).isNull());
}

TEST(ArtTest, IconsAreThere) {
    EXPECT_EQ(art::IconImage(128).size(), QSize(64, 64));
    EXPECT_FALSE(art::IconImage(145).isNull());
    EXPECT_FALSE(art::WindowIcon().isNull());
    EXPECT_TRUE(art::WindowIcon().availableSizes().contains(QSize(32, 32)));
}

}  // namespace
}  // namespace fogbell
