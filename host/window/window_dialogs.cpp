#include "host/window/window_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "host/window/control_factory.h"

namespace fogbell::window {
namespace {

// Declared before QtDialogs so that its ShowMessage can call the controls' box.
using fogbell::ShowMessageBox;

class QtDialogs final : public WindowDialogs {
  public:
    void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                     const QString& text) override {
        ShowMessageBox(parent, icon, title, text);
    }

    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override {
        // No is the default: Enter alone never rewrites a file.
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }

    int AskChoice(QWidget* parent, const QString& title, const QString& text,
                  const QStringList& buttons) override {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
        QList<QAbstractButton*> added;
        for (const QString& caption : buttons) {
            added << box.addButton(caption, QMessageBox::ActionRole);
        }
        box.setEscapeButton(added.back());
        box.exec();
        const auto chosen = added.indexOf(box.clickedButton());
        return chosen < 0 ? static_cast<int>(added.size()) - 1 : static_cast<int>(chosen);
    }

    std::optional<QString> AskOpenFile(QWidget* parent, const QStringList& nameFilters,
                                       const QString& title, const QString& folder) override {
        QFileDialog dialog(parent);
        if (!title.isEmpty()) {
            dialog.setWindowTitle(title);
        }
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        // Qt's own dialog: its name filters ignore the case of extensions on every platform.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        if (!nameFilters.isEmpty()) {
            dialog.setNameFilters(nameFilters);
        }
        const QString start = folder.isEmpty() ? lastFolder_ : folder;
        if (!start.isEmpty()) {
            dialog.setDirectory(start);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        const QString file = dialog.selectedFiles().front();
        if (folder.isEmpty()) {
            lastFolder_ = QFileInfo(file).absolutePath();
        }
        return file;
    }

    std::optional<QString> AskFolder(QWidget* parent, const QString& title) override {
        const QString folder = QFileDialog::getExistingDirectory(parent, title, lastFolder_);
        if (folder.isEmpty()) {
            return std::nullopt;
        }
        return folder;
    }

    void StartIn(const QString& folder) override { lastFolder_ = folder; }

    std::optional<int> ShowMenu(QWidget* parent, const std::vector<MenuItem>& items,
                                QPoint screenPosition) override {
        QMenu menu(parent);
        for (const MenuItem& item : items) {
            QAction* action = menu.addAction(QString::fromStdString(item.text));
            action->setData(item.command);
            action->setEnabled(item.enabled);
        }
        const QAction* chosen = menu.exec(screenPosition);
        if (chosen == nullptr) {
            return std::nullopt;
        }
        return chosen->data().toInt();
    }

    void ShowAbout(QWidget* parent) override { ShowAboutWindow(parent); }

  private:
    QString lastFolder_;  // of the last file opened; where the dialogs start
};

}  // namespace

QMessageBox::Icon QtMessageIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::kInformation:
            return QMessageBox::Information;
        case MessageIcon::kStop:
            return QMessageBox::Critical;
        case MessageIcon::kNone:
            break;
    }
    return QMessageBox::NoIcon;
}

std::unique_ptr<WindowDialogs> MakeQtDialogs() {
    return std::make_unique<QtDialogs>();
}

}  // namespace fogbell::window
