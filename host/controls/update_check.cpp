#include "host/controls/update_check.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStandardPaths>

#include <algorithm>
#include <limits>

namespace fogbell {

namespace {

// A version text is a few short lines; a longer answer is cut here rather than held whole.
constexpr qsizetype kMaxVersionBytes = 64 * 1024;
// How much of an answer Qt may hold before the pieces are taken: a fast server cannot fill
// memory ahead of the checks.
constexpr qint64 kReadBufferBytes = 256 * 1024;
constexpr qsizetype kSha256HexDigits = 64;
// Enough digits for kMaxArchiveBytes; a longer count is too large whatever it says.
constexpr qsizetype kMaxSizeDigits = 18;

// Errors of the connection itself, as opposed to an HTTP status, whose page is read as content.
bool IsTransportError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= QNetworkReply::ConnectionRefusedError &&
            code < QNetworkReply::ContentAccessDenied) ||
           error == QNetworkReply::ProtocolUnknownError ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           error == QNetworkReply::ProtocolFailure;
}

// The server's address from the configured host: "host[:port]" means HTTPS, and an explicit
// "https://" or "http://" is kept, so plain HTTP is only ever named on purpose. Invalid when the
// text holds more than a host and port (a path, user information, another scheme, blanks).
QUrl ServerUrl(const QString& configured) {
    QString scheme = QStringLiteral("https");
    QString authority = configured;
    const qsizetype separator = configured.indexOf(QLatin1String("://"));
    if (separator >= 0) {
        scheme = configured.left(separator).toLower();
        authority = configured.mid(separator + 3);
    }
    if (authority.endsWith(QLatin1Char('/'))) {
        authority.chop(1);
    }
    if ((scheme != QLatin1String("https") && scheme != QLatin1String("http")) ||
        authority.contains(QLatin1Char('/')) || authority.contains(QLatin1Char('@'))) {
        return QUrl();
    }
    QUrl url;
    url.setScheme(scheme);
    url.setAuthority(authority, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return QUrl();
    }
    return url;
}

QUrl WithPath(QUrl server, const char* path) {
    if (server.isValid()) {
        server.setPath(QLatin1String(path));
    }
    return server;
}

// One "key=value" line's value when its key is `key` (in any case); null otherwise.
QByteArray ValueOf(const QByteArray& line, const char* key) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0 || line.left(equals).trimmed().toLower() != key) {
        return QByteArray();
    }
    QByteArray value = line.mid(equals + 1).trimmed();
    return value.isNull() ? QByteArray("") : value;  // present but empty stays non-null
}

bool AllOf(const QByteArray& text, bool (*accept)(char)) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), accept);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// Keeps the first value of a key; a second, different value makes the text ambiguous.
bool Remember(QByteArray* kept, const QByteArray& value) {
    if (!kept->isNull() && *kept != value) {
        return false;
    }
    *kept = value;
    return true;
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
    return WithPath(ServerUrl(updateHost_), kVersionPath);
}

QUrl CUpdateCheck::ArchiveUrl() const {
    return WithPath(ServerUrl(updateHost_), kArchivePath);
}

CUpdateCheck::Published CUpdateCheck::ReadPublishedArchive(const QByteArray& text,
                                                           PublishedArchive* archive) {
    QByteArray hex;
    QByteArray size;
    const QList<QByteArray> lines = text.split('\n');
    // The first line is the version itself, whatever it says.
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const QByteArray hexValue = ValueOf(line, "sha256");
        const QByteArray sizeValue = ValueOf(line, "size");
        if ((!hexValue.isNull() && !Remember(&hex, hexValue.toLower())) ||
            (!sizeValue.isNull() && !Remember(&size, sizeValue))) {
            return Published::kMissing;
        }
    }
    if (hex.size() != kSha256HexDigits || !AllOf(hex, IsHexDigit) || !AllOf(size, IsDecimalDigit)) {
        return Published::kMissing;
    }
    const std::int64_t bytes = size.size() <= kMaxSizeDigits ? size.toLongLong() : -1;
    if (bytes < 0 || bytes > kMaxArchiveBytes) {
        return Published::kTooLarge;
    }
    archive->sha256 = QByteArray::fromHex(hex);
    archive->size = bytes;
    return Published::kFound;
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
    archive_.reset();
    destination_.clear();  // chosen (and its folder made) only when the archive comes

    emit statusChanged(QStringLiteral("Connect..."));

    // A download reads the archive's checksum and size from the version text first.
    const QUrl url = VersionUrl();
    session_ = new QNetworkAccessManager(this);
    session_->setCache(nullptr);
    // Without a TLS back end (or its library) Qt offers no "https".
    const QString scheme = url.isValid() ? url.scheme() : QStringLiteral("https");
    if (!session_->supportedSchemes().contains(scheme)) {
        Finish(QStringLiteral("Can't create session"));
        return true;
    }
    if (!url.isValid()) {
        Finish(QStringLiteral("Error open file..."));
        return true;
    }
    Request(url, checkOnly ? Stage::kVersion : Stage::kPublished);
    return true;
}

