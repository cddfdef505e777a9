#include "host/controls/update_check.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <limits>

namespace fogbell {

namespace {

// A version text is one short line; a longer answer is cut here rather than held whole.
constexpr qsizetype kMaxVersionBytes = 64 * 1024;

// Errors of the connection itself, as opposed to an HTTP status, whose page is read as content.
bool IsTransportError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= QNetworkReply::ConnectionRefusedError &&
            code < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolUnknownError ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           error == QNetworkReply::ProtocolFailure;
}

}  // namespace

CUpdateCheck::CUpdateCheck(QObject* parent, const QString& updateHost, const QString& programDir)
    : QObject(parent) {
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
}

CUpdateCheck::~CUpdateCheck() {
    Abort();
}

QUrl CUpdateCheck::VersionUrl() const {
    return QUrl(QStringLiteral("http://") + updateHost_ + QLatin1String(kVersionPath));
}

QUrl CUpdateCheck::ArchiveUrl() const {
    return QUrl(QStringLiteral("http://") + updateHost_ + QLatin1String(kArchivePath));
}

// "Update" beside the program when it can be created and written, else the fallback folder.
QString CUpdateCheck::ChooseDestinationFolder() const {
    const QString beside = QDir(programDir_).filePath(QStringLiteral("Update"));
    if (QDir().mkpath(beside) && QFileInfo(beside).isWritable()) {
        return beside;
    }
    QDir().mkpath(fallbackDir_);
    return fallbackDir_;
}

bool CUpdateCheck::Start(bool checkOnly) {
    if (reply_ != nullptr) {
        return false;  // one request at a time
    }
    checkOnly_ = checkOnly;
    headersSeen_ = false;
    total_ = 0;
    pending_.clear();
    archive_.reset();
    destination_.clear();  // chosen (and its folder made) only when the server answers

    emit statusChanged(QStringLiteral("Connect..."));

    const QUrl url = checkOnly ? VersionUrl() : ArchiveUrl();
    session_ = new QNetworkAccessManager(this);
    session_->setCache(nullptr);
    if (!session_->supportedSchemes().contains(QStringLiteral("http"))) {
        Finish(QStringLiteral("Can't create session"));
        return true;
    }
    if (!url.isValid() || url.host().isEmpty()) {
        Finish(QStringLiteral("Error open file..."));
        return true;
    }
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(kTransferTimeoutMs);
    reply_ = session_->get(request);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &CUpdateCheck::OnHeaders);
    connect(reply_, &QIODevice::readyRead, this, &CUpdateCheck::OnData);
    connect(reply_, &QNetworkReply::finished, this, &CUpdateCheck::OnReplyFinished);
    return true;
}

// The server answered: report loading, size the progress bar and, for a download, open the
// temporary file beside the destination.
void CUpdateCheck::OnHeaders() {
    if (headersSeen_ || reply_ == nullptr) {
        return;
    }
    if (!reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        return;  // no answer yet (an error without a response is handled at the end)
    }
    headersSeen_ = true;
    emit statusChanged(QStringLiteral("Loading..."));
    const qint64 length = reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    emit progressStarted(
        static_cast<int>(std::clamp<qint64>(length, 0, std::numeric_limits<int>::max())));
    if (!checkOnly_) {
        destination_ = QDir(ChooseDestinationFolder()).filePath(QLatin1String(kArchiveName));
        archive_ = std::make_unique<QSaveFile>(destination_);
        if (!archive_->open(QIODevice::WriteOnly)) {
            archive_.reset();
            Finish(QStringLiteral("Can't create file..."));
        }
    }
}

void CUpdateCheck::OnData() {
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
bool CUpdateCheck::TakePieces(bool final) {
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
        emit progressChanged(
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

void CUpdateCheck::FinishCheck() {
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
        emit versionRead(QStringLiteral("Missing file version"));
        Finish(QStringLiteral("Checking Error."));
        return;
    }
    emit versionRead(QString::fromUtf8(line));
    Finish(QStringLiteral("Checking OK."));
}

void CUpdateCheck::FinishDownload() {
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
    Finish(QStringLiteral("Updating OK"), true);
}

void CUpdateCheck::OnReplyFinished() {
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

// Ends the request: the reply and the session go, then the end is reported.
void CUpdateCheck::Finish(const QString& status, bool archivePlaced) {
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
    emit finished(status, archivePlaced);
}

void CUpdateCheck::Abort() {
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

}  // namespace fogbell
