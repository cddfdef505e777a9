#include "host/controls/picture.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QPainter>

#include <limits>
#include <new>

namespace fogbell {

void CPicture::Report(const QString& text) const {
    QWidget* owner = QApplication::activeWindow();
    const QString title = QString::fromLatin1(kErrorTitle);
    if (messageBox_) {
        messageBox_(owner, QMessageBox::Critical, title, text);
    } else {
        ShowMessageBox(owner, QMessageBox::Critical, title, text);
    }
}

bool CPicture::Load(const QString& path) {
    Release();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Report(file.errorString());
        return false;
    }
    QByteArray bytes;
    try {
        bytes = file.readAll();
    } catch (const std::bad_alloc&) {
        Report(QString::fromLatin1(kNoMemoryText));
        return false;
    }
    LoadFromBuffer(reinterpret_cast<const unsigned char*>(bytes.constData()),
                   static_cast<std::size_t>(bytes.size()));
    return HasPicture();
}

int CPicture::LoadFromBuffer(const unsigned char* bytes, std::size_t length) {
    Release();
    if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        Report(QString::fromLatin1(kNoMemoryText));
        return 0;
    }
    if (bytes == nullptr || length == 0) {
        return 0;
    }
    // A buffer in no format the readers know leaves no picture and shows nothing.
    QImage image;
    if (!image.loadFromData(bytes, static_cast<int>(length))) {
        return 0;
    }
    image_ = std::move(image);
    return 1;
}

int CPicture::Render(QPainter* painter, const QRect& rect) const {
    if (painter == nullptr || image_.isNull()) {
        return 0;
    }
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(rect, image_);
    return 1;
}

CPictureStatic::CPictureStatic(QWidget* parent) : QWidget(parent) {}

void CPictureStatic::SetPicture(const CPicture* picture) {
    picture_ = picture;
    update();
}

void CPictureStatic::paintEvent(QPaintEvent* /*event*/) {
    if (picture_ == nullptr || !picture_->HasPicture()) {
        return;
    }
    QPainter painter(this);
    picture_->Render(&painter, rect());  // stretched: the aspect ratio is not kept
}

}  // namespace fogbell
