// The About window: its texts and controls, and both update actions against a local HTTP or
// HTTPS server: version line, web page instead of a version, archives of 0 and more bytes kept
// only when they match their published checksum and size, a 404 page, a connection cut short,
// a certificate not trusted, an unreachable host, and requests that are still running.
#include "host/controls/about_dialog.h"

#include "host/controls/image_button.h"
#include "local_http_server.h"
#include "message_recorder.h"

#include <QCryptographicHash>
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

// A version text that publishes `archive`'s checksum and size.
QByteArray Published(const QByteArray& archive) {
    return "Version 1.8\nsha256=" +
           QCryptographicHash::hash(archive, QCryptographicHash::Sha256).toHex() +
           "\nsize=" + QByteArray::number(archive.size()) + "\n";
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Runs one update action and waits for its end.
void RunAndWait(CAboutDialog* dialog, bool checkOnly) {
    QSignalSpy finished(dialog, &CAboutDialog::updateFinished);
    if (checkOnly) {
        dialog->OnCheckServerVersion();
    } else {
        dialog->OnLoadFromServer();
    }
    if (finished.isEmpty()) {
        ASSERT_TRUE(finished.wait(10000))
            << "no end; status " << dialog->StatusText().toStdString();
    }
    EXPECT_FALSE(dialog->IsUpdateRunning());
}

// Every file in `folder`, hidden ones too (a temporary file left behind shows here).
QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
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
    void Run(bool checkOnly) { RunAndWait(dialog.get(), checkOnly); }
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
              QStringLiteral("https://updates.fogbell.example/update/fogbell.txt"));
    EXPECT_EQ(dialog.ArchiveUrl().toString(),
              QStringLiteral("https://updates.fogbell.example/downloads/fogbell.zip"));
}

TEST(AboutDialogTest, PlainHttpOnlyWhenTheHostNamesIt) {
    struct HostCase {
        const char* host;
        const char* versionUrl;  // "" when the host cannot make an address
    } cases[] = {{"127.0.0.1:8123", "https://127.0.0.1:8123/update/fogbell.txt"},
                 {"https://127.0.0.1:8123", "https://127.0.0.1:8123/update/fogbell.txt"},
                 {"HTTP://127.0.0.1:8123/", "http://127.0.0.1:8123/update/fogbell.txt"},
                 {"ftp://fogbell.example", ""},
                 {"fogbell.example/elsewhere", ""},
                 {"user@fogbell.example", ""}};
    for (const HostCase& c : cases) {
        const QUrl url = CAboutDialog(nullptr, QString::fromUtf8(c.host)).VersionUrl();
        EXPECT_EQ(url.isValid() ? url.toString() : QString(), QString::fromUtf8(c.versionUrl))
            << c.host;
    }
}

TEST(AboutDialogTest, VersionTextPublishesTheArchive) {
    const QByteArray hex(64, 'a');
    struct TextCase {
        QByteArray text;
        CUpdateCheck::Published expected;
        std::int64_t size;
    } cases[] = {
        {"1.8\nsha256=" + hex + "\nsize=5000\n", CUpdateCheck::Published::kFound, 5000},
        {"1.8\r\nnotes\r\nSIZE = 7\r\n SHA256=" + hex.toUpper() + "\r\n",
         CUpdateCheck::Published::kFound, 7},
        {"1.8\n", CUpdateCheck::Published::kMissing, 0},
        {"sha256=" + hex + "\nsize=1\n", CUpdateCheck::Published::kMissing, 0},  // line 1
        {"1.8\nsha256=" + hex.left(63) + "\nsize=1\n", CUpdateCheck::Published::kMissing, 0},
        {"1.8\nsha256=" + hex + "\nsize=1\nsize=2\n", CUpdateCheck::Published::kMissing, 0},
        {"1.8\nsha256=" + hex + "\nsize=268435457\n", CUpdateCheck::Published::kTooLarge, 0},
        {"1.8\nsha256=" + hex + "\nsize=99999999999999999999\n", CUpdateCheck::Published::kTooLarge,
         0},
    };
    for (const TextCase& c : cases) {
        PublishedArchive archive;
        EXPECT_EQ(CUpdateCheck::ReadPublishedArchive(c.text, &archive), c.expected)
            << c.text.data();
        EXPECT_EQ(archive.size, c.size) << c.text.data();
        if (c.expected == CUpdateCheck::Published::kFound) {
            EXPECT_EQ(archive.sha256, QByteArray::fromHex(hex));
        }
    }
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
    server.Route("/update/fogbell.txt", {200, Published("")});
    server.Route("/downloads/fogbell.zip", {200, ""});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Updating OK"));
    ASSERT_TRUE(QFile::exists(Archive()));
    EXPECT_EQ(QFileInfo(Archive()).size(), 0);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("New file placed on:"));
    EXPECT_EQ(boxes.shown[0].text, QDir::toNativeSeparators(Archive()));
    EXPECT_EQ(server.Requests(),
              (QList<QByteArray>{"/update/fogbell.txt", "/downloads/fogbell.zip"}));
    EXPECT_EQ(dialog->ServerVersionText(), QStringLiteral("Version on server"));
}

