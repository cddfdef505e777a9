// The main window's modal interactions: message boxes, file and folder dialogs, the popup menu
// and the About window. The program uses Qt's; tests put scripted answers in their place, so
// that the window's routing runs for real without anyone at the keyboard.
#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "host/app/main_view.h"

class QWidget;

namespace fogbell::window {

class WindowDialogs {
  public:
    virtual ~WindowDialogs() = default;

    // A message box with an OK button.
    virtual void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                             const QString& text) = 0;
    // A question with the buttons Yes and No (No the default); true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    // A question with these buttons, the last one also taken by Escape and the close box; the
    // index of the chosen one.
    virtual int AskChoice(QWidget* parent, const QString& title, const QString& text,
                          const QStringList& buttons) = 0;
    // An existing file to open; nameFilters empty: every file is offered. The dialog is titled
    // title ("": the toolkit's own) and starts in folder ("": where the dialogs are, see StartIn;
    // a file chosen in a folder given here does not move where the others start).
    virtual std::optional<QString> AskOpenFile(QWidget* parent, const QStringList& nameFilters,
                                               const QString& title, const QString& folder) = 0;
    virtual std::optional<QString> AskFolder(QWidget* parent, const QString& title) = 0;
    // The command of the chosen item (only enabled items can be chosen), or nothing.
    virtual std::optional<int> ShowMenu(QWidget* parent, const std::vector<MenuItem>& items,
                                        QPoint screenPosition) = 0;
    virtual void ShowAbout(QWidget* parent) = 0;
    // Where the file and folder dialogs start until a file is chosen in one (then its folder).
    virtual void StartIn(const QString& folder) { static_cast<void>(folder); }
};

// The message box icon for the core's icon; kNone gives a box without any.
QMessageBox::Icon QtMessageIcon(MessageIcon icon);

// Qt's message boxes (captioned with the application's name), Qt's own file dialog (its name
// filters match extensions in any case), the folder dialog, QMenu and the About window.
std::unique_ptr<WindowDialogs> MakeQtDialogs();

}  // namespace fogbell::window
