// CUpdateCheck: the About window's update check. It fetches the version text of the newest
// release, or downloads the release archive, from the update server over HTTP (Qt Network, no
// cache), and reports each step through its signals; the About window shows them.
//
// Requests run on the thread that owns the object (the window thread), one at a time. The
// archive is written to a temporary file in the destination folder and renamed over
// fogbell.zip only when complete.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QSaveFile;

namespace fogbell {

class CUpdateCheck : public QObject {
    Q_OBJECT

  public:
    // `updateHost` (host or host:port) overrides $FOGBELL_UPDATE_HOST, which overrides the
    // default host. `programDir` defaults to the running program's folder.
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
    QUrl VersionUrl() const;
    QUrl ArchiveUrl() const;
    // Where the last download went (or was to go).
    QString Destination() const { return destination_; }
    // The folder used when "Update" beside the program cannot be written (default: "Update" in
    // the user's data folder).
    void SetFallbackDirectory(const QString& dir) { fallbackDir_ = dir; }

    static constexpr const char* kDefaultUpdateHost = "fogbell.example";
    static constexpr const char* kHostVariable = "FOGBELL_UPDATE_HOST";
    static constexpr const char* kVersionPath = "/update/fogbell.txt";
    static constexpr const char* kArchivePath = "/downloads/fogbell.zip";
    static constexpr const char* kArchiveName = "fogbell.zip";
    static constexpr const char* kWebPageMark = "<!DOCTYPE HTML";
    static constexpr int kPieceSize = 260;
    static constexpr int kTransferTimeoutMs = 30000;

  signals:
    // A step of the request: "Connect...", "Loading...".
    void statusChanged(const QString& status);
    // The answer's announced length (0 when unknown), once its headers came: progress starts.
    void progressStarted(int maximum);
    // Bytes of the archive written so far.
    void progressChanged(int value);
    // The first line of the version text ("Missing file version" for a web page instead).
    void versionRead(const QString& version);
    // The request has ended with this status; archivePlaced when a complete archive now lies at
    // Destination().
    void finished(const QString& status, bool archivePlaced);

  private:
    QString ChooseDestinationFolder() const;
    void OnHeaders();
    void OnData();
    void OnReplyFinished();
    bool TakePieces(bool final);
    void FinishCheck();
    void FinishDownload();
    // Ends the request: the reply and the session go, then finished is emitted.
    void Finish(const QString& status, bool archivePlaced = false);

    QString updateHost_;
    QString programDir_;
    QString fallbackDir_;
    QString destination_;
    bool checkOnly_ = false;
    bool headersSeen_ = false;
    std::int64_t total_ = 0;
    QByteArray pending_;

    QNetworkAccessManager* session_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    std::unique_ptr<QSaveFile> archive_;
};

}  // namespace fogbell
