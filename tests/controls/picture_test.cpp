// The picture: loading from files and memory, the "CPicture Error" box, and stretched painting.
#include "host/controls/picture.h"

#include "message_recorder.h"
#include "render_helpers.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

#include <gtest/gtest.h>

namespace fogbell {
namespace {

// A 2 x 1 picture: red on the left, blue on the right, written as PNG (lossless).
QString WriteTwoColourPicture(const QTemporaryDir& dir) {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 0, 255));
    const QString path = dir.filePath(QStringLiteral("two.png"));
    EXPECT_TRUE(image.save(path, "PNG"));
    return path;
}

// What the system says of a file that is not there.
QString SystemTextForMissingFile() {
#if defined(_WIN32)
    wchar_t text[256] = {};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       ERROR_FILE_NOT_FOUND, 0, text, sizeof text / sizeof text[0], nullptr);
    return QString::fromWCharArray(text, static_cast<int>(length)).trimmed();
#else
    return QString::fromLocal8Bit(std::strerror(ENOENT));
#endif
}

TEST(PictureTest, MissingFileShowsTheSystemTextAndLeavesNoPicture) {
    QTemporaryDir dir;
    test::MessageRecorder boxes;
    CPicture picture(boxes.Hook());
    EXPECT_FALSE(picture.Load(dir.filePath(QStringLiteral("pic.jpg"))));
    EXPECT_FALSE(picture.HasPicture());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("CPicture Error"));
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.shown[0].text, SystemTextForMissingFile());
}

TEST(PictureTest, MissingPictureLeavesTheControlEmpty) {
    QTemporaryDir dir;
    test::MessageRecorder boxes;
    CPicture picture(boxes.Hook());
    picture.Load(dir.filePath(QStringLiteral("pic.jpg")));
    CPictureStatic control;
    control.SetPicture(&picture);
    control.resize(40, 20);
    const QImage image = test::Render(control);
    EXPECT_EQ(test::InkBounds(image, QColor(Qt::magenta)), QRect());  // nothing painted
}

TEST(PictureTest, FileInNoKnownFormatFailsWithoutAMessage) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pic.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is no picture at all");
    file.close();
    test::MessageRecorder boxes;
    CPicture picture(boxes.Hook());
    EXPECT_FALSE(picture.Load(path));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(PictureTest, PictureIsStretchedOverTheWholeControl) {
    QTemporaryDir dir;
    test::MessageRecorder boxes;
    CPicture picture(boxes.Hook());
    ASSERT_TRUE(picture.Load(WriteTwoColourPicture(dir)));
    CPictureStatic control;
    control.SetPicture(&picture);
    control.resize(100, 40);
    const QImage image = test::Render(control);
    const QColor left = test::PixelAt(image, 5, 35);
    const QColor right = test::PixelAt(image, 95, 2);
    EXPECT_GT(left.red(), 200);
    EXPECT_LT(left.blue(), 60);
    EXPECT_GT(right.blue(), 200);
    EXPECT_LT(right.red(), 60);
}

TEST(PictureTest, LoadFromBufferAndRender) {
    CPicture picture;
    EXPECT_EQ(picture.LoadFromBuffer(nullptr, 0), 0);
    const unsigned char junk[] = {1, 2, 3, 4};
    EXPECT_EQ(picture.LoadFromBuffer(junk, sizeof junk), 0);

    QImage source(4, 4, QImage::Format_RGB32);
    source.fill(qRgb(0, 160, 0));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(source.save(&buffer, "PNG"));
    }
    ASSERT_EQ(picture.LoadFromBuffer(reinterpret_cast<const unsigned char*>(png.constData()),
                                     static_cast<std::size_t>(png.size())),
              1);
    EXPECT_EQ(picture.Render(nullptr, QRect(0, 0, 4, 4)), 0);
    QImage target(8, 8, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        QPainter painter(&target);
        EXPECT_EQ(picture.Render(&painter, target.rect()), 1);
    }
    EXPECT_EQ(QColor(target.pixel(7, 7)), QColor(0, 160, 0));
    picture.Release();
    EXPECT_FALSE(picture.HasPicture());
}

TEST(PictureTest, StagedBannerLoads) {
    test::MessageRecorder boxes;
    CPicture picture(boxes.Hook());
    ASSERT_TRUE(picture.Load(QStringLiteral(FOGBELL_STAGE_DIR "/pic.jpg")));
    EXPECT_GE(picture.Image().width(), 200);
    EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace fogbell
