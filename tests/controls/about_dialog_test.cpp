// The About window: its texts and controls, and both update actions against a local HTTP
// server: version line, web page instead of a version, archives of 0 and more bytes, a 404
// page, an unreachable host, and requests that are still running.
#include "host/controls/about_dialog.h"

#include "host/controls/image_button.h"
#include "local_http_server.h"
#include "message_recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace fogbell {
namespace {

using test::LocalHttpServer;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class AboutUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(programDir.isValid());
        ASSERT_TRUE(fallbackDir.isValid());
        ASSERT_NE(server.Port(), 0);
        dialog = std::make_unique<CAboutDialog>(nullptr, server.Host(), programDir.path());
        dialog->SetFallbackDirectory(fallbackDir.path());
        dialog->SetMessageBox(boxes.Hook());
    }
    // Runs one action and waits for its end.
    void Run(bool checkOnly) {
        QSignalSpy finished(dialog.get(), &CAboutDialog::updateFinished);
        if (checkOnly) {
            dialog->OnCheckServerVersion();
        } else {
            dialog->OnLoadFromServer();
        }
        if (finished.isEmpty()) {
            ASSERT_TRUE(finished.wait(10000)) << "no end; status " << Status().toStdString();
        }
        EXPECT_FALSE(dialog->IsUpdateRunning());
    }
    QString Status() const { return dialog->StatusText(); }
    QString Archive() const { return programDir.filePath(QStringLiteral("Update/fogbell.zip")); }
    template <typename T>
    T* Control(int id) const {
        return FindControl<T>(dialog.get(), id);
    }

    QTemporaryDir programDir;
    QTemporaryDir fallbackDir;
    LocalHttpServer server;
    test::MessageRecorder boxes;
    std::unique_ptr<CAboutDialog> dialog;
};

