// A small HTTP/1.0 server on 127.0.0.1 for the update tests, run in the test's own event loop,
// speaking plain HTTP or, given a TLS identity, HTTPS. Each path answers with a fixed status
// and body (which may be cut off with the connection); unknown paths get a 404 web page.
// Answers can be held back until Release(), to catch a request while it runs.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

namespace fogbell::test {

// Why this build's Qt cannot serve TLS in a test, or null when it can. Under Wine, Qt's Schannel
// back end takes its server credentials from CertFindChainInStore, which Wine leaves a stub.
#ifdef _WIN32
inline constexpr const char* kNoTlsServer =
    "Qt's Schannel back end cannot act as a TLS server under Wine (it needs "
    "CertFindChainInStore, a stub there); the HTTPS cases run in the Linux builds";
#else
inline constexpr const char* kNoTlsServer = nullptr;
#endif

// A self-signed certificate for 127.0.0.1 and its key, made by the machine's openssl at test
// time.
struct TlsIdentity {
    QSslCertificate certificate;
    QSslKey key;
    QString error;  // why there is none
};
// Made once per test program; `error` is set when it could not be made.
const TlsIdentity& TestTlsIdentity();

// Accepts connections as QSslSocket when given an identity, as plain sockets otherwise.
class TlsCapableServer : public QTcpServer {
  public:
    const TlsIdentity* identity = nullptr;

  protected:
    void incomingConnection(qintptr descriptor) override;
};

class LocalHttpServer : public QObject {
    Q_OBJECT

  public:
    struct Answer {
        int status = 200;
        QByteArray body;
        qsizetype cutAfter = -1;  // when >= 0, the connection closes after this many bytes
    };

    explicit LocalHttpServer(const TlsIdentity* tls = nullptr);
    quint16 Port() const { return server_.serverPort(); }
    // "http://127.0.0.1:PORT", or "127.0.0.1:PORT" (HTTPS) with a TLS identity: the forms the
    // About window takes as its update host.
    QString Host() const;
    void Route(const QByteArray& path, Answer answer) { routes_[path] = std::move(answer); }
    void SetHolding(bool hold) { holding_ = hold; }
    // Sends the answers held back so far.
    void Release();
    const QList<QByteArray>& Requests() const { return requests_; }

    static const QByteArray kNotFoundPage;

  private:
    void OnConnection();
    void OnReadable(QTcpSocket* socket);
    void SendAnswer(QTcpSocket* socket, const QByteArray& path);

    QMap<QByteArray, Answer> routes_;
    QMap<QTcpSocket*, QByteArray> buffers_;
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> held_;
    QList<QByteArray> requests_;
    bool holding_ = false;
    // Last, so that it goes first: its sockets still open tell buffers_ as they go.
    TlsCapableServer server_;
};

// A port on 127.0.0.1 where nothing listens.
quint16 ClosedPort();

}  // namespace fogbell::test
