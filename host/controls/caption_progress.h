// CCaptionProgress: a progress bar that paints a cyan-to-blue gradient over its whole width,
// black where it is not filled, and a centred white caption. Given a waveform (the play bar),
// it draws the track's envelope instead: in the gradient's colours where played, dimmed after. Its
// range and position are full 32-bit values; a bar at its maximum looks empty, like a bar at its
// minimum.
#pragma once

#include <QFont>
#include <QProgressBar>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace fogbell {

class CCaptionProgress : public QProgressBar {
    Q_OBJECT

  public:
    explicit CCaptionProgress(QWidget* parent = nullptr);

    // Window thread only; workers reach these through queued calls.
    void SetRange(std::int32_t min, std::int32_t max);  // also puts the position at min
    void SetPos(std::int32_t pos);
    void SetCaption(const QString& caption);
    // The caption font: a Swiss (sans-serif) face with a 12-pixel cell, normal weight.
    void CreateCaptionFont();

    std::int32_t RangeMin() const { return rangeMin_; }
    std::int32_t RangeMax() const { return rangeMax_; }
    std::int32_t GetPos() const { return position_; }
    QString Caption() const { return caption_; }
    // The control's own text, never drawn; the window keeps what Play starts in it.
    void SetWindowText(const QString& text) { windowText_ = text; }
    QString GetWindowText() const { return windowText_; }

    // The envelope to draw: low[i]..high[i] (16-bit sample values) for the i-th of low.size()
    // equal stretches of the track. Empty vectors take it away.
    void SetWaveform(std::vector<std::int16_t> low, std::vector<std::int16_t> high);
    bool HasWaveform() const { return !waveLow_.empty(); }

    // Filled width for the current state; 0 unless rangeMin < position < rangeMax.
    int FilledWidth() const;

    static constexpr QRgb kStartColour = qRgb(0, 255, 255);  // cyan at the left edge
    static constexpr QRgb kEndColour = qRgb(0, 0, 255);      // blue at the right edge
    static constexpr QRgb kBackColour = qRgb(0, 0, 0);
    static constexpr QRgb kTextColour = qRgb(255, 255, 255);
    static constexpr int kOutline = 1;

    QSize sizeHint() const override;

    // Makes the bar a seek bar: a click or a drag asks toPosition for the range position under
    // the pointer, and Left and Right (with the keyboard focus on the bar) ask step for -1 and
    // +1. Either answers false when the track cannot seek; the bar then does nothing.
    void SetSeekHandlers(std::function<bool(std::int32_t)> toPosition,
                         std::function<bool(int)> step);
    // The range position under x (clamped to the bar).
    std::int32_t PositionAt(int x) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void DrawGradient(QPainter& painter, int filledWidth) const;
    // The envelope over the bar: played columns (left of filledWidth) in the gradient's
    // colours on its darkened gradient, the rest dimmed on black.
    void DrawWaveform(QPainter& painter, int filledWidth) const;
    // The caption, white with an outline of kOutline pixels in the back colour, centred.
    void DrawCaption(QPainter& painter) const;
    // The gradient's colour at x.
    QColor GradientAt(int x) const;

    std::int32_t rangeMin_ = 0;
    std::int32_t rangeMax_ = 100;
    std::int32_t position_ = 0;
    QString caption_;
    QString windowText_;
    QFont captionFont_;
    bool hasCaptionFont_ = false;
    std::function<bool(std::int32_t)> seekTo_;
    std::function<bool(int)> seekStep_;
    std::vector<std::int16_t> waveLow_;
    std::vector<std::int16_t> waveHigh_;
};

}  // namespace fogbell
