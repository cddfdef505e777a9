#include "host/controls/image_button.h"

#include "host/controls/balloon_tip.h"

#include <QApplication>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>

namespace fogbell {

namespace {

// Pixels of the image drawn on white that are not white carry the ink of the embossed look.
// Works in the image's own pixels: "one pixel" is one pixel of the screen's scale.
QImage EmbossedImage(const QImage& keyed, QColor highlight, QColor shadow) {
    const qreal ratio = keyed.devicePixelRatio();
    const int step = std::max(1, qRound(ratio));
    QImage onWhite(keyed.size(), QImage::Format_RGB32);
    onWhite.setDevicePixelRatio(ratio);
    onWhite.fill(Qt::white);
    {
        QPainter p(&onWhite);
        p.drawImage(0, 0, keyed);
    }
    QImage out(keyed.width() + step, keyed.height() + step, QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::transparent);
    const QRgb white = qRgb(255, 255, 255);
    // First the highlight one pixel right and down, then the shadow at the image's place.
    for (const auto& [colour, offset] : {std::pair{highlight, step}, std::pair{shadow, 0}}) {
        const QRgb ink = colour.rgba();
        for (int y = 0; y < onWhite.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(onWhite.constScanLine(y));
            auto* target = reinterpret_cast<QRgb*>(out.scanLine(y + offset));
            for (int x = 0; x < onWhite.width(); ++x) {
                if ((line[x] & 0xFFFFFFu) != (white & 0xFFFFFFu)) {
                    target[x + offset] = ink;
                }
            }
        }
    }
    return out;
}

}  // namespace

CImageButton::CImageButton(QWidget* parent) : CImageButton(QString(), Kind::kPushButton, parent) {}

CImageButton::CImageButton(const QString& caption, Kind kind, QWidget* parent)
    : QPushButton(caption, parent), isCheckBox_(kind == Kind::kCheckBox) {
    ResetColours();
    setMouseTracking(true);
    // Connected before anyone else, so that handlers connected later already see the new state.
    connect(this, &QAbstractButton::clicked, this, &CImageButton::OnClickedFirst);
}

CImageButton::~CImageButton() = default;

void CImageButton::SetCheckBox(bool checkBox) {
    isCheckBox_ = checkBox;
    update();
}

void CImageButton::ClearImage() {
    keyed_ = QImage();
    mask_ = QImage();
}

int CImageButton::SetBitmap(const QImage& image, QColor transparent) {
    ClearImage();
    if (image.isNull()) {  // no bitmap: the button shows its caption only
        update();
        return 0;
    }
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QImage mask(image.size(), QImage::Format_MonoLSB);
    if (argb.isNull() || mask.isNull()) {
        update();
        return 2;
    }
    mask.setColor(0, qRgb(0, 0, 0));
    mask.setColor(1, qRgb(255, 255, 255));
    mask.fill(0);
    const QRgb key = transparent.rgb() & 0xFFFFFFu;
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if ((line[x] & 0xFFFFFFu) == key) {
                mask.setPixel(x, y, 1);
                line[x] = 0;  // fully transparent: the background shows through
            }
        }
    }
    keyed_ = argb.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (keyed_.isNull()) {
        ClearImage();
        update();
        return 2;
    }
    mask_ = mask;
    updateGeometry();
    update();
    return 0;
}

void CImageButton::SetFlat(bool flat, bool redraw) {
    isFlat_ = flat;
    if (!flat) {
        isHover_ = false;
    }
    if (redraw) {
        update();
    }
}

void CImageButton::SetBalloonTooltip() {
    tooltipStyle_ |= kBalloonStyle;
}

void CImageButton::SetTooltipText(const QString& text, bool activate) {
    if (text.isEmpty()) {
        return;
    }
    tooltipText_ = text;
    ActivateTooltip(activate);
}

