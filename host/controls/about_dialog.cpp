#include "host/controls/about_dialog.h"

#include "host/controls/art.h"
#include "host/controls/image_button.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QProgressBar>
#include <QSaveFile>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace fogbell {

namespace {

// A version text is one short line; a longer answer is cut here rather than held whole.
constexpr qsizetype kMaxVersionBytes = 64 * 1024;

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

// Errors of the connection itself, as opposed to an HTTP status, whose page is read as content.
bool IsTransportError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= QNetworkReply::ConnectionRefusedError &&
            code < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolUnknownError ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           error == QNetworkReply::ProtocolFailure;
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

    updateHost_ = updateHost;
    if (updateHost_.isEmpty()) {
        updateHost_ = qEnvironmentVariable(kHostVariable);
    }
    if (updateHost_.isEmpty()) {
        updateHost_ = QString::fromLatin1(kDefaultUpdateHost);
    }
    programDir_ = programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir;
    fallbackDir_ = QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
                       .filePath(QStringLiteral("Update"));

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
    version_ = new QLabel(QStringLiteral("Version 1.1"), this);
    SetControlId(version_, kVersionId);
    version_->setText(QStringLiteral("Version 1.7"));

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
}

CAboutDialog::~CAboutDialog() {
    Abort();
}

QUrl CAboutDialog::VersionUrl() const {
    return QUrl(QStringLiteral("http://") + updateHost_ + QLatin1String(kVersionPath));
}

QUrl CAboutDialog::ArchiveUrl() const {
    return QUrl(QStringLiteral("http://") + updateHost_ + QLatin1String(kArchivePath));
}

QString CAboutDialog::StatusText() const {
    return status_->text();
}

QString CAboutDialog::ServerVersionText() const {
    return serverVersion_->text();
}

void CAboutDialog::SetStatus(const QString& text) {
    status_->setText(text);
}

void CAboutDialog::OnLoadFromServer() {
    StartUpdate(false);
}

void CAboutDialog::OnCheckServerVersion() {
    StartUpdate(true);
}

// "Update" beside the program when it can be created and written, else the fallback folder.
QString CAboutDialog::ChooseDestinationFolder() const {
    const QString beside = QDir(programDir_).filePath(QStringLiteral("Update"));
    if (QDir().mkpath(beside) && QFileInfo(beside).isWritable()) {
        return beside;
    }
    QDir().mkpath(fallbackDir_);
    return fallbackDir_;
}

void CAboutDialog::StartUpdate(bool checkOnly) {
    if (reply_ != nullptr) {
        return;  // one request at a time
    }
    checkOnly_ = checkOnly;
    headersSeen_ = false;
    total_ = 0;
    pending_.clear();
    archive_.reset();
    destination_ = QDir(ChooseDestinationFolder()).filePath(QLatin1String(kArchiveName));

    SetStatus(QStringLiteral("Connect..."));
    ok_->setEnabled(false);
    load_->setEnabled(false);
    check_->setEnabled(false);

    const QUrl url = checkOnly ? VersionUrl() : ArchiveUrl();
    session_ = new QNetworkAccessManager(this);
    session_->setCache(nullptr);
    if (!session_->supportedSchemes().contains(QStringLiteral("http"))) {
        Finish(QStringLiteral("Can't create session"));
        return;
    }
    if (!url.isValid() || url.host().isEmpty()) {
        Finish(QStringLiteral("Error open file..."));
        return;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(kTransferTimeoutMs);
    reply_ = session_->get(request);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &CAboutDialog::OnHeaders);
    connect(reply_, &QIODevice::readyRead, this, &CAboutDialog::OnData);
    connect(reply_, &QNetworkReply::finished, this, &CAboutDialog::OnReplyFinished);
}

// The server answered: report loading, size the progress bar and, for a download, open the
// temporary file beside the destination.
void CAboutDialog::OnHeaders() {
    if (headersSeen_ || reply_ == nullptr) {
        return;
    }
    if (!reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        return;  // no answer yet (an error without a response is handled at the end)
    }
    headersSeen_ = true;
    SetStatus(QStringLiteral("Loading..."));
    const qint64 length = reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    progress_->setRange(
        0, static_cast<int>(std::clamp<qint64>(length, 0, std::numeric_limits<int>::max())));
    progress_->setValue(0);
    if (!checkOnly_) {
        archive_ = std::make_unique<QSaveFile>(destination_);
        if (!archive_->open(QIODevice::WriteOnly)) {
            archive_.reset();
            Finish(QStringLiteral("Can't create file..."));
        }
    }
}

