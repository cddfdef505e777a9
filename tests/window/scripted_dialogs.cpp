#include "scripted_dialogs.h"

namespace fogbell::window::test {
namespace {

std::optional<QString> Take(std::deque<QString>& answers) {
    if (answers.empty()) {
        return std::nullopt;
    }
    const QString answer = answers.front();
    answers.pop_front();
    if (answer.isEmpty()) {
        return std::nullopt;
    }
    return answer;
}

}  // namespace

void ScriptedDialogs::ShowMessage(QWidget*, QMessageBox::Icon icon, const QString& title,
                                  const QString& text) {
    script_.messages.push_back({icon, title, text});
}

bool ScriptedDialogs::AskYesNo(QWidget*, const QString& title, const QString& text) {
    script_.questions.push_back({QMessageBox::Question, title, text});
    if (script_.yesNoAnswers.empty()) {
        return false;
    }
    const bool answer = script_.yesNoAnswers.front();
    script_.yesNoAnswers.pop_front();
    return answer;
}

int ScriptedDialogs::AskChoice(QWidget*, const QString& title, const QString& text,
                               const QStringList& buttons) {
    script_.questions.push_back({QMessageBox::Question, title, text});
    script_.choices.push_back(buttons);
    if (script_.choiceAnswers.empty()) {
        return static_cast<int>(buttons.size()) - 1;  // closed: the escape button
    }
    const int answer = script_.choiceAnswers.front();
    script_.choiceAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedDialogs::AskOpenFile(QWidget*, const QStringList& nameFilters,
                                                    const QString& title, const QString& folder) {
    script_.filters.push_back(nameFilters);
    script_.openTitles.push_back(title);
    script_.openFolders.push_back(folder);
    return Take(script_.openFileAnswers);
}

std::optional<QString> ScriptedDialogs::AskFolder(QWidget*, const QString&) {
    return Take(script_.folderAnswers);
}

std::optional<int> ScriptedDialogs::ShowMenu(QWidget*, const std::vector<MenuItem>& items,
                                             QPoint screenPosition) {
    script_.menus.push_back(items);
    script_.menuPositions.push_back(screenPosition);
    for (const MenuItem& item : items) {
        if (script_.menuChoice && item.command == *script_.menuChoice && item.enabled) {
            return item.command;
        }
    }
    return std::nullopt;
}

}  // namespace fogbell::window::test
