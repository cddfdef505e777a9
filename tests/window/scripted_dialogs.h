// The window's modal interactions answered from a script, with a record of what was asked.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "host/window/window_dialogs.h"

namespace fogbell::window::test {

struct DialogScript {
    // Answers in order; an empty text or an empty queue: cancelled.
    std::deque<QString> openFileAnswers;
    std::deque<QString> folderAnswers;
    std::optional<int> menuChoice;
    std::deque<bool> yesNoAnswers;  // an empty queue answers No
    std::deque<int> choiceAnswers;  // button indexes; an empty queue closes the box

    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };
    std::vector<Message> messages;
    std::vector<Message> questions;    // yes/no questions (icon: Question)
    std::vector<QStringList> choices;  // the buttons of every AskChoice, with its text in questions
    std::vector<QStringList> filters;  // of every open-file dialog
    std::vector<QString> openTitles;   // of every open-file dialog ("": the toolkit's)
    std::vector<QString> openFolders;  // where each open-file dialog was told to start
    std::vector<std::vector<MenuItem>> menus;
    std::vector<QPoint> menuPositions;
    int abouts = 0;
    QString startFolder;  // where the dialogs were told to start
};

// Answers from a script the test keeps (and may change) while the window owns this object.
class ScriptedDialogs final : public WindowDialogs {
  public:
    explicit ScriptedDialogs(DialogScript& script) : script_(script) {}
    void ShowMessage(QWidget*, QMessageBox::Icon icon, const QString& title,
                     const QString& text) override;
    bool AskYesNo(QWidget*, const QString& title, const QString& text) override;
    int AskChoice(QWidget*, const QString& title, const QString& text,
                  const QStringList& buttons) override;
    std::optional<QString> AskOpenFile(QWidget*, const QStringList& nameFilters,
                                       const QString& title, const QString& folder) override;
    std::optional<QString> AskFolder(QWidget*, const QString& title) override;
    std::optional<int> ShowMenu(QWidget*, const std::vector<MenuItem>& items,
                                QPoint screenPosition) override;
    void ShowAbout(QWidget*) override { ++script_.abouts; }
    void StartIn(const QString& folder) override { script_.startFolder = folder; }

  private:
    DialogScript& script_;
};

}  // namespace fogbell::window::test