TEST(AboutDialogTest, TextsAndControls) {
    CAboutDialog dialog(nullptr, QStringLiteral("updates.fogbell.example"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Fogbell"));
    EXPECT_EQ(FindControl<QLabel>(&dialog, 1013)->text(),
              QStringLiteral("Mistvale's Sound Explorer"));
    EXPECT_EQ(FindControl<QLabel>(&dialog, 1014)->text(), QStringLiteral("Version 1.7"));
    EXPECT_EQ(FindControl<QLabel>(&dialog, 1055)->text(), QStringLiteral("Status"));
    EXPECT_EQ(FindControl<QLabel>(&dialog, 1057)->text(), QStringLiteral("Version on server"));
    ASSERT_NE(FindControl<QProgressBar>(&dialog, 1054), nullptr);

    struct ButtonCase {
        int id;
        const char* caption;
        const char* tooltip;
    } cases[] = {{1053, "Load from server", "Load last version from server."},
                 {1056, "Check server version", "Check last server version."},
                 {1, "OK", ""}};
    for (const ButtonCase& c : cases) {
        auto* button = FindControl<CImageButton>(&dialog, c.id);
        ASSERT_NE(button, nullptr) << c.id;
        EXPECT_EQ(button->text(), QString::fromUtf8(c.caption));
        EXPECT_TRUE(button->IsFlat());
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(c.tooltip));
        EXPECT_EQ(button->IsBalloonTooltip(), *c.tooltip != '\0');
    }
    EXPECT_TRUE(FindControl<CImageButton>(&dialog, 1)->isDefault());
    EXPECT_EQ(dialog.VersionUrl().toString(),
              QStringLiteral("http://updates.fogbell.example/update/fogbell.txt"));
    EXPECT_EQ(dialog.ArchiveUrl().toString(),
              QStringLiteral("http://updates.fogbell.example/downloads/fogbell.zip"));
}

TEST(AboutDialogTest, HostComesFromParameterThenEnvironmentThenDefault) {
    qunsetenv("FOGBELL_UPDATE_HOST");
    EXPECT_EQ(CAboutDialog().UpdateHost(), QStringLiteral("fogbell.example"));
    qputenv("FOGBELL_UPDATE_HOST", "127.0.0.1:8123");
    EXPECT_EQ(CAboutDialog().UpdateHost(), QStringLiteral("127.0.0.1:8123"));
    EXPECT_EQ(CAboutDialog(nullptr, QStringLiteral("mirror.fogbell.example")).UpdateHost(),
              QStringLiteral("mirror.fogbell.example"));
    qunsetenv("FOGBELL_UPDATE_HOST");
}

TEST_F(AboutUpdateTest, VersionLineIsShown) {
    server.Route("/update/fogbell.txt", {200, "Version 1.8 (2026-11-30)\r\nnotes follow\n"});
    Run(true);
    EXPECT_EQ(Status(), QStringLiteral("Checking OK."));
    EXPECT_EQ(dialog->ServerVersionText(), QStringLiteral("Version 1.8 (2026-11-30)"));
    EXPECT_EQ(server.Requests(), QList<QByteArray>{"/update/fogbell.txt"});
}

TEST_F(AboutUpdateTest, WebPageInsteadOfTheVersionIsACheckingError) {
    server.Route("/update/fogbell.txt",
                 {200, "<html><!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\"><body>x</body>"});
    Run(true);
    EXPECT_EQ(Status(), QStringLiteral("Checking Error."));
    EXPECT_EQ(dialog->ServerVersionText(), QStringLiteral("Missing file version"));
}

TEST_F(AboutUpdateTest, NotFoundPageIsACheckingError) {
    Run(true);  // no route: 404 with a page that starts with the doctype
    EXPECT_EQ(Status(), QStringLiteral("Checking Error."));
    EXPECT_EQ(dialog->ServerVersionText(), QStringLiteral("Missing file version"));
}

TEST_F(AboutUpdateTest, EmptyVersionTextCannotBeRead) {
    server.Route("/update/fogbell.txt", {200, ""});
    Run(true);
    EXPECT_EQ(Status(), QStringLiteral("Can't read..."));
    EXPECT_EQ(dialog->ServerVersionText(), QStringLiteral("Version on server"));
}

TEST_F(AboutUpdateTest, EmptyArchiveIsSavedAsAnEmptyFile) {
    server.Route("/downloads/fogbell.zip", {200, ""});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Updating OK"));
    ASSERT_TRUE(QFile::exists(Archive()));
    EXPECT_EQ(QFileInfo(Archive()).size(), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("New file placed on:"));
    EXPECT_EQ(boxes.shown[0].text, QDir::toNativeSeparators(Archive()));
    EXPECT_EQ(server.Requests(), QList<QByteArray>{"/downloads/fogbell.zip"});
}

TEST_F(AboutUpdateTest, ArchiveIsSavedWholeAndReplacesAnOlderOne) {
    QByteArray archive;
    for (int i = 0; i < 5000; ++i) {
        archive.append(static_cast<char>((i * 7 + i / 256) & 0xFF));
    }
    server.Route("/downloads/fogbell.zip", {200, archive});
    ASSERT_TRUE(QDir(programDir.path()).mkpath(QStringLiteral("Update")));
    WriteAll(Archive(), "an older release");
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Updating OK"));
    EXPECT_EQ(ReadAll(Archive()), archive);
    auto* progress = Control<QProgressBar>(1054);
    EXPECT_EQ(progress->maximum(), 5000);
    EXPECT_EQ(progress->value(), 5000);
    // Nothing but the archive is left in the folder.
    EXPECT_EQ(QDir(programDir.filePath(QStringLiteral("Update"))).entryList(QDir::Files),
              QStringList{QStringLiteral("fogbell.zip")});
}

TEST_F(AboutUpdateTest, NotFoundPageForTheArchiveIsMissingFileAndKeepsTheOldArchive) {
    ASSERT_TRUE(QDir(programDir.path()).mkpath(QStringLiteral("Update")));
    WriteAll(Archive(), "an older release");
    Run(false);  // no route: the 404 page
    EXPECT_EQ(Status(), QStringLiteral("Missing file..."));
    EXPECT_EQ(ReadAll(Archive()), QByteArray("an older release"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(QDir(programDir.filePath(QStringLiteral("Update"))).entryList(QDir::Files),
              QStringList{QStringLiteral("fogbell.zip")});
}

TEST_F(AboutUpdateTest, ErrorPageNotStartingWithTheDoctypeIsSavedAsTheArchive) {
    server.Route("/downloads/fogbell.zip", {404, "<html><body>gone</body></html>"});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Updating OK"));
    EXPECT_EQ(ReadAll(Archive()), QByteArray("<html><body>gone</body></html>"));
}

TEST_F(AboutUpdateTest, DoctypeAtALaterPieceBoundaryAbandonsTheDownload) {
    QByteArray body(CAboutDialog::kPieceSize, 'z');
    body += "<!DOCTYPE HTML><html></html>";
    server.Route("/downloads/fogbell.zip", {200, body});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Missing file..."));
    EXPECT_FALSE(QFile::exists(Archive()));
}

TEST_F(AboutUpdateTest, UnreachableHostReportsTheNetworkMessage) {
    dialog = std::make_unique<CAboutDialog>(
        nullptr, QStringLiteral("127.0.0.1:%1").arg(test::ClosedPort()), programDir.path());
    dialog->SetMessageBox(boxes.Hook());
    Run(true);
    EXPECT_EQ(Status(), QStringLiteral("Connection refused"));
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Connection refused"));
    EXPECT_FALSE(QFile::exists(Archive()));
    for (int id : {1, 1053, 1056}) {
        EXPECT_TRUE(Control<CImageButton>(id)->isEnabled()) << id;
    }
}

TEST_F(AboutUpdateTest, AddressThatCannotBeOpenedIsReported) {
    dialog =
        std::make_unique<CAboutDialog>(nullptr, QStringLiteral("no such host"), programDir.path());
    dialog->SetMessageBox(boxes.Hook());
    Run(true);
    EXPECT_EQ(Status(), QStringLiteral("Error open file..."));
    EXPECT_TRUE(server.Requests().isEmpty());
}

TEST_F(AboutUpdateTest, UnwritableFolderBesideTheProgramFallsBackToTheUserFolder) {
    // A file where the program folder should be: "Update" cannot be made inside it.
    const QString notADir = programDir.filePath(QStringLiteral("program"));
    WriteAll(notADir, "x");
    dialog = std::make_unique<CAboutDialog>(nullptr, server.Host(), notADir);
    dialog->SetFallbackDirectory(fallbackDir.filePath(QStringLiteral("Update")));
    dialog->SetMessageBox(boxes.Hook());
    server.Route("/downloads/fogbell.zip", {200, "PK"});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Updating OK"));
    const QString expected = fallbackDir.filePath(QStringLiteral("Update/fogbell.zip"));
    EXPECT_EQ(dialog->Destination(), expected);
    EXPECT_EQ(ReadAll(expected), QByteArray("PK"));
}

TEST_F(AboutUpdateTest, AnUnreachableServerLeavesNoUpdateFolder) {
    // A port nobody listens on: the connection is refused before any answer.
    dialog = std::make_unique<CAboutDialog>(nullptr, QStringLiteral("127.0.0.1:1"),
                                            programDir.path());
    dialog->SetFallbackDirectory(fallbackDir.filePath(QStringLiteral("Update")));
    dialog->SetMessageBox(boxes.Hook());
    Run(false);
    EXPECT_NE(Status(), QStringLiteral("Updating OK"));
    EXPECT_FALSE(QFileInfo::exists(programDir.filePath(QStringLiteral("Update"))));
    EXPECT_FALSE(QFileInfo::exists(fallbackDir.filePath(QStringLiteral("Update"))));
}

TEST_F(AboutUpdateTest, OneRequestAtATimeWithEveryButtonDisabled) {
    server.Route("/update/fogbell.txt", {200, "1.9\n"});
    server.SetHolding(true);
    QSignalSpy finished(dialog.get(), &CAboutDialog::updateFinished);
    dialog->OnCheckServerVersion();
    ASSERT_TRUE(dialog->IsUpdateRunning());
    EXPECT_EQ(Status(), QStringLiteral("Connect..."));
    for (int id : {1, 1053, 1056}) {
        EXPECT_FALSE(Control<CImageButton>(id)->isEnabled()) << id;
    }
    dialog->OnLoadFromServer();  // ignored while the check runs
    QTRY_COMPARE_WITH_TIMEOUT(server.Requests().size(), 1, 5000);
    server.Release();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(Status(), QStringLiteral("Checking OK."));
    EXPECT_EQ(dialog->ServerVersionText(), QStringLiteral("1.9"));
    EXPECT_EQ(server.Requests(), QList<QByteArray>{"/update/fogbell.txt"});
    EXPECT_FALSE(QFile::exists(Archive()));
    for (int id : {1, 1053, 1056}) {
        EXPECT_TRUE(Control<CImageButton>(id)->isEnabled()) << id;
    }
}

TEST_F(AboutUpdateTest, ClosingTheWindowStopsTheRunningRequest) {
    server.Route("/downloads/fogbell.zip", {200, "PK"});
    server.SetHolding(true);
    dialog->OnLoadFromServer();
    QTRY_COMPARE_WITH_TIMEOUT(server.Requests().size(), 1, 5000);
    dialog->reject();
    EXPECT_FALSE(dialog->IsUpdateRunning());
    EXPECT_TRUE(Control<CImageButton>(1)->isEnabled());
    server.Release();
    QTest::qWait(50);
    EXPECT_FALSE(QFile::exists(Archive()));
}

TEST_F(AboutUpdateTest, DestroyingTheWindowUnderARequestIsSafe) {
    server.SetHolding(true);
    dialog->OnCheckServerVersion();
    QTRY_COMPARE_WITH_TIMEOUT(server.Requests().size(), 1, 5000);
    dialog.reset();
    server.Release();
    QTest::qWait(50);  // the answer arrives with no window left to take it
    SUCCEED();
}

}  // namespace
}  // namespace fogbell
