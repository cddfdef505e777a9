#include "host/controls/link_label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QProcess>
#include <QUrl>

namespace fogbell {

CLinkLabel::CLinkLabel(const QString& text, const QString& target, QWidget* parent)
    : QLabel(text, parent), target_(target.isEmpty() ? text : target) {
    if (text.isEmpty()) {
        setText(target_);
    }
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setToolTip(target_);
    MakeFonts();
    ApplyLook();
}

void CLinkLabel::MakeFonts() {
    normalFont_ = font();
    normalFont_.setUnderline(false);
    underlineFont_ = normalFont_;
    underlineFont_.setUnderline(true);
}

void CLinkLabel::SetTarget(const QString& target) {
    target_ = target;
    setToolTip(target_);
}

void CLinkLabel::SetVisited(bool visited) {
    visited_ = visited;
    ApplyLook();
}

QColor CLinkLabel::CurrentColour() const {
    return QColor(hovered_ ? kHoverColour : (visited_ ? kVisitedColour : kLinkColour));
}

// Text in the state's colour on the button face, underlined while hovered.
void CLinkLabel::ApplyLook() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, CurrentColour());
    pal.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    setPalette(pal);
    applyingFont_ = true;
    setFont(hovered_ ? underlineFont_ : normalFont_);
    applyingFont_ = false;
    update();
}

void CLinkLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    // A font given from outside becomes the new normal font.
    if (event->type() == QEvent::FontChange && !applyingFont_) {
        MakeFonts();
        ApplyLook();
    }
}

void CLinkLabel::StartHover() {
    if (!hovered_) {
        hovered_ = true;
        ApplyLook();
    }
}

void CLinkLabel::EndHover() {
    if (hovered_) {
        hovered_ = false;
        ApplyLook();
    }
}

void CLinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    StartHover();
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    if (rect().contains(event->position().toPoint())) {
        StartHover();
    } else {
        EndHover();
    }
}

void CLinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    EndHover();
}

void CLinkLabel::mousePressEvent(QMouseEvent* event) {
    pressedInside_ = event->button() == Qt::LeftButton;
    event->accept();
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressedInside_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressedInside_ = false;
    event->accept();
    if (click) {
        OnClicked();
    }
}

void CLinkLabel::OnClicked() {
    hovered_ = false;
    ApplyLook();
    const int result = opener_ ? opener_(target_) : OpenWithDesktop(target_);
    if (result > kSuccessAbove) {
        SetVisited(true);
        return;
    }
    QApplication::beep();
    const QString text = ErrorText(result);
    if (messageBox_) {
        messageBox_(this, QMessageBox::Warning, QApplication::applicationDisplayName(), text);
    } else {
        ShowMessageBox(this, QMessageBox::Warning, QApplication::applicationDisplayName(), text);
    }
}

QString CLinkLabel::ErrorText(int code) {
    QString reason;
    switch (code) {
        case 0:
            reason = QStringLiteral("The operating system is out\nof memory or resources.");
            break;
        case 2:
            reason = QStringLiteral("The specified file was not found.");
            break;
        case 3:
            reason = QStringLiteral("The specified path was not found.");
            break;
        case 5:
            reason = QStringLiteral("The operating system denied\naccess to the specified file.");
            break;
        case 8:
            reason = QStringLiteral("There was not enough memory to complete the operation.");
            break;
        case 11:
            reason = QStringLiteral(
                "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
            break;
        case 26:
            reason = QStringLiteral("A sharing violation occurred. ");
            break;
        case 27:
            reason = QStringLiteral("The filename association is\nincomplete or invalid.");
            break;
        case 28:
            reason = QStringLiteral(
                "The DDE transaction could not\nbe completed because the request timed out.");
            break;
        case 29:
            reason = QStringLiteral("The DDE transaction failed.");
            break;
        case 30:
            reason = QStringLiteral(
                "The DDE transaction could not\nbe completed because other DDE "
                "transactions\nwere being processed.");
            break;
        case 31:
            reason = QStringLiteral(
                "There is no application associated\nwith the given filename extension.");
            break;
        case 32:
            reason = QStringLiteral("The specified dynamic-link library was not found.");
            break;
        default:
            reason = QStringLiteral("Unknown Error (%1) occurred.").arg(code);
            break;
    }
    return QStringLiteral("Unable to open hyperlink:\n\n") + reason;
}

// First the desktop's handler for the address; when it cannot open it, the browser command in
// $BROWSER (its first entry, should it list several).
int CLinkLabel::OpenWithDesktop(const QString& target) {
    const QUrl url = QUrl::fromUserInput(target);
    if (url.isValid() && QDesktopServices::openUrl(url)) {
        return kSuccessAbove + 1;
    }
    return OpenWithCommand(qEnvironmentVariable("BROWSER").section(QLatin1Char(':'), 0, 0), target);
}

int CLinkLabel::OpenWithCommand(QString command, const QString& target) {
    const qsizetype placeholder = command.indexOf(QLatin1String("%s"));
    if (placeholder >= 0) {
        command.truncate(placeholder);
    }
    QStringList args = QProcess::splitCommand(command.trimmed());
    if (args.isEmpty()) {
        return kNoAssociation;
    }
    const QString program = args.takeFirst();
    args << target;
    return QProcess::startDetached(program, args) ? kSuccessAbove + 1 : kFileNotFound;
}

}  // namespace fogbell