void CImageButton::ActivateTooltip(bool active) {
    if (tooltipText_.isEmpty()) {
        return;  // no tool yet
    }
    tooltipActive_ = active;
    setToolTip(active ? tooltipText_ : QString());
    if (!active) {
        HideBalloon();
    }
}

void CImageButton::HideBalloon() {
    if (balloon_ != nullptr) {
        balloon_->hide();
    }
}

// Balloon buttons show their own tip instead of the plain one; the tip goes away when the
// pointer leaves, on a press, and when the button is hidden or disabled.
bool CImageButton::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ToolTip:
            if (IsBalloonTooltip()) {
                if (tooltipActive_ && !tooltipText_.isEmpty()) {
                    if (balloon_ == nullptr) {
                        balloon_ = new CBalloonTip(this);
                    }
                    balloon_->ShowText(tooltipText_, static_cast<QHelpEvent*>(event)->pos());
                }
                return true;
            }
            break;
        case QEvent::Leave:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Hide:
            HideBalloon();
            break;
        default:
            break;
    }
    return QPushButton::event(event);
}

void CImageButton::SetCheck(int state, bool redraw) {
    if (!isCheckBox_) {
        return;
    }
    checked_.store(state != 0, std::memory_order_release);
    if (redraw) {
        update();
    }
}

void CImageButton::SetDrawBorder(bool draw) {
    drawBorder_ = draw;
    update();
}

void CImageButton::SetColours(QColor bkIn, QColor fgIn, QColor bkOut, QColor fgOut, QColor bkFocus,
                              QColor fgFocus) {
    bkIn_ = bkIn;
    fgIn_ = fgIn;
    bkOut_ = bkOut;
    fgOut_ = fgOut;
    bkFocus_ = bkFocus;
    fgFocus_ = fgFocus;
    update();
}

void CImageButton::ResetColours() {
    const QColor face = palette().color(QPalette::Active, QPalette::Button);
    const QColor text = palette().color(QPalette::Active, QPalette::ButtonText);
    bkIn_ = bkOut_ = bkFocus_ = face;
    fgIn_ = fgOut_ = fgFocus_ = text;
    update();
}

QSize CImageButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    const QSize textSize =
        text().isEmpty() ? QSize() : metrics.size(Qt::TextShowMnemonic, text()) + QSize(16, 8);
    const QSize imageSize =
        keyed_.isNull() ? QSize() : keyed_.deviceIndependentSize().toSize() + QSize(8, 8);
    return QSize(textSize.width() + imageSize.width(),
                 std::max({textSize.height(), imageSize.height(), metrics.height() + 8}));
}

// ---- hover ---------------------------------------------------------------------------------

void CImageButton::StartHover() {
    if (!isHover_) {
        isHover_ = true;
        update();
    }
}

void CImageButton::EndHover() {
    if (isFlat_ && isHover_) {
        isHover_ = false;
        update();
    }
}

void CImageButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    // A drag that began elsewhere does not light the button up.
    if (!isFlat_ || ((QApplication::mouseButtons() & Qt::LeftButton) && !isHover_)) {
        return;
    }
    StartHover();
}

void CImageButton::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    if ((event->buttons() & Qt::LeftButton) && !isHover_) {
        return;
    }
    if (!isFlat_) {
        return;
    }
    if (rect().contains(event->position().toPoint())) {
        StartHover();
    } else {
        EndHover();
    }
}

void CImageButton::leaveEvent(QEvent* event) {
    QPushButton::leaveEvent(event);
    EndHover();
}

void CImageButton::focusOutEvent(QFocusEvent* event) {
    QPushButton::focusOutEvent(event);
    EndHover();
}

// Two quick clicks are two clicks: the second press of a double-click is an ordinary press.
void CImageButton::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void CImageButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    switch (event->type()) {
        case QEvent::ActivationChange:
            if (!isActiveWindow()) {
                EndHover();
            }
            break;
        case QEvent::EnabledChange:
            if (!isEnabled()) {
                HideBalloon();
                MoveFocusOn();
                EndHover();
            }
            break;
        case QEvent::PaletteChange:
            ResetColours();
            break;
        default:
            break;
    }
}

