#include "host/controls/caption_progress.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace fogbell {

namespace {

// A full-scale 16-bit sample.
constexpr double kSampleScale = 32768.0;
// How much darker (in percent, as QColor::darker takes it) the played part's background and
// the unplayed part's envelope are than the gradient.
constexpr int kPlayedBackDarker = 400;
constexpr int kUnplayedDarker = 300;

// The underlying bar holds int values; the painting uses only this object's 32-bit fields.
int Clamp16(std::int32_t v) {
    return std::clamp<std::int32_t>(v, -32768, 32767);
}

}  // namespace

CCaptionProgress::CCaptionProgress(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted; nothing to erase
    QProgressBar::setRange(0, 100);
    QProgressBar::setValue(0);
}

void CCaptionProgress::SetRange(std::int32_t min, std::int32_t max) {
    rangeMin_ = min;
    rangeMax_ = max;
    position_ = min;
    // The system bar keeps 16-bit halves of the range.
    const int lo = Clamp16(min);
    const int hi = std::max(lo, Clamp16(max));
    QProgressBar::setRange(lo, hi);
    QProgressBar::setValue(lo);
    update();
}

void CCaptionProgress::SetPos(std::int32_t pos) {
    position_ = pos;
    QProgressBar::setValue(std::clamp(pos, minimum(), maximum()));
    update();
}