TEST_F(AboutUpdateTest, ArchiveIsSavedWholeAndReplacesAnOlderOne) {
    QByteArray archive;
    for (int i = 0; i < 5000; ++i) {
        archive.append(static_cast<char>((i * 7 + i / 256) & 0xFF));
    }
    server.Route("/update/fogbell.txt", {200, Published(archive)});
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
    server.Route("/update/fogbell.txt", {200, Published(LocalHttpServer::kNotFoundPage)});
    Run(false);  // no archive route: the 404 page
    EXPECT_EQ(Status(), QStringLiteral("Missing file..."));
    EXPECT_EQ(ReadAll(Archive()), QByteArray("an older release"));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(QDir(programDir.filePath(QStringLiteral("Update"))).entryList(QDir::Files),
              QStringList{QStringLiteral("fogbell.zip")});
}

TEST_F(AboutUpdateTest, ErrorPageNotStartingWithTheDoctypeIsSavedAsTheArchive) {
    server.Route("/update/fogbell.txt", {200, Published("<html><body>gone</body></html>")});
    server.Route("/downloads/fogbell.zip", {404, "<html><body>gone</body></html>"});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Updating OK"));
    EXPECT_EQ(ReadAll(Archive()), QByteArray("<html><body>gone</body></html>"));
}

TEST_F(AboutUpdateTest, DoctypeAtALaterPieceBoundaryAbandonsTheDownload) {
    QByteArray body(CAboutDialog::kPieceSize, 'z');
    body += "<!DOCTYPE HTML><html></html>";
    server.Route("/update/fogbell.txt", {200, Published(body)});
    server.Route("/downloads/fogbell.zip", {200, body});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Missing file..."));
    EXPECT_FALSE(QFile::exists(Archive()));
}

// A download from a server that publishes one version text and serves one archive answer; the
// archive is kept only when it is the one published, and nothing else stays in Update/.
void RunDownloadCases(const test::TlsIdentity* tls) {
    QByteArray archive;
    for (int i = 0; i < 5000; ++i) {
        archive.append(static_cast<char>((i * 13 + i / 256) & 0xFF));
    }
    QByteArray altered = archive;
    altered[4321] = static_cast<char>(altered[4321] ^ 1);
    const QByteArray published = Published(archive);
    const QByteArray tooLarge = "1.8\nsha256=" + QByteArray(64, '0') + "\nsize=268435457\n";
    using U = CUpdateCheck;
    struct DownloadCase {
        const char* name;
        QByteArray versionText;
        LocalHttpServer::Answer served;
        const char* status;  // a cut ends with the network's message: only the end is compared
        bool kept;
    } cases[] = {
        {"published archive", published, {200, archive}, "Updating OK", true},
        {"wrong checksum", published, {200, altered}, U::kChecksumMismatchText, false},
        {"longer", published, {200, archive + QByteArray(65536, 1)}, U::kSizeMismatchText, false},
        {"shorter", published, {200, archive.left(4000)}, U::kSizeMismatchText, false},
        {"cut connection", published, {200, archive, 3000}, U::kCutSuffix, false},
        {"no checksum published", "1.8\n", {200, archive}, U::kNoChecksumText, false},
        {"over 256 MiB published", tooLarge, {200, archive}, U::kTooLargeText, false},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir programDir;
        LocalHttpServer server(tls);
        server.Route("/update/fogbell.txt", {200, c.versionText});
        server.Route("/downloads/fogbell.zip", c.served);
        test::MessageRecorder boxes;
        CAboutDialog dialog(nullptr, server.Host(), programDir.path());
        dialog.SetMessageBox(boxes.Hook());
        if (tls != nullptr) {
            dialog.AddCaCertificates({tls->certificate});
        }
        RunAndWait(&dialog, false);
        EXPECT_TRUE(dialog.StatusText().endsWith(QLatin1String(c.status)))
            << dialog.StatusText().toStdString();
        const QString folder = programDir.filePath(QStringLiteral("Update"));
        EXPECT_EQ(FilesIn(folder),
                  c.kept ? QStringList{QStringLiteral("fogbell.zip")} : QStringList());
        EXPECT_EQ(boxes.shown.size(), c.kept ? 1u : 0u);
        if (c.kept) {
            EXPECT_EQ(ReadAll(QDir(folder).filePath(QStringLiteral("fogbell.zip"))), archive);
        }
        // The archive is asked for only when its checksum and size are published.
        EXPECT_EQ(server.Requests().size(), c.versionText == published ? 2 : 1);
    }
}

