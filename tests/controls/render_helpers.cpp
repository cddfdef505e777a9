#include "render_helpers.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>

namespace fogbell::test {

QImage Render(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);  // anything the widget leaves unpainted shows up
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QColor PixelAt(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

QRect InkBounds(const QImage& image, QColor background, QRect within) {
    if (within.isNull()) {
        within = image.rect();
    }
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            if (QColor(image.pixel(x, y)) != background) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

QRect ColourBounds(const QImage& image, QColor colour) {
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (QColor(image.pixel(x, y)) == colour) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

void SendEnter(QWidget& widget, QPoint at) {
    QEnterEvent event(at, widget.mapToGlobal(at), widget.mapToGlobal(at));
    QApplication::sendEvent(&widget, &event);
}

void SendLeave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

namespace {

void SendMouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(at), QPointF(widget.mapToGlobal(at)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

}  // namespace

void SendMove(QWidget& widget, QPoint at, Qt::MouseButtons buttons) {
    SendMouse(widget, QEvent::MouseMove, at, Qt::NoButton, buttons);
}

void SendPress(QWidget& widget, QPoint at) {
    SendMouse(widget, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
}

void SendRelease(QWidget& widget, QPoint at) {
    SendMouse(widget, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

void SendDoubleClick(QWidget& widget, QPoint at) {
    SendMouse(widget, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
}

}  // namespace fogbell::test
