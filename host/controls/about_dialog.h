// CAboutDialog: the About window. It shows the program's name and version and, in its "Update"
// group, runs the update check (host/controls/update_check.h): the version text of the newest
// release, or the release archive (kept only when it matches the SHA-256 and size that the
// version text publishes), with each step in its status label and progress bar.
//
// Only one request runs at a time: both update buttons and OK are disabled while it does, and
// closing the window aborts it first, so nothing outlives the window.
#pragma once

#include "host/controls/control_support.h"

#include "host/controls/update_check.h"

#include <QDialog>
#include <QString>
#include <QUrl>

class QLabel;
class QProgressBar;

namespace fogbell {

class CImageButton;

class CAboutDialog : public QDialog {
    Q_OBJECT

  public:
    // `updateHost` ("host[:port]" for HTTPS, or with an "https://" or "http://" scheme)
    // overrides $FOGBELL_UPDATE_HOST, which overrides the default host. `programDir` defaults to
    // the running program's folder.
    explicit CAboutDialog(QWidget* parent = nullptr, const QString& updateHost = QString(),
                          const QString& programDir = QString());
    ~CAboutDialog() override;

    // Button 1053: download the release archive. Button 1056: fetch the version text.
    // Ignored while a request runs.
    void OnLoadFromServer();
    void OnCheckServerVersion();

    bool IsUpdateRunning() const { return update_->IsRunning(); }
    QString UpdateHost() const { return update_->UpdateHost(); }
    QUrl VersionUrl() const { return update_->VersionUrl(); }
    QUrl ArchiveUrl() const { return update_->ArchiveUrl(); }
    QString StatusText() const;
    QString ServerVersionText() const;
    // Where the last download went (or was to go).
    QString Destination() const { return update_->Destination(); }

    // The folder used when "Update" beside the program cannot be written (default: "Update" in
    // the user's data folder).
    void SetFallbackDirectory(const QString& dir) { update_->SetFallbackDirectory(dir); }
    void SetMessageBox(MessageBoxFn messageBox) { messageBox_ = std::move(messageBox); }
    // Certificates trusted besides the system's (a test server's own).
    void AddCaCertificates(const QList<QSslCertificate>& certificates) {
        update_->AddCaCertificates(certificates);
    }

    // The size of the pieces a download is written in.
    static constexpr int kPieceSize = CUpdateCheck::kPieceSize;

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
    // The end of a request: its status, the buttons back, and where a download went.
    void OnUpdateFinished(const QString& status, bool archivePlaced);
    void EnableButtons(bool enabled);
    void SetStatus(const QString& text);

    CUpdateCheck* update_ = nullptr;
    MessageBoxFn messageBox_;

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