TEST(AboutDownloadTest, KeepsOnlyThePublishedArchiveOverHttp) {
    RunDownloadCases(nullptr);
}

TEST(AboutDownloadTest, KeepsOnlyThePublishedArchiveOverHttps) {
    if (test::kNoTlsServer != nullptr) {
        GTEST_SKIP() << test::kNoTlsServer;
    }
    const test::TlsIdentity& tls = test::TestTlsIdentity();
    ASSERT_TRUE(tls.error.isEmpty()) << tls.error.toStdString();
    RunDownloadCases(&tls);
}

TEST(AboutDownloadTest, AServerCertificateNotTrustedIsRefusedBeforeAnyRequest) {
    if (test::kNoTlsServer != nullptr) {
        GTEST_SKIP() << test::kNoTlsServer;
    }
    const test::TlsIdentity& tls = test::TestTlsIdentity();
    ASSERT_TRUE(tls.error.isEmpty()) << tls.error.toStdString();
    QTemporaryDir programDir;
    LocalHttpServer server(&tls);
    server.Route("/update/fogbell.txt", {200, Published("PK")});
    server.Route("/downloads/fogbell.zip", {200, "PK"});
    for (bool checkOnly : {true, false}) {
        CAboutDialog dialog(nullptr, server.Host(), programDir.path());  // the system's trust only
        RunAndWait(&dialog, checkOnly);
        EXPECT_FALSE(dialog.StatusText().isEmpty());
        EXPECT_NE(dialog.StatusText(), QStringLiteral("Checking OK."));
        EXPECT_NE(dialog.StatusText(), QStringLiteral("Updating OK"));
        EXPECT_EQ(dialog.ServerVersionText(), QStringLiteral("Version on server"));
    }
    EXPECT_TRUE(server.Requests().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(programDir.filePath(QStringLiteral("Update"))));
}

TEST_F(AboutUpdateTest, AWindowShownGrowsToShowALongStatusWhole) {
    dialog->show();
    const QSize before = dialog->size();
    server.Route("/update/fogbell.txt", {200, "1.8\n"});
    Run(false);
    EXPECT_EQ(Status(), QLatin1String(CUpdateCheck::kNoChecksumText));
    auto* status = Control<QLabel>(1055);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return status->height() >= status->heightForWidth(status->width()); }, 2000))
        << status->height() << " < " << status->heightForWidth(status->width());
    EXPECT_EQ(dialog->width(), before.width());
    EXPECT_GT(dialog->height(), before.height());
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
    server.Route("/update/fogbell.txt", {200, Published("PK")});
    server.Route("/downloads/fogbell.zip", {200, "PK"});
    Run(false);
    EXPECT_EQ(Status(), QStringLiteral("Updating OK"));
    const QString expected = fallbackDir.filePath(QStringLiteral("Update/fogbell.zip"));
    EXPECT_EQ(dialog->Destination(), expected);
    EXPECT_EQ(ReadAll(expected), QByteArray("PK"));
}

TEST_F(AboutUpdateTest, AnUnreachableServerLeavesNoUpdateFolder) {
    // A port nobody listens on: the connection is refused before any answer.
    dialog =
        std::make_unique<CAboutDialog>(nullptr, QStringLiteral("127.0.0.1:1"), programDir.path());
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
