#include "host/window/window_dialogs.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

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

    std::optional<QString> AskOpenFile(QWidget* parent, const QStringList& nameFilters) override {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        // Qt's own dialog: its name filters ignore the case of extensions on every platform.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        if (!nameFilters.isEmpty()) {
            dialog.setNameFilters(nameFilters);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().front();
    }

    std::optional<QString> AskFolder(QWidget* parent, const QString& title) override {
        const QString folder = QFileDialog::getExistingDirectory(parent, title);
        if (folder.isEmpty()) {
            return std::nullopt;
        }
        return folder;
    }

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