void CCaptionProgress::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void CCaptionProgress::CreateCaptionFont() {
    // The cell is 12 pixels high; the family falls back through common sans-serif faces.
    QFont font(QStringLiteral("Arial"));
    font.setFamilies({QStringLiteral("Arial Cyr"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    captionFont_ = font;
    hasCaptionFont_ = true;
    update();
}

int CCaptionProgress::FilledWidth() const {
    if (!(rangeMin_ < position_ && position_ < rangeMax_)) {
        return 0;
    }
    // The share is of rangeMax, not of the span, so a bar whose range starts above zero shows
    // position / rangeMax of its width.
    // A range ending at or below zero has no meaningful share; the fill stays within the bar.
    if (rangeMax_ <= 0) {
        return 0;
    }
    const double share = static_cast<double>(position_) / static_cast<double>(rangeMax_);
    return static_cast<int>(std::clamp(share, 0.0, 1.0) * width());
}

QSize CCaptionProgress::sizeHint() const {
    return QSize(120, 16);
}

void CCaptionProgress::DrawGradient(QPainter& painter, int filledWidth) const {
    const QColor start(kStartColour);
    const QColor end(kEndColour);
    const int dr = end.red() - start.red();
    const int dg = end.green() - start.green();
    const int db = end.blue() - start.blue();
    const int steps = std::max({std::abs(dr), std::abs(dg), std::abs(db)});
    const int w = width();
    const int h = height();
    if (steps == 0) {
        painter.fillRect(0, 0, filledWidth, h + 1, start);
        painter.fillRect(filledWidth, 0, w - filledWidth, h + 1, QColor(kBackColour));
        return;
    }
    const float band = static_cast<float>(w) / static_cast<float>(steps);
    const float stepR = static_cast<float>(dr) / static_cast<float>(steps);
    const float stepG = static_cast<float>(dg) / static_cast<float>(steps);
    const float stepB = static_cast<float>(db) / static_cast<float>(steps);
    for (int i = 0; i < steps; ++i) {
        const float fi = static_cast<float>(i);
        const int left = static_cast<int>(fi * band);
        const int right = static_cast<int>((fi + 1.0f) * band);
        const QColor colour(static_cast<int>(static_cast<float>(start.red()) + fi * stepR),
                            static_cast<int>(static_cast<float>(start.green()) + fi * stepG),
                            static_cast<int>(static_cast<float>(start.blue()) + fi * stepB));
        painter.fillRect(QRect(QPoint(left, 0), QPoint(right - 1, h)), colour);
        // Whole bands only: the last one may reach past the filled width by up to one band.
        if (right > filledWidth) {
            painter.fillRect(QRect(QPoint(right, 0), QPoint(w - 1, h)), QColor(kBackColour));
            return;
        }
    }
}

void CCaptionProgress::SetWaveform(std::vector<std::int16_t> low, std::vector<std::int16_t> high) {
    if (low.size() != high.size()) {
        low.clear();
        high.clear();
    }
    waveLow_ = std::move(low);
    waveHigh_ = std::move(high);
    update();
}

QColor CCaptionProgress::GradientAt(int x) const {
    const QColor start(kStartColour);
    const QColor end(kEndColour);
    const double t = width() > 1 ? std::clamp(static_cast<double>(x) / (width() - 1), 0.0, 1.0) : 0;
    const auto mix = [t](int a, int b) { return a + static_cast<int>(std::lround((b - a) * t)); };
    return QColor(mix(start.red(), end.red()), mix(start.green(), end.green()),
                  mix(start.blue(), end.blue()));
}

void CCaptionProgress::DrawWaveform(QPainter& painter, int filledWidth) const {
    painter.fillRect(rect(), QColor(kBackColour));
    // Drawn per device pixel, so that the envelope is as fine as the screen at any scale.
    const double ratio = devicePixelRatioF();
    const int columns = static_cast<int>(std::lround(width() * ratio));
    const int rows = static_cast<int>(std::lround(height() * ratio));
    const int filledColumns = static_cast<int>(std::lround(filledWidth * ratio));
    const std::size_t count = waveLow_.size();
    if (columns <= 0 || rows <= 0 || count == 0) {
        return;
    }
    painter.save();
    painter.scale(1.0 / ratio, 1.0 / ratio);
    const double half = (rows - 1) / 2.0;
    const auto rowOf = [half](int sample) {
        return static_cast<int>(std::lround(half - sample * half / kSampleScale));
    };
    const auto span = static_cast<std::size_t>(columns);
    for (int x = 0; x < columns; ++x) {
        const auto column = static_cast<std::size_t>(x);
        const std::size_t first = column * count / span;
        const std::size_t end = std::max(first + 1, (column + 1) * count / span);
        const int low = *std::min_element(waveLow_.data() + first, waveLow_.data() + end);
        const int high = *std::max_element(waveHigh_.data() + first, waveHigh_.data() + end);
        const QColor colour = GradientAt(static_cast<int>(x / ratio));
        const bool played = x < filledColumns;
        if (played) {
            painter.fillRect(x, 0, 1, rows, colour.darker(kPlayedBackDarker));
        }
        const int top = rowOf(high);
        const int bottom = rowOf(low);
        painter.fillRect(x, top, 1, bottom - top + 1,
                         played ? colour : colour.darker(kUnplayedDarker));
    }
    painter.restore();
}

void CCaptionProgress::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (hasCaptionFont_) {
        painter.setFont(captionFont_);
    }
    const int filled = FilledWidth();
    if (HasWaveform()) {
        QPixmap buffer(size() * devicePixelRatioF());
        buffer.setDevicePixelRatio(devicePixelRatioF());
        {
            QPainter off(&buffer);
            DrawWaveform(off, filled);
        }
        painter.drawPixmap(0, 0, buffer);
    } else if (rangeMin_ < position_ && position_ < rangeMax_) {
        // Drawn off-screen and copied in one step, so the bar never shows half a gradient.
        QPixmap buffer(size() * devicePixelRatioF());
        buffer.setDevicePixelRatio(devicePixelRatioF());
        {
            QPainter off(&buffer);
            DrawGradient(off, filled);
        }
        painter.drawPixmap(0, 0, buffer);
    } else {
        painter.fillRect(rect(), QColor(kBackColour));
    }
    DrawCaption(painter);
}

void CCaptionProgress::DrawCaption(QPainter& painter) const {
    constexpr int kFlags = Qt::AlignCenter | Qt::TextSingleLine;
    // An outline in the back colour, one pixel all round, keeps the white caption legible over
    // the waveform's and the gradient's bright columns.
    painter.setPen(QColor(kBackColour));
    for (int dy = -kOutline; dy <= kOutline; ++dy) {
        for (int dx = -kOutline; dx <= kOutline; ++dx) {
            if (dx != 0 || dy != 0) {
                painter.drawText(rect().translated(dx, dy), kFlags, caption_);
            }
        }
    }
    painter.setPen(QColor(kTextColour));
    painter.drawText(rect(), kFlags, caption_);
}

void CCaptionProgress::SetSeekHandlers(std::function<bool(std::int32_t)> toPosition,
                                       std::function<bool(int)> step) {
    seekTo_ = std::move(toPosition);
    seekStep_ = std::move(step);
    setFocusPolicy(seekTo_ ? Qt::StrongFocus : Qt::NoFocus);
}

std::int32_t CCaptionProgress::PositionAt(int x) const {
    if (width() <= 0 || rangeMax_ <= rangeMin_) {
        return rangeMin_;
    }
    const double share = std::clamp(static_cast<double>(x) / width(), 0.0, 1.0);
    return rangeMin_ + static_cast<std::int32_t>(share * (static_cast<double>(rangeMax_) -
                                                          static_cast<double>(rangeMin_)));
}

void CCaptionProgress::mousePressEvent(QMouseEvent* event) {
    if (seekTo_ && event->button() == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        seekTo_(PositionAt(static_cast<int>(event->position().x())));
        return;
    }
    QProgressBar::mousePressEvent(event);
}

void CCaptionProgress::mouseMoveEvent(QMouseEvent* event) {
    if (seekTo_ && (event->buttons() & Qt::LeftButton)) {
        seekTo_(PositionAt(static_cast<int>(event->position().x())));
        return;
    }
    QProgressBar::mouseMoveEvent(event);
}

void CCaptionProgress::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (seekStep_ && (key == Qt::Key_Left || key == Qt::Key_Right)) {
        seekStep_(key == Qt::Key_Left ? -1 : 1);
        return;
    }
    QProgressBar::keyPressEvent(event);
}

}  // namespace fogbell
