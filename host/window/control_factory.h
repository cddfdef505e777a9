// Where the main window gets its controls. Every control class of the window is chosen here,
// and every operation the window performs on a control of its own class goes through here, so
// that the window itself deals only in Qt base classes.
#pragma once

#include <QAbstractButton>
#include <QIcon>
#include <QSlider>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "host/controls/control_support.h"
#include "host/window/dialog_template.h"

namespace fogbell::window {

// Image buttons (CImageButton): bitmap buttons, text buttons and the two check boxes, whose
// checked state lives in the control and may be read from any thread.
QAbstractButton* MakeImageButton(QWidget* parent, const ControlTemplate& control);
// The bitmap with its transparent colour, then the balloon tooltip (when the control has one).
void SetUpBitmapAndTooltip(QAbstractButton* button, const ControlTemplate& control);
void SetButtonFlat(QAbstractButton* button);
void SetButtonCheck(QAbstractButton* button, bool checked);
bool ButtonCheck(const QAbstractButton* button);
QString ButtonTooltip(const QAbstractButton* button);
bool ButtonHasBalloonTooltip(const QAbstractButton* button);
bool ButtonIsFlat(const QAbstractButton* button);
bool ButtonHasBitmap(const QAbstractButton* button);

// Caption progress bars (CCaptionProgress). The window text is not drawn.
QWidget* MakeCaptionProgress(QWidget* parent, const ControlTemplate& control);
// The caption, then the caption font.
void SetUpProgressCaption(QWidget* bar, const QString& caption);
void SetProgressCaption(QWidget* bar, const QString& caption);
QString ProgressCaption(const QWidget* bar);
void SetProgressRange(QWidget* bar, int low, int high);
void SetProgressPos(QWidget* bar, int position);
// Makes the bar a seek bar (CCaptionProgress::SetSeekHandlers).
void SetProgressSeeking(QWidget* bar, std::function<bool(std::int32_t)> toPosition,
                        std::function<bool(int)> step);
int ProgressPos(const QWidget* bar);
int ProgressMaximum(const QWidget* bar);
void SetProgressWindowText(QWidget* bar, const QString& text);
// The envelope drawn in the bar (CCaptionProgress::SetWaveform); whether it has one.
void SetProgressWaveform(QWidget* bar, std::vector<std::int16_t> low,
                         std::vector<std::int16_t> high);
bool ProgressHasWaveform(const QWidget* bar);
QString ProgressWindowText(const QWidget* bar);

// The volume slider (CVolumeSlider); moved gets every position the user gives it with the
// pointer, the keys or the wheel (command 2031), never one the program sets.
QSlider* MakeVolumeSlider(QWidget* parent, const ControlTemplate& control,
                          std::function<void(int)> moved);

// Link labels (CLinkLabel).
QWidget* MakeLinkLabel(QWidget* parent, const ControlTemplate& control);
void SetUpLinkLabel(QWidget* link, const QString& text, const QString& target,
                    MessageBoxFn messageBox);
QString LinkTarget(const QWidget* link);

// The picture (CPictureStatic showing its own CPicture). A file that cannot be loaded is
// reported through messageBox ("CPicture Error") and leaves the control empty.
QWidget* MakePicture(QWidget* parent, const ControlTemplate& control);
bool LoadPicture(QWidget* picture, const QString& path, MessageBoxFn messageBox);
bool PictureLoaded(const QWidget* picture);

// The modal About window (CAboutDialog).
void ShowAboutWindow(QWidget* parent);

// The program's window icon, in its sizes.
QIcon ProgramIcon();

}  // namespace fogbell::window
