#include "host/window/control_factory.h"

#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace fogbell::window {
namespace {

constexpr const char* kCaptionProperty = "fogbellCaption";
constexpr const char* kTargetProperty = "fogbellTarget";

// The standard icon that stands for each bitmap resource.
QStyle::StandardPixmap IconOfBitmap(int bitmap) {
    switch (bitmap) {
        case 129:
            return QStyle::SP_MessageBoxInformation;
        case 130:
            return QStyle::SP_DirOpenIcon;
        case 131:
            return QStyle::SP_FileDialogToParent;
        case 133:
            return QStyle::SP_MediaPlay;
        case 134:
            return QStyle::SP_MediaStop;
        case 135:
            return QStyle::SP_DialogApplyButton;
        case 136:
            return QStyle::SP_ArrowUp;
        case 137:
            return QStyle::SP_ArrowDown;
        case 138:
            return QStyle::SP_FileIcon;
        default:
            return QStyle::SP_CustomBase;
    }
}

// A label that paints a picture stretched over its whole area.
class PictureLabel : public QLabel {
  public:
    using QLabel::QLabel;
    QPixmap picture;

  protected:
    void paintEvent(QPaintEvent*) override {
        if (!picture.isNull()) {
            QPainter painter(this);
            painter.drawPixmap(rect(), picture);
        }
    }
};

}  // namespace

QAbstractButton* MakeImageButton(QWidget* parent, const ControlTemplate& control) {
    QAbstractButton* button = nullptr;
    if (control.kind == ControlKind::kBitmapButton) {
        auto* tool = new QToolButton(parent);
        tool->setIcon(parent->style()->standardIcon(IconOfBitmap(control.bitmap)));
        button = tool;
    } else {
        auto* push = new QPushButton(QString::fromUtf8(control.text), parent);
        push->setAutoDefault(false);
        push->setFlat(control.flat);
        push->setCheckable(control.kind == ControlKind::kCheckBox);
        button = push;
    }
    button->setToolTip(QString::fromUtf8(control.tooltip));
    return button;
}

void SetButtonCheck(QAbstractButton* button, bool checked) {
    if (button->isCheckable()) {
        button->setChecked(checked);
    }
}

bool ButtonCheck(const QAbstractButton* button) {
    return button->isCheckable() && button->isChecked();
}

QString ButtonTooltip(const QAbstractButton* button) {
    return button->toolTip();
}

QWidget* MakeCaptionProgress(QWidget* parent, const ControlTemplate& control) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(true);
    bar->setAlignment(Qt::AlignCenter);
    SetProgressCaption(bar, QString::fromUtf8(control.text));
    return bar;
}

void SetProgressCaption(QWidget* bar, const QString& caption) {
    bar->setProperty(kCaptionProperty, caption);
    QString format = caption;
    static_cast<QProgressBar*>(bar)->setFormat(format.replace('%', "%%"));
}

QString ProgressCaption(const QWidget* bar) {
    return bar->property(kCaptionProperty).toString();
}

void SetProgressRange(QWidget* bar, int low, int high) {
    auto* progress = static_cast<QProgressBar*>(bar);
    progress->setRange(low, std::max(low, high));
    progress->setValue(low);
}

void SetProgressPos(QWidget* bar, int position) {
    static_cast<QProgressBar*>(bar)->setValue(position);
}

int ProgressPos(const QWidget* bar) {
    return static_cast<const QProgressBar*>(bar)->value();
}

int ProgressMaximum(const QWidget* bar) {
    return static_cast<const QProgressBar*>(bar)->maximum();
}

QSlider* MakeVolumeSlider(QWidget* parent, const ControlTemplate&, std::function<void(int)> moved) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setTickPosition(QSlider::NoTicks);
    QObject::connect(slider, &QSlider::valueChanged, slider,
                     [moved = std::move(moved)](int value) { moved(value); });
    return slider;
}

QWidget* MakeLinkLabel(QWidget* parent, const ControlTemplate& control) {
    auto* label = new QLabel(QString::fromUtf8(control.text), parent);
    label->setAlignment(Qt::AlignCenter);
    label->setCursor(Qt::PointingHandCursor);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xEE));
    label->setPalette(palette);
    return label;
}

void SetLinkTarget(QWidget* link, const QString& target) {
    link->setProperty(kTargetProperty, target);
    link->setToolTip(target);
}

QString LinkTarget(const QWidget* link) {
    return link->property(kTargetProperty).toString();
}

QWidget* MakePicture(QWidget* parent, const ControlTemplate&) {
    auto* picture = new PictureLabel(parent);
    picture->setFrameShape(QFrame::NoFrame);
    return picture;
}

void LoadPicture(QWidget* picture, const QString& path) {
    auto* label = static_cast<PictureLabel*>(picture);
    label->picture = QPixmap(path);
    label->update();
}

bool PictureLoaded(const QWidget* picture) {
    return !static_cast<const PictureLabel*>(picture)->picture.isNull();
}

void ShowAboutWindow(QWidget* parent) {
    QMessageBox::about(parent, "About Fogbell", "Fogbell\nMistvale's Sound Explorer");
}

QIcon ProgramIcon() {
    return QIcon::fromTheme("audio-x-generic");
}

}  // namespace fogbell::window
