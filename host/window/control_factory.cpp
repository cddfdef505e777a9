#include "host/window/control_factory.h"

#include "host/controls/about_dialog.h"
#include "host/controls/art.h"
#include "host/controls/caption_progress.h"
#include "host/controls/image_button.h"
#include "host/controls/link_label.h"
#include "host/controls/picture.h"
#include "host/controls/volume_slider.h"

namespace fogbell::window {
namespace {

// The resource text of every progress bar, its window text until the program changes it.
constexpr const char* kProgressResourceText = "Progress1";

CImageButton* AsImageButton(QAbstractButton* button) {
    return static_cast<CImageButton*>(button);
}
const CImageButton* AsImageButton(const QAbstractButton* button) {
    return static_cast<const CImageButton*>(button);
}
CCaptionProgress* AsProgress(QWidget* bar) {
    return static_cast<CCaptionProgress*>(bar);
}
const CCaptionProgress* AsProgress(const QWidget* bar) {
    return static_cast<const CCaptionProgress*>(bar);
}

// What a screen reader calls each button: its caption, or for an image button what it does.
QString AccessibleNameOf(const ControlTemplate& control) {
    switch (control.id) {
        case kIdOpenContainer:
            return "Open container";
        case kIdOpenAudioFile:
            return "Open audio file";
        case kIdPreviousDirectory:
            return "Previous directory";
        case kIdAbout:
            return "About";
        case kIdPlay:
            return "Play";
        case kIdStop:
            return "Stop";
        case kIdUpList:
            return "Up list";
        case kIdDownList:
            return "Down list";
        case kIdSelectAll:
            return "Select all files";
        default:
            return QString::fromUtf8(control.text);
    }
}

// The picture control with the picture it shows.
class OwnPicture final : public CPictureStatic {
  public:
    using CPictureStatic::CPictureStatic;
    CPicture picture;
};

}  // namespace

QAbstractButton* MakeImageButton(QWidget* parent, const ControlTemplate& control) {
    const auto kind = control.kind == ControlKind::kCheckBox ? CImageButton::Kind::kCheckBox
                                                             : CImageButton::Kind::kPushButton;
    auto* button = new CImageButton(QString::fromUtf8(control.text), kind, parent);
    button->setAccessibleName(AccessibleNameOf(control));
    button->setAccessibleDescription(QString::fromUtf8(control.tooltip));
    // The template has no default push button: Enter on a focused button clicks it, elsewhere
    // it is the dialog's OK (the window handles both).
    button->setAutoDefault(false);
    return button;
}

void SetUpBitmapAndTooltip(QAbstractButton* button, const ControlTemplate& control) {
    CImageButton* image = AsImageButton(button);
    if (control.bitmap != 0) {
        image->SetBitmap(art::Bitmap(control.bitmap, button->devicePixelRatioF()),
                         ColorFromColorRef(control.transparent));
    }
    if (*control.tooltip != '\0') {
        image->SetBalloonTooltip();
        image->SetTooltipText(QString::fromUtf8(control.tooltip), true);
        image->ActivateTooltip(true);
    }
}

void SetButtonFlat(QAbstractButton* button) {
    AsImageButton(button)->SetFlat(true, true);
}

void SetButtonCheck(QAbstractButton* button, bool checked) {
    AsImageButton(button)->SetCheck(checked ? 1 : 0, true);
}

bool ButtonCheck(const QAbstractButton* button) {
    return AsImageButton(button)->GetCheck() != 0;
}

QString ButtonTooltip(const QAbstractButton* button) {
    return AsImageButton(button)->TooltipText();
}

bool ButtonHasBalloonTooltip(const QAbstractButton* button) {
    return AsImageButton(button)->IsBalloonTooltip();
}

bool ButtonIsFlat(const QAbstractButton* button) {
    return AsImageButton(button)->IsFlat();
}

bool ButtonHasBitmap(const QAbstractButton* button) {
    return !AsImageButton(button)->Bitmap().isNull();
}

QWidget* MakeCaptionProgress(QWidget* parent, const ControlTemplate&) {
    auto* bar = new CCaptionProgress(parent);
    bar->SetWindowText(kProgressResourceText);
    return bar;
}

void SetUpProgressCaption(QWidget* bar, const QString& caption) {
    AsProgress(bar)->SetCaption(caption);
    AsProgress(bar)->CreateCaptionFont();
}

void SetProgressCaption(QWidget* bar, const QString& caption) {
    AsProgress(bar)->SetCaption(caption);
}

QString ProgressCaption(const QWidget* bar) {
    return AsProgress(bar)->Caption();
}

void SetProgressRange(QWidget* bar, int low, int high) {
    AsProgress(bar)->SetRange(low, high);
}

void SetProgressPos(QWidget* bar, int position) {
    AsProgress(bar)->SetPos(position);
}

void SetProgressSeeking(QWidget* bar, std::function<bool(std::int32_t)> toPosition,
                        std::function<bool(int)> step) {
    AsProgress(bar)->SetSeekHandlers(std::move(toPosition), std::move(step));
}

int ProgressPos(const QWidget* bar) {
    return AsProgress(bar)->GetPos();
}

int ProgressMaximum(const QWidget* bar) {
    return AsProgress(bar)->RangeMax();
}

void SetProgressWindowText(QWidget* bar, const QString& text) {
    AsProgress(bar)->SetWindowText(text);
}

void SetProgressWaveform(QWidget* bar, std::vector<std::int16_t> low,
                         std::vector<std::int16_t> high) {
    AsProgress(bar)->SetWaveform(std::move(low), std::move(high));
}

bool ProgressHasWaveform(const QWidget* bar) {
    return AsProgress(bar)->HasWaveform();
}

QString ProgressWindowText(const QWidget* bar) {
    return AsProgress(bar)->GetWindowText();
}

QSlider* MakeVolumeSlider(QWidget* parent, const ControlTemplate&, std::function<void(int)> moved) {
    auto* slider = new CVolumeSlider(parent);
    QObject::connect(slider, &CVolumeSlider::commandSent, slider,
                     [moved = std::move(moved)](int, int position) { moved(position); });
    return slider;
}

QWidget* MakeLinkLabel(QWidget* parent, const ControlTemplate& control) {
    auto* link = new CLinkLabel(QString::fromUtf8(control.text), QString(), parent);
    link->setAlignment(Qt::AlignCenter);
    return link;
}

void SetUpLinkLabel(QWidget* link, const QString& text, const QString& target,
                    MessageBoxFn messageBox) {
    auto* label = static_cast<CLinkLabel*>(link);
    label->setText(text);
    label->SetTarget(target);
    label->SetMessageBox(std::move(messageBox));
}

QString LinkTarget(const QWidget* link) {
    return static_cast<const CLinkLabel*>(link)->Target();
}

QWidget* MakePicture(QWidget* parent, const ControlTemplate&) {
    return new OwnPicture(parent);
}

bool LoadPicture(QWidget* picture, const QString& path, MessageBoxFn messageBox) {
    auto* own = static_cast<OwnPicture*>(picture);
    own->picture.SetMessageBox(std::move(messageBox));
    const bool loaded = own->picture.Load(path);
    own->SetPicture(&own->picture);
    return loaded;
}

bool PictureLoaded(const QWidget* picture) {
    return static_cast<const OwnPicture*>(picture)->picture.HasPicture();
}

void ShowAboutWindow(QWidget* parent) {
    CAboutDialog about(parent);
    about.exec();
}

QIcon ProgramIcon() {
    return art::WindowIcon();
}

}  // namespace fogbell::window
