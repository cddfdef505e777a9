// CAboutDialog: the About window. It shows the program's name and version and, in its "Update"
// group, fetches the version text of the newest release or downloads the release archive from
// the update server, reporting each step in its status label and progress bar.
//
// Requests run on the window thread through Qt Network (no cache). Only one request runs at a
// time: both update buttons and OK are disabled while it does, and closing the window aborts it
// first, so nothing outlives the window. The archive is written to a temporary file in the
// destination folder and renamed over fogbell.zip only when complete.
#pragma once

#include "host/controls/control_support.h"

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QSaveFile;

namespace fogbell {

class CImageButton;

class CAboutDialog : public QDialog {
    Q_OBJECT

  public:
    // `updateHost` (host or host:port) overrides $FOGBELL_UPDATE_HOST, which overrides the
    // default host. `programDir` defaults to the running program's folder.
    explicit CAboutDialog(QWidget* parent = nullptr, const QString& updateHost = QString(),
                          const QString& programDir = QString());
    ~CAboutDialog() override;

    // Button 1053: download the release archive. Button 1056: fetch the version text.
    // Ignored while a request runs.
    void OnLoadFromServer();
    void OnCheckServerVersion();

    bool IsUpdateRunning() const { return reply_ != nullptr; }
    QString UpdateHost() const { return updateHost_; }
    QUrl VersionUrl() const;
    QUrl ArchiveUrl() const;
    QString StatusText() const;
    QString ServerVersionText() const;
    // Where the last download went (or was to go).
    QString Destination() const { return destination_; }

    // The folder used when "Update" beside the program cannot be written (default: "Update" in
    // the user's data folder).
    void SetFallbackDirectory(const QString& dir) { fallbackDir_ = dir; }
    void SetMessageBox(MessageBoxFn messageBox) { messageBox_ = std::move(messageBox); }

    static constexpr const char* kDefaultUpdateHost = "fogbell.example";
    static constexpr const char* kHostVariable = "FOGBELL_UPDATE_HOST";
    static constexpr const char* kVersionPath = "/update/fogbell.txt";
    static constexpr const char* kArchivePath = "/downloads/fogbell.zip";
    static constexpr const char* kArchiveName = "fogbell.zip";
    static constexpr const char* kWebPageMark = "<!DOCTYPE HTML";
    static constexpr int kPieceSize = 260;
    static constexpr int kTransferTimeoutMs = 30000;

    // Control ids.
    static constexpr int kTitleId = 1013;
    static constexpr int kVersionId = 1014;
    static constexpr int kLoadId = 1053;
    static constexpr int kProgressId = 1054;
    static constexpr int kStatusId = 1055;
    static constexpr int kCheckId = 1056;
    static constexpr int kServerVersionId = 1057;
    static constexpr int kOkId = 1;

  signals:
    // Emitted when a request has ended, whatever its outcome, after the status is set.
    void updateFinished();

  public slots:
    void done(int result) override;

  private:
    void StartUpdate(bool checkOnly);
    QString ChooseDestinationFolder() const;
    void OnHeaders();
    void OnData();
    void OnReplyFinished();
    bool TakePieces(bool final);
    void FinishCheck();
    void FinishDownload();
    void Finish(const QString& status);
    void Abort();
    void SetStatus(const QString& text);

    QString updateHost_;
    QString programDir_;
    QString fallbackDir_;
    QString destination_;
    bool checkOnly_ = false;
    bool headersSeen_ = false;
    std::int64_t total_ = 0;
    QByteArray pending_;
    MessageBoxFn messageBox_;

    QNetworkAccessManager* session_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    std::unique_ptr<QSaveFile> archive_;

    QLabel* title_ = nullptr;
    QLabel* version_ = nullptr;
    CImageButton* load_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    CImageButton* check_ = nullptr;
    QLabel* serverVersion_ = nullptr;
    CImageButton* ok_ = nullptr;
};

}  // namespace fogbell
