// CPicture holds one decoded picture (JPEG or any format Qt's image readers know), loaded from
// a file or from memory, and draws it stretched into a rectangle. CPictureStatic shows a
// CPicture it does not own over its whole area. Failures are shown in a "CPicture Error" box.
#pragma once

#include "host/controls/control_support.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstddef>

class QPainter;

namespace fogbell {

class CPicture {
  public:
    CPicture() = default;
    explicit CPicture(MessageBoxFn messageBox) : messageBox_(std::move(messageBox)) {}

    // Releases any picture, reads the file and decodes it; true only if a picture is then held.
    // A file that cannot be opened is reported with the system's text for the error.
    bool Load(const QString& path);
    // Decodes `length` bytes; 1 on success, 0 on failure (nothing held).
    int LoadFromBuffer(const unsigned char* bytes, std::size_t length);
    // Draws the whole picture stretched into `rect`; 1 on success, 0 with no painter or picture.
    int Render(QPainter* painter, const QRect& rect) const;
    void Release() { image_ = QImage(); }

    bool HasPicture() const { return !image_.isNull(); }
    const QImage& Image() const { return image_; }

    // Where failures go; by default a modal box owned by the application's active window.
    void SetMessageBox(MessageBoxFn messageBox) { messageBox_ = std::move(messageBox); }

    static constexpr const char* kErrorTitle = "CPicture Error";
    static constexpr const char* kNoMemoryText = "Can not allocate enough memory\t";

  private:
    void Report(const QString& text) const;

    QImage image_;
    MessageBoxFn messageBox_;
};

class CPictureStatic : public QWidget {
    Q_OBJECT

  public:
    explicit CPictureStatic(QWidget* parent = nullptr);
    // The picture is the caller's and must outlive this control (or be unset first).
    void SetPicture(const CPicture* picture);
    const CPicture* Picture() const { return picture_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const CPicture* picture_ = nullptr;
};

}  // namespace fogbell