// Disabling a button hands the focus to the next tab stop after it, or to the parent when
// there is none, whether or not the button had the focus.
void CImageButton::MoveFocusOn() {
    QWidget* top = window();
    for (QWidget* w = nextInFocusChain(); w != nullptr && w != this; w = w->nextInFocusChain()) {
        if (w->window() == top && w->isEnabled() && w->isVisibleTo(top) &&
            (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    if (parentWidget() != nullptr) {
        parentWidget()->setFocus(Qt::OtherFocusReason);
    }
}

void CImageButton::OnClickedFirst() {
    setFocus(Qt::MouseFocusReason);
    if (isCheckBox_) {
        checked_.store(!checked_.load(std::memory_order_acquire), std::memory_order_release);
        update();
    }
}

// ---- painting ------------------------------------------------------------------------------

void CImageButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    isPressed_ = isCheckBox_ ? (isDown() || GetCheck() != 0) : isDown();
    isFocused_ = hasFocus();
    isDisabled_ = !isEnabled();

    QRect rect = this->rect();
    DrawBackground(painter, rect);
    DrawBorder(painter, rect);

    const QString caption = text();
    const bool hasCaption = !caption.isEmpty();
    QRect captionRect = rect;
    if (isCheckBox_) {
        DrawCheckMark(painter, rect, captionRect);
    }
    if (!keyed_.isNull()) {
        DrawImage(painter, rect, hasCaption, captionRect, isPressed_, isDisabled_);
    }
    if (hasCaption) {
        DrawCaption(painter, rect, hasCaption, captionRect, isPressed_, isDisabled_);
    }
}

void CImageButton::DrawBackground(QPainter& painter, QRect& rect) {
    if (!isFlat_ && (isFocused_ || isDefault())) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        rect.adjust(1, 1, -1, -1);
    }
    QColor fill = (isHover_ || isPressed_) ? bkIn_ : (isFocused_ ? bkFocus_ : bkOut_);
    if (isCheckBox_ && isPressed_) {
        fill = QColor(kCheckedFill);
    }
    painter.fillRect(rect, fill);
}

void CImageButton::DrawBorder(QPainter& painter, const QRect& rect) {
    const QPalette& pal = palette();
    const QColor highlight = pal.color(QPalette::Light);
    const QColor light3d = pal.color(QPalette::Midlight);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor darkShadow = pal.color(QPalette::Shadow);
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    auto line = [&painter](QColor colour, int x1, int y1, int x2, int y2) {
        painter.setPen(colour);
        painter.drawLine(x1, y1, x2, y2);
    };
    // A thin 3-D rectangle: `topLeft` on the top and left edges, `bottomRight` on the others.
    auto rect3d = [&](QColor topLeft, QColor bottomRight) {
        line(topLeft, l, t, r - 1, t);
        line(topLeft, l, t, l, b - 1);
        line(bottomRight, l, b, r, b);
        line(bottomRight, r, t, r, b);
    };

    if (isPressed_) {
        if (!isFlat_) {
            painter.setPen(shadow);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect.adjusted(0, 0, -1, -1));
        } else if (drawBorder_) {
            rect3d(shadow, highlight);
        }
        return;
    }
    if (!isFlat_) {
        // Raised two-pixel border: light edges top-left, dark edges bottom-right.
        line(highlight, l, b - 1, l, t);
        line(highlight, l, t, r - 1, t);
        line(light3d, l + 1, b - 2, l + 1, t + 1);
        line(light3d, l + 1, t + 1, r - 2, t + 1);
        line(darkShadow, l, b, r, b);
        line(darkShadow, r, b, r, t);
        line(shadow, l + 1, b - 1, r - 1, b - 1);
        line(shadow, r - 1, b - 1, r - 1, t + 1);
        return;
    }
    if (isHover_ && drawBorder_) {
        rect3d(highlight, shadow);
    } else if (drawBorder_) {
        // At rest a thin frame, so that a flat button never passes for a plain label.
        painter.setPen(pal.color(QPalette::Mid));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void CImageButton::DrawCheckMark(QPainter& painter, const QRect& rect, QRect& captionRect) const {
    const int side = std::min(kCheckMarkSide, rect.height() - 2);
    if (side < 5) {
        return;  // no room: the fill alone tells the state
    }
    const QRect box(rect.left() + kCheckMarkLeft, rect.top() + (rect.height() - side) / 2, side,
                    side);
    painter.fillRect(box, palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Shadow));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    if (GetCheck() != 0) {
        // A tick from the left middle down to the bottom third, then up to the top right.
        QPen pen{QColor(kCheckedFill)};
        pen.setWidth(2);
        painter.save();
        painter.setPen(pen);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF tick[] = {QPointF(box.left() + side * 0.2, box.top() + side * 0.5),
                                QPointF(box.left() + side * 0.42, box.top() + side * 0.75),
                                QPointF(box.left() + side * 0.82, box.top() + side * 0.22)};
        painter.drawPolyline(tick, 3);
        painter.restore();
    }
    captionRect.setLeft(box.right() + 1 + kCheckMarkLeft);
}

void CImageButton::DrawImage(QPainter& painter, const QRect& rect, bool hasCaption,
                             QRect& captionRect, bool isPressed, bool isDisabled) {
    const QSize size = keyed_.deviceIndependentSize().toSize();  // on the screen
    const int w = size.width();
    const int h = size.height();
    int x = rect.left() + (rect.width() - w) / 2;
    if (hasCaption) {
        x = rect.left() + kMarginX;
        captionRect.setLeft(captionRect.left() + w + kMarginX);
    }
    int y = rect.top() + (rect.height() - h) / 2;
    if (isPressed && !isCheckBox_) {
        x += kPressedOffset;
        y += kPressedOffset;
    }
    if (isDisabled && showDisabledBitmap_) {
        painter.drawImage(x, y,
                          EmbossedImage(keyed_, palette().color(QPalette::Light),
                                        palette().color(QPalette::Dark)));
    } else {
        painter.drawImage(x, y, keyed_);
    }
}

void CImageButton::DrawCaption(QPainter& painter, const QRect& /*rect*/, bool /*hasCaption*/,
                               QRect captionRect, bool isPressed, bool isDisabled) {
    if (isPressed && !isCheckBox_) {
        captionRect.translate(kPressedOffset, kPressedOffset);
    }
    // A check box's caption stays on one line beside its box, as a label would.
    const int flags = isCheckBox_ ? Qt::TextSingleLine | Qt::AlignLeft
                                  : Qt::TextWordWrap | Qt::AlignHCenter;
    const QString caption = text();
    const QRect measured = painter.fontMetrics().boundingRect(captionRect, flags, caption);
    // A check box's caption starts right after its box, as a label beside it; others are centred.
    const int left = isCheckBox_ ? captionRect.left()
                                 : captionRect.left() + (captionRect.width() - measured.width()) / 2;
    const QRect textRect(left, captionRect.top() + (captionRect.height() - measured.height()) / 2,
                         measured.width(), measured.height());
    if (isDisabled) {
        // Engraved: the highlight one pixel down-right, the shadow on top at the text's place.
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(textRect.translated(1, 1), flags, caption);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(textRect, flags, caption);
        return;
    }
    QColor fg = (isHover_ || isPressed) ? fgIn_ : (isFocused_ ? fgFocus_ : fgOut_);
    if (isCheckBox_ && isPressed) {
        fg = QColor(kCheckedText);  // on the checked fill
    }
    painter.setPen(fg);
    painter.drawText(textRect, flags, caption);
}

}  // namespace fogbell
