// CVolumeSlider: the volume trackbar. It sends the volume command (2031) with its position on
// every pointer movement over it, and also when a key, the wheel or a click on the groove
// changes its position, so that the volume follows every way of moving it.
#pragma once

#include <QSlider>

namespace fogbell {

class CVolumeSlider : public QSlider {
    Q_OBJECT

  public:
    explicit CVolumeSlider(QWidget* parent = nullptr);

    static constexpr int kVolumeCommand = 2031;

  signals:
    // Emitted at once (a direct call into the receiver), with command = kVolumeCommand.
    void commandSent(int command, int position);

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void Send();
};

}  // namespace fogbell
