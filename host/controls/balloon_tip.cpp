#include "host/controls/balloon_tip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <QToolTip>

#include <algorithm>

namespace fogbell {

namespace {

constexpr int kTailHeight = 8;
constexpr int kTailWidth = 12;
constexpr int kPadding = 7;
constexpr int kRadius = 6;
constexpr int kTextFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

}  // namespace

CBalloonTip::CBalloonTip(QWidget* anchor)
    : QWidget(anchor, Qt::ToolTip | Qt::FramelessWindowHint), anchor_(anchor) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(QToolTip::font());
    hideTimer_.setSingleShot(true);
    connect(&hideTimer_, &QTimer::timeout, this, &QWidget::hide);
}

void CBalloonTip::ShowText(const QString& text, QPoint pointer) {
    text_ = text;
    const QFontMetrics metrics(font());
    const QRect measured = metrics.boundingRect(QRect(0, 0, kMaxTipWidth, 10000), kTextFlags, text);
    textRect_ = QRect(kPadding, kTailHeight + kPadding, measured.width() + 1, measured.height());
    const QSize size(textRect_.width() + 2 * kPadding,
                     textRect_.height() + 2 * kPadding + kTailHeight);
    // Under the anchor, the tail near the pointer's x, kept on the screen.
    QPoint topLeft = anchor_->mapToGlobal(QPoint(pointer.x() - 2 * kTailWidth, anchor_->height()));
    if (const QScreen* screen = anchor_->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(),
                                std::max(area.left(), area.right() - size.width())));
    }
    tailX_ = std::clamp(anchor_->mapToGlobal(pointer).x() - topLeft.x(), kRadius + kTailWidth,
                        std::max(kRadius + kTailWidth, size.width() - kRadius - kTailWidth));
    setGeometry(QRect(topLeft, size));
    setMask(QRegion(Outline().toFillPolygon().toPolygon()));
    show();
    raise();
    update();
    hideTimer_.start(kShowMs);
}

QPainterPath CBalloonTip::Outline() const {
    const QRectF box(0.5, kTailHeight + 0.5, width() - 1.0, height() - kTailHeight - 1.0);
    QPainterPath body;
    body.addRoundedRect(box, kRadius, kRadius);
    QPainterPath tail;
    tail.moveTo(tailX_ - kTailWidth / 2.0, box.top() + 1);
    tail.lineTo(tailX_ - kTailWidth / 2.0, 0.5);
    tail.lineTo(tailX_ + kTailWidth / 2.0, box.top() + 1);
    tail.closeSubpath();
    return body.united(tail);
}

void CBalloonTip::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = QApplication::palette();
    painter.setBrush(pal.color(QPalette::ToolTipBase));
    painter.setPen(pal.color(QPalette::ToolTipText));
    painter.drawPath(Outline());
    painter.drawText(textRect_, kTextFlags, text_);
}

}  // namespace fogbell
