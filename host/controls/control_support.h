// Small helpers shared by the window controls: colours given as 0x00BBGGRR values, control
// identifiers on widgets, and the message-box hook that tests replace.
#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace fogbell {

// A colour written as 0x00BBGGRR (red in the low byte), the form the window's colour constants use.
constexpr QRgb RgbFromColorRef(std::uint32_t colorRef) {
    return qRgb(static_cast<int>(colorRef & 0xFFu), static_cast<int>((colorRef >> 8) & 0xFFu),
                static_cast<int>((colorRef >> 16) & 0xFFu));
}
inline QColor ColorFromColorRef(std::uint32_t colorRef) {
    return QColor(RgbFromColorRef(colorRef));
}

// Control identifiers: each control of a window carries its numeric id as the dynamic property
// "controlId" and as its object name "id<number>", so that code and tests find it by id.
void SetControlId(QWidget* widget, int id);
int ControlId(const QWidget* widget);  // 0 when the widget has none
template <typename T = QWidget>
T* FindControl(const QWidget* window, int id) {
    return window->findChild<T*>(QStringLiteral("id%1").arg(id));
}

// A message box request: owner, icon, title and text. The default shows a modal QMessageBox;
// tests install a recorder instead.
using MessageBoxFn = std::function<void(QWidget* owner, QMessageBox::Icon icon,
                                        const QString& title, const QString& text)>;
void ShowMessageBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
                    const QString& text);

}  // namespace fogbell
