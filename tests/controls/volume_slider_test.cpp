// The volume slider sends 2031 with its position on pointer movement, and on keyboard, wheel
// and groove-click changes; setting the value from code sends nothing.
#include "host/controls/volume_slider.h"

#include "render_helpers.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>

#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace fogbell {
namespace {

class VolumeSliderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        slider.setRange(5000, 10000);
        slider.setSingleStep(100);
        slider.setPageStep(1000);
        slider.setValue(7000);
        slider.resize(200, 24);
        QObject::connect(&slider, &CVolumeSlider::commandSent, [this](int command, int position) {
            sent.emplace_back(command, position);
        });
    }
    void Key(int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&slider, &event);
    }
    void Wheel(int angle) {
        QWheelEvent event(QPointF(100, 12), QPointF(slider.mapToGlobal(QPoint(100, 12))), QPoint(),
                          QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&slider, &event);
    }
    CVolumeSlider slider;
    std::vector<std::pair<int, int>> sent;
};

TEST_F(VolumeSliderTest, PointerMovementSendsThePositionEveryTime) {
    test::SendMove(slider, QPoint(20, 12));
    test::SendMove(slider, QPoint(30, 12));
    EXPECT_EQ(sent, (std::vector<std::pair<int, int>>{{2031, 7000}, {2031, 7000}}));
}

TEST_F(VolumeSliderTest, KeyboardChangesSendTheNewPosition) {
    Key(Qt::Key_Right);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_End);
    Key(Qt::Key_End);  // no change: nothing sent
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], std::make_pair(2031, 7100));
    EXPECT_EQ(sent[1], std::make_pair(2031, 6100));  // a page down
    EXPECT_EQ(sent[2], std::make_pair(2031, 10000));
}

TEST_F(VolumeSliderTest, WheelChangesSendTheNewPosition) {
    Wheel(120);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, 2031);
    EXPECT_NE(sent[0].second, 7000);
    EXPECT_EQ(sent[0].second, slider.value());
}

TEST_F(VolumeSliderTest, ValueSetByCodeSendsNothing) {
    slider.setValue(9000);
    EXPECT_TRUE(sent.empty());
}

}  // namespace
}  // namespace fogbell
