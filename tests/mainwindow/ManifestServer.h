#pragma once
// A small HTTP server on 127.0.0.1 that serves one manifest the way a test
// wants it: whole, never, or larger than any manifest may be.

#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

class ManifestServer : public QObject {
public:
    enum Mode {
        Serve,           // the body with its length, then close
        Stall,           // headers never come
        HugeLength,      // announces 50 MB and sends it slowly
        HugeUnannounced, // no length; 2 MiB, then close
    };

    ManifestServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequest(socket); });
            }
        });
    }

    QString url(const QString& path = QStringLiteral("/updates/latest.json")) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

    void serve(const QByteArray& body, Mode mode = Serve)
    {
        m_body = body;
        m_mode = mode;
    }

    void stop() { m_server.close(); }
    QByteArray userAgent() const { return m_userAgent; }
    int requests() const { return m_requests; }

private:
    void onRequest(QTcpSocket* socket)
    {
        QByteArray& request = m_pending[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        ++m_requests;
        for (const QByteArray& line : request.split('\n')) {
            if (line.toLower().startsWith("user-agent:"))
                m_userAgent = line.mid(11).trimmed();
        }
        switch (m_mode) {
        case Serve:
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                          QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
            socket->disconnectFromHost();
            break;
        case Stall:
            break;
        case HugeLength:
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 52428800\r\n\r\n");
            dripInto(socket);
            break;
        case HugeUnannounced:
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            socket->write(QByteArray(2 * 1024 * 1024, ' '));
            socket->disconnectFromHost();
            break;
        }
    }

    // Chunks as long as the client reads them.
    void dripInto(QTcpSocket* socket)
    {
        auto* timer = new QTimer(socket);
        QPointer<QTcpSocket> guard(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [guard] {
            if (guard && guard->state() == QAbstractSocket::ConnectedState && guard->bytesToWrite() < 1024 * 1024)
                guard->write(QByteArray(256 * 1024, ' '));
        });
        timer->start(5);
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QByteArray m_body;
    Mode m_mode = Serve;
    QByteArray m_userAgent;
    int m_requests = 0;
};
