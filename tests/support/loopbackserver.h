#pragma once

// A tiny HTTP/1.1 server on 127.0.0.1 for the network tests: it records every
// request and answers through a handler the test sets. Nothing leaves the machine.

#include <QApplication>
#include <QHash>
#include <QList>
#include <QMap>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

// The application as the network tests run it: the editor's names and a
// version the feeds can compare, alive without windows, and every request
// straight to the loopback server rather than through a proxy from the
// environment. Pass `name` false when the application object names itself.
inline void prepareNetworkTestApplication(QApplication& app, bool name = true)
{
    if (name) {
        app.setOrganizationName(QStringLiteral("hullwright.org"));
        app.setApplicationName(QStringLiteral("Hullwright"));
        app.setApplicationVersion(QStringLiteral("1.0.9"));
    }
    app.setQuitOnLastWindowClosed(false);
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

struct HttpRequest
{
    QByteArray method;
    QByteArray path;
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

struct HttpResponse
{
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool hang = false;  // never answer

    // A server that takes the request and never answers.
    static HttpResponse silent()
    {
        HttpResponse response;
        response.hang = true;
        return response;
    }

    static HttpResponse redirect(const QByteArray& location, int status = 302)
    {
        HttpResponse response;
        response.status = status;
        response.headers.append(qMakePair(QByteArray("Location"), location));
        return response;
    }
};

class LoopbackServer : public QObject
{
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit LoopbackServer(Handler handler = {})
        : m_handler(std::move(handler))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this]() { accept(); });
        m_server.listen(QHostAddress::LocalHost);
    }

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    QUrl url(const QString& path = QString()) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    QString base() const { return url().toString(); }

    QList<HttpRequest> requests;

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { read(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        HttpRequest request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines.at(i).indexOf(':');
            if (colon > 0)
                request.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
        }
        const int length = request.headers.value("content-length").toInt();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        requests.append(request);

        const HttpResponse response = m_handler ? m_handler(request) : HttpResponse();
        if (response.hang)
            return;
        QByteArray answer = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
        answer += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        answer += "Connection: close\r\n";
        for (const auto& header : response.headers)
            answer += header.first + ": " + header.second + "\r\n";
        answer += "\r\n" + response.body;
        socket->write(answer);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    Handler m_handler;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};
