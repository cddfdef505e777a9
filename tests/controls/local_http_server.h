// A small HTTP/1.0 server on 127.0.0.1 for the update tests, run in the test's own event loop.
// Each path answers with a fixed status and body; unknown paths get a 404 web page. Answers
// can be held back until Release(), to catch a request while it runs.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

namespace fogbell::test {

class LocalHttpServer : public QObject {
    Q_OBJECT

  public:
    struct Answer {
        int status = 200;
        QByteArray body;
    };

    LocalHttpServer();
    quint16 Port() const { return server_.serverPort(); }
    // "127.0.0.1:PORT", the form the About window takes as its update host.
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

    QTcpServer server_;
    QMap<QByteArray, Answer> routes_;
    QMap<QTcpSocket*, QByteArray> buffers_;
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> held_;
    QList<QByteArray> requests_;
    bool holding_ = false;
};

// A port on 127.0.0.1 where nothing listens.
quint16 ClosedPort();

}  // namespace fogbell::test
