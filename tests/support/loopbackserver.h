#pragma once

// A tiny HTTP/1.1 server on 127.0.0.1 for the network tests: it records every request and answers
// through the test's handler. Nothing leaves the machine.

#include <QApplication>
#include <QtNetwork>

#include <functional>

// The editor's names and a version the feeds can compare (unless the application object names itself),
// alive without windows, and every request straight to the loopback server, never through a proxy.
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
    QByteArray method, path, body;
    QMap<QByteArray, QByteArray> headers;  // names in lower case
};

struct HttpResponse
{
    HttpResponse(int status = 200, const QByteArray& body = {}, const QByteArray& location = {}, bool hang = false)
        : status(status), body(body), location(location), hang(hang) {}
    static HttpResponse silent() { return {0, {}, {}, true}; }
    static HttpResponse redirect(const QByteArray& location, int status = 302) { return {status, {}, location}; }

    int status;
    QByteArray body;
    QByteArray location;  // sent as a Location header when set
    bool hang;            // never answers
};

class LoopbackServer : public QObject
{
public:
    explicit LoopbackServer(std::function<HttpResponse(const HttpRequest&)> handler) : m_handler(std::move(handler))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    QUrl url(const QString& path) const { return QUrl(base() + path); }

    QList<HttpRequest> requests;

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const int headerEnd = buffer.indexOf("\r\n\r\n");
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        HttpRequest request{lines.value(0).split(' ').value(0), lines.value(0).split(' ').value(1), {}, {}};
        for (const QByteArray& line : lines.mid(1)) {
            if (const int colon = line.indexOf(':'); colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        const int length = request.headers.value("content-length").toInt();
        if (headerEnd < 0 || buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        m_buffers.remove(socket);
        requests.append(request);
        const HttpResponse response = m_handler(request);
        if (response.hang)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\nContent-Length: "
                      + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n"
                      + (response.location.isEmpty() ? QByteArray() : "Location: " + response.location + "\r\n")
                      + "\r\n" + response.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::function<HttpResponse(const HttpRequest&)> m_handler;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};
