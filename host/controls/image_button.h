// CImageButton: the push button and check box of Fogbell's windows. It paints itself in three
// layers (background, border, image and caption), shows a bitmap whose key colour is
// transparent, can look flat (a border only while hovered or pressed), and as a check box keeps
// its checked state in the object, where other threads may read it.
#pragma once

#include <QColor>
#include <QImage>
#include <QPushButton>
#include <QString>

#include <atomic>

namespace fogbell {

class CBalloonTip;

class CImageButton : public QPushButton {
    Q_OBJECT

  public:
    enum class Kind { kPushButton, kCheckBox };

    explicit CImageButton(QWidget* parent = nullptr);
    explicit CImageButton(const QString& caption, Kind kind = Kind::kPushButton,
                          QWidget* parent = nullptr);
    ~CImageButton() override;

    // Makes the button a two-state check box (true) or a push button (false).
    void SetCheckBox(bool checkBox);
    bool IsCheckBox() const { return isCheckBox_; }

    // Takes a copy of the image; pixels of exactly `transparent` let the background show.
    // A null image clears the bitmap. Returns 0, or 2 if the mask cannot be built (no memory),
    // which leaves the button without an image.
    int SetBitmap(const QImage& image, QColor transparent);
    // The bitmap with its key pixels made transparent (null when there is none).
    QImage Bitmap() const { return keyed_; }
    // The monochrome mask: 1 where the bitmap has the key colour (null when there is none).
    QImage Mask() const { return mask_; }

    void SetFlat(bool flat, bool redraw = true);
    bool IsFlat() const { return isFlat_; }
    bool IsHover() const { return isHover_; }

    // The tooltip: SetBalloonTooltip before the first text; SetTooltipText with no text does
    // nothing; ActivateTooltip shows or hides the text without forgetting it.
    void SetBalloonTooltip();
    bool IsBalloonTooltip() const { return (tooltipStyle_ & kBalloonStyle) != 0; }
    void SetTooltipText(const QString& text, bool activate = true);
    void ActivateTooltip(bool active = true);
    QString TooltipText() const { return tooltipText_; }
    // The balloon while one has been shown (balloon buttons only), else null.
    const CBalloonTip* Balloon() const { return balloon_; }

    // Check boxes only: SetCheck on a push button changes nothing. Any thread may read GetCheck.
    void SetCheck(int state, bool redraw = true);
    int GetCheck() const { return checked_.load(std::memory_order_acquire) ? 1 : 0; }

    // Draw the bitmap embossed while disabled (on by default).
    void SetShowDisabledBitmap(bool show) { showDisabledBitmap_ = show; }
    // Flat buttons draw thin hover and pressed borders (on by default).
    void SetDrawBorder(bool draw);

    // The six colours: background and text for the hovered or pressed look, the idle look and
    // the focused look. ResetColours returns all six to the palette's button colours.
    void SetColours(QColor bkIn, QColor fgIn, QColor bkOut, QColor fgOut, QColor bkFocus,
                    QColor fgFocus);
    void ResetColours();

    QSize sizeHint() const override;

    static constexpr int kBalloonStyle = 0x40;
    static constexpr int kMarginX = 3;
    static constexpr int kPressedOffset = 1;
    // A checked check box is filled with deep red whatever its colours say, and its caption is
    // white on it (a contrast of more than 6 to 1).
    static constexpr QRgb kCheckedFill = qRgb(192, 0, 0);
    static constexpr QRgb kCheckedText = qRgb(255, 255, 255);
    // A check box shows its state also as a box left of the caption, ticked when checked.
    static constexpr int kCheckMarkSide = 9;
    static constexpr int kCheckMarkLeft = 2;  // from the left edge; the caption follows 2 further

  protected:
    // The paint layers; each receives the painter and the button's rectangle.
    virtual void DrawBackground(QPainter& painter, QRect& rect);
    virtual void DrawBorder(QPainter& painter, const QRect& rect);
    virtual void DrawImage(QPainter& painter, const QRect& rect, bool hasCaption,
                           QRect& captionRect, bool isPressed, bool isDisabled);
    virtual void DrawCaption(QPainter& painter, const QRect& rect, bool hasCaption,
                             QRect captionRect, bool isPressed, bool isDisabled);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void StartHover();
    void EndHover();
    void OnClickedFirst();
    void MoveFocusOn();
    void ClearImage();
    // The check box's box at the left of rect, ticked when checked; captionRect starts after it.
    void DrawCheckMark(QPainter& painter, const QRect& rect, QRect& captionRect) const;
    void HideBalloon();

    bool showDisabledBitmap_ = true;
    bool isFlat_ = false;
    bool isHover_ = false;
    bool isPressed_ = false;
    bool isFocused_ = false;
    bool isDisabled_ = false;
    bool isCheckBox_ = false;
    bool drawBorder_ = true;
    bool customColours_ = false;
    QColor bkIn_, fgIn_, bkOut_, fgOut_, bkFocus_, fgFocus_;
    int tooltipStyle_ = 0;
    QString tooltipText_;
    bool tooltipActive_ = false;
    CBalloonTip* balloon_ = nullptr;  // a child window, made on first use
    std::atomic<bool> checked_{false};
    QImage keyed_;
    QImage mask_;
};

}  // namespace fogbell
