// CUpdateCheck: the About window's update check. It fetches the version text of the newest
// release, or downloads the release archive, from the update server over HTTPS (Qt Network, no
// cache), and reports each step through its signals; the About window shows them.
//
// The version text names the archive's SHA-256 and size (ReadPublishedArchive). A download
// first reads them from the version text and is refused without them; the archive is then
// written to a temporary file in the destination folder, stopped as soon as it passes the
// published size, and renamed over fogbell.zip only when its size and SHA-256 match. Anything
// else removes the temporary file.
//
// Requests run on the thread that owns the object (the window thread), one at a time.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QSaveFile;

namespace fogbell {

// What the version text publishes about the release archive.
struct PublishedArchive {
    QByteArray sha256;  // the 32 bytes of the digest
    std::int64_t size = 0;
};

class CUpdateCheck : public QObject {
    Q_OBJECT

  public:
    // `updateHost` overrides $FOGBELL_UPDATE_HOST, which overrides the default host. Either is
    // "host[:port]" (HTTPS), "https://host[:port]", or "http://host[:port]", the one way to
    // plain HTTP. `programDir` defaults to the running program's folder.
    explicit CUpdateCheck(QObject* parent = nullptr, const QString& updateHost = QString(),
                          const QString& programDir = QString());
    // Stops a running request first.
    ~CUpdateCheck() override;

    // Fetches the version text (checkOnly) or downloads the release archive. False, doing
    // nothing, while a request runs.
    bool Start(bool checkOnly);
    // Stops a running request without reporting anything (its window is closing).
    void Abort();

    bool IsRunning() const { return reply_ != nullptr; }
    QString UpdateHost() const { return updateHost_; }
    // Invalid when the configured host is not a bare host[:port] with an optional scheme.
    QUrl VersionUrl() const;
    QUrl ArchiveUrl() const;
    // Where the last download went (or was to go).
    QString Destination() const { return destination_; }
    // The folder used when "Update" beside the program cannot be written (default: "Update" in
    // the user's data folder).
    void SetFallbackDirectory(const QString& dir) { fallbackDir_ = dir; }
    // Certificates trusted besides the system's (a test server's own).
    void AddCaCertificates(const QList<QSslCertificate>& certificates) {
        extraCaCertificates_ += certificates;
    }

    enum class Published { kFound, kMissing, kTooLarge };
    // Reads the archive's digest and size from a version text. The text is lines ending in LF
    // or CR LF: the first is the version as shown to the user; among the others, "sha256=" with
    // 64 hex digits and "size=" with a decimal byte count (keys in any case, blanks around the
    // value ignored) give the archive. Other lines are notes and are skipped. kMissing when
    // either is absent, malformed or given twice with different values; kTooLarge when the
    // size passes kMaxArchiveBytes.
    static Published ReadPublishedArchive(const QByteArray& text, PublishedArchive* archive);

    static constexpr const char* kDefaultUpdateHost = "fogbell.example";
    static constexpr const char* kHostVariable = "FOGBELL_UPDATE_HOST";
    static constexpr const char* kVersionPath = "/update/fogbell.txt";
    static constexpr const char* kArchivePath = "/downloads/fogbell.zip";
    static constexpr const char* kArchiveName = "fogbell.zip";
    static constexpr const char* kWebPageMark = "<!DOCTYPE HTML";
    static constexpr int kPieceSize = 260;
    static constexpr int kTransferTimeoutMs = 30000;
    // No release archive is larger; a version text that says so is refused.
    static constexpr std::int64_t kMaxArchiveBytes = std::int64_t{256} * 1024 * 1024;

    // The texts of a refused download.
    static constexpr const char* kNoChecksumText =
        "The server's version text gives no checksum and size for the archive: nothing was "
        "downloaded.";
    static constexpr const char* kTooLargeText =
        "The server's version text gives an archive larger than 256 MiB: nothing was "
        "downloaded.";
    static constexpr const char* kSizeMismatchText =
        "The downloaded archive does not match its published size: it was removed.";
    static constexpr const char* kChecksumMismatchText =
        "The downloaded archive does not match its published checksum: it was removed.";
    // Follows the network's own message when the connection broke during the archive.
    static constexpr const char* kCutSuffix = ": the incomplete archive was removed.";

  signals:
    // A step of the request: "Connect...", "Loading...".
    void statusChanged(const QString& status);
    // The expected length (0 when unknown), once the answer's headers came: progress starts.
    void progressStarted(int maximum);
    // Bytes of the archive written so far.
    void progressChanged(int value);
    // The first line of the version text ("Missing file version" for a web page instead).
    void versionRead(const QString& version);
    // The request has ended with this status; archivePlaced when a complete archive now lies at
    // Destination().
    void finished(const QString& status, bool archivePlaced);

  private:
    // What the running request fetches: the version text to show, the version text that
    // publishes the archive a download then fetches, or the archive.
    enum class Stage { kVersion, kPublished, kArchive };

    QString ChooseDestinationFolder() const;
    // Sends a GET for `url` on the session; the reply's signals drive the stage.
    void Request(const QUrl& url, Stage stage);
    void OnHeaders();
    void OnData();
    void OnReplyFinished();
    bool TakePieces(bool final);
    void FinishCheck();
    // The version text of a download is in: fetch the archive it publishes, or refuse.
    void FetchPublishedArchive();
    void FinishDownload();
    // Ends the request: the reply and the session go, then finished is emitted.
    void Finish(const QString& status, bool archivePlaced = false);
    void DropReply();

    QString updateHost_;
    QString programDir_;
    QString fallbackDir_;
    QString destination_;
    QList<QSslCertificate> extraCaCertificates_;
    Stage stage_ = Stage::kVersion;
    bool headersSeen_ = false;
    std::int64_t total_ = 0;
    QByteArray pending_;
    PublishedArchive published_;
    QCryptographicHash digest_{QCryptographicHash::Sha256};

    QNetworkAccessManager* session_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    std::unique_ptr<QSaveFile> archive_;
};

}  // namespace fogbell