void CUpdateCheck::Request(const QUrl& url, Stage stage) {
    stage_ = stage;
    headersSeen_ = false;
    total_ = 0;
    pending_.clear();
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A redirect may move within the configured server, never to another host or scheme.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setTransferTimeout(kTransferTimeoutMs);
    if (url.scheme() == QLatin1String("https")) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        tls.addCaCertificates(extraCaCertificates_);
        request.setSslConfiguration(tls);
    }
    reply_ = session_->get(request);
    reply_->setReadBufferSize(kReadBufferBytes);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &CUpdateCheck::OnHeaders);
    connect(reply_, &QIODevice::readyRead, this, &CUpdateCheck::OnData);
    connect(reply_, &QNetworkReply::finished, this, &CUpdateCheck::OnReplyFinished);
}

// The server answered: report loading and size the progress bar for the version text to show
// or the archive, and for the archive open the temporary file beside the destination.
void CUpdateCheck::OnHeaders() {
    if (headersSeen_ || reply_ == nullptr) {
        return;
    }
    if (!reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        return;  // no answer yet (an error without a response is handled at the end)
    }
    headersSeen_ = true;
    if (stage_ == Stage::kPublished) {
        return;  // read quietly: the download's steps begin with the archive
    }
    emit statusChanged(QStringLiteral("Loading..."));
    const qint64 length = stage_ == Stage::kArchive
                              ? published_.size
                              : reply_->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    emit progressStarted(
        static_cast<int>(std::clamp<qint64>(length, 0, std::numeric_limits<int>::max())));
    if (stage_ == Stage::kArchive) {
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
    pending_ += reply_->readAll();  // at most kReadBufferBytes wait in the reply
    switch (stage_) {
        case Stage::kVersion:
            // One line is all the check needs.
            if (pending_.contains('\n') || pending_.size() >= kMaxVersionBytes) {
                FinishCheck();
            }
            return;
        case Stage::kPublished:
            if (pending_.size() >= kMaxVersionBytes) {
                FetchPublishedArchive();
            }
            return;
        case Stage::kArchive:
            TakePieces(false);
            return;
    }
}

// Writes the buffered bytes in pieces of kPieceSize (and, at the end, the short rest), hashing
// them. A piece that opens with a web page's doctype means the server sent an error page, and
// a piece past the published size means the archive is not the one published: either ends the
// download. False when the request has ended.
bool CUpdateCheck::TakePieces(bool final) {
    qsizetype offset = 0;
    while (pending_.size() - offset >= kPieceSize || (final && offset < pending_.size())) {
        const qsizetype n = std::min<qsizetype>(kPieceSize, pending_.size() - offset);
        const QByteArrayView piece(pending_.constData() + offset, n);
        offset += n;
        if (piece.startsWith(kWebPageMark)) {
            pending_.clear();
            Finish(QStringLiteral("Missing file..."));
            return false;
        }
        if (n > published_.size - total_) {
            pending_.clear();
            Finish(QLatin1String(kSizeMismatchText));
            return false;
        }
        total_ += n;
        digest_.addData(piece);
        emit progressChanged(
            static_cast<int>(std::min<std::int64_t>(total_, std::numeric_limits<int>::max())));
        if (archive_->write(piece.data(), n) != n) {
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

void CUpdateCheck::FetchPublishedArchive() {
    const QByteArray text = pending_.left(kMaxVersionBytes);
    pending_.clear();
    switch (ReadPublishedArchive(text, &published_)) {
        case Published::kMissing:
            Finish(QLatin1String(kNoChecksumText));
            return;
        case Published::kTooLarge:
            Finish(QLatin1String(kTooLargeText));
            return;
        case Published::kFound:
            break;
    }
    DropReply();
    digest_.reset();
    Request(ArchiveUrl(), Stage::kArchive);
}

void CUpdateCheck::FinishDownload() {
    if (!TakePieces(true)) {
        return;
    }
    if (total_ != published_.size) {
        Finish(QLatin1String(kSizeMismatchText));
        return;
    }
    if (digest_.result() != published_.sha256) {
        Finish(QLatin1String(kChecksumMismatchText));
        return;
    }
    // Only the published archive, complete, replaces the old one.
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
        // No answer from the server at all (refused, unreachable, a certificate not trusted):
        // the network's own message.
        const QString why = reply_->errorString();
        Finish(why.isEmpty() ? QStringLiteral("Error open file...") : why);
        return;
    }
    pending_ += reply_->readAll();
    if (IsTransportError(reply_->error())) {
        // The connection broke after the answer began.
        const QString why = reply_->errorString();
        pending_.clear();
        Finish(archive_ != nullptr ? why + QLatin1String(kCutSuffix) : why);
        return;
    }
    switch (stage_) {
        case Stage::kVersion:
            FinishCheck();
            return;
        case Stage::kPublished:
            FetchPublishedArchive();
            return;
        case Stage::kArchive:
            FinishDownload();
            return;
    }
}

// Lets go of the current reply without hearing from it again.
void CUpdateCheck::DropReply() {
    if (reply_ != nullptr) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
        reply_ = nullptr;
    }
}

// Ends the request: the reply and the session go, then the end is reported.
void CUpdateCheck::Finish(const QString& status, bool archivePlaced) {
    DropReply();
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
