// CLinkLabel: a text that acts as a web or mail link. It shows the link colour, the visited
// colour after a successful click and the hover colour underlined while the pointer is over it,
// shows its target as a tooltip, opens the target with the desktop's URL handler on a click and
// explains a failure in a message box.
#pragma once

#include "host/controls/control_support.h"

#include <QFont>
#include <QLabel>
#include <QString>

#include <functional>

namespace fogbell {

class CLinkLabel : public QLabel {
    Q_OBJECT

  public:
    // Opens a target: a result above 32 is success, anything else is an error code whose
    // text ErrorText gives.
    using Opener = std::function<int(const QString& target)>;

    // An empty target takes the text, an empty text shows the target.
    explicit CLinkLabel(const QString& text = QString(), const QString& target = QString(),
                        QWidget* parent = nullptr);

    void SetTarget(const QString& target);
    QString Target() const { return target_; }
    void SetVisited(bool visited);
    bool IsVisited() const { return visited_; }
    bool IsHovered() const { return hovered_; }
    // The text colour of the current state.
    QColor CurrentColour() const;

    // Replace how targets are opened and how failures are shown (tests, other platforms).
    void SetOpener(Opener opener) { opener_ = std::move(opener); }
    void SetMessageBox(MessageBoxFn messageBox) { messageBox_ = std::move(messageBox); }

    // The whole failure message for an error code: "Unable to open hyperlink:\n\n" + reason.
    static QString ErrorText(int code);
    // The default opener: the desktop's URL handler, then the browser named by $BROWSER.
    static int OpenWithDesktop(const QString& target);
    // The second way: `command` (a browser command, its "%s" placeholder cut off) with the
    // target appended, started detached. kNoAssociation for an empty command.
    static int OpenWithCommand(QString command, const QString& target);

    static constexpr int kSuccessAbove = 32;
    static constexpr int kNoAssociation = 31;  // no program is associated with the target
    static constexpr int kFileNotFound = 2;
    static constexpr QRgb kLinkColour = qRgb(0, 0, 0xEE);
    static constexpr QRgb kVisitedColour = qRgb(0x55, 0x1A, 0x8B);
    static constexpr QRgb kHoverColour = qRgb(0xFF, 0, 0);

  protected:
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void StartHover();
    void EndHover();
    void OnClicked();
    void ApplyLook();
    void MakeFonts();

    QString target_;
    bool hovered_ = false;
    bool visited_ = false;
    bool pressedInside_ = false;
    bool applyingFont_ = false;
    QFont normalFont_;
    QFont underlineFont_;
    Opener opener_;
    MessageBoxFn messageBox_;
};

}  // namespace fogbell
