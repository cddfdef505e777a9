#include "host/controls/volume_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace fogbell {

CVolumeSlider::CVolumeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setMouseTracking(true);  // movement without a button pressed reaches mouseMoveEvent too
    setTickPosition(QSlider::NoTicks);
}

void CVolumeSlider::Send() {
    emit commandSent(kVolumeCommand, value());
}

// Every pointer movement reports the position, whether or not it changed.
void CVolumeSlider::mouseMoveEvent(QMouseEvent* event) {
    QSlider::mouseMoveEvent(event);
    Send();
}

void CVolumeSlider::mousePressEvent(QMouseEvent* event) {
    const int before = value();
    QSlider::mousePressEvent(event);
    if (value() != before) {
        Send();
    }
}

void CVolumeSlider::mouseReleaseEvent(QMouseEvent* event) {
    const int before = value();
    QSlider::mouseReleaseEvent(event);
    if (value() != before) {
        Send();
    }
}

void CVolumeSlider::keyPressEvent(QKeyEvent* event) {
    const int before = value();
    QSlider::keyPressEvent(event);
    if (value() != before) {
        Send();
    }
}

void CVolumeSlider::wheelEvent(QWheelEvent* event) {
    const int before = value();
    QSlider::wheelEvent(event);
    if (value() != before) {
        Send();
    }
}

}  // namespace fogbell
