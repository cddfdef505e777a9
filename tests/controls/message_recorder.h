// Records the message boxes a control asks for, instead of showing them.
#pragma once

#include "host/controls/control_support.h"

#include <QString>

#include <vector>

namespace fogbell::test {

struct ShownMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

class MessageRecorder {
  public:
    MessageBoxFn Hook() {
        return [this](QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text) {
            shown.push_back({icon, title, text});
        };
    }
    std::vector<ShownMessage> shown;
};

}  // namespace fogbell::test