void CAboutDialog::OnData() {
    OnHeaders();
    if (reply_ == nullptr || !headersSeen_) {
        return;
    }
    if (checkOnly_) {
        pending_ += reply_->readAll();
        // One line is all the check needs.
        if (pending_.contains('\n') || pending_.size() >= kMaxVersionBytes) {
            FinishCheck();
        }
        return;
    }
    pending_ += reply_->readAll();
    TakePieces(false);
}

// Writes the buffered bytes in pieces of kPieceSize (and, at the end, the short rest). A piece
// that opens with a web page's doctype means the server sent an error page: the download is
// abandoned. False when the request has ended.
bool CAboutDialog::TakePieces(bool final) {
    qsizetype offset = 0;
    while (pending_.size() - offset >= kPieceSize || (final && offset < pending_.size())) {
        const qsizetype n = std::min<qsizetype>(kPieceSize, pending_.size() - offset);
        const QByteArray piece = pending_.mid(offset, n);
        offset += n;
        if (piece.startsWith(kWebPageMark)) {
            pending_.clear();
            Finish(QStringLiteral("Missing file..."));
            return false;
        }
        total_ += n;
        progress_->setValue(
            static_cast<int>(std::min<std::int64_t>(total_, std::numeric_limits<int>::max())));
        if (archive_->write(piece) != n) {
            const QString why = archive_->errorString();
            pending_.clear();
            Finish(why);
            return false;
        }
    }
    pending_.remove(0, offset);
    return true;
}

void CAboutDialog::FinishCheck() {
    const qsizetype end = pending_.indexOf('\n');
    QByteArray line = end >= 0 ? pending_.left(end) : pending_;
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    const bool noLine = pending_.isEmpty();
    pending_.clear();
    if (noLine) {
        Finish(QStringLiteral("Can't read..."));
        return;
    }
    if (line.contains(kWebPageMark)) {
        serverVersion_->setText(QStringLiteral("Missing file version"));
        Finish(QStringLiteral("Checking Error."));
        return;
    }
    serverVersion_->setText(QString::fromUtf8(line));
    Finish(QStringLiteral("Checking OK."));
}

void CAboutDialog::FinishDownload() {
    if (!TakePieces(true)) {
        return;
    }
    // Only a complete archive replaces the old one.
    if (!archive_->commit()) {
        const QString why = archive_->errorString();
        Finish(why.isEmpty() ? QStringLiteral("Can't create file...") : why);
        return;
    }
    archive_.reset();
    const QString placed = QDir::toNativeSeparators(destination_);
    Finish(QStringLiteral("Updating OK"));
    if (messageBox_) {
        messageBox_(this, QMessageBox::Information, QStringLiteral("New file placed on:"), placed);
    } else {
        ShowMessageBox(this, QMessageBox::Information, QStringLiteral("New file placed on:"),
                       placed);
    }
}

void CAboutDialog::OnReplyFinished() {
    if (reply_ == nullptr) {
        return;
    }
    OnHeaders();
    if (reply_ == nullptr) {
        return;  // the archive could not be created
    }
    if (!headersSeen_) {
        // No answer from the server at all: the network's own message.
        const QString why = reply_->errorString();
        Finish(why.isEmpty() ? QStringLiteral("Error open file...") : why);
        return;
    }
    pending_ += reply_->readAll();
    if (IsTransportError(reply_->error())) {
        // The connection broke after the answer began.
        const QString why = reply_->errorString();
        pending_.clear();
        Finish(why);
        return;
    }
    if (checkOnly_) {
        FinishCheck();
    } else {
        FinishDownload();
    }
}

// Ends the request: the reply and the session go, the buttons come back, the status is set.
void CAboutDialog::Finish(const QString& status) {
    if (reply_ != nullptr) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
    if (session_ != nullptr) {
        session_->deleteLater();
        session_ = nullptr;
    }
    archive_.reset();  // an uncommitted temporary file is removed
    SetStatus(status);
    ok_->setEnabled(true);
    load_->setEnabled(true);
    check_->setEnabled(true);
    emit updateFinished();
}

// Stops a running request without a status (the window is closing).
void CAboutDialog::Abort() {
    if (reply_ != nullptr) {
        reply_->disconnect(this);
        reply_->abort();
        delete reply_;
        reply_ = nullptr;
    }
    delete session_;
    session_ = nullptr;
    archive_.reset();
}

void CAboutDialog::done(int result) {
    if (reply_ != nullptr) {
        Abort();
        ok_->setEnabled(true);
        load_->setEnabled(true);
        check_->setEnabled(true);
    }
    QDialog::done(result);
}

}  // namespace fogbell
