#include "shellrequestchannel.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray acknowledgement = QByteArrayLiteral("ok\n");
}

ShellRequestChannel::ShellRequestChannel(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ShellRequestChannel::acceptConnections);
}

ShellRequestChannel::~ShellRequestChannel() = default;

bool ShellRequestChannel::listen(const QString& name)
{
    if (m_server->isListening())
        return true;
    // Listening would replace the socket of a live editor (the server moves
    // its socket into place), so ask first whether one answers.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) {
        probe.abort();
        return false;
    }
    // Nobody answers: any socket there was left behind by an editor that has ended.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

bool ShellRequestChannel::isListening() const
{
    return m_server->isListening();
}

void ShellRequestChannel::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { readRequests(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readRequests(socket);
    }
}

void ShellRequestChannel::readRequests(QLocalSocket* socket)
{
    QStringList requests;
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(maxRequestLength + 2);
        if (!line.endsWith('\n')) {
            socket->abort();
            return;
        }
        requests << QString::fromUtf8(line.chopped(1));
        socket->write(acknowledgement);
    }
    if (socket->bytesAvailable() > maxRequestLength) {
        socket->abort();
        return;
    }
    socket->flush();
    for (const QString& request : requests)
        emit requestReceived(request);
}

bool ShellRequestChannel::send(const QString& name, const QStringList& requests, int timeoutMs)
{
    QByteArray payload;
    for (const QString& request : requests) {
        if (request.contains(QLatin1Char('\n')) || request.contains(QLatin1Char('\r')))
            return false;
        const QByteArray line = request.toUtf8();
        if (line.size() > maxRequestLength)
            return false;
        payload += line + '\n';
    }

    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(payload);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return false;
    }
    int acknowledged = 0;
    while (acknowledged < requests.size()) {
        if (!socket.canReadLine() && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        while (socket.canReadLine() && acknowledged < requests.size()) {
            if (socket.readLine(16) != acknowledgement)
                return false;
            ++acknowledged;
        }
    }
    socket.disconnectFromServer();
    return true;
}
