#include "host/controls/about_dialog.h"

#include "host/controls/art.h"
#include "host/controls/image_button.h"

#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QVBoxLayout>

#include "fogbell_version.h"

namespace fogbell {

namespace {

CImageButton* MakeFlatButton(const QString& caption, const QString& tooltip, int id,
                             QWidget* parent) {
    auto* button = new CImageButton(caption, CImageButton::Kind::kPushButton, parent);
    SetControlId(button, id);
    button->SetFlat(true);
    if (!tooltip.isEmpty()) {
        button->SetBalloonTooltip();
        button->SetTooltipText(tooltip, true);
        button->ActivateTooltip(true);
    }
    return button;
}

QLabel* MakeIcon(const QImage& image, int size, QWidget* parent) {
    auto* label = new QLabel(parent);
    if (!image.isNull()) {
        label->setPixmap(QPixmap::fromImage(
            image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    label->setFixedSize(size, size);
    return label;
}

// The About bitmap on its black key, with the key made transparent for a plain label.
QImage KeyedBitmap(int id) {
    QImage image = art::Bitmap(id).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = art::BitmapKey(id).rgb() & 0xFFFFFFu;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0xFFFFFFu) == key) {
                line[x] = 0;
            }
        }
    }
    return image;
}

}  // namespace

CAboutDialog::CAboutDialog(QWidget* parent, const QString& updateHost, const QString& programDir)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Fogbell"));
    setWindowIcon(art::WindowIcon());
    setModal(true);

    update_ = new CUpdateCheck(this, updateHost, programDir);

    // Icons on the left: the program, the speaker and the About bitmap.
    auto* icons = new QVBoxLayout;
    icons->addWidget(MakeIcon(art::IconImage(128), 48, this));
    icons->addWidget(MakeIcon(art::IconImage(145), 32, this), 0, Qt::AlignHCenter);
    icons->addWidget(MakeIcon(KeyedBitmap(129), 20, this), 0, Qt::AlignHCenter);
    icons->addStretch();

    title_ = new QLabel(QStringLiteral("Mistvale's Sound Explorer"), this);
    SetControlId(title_, kTitleId);
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    title_->setFont(titleFont);
    version_ = new QLabel(QStringLiteral("Version 1.1"), this);  // the template's text
    SetControlId(version_, kVersionId);
    version_->setText(QStringLiteral("Version " FOGBELL_VERSION));

    auto* group = new QGroupBox(QStringLiteral("Update"), this);
    load_ = MakeFlatButton(QStringLiteral("Load from server"),
                           QStringLiteral("Load last version from server."), kLoadId, group);
    progress_ = new QProgressBar(group);
    SetControlId(progress_, kProgressId);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    status_ = new QLabel(QStringLiteral("Status"), group);
    SetControlId(status_, kStatusId);
    status_->setFrameShape(QFrame::StyledPanel);
    status_->setFrameShadow(QFrame::Sunken);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    status_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    check_ = MakeFlatButton(QStringLiteral("Check server version"),
                            QStringLiteral("Check last server version."), kCheckId, group);
    serverVersion_ = new QLabel(QStringLiteral("Version on server"), group);
    SetControlId(serverVersion_, kServerVersionId);
    serverVersion_->setFrameShape(QFrame::StyledPanel);
    serverVersion_->setFrameShadow(QFrame::Sunken);
    serverVersion_->setTextFormat(Qt::PlainText);

    auto* grid = new QGridLayout(group);
    grid->addWidget(load_, 0, 0);
    grid->addWidget(progress_, 0, 1);
    grid->addWidget(status_, 1, 0, 1, 2);
    grid->addWidget(check_, 2, 0);
    grid->addWidget(serverVersion_, 2, 1);
    grid->setColumnStretch(1, 1);
    for (CImageButton* button : {load_, check_}) {
        button->setMinimumSize(130, 24);
    }

    ok_ = MakeFlatButton(QStringLiteral("OK"), QString(), kOkId, this);
    ok_->setDefault(true);
    ok_->setMinimumSize(80, 24);

    auto* right = new QVBoxLayout;
    right->addWidget(title_);
    right->addWidget(version_);
    right->addSpacing(6);
    right->addWidget(group);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    right->addLayout(buttons);

    auto* top = new QHBoxLayout(this);
    top->addLayout(icons);
    top->addLayout(right, 1);
    setMinimumWidth(380);

    connect(load_, &QAbstractButton::clicked, this, &CAboutDialog::OnLoadFromServer);
    connect(check_, &QAbstractButton::clicked, this, &CAboutDialog::OnCheckServerVersion);
    connect(ok_, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(update_, &CUpdateCheck::statusChanged, this, &CAboutDialog::SetStatus);
    connect(update_, &CUpdateCheck::progressStarted, this, [this](int maximum) {
        progress_->setRange(0, maximum);
        progress_->setValue(0);
    });
    connect(update_, &CUpdateCheck::progressChanged, progress_, &QProgressBar::setValue);
    connect(update_, &CUpdateCheck::versionRead, serverVersion_, &QLabel::setText);
    connect(update_, &CUpdateCheck::finished, this, &CAboutDialog::OnUpdateFinished);
}

CAboutDialog::~CAboutDialog() {
    update_->Abort();
}

QString CAboutDialog::StatusText() const {
    return status_->text();
}

QString CAboutDialog::ServerVersionText() const {
    return serverVersion_->text();
}

void CAboutDialog::SetStatus(const QString& text) {
    status_->setText(text);
    // A long text (a refusal, the network's message) wraps: the window grows taller by the
    // lines it lacks, which go to the label (the one item that expands), and keeps its width.
    const int missing = status_->heightForWidth(status_->width()) - status_->height();
    if (isVisible() && missing > 0) {
        resize(width(), height() + missing);
    }
}

void CAboutDialog::OnLoadFromServer() {
    StartUpdate(false);
}

void CAboutDialog::OnCheckServerVersion() {
    StartUpdate(true);
}

void CAboutDialog::EnableButtons(bool enabled) {
    ok_->setEnabled(enabled);
    load_->setEnabled(enabled);
    check_->setEnabled(enabled);
}

void CAboutDialog::StartUpdate(bool checkOnly) {
    if (update_->IsRunning()) {
        return;  // one request at a time
    }
    EnableButtons(false);
    update_->Start(checkOnly);
}

void CAboutDialog::OnUpdateFinished(const QString& status, bool archivePlaced) {
    SetStatus(status);
    EnableButtons(true);
    emit updateFinished();
    if (!archivePlaced) {
        return;
    }
    const QString placed = QDir::toNativeSeparators(update_->Destination());
    if (messageBox_) {
        messageBox_(this, QMessageBox::Information, QStringLiteral("New file placed on:"), placed);
    } else {
        ShowMessageBox(this, QMessageBox::Information, QStringLiteral("New file placed on:"),
                       placed);
    }
}

void CAboutDialog::done(int result) {
    if (update_->IsRunning()) {
        update_->Abort();
        EnableButtons(true);
    }
    QDialog::done(result);
}

}  // namespace fogbell
