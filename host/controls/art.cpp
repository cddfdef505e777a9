#include "host/controls/art.h"

#include <QCoreApplication>
#include <QDir>

// The resource list is compiled as a separate object; its registration is pulled in here so
// that linking this library is enough to have the pictures.
int qInitResources_fogbell_art();

namespace fogbell::art {

namespace {

void EnsureResources() {
    static const int registered = qInitResources_fogbell_art();
    (void)registered;
}

}  // namespace

QImage Bitmap(int id, qreal devicePixelRatio) {
    if (id < 129 || id > 138) {
        return QImage();
    }
    EnsureResources();
    if (devicePixelRatio > 1.0) {
        QImage doubled(QStringLiteral(":/fogbell/art/bitmap%1@2x.png").arg(id));
        doubled.setDevicePixelRatio(2.0);
        return doubled;
    }
    return QImage(QStringLiteral(":/fogbell/art/bitmap%1.png").arg(id));
}

QColor BitmapKey(int id) {
    switch (id) {
        case 129:
            return QColor(0, 0, 0);
        case 130:
            return QColor(15, 0, 0);
        default:
            return QColor(192, 192, 192);
    }
}

QImage IconImage(int id) {
    EnsureResources();
    switch (id) {
        case 128:
            return QImage(QStringLiteral(":/fogbell/art/icon128.png"));
        case 145:
            return QImage(QStringLiteral(":/fogbell/art/icon145.png"));
        default:
            return QImage();
    }
}

QIcon WindowIcon() {
    EnsureResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/fogbell/art/icon128_32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/fogbell/art/icon128.png"), QSize(64, 64));
    return icon;
}

QString PicturePath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pic.jpg"));
}

}  // namespace fogbell::art
