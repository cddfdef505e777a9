// Where the main window gets its controls. Every control class of the window is chosen here,
// and every operation the window performs on a control of its own class goes through here, so
// that the window itself deals only in Qt base classes.
#pragma once

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>
#include <QSlider>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "host/window/dialog_template.h"

namespace fogbell::window {

// Image buttons: bitmap buttons, text buttons and the two check boxes (their checked state
// lives in the control).
QAbstractButton* MakeImageButton(QWidget* parent, const ControlTemplate& control);
void SetButtonCheck(QAbstractButton* button, bool checked);
bool ButtonCheck(const QAbstractButton* button);
QString ButtonTooltip(const QAbstractButton* button);

// Caption progress bars.
QWidget* MakeCaptionProgress(QWidget* parent, const ControlTemplate& control);
void SetProgressCaption(QWidget* bar, const QString& caption);
QString ProgressCaption(const QWidget* bar);
void SetProgressRange(QWidget* bar, int low, int high);
void SetProgressPos(QWidget* bar, int position);
int ProgressPos(const QWidget* bar);
int ProgressMaximum(const QWidget* bar);

// The volume slider; moved reports every position the user gives it (pointer, keys, wheel).
QSlider* MakeVolumeSlider(QWidget* parent, const ControlTemplate& control,
                          std::function<void(int)> moved);

// Link labels.
QWidget* MakeLinkLabel(QWidget* parent, const ControlTemplate& control);
void SetLinkTarget(QWidget* link, const QString& target);
QString LinkTarget(const QWidget* link);

// The picture: loads the file and shows it stretched; a missing file is reported by the
// picture itself.
QWidget* MakePicture(QWidget* parent, const ControlTemplate& control);
void LoadPicture(QWidget* picture, const QString& path);
bool PictureLoaded(const QWidget* picture);

// The modal About window.
void ShowAboutWindow(QWidget* parent);

// The program's icon.
QIcon ProgramIcon();

}  // namespace fogbell::window
