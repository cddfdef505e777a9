// CBalloonTip: the balloon-shaped tooltip of the image buttons: a rounded box with a tail that
// points at the button, under the button's bottom edge, with the text in lines of at most 400
// pixels. It hides itself when the pointer leaves the button, on a click, and after a while.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

namespace fogbell {

class CBalloonTip : public QWidget {
    Q_OBJECT

  public:
    explicit CBalloonTip(QWidget* anchor);

    // Shows `text` under the anchor, the tail at `pointer` (the anchor's coordinates).
    void ShowText(const QString& text, QPoint pointer);
    QString Text() const { return text_; }

    static constexpr int kMaxTipWidth = 400;
    static constexpr int kShowMs = 8000;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPainterPath Outline() const;

    QWidget* anchor_;
    QString text_;
    QRect textRect_;
    int tailX_ = 0;
    QTimer hideTimer_;
};

}  // namespace fogbell
