#include "host/controls/control_support.h"

#include <QVariant>

namespace fogbell {

void SetControlId(QWidget* widget, int id) {
    widget->setProperty("controlId", id);
    widget->setObjectName(QStringLiteral("id%1").arg(id));
}

int ControlId(const QWidget* widget) {
    return widget->property("controlId").toInt();
}

void ShowMessageBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                    const QString& text) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace fogbell
