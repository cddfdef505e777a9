#include "local_http_server.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>

namespace fogbell::test {

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TlsIdentity MakeTlsIdentity() {
    TlsIdentity identity;
    QTemporaryDir dir;
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                   "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                   dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
        identity.error = QStringLiteral("openssl could not make a certificate: ") +
                         openssl.errorString() + QLatin1Char(' ') +
                         QString::fromLocal8Bit(openssl.readAll());
        return identity;
    }
    identity.certificate = QSslCertificate(ReadFile(dir.filePath("cert.pem")));
    identity.key = QSslKey(ReadFile(dir.filePath("key.pem")), QSsl::Rsa);
    if (identity.certificate.isNull() || identity.key.isNull()) {
        identity.error = QStringLiteral("the certificate openssl made does not load");
    }
    return identity;
}

}  // namespace

const TlsIdentity& TestTlsIdentity() {
    static const TlsIdentity identity = MakeTlsIdentity();
    return identity;
}

void TlsCapableServer::incomingConnection(qintptr descriptor) {
    if (identity == nullptr) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setLocalCertificate(identity->certificate);
    socket->setPrivateKey(identity->key);
    socket->startServerEncryption();
    addPendingConnection(socket);
}

const QByteArray LocalHttpServer::kNotFoundPage =
    "<!DOCTYPE HTML>\n<html lang=\"en\">\n<head><title>Error response</title></head>\n"
    "<body><h1>Error response</h1><p>Error code: 404</p></body>\n</html>\n";

LocalHttpServer::LocalHttpServer(const TlsIdentity* tls) {
    server_.identity = tls;
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &LocalHttpServer::OnConnection);
}

QString LocalHttpServer::Host() const {
    return (server_.identity != nullptr ? QStringLiteral("127.0.0.1:%1")
                                        : QStringLiteral("http://127.0.0.1:%1"))
        .arg(Port());
}

void LocalHttpServer::OnConnection() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { buffers_.remove(socket); });
    }
}

void LocalHttpServer::OnReadable(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        return;
    }
    // "GET /path HTTP/1.1"
    const QList<QByteArray> words = buffer.left(buffer.indexOf("\r\n")).split(' ');
    const QByteArray path = words.size() >= 2 ? words[1] : QByteArray("/");
    buffer.clear();
    requests_ << path;
    if (holding_) {
        held_.append({QPointer<QTcpSocket>(socket), path});
        return;
    }
    SendAnswer(socket, path);
}

void LocalHttpServer::SendAnswer(QTcpSocket* socket, const QByteArray& path) {
    Answer answer{404, kNotFoundPage};
    if (routes_.contains(path)) {
        answer = routes_.value(path);
    }
    const QByteArray reason = answer.status == 200 ? "OK" : "Not Found";
    QByteArray head = "HTTP/1.0 " + QByteArray::number(answer.status) + " " + reason + "\r\n";
    head += "Content-Type: application/octet-stream\r\n";
    head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + (answer.cutAfter >= 0 ? answer.body.left(answer.cutAfter) : answer.body));
    socket->disconnectFromHost();
}

void LocalHttpServer::Release() {
    holding_ = false;
    const auto held = std::move(held_);
    held_.clear();
    for (const auto& [socket, path] : held) {
        if (socket) {
            SendAnswer(socket, path);
        }
    }
}

quint16 ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

}  // namespace fogbell::test
